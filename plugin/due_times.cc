#include "plugin/due_times.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <chrono>

#include "check/check_values.h"
#include "config/config.h"
#include "spawn/env.h"
#include "spawn/tick.h"

namespace drovekeeper::plugin {

namespace {

// A clock text names one minute a day; a day skipped by a change of the
// clocks still finds it on the next.
constexpr int kClockLookaheadDays = 3;

// The first run of next_run, next_run + 60 s, ... whose local time is
// hour:minute, within kClockLookaheadDays.
std::optional<std::int64_t> NextClockRun(int hour, int minute, std::int64_t next_run) {
  spawn::Env& env = spawn::CurrentEnv();
  const std::optional<spawn::LocalDateTime> from = env.LocalDateTimeAt(next_run);
  if (!from) return std::nullopt;
  for (int day = 0; day < kClockLookaheadDays; ++day) {
    const std::optional<std::int64_t> start_ticks =
        env.TicksAtLocal(from->year, from->month, from->day + day, hour, minute);
    if (!start_ticks) continue;
    std::int64_t at = next_run;
    if (*start_ticks > next_run) {
      const std::int64_t runs =
          (*start_ticks - next_run + spawn::kRunPeriodTicks - 1) / spawn::kRunPeriodTicks;
      at = next_run + runs * spawn::kRunPeriodTicks;
    }
    if (at >= *start_ticks + spawn::kTicksPerMinute) continue;  // that minute has passed
    // A minute the clocks skip normalizes to another one.
    const std::optional<spawn::LocalDateTime> check = env.LocalDateTimeAt(at);
    if (check && check->hour == hour && check->minute == minute) return at;
  }
  return std::nullopt;
}

}  // namespace

std::string LocalText(std::int64_t ticks) {
  const std::optional<spawn::LocalDateTime> t = spawn::CurrentEnv().LocalDateTimeAt(ticks);
  if (!t) return "(no local time)";
  return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02}", t->year, t->month, t->day, t->hour,
                     t->minute, t->second);
}

std::string LocalMinuteText(std::int64_t ticks) {
  const std::optional<spawn::LocalDateTime> t = spawn::CurrentEnv().LocalDateTimeAt(ticks);
  if (!t) return "(no local time)";
  return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}", t->year, t->month, t->day, t->hour,
                     t->minute);
}

std::string UtcText(std::int64_t ticks) {
  using namespace std::chrono;
  std::int64_t seconds = ticks / spawn::kTicksPerSecond;
  if (ticks % spawn::kTicksPerSecond < 0) --seconds;
  const sys_seconds at{std::chrono::seconds(seconds)};
  const sys_days day = floor<days>(at);
  const year_month_day date(day);
  const hh_mm_ss time(at - day);
  return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}Z", static_cast<int>(date.year()),
                     static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                     time.hours().count(), time.minutes().count(), time.seconds().count());
}

std::string ZoneText(std::int64_t ticks) {
  const std::optional<spawn::LocalDateTime> t = spawn::CurrentEnv().LocalDateTimeAt(ticks);
  if (!t) return "(no zone)";
  const std::int64_t offset = t->utc_offset_seconds;
  const std::int64_t minutes = (offset < 0 ? -offset : offset) / 60;
  const bool named = !t->zone.empty();
  return fmt::format("{}{}UTC{}{:02}:{:02}{}", t->zone, named ? " (" : "", offset < 0 ? '-' : '+',
                     minutes / 60, minutes % 60, named ? ")" : "");
}

std::int64_t NextRun(std::int64_t now) { return std::max(spawn::NextRunTicks, now); }

std::string DueText(const NextDue& due) { return due.at ? LocalMinuteText(*due.at) : due.never; }

NextDue CountdownNextDue(const nlohmann::json& left, std::int64_t next_run) {
  try {
    const std::int32_t count = config::ToInt32(left, config::kScheduleKey);
    return {next_run + std::int64_t{std::max(count, 0)} * spawn::kRunPeriodTicks, {}};
  } catch (const std::exception&) {
    return {{}, fmt::format("unknown (its count is {})", left.type_name())};
  }
}

NextDue ClockNextDue(const nlohmann::json& text, std::int64_t next_run) {
  if (!text.is_string()) return {{}, fmt::format("never (its clock text is {})", text.type_name())};
  const std::string& clock = text.get_ref<const std::string&>();
  const check::ClockVerdict verdict = check::JudgeClockText(clock);
  if (!verdict.fault.empty()) {
    std::string why = fmt::format("never (clock text \"{}\" {}", clock, verdict.fault);
    if (!verdict.suggestion.empty()) {
      why += fmt::format("; the server's clock writes \"{}\" for that minute", verdict.suggestion);
    }
    return {{}, why + ")"};
  }
  // The verdict leaves only "H:M" in plain decimal, in range.
  const std::size_t colon = clock.find(':');
  int hour = 0;
  int minute = 0;
  std::from_chars(clock.data(), clock.data() + colon, hour);
  std::from_chars(clock.data() + colon + 1, clock.data() + clock.size(), minute);
  const std::optional<std::int64_t> at = NextClockRun(hour, minute, next_run);
  if (!at) return {{}, fmt::format("not within {} days", kClockLookaheadDays)};
  return {*at, {}};
}

}  // namespace drovekeeper::plugin
