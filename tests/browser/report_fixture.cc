// Writes the preview report of a fixed two-hour span for the browser test,
// and beside it a JSON file of what the page must show: one point per spawn,
// one table row per entry with its counts.
//
//   report_fixture REPORT.html EXPECTED.json
#include <fmt/format.h>

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
using report::GameCall;

constexpr std::int64_t kStart = 1717221600;  // 2024-06-01 06:00:00 UTC
constexpr int kMinutes = 120;

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

json Config() {
  json config;
  config["SpawnDino"][kRaptor] = Entry(9, 50, "-120000 60000 3000", true, "Raptor");
  config["SpawnDino"][kRex] =
      Entry(4, 3, "80000 -40000 3000", false, "Rex <the \"king\"><img src=x onerror=alert(1)>");
  config["SpawnDino"][kDodoTypo] = Entry(29, 5, "0 0 0", false, "Dodo");
  config["SpawnDino"][kAnky] = Entry(14, 5, "1 x 3", false, "Anky");
  config["SpawnDino"][kTitan] = Entry(59, 1, "0 0 0", false, "Titan");
  config["SpawnDinoX"][kDodo] = Entry("6:30", 5, "150000 150000 2000", false, "Dodo");
  return config;
}

bool Due(int minute, int interval) {
  return minute >= interval && (minute - interval) % (interval + 1) == 0;
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

  report::EntryLedger ledger(Config());
  report::ReportInput input;
  input.config_file = "config.json";
  input.world_name = "Fixture island";
  input.time_zone = "UTC";
  input.start = kStart;
  input.end = kStart + kMinutes * 60;
  input.log.push_back({kStart, "info", "已加载:Drovekeeper"});

  // The stand-in's side of the span: which entries reached the game in each
  // minute's run, in the plug-in's order (interval names, then clock names).
  int rexes = 0;
  int raptor_turn = 0;
  bool anky_logged = false;
  for (int second = 0; second < kMinutes * 60; ++second) {
    report::TimerCall call;
    const std::size_t first_of_call = input.spawns.size();
    call.time = kStart + second;
    call.local_hour = 6 + second / 3600;
    call.local_minute = second / 60 % 60;
    call.wild_counts[kRex] = rexes;
    const int minute = second / 60;
    auto spawn = [&](const std::string& name, float x, float y, float z, int level) {
      call.calls.push_back({GameCall::Kind::kClassLoad, name, true});
      call.calls.push_back({GameCall::Kind::kSpawn, name, true});
      input.spawns.push_back({call.time, name, x, y, z, level, {}, {}});
    };
    if (second % 60 == 0) {
      if (Due(minute, 14)) {
        call.calls.push_back({GameCall::Kind::kClassLoad, kAnky, true});
        if (!anky_logged) {
          const std::string line = "SpawnDino[\"" + kAnky + "\"]: invalid stoi argument";
          call.log_lines.push_back(line);
          input.log.push_back({call.time, "error", line});
          anky_logged = true;
        }
      }
      if (Due(minute, 29)) call.calls.push_back({GameCall::Kind::kClassLoad, kDodoTypo, false});
      if (Due(minute, 9)) {
        // One landing in each of the four squares in turn.
        const float dx = (raptor_turn % 2 == 0 ? -1.0f : 1.0f) * (18888 + 1000.0f * raptor_turn);
        const float dy = (raptor_turn / 2 % 2 == 0 ? -1.0f : 1.0f) * (30000 + 500.0f * raptor_turn);
        spawn(kRaptor, -120000 + dx, 60000 + dy, 38000, 150);
        ++raptor_turn;
      }
      if (Due(minute, 4) && rexes < 3) {
        spawn(kRex, 80000, -40000, 3000, 150);
        ++rexes;
      }
      if (minute == 70) rexes = 1;  // two of them were killed
      if (Due(minute, 59)) {
        call.calls.push_back({GameCall::Kind::kClassLoad, kTitan, true});
        call.calls.push_back({GameCall::Kind::kSpawn, kTitan, false});
      }
      if (minute == 30) spawn(kDodo, 150000, 150000, 2000, 150);
    }
    ledger.OnTimerCall(call);
    // Each spawn is drawn by the entry the ledger attributes it to.
    for (std::size_t i = 0; i < ledger.LastSpawns().size(); ++i) {
      if (const auto& owner = ledger.LastSpawns()[i]) {
        input.spawns[first_of_call + i].table = owner->table;
        input.spawns[first_of_call + i].entry = owner->entry;
      }
    }
  }
  input.entries = ledger.Entries();

  std::ofstream html(argv[1]);
  report::WriteReport(input, html);
  html.close();

  json expected;
  expected["spawns"] = json::array();
  for (const report::SpawnPoint& spawn : input.spawns) {
    const report::MapPoint at = report::ToNoticeMap(input.map, spawn.x, spawn.y);
    expected["spawns"].push_back({{"entry", spawn.class_path},
                                  {"level", spawn.level},
                                  {"lat", AsPrinted(at.lat)},
                                  {"lon", AsPrinted(at.lon)}});
  }
  expected["entries"] = json::array();
  for (const report::EntryRecord& entry : input.entries) {
    expected["entries"].push_back({{"table", std::string(report::TableName(entry.table))},
                                   {"entry", entry.name},
                                   {"fell_due", entry.fell_due},
                                   {"spawned", entry.spawned},
                                   {"held_by_cap", entry.held_by_cap},
                                   {"class_unknown", entry.class_unknown},
                                   {"spawn_refused", entry.spawn_refused},
                                   {"failed", entry.failed}});
  }
  std::ofstream(argv[2]) << expected.dump(2) << "\n";
  return html ? 0 : 1;
}
