// The stand-in's model of when the plug-in's schedules fall due: the gate
// that lets one run through per 60 seconds, the countdown table's step per
// run, the clock table's "H:M" text, and when an entry falls due next. Used
// by the ledger; checked against the plug-in by tests/unit/model_test.cc.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace standin::model {

inline constexpr std::int64_t kRunPeriodSeconds = 60;
// The wall clock the plug-in reads counts 100 ns ticks.
inline constexpr std::int64_t kTicksPerSecond = 10'000'000;

// The timer callback's gate: a call runs both schedules when it comes at or
// after the stored time (0 at first), which the run then sets 60 s ahead.
class RunGate {
 public:
  // Times in units of which `per_second` make a second: 1 for whole seconds,
  // kTicksPerSecond for the plug-in's own readings.
  explicit RunGate(std::int64_t per_second = 1) : period_(kRunPeriodSeconds * per_second) {}

  // Whether a call at `now` runs; a run moves the gate.
  bool Open(std::int64_t now);
  // A run seen at `now` whatever the gate said: the gate follows it.
  void RanAt(std::int64_t now) {
    last_ = now;
    next_ = now + period_;
  }
  std::int64_t next() const { return next_; }
  // When the last run was; 0 before the first.
  std::int64_t last() const { return last_; }

 private:
  std::int64_t period_;
  std::int64_t next_ = 0;
  std::int64_t last_ = 0;
};

// A run that comes less than 120 s after the previous one, two minutes of
// the epoch after that one's minute, also makes up the minute between them:
// its start (seconds since the epoch), or empty when no minute was skipped.
// The runs are in units of which `per_second` make a second.
std::optional<std::int64_t> SkippedMinute(std::int64_t previous_run, std::int64_t run,
                                          std::int64_t per_second = 1);

// `value` / `divisor` rounded towards minus infinity; `divisor` > 0.
std::int64_t FloorDiv(std::int64_t value, std::int64_t divisor);

// One run's step of a countdown entry: `left` is its stored count, read as a
// 32-bit integer and then lowered by one. True when the count read was below
// 1: the entry falls due and `left` restarts from `interval`.
bool StepCountdown(std::int64_t& left, std::int32_t interval);

// How many runs pass before a countdown entry with stored count `left` falls
// due: 0 when it falls due on the next run.
std::int64_t RunsUntilDue(std::int64_t left);

// "every minute" or "every N min": a countdown of N falls due every N + 1
// runs, one of 0 or below every run.
std::string CountdownScheduleText(std::int32_t interval);

// Local hour and minute as the clock table compares them: "H:M" without
// leading zeros ("7:5").
std::string ClockText(int hour, int minute);

// The minute a clock text names as an operator reads it, leading zeros and
// all ("21:00", "07:05"), written as ClockText writes it; empty when the text
// names no minute of the day. Equal to the text exactly when it can match.
std::optional<std::string> MinuteNamed(std::string_view text);

// ClockText of the local time at `seconds` since the epoch; empty when the
// C runtime cannot convert it.
std::optional<std::string> LocalClockText(std::int64_t seconds);

// The first of the runs first_run, first_run + 60, ... (seconds since the
// epoch) within two days whose local time the clock text matches; 0 when
// none does (a text such as "07:05" never matches). Runs 60 s apart skip no
// minute.
std::int64_t NextClockRun(std::string_view text, std::int64_t first_run);

}  // namespace standin::model
