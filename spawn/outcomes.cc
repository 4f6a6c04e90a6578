#include "spawn/outcomes.h"

#include <functional>
#include <map>

#include "config/config.h"
#include "spawn/env.h"

namespace drovekeeper::spawn {

namespace {

using CounterMap = std::map<std::string, EntryCounters, std::less<>>;

// One map per table; a name is looked up by view, so a turn of an entry
// already known allocates nothing.
// Prioritised: Load runs from an unprioritised module constructor.
CounterMap countdown_counters __attribute__((init_priority(1000)));
CounterMap clock_counters __attribute__((init_priority(1000)));
std::int64_t runs = 0;

CounterMap& MapOf(std::string_view table) {
  return table == config::kCountdownTableKey ? countdown_counters : clock_counters;
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

void CountRun() { ++runs; }

std::int64_t RunsCounted() { return runs; }

const EntryCounters* FindEntryCounters(std::string_view table, std::string_view name) {
  const CounterMap& counters = MapOf(table);
  auto it = counters.find(name);
  return it == counters.end() ? nullptr : &it->second;
}

void ResetEntryOutcomes() {
  countdown_counters.clear();
  clock_counters.clear();
  runs = 0;
}

}  // namespace drovekeeper::spawn
