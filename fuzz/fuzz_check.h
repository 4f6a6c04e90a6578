// Helpers shared by the fuzz targets: the failure report that both the fuzzing
// engine and the corpus replay see, and a clock and random source that make
// one input always run the same way. Only fuzz/ includes this.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

#include "spawn/env.h"

namespace fuzz {

// A broken invariant: reported on stderr, then abort() so that libFuzzer keeps
// the input and the replay test fails.
[[noreturn]] inline void Fail(std::string_view what) {
  std::fprintf(stderr, "fuzz check failed: %.*s\n", static_cast<int>(what.size()), what.data());
  std::fflush(stderr);
  std::abort();
}

inline void Check(bool ok, std::string_view what) {
  if (!ok) Fail(what);
}

// Wall clock and local time set by hand and moved together; rand() draws
// cycle through a fixed list, so every run of an input draws the same values.
class FixedEnv : public Env {
 public:
  static constexpr std::int64_t kTicksPerSecond = 10'000'000;

  FixedEnv(std::int64_t start_ticks, int hour, int minute, std::vector<int> draws)
      : now_ticks_(start_ticks),
        local_minutes_(hour * 60 + minute),
        draws_(draws.empty() ? std::vector<int>{0} : std::move(draws)) {}

  std::int64_t NowTicks() override { return now_ticks_; }
  LocalHourMinute LocalNow() override { return {local_minutes_ / 60, local_minutes_ % 60}; }
  int Rand() override {
    const int draw = draws_[next_draw_ % draws_.size()];
    ++next_draw_;
    return draw;
  }

  void AdvanceMinute() {
    now_ticks_ += 60 * kTicksPerSecond;
    local_minutes_ = (local_minutes_ + 1) % (24 * 60);
  }
  std::size_t draws_taken() const { return next_draw_; }

 private:
  std::int64_t now_ticks_;
  int local_minutes_;
  std::vector<int> draws_;
  std::size_t next_draw_ = 0;
};

// Installs an Env for its lifetime.
class ScopedFuzzEnv {
 public:
  explicit ScopedFuzzEnv(Env& env) { SetEnvForTesting(&env); }
  ~ScopedFuzzEnv() { SetEnvForTesting(nullptr); }
  ScopedFuzzEnv(const ScopedFuzzEnv&) = delete;
  ScopedFuzzEnv& operator=(const ScopedFuzzEnv&) = delete;
};

}  // namespace fuzz
