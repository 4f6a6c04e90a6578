// The stand-in server's run: sets up the stand-in host and world, loads the
// plug-in module with dlopen (its module entry runs Load), drives the timer
// callbacks on simulated or real time, runs the script and the RCON server,
// records what happens, and unloads the module (Unload) at the end. Called by
// the simulator's main() only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "standin/sim/inputs.h"
#include "standin/sim/options.h"

namespace sim {

struct SimInputs {
  SimOptions options;
  WorldSpec world;
  std::vector<ScriptAction> script;
  std::string plugin_path;  // resolved
  std::int64_t start = 0;   // local start time, seconds since the epoch
  bool fake_time = false;   // the C runtime clock is driven by SetFakeTime
};

// Returns the process exit status: 0 after a clean unload, 1 when the run
// itself could not be set up (plug-in not loadable, RCON port taken...).
int RunSimulator(const SimInputs& inputs);

}  // namespace sim
