// The status command: the next due times, the load and reload record, and
// the reply.
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
#include "tests/support/status_fixture.h"

namespace drovekeeper::plugin {

namespace {

using ::testing::HasSubstr;

class StatusTest : public StatusFixture {};

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

#ifndef _WIN32  // the zone comes from the system's zone files, which Windows has not
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
#endif

}  // namespace

}  // namespace drovekeeper::plugin
