// The tally of a timer run: how often the level is walked for the run's
// counts, what a spawn and a change of level make it walk again, and that it
// does not outlive its run.
#include "spawn/tally.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "host/game_string.h"
#include "spawn/cap.h"
#include "spawn/tick.h"
#include "standin/host/host.h"
#include "tests/support/config_entry.h"
#include "tests/support/host_fixture.h"
#include "tests/support/scripted_env.h"
#include "tests/support/spawn_run_fixture.h"

namespace drovekeeper::spawn {

namespace {

using nlohmann::json;

constexpr std::int64_t kStartTicks = 800'000 * ScriptedEnv::kTicksPerSecond;

// ---- Counting the walks: every wild creature visited asks for its class's
// reference once, so the calls to this game function count actor visits.

int reference_calls = 0;
void* real_class_to_string_reference = nullptr;

GameStringRecord* CountingClassToStringReference(GameStringRecord* result, void* cls) {
  ++reference_calls;
  using Fn = GameStringRecord* (*)(GameStringRecord*, void*);
  return reinterpret_cast<Fn>(real_class_to_string_reference)(result, cls);
}

void CountReferenceCalls() {
  real_class_to_string_reference = standin::host::GetAddress("UVictoryCore.ClassToStringReference");
  standin::host::RegisterFunction("UVictoryCore.ClassToStringReference",
                                  &CountingClassToStringReference);
  reference_calls = 0;
}

class TallyTest : public HostFixture {};

const std::string kRexOfCap = "Blueprint'/Game/Rex.Rex'";

TEST_F(TallyTest, TallyOfAnotherLevelIsNotReused) {
  // Within one counting run the host's world, and with it the level, changes.
  UseWorld(WorldBuilder().Creatures(kRexOfCap, 2));
  const std::unique_ptr<standin::game::World> other =
      WorldBuilder().Creatures(kRexOfCap, 5).Build();
  BeginCountingRun();
  EXPECT_EQ(CountWildOfClass(kRexOfCap), 2);
  other->Install();
  EXPECT_EQ(CountWildOfClass(kRexOfCap), 5);
  // Stale as well: the other level's array must not be taken for an update.
  world()->Install();
  ForgetWildTally();
  EXPECT_EQ(CountWildOfClass(kRexOfCap), 2);
  EndCountingRun();
}

json Entry(json interval, int maximum) {
  return ConfigEntry(interval).Cap(maximum).Position("0 0 0").Level(1, false);
}

const std::string kRex = "Blueprint'/Game/Rex/Rex.Rex'";
const std::string kAnky = "Blueprint'/Game/Anky/Anky.Anky'";
const std::string kRaptor = "Blueprint'/Game/Raptor/Raptor.Raptor'";

struct WalkCase {
  CountStrategy strategy;
  int held_entries;
  int expected_visits;
};

TEST_F(TallyTest, HeldEntriesShareOneWalkPerRun) {
  // 4 wild creatures; every entry is due and held by its cap.
  const WalkCase cases[] = {
      {CountStrategy::kTally, 1, 4},
      {CountStrategy::kTally, 3, 4},
      {CountStrategy::kPerEntry, 1, 4},
      {CountStrategy::kPerEntry, 3, 12},
  };
  const std::string names[] = {kRex, kAnky, kRaptor};
  for (const WalkCase& c : cases) {
    SetCountStrategyForTesting(c.strategy);
    standin::game::World& world = UseWorld(WorldBuilder()
                                               .Creatures(kRex, 2)
                                               .Creatures(kAnky, 1)
                                               .Creatures(kRaptor, 1)
                                               .Creatures(kRex, 3, 50000)
                                               .NullActors(1));
    json table = json::object();
    for (int i = 0; i < c.held_entries; ++i) table[names[i]] = Entry(0, 1);
    LoadSpawnTablesAfresh({{"SpawnDino", table}});
    CountReferenceCalls();
    TimingSpawnTick();
    EXPECT_EQ(reference_calls, c.expected_visits)
        << c.held_entries << " entries, per entry " << (c.strategy == CountStrategy::kPerEntry);
    EXPECT_TRUE(world.Spawns().empty());
  }
}

TEST_F(TallyTest, SpawnMakesTheNextCountVisitOnlyTheAppended) {
  // Rex is due in both tables in the same run, two present, at most three:
  // the countdown entry spawns the third, so the clock entry must see three.
  standin::game::World& world = UseWorld(WorldBuilder().Creatures(kRex, 2).Creatures(kAnky, 1));
  ScriptedEnv env;
  ScopedEnv scoped(env);
  env.SetNowTicks(kStartTicks);
  env.SetLocalTime(6, 0);
  json clock_entry = Entry("6:0", 3);
  LoadSpawnTablesAfresh({{"SpawnDino", {{kAnky, Entry(0, 0)}, {kRex, Entry(0, 3)}}},
                         {"SpawnDinoX", {{kRex, clock_entry}, {kAnky, Entry("6:0", 0)}}}});
  CountReferenceCalls();
  TimingSpawnTick();
  EXPECT_EQ(world.Spawns().size(), 1u);
  EXPECT_EQ(world.CountCreatures(world.FindClass("/Game/Rex/Rex.Rex_C"), true), 3);
  // One walk for the first two counts; after the spawn only the appended
  // creature is visited: 3 + 1 visits.
  EXPECT_EQ(reference_calls, 4);
}

TEST_F(TallyTest, TallyDoesNotOutliveItsRun) {
  standin::game::World& world = UseWorld(WorldBuilder().Creatures(kRex, 2));
  ScriptedEnv env;
  ScopedEnv scoped(env);
  env.SetNowTicks(kStartTicks);
  LoadSpawnTablesAfresh({{"SpawnDino", {{kRex, Entry(0, 2)}}}});
  TimingSpawnTick();
  EXPECT_TRUE(world.Spawns().empty());

  // The world changes between runs; the next run must see it.
  world.KillCreatures(world.FindClass("/Game/Rex/Rex.Rex_C"), 1);
  env.AdvanceSeconds(60);
  TimingSpawnTick();
  EXPECT_EQ(world.Spawns().size(), 1u);

  // Counts outside a run always walk afresh.
  world.AddCreature(world.FindClass("/Game/Rex/Rex.Rex_C"));
  EXPECT_EQ(CountWildOfClass(kRex), 3);
}

}  // namespace

}  // namespace drovekeeper::spawn
