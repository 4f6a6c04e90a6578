// Every kind of consequence the checker states, held against what the
// plug-in then does with that file in drovekeeper-sim: for each kind a small
// configuration whose findings include it, run as a process, and the
// per-entry summary events that must follow from it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "check/check.h"
#include "tests/e2e/sim_process.h"
#include "tests/support/config_entry.h"
#include "tools/check/upcoming.h"
#include "tools/check/zone_changes.h"

namespace e2e {
namespace {

using drovekeeper::check_tool::DueTurn;
using drovekeeper::check_tool::InstantOfLocal;
using drovekeeper::check_tool::LocalDateTime;
using drovekeeper::check_tool::LocalTimes;
using drovekeeper::check_tool::UpcomingTurns;
using nlohmann::json;

constexpr char kEntry[] = "Blueprint'/Game/T/A.A'";
constexpr char kOther[] = "Blueprint'/Game/T/B.B'";
constexpr char kSpawnDino[] = "SpawnDino";

std::string OneEntry(const ConfigEntry& entry, const std::string& table = kSpawnDino,
                     const std::string& name = kEntry) {
  return json{{table, {{name, json(entry)}}}}.dump(2);
}

// Three wild creatures of A stand in the level from the start.
constexpr char kWorld[] = R"({
  "world_settings": {"LatitudeScale": 0, "LongitudeScale": 0,
                     "LatitudeOrigin": 0, "LongitudeOrigin": 0},
  "classes": [{"reference": "/Game/T/A.A_C", "creature": true}],
  "actors": [{"class": "/Game/T/A.A_C", "team": 0, "count": 3}],
  "players": []
})";

struct SimRun {
  SimResult result;
  std::map<std::string, json> summaries;  // by entry name

  const json& Of(const std::string& entry) const {
    static const json kNone = json::object();
    const auto it = summaries.find(entry);
    return it == summaries.end() ? kNone : it->second;
  }
  std::vector<json> Spawns() const { return result.Of("spawn"); }
  bool TimerRegistered() const {
    for (const json& event : result.Of("register")) {
      if (event.at("kind") == "timer") return true;
    }
    return false;
  }
};

struct ConsequenceCase {
  drovekeeper::check::Consequence kind;
  std::string text;
  int minutes;
  std::function<void(const SimRun&)> expect;
  std::string start = "2024-03-01 01:00:00";
  drovekeeper::check::ZoneChanges zone = {};  // also given to the simulator as --tz
};

// Wall-clock seconds of a local day and time.
std::int64_t Local(std::chrono::year_month_day day, int hour) {
  return std::int64_t{std::chrono::sys_days{day}.time_since_epoch().count()} * 86400 + hour * 3600;
}

// `config` run for `minutes` in the world above, from `start`, in `zone` when given.
SimRun RunConfig(const std::string& config, int minutes,
                 const std::string& start = "2024-03-01 01:00:00", const std::string& zone = "") {
  ScratchDir dir;
  std::vector<std::string> args = {"--config",  dir.Write("config.json", config),
                                   "--world",   dir.Write("world.json", kWorld),
                                   "--start",   start,
                                   "--minutes", std::to_string(minutes)};
  if (!zone.empty()) args.insert(args.end(), {"--tz", zone});
  SimRun run{RunSim(args, dir.path()), {}};
  EXPECT_EQ(run.result.exit_code, 0) << run.result.err;
  for (const json& summary : run.result.Of("summary")) {
    run.summaries[summary.at("entry").get<std::string>()] = summary;
  }
  return run;
}

// An entry that fell due `turns` times and met `outcome` every time.
void EveryTurn(const SimRun& run, const std::string& outcome, int turns,
               const std::string& entry = kEntry) {
  const json& summary = run.Of(entry);
  EXPECT_EQ(summary.value("fell_due", -1), turns) << summary.dump();
  EXPECT_EQ(summary.value(outcome, -1), turns) << summary.dump();
}

std::vector<ConsequenceCase> Cases() {
  const ConfigEntry entry = ConfigEntry(0).Level(5, true);
  const std::string twice_capped = [&] {
    std::string text = OneEntry(entry);
    const std::string opening = std::string(kEntry) + "\": {";
    return text.insert(text.find(opening) + opening.size(), "\"Worldmaximum\": 0, ");
  }();
  return {
      {drovekeeper::check::Consequence::kRejectsFile, OneEntry(ConfigEntry("5")), 3,
       [](const SimRun& run) {
         EXPECT_FALSE(run.TimerRegistered());
         EXPECT_TRUE(run.summaries.empty());
       }},
      {drovekeeper::check::Consequence::kNeverSpawns,
       OneEntry(ConfigEntry(entry).Position("1 x 3")), 5,
       [](const SimRun& run) { EveryTurn(run, "failed", 5); }},
      {drovekeeper::check::Consequence::kNeverFires, OneEntry(ConfigEntry("01:02"), "SpawnDinoX"),
       5, [](const SimRun& run) { EveryTurn(run, "spawned", 0); }},
      {drovekeeper::check::Consequence::kAlwaysCapped, OneEntry(ConfigEntry(0).Cap(0)), 5,
       [](const SimRun& run) { EveryTurn(run, "held_by_cap", 5); }},
      {drovekeeper::check::Consequence::kClassNeverLoads,
       OneEntry(entry, kSpawnDino, "Blueprint'/Game/T/\xC3\x84.A'"), 5,
       [](const SimRun& run) {
         EveryTurn(run, "class_unknown", 5, "Blueprint'/Game/T/\xC3\x84.A'");
       }},
      {drovekeeper::check::Consequence::kNameNeverLoads,
       OneEntry(entry, kSpawnDino, "blueprint'/Game/T/A.A'"), 3,
       [](const SimRun& run) { EveryTurn(run, "class_unknown", 3, "blueprint'/Game/T/A.A'"); }},
      // Three wild creatures stand above the cap of 1, yet every turn spawns.
      {drovekeeper::check::Consequence::kNeverCapped,
       OneEntry(ConfigEntry(0).Cap(1), kSpawnDino, "/Game/T/A.A"), 5,
       [](const SimRun& run) { EveryTurn(run, "spawned", 5, "/Game/T/A.A"); }},
      {drovekeeper::check::Consequence::kSpawnsAtOrigin,
       OneEntry(ConfigEntry(entry).Position("100 200")), 3,
       [](const SimRun& run) {
         EveryTurn(run, "spawned", 3);
         for (const json& spawn : run.Spawns()) {
           EXPECT_EQ(spawn.at("x"), 0.0);
           EXPECT_EQ(spawn.at("y"), 0.0);
           EXPECT_EQ(spawn.at("z"), 0.0);
         }
       }},
      // Read as 2, so due at minutes 2, 5 and 8.
      {drovekeeper::check::Consequence::kReadAsWholeNumber, OneEntry(ConfigEntry(2.9)), 9,
       [](const SimRun& run) { EveryTurn(run, "spawned", 3); }},
      {drovekeeper::check::Consequence::kNeverRead,
       json{{"Comment", "x"}, {kSpawnDino, {{kEntry, json(ConfigEntry(entry).Set("Colour", 3))}}}}
           .dump(),
       3, [](const SimRun& run) { EveryTurn(run, "spawned", 3); }},
      {drovekeeper::check::Consequence::kTableHasNoEntries,
       json{{"SpawnDinox", {{kEntry, json(entry)}}}}.dump(), 3,
       [](const SimRun& run) {
         EXPECT_TRUE(run.TimerRegistered());
         EXPECT_TRUE(run.summaries.empty());
       }},
      {drovekeeper::check::Consequence::kOnlyLastRead, twice_capped, 3,
       [](const SimRun& run) { EveryTurn(run, "spawned", 3); }},
      {drovekeeper::check::Consequence::kSeparateEntries,
       json{{kSpawnDino, {{kEntry, json(entry)}, {"Blueprint'/Game/t/A.A'", json(entry)}}}}.dump(),
       3,
       [](const SimRun& run) {
         EveryTurn(run, "spawned", 3);
         EXPECT_EQ(run.Of("Blueprint'/Game/t/A.A'").value("fell_due", -1), 3);
       }},
      // Due at minutes 4, 9 and 14.
      {drovekeeper::check::Consequence::kFallsDueOneLater, OneEntry(ConfigEntry(4)), 15,
       [](const SimRun& run) { EveryTurn(run, "spawned", 3); }},
      {drovekeeper::check::Consequence::kHeightIsFixed,
       OneEntry(ConfigEntry(entry).Position("0 0 500", true)), 3,
       [](const SimRun& run) {
         EveryTurn(run, "spawned", 3);
         for (const json& spawn : run.Spawns()) EXPECT_EQ(spawn.at("z"), 38000.0);
       }},
      {drovekeeper::check::Consequence::kGameChoosesLevel,
       OneEntry(ConfigEntry(0).Level(987654, false)), 3,
       [](const SimRun& run) {
         EveryTurn(run, "spawned", 3);
         for (const json& spawn : run.Spawns()) EXPECT_NE(spawn.at("level"), 987654);
       }},
      // Europe/Berlin skips 02:00 to 03:00 on 2024-03-31; 3:30 comes once.
      // The hour it repeats in autumn is held by the simulator's own test.
      {drovekeeper::check::Consequence::kOnceOnOtherDays,
       json{{"SpawnDinoX",
             {{kEntry, json(ConfigEntry("2:30"))}, {kOther, json(ConfigEntry("3:30"))}}}}
           .dump(),
       240,
       [](const SimRun& run) {
         EveryTurn(run, "spawned", 0);
         EXPECT_EQ(run.Of(kOther).value("fell_due", -1), 1);
       },
       "2024-03-31 01:00:00",
       {"Europe/Berlin",
        {{Local(std::chrono::year{2024} / 3 / 31, 2),
          Local(std::chrono::year{2024} / 3 / 31, 3)}}}},
  };
}

TEST(ConsequenceE2eTest, EveryConsequenceIsWhatTheSimulatorShows) {
  std::set<drovekeeper::check::Consequence> covered;
  for (const ConsequenceCase& c : Cases()) {
    SCOPED_TRACE(std::string(drovekeeper::check::ConsequenceText(c.kind)) + "\n" + c.text);
    covered.insert(c.kind);
    bool stated = false;
    for (const drovekeeper::check::ConfigFinding& finding :
         CheckConfigText(c.text, drovekeeper::check::CheckNotes::kInclude, c.zone)) {
      stated = stated || finding.consequence == c.kind;
    }
    EXPECT_TRUE(stated);
    c.expect(RunConfig(c.text, c.minutes, c.start, c.zone.zone));
  }
  // Every kind but the checker's own failure has its case.
  EXPECT_EQ(covered.size(), static_cast<std::size_t>(drovekeeper::check::kConsequenceCount - 1));
  EXPECT_FALSE(covered.contains(drovekeeper::check::Consequence::kCheckerFailed));
}

// --upcoming lists the turns the simulator then takes, caps aside, over the
// night Europe/Berlin goes back from 03:00 to 02:00: the clock entry's 2:30
// comes twice, and the countdown counts runs, not wall-clock minutes.
TEST(ConsequenceE2eTest, UpcomingListsTheTurnsTheSimulatorTakes) {
  const std::string config = json{{kSpawnDino, {{kEntry, json(ConfigEntry(44).Cap(1000))}}},
                                  {"SpawnDinoX", {{kEntry, json(ConfigEntry("2:30").Cap(1000))}}}}
                                 .dump();
  const std::string zone = "Europe/Berlin";
  const std::int64_t from =
      InstantOfLocal(zone, Local(std::chrono::year{2024} / 10 / 27, 1) + 50 * 60);
  std::vector<std::string> listed;
  for (const DueTurn& turn :
       UpcomingTurns(json::parse(config), from, LocalTimes(zone, from, 60, 120))) {
    listed.push_back(LocalDateTime(turn.at) + " " + turn.table);
  }
  EXPECT_EQ(listed.size(), 4u);
  const SimRun run = RunConfig(config, 120, "2024-10-27 01:50:00", zone);
  std::vector<std::string> taken;
  for (const json& spawn : run.Spawns()) {
    std::string utc = spawn.at("utc").get<std::string>().substr(0, 16);
    utc[10] = ' ';
    taken.push_back(utc + " " + spawn.at("table").get<std::string>());
  }
  EXPECT_EQ(taken, listed);
}

// Every form of name the checker tells apart, in one run over three wild
// creatures of A and a cap of 1: what it says of the name is what the game's
// loader and the cap make of it.
TEST(ConsequenceE2eTest, NamesLoadAndCountAsTheCheckerSays) {
  const std::vector<std::string> names = {kEntry,
                                          "/Game/T/A.A",
                                          "/Game/T/A.A_C",
                                          "Blueprint'/Game/T/A.A_C'",
                                          "blueprint'/Game/T/A.A'",
                                          "BLUEPRINT'/Game/T/A.A'",
                                          "Blueprint'/Game/T/A.A",
                                          "\"Blueprint'/Game/T/A.A'\"",
                                          "Blueprint\"/Game/T/A.A\"",
                                          "\"/Game/T/A.A\"",
                                          " Blueprint'/Game/T/A.A'",
                                          "Blueprint'/Game/T/A.A' ",
                                          "Blueprint' /Game/T/A.A'",
                                          "/Game/T/A.A ",
                                          "/Game/T/A.A'",
                                          "'/Game/T/A.A'",
                                          "BlueprintGeneratedClass'/Game/T/A.A_C'"};
  json table = json::object();
  for (const std::string& name : names) table[name] = json(ConfigEntry(0).Cap(1));
  const std::string config = json{{kSpawnDino, table}}.dump(2);
  const std::vector<drovekeeper::check::ConfigFinding> findings =
      drovekeeper::check::CheckConfigText(config);
  const SimRun run = RunConfig(config, 3);
  std::set<std::string> seen;
  for (const std::string& name : names) {
    std::string said = "counted by the cap";
    for (const drovekeeper::check::ConfigFinding& finding : findings) {
      if (finding.entry != name) continue;
      if (finding.consequence == drovekeeper::check::Consequence::kNameNeverLoads)
        said = "class_unknown";
      if (finding.consequence == drovekeeper::check::Consequence::kNeverCapped) said = "spawned";
    }
    const json& summary = run.Of(name);
    std::string shown = summary.value("held_by_cap", 0) == 3 ? "counted by the cap" : "";
    for (const char* outcome : {"class_unknown", "spawned"})
      if (summary.value(outcome, 0) == 3) shown = outcome;
    EXPECT_EQ(said, shown) << "[" << name << "] " << summary.dump();
    seen.insert(shown);
  }
  EXPECT_EQ(seen.size(), 3u);
}

}  // namespace
}  // namespace e2e
