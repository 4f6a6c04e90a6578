// The stand-in's model of when the plug-in's schedules fall due: the gate
// that lets one run through per 60 seconds, the countdown table's step per
// run, the clock table's "H:M" text, and when an entry falls due next. Used
// by the ledger; checked against the plug-in by tests/unit/model_test.cc.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace model {

inline constexpr std::int64_t kRunPeriodSeconds = 60;

// The timer callback's gate: a call runs both schedules when it comes at or
// after the stored time (0 at first), which the run then sets 60 s ahead.
class RunGate {
 public:
  // Whether a call at `now` (seconds) runs; a run moves the gate.
  bool Open(std::int64_t now);
  // A run seen at `now` whatever the gate said: the gate follows it.
  void RanAt(std::int64_t now) { next_ = now + kRunPeriodSeconds; }
  std::int64_t next() const { return next_; }

 private:
  std::int64_t next_ = 0;
};

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

// The first of the runs first_run, first_run + 60, ... (seconds since the
// epoch) within two days whose local time the clock text matches; 0 when
// none does (a text such as "07:05" never matches).
std::int64_t NextClockRun(std::string_view text, std::int64_t first_run);

}  // namespace model
