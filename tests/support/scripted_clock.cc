#include "tests/support/scripted_clock.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

constexpr double kSecondsPerDay = 24 * 60 * 60;

}  // namespace

LocalHourMinute ScriptedClock::LocalNow() {
  ++local_reads_;
  const auto whole = static_cast<int>(std::floor(local_seconds_));
  return {whole / 3600, whole / 60 % 60};
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
  now_ticks_ += static_cast<std::int64_t>(std::llround(seconds * kTicksPerSecond));
  local_seconds_ = std::fmod(local_seconds_ + seconds, kSecondsPerDay);
  if (local_seconds_ < 0) local_seconds_ += kSecondsPerDay;
}

void ScriptedClock::SetLocalTime(int hour, int minute, double second) {
  local_seconds_ = hour * 3600.0 + minute * 60.0 + second;
}

void ScriptedClock::QueueDraws(std::initializer_list<int> draws) {
  draws_.insert(draws_.end(), draws.begin(), draws.end());
}

void ScriptedClock::RepeatDraws(std::vector<int> draws) {
  repeated_ = std::move(draws);
  next_repeated_ = 0;
}
