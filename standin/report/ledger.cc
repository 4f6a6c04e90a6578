#include "standin/report/ledger.h"

#include <cctype>
#include <cmath>
#include <limits>

namespace report {

namespace {

constexpr std::int64_t kRunPeriodSeconds = 60;
// A random position moves X and Y each by this much, to either side.
constexpr double kNearestOffset = 18888;
constexpr double kFarthestOffset = 18888 + 32767;

// The JSON library's 32-bit integer read as the plug-in makes it: integers
// keep their low 32 bits, fractions are truncated, booleans read 1 and 0.
std::optional<std::int32_t> ReadInt32(const nlohmann::json& value) {
  if (value.is_boolean()) return value.get<bool>() ? 1 : 0;
  if (value.is_number_integer()) return static_cast<std::int32_t>(value.get<std::int64_t>());
  if (value.is_number_unsigned()) return static_cast<std::int32_t>(value.get<std::uint64_t>());
  if (value.is_number_float()) {
    const double truncated = std::trunc(value.get<double>());
    if (!(truncated >= -2147483648.0 && truncated <= 2147483647.0)) return std::nullopt;
    return static_cast<std::int32_t>(truncated);
  }
  return std::nullopt;
}

const nlohmann::json* Member(const nlohmann::json& object, std::string_view key) {
  if (!object.is_object()) return nullptr;
  auto it = object.find(key);
  return it == object.end() ? nullptr : &*it;
}

// One piece of a position: optional leading white space and sign, then at
// least one digit; reading stops at the first non-digit.
std::optional<std::int32_t> ReadPiece(std::string_view piece) {
  std::size_t i = 0;
  while (i < piece.size() && std::isspace(static_cast<unsigned char>(piece[i]))) ++i;
  bool negative = false;
  if (i < piece.size() && (piece[i] == '+' || piece[i] == '-')) negative = piece[i++] == '-';
  std::int64_t value = 0;
  std::size_t digits = 0;
  for (; i < piece.size() && std::isdigit(static_cast<unsigned char>(piece[i])); ++i, ++digits) {
    value = value * 10 + (piece[i] - '0');
    if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return std::nullopt;
  }
  if (digits == 0) return std::nullopt;
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max()) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

// X and Y of a "Position" text whose first three pieces all read as
// integers; nullopt when the plug-in would not take it.
std::optional<std::pair<std::int32_t, std::int32_t>> ReadPositionBase(std::string_view text) {
  std::vector<std::int32_t> numbers;
  std::size_t start = 0;
  while (numbers.size() < 3 && start < text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string_view::npos) end = text.size();
    if (end > start) {
      auto number = ReadPiece(text.substr(start, end - start));
      if (!number) return std::nullopt;
      numbers.push_back(*number);
    }
    start = end + 1;
  }
  if (numbers.size() < 3) return std::nullopt;
  return std::make_pair(numbers[0], numbers[1]);
}

std::string ScheduleText(std::int32_t interval) {
  const std::int64_t minutes = interval <= 0 ? 1 : std::int64_t{interval} + 1;
  return minutes == 1 ? "every minute" : "every " + std::to_string(minutes) + " min";
}

}  // namespace

std::string_view TableName(Table table) {
  return table == Table::kCountdown ? "SpawnDino" : "SpawnDinoX";
}

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

std::vector<Square> RandomSquares(std::int32_t base_x, std::int32_t base_y) {
  std::vector<Square> squares;
  for (int sx : {-1, 1}) {
    for (int sy : {-1, 1}) {
      const double near_x = base_x + sx * kNearestOffset;
      const double far_x = base_x + sx * kFarthestOffset;
      const double near_y = base_y + sy * kNearestOffset;
      const double far_y = base_y + sy * kFarthestOffset;
      squares.push_back({std::min(near_x, far_x), std::max(near_x, far_x), std::min(near_y, far_y),
                         std::max(near_y, far_y)});
    }
  }
  return squares;
}

std::string ClassPathOf(std::string_view name) {
  std::string path(name);
  for (char& c : path) {
    if (static_cast<unsigned char>(c) >= 0x80) c = '?';
  }
  return path;
}

std::optional<FaultLine> ParseFaultLine(std::string_view line) {
  FaultLine fault;
  constexpr std::string_view kClockPrefix = "SpawnDinoX[\"";
  constexpr std::string_view kCountdownPrefix = "SpawnDino[\"";
  std::size_t start;
  if (line.starts_with(kClockPrefix)) {
    fault.table = Table::kClock;
    start = kClockPrefix.size();
  } else if (line.starts_with(kCountdownPrefix)) {
    fault.table = Table::kCountdown;
    start = kCountdownPrefix.size();
  } else {
    return std::nullopt;
  }
  const std::size_t end = line.find("\"]: ", start);
  if (end == std::string_view::npos) return std::nullopt;
  fault.name = std::string(line.substr(start, end - start));
  fault.message = std::string(line.substr(end + 4));
  return fault;
}

EntryLedger::EntryLedger(const nlohmann::json& document) { Configure(document); }

void EntryLedger::Configure(const nlohmann::json& document) {
  document_ = document;
  shadows_.clear();
  for (auto& [key, record] : records_) record.configured = false;

  for (Table table : {Table::kCountdown, Table::kClock}) {
    const nlohmann::json* section = Member(document_, TableName(table));
    if (section == nullptr || !section->is_object()) continue;
    for (const auto& [name, entry] : section->items()) {
      const nlohmann::json* interval = Member(entry, "SpawnInterval");
      if (interval == nullptr) continue;
      // The plug-in refuses a whole configuration with a bad interval, so
      // such an entry never runs.
      Shadow shadow;
      std::string schedule_text;
      if (table == Table::kCountdown) {
        auto value = ReadInt32(*interval);
        if (!value) continue;
        shadow.interval = *value;
        shadow.countdown = *value;
        schedule_text = ScheduleText(*value);
      } else {
        if (!interval->is_string()) continue;
        shadow.clock_text = interval->get<std::string>();
        schedule_text = "at " + shadow.clock_text;
      }
      Key key(table, name);
      EntryRecord& record = RecordOf(key);
      record.schedule_text = std::move(schedule_text);
      if (const nlohmann::json* most = Member(entry, "Worldmaximum")) {
        shadow.world_maximum = ReadInt32(*most);
      }
      record.configured = true;
      const nlohmann::json* display = Member(entry, "Name");
      record.display_name =
          display != nullptr && display->is_string() ? display->get<std::string>() : std::string();
      const nlohmann::json* random = Member(entry, "PositionRangeRandom");
      record.random_position = random != nullptr && random->is_boolean() && random->get<bool>();
      const nlohmann::json* position = Member(entry, "Position");
      auto base = position != nullptr && position->is_string()
                      ? ReadPositionBase(position->get_ref<const std::string&>())
                      : std::nullopt;
      record.has_base = base.has_value();
      if (base) std::tie(record.base_x, record.base_y) = *base;
      shadows_.emplace(std::move(key), std::move(shadow));
    }
  }
}

void EntryLedger::OnReload(const nlohmann::json& document) {
  Configure(document);
  known_faults_.clear();
}

bool EntryLedger::OnTimerCall(const TimerCall& call) {
  bool run = !ran_ || call.time >= next_run_;
  if (!run) {
    // Whatever the gate model says, a call that reached the game or logged
    // an entry's fault was a run.
    run = !call.calls.empty();
    for (const std::string& line : call.log_lines) run = run || ParseFaultLine(line).has_value();
  }
  if (!run) return false;
  ran_ = true;
  next_run_ = call.time + kRunPeriodSeconds;
  RunSchedules(call);
  return true;
}

void EntryLedger::RunSchedules(const TimerCall& call) {
  std::map<Key, std::string> faults;
  for (const std::string& line : call.log_lines) {
    if (auto fault = ParseFaultLine(line)) {
      faults[{fault->table, fault->name}] = fault->message;
    }
  }
  const std::string clock_text =
      std::to_string(call.local_hour) + ":" + std::to_string(call.local_minute);

  std::size_t next_call = 0;
  std::map<std::string, int> spawned_now;
  // Countdown names first, then clock names, each in byte order: the
  // plug-in's own order within a run.
  for (auto& [key, shadow] : shadows_) {
    bool due;
    if (key.first == Table::kCountdown) {
      const auto count = static_cast<std::int32_t>(shadow.countdown);
      shadow.countdown = std::int64_t{count} - 1;
      due = count < 1;
      if (due) shadow.countdown = shadow.interval;
    } else {
      due = shadow.clock_text == clock_text;
    }
    if (due || faults.contains(key)) Attribute(key, call, faults, next_call, spawned_now);
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
  if (spawned.value_or(false)) ++spawned_now[name];

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
  const Shadow& shadow = shadows_.at(key);
  auto wild = call.wild_counts.find(name);
  const int count = (wild == call.wild_counts.end() ? 0 : wild->second) + spawned_now[name];
  if (shadow.world_maximum && count >= *shadow.world_maximum) {
    return Record(key, call.time, Outcome::kHeldByCap);
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
  std::vector<EntryRecord> entries;
  entries.reserve(records_.size());
  for (const auto& [key, record] : records_) entries.push_back(record);
  return entries;
}

const EntryRecord* EntryLedger::Find(Table table, const std::string& name) const {
  auto it = records_.find({table, name});
  return it == records_.end() ? nullptr : &it->second;
}

}  // namespace report
