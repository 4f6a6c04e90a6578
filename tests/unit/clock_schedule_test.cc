// The clock-time schedule: clock texts, firing minutes, skipped minutes, and
// its place after the countdown walk.
#include "spawn/clock_schedule.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/config.h"
#include "spawn/tick.h"
#include "tests/support/config_entry.h"
#include "tests/support/host_fixture.h"
#include "tests/support/scripted_env.h"

namespace {

using nlohmann::json;

const std::string kRex = "Blueprint'/Game/Rex.Rex'";
const std::string kAnky = "Blueprint'/Game/Anky.Anky'";

TEST(ClockTextTest, HourFirstWithoutLeadingZeros) {
  const struct {
    LocalHourMinute time;
    const char* text;
  } cases[] = {{{7, 5}, "7:5"},
               {{0, 0}, "0:0"},
               {{23, 59}, "23:59"},
               {{12, 30}, "12:30"},
               {{10, 0}, "10:0"}};
  for (const auto& c : cases) EXPECT_EQ(ClockText(c.time), c.text);
}

class ClockScheduleTest : public HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    env_.SetNowTicks(500'000 * ScriptedEnv::kTicksPerSecond);
  }

  void Load(json document) {
    ConfigDocument = std::move(document);
    BuildSpawnTables(ConfigDocument);
  }

  // Runs the tick once at each local time; returns how many spawns each
  // run made.
  std::vector<std::size_t> RunAt(const std::vector<std::pair<int, int>>& times) {
    std::vector<std::size_t> made;
    for (auto [hour, minute] : times) {
      env_.AdvanceSeconds(61);
      env_.SetLocalTime(hour, minute, 30);
      const std::size_t before = world()->Spawns().size();
      TimingSpawnTick();
      made.push_back(world()->Spawns().size() - before);
    }
    return made;
  }

  ScriptedEnv env_;
  ScopedEnv scoped_{env_};
};

TEST_F(ClockScheduleTest, FiresOnlyInItsMinute) {
  UseWorld(WorldBuilder().Class(kRex));
  Load({{"SpawnDinoX", {{kRex, ConfigEntry("7:5")}}}});
  EXPECT_EQ(RunAt({{7, 4}, {7, 5}, {7, 6}, {19, 5}, {7, 50}}),
            (std::vector<std::size_t>{0, 1, 0, 0, 0}));
}

TEST_F(ClockScheduleTest, TextsThatNeverMatch) {
  UseWorld(WorldBuilder().Class(kRex).Class(kAnky));
  Load({{"SpawnDinoX", {{kRex, ConfigEntry("07:05")}, {kAnky, ConfigEntry("7:05")}}}});
  EXPECT_EQ(RunAt({{7, 5}, {7, 5}}), (std::vector<std::size_t>{0, 0}));
}

TEST_F(ClockScheduleTest, MidnightIsZeroZero) {
  UseWorld(WorldBuilder().Class(kRex));
  Load({{"SpawnDinoX", {{kRex, ConfigEntry("0:0")}}}});
  EXPECT_EQ(RunAt({{23, 59}, {0, 0}, {0, 1}}), (std::vector<std::size_t>{0, 1, 0}));
}

TEST_F(ClockScheduleTest, MinuteWithoutRunIsNotCaughtUp) {
  standin::World& world = UseWorld(WorldBuilder().Class(kRex));
  Load({{"SpawnDinoX", {{kRex, ConfigEntry("12:30")}}}});
  env_.SetLocalTime(12, 29, 59.6);
  TimingSpawnTick();
  env_.AdvanceSeconds(59.9);  // 12:30:59.5, inside the gate
  TimingSpawnTick();
  env_.AdvanceSeconds(0.6);  // 12:31:00.1
  TimingSpawnTick();
  EXPECT_TRUE(world.Spawns().empty());
  EXPECT_EQ(env_.LocalTimeReads(), 2);
}

TEST_F(ClockScheduleTest, LocalTimeIsReadForEveryEntry) {
  UseWorld(WorldBuilder().Class(kRex).Class(kAnky));
  Load({{"SpawnDinoX", {{kRex, ConfigEntry("1:1")}, {kAnky, ConfigEntry("1:2")}}}});
  RunAt({{3, 0}});
  EXPECT_EQ(env_.LocalTimeReads(), 2);
}

TEST_F(ClockScheduleTest, RunsAfterCountdownWalkWithItsOwnSettings) {
  standin::World& world = UseWorld(WorldBuilder().Class(kRex).Class(kAnky));
  json clock_entry = ConfigEntry("8:0");
  clock_entry["Position"] = "7 8 9";
  Load({{"SpawnDino", {{kRex, ConfigEntry(0)}}}, {"SpawnDinoX", {{kAnky, clock_entry}}}});
  RunAt({{8, 0}});
  const auto spawns = world.Spawns();
  ASSERT_EQ(spawns.size(), 2u);
  EXPECT_EQ(spawns[0].class_reference, "/Game/Rex.Rex_C");
  EXPECT_EQ(spawns[1].class_reference, "/Game/Anky.Anky_C");
  EXPECT_EQ(spawns[1].location.X, 7.0f);
  EXPECT_EQ(spawns[1].location.Z, 9.0f);
}

TEST_F(ClockScheduleTest, CappedEntrySpawnsNothing) {
  standin::World& world = UseWorld(WorldBuilder().Creatures(kRex, 2));
  json entry = ConfigEntry("9:15");
  entry["Worldmaximum"] = 2;
  Load({{"SpawnDinoX", {{kRex, entry}}}});
  RunAt({{9, 15}});
  EXPECT_TRUE(world.Spawns().empty());
}

TEST_F(ClockScheduleTest, NonTextClockValueIsLoggedAndSkipped) {
  standin::World& world = UseWorld(WorldBuilder().Class(kRex).Class(kAnky));
  Load({{"SpawnDinoX", {{kAnky, ConfigEntry("5:0")}, {kRex, ConfigEntry("5:0")}}}});
  ClockTable[kAnky] = 500;
  RunAt({{5, 0}, {5, 0}});
  EXPECT_EQ(world.Spawns().size(), 2u);
  ASSERT_EQ(sink().payloads().size(), 1u);
  EXPECT_EQ(sink().payloads()[0],
            "SpawnDinoX[\"" + kAnky + "\"]: clock time must be a string, but is number");
}

}  // namespace
