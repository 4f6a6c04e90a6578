// A scripted clock and random source for tests and fuzz targets of the spawn
// schedules: the wall clock and the local time are set by hand, and rand()
// draws come from a queue, then from an optional list repeated in a cycle.
// Install it for a scope with ScopedEnv. Free of GoogleTest: a draw past the
// script aborts with a message; tests use ScriptedEnv (scripted_env.h), for
// which it is a test failure instead.
#pragma once

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "spawn/env.h"

class ScriptedClock : public drovekeeper::spawn::Env {
 public:
  static constexpr std::int64_t kTicksPerSecond = 10'000'000;

  std::int64_t NowTicks() override { return now_ticks_; }
  drovekeeper::spawn::LocalHourMinute LocalNow() override;
  // The local time now, moved by the distance from the wall clock: the clocks
  // are taken to have kept their offset since `ticks`, or to keep it until.
  drovekeeper::spawn::LocalHourMinute LocalAt(std::int64_t ticks) override;
  // The next queued draw; with the queue empty, the next draw of the repeated
  // list, or OnUnscriptedDraw() and 0 without one.
  int Rand() override;
  // The calendar of the local time: the wall clock moved by the offset that
  // SetLocalTime() made (within half a day), under the name SetZoneName()
  // gave. After FollowRuntimeZone(), the C runtime's zone instead, for every
  // local time read here.
  std::optional<drovekeeper::spawn::LocalDateTime> LocalDateTimeAt(std::int64_t ticks) override;
  std::optional<std::int64_t> TicksAtLocal(int year, int month, int day, int hour,
                                           int minute) override;

  void SetNowTicks(std::int64_t ticks) { now_ticks_ = ticks; }
  // Moves the wall clock; the local time moves with it, across midnight.
  void AdvanceSeconds(double seconds);
  // Local time of day; seconds count for AdvanceSeconds() only.
  void SetLocalTime(int hour, int minute, double second = 0.0);

  void SetZoneName(std::string name) { zone_name_ = std::move(name); }
  // Local time from the C runtime's zone (TZ), with its changes of the clocks.
  void FollowRuntimeZone() { runtime_zone_ = true; }

  void QueueDraws(std::initializer_list<int> draws);
  // Draws past the queue cycle through `draws` (none when empty).
  void RepeatDraws(std::vector<int> draws);
  // Draws past the queue return `fallback`.
  void AllowEmptyQueue(int fallback) { RepeatDraws({fallback}); }
  std::size_t PendingDraws() const { return draws_.size(); }
  int DrawsTaken() const { return draws_taken_; }
  int LocalTimeReads() const { return local_reads_; }

 protected:
  virtual void OnUnscriptedDraw();

 private:
  std::int64_t now_ticks_ = 0;
  std::int64_t local_ticks_ = 0;  // since local midnight
  std::deque<int> draws_;
  std::vector<int> repeated_;
  std::size_t next_repeated_ = 0;
  int draws_taken_ = 0;
  int local_reads_ = 0;
  std::string zone_name_ = "UTC";
  bool runtime_zone_ = false;

  std::int64_t OffsetTicks() const;
};

// Installs an Env for its lifetime, restoring the runtime one afterwards.
class ScopedEnv {
 public:
  explicit ScopedEnv(drovekeeper::spawn::Env& env) { drovekeeper::spawn::SetEnvForTesting(&env); }
  ~ScopedEnv() { drovekeeper::spawn::SetEnvForTesting(nullptr); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;
};
