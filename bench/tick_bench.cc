// The timer callback's cost: a call with the gate closed against a bare read
// of the wall clock it compares with, and one run over 10,000 to 1,000,000
// actors with 1 to 100 due entries, held by their cap or spawning, counted
// with the run's tally or with a fresh walk per entry. And the status
// command's one walk for the wild counts of its entries.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bench/alloc_count.h"
#include "bench/bench_world.h"
#include "config/config.h"
#include "spawn/cap.h"
#include "spawn/tick.h"

namespace drovekeeper::spawn {

namespace {

// The clock the callback reads between runs, read directly.
void BM_BareClockRead(benchmark::State& state) {
  using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        std::chrono::duration_cast<Ticks>(std::chrono::system_clock::now().time_since_epoch())
            .count());
  }
}
// Repeated, so that the goal compares the quietest repetition of each
// under a machine's varying load.
BENCHMARK(BM_BareClockRead)->Repetitions(9);

void BM_GateClosed(benchmark::State& state) {
  NextRunTicks = std::numeric_limits<std::int64_t>::max();
  for (auto _ : state) TimingSpawnTick();
  NextRunTicks = 0;
}
BENCHMARK(BM_GateClosed)->Repetitions(9);

// One world at a time, kept between the benchmark's calls: building a
// million actors costs more than a run.
std::unique_ptr<standin::game::World> world;
int world_actors = -1;
int world_classes = -1;

standin::game::World& WorldOf(int actors, int classes) {
  if (world_actors != actors || world_classes < classes) {
    world.reset();
    world = BuildBenchWorld(actors, classes);
    WrapAllocatingGameFunctions();
    world_actors = actors;
    world_classes = classes;
  }
  return *world;
}

// Args: actors, due entries, spawning (0/1), fresh walk per entry (0/1).
void BM_Run(benchmark::State& state) {
  const int actors = static_cast<int>(state.range(0));
  const int entries = static_cast<int>(state.range(1));
  const bool spawning = state.range(2) != 0;
  const bool per_entry = state.range(3) != 0;
  standin::game::World& w = WorldOf(actors, 100);
  SetCountStrategyForTesting(per_entry ? CountStrategy::kPerEntry : CountStrategy::kTally);
  config::ConfigDocument = BenchConfig(entries, spawning);
  config::BuildSpawnTables(config::ConfigDocument);

  // One run first, so that what is allocated once (the first texts of the
  // classes seen, the containers' first storage) is not charged to the runs.
  NextRunTicks = 0;
  TimingSpawnTick();
  if (spawning) UndoSpawns(w, entries);

  std::uint64_t allocations = 0;
  const std::size_t spawns_before = w.Spawns().size();
  for (auto _ : state) {
    NextRunTicks = 0;
    const std::uint64_t before = PluginAllocations();
    TimingSpawnTick();
    allocations += PluginAllocations() - before;
    if (spawning) {
      state.PauseTiming();
      UndoSpawns(w, entries);
      state.ResumeTiming();
    }
  }
  const auto runs = static_cast<double>(state.iterations());
  const auto spawned = static_cast<double>(w.Spawns().size() - spawns_before);
  if (spawning && spawned != runs * entries) state.SkipWithError("not every entry spawned");
  if (!spawning && spawned != 0) state.SkipWithError("a held entry spawned");
  state.counters["actors"] = actors;
  state.counters["entries"] = entries;
  state.counters["spawning"] = spawning;
  state.counters["per_entry"] = per_entry;
  state.counters["allocs_per_run"] = allocations / runs;
  state.counters["allocs_per_actor"] = allocations / runs / actors;
  SetCountStrategyForTesting(CountStrategy::kTally);
}

// The per-entry walk is the baseline the tally is measured against; over a
// million actors it would take minutes per run, so it stops at 100,000.
void RunArgs(benchmark::internal::Benchmark* b) {
  for (int64_t actors : {10'000, 100'000, 1'000'000}) {
    for (int64_t entries : {1, 10, 100}) {
      for (int64_t spawning : {0, 1}) {
        b->Args({actors, entries, spawning, 0});
        if (actors <= 100'000) b->Args({actors, entries, spawning, 1});
      }
    }
  }
}
BENCHMARK(BM_Run)
    ->Apply(RunArgs)
    ->ArgNames({"actors", "entries", "spawn", "per_entry"})
    ->Unit(benchmark::kMillisecond);

// The status command's wild counts: one walk of the level for every capped
// entry. Args: actors, entries.
void BM_StatusWildCounts(benchmark::State& state) {
  const int actors = static_cast<int>(state.range(0));
  const int entries = static_cast<int>(state.range(1));
  WorldOf(actors, 100);
  std::vector<std::string> names;
  for (int i = 0; i < entries; ++i) names.push_back(CreatureEntryName(i));
  const std::vector<std::string_view> views(names.begin(), names.end());
  for (auto _ : state) benchmark::DoNotOptimize(CountWildOfClasses(views));
  state.counters["actors"] = actors;
  state.counters["entries"] = entries;
}
BENCHMARK(BM_StatusWildCounts)
    ->Args({100'000, 1})
    ->Args({100'000, 100})
    ->ArgNames({"actors", "entries"})
    ->Unit(benchmark::kMillisecond);

}  // namespace

}  // namespace drovekeeper::spawn
