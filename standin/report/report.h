// The preview report: one self-contained HTML page (inline SVG, CSS and a
// little script; nothing fetched) showing a simulated span: the header facts,
// a map of every spawn, a timeline per entry, a population chart per class
// against its entries' caps, a table per entry, and the plug-in's log. Every
// entry is told apart by its table and name, never by its class alone.
// Called by the simulator at the end of a run and by the report tests.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "standin/model/map.h"
#include "standin/report/ledger.h"

namespace standin::report {

// The map formula and the world settings' map members are the model's.
using model::MapPoint;
using model::ToMap;
using model::ToNoticeMap;

struct SpawnPoint {
  std::int64_t time = 0;   // seconds since the epoch
  std::string class_path;  // as handed to the class loader
  float x = 0;
  float y = 0;
  float z = 0;
  std::int32_t level = 0;
  Table table = Table::kCountdown;
  // Empty when unattributed; braced, so that an initialiser may leave it out.
  std::string entry{};
};

// Wild creatures of one class just before a timer run; a sample only when
// the count changed.
struct PopulationSample {
  std::int64_t time;
  int count;
};
struct ClassPopulation {
  std::string reference;  // "Blueprint'/P/A.A'"
  std::vector<PopulationSample> samples;
};

// The cap in force from `time` on.
struct CapChange {
  std::int64_t time;
  std::int32_t cap;
};
struct EntryCap {
  Table table;
  std::string entry;
  std::string reference;
  std::vector<CapChange> caps;
};

// Reloads (taken or refused) and file changes.
struct ConfigChange {
  std::int64_t time;
  bool taken;
  std::string what;
};

// The local clock going forward or back, and the clock entries naming a
// minute it skips or shows twice.
struct ClockShiftedEntry {
  std::string entry;
  std::string clock_text;  // "2:30"
};
struct ClockChangeMark {
  std::int64_t time = 0;  // the first second on the new offset
  bool forward = false;
  std::int64_t shift = 0;  // seconds the clocks move
  std::string what;        // "clocks go back: 03:00 CEST is 02:00 CET"
  std::vector<ClockShiftedEntry> entries{};
};

struct LogLine {
  std::int64_t time = 0;
  std::string level;  // "info", "error"
  std::string text;   // UTF-8
};

struct ReportInput {
  std::string config_file;  // the configuration's file name
  std::string world_name;
  std::string time_zone;
  // The status reply a preview started from: its file, server time and the
  // file the server ran; empty for a run from the configuration's start.
  std::string started_from;
  std::int64_t start = 0;  // the simulated span, seconds since the epoch
  std::int64_t end = 0;
  bool interrupted = false;  // the run stopped at `end`, before the span it was asked for
  model::WorldSettings map;
  std::vector<EntryRecord> entries;  // from EntryLedger::Entries()
  std::vector<SpawnPoint> spawns;
  std::vector<LogLine> log;
  std::vector<ClassPopulation> population;
  std::vector<EntryCap> caps;
  std::vector<ConfigChange> config_changes;
  std::vector<ClockChangeMark> clock_changes;
};

// Times are shown in the process's local time zone.
void WriteReport(const ReportInput& input, std::ostream& out);

// Text made safe for HTML element content and quoted attribute values.
std::string EscapeHtml(std::string_view text);

}  // namespace standin::report
