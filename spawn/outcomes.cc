#include "spawn/outcomes.h"

#include "config/config.h"
#include "spawn/env.h"
#include "spawn/state.h"

namespace drovekeeper::spawn {

namespace {

CounterMap& MapOf(std::string_view table) {
  return table == config::kCountdownTableKey ? state.countdown_counters : state.clock_counters;
}

EntryCounters& EntryOf(std::string_view table, std::string_view name) {
  CounterMap& counters = MapOf(table);
  auto it = counters.find(name);
  if (it == counters.end()) it = counters.emplace(std::string(name), EntryCounters{}).first;
  return it->second;
}

// The counters of a scheduled turn, which fell due.
EntryCounters& CountersOf(std::string_view table, std::string_view name) {
  EntryCounters& counters = EntryOf(table, name);
  ++counters.fell_due;
  return counters;
}

void RecordLastSpawn(EntryCounters& counters, float x, float y, std::int32_t level) {
  counters.last_spawn_ticks = NowTicks();
  counters.last_spawn_x = x;
  counters.last_spawn_y = y;
  counters.last_spawn_level = level;
  counters.has_last_spawn = true;
}

}  // namespace

void CountOutcome(std::string_view table, std::string_view name, EntryOutcome outcome) {
  EntryCounters& counters = CountersOf(table, name);
  switch (outcome) {
    case EntryOutcome::kSpawned:
      ++counters.spawned;
      break;
    case EntryOutcome::kHeldByCap:
      ++counters.held_by_cap;
      break;
    case EntryOutcome::kClassUnknown:
      ++counters.class_unknown;
      break;
    case EntryOutcome::kSpawnRefused:
      ++counters.spawn_refused;
      break;
    case EntryOutcome::kFailed:
      ++counters.failed;
      break;
  }
}

void CountSpawn(std::string_view table, std::string_view name, float x, float y,
                std::int32_t level) {
  EntryCounters& counters = CountersOf(table, name);
  ++counters.spawned;
  RecordLastSpawn(counters, x, y, level);
}

void CountSpawnOnCommand(std::string_view table, std::string_view name, float x, float y,
                         std::int32_t level) {
  EntryCounters& counters = EntryOf(table, name);
  ++counters.spawned_on_command;
  RecordLastSpawn(counters, x, y, level);
}

void CountHeldByCap(std::string_view table, std::string_view name, std::int32_t count,
                    std::int32_t cap) {
  EntryCounters& counters = CountersOf(table, name);
  ++counters.held_by_cap;
  counters.held_count = count;
  counters.held_cap = cap;
}

void CountFailure(std::string_view table, std::string_view name,
                  std::string_view message) noexcept {
  try {
    EntryCounters& counters = CountersOf(table, name);
    ++counters.failed;
    counters.last_failure_ticks = NowTicks();
    counters.last_failure.assign(message);
  } catch (...) {
    // Out of memory for the name or the message: this turn goes uncounted.
  }
}

void CountRun() { ++state.runs; }

std::int64_t RunsCounted() { return state.runs; }

const EntryCounters* FindEntryCounters(std::string_view table, std::string_view name) {
  const CounterMap& counters = MapOf(table);
  auto it = counters.find(name);
  return it == counters.end() ? nullptr : &it->second;
}

void ResetEntryOutcomes() {
  state.countdown_counters.clear();
  state.clock_counters.clear();
  state.runs = 0;
}

}  // namespace drovekeeper::spawn
