#include "standin/report/ledger.h"

#include <fmt/format.h>

#include <algorithm>

namespace standin::report {

std::string_view OutcomeName(Outcome outcome) {
  switch (outcome) {
    case Outcome::kSpawned:
      return "spawned";
    case Outcome::kHeldByCap:
      return "held by cap";
    case Outcome::kClassUnknown:
      return "class unknown";
    case Outcome::kSpawnRefused:
      return "spawn refused";
    case Outcome::kFailed:
      return "failed";
  }
  return "?";
}

EntryLedger::EntryLedger(const nlohmann::json& document) { Configure(document); }

void EntryLedger::Configure(const nlohmann::json& document) {
  rules_ = model::AcceptDocument(document).value_or(model::ConfigRules{});
  shadows_.clear();
  for (auto& [key, record] : records_) record.configured = false;
  for (const model::EntryRules& entry : rules_.entries) {
    Key key(entry.table, entry.name);
    EntryRecord& record = RecordOf(key);
    record.configured = true;
    record.schedule_text = entry.table == Table::kCountdown
                               ? model::CountdownScheduleText(entry.interval)
                               : "at " + entry.clock_text;
    record.display_name = entry.display_name;
    record.random_position = entry.random_position;
    record.has_base = entry.position.has_value() && entry.position->placed;
    record.base_x = record.has_base ? entry.position->x : 0;
    record.base_y = record.has_base ? entry.position->y : 0;
    shadows_[std::move(key)] = {&entry, entry.interval};
  }
}

void EntryLedger::OnReload(const nlohmann::json& document) {
  Configure(document);
  known_faults_.clear();
}

void EntryLedger::CatchUp(std::int64_t runs, std::int64_t last_run) {
  for (auto& [key, shadow] : shadows_) {
    if (key.first != Table::kCountdown) continue;
    for (std::int64_t i = 0; i < runs; ++i)
      model::StepCountdown(shadow.countdown, shadow.rules->interval);
  }
  if (runs == 0) return;
  gate_.RanAt(last_run * model::kTicksPerSecond);
  last_call_ = gate_.last();
}

bool EntryLedger::OnTimerCall(const TimerCall& call) {
  last_spawns_.clear();
  const std::int64_t at = call.ticks != 0 ? call.ticks : call.time * model::kTicksPerSecond;
  last_call_ = at;
  const std::int64_t previous_run = gate_.last();
  bool run = gate_.Open(at);
  if (!run) {
    // Whatever the gate model says, a call that reached the game or logged
    // an entry's fault was a run.
    run = !call.calls.empty();
    for (const std::string& line : call.log_lines) run = run || ParseFaultLine(line).has_value();
    if (run) gate_.RanAt(at);
  }
  if (run) RunSchedules(call, model::SkippedMinute(previous_run, at, model::kTicksPerSecond));
  // The walk takes the game's calls in order, so the spawns it could not
  // explain are the last ones.
  std::size_t accepted = 0;
  for (const GameCall& game_call : call.calls) {
    if (game_call.kind == GameCall::Kind::kSpawn && game_call.ok) ++accepted;
  }
  last_spawns_.resize(accepted);
  return run;
}

void EntryLedger::RunSchedules(const TimerCall& call, std::optional<std::int64_t> skipped_minute) {
  std::map<Key, std::string> faults;
  for (const std::string& line : call.log_lines) {
    if (auto fault = ParseFaultLine(line)) faults[{fault->table, fault->name}] = fault->message;
  }
  const std::string clock_text = model::ClockText(call.local_hour, call.local_minute);
  const std::optional<std::string> skipped_text =
      skipped_minute ? model::LocalClockText(*skipped_minute) : std::nullopt;

  std::size_t next_call = 0;
  std::map<std::string, int> spawned_now;
  // Countdown names first, then clock names of a skipped minute, then those
  // of the current one, each in byte order: the plug-in's own order within a
  // run.
  auto walk = [&](Table table, auto due) {
    for (auto& [key, shadow] : shadows_) {
      if (key.first == table && due(key, shadow)) {
        Attribute(key, call, faults, next_call, spawned_now);
      }
    }
  };
  walk(Table::kCountdown, [&](const Key& key, Shadow& shadow) {
    return model::StepCountdown(shadow.countdown, shadow.rules->interval) || faults.contains(key);
  });
  auto made_up = [&](const Shadow& shadow) { return shadow.rules->clock_text == skipped_text; };
  walk(Table::kClock, [&](const Key&, Shadow& shadow) { return made_up(shadow); });
  walk(Table::kClock, [&](const Key& key, Shadow& shadow) {
    return shadow.rules->clock_text == clock_text || (faults.contains(key) && !made_up(shadow));
  });
  for (const auto& [key, shadow] : shadows_) {
    if (key.first != Table::kClock || faults.contains(key)) continue;
    const std::optional<std::string> named = model::MinuteNamed(shadow.rules->clock_text);
    if (named && named != shadow.rules->clock_text &&
        (named == clock_text || named == skipped_text)) {
      RecordOf(key).missed.push_back({call.time, shadow.rules->clock_text});
    }
  }
  // A fault of a name the ledger does not schedule still counts against it.
  for (const auto& [key, message] : faults) {
    if (!shadows_.contains(key)) {
      known_faults_[key] = {message, false};
      Record(key, call.time, Outcome::kFailed, message);
    }
  }
}

void EntryLedger::Attribute(const Key& key, const TimerCall& call,
                            const std::map<Key, std::string>& faults, std::size_t& next_call,
                            std::map<std::string, int>& spawned_now) {
  const std::string& name = key.second;
  const std::string path = ClassPathOf(name);
  auto next_is = [&](GameCall::Kind kind) {
    return next_call < call.calls.size() && call.calls[next_call].kind == kind &&
           call.calls[next_call].path == path;
  };
  std::optional<bool> loaded;
  std::optional<bool> spawned;
  if (next_is(GameCall::Kind::kClassLoad)) {
    loaded = call.calls[next_call++].ok;
    if (*loaded && next_is(GameCall::Kind::kSpawn)) spawned = call.calls[next_call++].ok;
  }
  if (spawned.value_or(false)) {
    ++spawned_now[name];
    last_spawns_.push_back(SpawnOwner{key.first, name});
  }

  if (auto fault = faults.find(key); fault != faults.end()) {
    known_faults_[key] = {fault->second, spawned.value_or(false)};
    Record(key, call.time, Outcome::kFailed, fault->second);
    return;
  }
  auto known = known_faults_.find(key);
  if (loaded.has_value() && !*loaded) return Record(key, call.time, Outcome::kClassUnknown);
  if (spawned.has_value()) {
    // A fault that came after the spawn (the notice) repeats with it, unlogged.
    if (*spawned && known != known_faults_.end() && known->second.after_spawn) {
      return Record(key, call.time, Outcome::kFailed, known->second.message);
    }
    return Record(key, call.time, *spawned ? Outcome::kSpawned : Outcome::kSpawnRefused);
  }
  if (loaded.has_value()) {
    // Loaded but not spawned: a settings read failed, and the plug-in logs
    // a repeated fault only once.
    return Record(
        key, call.time, Outcome::kFailed,
        known != known_faults_.end() ? known->second.message : "stopped after its class loaded");
  }
  const std::optional<std::int32_t>& cap = shadows_.at(key).rules->cap;
  auto wild = call.wild_counts.find(name);
  const int count = (wild == call.wild_counts.end() ? 0 : wild->second) + spawned_now[name];
  if (cap && count >= *cap) {
    return Record(key, call.time, Outcome::kHeldByCap, fmt::format("{} wild, cap {}", count, *cap));
  }
  Record(key, call.time, Outcome::kFailed,
         known != known_faults_.end() ? known->second.message : "no class load below the cap");
}

EntryRecord& EntryLedger::RecordOf(const Key& key) {
  auto [it, inserted] = records_.try_emplace(key);
  if (inserted) {
    it->second.table = key.first;
    it->second.name = key.second;
  }
  return it->second;
}

void EntryLedger::Record(const Key& key, std::int64_t time, Outcome outcome, std::string message) {
  EntryRecord& record = RecordOf(key);
  ++record.fell_due;
  switch (outcome) {
    case Outcome::kSpawned:
      ++record.spawned;
      break;
    case Outcome::kHeldByCap:
      ++record.held_by_cap;
      break;
    case Outcome::kClassUnknown:
      ++record.class_unknown;
      break;
    case Outcome::kSpawnRefused:
      ++record.spawn_refused;
      break;
    case Outcome::kFailed:
      ++record.failed;
      record.last_failure = message;
      break;
  }
  if (keep_outcomes_) record.outcomes.push_back({time, outcome, std::move(message)});
}

std::vector<EntryRecord> EntryLedger::Entries() const {
  // The host calls the timer once a second, so the next run is the first
  // call at or after the gate's time, 60 s after the last run: no minute is
  // skipped before it.
  constexpr std::int64_t kTick = model::kTicksPerSecond;
  const std::int64_t first_run = last_call_ ? std::max(-model::FloorDiv(-gate_.next(), kTick),
                                                       model::FloorDiv(*last_call_, kTick) + 1)
                                            : 0;
  std::vector<EntryRecord> entries;
  entries.reserve(records_.size());
  for (const auto& [key, record] : records_) {
    EntryRecord& entry = entries.emplace_back(record);
    auto shadow = shadows_.find(key);
    if (shadow == shadows_.end() || first_run == 0) continue;
    entry.next_due =
        key.first == Table::kCountdown
            ? first_run + model::kRunPeriodSeconds * model::RunsUntilDue(shadow->second.countdown)
            : model::NextClockRun(shadow->second.rules->clock_text, first_run);
  }
  return entries;
}

const EntryRecord* EntryLedger::Find(Table table, const std::string& name) const {
  auto it = records_.find({table, name});
  return it == records_.end() ? nullptr : &it->second;
}

}  // namespace standin::report
