// The wild population cap: which actors count, the blueprint reference they
// are matched by, and the test against "Worldmaximum".
#include "spawn/cap.h"

#include <gtest/gtest.h>

#include <string>

#include "config/config.h"
#include "standin/game/allocator.h"
#include "standin/host/host.h"
#include "tests/support/host_fixture.h"

namespace drovekeeper::spawn {

namespace {

using nlohmann::json;

const std::string kRex = "Blueprint'/Game/Rex.Rex'";

class CapTest : public HostFixture {};

TEST_F(CapTest, EntryNamesTheClassByItsBlueprintReference) {
  const struct {
    const char* reference;
    const char* name;
  } cases[] = {
      {"/P/A.A_C", "Blueprint'/P/A.A'"},
      {"/Game/Dinos/Rex/Rex_Character_BP.Rex_Character_BP_C",
       "Blueprint'/Game/Dinos/Rex/Rex_Character_BP.Rex_Character_BP'"},
      {"AB", "Blueprint''"},
      {"A", "Blueprint''"},
      {"/P/\xC3\x84.\xC3\x84_C", "Blueprint'/P/\xC3\x84.\xC3\x84'"},
  };
  for (const auto& c : cases) {
    UseWorld(WorldBuilder().Creatures(c.reference, 1));
    EXPECT_EQ(CountWildOfClass(c.name), 1) << c.reference;
  }
}

TEST_F(CapTest, CountsOnlyWildCreaturesOfTheClass) {
  UseWorld(WorldBuilder()
               .Creatures(kRex, 2)
               .Creatures(kRex, 1, 49998)
               .Creatures(kRex, 1, 49999)
               .Creatures(kRex, 1, 50000)
               .Creatures("Blueprint'/Game/Rex.Rex2'", 1)
               .Creatures("Blueprint'/Game/Anky.Anky'", 3)
               .NullActors(2));
  EXPECT_EQ(CountWildOfClass(kRex), 3);
  EXPECT_EQ(CountWildOfClass("blueprint'/Game/Rex.Rex'"), 0);
  EXPECT_EQ(CountWildOfClass("Blueprint'/Game/Rex.Rex"), 0);
  EXPECT_EQ(CountWildOfClass("Blueprint'/Game/Rex.Rex' "), 0);
  EXPECT_EQ(CountWildOfClass("/Game/Rex.Rex_C"), 0);
  EXPECT_EQ(CountWildOfClass("Blueprint'/Game/Anky.Anky'"), 3);
  EXPECT_EQ(CountWildOfClass(""), 0);
}

TEST_F(CapTest, ActorsThatAreNoCreaturesDoNotCount) {
  // Same reference, but the class is no creature class.
  UseWorld(WorldBuilder().Actors("Blueprint'/P/Rock.Rock'", 4).Creatures(kRex, 1));
  EXPECT_EQ(CountWildOfClass("Blueprint'/P/Rock.Rock'"), 0);
  EXPECT_EQ(CountWildOfClass(kRex), 1);
}

TEST_F(CapTest, NonAsciiNamesCompareAsUtf8) {
  const std::string name = "Blueprint'/P/\xE9\x9C\xB8.\xE9\x9C\xB8'";
  UseWorld(WorldBuilder().Creatures(name, 2).Creatures("Blueprint'/P/?.?'", 1));
  EXPECT_EQ(CountWildOfClass(name), 2);
  EXPECT_EQ(CountWildOfClass("Blueprint'/P/?.?'"), 1);
}

TEST_F(CapTest, EmptyOrMissingLevelCountsNothing) {
  standin::game::World& world = UseWorld();
  EXPECT_EQ(CountWildOfClass(kRex), 0);
  world.SetHasPersistentLevel(false);
  EXPECT_EQ(CountWildOfClass(kRex), 0);
  standin::host::SetWorld(nullptr);
  EXPECT_EQ(CountWildOfClass(kRex), 0);
}

TEST_F(CapTest, CountAllocatesOnlyTheSnapshotAndGameTexts) {
  UseWorld(WorldBuilder().Creatures(kRex, 5).Creatures(kRex, 2, 50000).NullActors(1));
  const std::uint64_t before = standin::game::TotalAllocations();
  EXPECT_EQ(CountWildOfClass(kRex), 5);
  // One snapshot of the actor list, one reference text per wild creature.
  EXPECT_EQ(standin::game::TotalAllocations() - before, 1u + 5u);
}

struct CapCase {
  int present;
  json maximum;
  bool below;
};

TEST_F(CapTest, WorldMaximum) {
  const CapCase cases[] = {
      {0, 0, false}, {0, -1, false}, {3, 3, false},   {2, 3, true},    {0, 1, true},
      {4, 3, false}, {0, 1.9, true}, {1, 1.9, false}, {0, true, true},
  };
  for (const CapCase& c : cases) {
    UseWorld(WorldBuilder().Creatures(kRex, c.present));
    config::ConfigDocument = {{"SpawnDino", {{kRex, {{"Worldmaximum", c.maximum}}}}}};
    EXPECT_EQ(BelowWorldMaximum("SpawnDino", kRex), c.below)
        << c.present << " present, maximum " << c.maximum.dump();
  }
}

TEST_F(CapTest, MissingWorldMaximumThrows) {
  UseWorld();
  config::ConfigDocument = {{"SpawnDinoX", {{kRex, {{"Worldmaximum", "3"}}}}}};
  EXPECT_THROW(BelowWorldMaximum("SpawnDinoX", kRex), nlohmann::json::type_error);
  EXPECT_THROW(BelowWorldMaximum("SpawnDino", kRex), nlohmann::json::type_error);
}

TEST_F(CapTest, NoLevelMeansNoSpawnWithoutReadingMaximum) {
  standin::game::World& world = UseWorld();
  world.SetHasPersistentLevel(false);
  config::ConfigDocument = json::object();
  EXPECT_FALSE(BelowWorldMaximum("SpawnDino", kRex));
  EXPECT_TRUE(config::ConfigDocument.empty());
}

}  // namespace

}  // namespace drovekeeper::spawn
