#include "spawn/clock_schedule.h"

#include <exception>

#include "config/config.h"
#include "config/schedule_rules.h"
#include "spawn/cap.h"
#include "spawn/entry_faults.h"
#include "spawn/outcomes.h"
#include "spawn/spawn.h"

namespace drovekeeper::spawn {

namespace {

std::int64_t MinuteOf(std::int64_t ticks) {
  return ticks / kTicksPerMinute - (ticks % kTicksPerMinute < 0 ? 1 : 0);
}

// The entries naming the skipped minute. A value that is not a text is left
// to the walk of the current minute, which reports it.
void RunSkippedMinute(const std::string& table, std::int64_t skipped_minute) {
  std::optional<std::string> skipped_text;
  for (auto& [name, text] : config::ClockTable.items()) {
    try {
      if (!text.is_string()) continue;
      if (!skipped_text) skipped_text = ClockText(CurrentEnv().LocalAt(skipped_minute));
      if (*skipped_text == text.get_ref<const std::string&>()) TakeEntryTurn(table, name);
    } catch (const std::exception& e) {
      CountFailure(table, name, e.what());
      ReportEntryFault(table, name, e.what());
    }
  }
}

}  // namespace

std::string ClockText(LocalHourMinute now) { return config::ClockTextOf(now.hour, now.minute); }

std::optional<std::int64_t> SkippedMinute(std::int64_t previous, std::int64_t now) {
  const std::int64_t minute = MinuteOf(previous);
  // Comparing the minutes first keeps the subtraction small.
  if (MinuteOf(now) != minute + 2 || now - previous >= 2 * kTicksPerMinute) return std::nullopt;
  return (minute + 1) * kTicksPerMinute;
}

void RunClockWalk(std::optional<std::int64_t> skipped_minute) {
  if (!config::ClockTable.is_object()) return;
  const std::string table(config::kClockTableKey);
  if (skipped_minute) RunSkippedMinute(table, *skipped_minute);
  for (auto& [name, text] : config::ClockTable.items()) {
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

}  // namespace drovekeeper::spawn
