#include "spawn/tick.h"

#include <exception>
#include <optional>

#include "config/config.h"
#include "config/schedule_rules.h"
#include "spawn/cap.h"
#include "spawn/clock_schedule.h"
#include "spawn/entry_faults.h"
#include "spawn/env.h"
#include "spawn/outcomes.h"
#include "spawn/spawn.h"
#include "spawn/tally.h"

namespace drovekeeper::spawn {

namespace {

bool HasEntry(const std::string& name) {
  if (!config::ConfigDocument.is_object()) return false;
  auto table = config::ConfigDocument.find(config::kCountdownTableKey);
  return table != config::ConfigDocument.end() && table->is_object() && table->contains(name);
}

// One countdown step of one entry; spawns when the count has run out.
void CountDown(const std::string& table, const std::string& name, nlohmann::json& left) {
  const std::int32_t count = config::ToInt32(left, config::kScheduleKey);
  left = std::int64_t{count} - 1;
  if (!config::CountdownFallsDue(count)) return;
  // Without an entry there is no interval to restart from; the count keeps
  // running down and the entry keeps firing (and failing) every run.
  if (!HasEntry(name)) throw EntryFault("no entry in the configuration");
  // The reset comes first, so a capped or failing entry still waits a full
  // interval.
  left = config::EntrySettings(table, name)[std::string(config::kScheduleKey)];
  TakeEntryTurn(table, name);
}

void RunCountdownWalk() {
  if (!config::CountdownTable.is_object()) return;
  const std::string table(config::kCountdownTableKey);
  for (auto& [name, left] : config::CountdownTable.items()) {
    try {
      CountDown(table, name, left);
    } catch (const std::exception& e) {
      CountFailure(table, name, e.what());
      ReportEntryFault(table, name, e.what());
    }
  }
}

// Counts within one run may share a walk of the level; none outlives it.
struct CountingRun {
  CountingRun() { BeginCountingRun(); }
  ~CountingRun() { EndCountingRun(); }
  CountingRun(const CountingRun&) = delete;
  CountingRun& operator=(const CountingRun&) = delete;
};

}  // namespace

void TimingSpawnTick() {
  const std::int64_t now = NowTicks();
  if (now < NextRunTicks) return;
  // Set before any work, so a run that fails part-way still waits a minute.
  NextRunTicks = now + kRunPeriodTicks;
  // The runs creep later by up to one host call a minute, so now and then
  // one minute has no run of its own; its clock entries fire with this run.
  const std::optional<std::int64_t> skipped = SkippedMinute(LastRunTicks, now);
  LastRunTicks = now;
  CountRun();
  CountingRun counting;
  RunCountdownWalk();
  RunClockWalk(skipped);
}

}  // namespace drovekeeper::spawn
