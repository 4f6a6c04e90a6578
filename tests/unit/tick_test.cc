// The minute tick and the countdown schedule: the 60-second gate, countdown
// periods and resets, name order, and how one faulty entry is contained.
#include "spawn/tick.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/config.h"
#include "standin/host/host.h"
#include "tests/support/config_entry.h"
#include "tests/support/spawn_run_fixture.h"

namespace drovekeeper::spawn {

namespace {

using nlohmann::json;

class TickTest : public SpawnRunFixture {};

TEST_F(TickTest, GateOpensOncePerSixtySeconds) {
  standin::game::World& world = UseWorld(WorldBuilder().Class(kRex));
  Load({{"SpawnDino", {{kRex, ConfigEntry(0)}}}});
  const std::int64_t start = env_.NowTicks();

  TimingSpawnTick();
  EXPECT_EQ(world.Spawns().size(), 1u);
  EXPECT_EQ(NextRunTicks, start + kMinute);

  env_.AdvanceSeconds(59);
  TimingSpawnTick();
  EXPECT_EQ(world.Spawns().size(), 1u);
  env_.AdvanceSeconds(0.9999999);
  TimingSpawnTick();
  EXPECT_EQ(world.Spawns().size(), 1u);
  EXPECT_EQ(LastRunTicks, start) << "only a run is remembered";

  env_.SetNowTicks(start + kMinute);
  TimingSpawnTick();
  EXPECT_EQ(world.Spawns().size(), 2u);
  EXPECT_EQ(NextRunTicks, start + 2 * kMinute);
}

TEST_F(TickTest, ClockSetBackWaitsForStoredTime) {
  standin::game::World& world = UseWorld(WorldBuilder().Class(kRex));
  Load({{"SpawnDino", {{kRex, ConfigEntry(0)}}}});
  TimingSpawnTick();
  env_.AdvanceSeconds(-3600);
  TimingSpawnTick();
  EXPECT_EQ(world.Spawns().size(), 1u);
}

struct PeriodCase {
  json interval;
  std::vector<int> firing_runs;  // of runs 0..8
};

TEST_F(TickTest, CountdownPeriods) {
  const PeriodCase cases[] = {
      {0, {0, 1, 2, 3, 4, 5, 6, 7, 8}},
      {2, {2, 5, 8}},
      {-5, {0, 1, 2, 3, 4, 5, 6, 7, 8}},
      {2.5, {2, 5, 8}},
      {true, {1, 3, 5, 7}},
  };
  for (const PeriodCase& c : cases) {
    standin::game::World& world = UseWorld(WorldBuilder().Class(kRex));
    NextRunTicks = 0;
    Load({{"SpawnDino", {{kRex, ConfigEntry(c.interval)}}}});
    std::vector<int> fired;
    for (int run = 0; run < 9; ++run) {
      const std::size_t before = world.Spawns().size();
      RunMinute();
      if (world.Spawns().size() > before) fired.push_back(run);
    }
    EXPECT_EQ(fired, c.firing_runs) << "interval " << c.interval.dump();
  }
}

TEST_F(TickTest, IntervalZeroHoldsZeroAfterEveryRun) {
  UseWorld(WorldBuilder().Class(kRex));
  Load({{"SpawnDino", {{kRex, ConfigEntry(0)}}}});
  for (int run = 0; run < 3; ++run) {
    RunMinute();
    EXPECT_EQ(config::CountdownTable[kRex], json(0));
  }
}

TEST_F(TickTest, FractionalIntervalIsCopiedBackUnconverted) {
  UseWorld(WorldBuilder().Class(kRex));
  Load({{"SpawnDino", {{kRex, ConfigEntry(2.5)}}}});
  EXPECT_EQ(config::CountdownTable[kRex], json(2));
  RunMinute();  // 2 -> 1
  RunMinute();  // 1 -> 0
  RunMinute();  // fires
  ASSERT_TRUE(config::CountdownTable[kRex].is_number_float());
  EXPECT_EQ(config::CountdownTable[kRex].get<double>(), 2.5);
  RunMinute();  // read as 2
  EXPECT_EQ(config::CountdownTable[kRex], json(1));
}

TEST_F(TickTest, NegativeCountdownFiresAtOnceAndResets) {
  standin::game::World& world = UseWorld(WorldBuilder().Class(kRex));
  Load({{"SpawnDino", {{kRex, ConfigEntry(4)}}}});
  config::CountdownTable[kRex] = -7;
  RunMinute();
  EXPECT_EQ(world.Spawns().size(), 1u);
  EXPECT_EQ(config::CountdownTable[kRex], json(4));
}

TEST_F(TickTest, EntriesRunInByteOrderOfNames) {
  const std::string lower = "Blueprint'/Game/apex.apex'";
  standin::game::World& world = UseWorld(WorldBuilder().Class(kRex).Class(kAnky).Class(lower));
  json table = json::object();
  table[lower] = ConfigEntry(0);
  table[kRex] = ConfigEntry(0);
  table[kAnky] = ConfigEntry(0);
  Load({{"SpawnDino", table}});
  RunMinute();
  ASSERT_EQ(world.Spawns().size(), 3u);
  EXPECT_EQ(SpawnedClasses(), (std::vector<std::string>{"/Game/Anky.Anky_C", "/Game/Rex.Rex_C",
                                                        "/Game/apex.apex_C"}));
}

TEST_F(TickTest, CappedEntryStillResetsAndWaitsFullInterval) {
  standin::game::World& world = UseWorld(WorldBuilder().Creatures(kRex, 1));
  json entry = ConfigEntry(3);
  entry["Worldmaximum"] = 1;
  Load({{"SpawnDino", {{kRex, entry}}}});
  for (int run = 0; run < 4; ++run) RunMinute();
  EXPECT_TRUE(world.Spawns().empty());
  EXPECT_EQ(config::CountdownTable[kRex], json(3));

  world.KillCreatures(world.FindClass("/Game/Rex.Rex_C"), 1);
  for (int run = 0; run < 3; ++run) RunMinute();
  EXPECT_TRUE(world.Spawns().empty());
  RunMinute();
  EXPECT_EQ(world.Spawns().size(), 1u);
}

TEST_F(TickTest, BadCountdownValuesAreFaultsOfTheirEntry) {
  UseWorld(WorldBuilder().Class(kRex).Class(kAnky));
  Load({{"SpawnDino", {{kAnky, ConfigEntry(0)}, {kRex, ConfigEntry(0)}}}});
  config::CountdownTable[kAnky] = "soon";
  config::CountdownTable[kRaptor] = 0;  // in the table, not in the configuration
  RunMinute();
  RunMinute();

  EXPECT_EQ(SpawnedClasses(), (std::vector<std::string>{"/Game/Rex.Rex_C", "/Game/Rex.Rex_C"}));
  const std::vector<std::string> errors = ErrorLines();
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0],
            "SpawnDino[\"" + kAnky +
                "\"]: [json.exception.type_error.302] type must be number, but is string");
  EXPECT_EQ(errors[1], "SpawnDino[\"" + kRaptor + "\"]: no entry in the configuration");
  // Looking for the missing entry must not invent one.
  EXPECT_FALSE(config::ConfigDocument["SpawnDino"].contains(kRaptor));
}

TEST_F(TickTest, UnknownGameFunctionIsLoggedWithoutCrash) {
  standin::game::World& world = UseWorld(WorldBuilder().Class(kRex));
  Load({{"SpawnDino", {{kRex, ConfigEntry(0)}}}});
  ASSERT_TRUE(standin::host::Unregister("UVictoryCore.BPLoadClass"));
  RunMinute();
  EXPECT_TRUE(world.Spawns().empty());
  EXPECT_EQ(ErrorLines(), std::vector<std::string>{"SpawnDino[\"" + kRex +
                                                   "\"]: unknown game function "
                                                   "UVictoryCore.BPLoadClass"});
  EXPECT_EQ(config::CountdownTable[kRex], json(0));
}

TEST_F(TickTest, WithoutWorldOrLevelNothingSpawnsButCountdownsAdvance) {
  standin::game::World& world = UseWorld(WorldBuilder().Class(kRex));
  Load({{"SpawnDino", {{kRex, ConfigEntry(1)}}}});
  standin::host::SetWorld(nullptr);
  RunMinute();
  EXPECT_EQ(config::CountdownTable[kRex], json(0));
  RunMinute();
  EXPECT_EQ(config::CountdownTable[kRex], json(1));

  world.Install();
  world.SetHasPersistentLevel(false);
  RunMinute();
  RunMinute();
  EXPECT_EQ(config::CountdownTable[kRex], json(1));
  EXPECT_TRUE(world.Spawns().empty());
  EXPECT_TRUE(ErrorLines().empty());
}

TEST_F(TickTest, EmptyOrNullTablesDoNothing) {
  UseWorld();
  Load(json::object());
  RunMinute();
  config::CountdownTable = nullptr;
  config::ClockTable = nullptr;
  RunMinute();
  EXPECT_TRUE(world()->Spawns().empty());
  EXPECT_TRUE(ErrorLines().empty());
  EXPECT_EQ(env_.LocalTimeReads(), 0);
}

}  // namespace

}  // namespace drovekeeper::spawn
