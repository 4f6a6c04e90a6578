// The clock-time schedule: clock texts, firing minutes, skipped minutes made
// up, local time across clock changes, and its place after the countdown
// walk.
#include "spawn/clock_schedule.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "config/config.h"
#include "plugin/log.h"
#include "spawn/entry_faults.h"
#include "spawn/tick.h"
#include "tests/support/config_entry.h"
#include "tests/support/host_fixture.h"
#include "tests/support/scripted_env.h"

namespace drovekeeper::spawn {

namespace {

using nlohmann::json;

const std::string kRex = "Blueprint'/Game/Rex.Rex'";
const std::string kAnky = "Blueprint'/Game/Anky.Anky'";
const std::string kRaptor = "Blueprint'/Game/Raptor.Raptor'";

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
    config::ConfigDocument = std::move(document);
    config::BuildSpawnTables(config::ConfigDocument);
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

struct SkippedMinuteCase {
  const char* what;
  double start;  // local seconds of the day, also those of the wall clock
  // Seconds to each later call, and how far the local clocks then jump.
  std::vector<std::pair<double, double>> gaps;
  std::vector<std::pair<std::string, std::string>> entries;  // name, text
  std::vector<std::vector<std::string>> spawned;             // per run
};

TEST_F(ClockScheduleTest, MinuteSkippedByDriftIsMadeUpOnce) {
  const double k1229 = 12 * 3600 + 29 * 60 + 59.6;
  const double k0159 = 1 * 3600 + 59 * 60 + 59.6;
  const SkippedMinuteCase cases[] = {
      // The call at 12:30:59.5 finds the gate closed.
      {"drift", k1229, {{59.9, 0}, {0.6, 0}, {60, 0}}, {{kRex, "12:30"}}, {{}, {kRex}, {}}},
      {"two minutes", k1229, {{120, 0}}, {{kRex, "12:30"}}, {{}, {}}},
      {"three minutes", k1229, {{180.5, 0}}, {{kRex, "12:30"}, {kAnky, "12:31"}}, {{}, {}}},
      {"order",
       k1229,
       {{60.5, 0}},
       {{kRex, "12:30"}, {kRaptor, "12:30"}, {kAnky, "12:31"}},
       {{}, {kRaptor, kRex, kAnky}}},
      {"clocks forward",
       k0159,
       {{60.5, 3600}},
       {{kRex, "2:0"}, {kRaptor, "2:1"}, {kAnky, "3:0"}},
       {{}, {kAnky}}},
      {"clocks back", k0159 + 3600, {{60.5, -3600}}, {{kRex, "2:0"}, {kAnky, "3:0"}}, {{}, {kRex}}},
  };
  for (const SkippedMinuteCase& c : cases) {
    UseWorld(WorldBuilder().Class(kRex).Class(kAnky).Class(kRaptor));
    json table = json::object();
    for (const auto& [name, text] : c.entries) table[name] = ConfigEntry(text);
    Load({{"SpawnDinoX", table}});
    NextRunTicks = LastRunTicks = 0;
    env_.SetNowTicks(19'000LL * 86'400 * ScriptedEnv::kTicksPerSecond +
                     std::llround(c.start * ScriptedEnv::kTicksPerSecond));
    env_.SetLocalTime(0, 0, c.start);
    double local = c.start;
    std::vector<std::vector<std::string>> spawned;
    for (std::size_t call = 0; call <= c.gaps.size(); ++call) {
      if (call > 0) {
        env_.AdvanceSeconds(c.gaps[call - 1].first);
        env_.SetLocalTime(0, 0, local += c.gaps[call - 1].first + c.gaps[call - 1].second);
      }
      const std::size_t before = world()->Spawns().size();
      TimingSpawnTick();
      if (LastRunTicks != env_.NowTicks()) continue;  // not a run
      const auto spawns = world()->Spawns();
      std::vector<std::string>& names = spawned.emplace_back();
      for (std::size_t i = before; i < spawns.size(); ++i) {
        names.push_back(standin::game::BlueprintFromReference(spawns[i].class_reference));
      }
    }
    EXPECT_EQ(spawned, c.spawned) << c.what;
  }
}

#ifndef _WIN32
TEST(RuntimeEnvTest, LocalTimeOfAnInstantFollowsTheZone) {
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);  // needs no zone files
  tzset();
  constexpr std::int64_t kForward = 1'711'846'800LL * 10'000'000;  // 2024-03-31 01:00 UTC
  constexpr std::int64_t kBack = 1'729'990'800LL * 10'000'000;     // 2024-10-27 01:00 UTC
  const std::pair<std::int64_t, const char*> cases[] = {
      {kForward - 1, "1:59"}, {kForward, "3:0"}, {kBack - 1, "2:59"}, {kBack, "2:0"}};
  for (const auto& [at, text] : cases) EXPECT_EQ(ClockText(CurrentEnv().LocalAt(at)), text);
  setenv("TZ", "UTC", 1);
  tzset();
}
#endif

TEST_F(ClockScheduleTest, LocalTimeIsReadForEveryEntry) {
  UseWorld(WorldBuilder().Class(kRex).Class(kAnky));
  Load({{"SpawnDinoX", {{kRex, ConfigEntry("1:1")}, {kAnky, ConfigEntry("1:2")}}}});
  RunAt({{3, 0}});
  EXPECT_EQ(env_.LocalTimeReads(), 2);
}

TEST_F(ClockScheduleTest, RunsAfterCountdownWalkWithItsOwnSettings) {
  standin::game::World& world = UseWorld(WorldBuilder().Class(kRex).Class(kAnky));
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
  standin::game::World& world = UseWorld(WorldBuilder().Creatures(kRex, 2));
  json entry = ConfigEntry("9:15");
  entry["Worldmaximum"] = 2;
  Load({{"SpawnDinoX", {{kRex, entry}}}});
  RunAt({{9, 15}});
  EXPECT_TRUE(world.Spawns().empty());
}

TEST_F(ClockScheduleTest, NonTextClockValueIsLoggedAndSkipped) {
  standin::game::World& world = UseWorld(WorldBuilder().Class(kRex).Class(kAnky));
  Load({{"SpawnDinoX", {{kAnky, ConfigEntry("5:0")}, {kRex, ConfigEntry("5:0")}}}});
  config::ClockTable[kAnky] = 500;
  RunAt({{5, 0}, {5, 0}});
  EXPECT_EQ(world.Spawns().size(), 2u);
  ASSERT_EQ(sink().payloads().size(), 1u);
  EXPECT_EQ(sink().payloads()[0],
            "SpawnDinoX[\"" + kAnky + "\"]: clock time must be a string, but is number");
}

}  // namespace

}  // namespace drovekeeper::spawn
