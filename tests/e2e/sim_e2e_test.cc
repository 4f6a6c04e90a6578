// drovekeeper-sim run as a process with the real plug-in module: schedules,
// caps, reloads and failures as an operator would see them in the events.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "rcon_test_client.h"
#include "standin/rcon/frame.h"
#include "tests/e2e/sim_process.h"
#include "tests/support/config_entry.h"

namespace e2e {
namespace {

using nlohmann::json;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Not;

constexpr char kEntryA[] = "Blueprint'/Game/T/A.A'";
constexpr char kEntryB[] = "Blueprint'/Game/T/B.B'";
constexpr char kEntryC[] = "Blueprint'/Game/T/C.C'";
constexpr char kReloaded[] = "重新加载配置";
constexpr char kOpenFailure[] = "无法打开文件配置config.json";
constexpr char kStart[] = "2024-03-01 01:00:00";
// Stat indices that receive level-up points.
constexpr int kLevelledStats[] = {0, 1, 3, 4, 7, 8, 9};

json Entry(json interval, int cap, const std::string& position, bool random, int level, bool fixed,
           bool notice, const std::string& name = "") {
  ConfigEntry entry(interval);
  entry.Cap(cap).Position(position, random).Level(level, fixed).Notice(notice);
  if (notice) entry.Name(name);
  return entry;
}

// A: two actor kinds to count; B: a second creature; C: loads, never spawns;
// F: not a creature.
json TestWorld() {
  return json::parse(R"({
    "seed": 5,
    "world_settings": {"LatitudeScale": 0, "LongitudeScale": 0,
                       "LatitudeOrigin": 0, "LongitudeOrigin": 0},
    "classes": [
      {"reference": "/Game/T/A.A_C", "creature": true},
      {"reference": "/Game/T/B.B_C", "creature": true},
      {"reference": "/Game/T/C.C_C", "creature": true, "spawnable": false},
      {"reference": "/Game/T/F.F_C", "creature": false}
    ],
    "actors": [],
    "players": [{"name": "P1"}, {"name": "Gone", "resolves": false}, {"name": "P2"}]
  })");
}

// "2024-03-01 01:MM:SS" for `seconds` after kStart.
std::string At(int seconds) {
  char text[32];
  std::snprintf(text, sizeof(text), "2024-03-01 %02d:%02d:%02d", 1 + seconds / 3600,
                seconds / 60 % 60, seconds % 60);
  return text;
}

std::vector<std::string> SpawnTimes(const SimResult& result, const std::string& entry) {
  std::vector<std::string> times;
  for (const json& spawn : result.Of("spawn")) {
    if (spawn.at("class") == entry) times.push_back(spawn.at("time"));
  }
  return times;
}

// Minutes m in [0, span) at which a countdown entry fires: I, 2I+1, 3I+2, ...
std::vector<std::string> CountdownTimes(int interval, int first_run, int span) {
  std::vector<std::string> times;
  for (int m = first_run + interval; m < span; m += interval + 1) times.push_back(At(m * 60));
  return times;
}

class SimE2eTest : public ::testing::Test {
 protected:
  std::string WriteConfig(const json& config, const std::string& name = "config.json") {
    return dir_.Write(name, config.dump(2));
  }
  std::string WriteWorld(const json& world) { return dir_.Write("world.json", world.dump(2)); }
  std::string WriteScript(const json& script) { return dir_.Write("script.json", script.dump(2)); }

  SimResult Run(std::vector<std::string> args) {
    SimResult result = RunSim(args, dir_.path());
    EXPECT_EQ(result.exit_code, 0) << result.err << result.out;
    return result;
  }

  ScratchDir dir_;
};

TEST_F(SimE2eTest, IntervalAndClockEntriesSpawnOnTimeWithLevelAndNotice) {
  json config;
  config["SpawnDino"][kEntryA] = Entry(4, 100, "80000 0 100", false, 20, true, true, "Rex");
  config["SpawnDinoX"][kEntryB] = Entry("1:30", 100, "0 8000 5", false, 7, true, false);
  // Where editors find the schema: never read, and no finding at load.
  config["$schema"] = "./config.schema.json";
  SimResult result = Run({"--config", WriteConfig(config), "--world", WriteWorld(TestWorld()),
                          "--start", kStart, "--minutes", "60"});
  EXPECT_THAT(result.out, Not(HasSubstr("$schema")));

  EXPECT_EQ(SpawnTimes(result, kEntryA), CountdownTimes(4, 0, 60));
  EXPECT_THAT(SpawnTimes(result, kEntryB), ElementsAre(At(30 * 60)));

  for (const json& spawn : result.Of("spawn")) {
    const bool a = spawn.at("class") == kEntryA;
    EXPECT_EQ(spawn.at("table"), a ? "SpawnDino" : "SpawnDinoX");
    EXPECT_EQ(spawn.at("entry"), a ? kEntryA : kEntryB);
    EXPECT_EQ(spawn.at("x"), a ? 80000.0 : 0.0);
    EXPECT_EQ(spawn.at("y"), a ? 0.0 : 8000.0);
    EXPECT_EQ(spawn.at("z"), a ? 100.0 : 5.0);
    EXPECT_EQ(spawn.at("level"), a ? 20 : 7);
    EXPECT_TRUE(spawn.at("began_play"));
    int points = 0;
    for (int stat : kLevelledStats) points += spawn.at("level_up_points").at(stat).get<int>();
    EXPECT_EQ(points, a ? 19 : 6);
  }

  // Each A spawn is announced to both players whose controllers resolve.
  std::vector<json> notices = result.Of("notice");
  ASSERT_EQ(notices.size(), 2 * SpawnTimes(result, kEntryA).size());
  for (std::size_t i = 0; i < notices.size(); ++i) {
    const json& notice = notices[i];
    EXPECT_EQ(notice.at("player"), i % 2 == 0 ? "P1" : "P2");
    EXPECT_EQ(notice.at("time"), SpawnTimes(result, kEntryA)[i / 2]);
    EXPECT_EQ(notice.at("text"), "Dion (Rex) Level:20 Spawn Position：Y50 60！");
    EXPECT_EQ(notice.at("color"), json::parse("[0.0, 1.0, 1.0, 0.003921569]"));
    EXPECT_EQ(notice.at("scale"), 1.5);
    EXPECT_EQ(notice.at("display_time"), 10.0);
  }
  EXPECT_TRUE(result.Of("rcon").empty());
  EXPECT_THAT(result.out, HasSubstr("notice  to P1: Dion (Rex) Level:20"));
  EXPECT_THAT(result.out, HasSubstr("spawns: 13\n"));
}

TEST_F(SimE2eTest, CapCountsOnlyWildCreaturesOfTheEntrysClass) {
  json world = TestWorld();
  world["actors"] = json::parse(R"([
    {"class": "/Game/T/A.A_C", "team": 49999, "count": 2},
    {"class": "/Game/T/A.A_C", "team": 0, "count": 3},
    {"class": "/Game/T/B.B_C", "team": 0, "count": 4},
    {"class": "/Game/T/F.F_C", "team": 0, "count": 2}
  ])");
  json config;
  config["SpawnDino"][kEntryA] = Entry(0, 5, "1 2 3", false, 10, false, false);
  config["SpawnDino"][kEntryC] = Entry(0, 5, "1 2 3", false, 10, false, false);
  json script = json::parse(R"([{"minute": 5, "kill": {"class": "/Game/T/A.A_C", "count": 2}}])");
  SimResult result = Run({"--config", WriteConfig(config), "--world", WriteWorld(world), "--script",
                          WriteScript(script), "--start", kStart, "--minutes", "10"});

  // Three wild A (the tamed two do not count) leave room for two; the kill
  // before the run at minute 5 takes two wild ones, older tamed ones aside,
  // and so makes room for two more.
  EXPECT_THAT(SpawnTimes(result, kEntryA), ElementsAre(At(0), At(60), At(300), At(360)));
  EXPECT_THAT(
      result.out,
      HasSubstr("script: 2 wild of /Game/T/A.A_C left the level, 3 wild and 2 tamed remain"));
  // A class the game refuses to spawn ends its turn silently.
  EXPECT_TRUE(SpawnTimes(result, kEntryC).empty());
  EXPECT_TRUE(result.Of("log").size() == 1 && result.Of("log")[0].at("level") == "info")
      << result.out;
  EXPECT_THAT(result.out, HasSubstr("errors: 0\n"));
}

TEST_F(SimE2eTest, ReloadRestartsCountdownsAndStopsDroppedNames) {
  json before;
  before["SpawnDino"][kEntryA] = Entry(9, 100, "0 0 0", false, 3, false, false);
  before["SpawnDino"][kEntryB] = Entry(4, 100, "0 0 0", false, 3, false, false);
  json after;
  after["SpawnDino"][kEntryA] = before["SpawnDino"][kEntryA];
  std::string after_path = WriteConfig(after, "after.json");
  json script = {{{"minute", 12}, {"config_from", after_path}},
                 {{"minute", 12.5}, {"rcon", "Drovekeeper.reload"}}};
  SimResult result = Run({"--config", WriteConfig(before), "--world", WriteWorld(TestWorld()),
                          "--script", WriteScript(script), "--start", kStart, "--minutes", "45"});

  // A fired at 9; the reload at 12:30 sets it back to 9, so the run at 13
  // starts a fresh countdown: 22, 32, 42 instead of 19, 29, 39.
  EXPECT_THAT(SpawnTimes(result, kEntryA),
              ElementsAre(At(9 * 60), At(22 * 60), At(32 * 60), At(42 * 60)));
  EXPECT_THAT(SpawnTimes(result, kEntryB), ElementsAre(At(4 * 60), At(9 * 60)));
  std::vector<json> rcon = result.Of("rcon");
  ASSERT_EQ(rcon.size(), 1u);
  EXPECT_EQ(rcon[0].at("time"), At(12 * 60 + 30));
  EXPECT_EQ(rcon[0].at("command"), "Drovekeeper.reload");
  EXPECT_EQ(rcon[0].at("reply"), kReloaded);
}

struct EntryCounts {
  std::string table;
  std::string entry;
  int fell_due, spawned, held_by_cap, class_unknown, spawn_refused, failed;
  json last_failure;
};

// What the status reply says of each entry: its schedule and its next due,
// to the minute, by "TABLE NAME".
struct StatusEntry {
  std::string schedule;
  std::string due;
};
std::map<std::string, StatusEntry> StatusEntries(const std::string& reply) {
  static const std::regex kLine(R"(^(SpawnDinoX? .*?): ([^;]*);.*? next due (\S+ \d\d:\d\d))");
  std::map<std::string, StatusEntry> entries;
  std::istringstream lines(reply);
  std::smatch m;
  for (std::string line; std::getline(lines, line);) {
    if (std::regex_search(line, m, kLine)) entries[m[1]] = {m[2], m[3]};
  }
  return entries;
}

// One edit of the file, checked and then reloaded: what the check says
// must be what the reload does and what the status then shows.
struct EditCase {
  const char* name;
  std::string text;               // the edited file
  std::vector<std::string> says;  // lines of the check's reply that must be there
};

TEST_F(SimE2eTest, CheckSaysWhatTheFollowingReloadDoes) {
  json base;
  base["SpawnDino"][kEntryA] = Entry(4, 100, "0 0 0", false, 3, false, false);
  base["SpawnDino"][kEntryB] = Entry(9, 100, "0 0 0", false, 3, false, false);
  base["SpawnDinoX"][kEntryC] = Entry("1:30", 100, "0 0 0", false, 3, false, false);
  const auto edited = [&](const std::function<void(json&)>& edit) {
    json config = base;
    edit(config);
    return config.dump(2);
  };
  const std::string a = std::string("SpawnDino ") + kEntryA;
  const std::vector<EditCase> cases = {
      {"add",
       edited([](json& c) { c["SpawnDino"][kEntryC] = c["SpawnDino"][kEntryA]; }),
       {std::string("added SpawnDino ") + kEntryC}},
      {"drop",
       edited([](json& c) { c["SpawnDino"].erase(kEntryB); }),
       {std::string("dropped SpawnDino ") + kEntryB}},
      {"interval",
       edited([](json& c) { c["SpawnDino"][kEntryA]["SpawnInterval"] = 6; }),
       {"changed " + a + ": \"SpawnInterval\" 4 to 6",
        "every countdown starts afresh from its \"SpawnInterval\""}},
      {"clock",
       edited([](json& c) { c["SpawnDinoX"][kEntryC]["SpawnInterval"] = "2:15"; }),
       {std::string("next due SpawnDinoX ") + kEntryC +
        ": 2024-03-01 02:15 (was 2024-03-01 01:30)"}},
      {"syntax", base.dump(2).substr(0, 40), {}},
      {"utf-16", WideText(base.dump(2), 2, false, true), {}},
      {"identical", base.dump(2), {}},
  };
  const std::string base_path = dir_.Write("base.json", base.dump(2));
  for (const EditCase& c : cases) {
    SCOPED_TRACE(c.name);
    const json script = {{{"minute", 2}, {"config_from", dir_.Write("edited.json", c.text)}},
                         {{"minute", 2.5}, {"rcon", "Drovekeeper.status --all"}},
                         {{"minute", 2.5}, {"rcon", "Drovekeeper.check"}},
                         {{"minute", 2.5}, {"rcon", "Drovekeeper.reload"}},
                         {{"minute", 2.5}, {"rcon", "Drovekeeper.status --all"}}};
    const SimResult result =
        Run({"--config", base_path, "--world", WriteWorld(TestWorld()), "--script",
             WriteScript(script), "--start", kStart, "--minutes", "3"});
    const std::vector<json> rcon = result.Of("rcon");
    ASSERT_EQ(rcon.size(), 4u);
    // The check logs nothing: no log line between the status before it and it.
    std::vector<std::string> kinds;
    for (const json& event : result.events) {
      if (event.at("event") == "rcon" || event.at("event") == "log")
        kinds.push_back(event.at("event"));
    }
    const auto first = std::find(kinds.begin(), kinds.end(), "rcon");
    ASSERT_NE(first, kinds.end());
    EXPECT_EQ(*std::next(first), "rcon");
    const std::string check = rcon[1].at("reply");
    const std::string reload = rcon[2].at("reply");
    const std::map<std::string, StatusEntry> before = StatusEntries(rcon[0].at("reply"));
    const std::map<std::string, StatusEntry> after = StatusEntries(rcon[3].at("reply"));
    ASSERT_EQ(before.size(), 3u);
    std::vector<std::string> lines;
    std::istringstream reply(check);
    for (std::string line; std::getline(reply, line);) lines.push_back(line);
    for (const std::string& line : c.says) EXPECT_THAT(lines, ::testing::Contains(line)) << check;

    if (reload != kReloaded) {
      EXPECT_TRUE(c.says.empty());
      EXPECT_EQ(check, "a reload would refuse the file and reply: " + reload);
      EXPECT_EQ(after.size(), before.size());
      for (const auto& [entry, was] : before) EXPECT_EQ(after.at(entry).due, was.due) << entry;
      continue;
    }
    // Every entry added, dropped, rescheduled or due at another time is said,
    // and nothing else.
    const std::regex kAdded("^added (.*)$"), kDropped("^dropped (.*)$");
    const std::regex kDue(R"(^next due (SpawnDinoX? .*?): (\S+ \d\d:\d\d))");
    const std::regex kRescheduled(R"(^changed (SpawnDinoX? .*?): "SpawnInterval" )");
    std::map<std::string, std::string> due_said;
    std::set<std::string> added, dropped, rescheduled;
    std::smatch m;
    for (const std::string& line : lines) {
      if (std::regex_search(line, m, kAdded)) added.insert(m[1]);
      if (std::regex_search(line, m, kDropped)) dropped.insert(m[1]);
      if (std::regex_search(line, m, kDue)) due_said[m[1]] = m[2];
      if (std::regex_search(line, m, kRescheduled)) rescheduled.insert(m[1]);
    }
    EXPECT_EQ(lines[0].starts_with("the file on disk is the one in force"),
              std::string(c.name) == "identical")
        << check;
    for (const auto& [entry, was] : before) {
      EXPECT_EQ(after.contains(entry), !dropped.contains(entry)) << entry;
    }
    for (const auto& [entry, now] : after) {
      SCOPED_TRACE(entry);
      EXPECT_EQ(before.contains(entry), !added.contains(entry));
      const bool said = due_said.contains(entry);
      EXPECT_EQ(now.due, said ? due_said.at(entry) : before.at(entry).due);
      EXPECT_EQ(rescheduled.contains(entry),
                before.contains(entry) && before.at(entry).schedule != now.schedule);
    }
  }
}

TEST_F(SimE2eTest, EntrySummaryExplainsEveryTurnWithoutAReport) {
  json world = TestWorld();
  world["classes"].push_back({{"reference", "/Game/T/D.D_C"}, {"creature", true}});
  const std::string entry_d = "Blueprint'/Game/T/D.D'";
  const std::string entry_z = "Blueprint'/Game/T/Z.Z'";
  json faulty = Entry(0, 100, "0 0 0", false, 3, false, false);
  faulty.erase("Worldmaximum");
  json config;
  config["SpawnDino"][kEntryA] = Entry(0, 100, "0 0 0", false, 3, false, false);
  config["SpawnDino"][kEntryB] = Entry(0, 2, "0 0 0", false, 3, false, false);
  config["SpawnDino"][kEntryC] = Entry(0, 100, "0 0 0", false, 3, false, false);
  config["SpawnDino"][entry_d] = faulty;
  config["SpawnDino"][entry_z] = Entry(0, 100, "0 0 0", false, 3, false, false);
  config["SpawnDinoX"][kEntryA] = Entry("1:5", 100, "0 0 0", false, 3, false, false);
  SimResult result = Run({"--config", WriteConfig(config), "--world", WriteWorld(world), "--start",
                          kStart, "--minutes", "10"});

  // A countdown of 0 runs every minute: ten turns in ten minutes. B's cap of two
  // holds the last eight; the fault is logged once but fails every turn.
  const json fault = "[json.exception.type_error.302] type must be number, but is null";
  const std::vector<EntryCounts> expected = {
      {"SpawnDino", kEntryA, 10, 10, 0, 0, 0, 0, nullptr},
      {"SpawnDino", kEntryB, 10, 2, 8, 0, 0, 0, nullptr},
      {"SpawnDino", kEntryC, 10, 0, 0, 0, 10, 0, nullptr},
      {"SpawnDino", entry_d, 10, 0, 0, 0, 0, 10, fault},
      {"SpawnDino", entry_z, 10, 0, 0, 10, 0, 0, nullptr},
      {"SpawnDinoX", kEntryA, 1, 1, 0, 0, 0, 0, nullptr},
  };
  std::vector<json> summaries = result.Of("summary");
  ASSERT_EQ(summaries.size(), expected.size()) << result.out;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const EntryCounts& e = expected[i];
    const json& s = summaries[i];
    SCOPED_TRACE(e.table + " " + e.entry);
    EXPECT_EQ(s.at("time"), At(10 * 60));
    EXPECT_EQ(s.at("table"), e.table);
    EXPECT_EQ(s.at("entry"), e.entry);
    EXPECT_EQ(s.at("fell_due"), e.fell_due);
    EXPECT_EQ(s.at("spawned"), e.spawned);
    EXPECT_EQ(s.at("held_by_cap"), e.held_by_cap);
    EXPECT_EQ(s.at("class_unknown"), e.class_unknown);
    EXPECT_EQ(s.at("spawn_refused"), e.spawn_refused);
    EXPECT_EQ(s.at("failed"), e.failed);
    EXPECT_EQ(s.at("last_failure"), e.last_failure);
  }
  EXPECT_EQ(summaries[0].at("schedule"), "every minute");
  EXPECT_EQ(summaries[5].at("schedule"), "at 1:5");
  // The spawn events agree with the counters.
  EXPECT_EQ(SpawnTimes(result, kEntryA).size(), 11u);
  EXPECT_EQ(SpawnTimes(result, kEntryB).size(), 2u);

  // The console table: one aligned line per entry, after the summary.
  const std::size_t table = result.out.find("  entries:\n");
  ASSERT_NE(table, std::string::npos) << result.out;
  EXPECT_GT(table, result.out.find("Summary:"));
  std::istringstream lines(result.out.substr(table));
  std::vector<std::string> rows;
  for (std::string line; std::getline(lines, line);) rows.push_back(line);
  ASSERT_GE(rows.size(), 2 + expected.size());
  EXPECT_THAT(rows[1], HasSubstr("fell due  spawned  held by cap  class unknown  spawn refused"));
  const std::size_t last_column = rows[1].find("last failure");
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE(rows[2 + i]);
    EXPECT_EQ(rows[2 + i].rfind("    " + expected[i].table, 0), 0u);
    EXPECT_THAT(rows[2 + i], HasSubstr(expected[i].entry));
    EXPECT_EQ(rows[2 + i].substr(last_column),
              expected[i].last_failure.is_null() ? "-" : fault.get<std::string>());
  }
  EXPECT_THAT(rows[3],
              HasSubstr("  10        2            8              0              0       0"));
}

struct FailedReload {
  const char* name;
  const char* broken_file;  // null: the file is deleted
  const char* log_text;
  const char* place;  // the checker's error logged after the failure; null: none
  friend void PrintTo(const FailedReload& c, std::ostream* os) { *os << c.name; }
};

class FailedReloadTest : public SimE2eTest, public ::testing::WithParamInterface<FailedReload> {};

TEST_P(FailedReloadTest, KeepsTheOldConfigurationRunning) {
  json config;
  config["SpawnDino"][kEntryA] = Entry(4, 100, "0 0 0", false, 3, false, false);
  json script = json::array();
  if (GetParam().broken_file == nullptr) {
    script.push_back({{"minute", 7}, {"config_delete", true}});
  } else {
    script.push_back(
        {{"minute", 7}, {"config_from", dir_.Write("broken.json", GetParam().broken_file)}});
  }
  script.push_back({{"minute", 7.5}, {"rcon", "Drovekeeper.reload"}});
  SimResult result = Run({"--config", WriteConfig(config), "--world", WriteWorld(TestWorld()),
                          "--script", WriteScript(script), "--start", kStart, "--minutes", "20"});

  // The countdown is neither restarted nor stopped.
  EXPECT_EQ(SpawnTimes(result, kEntryA), CountdownTimes(4, 0, 20));
  std::vector<json> errors;
  for (const json& log : result.Of("log")) {
    if (log.at("level") == "error") errors.push_back(log);
  }
  const std::size_t lines = GetParam().place == nullptr ? 1 : 2;
  ASSERT_EQ(errors.size(), lines) << result.out;
  EXPECT_EQ(errors[0].at("time"), At(7 * 60 + 30));
  EXPECT_EQ(errors[0].at("logger"), "Plovermoor1.3.2");
  EXPECT_THAT(errors[0].at("text").get<std::string>(), HasSubstr(GetParam().log_text));
  if (GetParam().place != nullptr) {
    EXPECT_THAT(errors[1].at("text").get<std::string>(), ::testing::StartsWith(GetParam().place));
  }
  std::vector<json> rcon = result.Of("rcon");
  ASSERT_EQ(rcon.size(), 1u);
  ASSERT_TRUE(rcon[0].at("reply").is_string()) << rcon[0];
  EXPECT_NE(rcon[0].at("reply"), kReloaded);
  // The reply names the checker's place alone when there is one.
  const std::string reply = rcon[0].at("reply").get<std::string>();
  if (GetParam().place == nullptr) {
    EXPECT_THAT(reply, HasSubstr(GetParam().log_text));
  } else {
    EXPECT_THAT(reply, HasSubstr(GetParam().place));
    EXPECT_THAT(reply, ::testing::Not(HasSubstr(GetParam().log_text)));
  }
  EXPECT_THAT(result.out, HasSubstr("errors: " + std::to_string(lines) + "\n"));
}

INSTANTIATE_TEST_SUITE_P(Files, FailedReloadTest,
                         ::testing::Values(FailedReload{"Deleted", nullptr, kOpenFailure, nullptr},
                                           FailedReload{"Broken", "{\"SpawnDino\": {",
                                                        "parse error",
                                                        "config.json:1:16: error: "}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimE2eTest, MissingConfigurationLeavesThePluginInert) {
  std::string root = dir_.path() + "/server";
  std::filesystem::create_directories(root);
  SimResult result = Run(
      {"--root", root, "--world", WriteWorld(TestWorld()), "--start", kStart, "--minutes", "5"});

  std::vector<json> logs = result.Of("log");
  ASSERT_EQ(logs.size(), 1u);
  EXPECT_EQ(logs[0].at("level"), "error");
  EXPECT_EQ(logs[0].at("text"), kOpenFailure);
  EXPECT_EQ(logs[0].at("time"), At(0));
  EXPECT_TRUE(result.Of("register").empty());
  EXPECT_TRUE(result.Of("spawn").empty());
  // Unload withdraws every name all the same, when the run ends.
  std::vector<json> gone = result.Of("unregister");
  ASSERT_EQ(gone.size(), 5u);
  EXPECT_EQ(gone[0].at("kind"), "timer");
  EXPECT_EQ(gone[0].at("name"), "Drovekeeper.TimingSpawn");
  EXPECT_EQ(gone[1].at("kind"), "rcon");
  EXPECT_EQ(gone[1].at("name"), "Drovekeeper.reload");
  EXPECT_EQ(gone[2].at("name"), "Drovekeeper.status");
  EXPECT_EQ(gone[3].at("name"), "Drovekeeper.spawn");
  EXPECT_EQ(gone[4].at("name"), "Drovekeeper.check");
  EXPECT_EQ(gone[4].at("time"), At(5 * 60));
}

struct BadInput {
  const char* name;
  std::vector<std::string> args;  // "@" + file name stands for that file in the scratch dir
  std::string message;            // "@" likewise
  friend void PrintTo(const BadInput& c, std::ostream* os) { *os << c.name; }
};

class BadInputTest : public SimE2eTest, public ::testing::WithParamInterface<BadInput> {};

TEST_P(BadInputTest, ExitsWithStatusTwoBeforeLoadingAnything) {
  dir_.Write("broken.json", "{\"classes\": [");
  dir_.Write("stray-class.json",
             R"({"world_settings": {"LatitudeScale": 0, "LongitudeScale": 0,
                 "LatitudeOrigin": 0, "LongitudeOrigin": 0},
                 "classes": [], "actors": [{"class": "/Game/X.X_C", "team": 0, "count": 1}],
                 "players": []})");
  dir_.Write("late.json", R"([{"rcon": "Drovekeeper.reload"}])");
  auto expand = [&](const std::string& text) {
    return text.starts_with("@") ? dir_.path() + "/" + text.substr(1) : text;
  };
  std::vector<std::string> args;
  for (const std::string& arg : GetParam().args) args.push_back(expand(arg));
  args.insert(args.end(), {"--minutes", "5", "--root", dir_.path()});

  SimResult result = RunSim(args, dir_.path());
  EXPECT_EQ(result.exit_code, 2);
  EXPECT_THAT(result.err, HasSubstr(expand(GetParam().message)));
  EXPECT_EQ(result.err.rfind("drovekeeper-sim: ", 0), 0u) << result.err;
  EXPECT_TRUE(result.out.empty()) << result.out;
  EXPECT_FALSE(std::filesystem::exists(dir_.path() + "/events.jsonl"));
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, BadInputTest,
    ::testing::Values(
        BadInput{"UnknownOption", {"--speed", "3"}, "--speed"},
        BadInput{"BadStart", {"--start", "2024-02-30 10:00:00"}, "--start"},
        BadInput{"MissingWorld", {"--world", "@absent.json"}, "@absent.json"},
        BadInput{"MalformedWorld", {"--world", "@broken.json"}, "@broken.json: not valid JSON"},
        BadInput{"WorldWithStrayClass",
                 {"--world", "@stray-class.json"},
                 "@stray-class.json: actors[0].class: \"/Game/X.X_C\" is not one of the classes"},
        BadInput{"MalformedScript", {"--script", "@broken.json"}, "@broken.json: not valid JSON"},
        BadInput{
            "ScriptWithoutMinute", {"--script", "@late.json"}, "@late.json: [0].minute: missing"},
        BadInput{"MissingPlugin", {"--plugin", "@absent.so"}, "@absent.so"},
        BadInput{"UnwritableReport",
                 {"--report", "@absent/report.html"},
                 "@absent/report.html: cannot be opened for writing: No such file or directory"},
        BadInput{"EventsUnderAFile",
                 {"--events", "@broken.json/events.jsonl"},
                 "@broken.json/events.jsonl: cannot be opened for writing: Not a directory"},
        BadInput{"UnknownZone", {"--tz", "Nowhere/Bogus"}, "--tz: unknown time zone"},
        BadInput{"SkippedStart",
                 {"--tz", "Europe/Berlin", "--start", "2024-03-31 02:30:00"},
                 "does not exist in the time zone Europe/Berlin: the clocks go forward"},
        BadInput{"RepeatedStart",
                 {"--tz", "Europe/Berlin", "--start", "2024-10-27 02:30:00"},
                 "happens twice in the time zone Europe/Berlin"}),
    [](const auto& info) { return std::string(info.param.name); });

// A Europe/Berlin night across each clock change with a 2:30 clock entry:
// the change's event, console line and report list, and the entry's spawns.
TEST_F(SimE2eTest, ClockChangesAreNamedInEventsConsoleAndReport) {
  struct Night {
    const char *start, *minutes, *local, *utc, *console;
    std::vector<std::string> spawn_utc;
    const char* report_says;
  };
  const Night nights[] = {{"2024-03-31 01:50:00",
                           "60",
                           "2024-03-31 03:00:00",
                           "2024-03-31T01:00:00Z",
                           "clocks go forward: 02:00 CET is 03:00 CEST",
                           {},
                           "does not fire that day: the clocks skip 2:30"},
                          {"2024-10-27 01:50:00",
                           "120",
                           "2024-10-27 02:00:00",
                           "2024-10-27T01:00:00Z",
                           "clocks go back: 03:00 CEST is 02:00 CET",
                           {"2024-10-27T00:30:00Z", "2024-10-27T01:30:00Z"},
                           "fired twice: 02:30:00 CEST spawned, 02:30:00 CET spawned"}};
  json config;
  config["SpawnDinoX"][kEntryA] = Entry("2:30", 100, "0 0 0", false, 3, false, false);
  const std::string report = dir_.path() + "/report.html";
  for (const Night& night : nights) {
    SCOPED_TRACE(night.start);
    SimResult result = Run({"--config", WriteConfig(config), "--world", WriteWorld(TestWorld()),
                            "--tz", "Europe/Berlin", "--start", night.start, "--minutes",
                            night.minutes, "--report", report});
    std::vector<json> changes = result.Of("clock_change");
    ASSERT_EQ(changes.size(), 1u) << result.out;
    EXPECT_EQ(changes[0].at("time"), night.local);
    EXPECT_EQ(changes[0].at("utc"), night.utc);
    EXPECT_EQ(changes[0].at("text"), night.console);
    EXPECT_THAT(result.out,
                HasSubstr(std::string(night.local) + "  clock   " + night.console + "\n"));
    std::vector<std::string> spawns;
    for (const json& spawn : result.Of("spawn")) spawns.push_back(spawn.at("utc"));
    EXPECT_EQ(spawns, night.spawn_utc);
    EXPECT_THAT(ReadFile(report),
                HasSubstr("at 2:30: " + std::string(night.report_says) + "</li>"));
  }
}

TEST_F(SimE2eTest, RefusesToGuessTheConfigurationOrTheZone) {
  SimResult bare = RunSim({"--minutes", "5"}, dir_.path());
  EXPECT_EQ(bare.exit_code, 2);
  EXPECT_THAT(bare.err, HasSubstr("no configuration: give --config FILE"));
  SimResult nowhere =
      RunSim({"--root", dir_.path(), "--minutes", "5"}, dir_.path(), {"TZ=Nowhere/Bogus"});
  EXPECT_EQ(nowhere.exit_code, 2);
  EXPECT_THAT(nowhere.err, HasSubstr("TZ=Nowhere/Bogus: unknown time zone"));
  EXPECT_TRUE(bare.out.empty() && nowhere.out.empty()) << bare.out << nowhere.out;
}

// /dev/full opens, and refuses every write.
TEST_F(SimE2eTest, AWriteRefusedDuringOrAfterTheRunSaysWhy) {
  json config;
  config["SpawnDino"][kEntryA] = Entry(0, 100, "0 0 0", false, 3, false, false);
  const std::string config_file = WriteConfig(config);
  const std::pair<std::string, int> outputs[] = {{"--events", 141}, {"--report", 1}};
  for (const auto& [option, status] : outputs) {
    SimResult result =
        RunSim({"--config", config_file, "--minutes", "5", option, "/dev/full"}, dir_.path());
    EXPECT_EQ(result.exit_code, status) << option << result.err;
    EXPECT_THAT(result.err, HasSubstr("drovekeeper-sim: /dev/full: could not be written: No space "
                                      "left on device"))
        << option;
  }
}

struct Interruption {
  const char* name;
  int signal;
  int exit_code;
  const char* by;
  friend void PrintTo(const Interruption& c, std::ostream* os) { *os << c.name; }
};

class InterruptedRunTest : public SimE2eTest, public ::testing::WithParamInterface<Interruption> {};

TEST_P(InterruptedRunTest, EndsWhereItGotToAndSaysSo) {
  json config;
  config["SpawnDino"][kEntryA] = Entry(0, 1000000, "0 0 0", false, 3, false, false);
  const std::string report = dir_.path() + "/report.html";
  SimProcess sim({"--config", WriteConfig(config), "--world", WriteWorld(TestWorld()), "--start",
                  kStart, "--minutes", "5000000", "--report", report},
                 dir_.path());
  ASSERT_TRUE(sim.WaitForOutput("spawn ", std::chrono::seconds(20)).has_value());
  sim.Signal(GetParam().signal);
  SimResult result = sim.Wait();

  EXPECT_EQ(result.exit_code, GetParam().exit_code) << result.err;
  EXPECT_EQ(result.out.rfind("2024-03-01 01:00:00  sim     time zone UTC; server directory", 0), 0u)
      << result.out;
  const std::size_t said = result.out.find("interrupted at ");
  ASSERT_NE(said, std::string::npos) << result.out;
  const std::string reached = result.out.substr(said + 15, 19);
  EXPECT_THAT(result.out, HasSubstr(std::string("by ") + GetParam().by + ", "));
  EXPECT_THAT(result.out, HasSubstr("Summary: 2024-03-01 01:00:00 to " + reached + " ("));
  std::vector<json> summaries = result.Of("summary");
  ASSERT_EQ(summaries.size(), 1u);
  EXPECT_EQ(summaries[0].at("time"), reached);
  std::vector<json> interrupted = result.Of("interrupted");
  ASSERT_EQ(interrupted.size(), 1u);
  EXPECT_EQ(interrupted[0].at("time"), reached);
  EXPECT_EQ(interrupted[0].at("by"), GetParam().by);
  EXPECT_EQ(interrupted[0].at("planned_end"), "2033-09-02 06:20:00");
  EXPECT_EQ(result.Of("spawn").back().at("time") < reached, true);
  EXPECT_THAT(ReadFile(report), HasSubstr(reached));
}

INSTANTIATE_TEST_SUITE_P(Signals, InterruptedRunTest,
                         ::testing::Values(Interruption{"Int", SIGINT, 130, "SIGINT"},
                                           Interruption{"Term", SIGTERM, 143, "SIGTERM"},
                                           Interruption{"Hup", SIGHUP, 129, "SIGHUP"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimE2eTest, TemporaryServerDirectoryGoesWhenTheOutputPipeCloses) {
  json config;
  config["SpawnDino"][kEntryA] = Entry(0, 1000000, "0 0 0", false, 3, false, false);
  const std::string status = dir_.path() + "/status";
  const std::string line = "(timeout 60 " DROVEKEEPER_SIM_PATH " --config " + WriteConfig(config) +
                           " --world " + WriteWorld(TestWorld()) +
                           " --minutes 5000000; echo $? > " + status + ") | head -1";
  FILE* pipe = popen(line.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char first[512] = {};
  ASSERT_NE(std::fgets(first, sizeof(first), pipe), nullptr);
  pclose(pipe);
  const std::string text = first;
  const std::size_t at = text.find("server directory ");
  ASSERT_NE(at, std::string::npos) << text;
  const std::string root = text.substr(at + 17, text.find(',', at) - at - 17);
  EXPECT_EQ(root.rfind("/tmp/drovekeeper-sim-", 0), 0u) << root;
  EXPECT_FALSE(std::filesystem::exists(root)) << root;
  EXPECT_EQ(ReadFile(status), "141\n");
}

TEST_F(SimE2eTest, ExampleConfigurationOverADayOnTheDemoWorld) {
  SimResult result = Run({"--config", DROVEKEEPER_SOURCE_DIR "/examples/config.json", "--start",
                          "2024-03-01 00:00:00", "--minutes", "1440", "--events", "-"});
  // Events on standard output, the console on standard error.
  std::istringstream lines(result.out);
  for (std::string line; std::getline(lines, line);) result.events.push_back(json::parse(line));
  EXPECT_THAT(result.err, HasSubstr("Summary: 2024-03-01 00:00:00 to 2024-03-02 00:00:00"));

  const std::string thornback = "Blueprint'/Game/Fauna/Thornback/Thornback_BP.Thornback_BP'";
  const std::string cragwing = "Blueprint'/Game/Fauna/Cragwing/Cragwing_BP.Cragwing_BP'";
  // Two wild Thornbacks and a cap of five: three half-hourly spawns, then full.
  EXPECT_THAT(SpawnTimes(result, thornback),
              ElementsAre("2024-03-01 00:29:00", "2024-03-01 00:59:00", "2024-03-01 01:29:00"));
  // The clock-time Cragwing (level 450) comes once, at 20:30.
  std::vector<std::string> evening;
  for (const json& spawn : result.Of("spawn")) {
    if (spawn.at("class") == cragwing && spawn.at("level") == 450)
      evening.push_back(spawn.at("time"));
  }
  EXPECT_THAT(evening, ElementsAre("2024-03-01 20:30:00"));
  for (const json& notice : result.Of("notice")) EXPECT_NE(notice.at("player"), "Ghost");
  EXPECT_EQ(result.Of("register").size(), 5u);
  std::vector<json> gone = result.Of("unregister");
  ASSERT_EQ(gone.size(), 5u);
  EXPECT_EQ(gone[2].at("time"), "2024-03-02 00:00:00");
}

// The example day as scripts/run.sh runs it, ending with Drovekeeper.status --all:
// the plug-in's own counters agree with the ledger's summary of every entry.
TEST_F(SimE2eTest, StatusReplyAgreesWithTheLedgerOverTheExampleDay) {
  SimResult result = Run({"--config", DROVEKEEPER_SOURCE_DIR "/examples/config.json", "--script",
                          DROVEKEEPER_SOURCE_DIR "/examples/script.json", "--start",
                          "2024-03-01 06:00:00", "--minutes", "1440"});
  std::vector<json> replies;
  for (const json& r : result.Of("rcon")) {
    if (r.at("command") == "Drovekeeper.status --all") replies.push_back(r.at("reply"));
  }
  ASSERT_EQ(replies.size(), 1u) << result.out;
  std::istringstream lines(replies[0].get<std::string>());
  std::string header;
  std::getline(lines, header);
  EXPECT_THAT(header, HasSubstr("; last reload 2024-03-01 09:01:30 taken; 1440 runs since load"));

  std::map<std::pair<std::string, std::string>, json> summaries;
  for (const json& s : result.Of("summary")) summaries[{s.at("table"), s.at("entry")}] = s;
  const std::regex entry_line(
      R"(^(\S+) (.+?): .*; fell due (\d+); spawned (\d+); held by cap (\d+)(?: \([^)]*\))?; )"
      R"(class unknown (\d+); spawn refused (\d+); failed (\d+))"
      R"((?: \(last [^:]+:\d\d:\d\d: (.*)\))?$)");
  std::size_t seen = 0;
  for (std::string line; std::getline(lines, line); ++seen) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, entry_line)) << line;
    SCOPED_TRACE(line);
    const json& s = summaries[{m[1], m[2]}];
    ASSERT_TRUE(s.is_object());
    EXPECT_EQ(std::stoi(m[3]), s.at("fell_due"));
    EXPECT_EQ(std::stoi(m[4]), s.at("spawned"));
    EXPECT_EQ(std::stoi(m[5]), s.at("held_by_cap"));
    EXPECT_EQ(std::stoi(m[6]), s.at("class_unknown"));
    EXPECT_EQ(std::stoi(m[7]), s.at("spawn_refused"));
    EXPECT_EQ(std::stoi(m[8]), s.at("failed"));
    EXPECT_EQ(m[9].matched ? json(m[9].str()) : json(nullptr), s.at("last_failure"));
  }
  EXPECT_EQ(seen, summaries.size());
}

// Spawn times per table and entry, from `from` on.
std::map<std::pair<std::string, std::string>, std::vector<std::string>> SpawnsFrom(
    const SimResult& result, const std::string& from) {
  std::map<std::pair<std::string, std::string>, std::vector<std::string>> spawns;
  for (const json& s : result.Of("spawn")) {
    if (s.at("time") >= from)
      spawns[{s.value("table", ""), s.value("entry", "")}].push_back(s["time"]);
  }
  return spawns;
}

// The example day stopped at noon with a status reply, then previewed from
// that reply for the rest of the day, spawns as the day went: the countdowns
// and wild counts come from the reply (positions and levels are random draws).
TEST_F(SimE2eTest, PreviewFromANoonStatusReplySpawnsAsTheDayWent) {
  const std::string examples = DROVEKEEPER_SOURCE_DIR "/examples/";
  json day = json::parse(ReadFile(examples + "script.json"));
  json rest = json::array();
  for (json& step : day) {
    if (step.contains("config_from")) step["config_from"] = examples + "config.json";
    if (step["minute"] < 360) continue;
    rest.push_back(step);
    rest.back()["minute"] = step["minute"].get<double>() - 360;
  }
  // A kill of tamed creatures says how many wild ones the level holds.
  for (std::string kind : {"Thornback", "Marshstrider", "Cragwing"}) {
    const std::string reference = "/Game/Fauna/" + kind + "/" + kind + "_BP." + kind + "_BP_C";
    day.push_back(
        {{"minute", 360}, {"kill", {{"class", reference}, {"count", 1}, {"tamed", true}}}});
  }
  day.push_back({{"minute", 360}, {"rcon", "Drovekeeper.status --json"}});
  SimResult full = Run({"--config", examples + "config.json", "--script", WriteScript(day),
                        "--start", "2024-03-01 06:00:00", "--minutes", "1440"});
  std::map<std::string, std::string> wild;  // blueprint path -> count
  const std::regex kill_line(R"(tamed of (\S+)_C left the level, (\d+) wild)");
  for (std::sregex_iterator m(full.out.begin(), full.out.end(), kill_line), end; m != end; ++m) {
    wild["Blueprint'" + (*m)[1].str() + "'"] = (*m)[2];
  }
  json reply;
  for (const json& r : full.Of("rcon")) {
    if (r.at("time") == "2024-03-01 12:00:00")
      reply = json::parse(r.at("reply").get<std::string>());
  }
  ASSERT_EQ(wild.size(), 3u) << full.out;
  // The reply's wild counts are the level's. A file of another fingerprint
  // is said and run on.
  std::size_t counted = 0;
  for (const json& entry : reply.at("entries")) {
    auto it = wild.find(entry.at("name").get<std::string>());
    if (it == wild.end()) continue;
    EXPECT_EQ(entry.at("wild_now").dump(), it->second) << entry.dump();
    ++counted;
  }
  EXPECT_GE(counted, wild.size());
  reply["file"]["fingerprint"] = "000000000000";
  const std::string saved = reply.dump();
  SimResult preview = Run({"--config", examples + "config.json", "--script", WriteScript(rest),
                           "--from-status", dir_.Write("status.json", saved), "--minutes", "1080",
                           "--report", dir_.path() + "/report.html"});
  const auto spawns = SpawnsFrom(full, "2024-03-01 12:00:00");
  EXPECT_EQ(spawns.size(), 3u);
  EXPECT_EQ(SpawnsFrom(preview, ""), spawns);
  EXPECT_THAT(preview.out, HasSubstr("status.json: the configuration given is file "));
  EXPECT_THAT(ReadFile(dir_.path() + "/report.html"),
              HasSubstr("status.json: server time 2024-03-01 12:00:00 UTC (UTC+00:00), file "
                        "000000000000; the configuration given is file"));
}

bool NodeClientAvailable() {
  return access("/usr/bin/node", X_OK) == 0 &&
         std::filesystem::exists(DROVEKEEPER_SOURCE_DIR
                                 "/tests/e2e/rcon_client/node_modules/rcon-client");
}

// Runs the node client; returns its exit status and standard output.
std::pair<int, std::string> NodeRcon(std::uint16_t port, const std::string& password,
                                     const std::string& command) {
  std::string line = "node " DROVEKEEPER_SOURCE_DIR "/tests/e2e/rcon_client/check.mjs 127.0.0.1 " +
                     std::to_string(port) + " '" + password + "' '" + command +
                     "' 5000 2>/dev/null";
  FILE* pipe = popen(line.c_str(), "r");
  std::string out;
  char buffer[256];
  while (std::fgets(buffer, sizeof(buffer), pipe) != nullptr) out += buffer;
  int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

TEST_F(SimE2eTest, ReloadOverTcpInRealTime) {
  json config;
  config["SpawnDino"][kEntryA] = Entry(30, 100, "0 0 0", false, 3, false, false);
  // Enough entries that the status reply takes several packets.
  for (int i = 0; i < 60; ++i) {
    const std::string name = "Blueprint'/Game/T/Long/" + std::string(60, 'n') + std::to_string(i);
    config["SpawnDino"][name + ".X'"] = Entry(30, 100, "0 0 0", false, 3, false, false);
  }
  SimProcess sim({"--config", WriteConfig(config), "--world", WriteWorld(TestWorld()),
                  "--rcon-port", "0", "--rcon-password", "s3cret"},
                 dir_.path());
  std::optional<std::string> listening =
      sim.WaitForOutput("RCON listening on 127.0.0.1:", std::chrono::seconds(20));
  ASSERT_TRUE(listening.has_value())
      << ReadFile(dir_.path() + "/stdout.txt") << ReadFile(dir_.path() + "/stderr.txt");
  const auto port =
      static_cast<std::uint16_t>(std::stoi(listening->substr(listening->rfind(':') + 1)));

  RconOutcome refused = RunRconCommand("127.0.0.1", port, "wrong", "Drovekeeper.reload");
  EXPECT_FALSE(refused.authenticated);
  EXPECT_FALSE(refused.reply.has_value());
  RconOutcome reload = RunRconCommand("127.0.0.1", port, "s3cret", "Drovekeeper.reload");
  EXPECT_TRUE(reload.authenticated) << reload.failure;
  EXPECT_EQ(reload.reply, kReloaded) << reload.failure;
  RconOutcome status = RunRconCommand("127.0.0.1", port, "s3cret", "Drovekeeper.status --all");
  EXPECT_EQ(status.failure, "");
  ASSERT_TRUE(status.reply.has_value());
  EXPECT_GT(status.reply->size(), standin::rcon::kMaxBodySize);
  int expected_reloads = 1;
  if (NodeClientAvailable()) {
    auto [status, out] = NodeRcon(port, "s3cret", "Drovekeeper.reload");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, std::string(kReloaded) + "\n");
    ++expected_reloads;
  }

  sim.Signal(SIGTERM);
  SimResult result = sim.Wait();
  EXPECT_EQ(result.exit_code, 0) << result.err;
  std::vector<json> rcon = result.Of("rcon");
  ASSERT_EQ(rcon.size(), static_cast<std::size_t>(expected_reloads) + 1);
  EXPECT_EQ(rcon[1].at("command"), "Drovekeeper.status --all");
  EXPECT_EQ(rcon[1].at("reply"), *status.reply);
  rcon.erase(rcon.begin() + 1);
  for (const json& r : rcon) EXPECT_EQ(r.at("reply"), kReloaded);
  // SIGTERM still unloads cleanly.
  EXPECT_EQ(result.Of("unregister").size(), 5u);
  EXPECT_THAT(result.out, HasSubstr("Summary:"));
}

// Against the running wall clock, where the plug-in's gate reads fractions
// of a second: every turn the ledger counts is a spawn the game made, and
// every spawn names its entry.
TEST_F(SimE2eTest, RealTimeLedgerCountsTheSpawnsMade) {
  json config;
  config["SpawnDino"][kEntryA] = Entry(0, 1000000, "0 0 0", false, 3, false, false);
  SimProcess sim({"--config", WriteConfig(config), "--world", WriteWorld(TestWorld())},
                 dir_.path());
  ASSERT_TRUE(sim.WaitForOutput("spawn ", std::chrono::seconds(20)).has_value());
  // Three more runs, a little over a minute apart.
  std::this_thread::sleep_for(std::chrono::seconds(185));
  sim.Signal(SIGINT);
  SimResult result = sim.Wait();
  EXPECT_EQ(result.exit_code, 0) << result.err;

  const std::vector<json> spawns = result.Of("spawn");
  EXPECT_GE(spawns.size(), 4u) << result.out;
  for (const json& spawn : spawns) EXPECT_EQ(spawn.value("entry", ""), kEntryA) << spawn;
  const std::vector<json> summaries = result.Of("summary");
  ASSERT_EQ(summaries.size(), 1u);
  EXPECT_EQ(summaries[0].at("fell_due"), spawns.size()) << result.out;
  EXPECT_EQ(summaries[0].at("spawned"), spawns.size()) << result.out;
  EXPECT_EQ(summaries[0].at("failed"), 0) << result.out;
}

}  // namespace
}  // namespace e2e
