#include "tests/support/scripted_clock.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

constexpr std::int64_t kTicksPerDay = 24 * 60 * 60 * ScriptedClock::kTicksPerSecond;

std::int64_t TicksOf(double seconds) {
  return static_cast<std::int64_t>(std::llround(seconds * ScriptedClock::kTicksPerSecond));
}

// Local time from ticks since a local midnight, any number of days away.
drovekeeper::spawn::LocalHourMinute OfDay(std::int64_t ticks) {
  ticks %= kTicksPerDay;
  if (ticks < 0) ticks += kTicksPerDay;
  const auto whole = static_cast<int>(ticks / ScriptedClock::kTicksPerSecond);
  return {whole / 3600, whole / 60 % 60};
}

}  // namespace

drovekeeper::spawn::LocalHourMinute ScriptedClock::LocalNow() {
  ++local_reads_;
  return OfDay(local_ticks_);
}

drovekeeper::spawn::LocalHourMinute ScriptedClock::LocalAt(std::int64_t ticks) {
  return OfDay(local_ticks_ + (ticks - now_ticks_));
}

int ScriptedClock::Rand() {
  ++draws_taken_;
  if (!draws_.empty()) {
    const int draw = draws_.front();
    draws_.pop_front();
    return draw;
  }
  if (repeated_.empty()) {
    OnUnscriptedDraw();
    return 0;
  }
  return repeated_[next_repeated_++ % repeated_.size()];
}

void ScriptedClock::OnUnscriptedDraw() {
  std::fputs("rand() called with no scripted draw left\n", stderr);
  std::abort();
}

void ScriptedClock::AdvanceSeconds(double seconds) {
  const std::int64_t ticks = TicksOf(seconds);
  now_ticks_ += ticks;
  local_ticks_ = (local_ticks_ + ticks) % kTicksPerDay;
  if (local_ticks_ < 0) local_ticks_ += kTicksPerDay;
}

void ScriptedClock::SetLocalTime(int hour, int minute, double second) {
  local_ticks_ = TicksOf(hour * 3600.0 + minute * 60.0 + second);
}

void ScriptedClock::QueueDraws(std::initializer_list<int> draws) {
  draws_.insert(draws_.end(), draws.begin(), draws.end());
}

void ScriptedClock::RepeatDraws(std::vector<int> draws) {
  repeated_ = std::move(draws);
  next_repeated_ = 0;
}
