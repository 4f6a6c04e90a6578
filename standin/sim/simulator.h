// The stand-in server's run, put together: checks that every output can be
// written, prepares the server directory (server_root.h), loads the plug-in
// into the stand-in host and world (session.h) with the recorder, the report
// feed and the invariants watching (observers.h), drives it on simulated or
// real time with the script (run_loops.h, script_runner.h), unloads it, and
// ends with the summaries and the report at the time the run reached. Called
// by the simulator's main() only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "standin/sim/inputs.h"
#include "standin/sim/options.h"

namespace standin::sim {

struct SimInputs {
  SimOptions options;
  WorldSpec world;
  std::vector<ScriptAction> script;
  std::string plugin_path;  // resolved
  std::int64_t start = 0;   // local start time, seconds since the epoch
  bool fake_time = false;   // the C runtime clock is driven by SetFakeTime
};

// Exit statuses of a run cut short: a simulated run stopped by a signal
// before its span exits 128 + the signal (130 for SIGINT, 143 for SIGTERM, 129
// for SIGHUP), as a shell reports a process the signal ended; any run whose
// standard output or events stream closed (a pipe whose reader went) exits
// 141. A real-time run ends by being interrupted: 0.
constexpr int kExitOutputClosed = 141;

// Returns the process exit status: 0 after a clean unload, 1 when the run
// itself could not be set up (plug-in not loadable, RCON port taken...), 2
// when an output file cannot be written (checked before the run), 3 when an
// invariant broke (--invariants), or one of the statuses above.
int RunSimulator(const SimInputs& inputs);

}  // namespace standin::sim
