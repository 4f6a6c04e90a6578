// The spawn layer's process-wide state: the minute gate, the run's tally, the
// per-entry fault memory, the outcome counters and the seams tests replace.
// Declared here alone, so that a new member is reset with the rest when
// plugin/registry.h assigns a fresh State. Only spawn/ writes it, each member
// from the file its comment names; tests set the seams through the setters
// those files declare.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <tuple>

#include "spawn/cap.h"
#include "spawn/entry_faults.h"
#include "spawn/outcomes.h"
#include "spawn/wild_tally.h"

namespace drovekeeper::spawn {

class Env;

// One counter map per table; a name is looked up by view, so a turn of an
// entry already known allocates nothing.
using CounterMap = std::map<std::string, EntryCounters, std::less<>>;

struct State {
  std::int64_t next_run_ticks = 0;  // NextRunTicks (tick.cc)
  std::int64_t last_run_ticks = 0;  // LastRunTicks (tick.cc)

  bool in_counting_run = false;  // tally.cc
  WildTally tally;               // tally.cc

  // Faults already written (entry_faults.cc): a faulty entry fails the same
  // way every minute; one line per fault is enough until the configuration
  // is read again.
  std::set<std::tuple<std::string, std::string, std::string>> logged_faults;
  EntryFaultSink fault_sink = nullptr;  // entry_faults.cc; set by plugin/log.cc

  CounterMap countdown_counters;  // outcomes.cc
  CounterMap clock_counters;      // outcomes.cc
  std::int64_t runs = 0;          // outcomes.cc

  Env* replaced_env = nullptr;                           // env.cc: tests only
  CountStrategy count_strategy = CountStrategy::kTally;  // cap.cc: tests only
};

// Constructed ahead of every unprioritised constructor: the module's load
// hook (plugin/module_main.cc) runs Load from one.
extern State state;

}  // namespace drovekeeper::spawn
