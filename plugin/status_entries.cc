#include "plugin/status_entries.h"

#include <fmt/format.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <utility>

#include "check/entry_name.h"
#include "config/config.h"
#include "plugin/due_times.h"
#include "spawn/cap.h"

namespace drovekeeper::plugin {

namespace {

// The member `key` of the entry in force, or null; never inserts.
const nlohmann::json* FindSetting(std::string_view table, const std::string& name,
                                  std::string_view key) {
  return config::FindEntrySetting(config::ConfigDocument, table, name, key);
}

std::optional<std::int32_t> ReadableInt32(const nlohmann::json* value, std::string_view key) {
  if (value == nullptr) return std::nullopt;
  try {
    return config::ToInt32(*value, key);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

EntryStatus CountdownEntry(const std::string& name, const nlohmann::json& left,
                           std::int64_t next_run) {
  EntryStatus e;
  e.table = config::kCountdownTableKey;
  e.name = &name;
  const nlohmann::json* interval =
      FindSetting(config::kCountdownTableKey, name, config::kScheduleKey);
  if (interval == nullptr) {
    e.schedule = "no entry in the configuration";
  } else if (std::optional<std::int32_t> value = ReadableInt32(interval, config::kScheduleKey)) {
    e.interval_minutes = std::max<std::int64_t>(*value, 0) + 1;
    e.schedule = *e.interval_minutes == 1 ? "every minute"
                                          : fmt::format("every {} min", *e.interval_minutes);
  } else {
    e.schedule = fmt::format("\"{}\" is {}", config::kScheduleKey, interval->type_name());
  }
  e.countdown_left = ReadableInt32(&left, config::kScheduleKey);
  e.due = CountdownNextDue(left, next_run);
  return e;
}

EntryStatus ClockEntry(const std::string& name, const nlohmann::json& text, std::int64_t next_run) {
  EntryStatus e;
  e.table = config::kClockTableKey;
  e.name = &name;
  if (text.is_string()) e.clock = text.get<std::string>();
  e.schedule = e.clock ? "at " + *e.clock : "at ?";
  e.due = ClockNextDue(text, next_run);
  return e;
}

// ASCII letters folded, every other byte as it is: a UTF-8 sequence holds no
// ASCII byte, so a "Name" in any script still matches byte for byte.
std::string FoldAscii(std::string_view text) {
  std::string folded(text);
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

}  // namespace

Filter::Filter(std::string filter) : text(std::move(filter)), folded(FoldAscii(text)) {
  for (std::string_view t : {config::kCountdownTableKey, config::kClockTableKey}) {
    if (folded == FoldAscii(t)) table = t;
  }
}

bool Filter::Matches(const EntryStatus& e) const {
  if (text.empty()) return true;
  if (table) return e.table == *table;
  return FoldAscii(*e.name).find(folded) != std::string::npos ||
         (e.label && FoldAscii(*e.label).find(folded) != std::string::npos);
}

// The entries the filter keeps, in the order the run walks them, with their
// counters, their labels and, in one walk of the level, their wild counts.
std::vector<EntryStatus> CollectEntries(const Filter& filter, std::int64_t next_run,
                                        std::size_t& total) {
  static const spawn::EntryCounters kNone;
  std::vector<EntryStatus> entries;
  total = 0;
  auto keep = [&](EntryStatus e) {
    ++total;
    const nlohmann::json* label = FindSetting(e.table, *e.name, config::kNameKey);
    if (label != nullptr && label->is_string() && !label->get_ref<const std::string&>().empty()) {
      e.label = label->get<std::string>();
    }
    if (!filter.Matches(e)) return;
    const spawn::EntryCounters* found = spawn::FindEntryCounters(e.table, *e.name);
    e.counters = found != nullptr ? found : &kNone;
    if (check::JudgeEntryName(*e.name).form == check::NameForm::kReference) {
      e.cap =
          ReadableInt32(FindSetting(e.table, *e.name, config::kMaximumKey), config::kMaximumKey);
    }
    entries.push_back(std::move(e));
  };
  if (config::CountdownTable.is_object()) {
    for (const auto& [name, left] : config::CountdownTable.items()) {
      keep(CountdownEntry(name, left, next_run));
    }
  }
  if (config::ClockTable.is_object()) {
    for (const auto& [name, text] : config::ClockTable.items()) {
      keep(ClockEntry(name, text, next_run));
    }
  }
  std::vector<std::string_view> capped;
  for (const EntryStatus& e : entries) {
    if (e.cap) capped.push_back(*e.name);
  }
  if (capped.empty()) return entries;
  if (const auto counts = spawn::CountWildOfClasses(capped)) {
    std::size_t i = 0;
    for (EntryStatus& e : entries) {
      if (e.cap) e.wild_now = (*counts)[i++];
    }
  } else {
    // Without a level nothing can be held; say no count rather than zero.
    for (EntryStatus& e : entries) e.cap.reset();
  }
  return entries;
}

}  // namespace drovekeeper::plugin
