#include "tools/check/upcoming.h"

#include <fmt/format.h>

#include <chrono>
#include <exception>
#include <optional>

#include "config/config.h"
#include "config/schedule_rules.h"

namespace drovekeeper::check_tool {

using config::kClockTableKey;
using config::kCountdownTableKey;
using config::kScheduleKey;
using config::ToInt32;

namespace {

constexpr std::int64_t kDay = 86400;
constexpr std::int64_t kRunSeconds = 60;

std::int64_t DayOf(std::int64_t local) { return local / kDay - (local % kDay < 0 ? 1 : 0); }

// The table's entries with what the load stores for each: nothing when the
// table is not an object or an entry's schedule does not read, since the
// plug-in refuses such a file.
struct Countdown {
  std::string entry;
  std::int32_t interval;
  std::int32_t count;
};

std::optional<std::vector<Countdown>> Countdowns(const nlohmann::json& document) {
  std::vector<Countdown> found;
  const auto table = document.find(kCountdownTableKey);
  if (table == document.end() || table->is_null()) return found;
  if (!table->is_object()) return std::nullopt;
  try {
    for (const auto& [name, entry] : table->items()) {
      const std::int32_t interval = ToInt32(entry.at(std::string(kScheduleKey)), kScheduleKey);
      found.push_back({name, interval, interval});
    }
  } catch (const std::exception&) {
    return std::nullopt;
  }
  return found;
}

std::optional<std::vector<std::pair<std::string, std::string>>> ClockTexts(
    const nlohmann::json& document) {
  std::vector<std::pair<std::string, std::string>> found;
  const auto table = document.find(kClockTableKey);
  if (table == document.end() || table->is_null()) return found;
  if (!table->is_object()) return std::nullopt;
  for (const auto& [name, entry] : table->items()) {
    const auto text = entry.is_object() ? entry.find(kScheduleKey) : entry.end();
    if (!entry.is_object() || text == entry.end() || !text->is_string()) return std::nullopt;
    found.emplace_back(name, text->get<std::string>());
  }
  return found;
}

std::string EveryText(std::int32_t interval) {
  if (interval <= 0) return "every minute";
  return fmt::format("every {} minutes", std::int64_t{interval} + 1);
}

}  // namespace

std::vector<DueTurn> UpcomingTurns(const nlohmann::json& document, std::int64_t from,
                                   const std::vector<std::int64_t>& local_times) {
  std::vector<DueTurn> turns;
  if (!document.is_object()) return turns;
  std::optional<std::vector<Countdown>> countdowns = Countdowns(document);
  const auto clocks = ClockTexts(document);
  if (!countdowns || !clocks) return turns;
  const std::string countdown_table(kCountdownTableKey);
  const std::string clock_table(kClockTableKey);
  for (std::size_t run = 0; run < local_times.size(); ++run) {
    const std::int64_t at = from + static_cast<std::int64_t>(run) * kRunSeconds;
    const std::int64_t local = local_times[run];
    for (Countdown& countdown : *countdowns) {
      const std::int32_t read = countdown.count;
      countdown.count = read == INT32_MIN ? INT32_MAX : read - 1;
      if (!config::CountdownFallsDue(read)) continue;
      countdown.count = countdown.interval;
      turns.push_back({at, local, countdown_table, countdown.entry, EveryText(countdown.interval)});
    }
    const std::int64_t seconds = local - DayOf(local) * kDay;
    const std::string now =
        config::ClockTextOf(static_cast<int>(seconds / 3600), static_cast<int>(seconds / 60 % 60));
    for (const auto& [name, text] : *clocks) {
      if (text == now) turns.push_back({at, local, clock_table, name, "at " + text});
    }
  }
  return turns;
}

std::string LocalDateTime(std::int64_t local) {
  const std::chrono::year_month_day date{std::chrono::sys_days{std::chrono::days{DayOf(local)}}};
  const std::int64_t seconds = local - DayOf(local) * kDay;
  return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}", static_cast<int>(date.year()),
                     static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                     seconds / 3600, seconds / 60 % 60);
}

std::string FormatTurn(const DueTurn& turn) {
  const std::int64_t offset = turn.local - turn.at;
  const std::int64_t minutes = (offset < 0 ? -offset : offset) / 60;
  return fmt::format("{} {}{:02}:{:02}  {}[\"{}\"] {}", LocalDateTime(turn.local),
                     offset < 0 ? '-' : '+', minutes / 60, minutes % 60, turn.table, turn.entry,
                     turn.schedule);
}

}  // namespace drovekeeper::check_tool
