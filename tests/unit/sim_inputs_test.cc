// The simulator's own input handling: options, world and script files, local
// time, and the event and console records. Everything here must be rejected or
// accepted before the plug-in is ever loaded.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "standin/sim/clock.h"
#include "standin/sim/demo_world.h"
#include "standin/sim/inputs.h"
#include "standin/sim/options.h"
#include "standin/sim/recorder.h"
#include "standin/sim/status_reply.h"
#include "tests/support/scratch_dir.h"

namespace standin::sim {
namespace {

using nlohmann::json;
using ::testing::HasSubstr;

constexpr char kClassA[] = "/Game/T/A.A_C";

json MinimalWorld() {
  return json::parse(R"({
    "world_settings": {"LatitudeScale": 0, "LongitudeScale": 0,
                       "LatitudeOrigin": 0, "LongitudeOrigin": 0},
    "classes": [{"reference": "/Game/T/A.A_C", "creature": true}],
    "actors": [{"class": "/Game/T/A.A_C", "team": 0, "count": 2}],
    "players": [{"name": "P"}]
  })");
}

TEST(WorldFileTest, DemoWorldIsValidAndKeepsItsSpecialCases) {
  WorldSpec world = ParseWorldText(kDemoWorldJson, "built-in world");
  ASSERT_GE(world.classes.size(), 3u);
  int unspawnable = 0, non_creatures = 0, tamed = 0, ghosts = 0;
  for (const ClassSpec& c : world.classes) {
    unspawnable += c.spawnable ? 0 : 1;
    non_creatures += c.creature ? 0 : 1;
  }
  for (const ActorSpec& a : world.actors) tamed += a.team >= 49999 ? 1 : 0;
  for (const PlayerSpec& p : world.players) ghosts += p.resolves ? 0 : 1;
  EXPECT_EQ(unspawnable, 1);
  EXPECT_EQ(non_creatures, 1);
  EXPECT_EQ(tamed, 1);
  EXPECT_EQ(ghosts, 1);
}

TEST(WorldFileTest, ReadsEveryMemberAndAppliesDefaults) {
  json doc = MinimalWorld();
  doc["seed"] = 99;
  doc["world_settings"]["LatitudeScale"] = 400.5;
  doc["world_settings"]["LongitudeOrigin"] = -350000;
  doc["classes"].push_back(
      {{"reference", "/Game/T/B.B_C"}, {"creature", false}, {"spawnable", false}});
  doc["players"].push_back({{"name", "Q"}, {"resolves", false}});
  doc["actors"][0]["team"] = 50000;
  WorldSpec world = ParseWorld(doc, "w");
  EXPECT_EQ(world.seed, 99u);
  EXPECT_FLOAT_EQ(world.settings.latitude_scale, 400.5f);
  EXPECT_FLOAT_EQ(world.settings.longitude_origin, -350000.0f);
  ASSERT_EQ(world.classes.size(), 2u);
  EXPECT_TRUE(world.classes[0].spawnable);
  EXPECT_FALSE(world.classes[1].spawnable);
  EXPECT_FALSE(world.classes[1].creature);
  ASSERT_EQ(world.actors.size(), 1u);
  EXPECT_EQ(world.actors[0].team, 50000);
  EXPECT_EQ(world.actors[0].count, 2);
  ASSERT_EQ(world.players.size(), 2u);
  EXPECT_TRUE(world.players[0].resolves);
  EXPECT_FALSE(world.players[1].resolves);
  EXPECT_NE(world.FindClass("/Game/T/B.B_C"), nullptr);
  EXPECT_EQ(world.FindClass("/Game/T/C.C_C"), nullptr);
}

struct BadWorld {
  const char* name;
  std::function<void(json&)> edit;
  const char* message;
  friend void PrintTo(const BadWorld& c, std::ostream* os) { *os << c.name; }
};

class BadWorldTest : public ::testing::TestWithParam<BadWorld> {};

TEST_P(BadWorldTest, IsRejectedWithTheMemberNamed) {
  json doc = MinimalWorld();
  GetParam().edit(doc);
  try {
    ParseWorld(doc, "my-world.json");
    FAIL() << "accepted";
  } catch (const InputError& e) {
    EXPECT_THAT(e.what(), HasSubstr("my-world.json: "));
    EXPECT_THAT(e.what(), HasSubstr(GetParam().message));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, BadWorldTest,
    ::testing::Values(
        BadWorld{"TopLevelArray", [](json& d) { d = json::array(); },
                 "top level: must be an object"},
        BadWorld{"NoSettings", [](json& d) { d.erase("world_settings"); },
                 "world_settings: missing"},
        BadWorld{"SettingNotNumber", [](json& d) { d["world_settings"]["LatitudeScale"] = "800"; },
                 "world_settings.LatitudeScale: must be a number"},
        BadWorld{"SettingMissing", [](json& d) { d["world_settings"].erase("LongitudeOrigin"); },
                 "world_settings.LongitudeOrigin: missing"},
        BadWorld{"ClassesNotArray", [](json& d) { d["classes"] = json::object(); },
                 "classes: must be an array"},
        BadWorld{"ReferenceEmpty", [](json& d) { d["classes"][0]["reference"] = ""; },
                 "classes[0].reference: must be a non-empty string"},
        BadWorld{"CreatureNotBool", [](json& d) { d["classes"][0]["creature"] = 1; },
                 "classes[0].creature: must be true or false"},
        BadWorld{"DuplicateClass", [](json& d) { d["classes"].push_back(d["classes"][0]); },
                 "classes[1].reference: \"/Game/T/A.A_C\" is listed twice"},
        BadWorld{"ActorOfUnknownClass", [](json& d) { d["actors"][0]["class"] = "/Game/X.X_C"; },
                 "actors[0].class: \"/Game/X.X_C\" is not one of the classes"},
        BadWorld{"NegativeCount", [](json& d) { d["actors"][0]["count"] = -1; },
                 "actors[0].count: must be between 0"},
        BadWorld{"FractionalTeam", [](json& d) { d["actors"][0]["team"] = 1.5; },
                 "actors[0].team: must be a whole number"},
        BadWorld{"TeamTooLarge", [](json& d) { d["actors"][0]["team"] = 4294967296LL; },
                 "actors[0].team: must be between"},
        BadWorld{"PlayerWithoutName", [](json& d) { d["players"][0].erase("name"); },
                 "players[0].name: missing"},
        BadWorld{"ResolvesNotBool", [](json& d) { d["players"][0]["resolves"] = "no"; },
                 "players[0].resolves: must be true or false"},
        BadWorld{"UnknownTopMember", [](json& d) { d["player"] = json::array(); },
                 "player: unknown member"},
        BadWorld{"UnknownActorMember", [](json& d) { d["actors"][0]["teams"] = 1; },
                 "actors[0].teams: unknown member"},
        BadWorld{"NegativeSeed", [](json& d) { d["seed"] = -3; }, "seed: must be between"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(WorldFileTest, UnreadableAndMalformedFilesNameTheFile) {
  ScratchDir dir;
  std::string missing = dir.path() + "/none.json";
  EXPECT_THROW(
      {
        try {
          ReadWorldFile(missing);
        } catch (const InputError& e) {
          EXPECT_EQ(std::string(e.what()), missing + ": cannot be opened for reading");
          throw;
        }
      },
      InputError);
  std::string broken = dir.Write("broken.json", "{\"classes\": [");
  try {
    ReadWorldFile(broken);
    FAIL() << "accepted";
  } catch (const InputError& e) {
    EXPECT_THAT(e.what(), HasSubstr(broken + ": not valid JSON: "));
  }
}

TEST(ScriptFileTest, ActionsAreReadSortedAndResolved) {
  ScratchDir dir;
  dir.Write("other.json", "{}");
  WorldSpec world = ParseWorld(MinimalWorld(), "w");
  json doc = json::parse(R"([
    {"minute": 10, "rcon": "Drovekeeper.reload"},
    {"minute": 1.5, "config_from": "other.json"},
    {"minute": 10, "config_delete": true},
    {"minute": 0.01, "kill": {"class": "/Game/T/A.A_C", "count": 2}},
    {"minute": 20, "kill": {"class": "/Game/T/A.A_C", "count": 1, "tamed": true}}
  ])");
  std::vector<ScriptAction> actions = ParseScript(doc, "s", dir.path(), world);
  ASSERT_EQ(actions.size(), 5u);
  EXPECT_EQ(actions[0].kind, ScriptAction::Kind::kKill);
  EXPECT_FALSE(actions[0].kill_tamed);  // wild ones unless the step says so
  EXPECT_TRUE(actions[4].kill_tamed);
  EXPECT_EQ(actions[0].offset_seconds, 1);  // 0.6 s rounds to the nearest second
  EXPECT_EQ(actions[0].kill_class, kClassA);
  EXPECT_EQ(actions[0].kill_count, 2);
  EXPECT_EQ(actions[1].kind, ScriptAction::Kind::kConfigFrom);
  EXPECT_EQ(actions[1].offset_seconds, 90);
  EXPECT_EQ(actions[1].text, dir.path() + "/other.json");
  // Equal times keep the file's order.
  EXPECT_EQ(actions[2].kind, ScriptAction::Kind::kRcon);
  EXPECT_EQ(actions[2].text, "Drovekeeper.reload");
  EXPECT_EQ(actions[2].offset_seconds, 600);
  EXPECT_EQ(actions[3].kind, ScriptAction::Kind::kConfigDelete);
}

struct BadScript {
  const char* name;
  const char* document;
  const char* message;
  friend void PrintTo(const BadScript& c, std::ostream* os) { *os << c.name; }
};

class BadScriptTest : public ::testing::TestWithParam<BadScript> {};

TEST_P(BadScriptTest, IsRejectedWithTheStepNamed) {
  WorldSpec world = ParseWorld(MinimalWorld(), "w");
  try {
    ParseScript(json::parse(GetParam().document), "my-script.json", "/nonexistent", world);
    FAIL() << "accepted";
  } catch (const InputError& e) {
    EXPECT_THAT(e.what(), HasSubstr("my-script.json: "));
    EXPECT_THAT(e.what(), HasSubstr(GetParam().message));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, BadScriptTest,
    ::testing::Values(
        BadScript{"NotArray", R"({"minute": 1})", "top level: must be an array"},
        BadScript{"NoMinute", R"([{"rcon": "x"}])", "[0].minute: missing"},
        BadScript{"NegativeMinute", R"([{"minute": -1, "rcon": "x"}])", "[0].minute: must be"},
        BadScript{"NoAction", R"([{"minute": 1}])", "[0]: needs exactly one action"},
        BadScript{"TwoActions", R"([{"minute": 1, "rcon": "x", "config_delete": true}])",
                  "[0]: needs exactly one action"},
        BadScript{"EmptyRcon", R"([{"minute": 1, "rcon": "x"}, {"minute": 2, "rcon": ""}])",
                  "[1].rcon: must be a non-empty string"},
        BadScript{"DeleteFalse", R"([{"minute": 1, "config_delete": false}])",
                  "[0].config_delete: must be true"},
        BadScript{"MissingConfigFrom", R"([{"minute": 1, "config_from": "nope.json"}])",
                  "[0].config_from: \"/nonexistent/nope.json\" cannot be opened"},
        BadScript{"KillUnknownClass",
                  R"([{"minute": 1, "kill": {"class": "/Game/Z.Z_C", "count": 1}}])",
                  "[0].kill.class: \"/Game/Z.Z_C\" is not a class of the world"},
        BadScript{"KillZero", R"([{"minute": 1, "kill": {"class": "/Game/T/A.A_C", "count": 0}}])",
                  "[0].kill.count: must be between 1"},
        BadScript{"KillTamedNotBool",
                  R"([{"minute": 1, "kill": {"class": "/Game/T/A.A_C", "count": 1, "tamed": 1}}])",
                  "[0].kill.tamed: must be true or false"},
        BadScript{"UnknownKey", R"([{"minute": 1, "rcon": "x", "note": "y"}])",
                  "[0].note: unknown member"}),
    [](const auto& info) { return std::string(info.param.name); });

class LocalTimeTest : public ::testing::Test {
 protected:
  void UseZone(const char* zone) {
    setenv("TZ", zone, 1);
    tzset();
  }
  void TearDown() override { UseZone("UTC"); }
};

TEST_F(LocalTimeTest, ParsesAndFormatsInTheLocalZone) {
  UseZone("UTC");
  EXPECT_EQ(ParseLocalTime("2024-03-01 10:00:00"), 1709287200);
  EXPECT_EQ(FormatLocalTime(1709287200), "2024-03-01 10:00:00");
  UseZone("Europe/Berlin");
  EXPECT_EQ(ParseLocalTime("2024-03-01 10:00:00"), 1709287200 - 3600);
  EXPECT_EQ(FormatLocalTime(1709287200 - 3600), "2024-03-01 10:00:00");
}

TEST_F(LocalTimeTest, RejectsMalformedAndNonexistentTimes) {
  UseZone("Europe/Berlin");
  for (const char* text :
       {"2024-02-30 10:00:00", "2024-13-01 10:00:00", "2024-03-01 24:00:00", "2024-03-01T10:00:00",
        "2024-3-1 10:00:00", "2024-03-01 10:00", "2024-03-01 10:00:00x", "",
        // skipped when the clocks go forward
        "2024-03-31 02:30:00"}) {
    EXPECT_FALSE(ParseLocalTime(text).has_value()) << text;
  }
}

TEST_F(LocalTimeTest, SaysWhyATimeIsRefused) {
  UseZone("Europe/Berlin");
  const std::pair<const char*, const char*> refused[] = {
      {"2024-03-01 10:00", "is not a local time of the form"},
      {"2024-02-30 10:00:00", "is not a date and time of the calendar"},
      {"2024-03-31 02:30:00", "does not exist in the time zone Europe/Berlin"},
      {"2024-10-27 02:30:00", "happens twice in the time zone Europe/Berlin"},
  };
  for (const auto& [text, why] : refused) {
    LocalTimeParse parse = ParseLocalTimeExplained(text);
    EXPECT_FALSE(parse.seconds.has_value()) << text;
    EXPECT_THAT(parse.why, HasSubstr(why)) << text;
  }
  // Either side of the repeated hour is one time.
  EXPECT_EQ(ParseLocalTime("2024-10-27 01:59:59"), 1729987199);
  EXPECT_EQ(ParseLocalTime("2024-10-27 03:00:00"), 1729994400);
}

TEST_F(LocalTimeTest, UnknownZonesAreRefusedNotReadAsUtc) {
  for (const char* zone : {"Nowhere/Bogus", "Europe", "Europe/Berlin/", "CET-"}) {
    EXPECT_THAT(UseTimeZone(std::string(zone)), HasSubstr("unknown time zone")) << zone;
  }
  for (const char* zone : {"UTC", ":Europe/Berlin", "CET-1CEST,M3.5.0,M10.5.0/3", "Asia/Tokyo"}) {
    EXPECT_EQ(UseTimeZone(std::string(zone)), "") << zone;
    EXPECT_STREQ(std::getenv("TZ"), zone);
  }
  EXPECT_EQ(FormatLocalTime(0), "1970-01-01 09:00:00");
  EXPECT_EQ(LocalZoneName(0), "Asia/Tokyo (JST)");
  setenv("TZ", "Nowhere/Bogus", 1);
  EXPECT_THAT(UseTimeZone(std::nullopt), HasSubstr("TZ=Nowhere/Bogus: unknown time zone"));
}

TEST_F(LocalTimeTest, ARunGivenNoZoneKeepsReadingAsOneAfterNamingTheSystemZone) {
  unsetenv("TZ");
  tzset();
  const std::string system_zone = LocalZoneName(0);
  const std::string local = FormatLocalTime(1709287200);
  NameSystemZoneInTz();
  EXPECT_NE(std::getenv("TZ"), nullptr);
  EXPECT_EQ(GivenTimeZone(), nullptr);
  EXPECT_EQ(LocalZoneName(0), system_zone);
  EXPECT_EQ(FormatLocalTime(1709287200), local);
  EXPECT_EQ(UseTimeZone(std::nullopt), "");
  EXPECT_EQ(UseTimeZone(std::string("Asia/Tokyo")), "");
  EXPECT_STREQ(GivenTimeZone(), "Asia/Tokyo");
}

struct OptionCase {
  const char* name;
  std::vector<std::string> args;
  int exit_code;  // -1: runs
  const char* message;
  friend void PrintTo(const OptionCase& c, std::ostream* os) { *os << c.name; }
};

class OptionsTest : public ::testing::TestWithParam<OptionCase> {};

TEST_P(OptionsTest, ExitsOrRuns) {
  ParsedOptions parsed = ParseOptions(GetParam().args);
  if (GetParam().exit_code < 0) {
    EXPECT_EQ(parsed.outcome, ParsedOptions::Outcome::kRun) << parsed.message;
  } else {
    EXPECT_EQ(parsed.outcome, ParsedOptions::Outcome::kExit);
    EXPECT_EQ(parsed.exit_code, GetParam().exit_code);
    EXPECT_THAT(parsed.message, HasSubstr(GetParam().message));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, OptionsTest,
    ::testing::Values(
        OptionCase{"Nothing", {}, 2, "no configuration: give --config FILE"},
        OptionCase{"Help", {"--help"}, 0, "--minutes"},
        OptionCase{"HelpNamesTheExitStatuses", {"--help"}, 0, "130, 143"},
        OptionCase{"UnknownZone",
                   {"--root", "/tmp", "--tz", "Nowhere/Bogus"},
                   2,
                   "--tz: unknown time zone \"Nowhere/Bogus\""},
        OptionCase{"Unknown", {"--minute", "3"}, 2, "--minute"},
        OptionCase{"RootAndConfig",
                   {"--root", "/tmp", "--config", "/etc/hostname"},
                   2,
                   "--root excludes --config"},
        OptionCase{"MissingWorld", {"--world", "/nonexistent/w.json"}, 2, "/nonexistent/w.json"},
        OptionCase{"BadMinutes", {"--minutes", "ten"}, 2, "--minutes"},
        OptionCase{"NegativeMinutes", {"--minutes", "-5"}, 2, "--minutes"},
        OptionCase{"BadStart", {"--start", "2024-02-30 00:00:00"}, 2, "--start"},
        OptionCase{"RconWithMinutes",
                   {"--minutes", "5", "--rcon-port", "27020", "--rcon-password", "pw"},
                   2,
                   "--minutes excludes --rcon-port"},
        OptionCase{"RconWithoutPassword", {"--rcon-port", "27020"}, 2, "--rcon-password"},
        OptionCase{"PasswordWithoutPort", {"--rcon-password", "pw"}, 2, "--rcon-port"},
        OptionCase{
            "PortOutOfRange", {"--rcon-port", "70000", "--rcon-password", "pw"}, 2, "--rcon-port"},
        OptionCase{"RealTimeRcon",
                   {"--root", "/tmp", "--rcon-port", "27020", "--rcon-password", "pw"},
                   -1,
                   ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(OptionsTest, ValuesArriveInTheirFields) {
  setenv("TZ", "UTC", 1);
  tzset();
  ParsedOptions parsed = ParseOptions(
      {"--root", "/tmp", "--start", "2024-03-01 10:00:00", "--minutes", "90", "--events", "-"});
  ASSERT_EQ(parsed.outcome, ParsedOptions::Outcome::kRun) << parsed.message;
  EXPECT_EQ(parsed.options.root_dir, "/tmp");
  EXPECT_EQ(parsed.options.start, 1709287200);
  EXPECT_EQ(parsed.options.minutes, 90);
  EXPECT_TRUE(parsed.options.simulated());
  EXPECT_TRUE(parsed.options.events_on_stdout());
  EXPECT_EQ(parsed.options.rcon_bind, "127.0.0.1");
  EXPECT_FALSE(ParseOptions({}).options.simulated());
}

// A reply's two forms read alike: the server's moment, its file, and per
// countdown entry the runs left and when the next run comes.
TEST(StatusReplyTest, ReadsTheJsonAndTheTextForm) {
  const StatusReply json_reply = ParseStatusReply(R"({
    "server": {"local": "2024-03-01 13:00:00", "utc": "2024-03-01T12:00:00Z", "zone": "CET",
               "utc_offset_seconds": 3600, "tz": "Europe/Berlin"},
    "file": {"fingerprint": "3f9a1c2e0b7d", "on_disk": "same"}, "runs_since_load": 360,
    "entries": [{"table": "SpawnDino", "name": "Blueprint'/T/A.A'", "countdown_left": 3,
                 "next_due": {"local": "2024-03-01 13:03:20", "utc": "2024-03-01T12:03:20Z"},
                 "wild_now": 4},
                {"table": "SpawnDinoX", "name": "Blueprint'/T/B.B'", "countdown_left": null,
                 "next_due": null, "wild_now": null}]})",
                                                  "status.json");
  const StatusReply text_reply = ParseStatusReply(
      "server time 2024-03-01 13:00:00 CET (UTC+01:00); file 3f9a1c2e0b7d; loaded "
      "2024-03-01 07:00:00; no reload; 360 runs since load; 2 of 2 entries\n"
      "SpawnDino Blueprint'/T/A.A': every 10 min; next due 2024-03-01 13:03:20; fell due 1; "
      "wild now 4 of cap 5\nSpawnDinoX Blueprint'/T/B.B': at 20:30; next due 2024-03-01 20:30",
      "status.txt");
  for (const StatusReply* reply : {&json_reply, &text_reply}) {
    SCOPED_TRACE(reply->source);
    EXPECT_EQ(reply->server_time, 1709294400);
    EXPECT_EQ(reply->utc_offset_seconds, 3600);
    EXPECT_EQ(reply->fingerprint, "3f9a1c2e0b7d");
    EXPECT_EQ(reply->runs_since_load, 360);
    ASSERT_EQ(reply->entries.size(), 2u);
    EXPECT_EQ(reply->entries[0].countdown_left, 3);
    EXPECT_EQ(reply->entries[0].next_run, 1709294420);
    EXPECT_EQ(reply->entries[0].wild_now, 4);
    EXPECT_EQ(reply->entries[1].countdown_left, std::nullopt);
  }
  EXPECT_EQ(ZoneOf(json_reply).tz, "Europe/Berlin");
  EXPECT_EQ(ZoneOf(text_reply).tz, "<CET>-01:00");
  EXPECT_TRUE(ZoneOf(text_reply).fixed);
  // To the minute, the count is taken from the server's minute.
  EXPECT_EQ(ParseStatusReply("server time 2024-03-01 12:00:40 UTC+05:30; x\n"
                             "SpawnDino N: every 3 min; next due 2024-03-01 12:02",
                             "s")
                .entries.at(0)
                .countdown_left,
            2);
  EXPECT_THROW(ParseStatusReply("loaded 2024-03-01", "s"), InputError);
  EXPECT_THROW(ParseStatusReply(R"({"server": {"utc": "noon"}})", "s"), InputError);
}

// The fewest runs since a restart that give every count, or the entries that
// no number of runs can give.
TEST(StatusReplyTest, CatchUpFindsTheFewestRunsThatGiveEveryCount) {
  const json config = json::parse(R"({"SpawnDino": {
    "A": {"SpawnInterval": 119}, "B": {"SpawnInterval": 9}, "C": {"SpawnInterval": 29},
    "D": {"SpawnInterval": 1}, "E": {"SpawnInterval": 3}, "F": {"SpawnInterval": 0}}})");
  auto plan = [&](std::vector<std::pair<std::string, int>> lefts, std::int64_t most = 1000) {
    StatusReply reply;
    for (auto& [name, left] : lefts) reply.entries.push_back({"SpawnDino", name, left, {}, {}});
    return PlanCatchUp(reply, config, most);
  };
  // The example day's noon, 178 runs after its reload.
  EXPECT_EQ(plan({{"A", 61}, {"B", 1}, {"C", 1}}).runs, 58);
  EXPECT_TRUE(plan({{"A", 61}, {"B", 1}, {"C", 1}, {"F", 0}}).unmatched.empty());
  EXPECT_EQ(plan({{"A", 119}}).runs, 0);
  EXPECT_EQ(plan({{"A", 61}}, 57).unmatched.size(), 1u);
  const CatchUpPlan odd = plan({{"D", 0}, {"E", 3}, {"B", 10}, {"Z", 1}});
  EXPECT_EQ(odd.runs, 1);
  EXPECT_THAT(odd.unmatched,
              ::testing::ElementsAre(HasSubstr("SpawnDino E: 3 runs left agrees with no"),
                                     HasSubstr("SpawnDino B: 10 runs left is more than"),
                                     HasSubstr("SpawnDino Z: not a countdown entry")));
}

std::vector<json> Lines(const std::string& text) {
  std::vector<json> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(json::parse(line));
  return lines;
}

TEST(RecorderTest, WritesOneStampedObjectPerEventAndCountsForTheSummary) {
  setenv("TZ", "UTC", 1);
  tzset();
  std::ostringstream events, console;
  Recorder recorder(&events, console);
  recorder.SetTime(1709287200);
  recorder.Registration("timer", "Drovekeeper.TimingSpawn", true);
  recorder.Log("error", "L", "boom");
  recorder.SetTime(1709287260);
  recorder.Spawn({"Blueprint'/Game/T/A.A'", 1, -2, 0.1f, 150, {1, 2, 0, 3}, true, std::nullopt});
  recorder.Spawn(
      {"Blueprint'/Game/T/A.A'",
       0,
       0,
       0,
       3,
       {},
       false,
       standin::report::SpawnOwner{standin::report::Table::kClock, "Blueprint'/Game/T/A.A'"}});
  recorder.Notice({"P", "Dion (A) Level:150", {0, 1, 1, 1 / 255.0f}, 1.5f, 10});
  recorder.Rcon("Drovekeeper.reload", std::nullopt);
  recorder.Registration("rcon", "Drovekeeper.reload", false);

  std::vector<json> lines = Lines(events.str());
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(
      lines[0],
      json::parse(
          R"({"time": "2024-03-01 10:00:00", "utc": "2024-03-01T10:00:00Z", "event": "register",
                                      "kind": "timer", "name": "Drovekeeper.TimingSpawn"})"));
  EXPECT_EQ(lines[1]["level"], "error");
  EXPECT_EQ(lines[1]["logger"], "L");
  EXPECT_EQ(lines[2], json::parse(R"({"time": "2024-03-01 10:01:00", "utc": "2024-03-01T10:01:00Z",
      "event": "spawn", "class": "Blueprint'/Game/T/A.A'", "x": 1.0, "y": -2.0, "z": 0.1, "level": 150,
      "level_up_points": [1, 2, 0, 3], "began_play": true})"));
  // An attributed spawn names its table and entry, in the event and on the console.
  EXPECT_EQ(lines[3]["table"], "SpawnDinoX");
  EXPECT_EQ(lines[3]["entry"], "Blueprint'/Game/T/A.A'");
  EXPECT_THAT(console.str(), HasSubstr("spawn   SpawnDinoX[\"Blueprint'/Game/T/A.A'\"] level 3"));
  // Floats are written in their shortest form, not as widened doubles.
  EXPECT_EQ(lines[4]["color"], json::parse("[0.0, 1.0, 1.0, 0.003921569]"));
  EXPECT_EQ(lines[4]["display_time"], 10.0);
  EXPECT_TRUE(lines[5]["reply"].is_null());
  EXPECT_EQ(lines[6]["event"], "unregister");

  EXPECT_EQ(recorder.spawn_count(), 2);
  EXPECT_EQ(recorder.notice_count(), 1);
  EXPECT_EQ(recorder.error_count(), 1);
  recorder.PrintSummary(1709287200, 1709287200 + 3600);
  EXPECT_THAT(console.str(), HasSubstr("(60 minutes)"));
  EXPECT_THAT(console.str(), HasSubstr("    2  Blueprint'/Game/T/A.A'\n"));
  EXPECT_THAT(console.str(), HasSubstr("notices: 1\n"));
  EXPECT_THAT(console.str(), HasSubstr("errors: 1\n"));
  // One console line per event, plus the summary.
  EXPECT_THAT(console.str(), HasSubstr("2024-03-01 10:01:00  notice  to P: Dion (A) Level:150\n"));
}

TEST(RecorderTest, SinkDecodesGbkAndKeepsLoggerAndLevel) {
  std::ostringstream events, console;
  Recorder recorder(&events, console);
  auto sink = std::make_shared<RecorderSink>(recorder);
  std::string gbk = "\xD2\xD1\xBC\xD3\xD4\xD8:{}";  // 已加载:{} in GBK, braces kept
  sink->log(spdlog::details::log_msg("Plovermoor1.3.2", spdlog::level::info, gbk));
  std::vector<json> lines = Lines(events.str());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0]["logger"], "Plovermoor1.3.2");
  EXPECT_EQ(lines[0]["level"], "info");
  EXPECT_EQ(lines[0]["text"], "已加载:{}");
}

TEST(RecorderTest, SinkCountsLinesStampedOffTheSimulatedTime) {
  std::ostringstream events, console;
  Recorder recorder(&events, console);
  recorder.SetTime(1709287200);
  auto sink = std::make_shared<RecorderSink>(recorder, /*check_time=*/true);
  spdlog::details::log_msg on_time("L", spdlog::level::info, "a");
  on_time.time = std::chrono::system_clock::from_time_t(1709287200);
  sink->log(on_time);
  EXPECT_EQ(recorder.error_count(), 0);
  spdlog::details::log_msg late("L", spdlog::level::info, "b");
  late.time = std::chrono::system_clock::from_time_t(1709287201);
  sink->log(late);
  EXPECT_EQ(recorder.error_count(), 1);
  EXPECT_THAT(console.str(), HasSubstr("stamped 2024-03-01 10:00:01, not the simulated time"));
}

TEST(RecorderTest, UndecodableBytesBecomeReplacementCharacters) {
  EXPECT_EQ(GbkToUtf8("a\xFF"
                      "b"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(GbkToUtf8("\xD2"), "\xEF\xBF\xBD");  // cut off mid-character
  EXPECT_EQ(GbkToUtf8(""), "");
}

}  // namespace
}  // namespace standin::sim
