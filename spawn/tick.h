// The timer callback and the once-a-minute run of both spawn schedules.
// plugin/ registers it with the host behind its entry guard; tests call it
// directly.
#pragma once

#include <cstdint>

#include "spawn/env.h"
#include "spawn/state.h"

namespace drovekeeper::spawn {

// Wall-clock time (100 ns units) before which a call does nothing.
inline std::int64_t& NextRunTicks = state.next_run_ticks;
// Wall-clock time (100 ns units) at which the last run started, 0 before the
// first; a run that follows it within two minutes makes up a skipped minute.
inline std::int64_t& LastRunTicks = state.last_run_ticks;

// A run sets NextRunTicks this far (60 s) past its own start.
inline constexpr std::int64_t kRunPeriodTicks = kTicksPerMinute;

// Called by the host as often as it likes; runs both schedules at most once
// per 60 seconds of wall-clock time.
void TimingSpawnTick();

}  // namespace drovekeeper::spawn
