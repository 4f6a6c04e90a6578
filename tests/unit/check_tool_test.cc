// drovekeeper-check's command line: exit codes, the files it refuses, the
// --json listing and the summary line. The findings themselves are
// check_test.cc's.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "check/check.h"
#include "tests/support/scratch_dir.h"
#include "tools/check/run_check.h"
#include "tools/check/upcoming.h"
#include "tools/check/zone_changes.h"

namespace drovekeeper::check_tool {

namespace {

using ::testing::HasSubstr;

// One countdown entry holding `members`, on one line.
std::string OneEntry(std::string_view members) {
  return "{\"SpawnDino\": {\"Blueprint'/Game/A/A_BP.A_BP'\": {" + std::string(members) + "}}}";
}

// Clean but for the note on "SpawnInterval", whose value is at column 66.
constexpr char kCleanMembers[] =
    R"("SpawnInterval": 5, "Worldmaximum": 2, "Position": "100 -200 300", )"
    R"("PositionRangeRandom": false, "Maxlevel": 10, "levelFixed": true, "SpawnNotice": true, )"
    R"("Name": "Rex")";
// One warning: a cap of 0.
constexpr char kWarnedMembers[] =
    R"("SpawnInterval": 5, "Worldmaximum": 0, "Position": "100 -200 300", )"
    R"("PositionRangeRandom": false, "Maxlevel": 10, "levelFixed": true, "SpawnNotice": true, )"
    R"("Name": "Rex")";
// A warning (two position numbers) and an error (a number for a boolean).
constexpr char kMixedMembers[] =
    R"("SpawnInterval": 5, "Worldmaximum": 2, "Position": "1 2", )"
    R"("PositionRangeRandom": false, "Maxlevel": 10, "levelFixed": 1, "SpawnNotice": true, )"
    R"("Name": "Rex")";

class RunCheckTest : public ::testing::Test {
 protected:
  // Each test its own folder: ctest runs the tests of this file side by side.
  std::string Write(const std::string& name, const std::string& text) {
    return scratch_.Write(name, text);
  }

  int Run(std::vector<std::string> args) {
    out_.str("");
    err_.str("");
    return RunCheck(args, out_, err_);
  }

  ScratchDir scratch_{"drovekeeper-check-tool"};
  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(RunCheckTest, ExitCodeFollowsTheWorstFinding) {
  const std::string clean = Write("clean.json", OneEntry(kCleanMembers));
  const std::string warned = Write("warned.json", OneEntry(kWarnedMembers));
  const std::string failed = Write("failed.json", "{\"SpawnDino\": 1}");
  EXPECT_EQ(Run({clean}), 0);
  EXPECT_THAT(out_.str(), HasSubstr(clean + ":1:66: note: \"SpawnInterval\" counts one minute"));
  EXPECT_THAT(out_.str(), ::testing::EndsWith("\nno problems found in 1 file (1 note)\n"));
  EXPECT_EQ(Run({clean, warned}), 1);
  EXPECT_EQ(Run({warned, failed, clean}), 2);
  EXPECT_THAT(out_.str(), HasSubstr(warned + ":1:"));
  EXPECT_THAT(out_.str(), HasSubstr(failed + ":1:15: error: SpawnDino: the table is a number"));
  EXPECT_THAT(out_.str(), ::testing::EndsWith("1 error, 1 warning and 2 notes in 3 files\n"));
}

TEST_F(RunCheckTest, FlagsSetWhatIsPrintedAndWhatFailsTheGate) {
  const std::string clean = Write("clean.json", OneEntry(kCleanMembers));
  const std::string warned = Write("warned.json", OneEntry(kWarnedMembers));
  const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
      {{"--strict", clean}, 0, "no problems found in 1 file (1 note)\n"},
      {{"--strict", warned}, 2, "0 errors, 1 warning and 1 note in 1 file\n"},
      {{"--quiet", clean, warned}, 1, "0 errors and 1 warning in 2 files\n"},
      {{"--verbose", clean}, 0, "(1 note)\n"},
  };
  for (const auto& [args, code, ending] : cases) {
    EXPECT_EQ(Run(args), code) << args[0];
    EXPECT_THAT(out_.str(), ::testing::EndsWith(ending)) << args[0];
    EXPECT_EQ(out_.str().find(": note: ") == std::string::npos, args[0] == "--quiet") << args[0];
  }
  EXPECT_EQ(Run({"--quiet", "--verbose", clean}), 2);
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_THAT(out_.str(), HasSubstr("1 with warnings (2 with --strict); 2 with errors"));
}

#ifndef _WIN32  // FIFOs are POSIX
TEST_F(RunCheckTest, WhatIsNoConfigurationFileIsOneErrorNamingIt) {
  const std::filesystem::path dir = scratch_.path();
  const std::string fifo = (dir / "check.fifo").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string huge = Write("huge.json", "");
  std::filesystem::resize_file(huge, 16 * 1024 * 1024 + 1);
  const std::pair<std::string, std::string> cases[] = {
      {(dir / "absent.json").string(), "cannot open the file: No such file"},
      {dir.string(), "is a directory"},
      {fifo, "is not a regular file"},
      {huge, "is larger than 16 MiB"},
  };
  for (const auto& [file, why] : cases) {
    EXPECT_EQ(Run({file}), 2) << file;
    EXPECT_THAT(err_.str(), ::testing::StartsWith(file + ": error: " + why));
    const std::string said = err_.str();
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
  }
}
#endif

TEST_F(RunCheckTest, BadCommandLineIsAnError) {
  const std::string missing = (std::filesystem::path(scratch_.path()) / "absent.json").string();
  EXPECT_EQ(Run({}), 2);
  EXPECT_EQ(Run({"--no-such-flag", missing}), 2);
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_THAT(out_.str(), HasSubstr("--json"));
  EXPECT_EQ(Run({"/json"}), 2);
  EXPECT_THAT(err_.str(), HasSubstr("/json: error: cannot open the file"));
  EXPECT_EQ(Run({"--tz", "Nowhere/Bogus", missing}), 2);
  EXPECT_THAT(err_.str(), HasSubstr("--tz: unknown time zone \"Nowhere/Bogus\""));
}

#ifndef _WIN32  // zone files are Linux's
TEST_F(RunCheckTest, ZoneNotesClockTextsItsChangesSkipOrRepeat) {
  const std::string members = std::string(kCleanMembers).replace(17, 1, "\"2:30\"");
  const std::string file = Write(
      "clock.json", "{\"SpawnDinoX\": {\"Blueprint'/Game/A/A_BP.A_BP'\": {" + members + "}}}");
  EXPECT_EQ(Run({file}), 0);
  EXPECT_THAT(out_.str(), ::testing::Not(HasSubstr("clocks go")));
  EXPECT_EQ(Run({"--tz", "Europe/Berlin", file}), 0);
  EXPECT_THAT(out_.str(), HasSubstr(" in Europe/Berlin: the clocks go forward from 02:00 to 03:00, "
                                    "so the entry does not fire that day"));
  EXPECT_THAT(out_.str(), HasSubstr("so the entry fires twice that day"));
}

TEST(ChangesOfZone, FindsEachChangeOfTheYearAndRestoresTz) {
  using namespace std::chrono;
  const auto local = [](year_month_day day, int minutes) {
    return std::int64_t{sys_days{day}.time_since_epoch().count()} * 86400 + minutes * 60;
  };
  const auto from = std::int64_t{sys_days{2027y / 1 / 1}.time_since_epoch().count()} * 86400;
  const std::string tz_before = std::getenv("TZ") ? std::getenv("TZ") : "";
  const std::tuple<std::string, std::vector<std::pair<std::int64_t, std::int64_t>>> cases[] = {
      {"UTC", {}},
      {"Europe/Berlin",
       {{local(2027y / 3 / 28, 120), local(2027y / 3 / 28, 180)},
        {local(2027y / 10 / 31, 180), local(2027y / 10 / 31, 120)}}},
      {"Australia/Lord_Howe",
       {{local(2027y / 4 / 4, 120), local(2027y / 4 / 4, 90)},
        {local(2027y / 10 / 3, 120), local(2027y / 10 / 3, 150)}}},
  };
  for (const auto& [zone, expected] : cases) {
    const check::ZoneChanges found = ChangesOfZone(zone, from, from + 365 * 86400);
    std::vector<std::pair<std::int64_t, std::int64_t>> changes;
    for (const check::ZoneOffsetChange& change : found.changes)
      changes.emplace_back(change.before, change.after);
    EXPECT_EQ(changes, expected) << zone;
    EXPECT_EQ(std::getenv("TZ") ? std::getenv("TZ") : "", tz_before);
  }
}
#endif

// Run k of a window at local time 00:00 + k minutes, but for `skip` (local
// times the clocks jump over from `at`) or a negative `skip` (those they
// repeat).
std::vector<std::int64_t> LocalRuns(std::size_t count, std::size_t at = 0, int skip = 0) {
  std::vector<std::int64_t> local;
  for (std::size_t k = 0; k < count; ++k) {
    const auto shift = static_cast<std::int64_t>(k >= at ? skip : 0);
    local.push_back(static_cast<std::int64_t>(k) * 60 + shift * 60);
  }
  return local;
}

TEST(UpcomingTurns, FollowThePluginsRulesInItsOrder) {
  // Entries as "TABLE NAME SCHEDULE", one list per case.
  const auto turns = [](const std::string& config, const std::vector<std::int64_t>& local) {
    std::vector<std::string> said;
    for (const DueTurn& t : UpcomingTurns(nlohmann::json::parse(config), 1000, local)) {
      said.push_back(std::to_string((t.at - 1000) / 60) + "@" + std::to_string(t.local / 60) + " " +
                     t.entry);
    }
    return said;
  };
  using Turns = std::vector<std::string>;
  const std::tuple<std::string, std::vector<std::int64_t>, Turns> cases[] = {
      // Interval I falls due on run I, then every I + 1 runs; 0 and below every run.
      {R"({"SpawnDino": {"b": {"SpawnInterval": 2}, "a": {"SpawnInterval": -3}}})",
       LocalRuns(4),
       {"0@0 a", "1@1 a", "2@2 a", "2@2 b", "3@3 a"}},
      {R"({"SpawnDino": {"c": {"SpawnInterval": 1.9}}})", LocalRuns(5), {"1@1 c", "3@3 c"}},
      // Countdown entries first, then clock entries, each by name.
      {R"({"SpawnDinoX": {"x": {"SpawnInterval": "0:1"}, "w": {"SpawnInterval": "0:01"}},
          "SpawnDino": {"z": {"SpawnInterval": 1}}})",
       LocalRuns(3),
       {"1@1 z", "1@1 x"}},
      // A minute the clocks skip never comes; one they repeat comes twice.
      {R"({"SpawnDinoX": {"x": {"SpawnInterval": "0:2"}}})", LocalRuns(5, 2, 2), {}},
      {R"({"SpawnDinoX": {"x": {"SpawnInterval": "0:2"}}})",
       LocalRuns(5, 3, -2),
       {"2@2 x", "4@2 x"}},
      {R"({"SpawnDinoX": {"x": {"SpawnInterval": "23:59"}}})", LocalRuns(1441), {"1439@1439 x"}},
      // What the plug-in refuses to load has no turns.
      {R"({"SpawnDino": {"a": {"SpawnInterval": "5"}}})", LocalRuns(3), {}},
      {R"({"SpawnDino": {"a": {"SpawnInterval": 0}}, "SpawnDinoX": {"x": 1}})", LocalRuns(3), {}},
      {R"({"SpawnDino": [1]})", LocalRuns(3), {}},
  };
  for (const auto& [config, local, expected] : cases) {
    EXPECT_EQ(turns(config, local), expected) << config;
  }
}

// UTC needs no zone files, so it is taken on Windows too.
TEST_F(RunCheckTest, UpcomingInUtcNeedsNoZoneFiles) {
  const std::string file = Write("utc.json", OneEntry(kCleanMembers));
  EXPECT_EQ(Run({"--tz", "UTC", "--upcoming", "1", "--from", "2027-01-01 23:30", file}), 0);
  EXPECT_THAT(out_.str(),
              HasSubstr("\n2027-01-01 23:35 +00:00  SpawnDino[\"Blueprint'/Game/A/A_BP.A_BP'\"] "
                        "every 6 minutes\n2027-01-01 23:41 +00:00  "));
  EXPECT_THAT(out_.str(), HasSubstr("\n2027-01-02 00:29 +00:00  "));
}

#ifndef _WIN32  // zone files are Linux's
TEST_F(RunCheckTest, UpcomingListsTheTurnsOfAWindowInTheZone) {
  const std::string clock = std::string(kCleanMembers).replace(17, 1, "\"2:30\"");
  const std::string file = Write(
      "upcoming.json", "{\"SpawnDinoX\": {\"Blueprint'/Game/A/A_BP.A_BP'\": {" + clock + "}}, " +
                           OneEntry(std::string(kWarnedMembers).replace(17, 1, "44")).substr(1));
  const auto upcoming = [&](std::string from) {
    EXPECT_EQ(Run({"--quiet", "--tz", "Europe/Berlin", "--upcoming", "2", "--from", from, file}),
              1);
    std::vector<std::string> turns;
    std::istringstream lines(out_.str());
    for (std::string line; std::getline(lines, line);) {
      if (line.starts_with("20")) turns.push_back(line);
    }
    return turns;
  };
  const std::string x = "  SpawnDinoX[\"Blueprint'/Game/A/A_BP.A_BP'\"] at 2:30";
  const std::string d =
      "  SpawnDino[\"Blueprint'/Game/A/A_BP.A_BP'\"] every 45 minutes (never spawns: see its "
      "finding)";
  EXPECT_EQ(
      upcoming("2027-10-31 01:50"),
      (std::vector<std::string>{"2027-10-31 02:30 +02:00" + x, "2027-10-31 02:34 +02:00" + d,
                                "2027-10-31 02:19 +01:00" + d, "2027-10-31 02:30 +01:00" + x}));
  EXPECT_THAT(out_.str(), HasSubstr(file + ": falls due from 2027-10-31 01:50 to 2027-10-31 02:50 "
                                           "(Europe/Berlin), with a run each minute"));
  EXPECT_EQ(
      upcoming("2027-03-28 01:50"),
      (std::vector<std::string>{"2027-03-28 03:34 +02:00" + d, "2027-03-28 04:19 +02:00" + d}));
  EXPECT_EQ(Run({"--upcoming", "1", Write("refused.json", "{\"SpawnDino\": 1}")}), 2);
  EXPECT_THAT(out_.str(), HasSubstr(": nothing falls due from "));
  EXPECT_THAT(out_.str(), HasSubstr("the plug-in refuses the file"));
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--upcoming", "0", file},
        {"--from", "2027-01-01 00:00", file},
        {"--upcoming", "1", "--from", "2027-02-30 00:00", file},
        {"--upcoming", "1", "--json", file}}) {
    EXPECT_EQ(Run(bad), 2) << bad[0] << " " << bad[1];
  }
}
#endif

TEST_F(RunCheckTest, JsonListsTheSameFindings) {
  const std::string text = OneEntry(kMixedMembers);
  const std::string file = Write("mixed.json", text);
  ASSERT_EQ(Run({"--json", file}), 2);
  const nlohmann::json listed = nlohmann::json::parse(out_.str());
  const std::vector<check::ConfigFinding> findings =
      check::CheckConfigText(text, check::CheckNotes::kInclude);
  ASSERT_TRUE(listed.is_array());
  ASSERT_EQ(listed.size(), findings.size());
  for (std::size_t i = 0; i < findings.size(); ++i) {
    const nlohmann::json& item = listed[i];
    EXPECT_EQ(item["file"], file);
    EXPECT_EQ(item["line"], findings[i].line);
    EXPECT_EQ(item["column"], findings[i].column);
    EXPECT_EQ(item["severity"], std::string(check::SeverityName(findings[i].severity)));
    EXPECT_EQ(item["table"], findings[i].table);
    EXPECT_EQ(item["entry"], findings[i].entry);
    EXPECT_EQ(item["key"], findings[i].key);
    EXPECT_EQ(item["message"], findings[i].what);
    EXPECT_EQ(item["consequence"], check::ConsequenceText(findings[i].consequence));
  }
  // The summary stays off the JSON stream.
  EXPECT_THAT(err_.str(), HasSubstr("1 error, 1 warning and 1 note in 1 file"));
}

TEST_F(RunCheckTest, JsonReplacesBytesThatAreNotText) {
  const std::string file = Write("bytes.json", "{\"a\": \"\xFF\"}");
  ASSERT_EQ(Run({"--json", file}), 2);
  const nlohmann::json listed = nlohmann::json::parse(out_.str());
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0]["severity"], "error");
}

TEST_F(RunCheckTest, BrokenExampleHoldsOneOfEachProblem) {
  const std::filesystem::path example =
      std::filesystem::path(__FILE__).parent_path() / "../../examples/broken_config.json";
  ASSERT_EQ(Run({"--json", example.string()}), 2);
  const nlohmann::json listed = nlohmann::json::parse(out_.str());
  const std::vector<std::string> expected = {"a fraction",
                                             "is 0",
                                             "of the three",
                                             "not a boolean",
                                             "starts at 1",
                                             "did you mean",
                                             "only in letter case",
                                             "is a boolean",
                                             "outside the 32-bit integer range",
                                             "is not a whole number",
                                             "low 32 bits",
                                             "is missing",
                                             "not of the form",
                                             "drop the _C",
                                             "the entry is an array",
                                             "0x80 or above",
                                             "is given again here",
                                             "a minute over 59 and a leading zero",
                                             "unknown member",
                                             "not a clock text",
                                             "text after the end",
                                             "not a plain whole number"};
  for (const std::string& what : expected) {
    bool found = false;
    for (const nlohmann::json& item : listed) {
      const std::string text =
          item["message"].get<std::string>() + "; " + item["consequence"].get<std::string>();
      found = found || text.find(what) != std::string::npos;
    }
    EXPECT_TRUE(found) << what;
  }
}

}  // namespace

}  // namespace drovekeeper::check_tool
