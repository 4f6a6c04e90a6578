// The status command: each turn's outcome counted once where the run decides
// it, the next due times, the load and reload record, and the reply.
#include "plugin/status.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "host/game_string.h"
#include "plugin/plugin.h"
#include "spawn/tick.h"
#include "standin/game/console.h"
#include "standin/host/host.h"
#include "tests/support/config_entry.h"
#include "tests/support/host_fixture.h"
#include "tests/support/scripted_env.h"

namespace drovekeeper::plugin {

namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::StartsWith;

const std::string kRex = "Blueprint'/Game/Rex.Rex'";
const std::string kHeld = "Blueprint'/Game/Held.Held'";
const std::string kGhost = "Blueprint'/Game/Ghost.Ghost'";  // no such class
const std::string kStone = "Blueprint'/Game/Stone.Stone'";  // the game refuses it
const std::string kBroken = "Blueprint'/Game/Broken.Broken'";
constexpr std::int64_t kStart = 1'709'272'800 * ScriptedEnv::kTicksPerSecond;  // 2024-03-01 06:00

class StatusTest : public HostFixture {
 protected:
  void SetUp() override {
    HostFixture::SetUp();
    standin::host::RegisterFunction("RCONClientConnection.SendMessageW",
                                    &standin::game::RconSendMessage);
    env_.SetNowTicks(kStart);
    UseWorld(
        WorldBuilder().Class(kRex).Class(kBroken).Creatures(kHeld, 2).Class(kStone, true, false));
    WriteConfig(config_);
    Load();
    env_.SetLocalTime(6, 0);
  }
  void TearDown() override {
    Unload();
    HostFixture::TearDown();
  }

  void RunMinutes(int minutes) {
    for (int i = 0; i < minutes; ++i) {
      spawn::TimingSpawnTick();
      env_.AdvanceSeconds(60);
    }
  }

  std::vector<std::string> Lines(std::string_view filter = "") {
    std::istringstream text(StatusText(filter));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
  }

  const std::string config_ =
      nlohmann::json{{"SpawnDino",
                      {{kRex, ConfigEntry(1)},
                       {kHeld, ConfigEntry(0).Cap(2)},
                       {kGhost, ConfigEntry(0)},
                       {kStone, ConfigEntry(0)},
                       {kBroken, ConfigEntry(0).Without("Maxlevel")}}},
                     {"SpawnDinoX", {{kRex, ConfigEntry("6:1")}, {kHeld, ConfigEntry("07:05")}}}}
          .dump();
  ScriptedEnv env_;
  ScopedEnv scoped_{env_};
};

TEST_F(StatusTest, EachTurnCountsOnceInTheRunsOrder) {
  RunMinutes(3);  // 06:00, 06:01 (the clock entry's minute), 06:02
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 8u);
  // The zone's name is the C runtime's own ("UTC" here, "UT" on Windows).
  EXPECT_THAT(lines[0], StartsWith("server time 2024-03-01 06:03:00 UT"));
  EXPECT_THAT(lines[0], EndsWith(" (UTC+00:00); loaded 2024-03-01 06:00:00; no reload; 3 runs "
                                 "since load; 7 of 7 entries"));
  const std::string fault = "[json.exception.type_error.302] type must be number, but is null";
  const std::string expected[] = {
      "SpawnDino " + kBroken +
          ": every minute; next due 2024-03-01 06:03:00; fell due 3; spawned 0; held by cap 0; "
          "class unknown 0; spawn refused 0; failed 3 (last 2024-03-01 06:02:00: " +
          fault + ")",
      "SpawnDino " + kGhost +
          ": every minute; next due 2024-03-01 06:03:00; fell due 3; "
          "spawned 0; held by cap 0; class unknown 3; spawn refused 0; failed 0",
      "SpawnDino " + kHeld +
          ": every minute; next due 2024-03-01 06:03:00; fell due 3; spawned "
          "0; held by cap 3 (count 2, cap 2); class unknown 0; spawn refused 0;"
          " failed 0",
      "SpawnDino " + kRex +
          ": every 2 min; next due 2024-03-01 06:03:00; fell due 1; spawned 1;"
          " held by cap 0; class unknown 0; spawn refused 0; failed 0",
      "SpawnDino " + kStone +
          ": every minute; next due 2024-03-01 06:03:00; fell due 3; "
          "spawned 0; held by cap 0; class unknown 0; spawn refused 3; failed 0",
      "SpawnDinoX " + kHeld +
          ": at 07:05; next due never (clock text \"07:05\" has a leading zero; the server's "
          "clock writes \"7:5\" for that minute); fell due 0; spawned 0; held by cap 0; class "
          "unknown 0; spawn refused 0; failed 0",
      "SpawnDinoX " + kRex +
          ": at 6:1; next due 2024-03-02 06:01:00; fell due 1; spawned 1; "
          "held by cap 0; class unknown 0; spawn refused 0; failed 0",
  };
  for (std::size_t i = 0; i < std::size(expected); ++i) EXPECT_EQ(lines[1 + i], expected[i]);
}

TEST_F(StatusTest, CommandRepliesWithTheFilteredEntriesAndTheLastReload) {
  RunMinutes(1);
  std::filesystem::remove(ConfigPath());
  env_.AdvanceSeconds(30);
  standin::game::RconConnection connection;
  standin::game::RconPacket reload(5, u"Drovekeeper.reload");
  ASSERT_TRUE(standin::host::DispatchRcon("Drovekeeper.reload", connection.game(), reload.game()));
  connection.ClearReplies();
  const std::size_t lines_before = sink().lines().size();

  standin::game::RconPacket status(9, u" Drovekeeper.status  Rex.Rex ");
  ASSERT_TRUE(standin::host::DispatchRcon("Drovekeeper.status", connection.game(), status.game()));
  ASSERT_EQ(connection.replies().size(), 1u);
  EXPECT_EQ(connection.replies()[0].id, 9);
  const std::string reply = host::Utf16ToUtf8(connection.replies()[0].text);
  EXPECT_THAT(reply, HasSubstr("; last reload 2024-03-01 06:01:30 refused: config.json cannot be "
                               "opened; 1 runs since load; 2 of 7 entries with \"Rex.Rex\""));
  // The gate is open: both fall due on the host's next call.
  EXPECT_THAT(reply, HasSubstr("\nSpawnDino " + kRex +
                               ": every 2 min; next due 2024-03-01 "
                               "06:01:30; fell due 0;"));
  EXPECT_THAT(reply, HasSubstr("\nSpawnDinoX " + kRex + ": at 6:1; next due 2024-03-01 06:01:30"));
  EXPECT_EQ(sink().lines().size(), lines_before) << "the status command logs nothing";

  // A reload that takes keeps the counters; a new Load starts them afresh.
  WriteConfig(config_);
  ASSERT_TRUE(standin::host::DispatchRcon("Drovekeeper.reload", connection.game(), reload.game()));
  std::vector<std::string> lines = Lines("Ghost");
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_THAT(lines[0], HasSubstr("; last reload 2024-03-01 06:01:30 taken; 1 runs"));
  EXPECT_THAT(lines[1], HasSubstr("; fell due 1; spawned 0; held by cap 0; class unknown 1;"));
  Unload();
  Load();
  lines = Lines("Ghost");
  EXPECT_THAT(lines[0], HasSubstr("; loaded 2024-03-01 06:01:30; no reload; 0 runs"));
  EXPECT_THAT(lines[1], HasSubstr("; fell due 0;"));
}

TEST_F(StatusTest, NextDueAcrossAChangeOfTheClocksIsTheRunTheTurnFallsDueIn) {
  struct Zone {
    explicit Zone(const char* name) {
      const char* const before = std::getenv("TZ");
      restore = before != nullptr ? before : "UTC";
      setenv("TZ", name, 1);
      tzset();
    }
    ~Zone() {
      setenv("TZ", restore.c_str(), 1);
      tzset();
    }
    std::string restore;
  } zone("Europe/Berlin");
  env_.FollowRuntimeZone();
  // 2024-03-31 00:50 UTC, 01:50 CET; at 01:00 UTC the clocks go from 02:00 to 03:00.
  env_.SetNowTicks(1'711'846'200 * ScriptedEnv::kTicksPerSecond);
  std::vector<std::string> lines = Lines("Rex.Rex");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_THAT(lines[0], HasSubstr("server time 2024-03-31 01:50:00 CET (UTC+01:00);"));
  EXPECT_THAT(lines[2],
              HasSubstr(": at 6:1; next due 2024-03-31 06:01:00; fell due 0; spawned 0;"));
  // 06:01 CEST is 04:01 UTC, 191 runs on; 06:01 CET would be an hour later.
  RunMinutes(191);
  EXPECT_THAT(Lines("Rex.Rex")[2], HasSubstr("; fell due 0;"));
  RunMinutes(1);
  lines = Lines("Rex.Rex");
  EXPECT_THAT(lines[0], HasSubstr("server time 2024-03-31 06:02:00 CEST (UTC+02:00);"));
  EXPECT_THAT(lines[2], HasSubstr(": at 6:1; next due 2024-04-01 06:01:00; fell due 1;"));
}

}  // namespace

}  // namespace drovekeeper::plugin
