// The timer callback and the once-a-minute run of both spawn schedules.
// Registered by plugin/ with the host; tests call it directly.
#pragma once

#include <cstdint>

// Wall-clock time (100 ns units) before which a call does nothing.
extern std::int64_t NextRunTicks;

// Called by the host as often as it likes; runs both schedules at most once
// per 60 seconds of wall-clock time.
void TimingSpawnTick();

// Forgets the faults already logged per entry, so that they are logged again
// after the configuration has been re-read.
void ForgetEntryFaults();
