// The two ways a simulator run advances time: simulated (one timer call per
// simulated second, as fast as it goes, for a given span) and real time (one
// timer call per wall-clock second, RCON commands served in between, until
// interrupted). Either ends early on SIGINT or SIGTERM, on an observer's
// request, or when an output can no longer be written (a closed pipe), and
// says where it got to. Called by RunSimulator only.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <vector>

#include "standin/sim/observer.h"
#include "standin/sim/progress.h"
#include "standin/sim/recorder.h"
#include "standin/sim/script_runner.h"
#include "standin/sim/session.h"
#include "standin/sim/simulator.h"

namespace standin::sim {

// SIGINT, SIGTERM and SIGHUP ask the run to stop at the next second; SIGPIPE is
// ignored, so a closed output shows as a failed write instead of ending the
// process with the temporary server directory left behind.
void InstallStopHandlers();

struct RunLoop {
  Session& session;
  ScriptRunner& script;
  Recorder& recorder;
  std::vector<const std::ostream*> outputs;  // a failed write to any ends the run
};

// A simulated run taken a slice at a time: RunSimulated runs it through,
// the web build between its worker's messages.
class SimulatedRun {
 public:
  // All must outlive this.
  SimulatedRun(RunLoop& loop, std::int64_t start, std::int64_t minutes, Progress& progress);

  // Runs up to `seconds` more simulated seconds; true once the run is over
  // (its span done, or a stop asked for).
  bool Step(std::int64_t seconds);
  // The whole seconds run so far, and all the span has.
  std::int64_t done_seconds() const { return offset_; }
  std::int64_t span_seconds() const { return seconds_; }
  // Ends the run where it got to; `stop_signal` names what stopped it short
  // when nothing else did.
  RunEnd Finish(int stop_signal = 0);

 private:
  RunLoop& loop_;
  std::int64_t start_;
  std::int64_t seconds_;
  Progress& progress_;
  std::int64_t offset_ = 0;
};

// An output of the loop can no longer be written (a closed pipe).
bool OutputClosed(const RunLoop& loop);
// The loop must stop: a signal, an observer, or an output gone.
bool Stopping(const RunLoop& loop);

RunEnd RunSimulated(RunLoop& loop, std::int64_t start, std::int64_t minutes, Progress& progress);

// Empty when RCON could not be served (the reason is recorded). Native
// builds only (run_real_time.cc).
std::optional<RunEnd> RunRealTime(RunLoop& loop, const SimInputs& inputs);

}  // namespace standin::sim
