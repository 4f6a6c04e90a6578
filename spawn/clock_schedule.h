// The clock-time schedule: "SpawnDinoX" entries fire in the local minute
// their text names. Run by TimingSpawnTick after the countdown walk.
#pragma once

#include <string>

#include "spawn/env.h"

// Hour and minute as "H:M", hour first, without leading zeros ("7:5").
std::string ClockText(LocalHourMinute now);

// Walks the ClockTable in name order; local time is read afresh per entry.
// A faulty entry is reported and the walk goes on.
void RunClockWalk();
