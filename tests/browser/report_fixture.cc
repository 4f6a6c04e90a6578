// Writes the preview report of a fixed week for the browser test, and beside
// it a JSON file of what the page must show: the spawns, one table row per
// entry with its counts, and per class its population chart's cap lines.
//
// The week has both tables, one class in both (Rex), reloads that change
// caps, a refused reload, kills that let capped entries spawn again, and a
// position off the map.
//
//   report_fixture REPORT.html EXPECTED.json
#include <fmt/format.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "standin/report/ledger.h"
#include "standin/report/report.h"
#include "tests/support/config_entry.h"

namespace {

using nlohmann::json;
using standin::report::GameCall;
using standin::report::Table;

constexpr std::int64_t kStart = 1717221600;  // 2024-06-01 06:00:00 UTC
constexpr int kMinutes = 7 * 1440;
// Minutes after the start: reloads taken, and a refused one after an edit.
constexpr int kFirstReload = 1800;  // 06-02 12:00: Rex cap 3 to 6, Raptor 50 to 40
constexpr int kEdit = 4500;         // 06-04 09:00
constexpr int kSecondReload = 6840;

const std::string kAnky = "Blueprint'/Game/Dinos/Anky/Anky.Anky'";
const std::string kDodo = "Blueprint'/Game/Dinos/Dodo/Dodo.Dodo'";
const std::string kDodoTypo = "Blueprint'/Game/Dinos/Dodo/Dodoo.Dodoo'";
const std::string kRaptor = "Blueprint'/Game/Dinos/Raptor/Raptor.Raptor'";
const std::string kRex = "Blueprint'/Game/Dinos/Rex/Rex.Rex'";
const std::string kTitan = "Blueprint'/Game/Dinos/Titan/Titan.Titan'";

json Entry(json interval, int world_maximum, std::string position, bool random, std::string name) {
  return ConfigEntry(interval)
      .Cap(world_maximum)
      .Position(position, random)
      .Level(150, true)
      .Notice()
      .Name(name);
}

json Config(bool reloaded) {
  json config;
  config["SpawnDino"][kRaptor] = Entry(9, reloaded ? 40 : 50, "-120000 60000 3000", true, "Raptor");
  config["SpawnDino"][kRex] = Entry(4, reloaded ? 6 : 3, "80000 -40000 3000", false,
                                    "Rex <the \"king\"><img src=x onerror=alert(1)>");
  config["SpawnDino"][kDodoTypo] = Entry(29, 5, "0 0 0", false, "Dodo");
  config["SpawnDino"][kAnky] = Entry(14, 5, "1 x 3", false, "Anky");
  config["SpawnDino"][kTitan] = Entry(59, 1, "0 0 0", false, "Titan");
  config["SpawnDinoX"][kDodo] = Entry("6:30", 5, "150000 150000 2000", false, "Dodo");
  config["SpawnDinoX"][kRex] = Entry("18:0", 4, "900000 -40000 3000", false, "Evening rex");
  return config;
}

// Countdown entries fall due `interval` runs after the last (re)load, then
// every interval + 1.
bool Due(int runs, int interval) {
  return runs >= interval && (runs - interval) % (interval + 1) == 0;
}

int LastLoad(int minute) {
  return minute >= kSecondReload ? kSecondReload : minute >= kFirstReload ? kFirstReload : 0;
}

// A map coordinate as the page and the notices print it: six significant
// digits of the float's value.
double AsPrinted(float value) { return std::stod(fmt::format("{:g}", static_cast<double>(value))); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: report_fixture REPORT.html EXPECTED.json\n";
    return 2;
  }
  setenv("TZ", "UTC", 1);

  standin::report::EntryLedger ledger(Config(false));
  standin::report::ReportInput input;
  input.config_file = "config.json";
  input.world_name = "Fixture island";
  input.time_zone = "UTC";
  input.start = kStart;
  input.end = kStart + kMinutes * 60;
  input.log.push_back({kStart, "info", "已加载:Drovekeeper"});
  input.config_changes = {
      {kStart + kFirstReload * 60 - 30, true, "reload: caps of Rex 3 to 6, Raptor 50 to 40"},
      {kStart + kEdit * 60 - 40, false, "config.json changed"},
      {kStart + kEdit * 60 - 20, false,
       "reload refused: [json.exception.parse_error.101] syntax error"},
      {kStart + kSecondReload * 60 - 30, true, "reload: no change"}};
  input.log.push_back({kStart + kEdit * 60 - 20, "error",
                       "[json.exception.parse_error.101] parse error at line 4, column 3: "
                       "syntax error"});

  const std::vector<std::pair<Table, std::string>> entries = {
      {Table::kCountdown, kAnky}, {Table::kCountdown, kDodoTypo}, {Table::kCountdown, kRaptor},
      {Table::kCountdown, kRex},  {Table::kCountdown, kTitan},    {Table::kClock, kDodo},
      {Table::kClock, kRex}};
  const json first = Config(false);
  const json reloaded = Config(true);
  auto cap_of = [](const json& config, Table table, const std::string& name) {
    return config[standin::report::TableName(table)][name]["Worldmaximum"].get<int>();
  };
  for (const auto& [table, name] : entries) {
    input.caps.push_back({table, name, name, {{kStart, cap_of(first, table, name)}}});
  }
  auto caps_at_reload = [&](std::int64_t time) {
    for (standin::report::EntryCap& cap : input.caps) {
      cap.caps.push_back({time, cap_of(reloaded, cap.table, cap.entry)});
    }
  };

  // The stand-in's side of the week: the wild counts before each run, and
  // which entries reached the game in it, in the plug-in's order (countdown
  // names, then clock names, each in byte order).
  std::map<std::string, int> wild = {{kRex, 0}, {kRaptor, 0}, {kDodo, 0}, {kTitan, 0}};
  for (const auto& [reference, count] : wild) input.population.push_back({reference, {}});
  std::uint64_t landing = 1;
  bool anky_logged = false;
  for (int minute = 0; minute < kMinutes; ++minute) {
    if (minute == kFirstReload || minute == kSecondReload) {
      ledger.OnReload(reloaded);
      caps_at_reload(kStart + minute * 60 - 30);
      anky_logged = false;
    }
    // Kills: two rexes every six hours, 25 raptors at 14:00, three dodos on
    // the sixth morning.
    if (minute % 360 == 180) wild[kRex] = std::max(0, wild[kRex] - 2);
    if (minute % 1440 == 480) wild[kRaptor] = std::max(0, wild[kRaptor] - 25);
    if (minute == 5 * 1440) wild[kDodo] = std::max(0, wild[kDodo] - 3);

    standin::report::TimerCall call;
    call.time = kStart + minute * 60;
    call.local_hour = (6 + minute / 60) % 24;
    call.local_minute = minute % 60;
    for (standin::report::ClassPopulation& population : input.population) {
      const int count = wild[population.reference];
      if (population.samples.empty() || population.samples.back().count != count) {
        population.samples.push_back({call.time, count});
      }
      call.wild_counts[population.reference] = count;
    }
    const json& config = LastLoad(minute) > 0 ? reloaded : first;
    std::map<std::string, int> spawned_now;
    auto spawn = [&](Table table, const std::string& name, float x, float y, float z) {
      if (wild[name] + spawned_now[name] >= cap_of(config, table, name)) return;
      call.calls.push_back({GameCall::Kind::kClassLoad, name, true});
      call.calls.push_back({GameCall::Kind::kSpawn, name, true});
      input.spawns.push_back({call.time, name, x, y, z, 150, table, name});
      ++spawned_now[name];
    };
    const int runs = minute - LastLoad(minute);
    if (Due(runs, 14)) {
      call.calls.push_back({GameCall::Kind::kClassLoad, kAnky, true});
      if (!anky_logged) {
        const std::string line = "SpawnDino[\"" + kAnky + "\"]: invalid stoi argument";
        call.log_lines.push_back(line);
        input.log.push_back({call.time, "error", line});
        anky_logged = true;
      }
    }
    if (Due(runs, 29)) call.calls.push_back({GameCall::Kind::kClassLoad, kDodoTypo, false});
    if (Due(runs, 9)) {
      // Anywhere in the four squares around the base.
      auto offset = [&] {
        landing = landing * 6364136223846793005u + 1442695040888963407u;
        const float distance = 18888.0f + static_cast<float>(landing >> 33 & 0x7FFF);
        return (landing >> 63) != 0 ? distance : -distance;
      };
      const float dx = offset();
      const float dy = offset();
      spawn(Table::kCountdown, kRaptor, -120000 + dx, 60000 + dy, 38000);
    }
    if (Due(runs, 4)) spawn(Table::kCountdown, kRex, 80000, -40000, 3000);
    if (Due(runs, 59)) {
      call.calls.push_back({GameCall::Kind::kClassLoad, kTitan, true});
      call.calls.push_back({GameCall::Kind::kSpawn, kTitan, false});
    }
    if (call.local_hour == 6 && call.local_minute == 30) {
      spawn(Table::kClock, kDodo, 150000, 150000, 2000);
    }
    if (call.local_hour == 18 && call.local_minute == 0) {
      spawn(Table::kClock, kRex, 900000, -40000, 3000);
    }
    for (const auto& [name, count] : spawned_now) wild[name] += count;
    ledger.OnTimerCall(call);
  }
  input.entries = ledger.Entries();
  // When each falls due next: countdowns go on from the last reload; the
  // clock entries at their next 06:30 and 18:00 after the end (06:00).
  for (standin::report::EntryRecord& entry : input.entries) {
    if (entry.table == Table::kClock) {
      entry.next_due = input.end + (entry.name == kDodo ? 30 * 60 : 12 * 3600);
      continue;
    }
    const int interval = reloaded["SpawnDino"][entry.name]["SpawnInterval"].get<int>();
    int minute = kMinutes;
    while (!Due(minute - kSecondReload, interval)) ++minute;
    entry.next_due = kStart + std::int64_t{minute} * 60;
  }

  std::ofstream html(argv[1]);
  standin::report::WriteReport(input, html);
  html.close();

  json expected;
  expected["spawns"] = json::array();
  for (const standin::report::SpawnPoint& spawn : input.spawns) {
    const standin::report::MapPoint at = standin::report::ToNoticeMap(input.map, spawn.x, spawn.y);
    expected["spawns"].push_back({{"table", std::string(standin::report::TableName(spawn.table))},
                                  {"entry", spawn.entry},
                                  {"lat", AsPrinted(at.lat)},
                                  {"lon", AsPrinted(at.lon)}});
  }
  expected["entries"] = json::array();
  for (const standin::report::EntryRecord& entry : input.entries) {
    expected["entries"].push_back({{"table", std::string(standin::report::TableName(entry.table))},
                                   {"entry", entry.name},
                                   {"fell_due", entry.fell_due},
                                   {"spawned", entry.spawned},
                                   {"held_by_cap", entry.held_by_cap},
                                   {"class_unknown", entry.class_unknown},
                                   {"spawn_refused", entry.spawn_refused},
                                   {"failed", entry.failed}});
  }
  expected["caps"] = json::array();
  for (const standin::report::EntryCap& cap : input.caps) {
    std::string values;
    for (const standin::report::CapChange& change : cap.caps) {
      values += (values.empty() ? "" : ",") + std::to_string(change.cap);
    }
    expected["caps"].push_back({{"class", cap.reference},
                                {"table", std::string(standin::report::TableName(cap.table))},
                                {"entry", cap.entry},
                                {"caps", values}});
  }
  std::ofstream(argv[2]) << expected.dump(2) << "\n";
  return html ? 0 : 1;
}
