// Keeps the per-entry ledger of a simulator run (every run has one) and, when
// a preview report is wanted, what the report shows besides: watches the class
// loads and spawns the plug-in asks of the game, its log lines, the wild
// population before each timer call, the caps in force, and the reloads and
// file changes. Attributes each spawn to its entry. Used by the simulator
// only, on its game thread.
#pragma once

#include <spdlog/common.h>

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "standin/report/ledger.h"
#include "standin/report/report.h"
#include "standin/sim/clock.h"
#include "standin/sim/inputs.h"
#include "standin/sim/recorder.h"

namespace standin::game {
class World;
}

namespace standin::sim {

class ReportFeed {
 public:
  // `config_name` and `world_name` head the report. Without `for_report` the
  // log lines, spawns and per-turn outcomes are not kept: only the ledger's
  // counters, which stay the same size however long the run. `wall_clock`:
  // the plug-in reads the running wall clock, not one held on the simulated
  // second.
  ReportFeed(const WorldSpec& world, std::string config_name, std::string world_name,
             bool for_report, bool wall_clock = false);
  ~ReportFeed();
  ReportFeed(const ReportFeed&) = delete;
  ReportFeed& operator=(const ReportFeed&) = delete;

  // A sink to add to the host's sinks before the plug-in loads.
  spdlog::sink_ptr sink() const { return sink_; }
  // Wraps the game's class loader and spawn in the name table; call after
  // the world is installed.
  void WatchGameCalls();

  // After the module's Load: the ledger starts from `config_path` when the
  // plug-in registered its timer.
  void AfterLoad(const std::string& config_path);
  // The runs the plug-in made before the start (EntryLedger::CatchUp).
  void CatchUp(std::int64_t runs, std::int64_t last_run);
  // The status reply the run started from, for the report's header.
  void StartedFrom(std::string what) { input_.started_from = std::move(what); }
  // Simulated time, stamped on what follows.
  void SetTime(std::int64_t now) { call_.time = now; }
  void BeforeTimerCall(const game::World& world);
  void AfterTimerCall();
  // After the timer callbacks returned: the entry of the next spawn the game
  // reports, in order; nullopt when the ledger could not tell.
  std::optional<report::SpawnOwner> TakeSpawnOwner();
  void AfterRcon(const std::string& command, const std::optional<std::string>& reply,
                 const std::string& config_path);
  // The script replaced or removed the configuration file.
  void ConfigFileChanged(std::string what);
  // The local clock went forward or back: the report marks it and names the
  // clock entries of the configuration in force whose minute it skips or
  // repeats.
  void ClockChanged(const OffsetChange& change);
  void Spawned(const SpawnEvent& spawn);

  // The ledger's entries; empty when the plug-in never registered its timer.
  std::vector<report::EntryRecord> Entries() const;

  // Empty on success, else the reason. Only with `for_report`. `interrupted`:
  // the run stopped at `end`, before the span it was asked for.
  std::string Write(const std::string& path, std::int64_t start, std::int64_t end,
                    bool interrupted = false) const;

 private:
  class Sink;
  using EntryKey = std::pair<report::Table, std::string>;

  // Hands the timer call to the ledger, once.
  void Attribute();
  // Samples the population and takes the wild counts for the calls to come.
  void CountWild(const game::World& world);
  void SamplePopulation(const std::string& reference, int count);
  void RecordCaps();

  bool for_report_;
  bool wall_clock_;
  report::ReportInput input_;
  spdlog::sink_ptr sink_;
  std::optional<report::EntryLedger> ledger_;
  report::TimerCall call_;
  std::vector<std::string> class_references_;  // the world's creature classes
  // The world's census the wild counts were taken at. Counting again on every
  // call only when two creature classes share a blueprint reference, where
  // the samples each call takes depend on the order of the classes.
  std::optional<std::uint64_t> counted_at_;
  bool count_every_call_ = false;
  bool call_pending_ = false;  // a timer call not yet handed to the ledger
  std::deque<std::optional<report::SpawnOwner>> spawn_owners_;  // of the last call
  // Where each class and entry stands in input_.population and input_.caps.
  std::map<std::string, std::size_t, std::less<>> population_index_;
  std::map<EntryKey, std::size_t> cap_index_;
};

}  // namespace standin::sim
