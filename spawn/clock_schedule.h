// The clock-time schedule: "SpawnDinoX" entries fire in the local minute
// their text names. Run by TimingSpawnTick after the countdown walk.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "spawn/env.h"

namespace drovekeeper::spawn {

// Hour and minute as "H:M", hour first, without leading zeros ("7:5").
std::string ClockText(LocalHourMinute now);

// The wall-clock start (100 ns units) of the one minute that lies between
// the minutes of two consecutive runs started at `previous` and `now`, when
// `now` is less than two minutes after `previous`; empty otherwise. Minutes
// are counted from the epoch, so a minute the local clocks skip at a change
// of their offset is not between two runs.
std::optional<std::int64_t> SkippedMinute(std::int64_t previous, std::int64_t now);

// Walks the ClockTable in name order: with a `skipped_minute`, first the
// entries naming that minute's local time, then those naming the current
// local time, which is read afresh per entry. A faulty entry is reported and
// the walk goes on.
void RunClockWalk(std::optional<std::int64_t> skipped_minute);

}  // namespace drovekeeper::spawn
