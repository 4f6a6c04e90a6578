// One simulator run's parts, put together around its loop: the recorder, the
// plug-in loaded into the stand-in host and world, the report feed, the
// invariants and the script. Set up before the loop (Start) and torn down
// after it (End), so that whoever drives the loop (RunSimulator on its own
// thread, the web build a slice at a time) runs the same run. Used by
// simulator.cc and web/ only.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "standin/sim/invariants.h"
#include "standin/sim/observers.h"
#include "standin/sim/recorder.h"
#include "standin/sim/report_feed.h"
#include "standin/sim/run_loops.h"
#include "standin/sim/script_runner.h"
#include "standin/sim/server_root.h"
#include "standin/sim/session.h"
#include "standin/sim/simulator.h"

namespace standin::sim {

class PreparedRun {
 public:
  // `events` may be null; everything given must outlive this.
  PreparedRun(const SimInputs& inputs, std::ostream* events, std::ostream& console,
              const ServerRoot& root);
  PreparedRun(const PreparedRun&) = delete;
  PreparedRun& operator=(const PreparedRun&) = delete;

  // Builds the world, loads the plug-in and brings it to a status reply's
  // countdowns; false when the plug-in could not be loaded (exit status 1).
  bool Start();
  RunLoop& loop() { return loop_; }
  // Unloads the plug-in and returns the exit status of a run that ended at
  // `end` (empty: it could not run, 1).
  int End(const std::optional<RunEnd>& end);

 private:
  const SimInputs& inputs_;
  const ServerRoot& root_;
  std::string config_path_;
  Recorder recorder_;
  Session session_;
  ReportFeed feed_;
  RecorderObserver recorder_observer_;
  ReportObserver report_observer_;
  std::optional<HostInvariants> invariants_;
  std::optional<InvariantsObserver> invariants_observer_;
  ScriptRunner script_;
  RunLoop loop_;
};

}  // namespace standin::sim
