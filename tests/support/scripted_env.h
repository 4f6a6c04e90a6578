// A scripted clock and random source for tests of the spawn schedules: the
// wall clock and the local time are set by hand, and rand() draws come from
// a queue. Install it for a scope with ScopedEnv.
#pragma once

#include <cstdint>
#include <deque>
#include <initializer_list>

#include "spawn/env.h"

class ScriptedEnv : public Env {
 public:
  static constexpr std::int64_t kTicksPerSecond = 10'000'000;

  std::int64_t NowTicks() override { return now_ticks_; }
  LocalHourMinute LocalNow() override;
  // The next queued draw; with the queue empty, the fallback draw, and a
  // test failure unless empty draws were allowed.
  int Rand() override;

  void SetNowTicks(std::int64_t ticks) { now_ticks_ = ticks; }
  // Moves the wall clock; the local time moves with it when it was set by
  // SetLocalTime().
  void AdvanceSeconds(double seconds);
  // Local time of day; seconds count for AdvanceSeconds() only.
  void SetLocalTime(int hour, int minute, double second = 0.0);

  void QueueDraws(std::initializer_list<int> draws);
  // Draws past the queue return `fallback` without failing the test.
  void AllowEmptyQueue(int fallback) {
    allow_empty_ = true;
    fallback_ = fallback;
  }
  std::size_t PendingDraws() const { return draws_.size(); }
  int DrawsTaken() const { return draws_taken_; }
  int LocalTimeReads() const { return local_reads_; }

 private:
  std::int64_t now_ticks_ = 0;
  double local_seconds_ = 0.0;  // seconds since local midnight
  std::deque<int> draws_;
  bool allow_empty_ = false;
  int fallback_ = 0;
  int draws_taken_ = 0;
  int local_reads_ = 0;
};

// Installs an Env for its lifetime, restoring the runtime one afterwards.
class ScopedEnv {
 public:
  explicit ScopedEnv(Env& env) { SetEnvForTesting(&env); }
  ~ScopedEnv() { SetEnvForTesting(nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
};
