#include "tests/support/plugin_state.h"

#include <nlohmann/json.hpp>

#include "config/config.h"
#include "plugin/log.h"
#include "plugin/status.h"
#include "spawn/cap.h"
#include "spawn/entry_faults.h"
#include "spawn/env.h"
#include "spawn/outcomes.h"
#include "spawn/tick.h"

void ResetPluginState() {
  ConfigDocument = nullptr;
  CountdownTable = nullptr;
  ClockTable = nullptr;
  NextRunTicks = 0;
  ForgetEntryFaults();
  ResetEntryOutcomes();
  ResetStatusRecord();
  SetEnvForTesting(nullptr);
  EndCountingRun();
  SetCountStrategyForTesting(CountStrategy::kTally);
  CreatePluginLogger();
}
