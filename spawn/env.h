// What the spawn schedule reads from its surroundings: the wall clock, the
// local time of day and the C runtime's random draws. The plug-in uses the
// C runtime behind this; unit tests put a scripted one in its place.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "spawn/state.h"

namespace drovekeeper::spawn {

// The wall clock's unit throughout the plug-in: 100 ns.
inline constexpr std::int64_t kTicksPerSecond = 10'000'000;
inline constexpr std::int64_t kTicksPerMinute = 60 * kTicksPerSecond;

struct LocalHourMinute {
  int hour;
  int minute;
};

// A wall-clock time as the local calendar shows it.
struct LocalDateTime {
  int year;
  int month;  // 1 to 12
  int day;    // 1 to 31
  int hour;
  int minute;
  int second;
  std::int64_t utc_offset_seconds;  // local minus UTC
  std::string zone;                 // the zone's abbreviation then; may be empty
};

// Days since 1970-01-01 of a civil date (proleptic Gregorian); a day past
// the month's end counts on into the next.
std::int64_t DaysFromCivil(std::int64_t year, int month, int day);

class Env {
 public:
  virtual ~Env() = default;

  // Wall clock: 100 ns units since 1970-01-01 UTC.
  virtual std::int64_t NowTicks() = 0;
  // The current calendar time converted to local time.
  virtual LocalHourMinute LocalNow() = 0;
  // Local time at a given wall-clock time (100 ns units since the epoch).
  virtual LocalHourMinute LocalAt(std::int64_t ticks) = 0;
  // One draw of the C runtime's rand(), 0 to 32767; never seeded here.
  virtual int Rand() = 0;

  // The local calendar at a wall-clock time, or none where the zone has no
  // answer. The C runtime's unless overridden.
  virtual std::optional<LocalDateTime> LocalDateTimeAt(std::int64_t ticks);
  // The wall-clock time of a local date and minute (the day may run past the
  // month's end), or none. A minute the clocks skip or repeat resolves as the
  // C runtime's mktime resolves it. The C runtime's unless overridden.
  virtual std::optional<std::int64_t> TicksAtLocal(int year, int month, int day, int hour,
                                                   int minute);
};

// The Env in force: the C runtime's unless a test replaced it.
Env& CurrentEnv();

// The C runtime's wall clock in 100 ns units since the epoch.
inline std::int64_t RuntimeNowTicks() {
  using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, kTicksPerSecond>>;
  return std::chrono::duration_cast<Ticks>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// CurrentEnv().NowTicks(), read in place: the timer's gate reads it on every
// call, so a closed gate should cost no more than the clock read itself.
inline std::int64_t NowTicks() {
  Env* replaced = state.replaced_env;
  return replaced == nullptr ? RuntimeNowTicks() : replaced->NowTicks();
}

// Replaces the Env in force; null restores the C runtime's. Tests only.
void SetEnvForTesting(Env* env);

}  // namespace drovekeeper::spawn
