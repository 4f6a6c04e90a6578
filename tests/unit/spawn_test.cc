// Spawning one creature: what the game is handed, the fixed level and its
// level-up points, the stat fill, and entries that must spawn nothing.
#include "spawn/spawn.h"

#include <gtest/gtest.h>

#include <array>
#include <numeric>
#include <string>

#include "config/config.h"
#include "plugin/log.h"
#include "spawn/entry_faults.h"
#include "spawn/tick.h"
#include "standin/host/host.h"
#include "tests/support/config_entry.h"
#include "tests/support/host_fixture.h"
#include "tests/support/scripted_env.h"

namespace drovekeeper::spawn {

namespace {

using nlohmann::json;

const std::string kRex = "Blueprint'/Game/Rex.Rex'";
constexpr std::array<int, 7> kLevelled = {0, 1, 3, 4, 7, 8, 9};

json Entry() { return ConfigEntry().Without("SpawnInterval").Position("100 -200 300").Name("Rex"); }

class SpawnTest : public HostFixture {
 protected:
  // Spawns once from the "SpawnDino" entry `entry`.
  std::vector<standin::game::SpawnRecord> Spawn(const json& entry, const std::string& name = kRex) {
    config::ConfigDocument = {{"SpawnDino", {{name, entry}}}};
    SpawnEntryCreature("SpawnDino", name);
    return world()->Spawns();
  }

  // Queues `count` draws of `value`.
  void QueueRepeated(int value, int count) {
    for (int i = 0; i < count; ++i) env_.QueueDraws({value});
  }

  static int PointSum(const standin::game::SpawnRecord& spawn) {
    int sum = 0;
    for (int stat : kLevelled) sum += spawn.points[stat];
    return sum;
  }

  ScriptedEnv env_;
  ScopedEnv scoped_{env_};
};

TEST_F(SpawnTest, HandsTheGameClassLocationRotationAndParameters) {
  UseWorld(WorldBuilder().Class(kRex));
  const auto spawns = Spawn(Entry());
  ASSERT_EQ(spawns.size(), 1u);
  const standin::game::SpawnRecord& spawn = spawns[0];
  EXPECT_EQ(spawn.class_reference, "/Game/Rex.Rex_C");
  EXPECT_EQ(spawn.location.X, 100.0f);
  EXPECT_EQ(spawn.location.Y, -200.0f);
  EXPECT_EQ(spawn.location.Z, 300.0f);
  EXPECT_EQ(spawn.rotation.Pitch, 0.0f);
  EXPECT_EQ(spawn.rotation.Yaw, 0.0f);
  EXPECT_EQ(spawn.rotation.Roll, 0.0f);
  const SpawnParameters& p = spawn.parameters;
  for (std::uint64_t word : p.words) EXPECT_EQ(word, 0u);
  EXPECT_EQ(p.flags & 0x3Fu, 0u);
  EXPECT_EQ(p.cleared_word, 0u);
  EXPECT_EQ(p.preset_word, 8u);
  EXPECT_EQ(p.tail[0], 0u);
  EXPECT_EQ(p.tail[1], 0u);
}

TEST_F(SpawnTest, ParametersKeepUpperFlagsAndOffset52) {
  SpawnParameters p;
  std::memset(&p, 0xFF, sizeof p);
  FillSpawnParameters(p);
  for (std::uint64_t word : p.words) EXPECT_EQ(word, 0u);
  EXPECT_EQ(p.flags, 0xFFFFFFC0u);
  EXPECT_EQ(p.cleared_word, 0u);
  EXPECT_EQ(p.preset_word, 8u);
  EXPECT_EQ(p.reserved52, 0xFFFFFFFFu);
  EXPECT_EQ(p.tail[0], 0u);
  EXPECT_EQ(p.tail[1], 0u);
}

TEST_F(SpawnTest, UnfixedLevelKeepsTheGamesLevelAndPoints) {
  UseWorld(WorldBuilder().Class(kRex).SpawnLevels(40, 40));
  const auto spawns = Spawn(Entry());
  ASSERT_EQ(spawns.size(), 1u);
  EXPECT_EQ(spawns[0].level, 40);
  EXPECT_EQ(PointSum(spawns[0]), 39);
  EXPECT_EQ(env_.DrawsTaken(), 0);
}

TEST_F(SpawnTest, StartsRescalesAndFillsThreeCurrentValues) {
  UseWorld(WorldBuilder().Class(kRex).SpawnLevels(30, 30));
  const auto spawns = Spawn(Entry());
  ASSERT_EQ(spawns.size(), 1u);
  const standin::game::SpawnRecord& spawn = spawns[0];
  EXPECT_EQ(spawn.begin_play_calls, 1);
  EXPECT_EQ(spawn.rescale_calls, 2);
  for (int stat : {0, 1, 4}) EXPECT_EQ(spawn.current_values[stat], spawn.max_values[stat]);
  // The game leaves the others at half.
  for (int stat : {2, 3, 5, 7}) {
    EXPECT_EQ(spawn.current_values[stat], spawn.max_values[stat] / 2) << stat;
  }
}

TEST_F(SpawnTest, LevelOneHandsOutNoPoints) {
  UseWorld(WorldBuilder().Class(kRex).SpawnLevels(60, 60));
  json entry = Entry();
  entry["levelFixed"] = true;
  entry["Maxlevel"] = 1;
  const auto spawns = Spawn(entry);
  ASSERT_EQ(spawns.size(), 1u);
  EXPECT_EQ(spawns[0].level, 1);
  for (int stat : kLevelled) EXPECT_EQ(spawns[0].points[stat], 0) << stat;
  EXPECT_EQ(env_.DrawsTaken(), 0);
}

TEST_F(SpawnTest, Level150SpreadsPointsByTheDrawMapping) {
  UseWorld(WorldBuilder().Class(kRex).SpawnLevels(80, 80));
  // Draws 0..8 over and over: 2, 5 and 6 land on 1, 4 and 9.
  for (int i = 0; i < 149; ++i) env_.QueueDraws({i % 9 + 9 * (i % 3)});
  json entry = Entry();
  entry["levelFixed"] = true;
  const auto spawns = Spawn(entry);
  ASSERT_EQ(spawns.size(), 1u);
  EXPECT_EQ(spawns[0].level, 150);
  EXPECT_EQ(PointSum(spawns[0]), 149);
  // 149 draws: residues 0..4 seventeen times, 5..8 sixteen times.
  const std::array<int, 12> expected = {17, 34, 0, 17, 33, 0, 0, 16, 16, 16, 0, 0};
  for (int stat = 0; stat < 12; ++stat) EXPECT_EQ(spawns[0].points[stat], expected[stat]) << stat;
  EXPECT_EQ(env_.PendingDraws(), 0u);
}

TEST_F(SpawnTest, FullStatsOverflowInOrderWithoutStatNine) {
  UseWorld(WorldBuilder().Class(kRex));
  json entry = Entry();
  entry["levelFixed"] = true;
  entry["Maxlevel"] = 5000;
  // Stat 9 fills first, then its draws move on to 0, 1, 3, 4, 7, 8.
  QueueRepeated(6, 1688);
  const auto spawns = Spawn(entry);
  ASSERT_EQ(spawns.size(), 1u);
  EXPECT_EQ(spawns[0].level, 5000);
  const std::array<int, 7> expected = {253, 253, 253, 253, 253, 170, 253};  // 0,1,3,4,7,8,9
  for (std::size_t i = 0; i < kLevelled.size(); ++i) {
    EXPECT_EQ(spawns[0].points[kLevelled[i]], expected[i]) << kLevelled[i];
  }
  EXPECT_EQ(env_.PendingDraws(), 0u);
}

TEST_F(SpawnTest, PointsBeyondSixFullStatsGoToNineOrAreDropped) {
  UseWorld(WorldBuilder().Class(kRex));
  json entry = Entry();
  entry["levelFixed"] = true;
  entry["Maxlevel"] = 1689;  // still 1688 points
  QueueRepeated(1, 1518);    // fills 1, then 0, 3, 4, 7, 8
  QueueRepeated(6, 100);     // stat 9 still takes these
  QueueRepeated(3, 70);      // dropped: the scan skips 9
  const auto spawns = Spawn(entry);
  ASSERT_EQ(spawns.size(), 1u);
  for (int stat : {0, 1, 3, 4, 7, 8}) EXPECT_EQ(spawns[0].points[stat], 253) << stat;
  EXPECT_EQ(spawns[0].points[9], 100);
  EXPECT_EQ(env_.PendingDraws(), 0u);
}

TEST_F(SpawnTest, ApplyFixedLevelZeroesOnlyItsSevenStats) {
  standin::game::StatusComponent component{};
  for (auto& count : component.level_up_points) count = 9;
  standin::host::RegisterMember("UPrimalCharacterStatusComponent.BaseCharacterLevel",
                                offsetof(standin::game::StatusComponent, base_character_level));
  standin::host::RegisterMember("UPrimalCharacterStatusComponent.NumberOfLevelUpPointsApplied",
                                offsetof(standin::game::StatusComponent, level_up_points));
  auto* game = reinterpret_cast<UPrimalCharacterStatusComponent*>(&component);
  env_.QueueDraws({0, 0});
  ApplyFixedLevel(game, 3);
  EXPECT_EQ(component.base_character_level, 3);
  const std::array<int, 12> expected = {2, 0, 9, 0, 0, 9, 9, 0, 0, 0, 9, 9};
  for (int stat = 0; stat < 12; ++stat) EXPECT_EQ(component.level_up_points[stat], expected[stat]);

  for (std::int32_t level : {0, -5}) {
    ApplyFixedLevel(game, level);
    EXPECT_EQ(component.base_character_level, level);
  }
  EXPECT_EQ(env_.DrawsTaken(), 2);
}

TEST_F(SpawnTest, ClassThatDoesNotLoadOrRefusedSpawnIsSilent) {
  standin::game::World& world = UseWorld(WorldBuilder().Class(kRex));
  EXPECT_TRUE(Spawn(Entry(), "Blueprint'/Game/Nothing.Nothing'").empty());
  EXPECT_TRUE(Spawn(Entry(), "").empty());
  world.SetRefuseSpawns(true);
  EXPECT_TRUE(Spawn(Entry()).empty());
  EXPECT_EQ(world.refused_spawns(), 1);
  EXPECT_TRUE(sink().payloads().empty());
}

TEST_F(SpawnTest, UnloadedClassReadsNoSettings) {
  UseWorld();
  config::ConfigDocument = json::object();
  SpawnEntryCreature("SpawnDino", kRex);
  EXPECT_TRUE(config::ConfigDocument.empty());
}

TEST_F(SpawnTest, NonAsciiBytesReachTheLoaderAsQuestionMarks) {
  UseWorld(WorldBuilder().Class("Blueprint'/Game/R?x.R??x'"));
  const auto spawns = Spawn(Entry(), "Blueprint'/Game/R\xC3x.R\xC3\xA9x'");
  ASSERT_EQ(spawns.size(), 1u);
  EXPECT_EQ(spawns[0].class_reference, "/Game/R?x.R??x_C");
}

TEST_F(SpawnTest, CreatureWithoutStatusIsStartedOnly) {
  standin::game::World& world =
      UseWorld(WorldBuilder().Class(kRex).SpawnWithoutStatus().Player("a"));
  json entry = Entry();
  entry["levelFixed"] = true;
  entry["SpawnNotice"] = true;
  const auto spawns = Spawn(entry);
  ASSERT_EQ(spawns.size(), 1u);
  EXPECT_FALSE(spawns[0].has_status);
  EXPECT_EQ(spawns[0].begin_play_calls, 1);
  EXPECT_EQ(world.rescale_calls(), 0);
  EXPECT_EQ(env_.DrawsTaken(), 0);
  ASSERT_EQ(world.notices().size(), 1u);
  EXPECT_EQ(world.notices()[0].second.text.substr(0, 18), u"Dion (Rex) Level:0");
}

struct FaultCase {
  const char* what;
  json changes;  // merged into the entry; null values remove the key
  std::string message;
};

TEST_F(SpawnTest, FaultyEntriesSpawnNothing) {
  const FaultCase cases[] = {
      {"Maxlevel 0 with levelFixed",
       {{"Maxlevel", 0}, {"levelFixed", true}},
       "\"Maxlevel\" must be 1 or more when \"levelFixed\" is true, but is 0"},
      {"Maxlevel -3 with levelFixed",
       {{"Maxlevel", -3}, {"levelFixed", true}},
       "\"Maxlevel\" must be 1 or more when \"levelFixed\" is true, but is -3"},
      {"no Name with SpawnNotice",
       {{"SpawnNotice", true}, {"Name", nullptr}},
       "[json.exception.type_error.302] type must be string, but is null"},
      {"no Maxlevel without levelFixed",
       {{"Maxlevel", nullptr}},
       "[json.exception.type_error.302] type must be number, but is null"},
      {"levelFixed as a number",
       {{"levelFixed", 1}},
       "[json.exception.type_error.302] type must be boolean, but is number"},
      {"SpawnNotice missing",
       {{"SpawnNotice", nullptr}},
       "[json.exception.type_error.302] type must be boolean, but is null"},
      {"bad Position number", {{"Position", "100 x 300"}}, "invalid stoi argument"},
  };
  for (const FaultCase& c : cases) {
    UseWorld(WorldBuilder().Class(kRex).Class("Blueprint'/Game/Anky.Anky'"));
    json entry = Entry();
    entry.merge_patch(c.changes);
    json table = {{kRex, entry}, {"Blueprint'/Game/Anky.Anky'", Entry()}};
    for (auto& [name, settings] : table.items()) settings["SpawnInterval"] = 0;
    sink().Clear();
    NextRunTicks = 0;
    config::ConfigDocument = {{"SpawnDino", table}};
    config::BuildSpawnTables(config::ConfigDocument);
    TimingSpawnTick();

    const auto spawns = world()->Spawns();
    ASSERT_EQ(spawns.size(), 1u) << c.what;
    EXPECT_EQ(spawns[0].class_reference, "/Game/Anky.Anky_C") << c.what;
    EXPECT_EQ(sink().payloads(),
              std::vector<std::string>{"SpawnDino[\"" + kRex + "\"]: " + c.message})
        << c.what;
  }
}

}  // namespace

}  // namespace drovekeeper::spawn
