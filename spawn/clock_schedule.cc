#include "spawn/clock_schedule.h"

#include <exception>

#include "config/config.h"
#include "spawn/cap.h"
#include "spawn/entry_faults.h"
#include "spawn/outcomes.h"
#include "spawn/spawn.h"

std::string ClockText(LocalHourMinute now) {
  return std::to_string(now.hour) + ":" + std::to_string(now.minute);
}

void RunClockWalk() {
  if (!ClockTable.is_object()) return;
  const std::string table(kClockTableKey);
  for (auto& [name, text] : ClockTable.items()) {
    try {
      if (!text.is_string()) {
        throw EntryFault("clock time must be a string, but is " + std::string(text.type_name()));
      }
      if (ClockText(CurrentEnv().LocalNow()) != text.get_ref<const std::string&>()) continue;
      TakeEntryTurn(table, name);
    } catch (const std::exception& e) {
      CountFailure(table, name, e.what());
      ReportEntryFault(table, name, e.what());
    }
  }
}
