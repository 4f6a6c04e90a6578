// The status command: the next due times, the load and reload record, and
// the reply.
#include "plugin/status.h"

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "config/fingerprint.h"
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
using ::testing::StartsWith;

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

  standin::game::RconPacket status(9, u" Drovekeeper.status  --all Rex.Rex ");
  ASSERT_TRUE(standin::host::DispatchRcon("Drovekeeper.status", connection.game(), status.game()));
  ASSERT_EQ(connection.replies().size(), 1u);
  EXPECT_EQ(connection.replies()[0].id, 9);
  const std::string reply = host::Utf16ToUtf8(connection.replies()[0].text);
  EXPECT_THAT(reply, HasSubstr("; last reload 2024-03-01 06:01:30 refused: config.json cannot be "
                               "opened; 1 runs since load; 2 of 7 entries with \"Rex.Rex\""));
  // The gate is open: both fall due on the host's next call.
  EXPECT_THAT(reply, HasSubstr("\nSpawnDino " + kRex +
                               ": every 2 min; wild now 0 of cap 10; next due "
                               "2024-03-01 06:01; fell due 0;"));
  EXPECT_THAT(reply, HasSubstr("\nSpawnDinoX " + kRex +
                               ": at 6:1; wild now 0 of cap 10; next due 2024-03-01 06:01;"));
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
              HasSubstr(": at 6:1; wild now 0 of cap 10; next due 2024-03-31 06:01; fell due 0;"));
  // 06:01 CEST is 04:01 UTC, 191 runs on; 06:01 CET would be an hour later.
  RunMinutes(191);
  EXPECT_THAT(Lines("Rex.Rex")[2], HasSubstr("; fell due 0;"));
  RunMinutes(1);
  lines = Lines("Rex.Rex");
  EXPECT_THAT(lines[0], HasSubstr("server time 2024-03-31 06:02:00 CEST (UTC+02:00);"));
  EXPECT_THAT(lines[2], HasSubstr("; next due 2024-04-01 06:01; fell due 1;"));
}

// The default reply: entries needing attention first (failed, class
// unknown, refused, held by the cap now), then the rest in the run's order.
TEST_F(StatusTest, CompactReplyPutsTheEntriesNeedingAttentionFirst) {
  RunMinutes(3);
  const std::vector<std::string> lines = Lines("", "");
  const std::string expected[] = {
      "Broken.Broken (SpawnDino every minute): next due 2024-03-01 06:03; fell due 3;",
      "Ghost.Ghost (SpawnDino every minute)",
      "Stone.Stone (SpawnDino every minute)",
      "Held.Held (SpawnDino every minute)",
      "Rex.Rex (SpawnDino every 2 min)",
      "Held.Held (SpawnDinoX at 07:05): next due never",
      "Rex the Great (SpawnDinoX at 6:1)"};
  ASSERT_EQ(lines.size(), std::size(expected) + 1);
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    EXPECT_THAT(lines[1 + i], StartsWith(expected[i]));
  }
  EXPECT_THAT(lines[4], HasSubstr("; failed 0; wild now 2 of cap 2"));
}

// The filter finds paths and "Name"s regardless of ASCII case, and a table
// by its name.
TEST_F(StatusTest, FilterMatchesPathNameAndTable) {
  nlohmann::json config = nlohmann::json::parse(config_);
  config["SpawnDino"][kRex] = ConfigEntry(1).Name("Boss");
  config["SpawnDinoX"][kHeld] = ConfigEntry("07:05").Name("霸王龙");
  Unload();
  WriteConfig(config.dump());
  Load();
  const struct {
    std::string filter;
    std::size_t shown;
    std::string first;
  } cases[] = {{"rex.REX", 2, "Boss"},
               {"boss", 1, "Boss"},
               {"霸王", 1, "霸王龙"},
               {"SpawnDinoX", 2, "霸王龙"},
               {"spawndino", 5, "Held.Held"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.filter);
    const std::vector<std::string> lines = Lines(c.filter, "");
    EXPECT_THAT(lines[0], HasSubstr(fmt::format("; {} of 7 entries", c.shown)));
    ASSERT_EQ(lines.size(), c.shown + 1);
    EXPECT_THAT(lines[1], StartsWith(c.first + " ("));
  }
}

// A reply too long for one packet is paged: each page fits, the last line
// counts what it leaves out, and the pages together hold every entry once.
TEST_F(StatusTest, PagesFitOnePacketAndTogetherHoldEveryEntry) {
  nlohmann::json config;
  for (int i = 0; i < 120; ++i) {
    config["SpawnDino"][fmt::format("Blueprint'/Game/Long/{}/E{:03}.E{:03}'", std::string(40, 'x'),
                                    i, i)] = ConfigEntry(5);
  }
  Unload();
  WriteConfig(config.dump());
  Load();
  std::set<std::string> seen;
  std::size_t pages = 0;
  for (std::size_t page = 1; seen.size() < 120 && page < 20; ++page) {
    const std::string options = fmt::format("--page {} long", page);
    EXPECT_LE(StatusText(options).size(), kCompactReplyBytes);
    std::vector<std::string> lines = Lines("", options);
    const std::string last = lines.back();
    lines.pop_back();
    for (std::size_t i = 1; i < lines.size(); ++i) EXPECT_TRUE(seen.insert(lines[i]).second);
    const bool final = seen.size() == 120;
    EXPECT_THAT(last,
                StartsWith(fmt::format(
                    "{} entries left out: Drovekeeper.status --page {} long for the {} ones",
                    120 - (lines.size() - 1), final ? 1 : page + 1, final ? "first" : "next")));
    pages = page;
  }
  EXPECT_EQ(seen.size(), 120u);
  EXPECT_GT(pages, 2u);
  EXPECT_THAT(
      StatusText(fmt::format("--page {}", pages + 1)),
      HasSubstr(fmt::format("\nno page {}: the 120 entries fill {} pages", pages + 1, pages)));
  EXPECT_THAT(StatusText("--page 0"), StartsWith("--page needs a page number of 1 or more"));
}

// The JSON reply says what the text says, and names the file in force
// against the file on disk.
TEST_F(StatusTest, JsonReplyAgreesWithTheTextAndTheFileOnDisk) {
  RunMinutes(3);
  const std::vector<std::string> text = Lines();
  nlohmann::json reply = nlohmann::json::parse(StatusText("--json"));
  EXPECT_EQ(reply["server"]["utc"], "2024-03-01T06:03:00Z");
  EXPECT_EQ(reply["file"],
            (nlohmann::json{{"fingerprint", config::Fingerprint(config_)}, {"on_disk", "same"}}));
  EXPECT_THAT(text[0], HasSubstr("; file " + config::Fingerprint(config_) + "; loaded"));
  EXPECT_EQ(reply["runs_since_load"], 3);
  ASSERT_EQ(reply["entries"].size(), text.size() - 1);
  for (std::size_t i = 0; i < text.size() - 1; ++i) {
    const nlohmann::json& e = reply["entries"][i];
    SCOPED_TRACE(text[1 + i]);
    EXPECT_THAT(text[1 + i], StartsWith(fmt::format("{} {}: {}", e["table"].get<std::string>(),
                                                    e["name"].get<std::string>(),
                                                    e["schedule"].get<std::string>())));
    EXPECT_THAT(text[1 + i], HasSubstr(fmt::format(
                                 "; next due {}; fell due {}; spawned {}; held by cap {}",
                                 e["next_due_text"].get<std::string>(), e["fell_due"].get<int>(),
                                 e["spawned"].get<int>(), e["held_by_cap"].get<int>())));
    EXPECT_THAT(text[1 + i],
                HasSubstr(fmt::format("; class unknown {}; spawn refused {}; failed {}",
                                      e["class_unknown"].get<int>(), e["spawn_refused"].get<int>(),
                                      e["failed"].get<int>())));
    if (!e["wild_now"].is_null()) {
      EXPECT_THAT(text[1 + i],
                  HasSubstr(fmt::format("; wild now {} of cap {};", e["wild_now"].get<int>(),
                                        e["cap"].get<int>())));
    }
  }
  const nlohmann::json& rex = reply["entries"][3];
  EXPECT_EQ(rex["next_due"],
            (nlohmann::json{{"local", "2024-03-01 06:03:00"}, {"utc", "2024-03-01T06:03:00Z"}}));
  EXPECT_EQ(rex["last_spawn"], (nlohmann::json{{"local", "2024-03-01 06:01:00"},
                                               {"utc", "2024-03-01T06:01:00Z"},
                                               {"x", 50},
                                               {"y", 50},
                                               {"level", 146}}));
  EXPECT_EQ(reply["entries"][2]["held"], (nlohmann::json{{"count", 2}, {"cap", 2}}));

  WriteConfig(config_ + " ");
  EXPECT_THAT(Lines()[0], HasSubstr(" (file on disk differs); loaded"));
  std::filesystem::remove(ConfigPath());
  EXPECT_EQ(nlohmann::json::parse(StatusText("--json Held"))["file"]["on_disk"], "missing");
  EXPECT_EQ(nlohmann::json::parse(StatusText("--json Held"))["entries_shown"], 2);
  // A reload that takes puts its file in force.
  WriteConfig(config_ + " ");
  standin::game::RconConnection connection;
  standin::game::RconPacket reload(5, u"Drovekeeper.reload");
  ASSERT_TRUE(standin::host::DispatchRcon("Drovekeeper.reload", connection.game(), reload.game()));
  EXPECT_THAT(Lines()[0], HasSubstr("; file " + config::Fingerprint(config_ + " ") + "; loaded"));
}
#endif

}  // namespace

}  // namespace drovekeeper::plugin
