#include "tests/support/scripted_env.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr double kSecondsPerDay = 24 * 60 * 60;

}  // namespace

LocalHourMinute ScriptedEnv::LocalNow() {
  ++local_reads_;
  const auto whole = static_cast<int>(std::floor(local_seconds_));
  return {whole / 3600, whole / 60 % 60};
}

int ScriptedEnv::Rand() {
  ++draws_taken_;
  if (draws_.empty()) {
    if (!allow_empty_) ADD_FAILURE() << "rand() called with no scripted draw left";
    return fallback_;
  }
  const int draw = draws_.front();
  draws_.pop_front();
  return draw;
}

void ScriptedEnv::AdvanceSeconds(double seconds) {
  now_ticks_ += static_cast<std::int64_t>(std::llround(seconds * kTicksPerSecond));
  local_seconds_ = std::fmod(local_seconds_ + seconds, kSecondsPerDay);
  if (local_seconds_ < 0) local_seconds_ += kSecondsPerDay;
}

void ScriptedEnv::SetLocalTime(int hour, int minute, double second) {
  local_seconds_ = hour * 3600.0 + minute * 60.0 + second;
}

void ScriptedEnv::QueueDraws(std::initializer_list<int> draws) {
  draws_.insert(draws_.end(), draws.begin(), draws.end());
}
