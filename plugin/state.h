// The plug-in's process-wide state: every object that lives as long as the
// loaded library, in one list, with the one reset that gives each the value
// a freshly mapped library has. Each layer keeps its own objects, since a
// layer sees only those below it (plugin -> spawn -> config -> host); only
// here are they all named. A new process-wide object adds its line to
// ResetPluginState. Tests and fuzz targets reset through it between cases.
//
// Lifetime: the loader runs Load from the module's constructor
// (plugin/module_main.cc), in no fixed order with the library's own
// unprioritised static initialisers, and the runtime destroys the objects
// after Unload. So every object Load touches is either constant-initialised
// (the plain numbers and pointers), made on first use (the logger holder),
// or constructed ahead of every unprioritised constructor by init_priority
// (the JSON values and the fault memory), which only a type without a
// constant initialiser needs. The tally is first used by a timer run, long
// after Load.
#pragma once

#include "config/config.h"
#include "plugin/log.h"
#include "plugin/status.h"
#include "spawn/cap.h"
#include "spawn/entry_faults.h"
#include "spawn/env.h"
#include "spawn/outcomes.h"
#include "spawn/tally.h"
#include "spawn/tick.h"

namespace drovekeeper::plugin {

// Every object as a freshly mapped library has it, but for the logger: a new
// one over the host's log sinks of the moment, which the library would make
// on first use.
inline void ResetPluginState() {
  config::ConfigDocument = nullptr;  // config/config.h: no file read
  config::CountdownTable = nullptr;  // config/config.h: no table built
  config::ClockTable = nullptr;      // config/config.h: no table built
  spawn::NextRunTicks = 0;           // spawn/tick.h: the minute gate open
  spawn::LastRunTicks = 0;           // spawn/tick.h: no run yet
  spawn::EndCountingRun();           // spawn/tally.h: no counting run, no tally
  spawn::ForgetEntryFaults();        // spawn/entry_faults.h: no fault logged
  spawn::SetEnvForTesting(nullptr);  // spawn/env.h: the C runtime's clock, draws
  // spawn/cap.h: counts from the tally
  spawn::SetCountStrategyForTesting(spawn::CountStrategy::kTally);
  spawn::ResetEntryOutcomes();       // spawn/outcomes.h: no turn counted
  ResetStatusRecord();               // plugin/status.h: no load, no reload
  CreatePluginLogger();              // plugin/log.h: the logger and fault sink
}

}  // namespace drovekeeper::plugin
