// Per-entry outcome counters of the timer run: how often each entry fell due
// and what became of each turn, counted where the run decides it and kept
// from Load on, reloads included; the turns the spawn command runs are
// counted apart. The turns in spawn/ count; the status command
// (plugin/status.h) and the tests read them back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace drovekeeper::spawn {

enum class EntryOutcome { kSpawned, kHeldByCap, kClassUnknown, kSpawnRefused, kFailed };

struct EntryCounters {
  std::int64_t fell_due = 0;  // every turn, whatever became of it
  std::int64_t spawned = 0;
  std::int64_t held_by_cap = 0;
  std::int64_t class_unknown = 0;
  std::int64_t spawn_refused = 0;
  std::int64_t failed = 0;
  // At the last turn held by the cap: the wild count and the cap it met.
  std::int32_t held_count = 0;
  std::int32_t held_cap = 0;
  // The last failure: when (100 ns units since the epoch) and its message.
  std::int64_t last_failure_ticks = 0;
  std::string last_failure;
  // Turns run by Drovekeeper.spawn that spawned; never in the counts above.
  std::int64_t spawned_on_command = 0;
  // The last spawn: when, the world location's X and Y, and the level the
  // creature had once set up.
  std::int64_t last_spawn_ticks = 0;
  float last_spawn_x = 0, last_spawn_y = 0;
  std::int32_t last_spawn_level = 0;
  bool has_last_spawn = false;
};

// One turn of `table`'s entry `name` ended in `outcome` (not kHeldByCap or
// kFailed, which carry more below; a kSpawned turn that knows where it
// spawned counts through CountSpawn).
void CountOutcome(std::string_view table, std::string_view name, EntryOutcome outcome);
void CountSpawn(std::string_view table, std::string_view name, float x, float y,
                std::int32_t level);
// A turn of the spawn command spawned at world X, Y at `level`: the last
// spawn, as CountSpawn records it, but counted apart from the schedule's.
void CountSpawnOnCommand(std::string_view table, std::string_view name, float x, float y,
                         std::int32_t level);
void CountHeldByCap(std::string_view table, std::string_view name, std::int32_t count,
                    std::int32_t cap);
// Runs inside catch handlers, so nothing escapes it; a count that cannot be
// kept is lost.
void CountFailure(std::string_view table, std::string_view name, std::string_view message) noexcept;

// One run of the schedules, past the minute gate.
void CountRun();
std::int64_t RunsCounted();

// The counters of an entry, or null when none of its turns was counted.
const EntryCounters* FindEntryCounters(std::string_view table, std::string_view name);

// Forgets every counter and the runs: Load starts counting afresh.
void ResetEntryOutcomes();

}  // namespace drovekeeper::spawn
