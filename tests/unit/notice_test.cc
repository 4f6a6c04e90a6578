// The spawn notice: map coordinates, the notice text, and who receives it
// with which arguments.
#include "spawn/notice.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "config/config.h"
#include "host/game_array.h"
#include "spawn/spawn.h"
#include "standin/host/host.h"
#include "tests/support/config_entry.h"
#include "tests/support/host_fixture.h"
#include "tests/support/scripted_env.h"

namespace drovekeeper::spawn {

namespace {

using nlohmann::json;

const std::string kRex = "Blueprint'/Game/Rex.Rex'";

class NoticeTest : public HostFixture {
 protected:
  // Spawns one creature at `position` with a fixed level and a notice
  // naming it `name`; returns the texts the players received, in order.
  std::vector<std::pair<std::string, std::u16string>> SpawnWithNotice(
      json name, const std::string& position = "80000 0 0", int level = 150) {
    config::ConfigDocument = {
        {"SpawnDino",
         {{kRex, ConfigEntry().Position(position).Level(level, true).Notice().Name(name)}}}};
    env_.AllowEmptyQueue(0);
    SpawnEntryCreature("SpawnDino", kRex);
    std::vector<std::pair<std::string, std::u16string>> received;
    for (const auto& [player, notice] : world()->notices())
      received.emplace_back(player, notice.text);
    return received;
  }

  const AWorldSettings* Settings() {
    return reinterpret_cast<const AWorldSettings*>(world()->settings());
  }

  ScriptedEnv env_;
  ScopedEnv scoped_{env_};
};

struct MapCase {
  float x, y;
  float latitude, longitude;
};

TEST_F(NoticeTest, MapCoordinatesWithDefaults) {
  UseWorld();  // all four settings 0.0
  const MapCase cases[] = {
      {80000, 0, 50.0f, 60.0f},  {0, 600, 50.0f, 50.0f},     {0, -4000, 49.5f, 50.0f},
      {0, 1000, 50.1f, 50.0f},   {0, -400400, -0.1f, 50.0f}, {-400000, 400000, 100.0f, 0.0f},
      {799, -801, 49.8f, 50.0f},
  };
  for (const MapCase& c : cases) {
    const MapPosition got = MapCoordinates(Settings(), c.x, c.y);
    EXPECT_EQ(got.latitude, c.latitude) << c.x << " " << c.y;
    EXPECT_EQ(got.longitude, c.longitude) << c.x << " " << c.y;
    const MapPosition without = MapCoordinates(nullptr, c.x, c.y);
    EXPECT_EQ(without.latitude, c.latitude);
    EXPECT_EQ(without.longitude, c.longitude);
  }
}

TEST_F(NoticeTest, MapCoordinatesWithStoredSettings) {
  standin::game::World& world = UseWorld(WorldBuilder().Settings(400, 0, 0, 0));
  EXPECT_EQ(MapCoordinates(Settings(), 0, 4000).latitude, 101.0f);
  EXPECT_EQ(MapCoordinates(Settings(), 0, -8000).latitude, 98.0f);
  EXPECT_EQ(MapCoordinates(Settings(), 8000, 0).longitude, 51.0f);

  // Origins enter by their absolute value; -0.0 counts as unset.
  world.SetWorldSettings({-0.0f, 1000, 200000, -0.0f});
  const MapPosition got = MapCoordinates(Settings(), 10000, 0);
  EXPECT_EQ(got.latitude, 25.0f);
  EXPECT_EQ(got.longitude, 41.0f);

  world.SetWorldSettings({std::numeric_limits<float>::quiet_NaN(), 0, 0, 0});
  EXPECT_TRUE(std::isnan(MapCoordinates(Settings(), 0, 0).latitude));
}

TEST_F(NoticeTest, NoticeTextHandBuilt) {
  EXPECT_EQ(SpawnNoticeText(u"Rex", 150, {50.0f, 60.0f}),
            u"Dion (Rex) Level:150 Spawn Position\uFF1AY50 60\uFF01");
  EXPECT_EQ(SpawnNoticeText(u"", -3, {-0.1f, 45.3f}),
            u"Dion () Level:-3 Spawn Position\uFF1AY-0.1 45.3\uFF01");
  EXPECT_EQ(SpawnNoticeText(u"{} {{x}} }{0}", 1, {1234567.0f, 0.000125f}),
            u"Dion ({} {{x}} }{0}) Level:1 Spawn Position\uFF1AY1.23457e+06 0.000125\uFF01");
}

TEST_F(NoticeTest, EveryResolvedPlayerGetsTheTextInOrder) {
  UseWorld(WorldBuilder().Class(kRex).Player("first").Player("gone", false).Player("third"));
  const auto received = SpawnWithNotice("Rex");
  const std::u16string text = u"Dion (Rex) Level:150 Spawn Position\uFF1AY50 60\uFF01";
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0], std::make_pair(std::string("first"), text));
  EXPECT_EQ(received[1], std::make_pair(std::string("third"), text));
}

TEST_F(NoticeTest, NotificationArguments) {
  UseWorld(WorldBuilder().Class(kRex).Player("only"));
  SpawnWithNotice("Rex");
  ASSERT_EQ(world()->notices().size(), 1u);
  const standin::game::Notice& notice = world()->notices()[0].second;
  // Bytes B 255, G 255, R 0, A 1 in linear light.
  EXPECT_EQ(notice.colour.R, 0.0f);
  EXPECT_EQ(notice.colour.G, 1.0f);
  EXPECT_EQ(notice.colour.B, 1.0f);
  EXPECT_EQ(notice.colour.A, 0.003921569f);
  EXPECT_EQ(notice.scale, 1.5f);
  EXPECT_EQ(notice.time, 10.0f);
  EXPECT_TRUE(notice.icon_null);
  EXPECT_TRUE(notice.sound_null);
}

TEST_F(NoticeTest, NamesAreShownAsWritten) {
  const struct {
    json name;
    std::u16string shown;
  } cases[] = {
      {"", u""},
      {"{{x}}", u"{{x}}"},
      {"{}", u"{}"},
      {"a}b{", u"a}b{"},
      {"\xE9\x9C\xB8\xE7\x8E\x8B\xE9\xBE\x99", u"\u9738\u738B\u9F99"},
      {std::string("ab\0cd", 5), u"ab"},
  };
  for (const auto& c : cases) {
    UseWorld(WorldBuilder().Class(kRex).Player("p"));
    const auto received = SpawnWithNotice(c.name, "0 0 0", 7);
    ASSERT_EQ(received.size(), 1u) << c.name.dump();
    EXPECT_EQ(received[0].second,
              u"Dion (" + c.shown + u") Level:7 Spawn Position\uFF1AY50 50\uFF01")
        << c.name.dump();
  }
}

TEST_F(NoticeTest, ShowsTheLevelTheGameGaveWhenNotFixed) {
  UseWorld(WorldBuilder().Class(kRex).Player("p").SpawnLevels(33, 33));
  config::ConfigDocument = {
      {"SpawnDino", {{kRex, ConfigEntry().Position("0 8000 0").Notice().Name("Rex")}}}};
  SpawnEntryCreature("SpawnDino", kRex);
  ASSERT_EQ(world()->notices().size(), 1u);
  EXPECT_EQ(world()->notices()[0].second.text,
            u"Dion (Rex) Level:33 Spawn Position\uFF1AY51 50\uFF01");
}

TEST_F(NoticeTest, WorldWithoutSettingsUsesDefaults) {
  UseWorld(WorldBuilder().Class(kRex).Player("p").NoSettings());
  const auto received = SpawnWithNotice("Rex", "-8000 -8000 0", 2);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].second, u"Dion (Rex) Level:2 Spawn Position\uFF1AY49 49\uFF01");
}

TEST_F(NoticeTest, NoPlayersNoNotice) {
  UseWorld(WorldBuilder().Class(kRex).Player("gone", false));
  EXPECT_TRUE(SpawnWithNotice("Rex").empty());
  EXPECT_EQ(world()->Spawns().size(), 1u);
}

}  // namespace

}  // namespace drovekeeper::spawn
