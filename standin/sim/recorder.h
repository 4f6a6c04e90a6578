// What the simulator reports: every event as one JSON line (when an events
// stream is given), a human line per event on the console, and a summary at
// exit. Also the log sink the simulator adds to the host's sinks. Used by the
// simulator only; calls from any thread are serialised.
#pragma once

#include <spdlog/sinks/base_sink.h>

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "standin/host/host.h"
#include "standin/report/ledger.h"
#include "standin/sim/clock.h"

namespace standin::sim {

struct SpawnEvent {
  std::string class_path;  // as handed to the class loader, UTF-8
  float x = 0;
  float y = 0;
  float z = 0;
  std::int32_t level = 0;
  std::vector<int> level_up_points;  // by status index
  bool began_play = false;
  std::optional<report::SpawnOwner> owner;  // the entry, when the ledger can tell
};

struct NoticeEvent {
  std::string player;
  std::string text;  // UTF-8
  std::array<float, 4> color{};
  float scale = 0;
  float display_time = 0;
};

class Recorder {
 public:
  // `events` may be null (no events file); `console` takes the human lines.
  Recorder(std::ostream* events, std::ostream& console);

  // Simulated local time stamped on the events that follow.
  void SetTime(std::int64_t seconds);
  std::int64_t time() const;

  // `text` is UTF-8.
  void Log(std::string_view level, std::string_view logger, std::string_view text);
  // `was_registered` false: a removal of a name that was not registered.
  void Registration(std::string_view kind, std::string_view name, bool added,
                    bool was_registered = true);
  void Spawn(const SpawnEvent& spawn);
  void Notice(const NoticeEvent& notice);
  void Rcon(std::string_view command, const std::optional<std::string>& reply);
  // The local clock went forward or back: a "clock_change" event and a
  // console line naming both readings.
  void ClockChanged(const OffsetChange& change);
  // A console-only line about the simulator itself (script steps, start, stop).
  void Note(std::string_view text);
  // An error outside the plug-in's log (a callback that threw); counted.
  void Error(std::string_view text);

  // The run stopped before the span it was asked for (`by`: "SIGINT",
  // "SIGTERM"...): an "interrupted" event and a console line, at the time
  // the run reached.
  void Interrupted(std::string_view by, std::int64_t from, std::int64_t planned_end);
  // Spawns per class, notices, errors; `from` and `to` bound the run.
  void PrintSummary(std::int64_t from, std::int64_t to);
  // One "summary" event per entry and an aligned table on the console, so
  // every run shows why an entry did or did not spawn.
  void EntrySummary(const std::vector<report::EntryRecord>& entries);

  int spawn_count() const;
  int notice_count() const;
  int error_count() const;

 private:
  void Emit(std::string_view event, nlohmann::ordered_json fields);
  void Say(std::string_view text);
  // Brings the stamps up to the recorder's time.
  void Stamp();

  mutable std::mutex mutex_;
  std::ostream* events_;
  std::ostream& console_;
  std::int64_t time_ = 0;
  std::string stamp_;                    // local
  std::string utc_stamp_;                // the same moment in UTC, which no clock change repeats
  std::optional<std::int64_t> stamped_;  // the time the stamps show
  std::map<std::string, int> spawns_by_class_;
  int notices_ = 0;
  int errors_ = 0;
};

// Turns the plug-in's log lines (GBK bytes) into Recorder::Log calls.
class RecorderSink final : public spdlog::sinks::base_sink<std::mutex> {
 public:
  // `check_time`: a line stamped other than the recorder's time counts as an
  // error (the clock the logger reads is meant to follow the simulation).
  explicit RecorderSink(Recorder& recorder, bool check_time = false)
      : recorder_(recorder), check_time_(check_time) {}

 protected:
  void sink_it_(const spdlog::details::log_msg& message) override;
  void flush_() override {}

 private:
  Recorder& recorder_;
  bool check_time_;
};

using host::GbkToUtf8;

}  // namespace standin::sim
