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

RunEnd RunSimulated(RunLoop& loop, std::int64_t start, std::int64_t minutes, Progress& progress);

// Empty when RCON could not be served (the reason is recorded).
std::optional<RunEnd> RunRealTime(RunLoop& loop, const SimInputs& inputs);

}  // namespace standin::sim
