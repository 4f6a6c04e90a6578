#include "plugin/status.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <iterator>
#include <optional>
#include <utility>

#include "check/check_values.h"
#include "config/config.h"
#include "host/game_string.h"
#include "host/game_types.h"
#include "plugin/entry_guard.h"
#include "plugin/registry.h"
#include "plugin/reply.h"
#include "spawn/env.h"
#include "spawn/outcomes.h"
#include "spawn/tick.h"

namespace drovekeeper::plugin {

namespace {

// A clock text names one minute a day; a day skipped by a change of the
// clocks still finds it on the next.
constexpr int kClockLookaheadDays = 3;

// "YYYY-MM-DD HH:MM:SS", local.
std::string LocalText(std::int64_t ticks) {
  const std::optional<spawn::LocalDateTime> t = spawn::CurrentEnv().LocalDateTimeAt(ticks);
  if (!t) return "(no local time)";
  return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02}", t->year, t->month, t->day, t->hour,
                     t->minute, t->second);
}

// The zone's name and its offset from UTC then: "CET (UTC+01:00)".
std::string ZoneText(std::int64_t ticks) {
  const std::optional<spawn::LocalDateTime> t = spawn::CurrentEnv().LocalDateTimeAt(ticks);
  if (!t) return "(no zone)";
  const std::int64_t offset = t->utc_offset_seconds;
  const std::int64_t minutes = (offset < 0 ? -offset : offset) / 60;
  const bool named = !t->zone.empty();
  return fmt::format("{}{}UTC{}{:02}:{:02}{}", t->zone, named ? " (" : "", offset < 0 ? '-' : '+',
                     minutes / 60, minutes % 60, named ? ")" : "");
}

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

std::string CountdownSchedule(const std::string& name) {
  const nlohmann::json* interval = config::FindEntrySetting(
      config::ConfigDocument, config::kCountdownTableKey, name, config::kScheduleKey);
  if (interval == nullptr) return "no entry in the configuration";
  try {
    const std::int64_t minutes =
        std::max<std::int64_t>(config::ToInt32(*interval, config::kScheduleKey), 0) + 1;
    return minutes == 1 ? "every minute" : fmt::format("every {} min", minutes);
  } catch (const std::exception&) {
    return fmt::format("\"{}\" is {}", config::kScheduleKey, interval->type_name());
  }
}

std::string DueText(const NextDue& due) { return due.at ? LocalText(*due.at) : due.never; }

void AppendEntry(std::string& out, std::string_view table, const std::string& name,
                 std::string_view schedule, std::string_view due) {
  static const spawn::EntryCounters kNone;
  const spawn::EntryCounters* found = spawn::FindEntryCounters(table, name);
  const spawn::EntryCounters& c = found != nullptr ? *found : kNone;
  auto it = std::back_inserter(out);
  fmt::format_to(it, "\n{} {}: {}; next due {}; fell due {}; spawned {}; held by cap {}", table,
                 name, schedule, due, c.fell_due, c.spawned, c.held_by_cap);
  if (c.held_by_cap > 0) fmt::format_to(it, " (count {}, cap {})", c.held_count, c.held_cap);
  fmt::format_to(it, "; class unknown {}; spawn refused {}; failed {}", c.class_unknown,
                 c.spawn_refused, c.failed);
  if (c.failed > 0) {
    fmt::format_to(it, " (last {}: {})", LocalText(c.last_failure_ticks), c.last_failure);
  }
}

std::string ReloadText() {
  if (!state.status_record.reloaded) return "no reload";
  std::string text = fmt::format("last reload {} ", LocalText(state.status_record.reload_ticks));
  if (!state.status_record.refusal) return text + "taken";
  return text + "refused: " + *state.status_record.refusal;
}

bool Matches(std::string_view name, std::string_view filter) {
  return filter.empty() || name.find(filter) != std::string_view::npos;
}

}  // namespace

std::int64_t NextRun(std::int64_t now) { return std::max(spawn::NextRunTicks, now); }

NextDue CountdownNextDue(const nlohmann::json& left, std::int64_t next_run) {
  try {
    const std::int32_t count = config::ToInt32(left, config::kScheduleKey);
    return {next_run + std::int64_t{std::max(count, 0)} * spawn::kRunPeriodTicks, {}};
  } catch (const std::exception&) {
    return {std::nullopt, fmt::format("unknown (its count is {})", left.type_name())};
  }
}

NextDue ClockNextDue(const nlohmann::json& text, std::int64_t next_run) {
  if (!text.is_string()) {
    return {std::nullopt, fmt::format("never (its clock text is {})", text.type_name())};
  }
  const std::string& clock = text.get_ref<const std::string&>();
  const check::ClockVerdict verdict = check::JudgeClockText(clock);
  if (!verdict.fault.empty()) {
    std::string why = fmt::format("never (clock text \"{}\" {}", clock, verdict.fault);
    if (!verdict.suggestion.empty()) {
      why += fmt::format("; the server's clock writes \"{}\" for that minute", verdict.suggestion);
    }
    return {std::nullopt, why + ")"};
  }
  // The verdict leaves only "H:M" in plain decimal, in range.
  const std::size_t colon = clock.find(':');
  int hour = 0;
  int minute = 0;
  std::from_chars(clock.data(), clock.data() + colon, hour);
  std::from_chars(clock.data() + colon + 1, clock.data() + clock.size(), minute);
  const std::optional<std::int64_t> at = NextClockRun(hour, minute, next_run);
  if (!at) return {std::nullopt, fmt::format("not within {} days", kClockLookaheadDays)};
  return {at, {}};
}

std::string LocalMinuteText(std::int64_t ticks) { return LocalText(ticks).substr(0, 16); }

void RecordLoad(const ConfigReadResult& read) {
  spawn::ResetEntryOutcomes();
  state.status_record = StatusRecord{};
  state.status_record.loaded_ticks = spawn::NowTicks();
  state.status_record.fingerprint = read.fingerprint;
}

void RecordReload(const ConfigReadResult& read) {
  state.status_record.reloaded = true;
  state.status_record.reload_ticks = spawn::NowTicks();
  state.status_record.refusal.reset();
  if (!read.failure) {
    state.status_record.fingerprint = read.fingerprint;
    return;
  }
  if (read.cause) {
    state.status_record.refusal = *read.cause;
  } else if (*read.failure == kOpenFailureText) {
    state.status_record.refusal = std::string(kConfigFileName) + " cannot be opened";
  } else {
    state.status_record.refusal = *read.failure;
  }
}

const std::string& InForceFingerprint() { return state.status_record.fingerprint; }

void ResetStatusRecord() { state.status_record = StatusRecord{}; }

std::string StatusText(std::string_view filter) {
  const std::int64_t now = spawn::NowTicks();
  const std::int64_t next_run = NextRun(now);
  std::string entries;
  std::size_t total = 0;
  std::size_t shown = 0;
  if (config::CountdownTable.is_object()) {
    for (const auto& [name, left] : config::CountdownTable.items()) {
      ++total;
      if (!Matches(name, filter)) continue;
      ++shown;
      AppendEntry(entries, config::kCountdownTableKey, name, CountdownSchedule(name),
                  DueText(CountdownNextDue(left, next_run)));
    }
  }
  if (config::ClockTable.is_object()) {
    for (const auto& [name, text] : config::ClockTable.items()) {
      ++total;
      if (!Matches(name, filter)) continue;
      ++shown;
      const std::string schedule = text.is_string() ? "at " + text.get<std::string>() : "at ?";
      AppendEntry(entries, config::kClockTableKey, name, schedule,
                  DueText(ClockNextDue(text, next_run)));
    }
  }
  std::string header =
      fmt::format("server time {} {}; loaded {}; {}; {} runs since load; {} of {} entries",
                  LocalText(now), ZoneText(now), LocalText(state.status_record.loaded_ticks),
                  ReloadText(), spawn::RunsCounted(), shown, total);
  if (!filter.empty()) header += fmt::format(" with \"{}\" in the name", filter);
  return header + entries;
}

void StatusCommand(RCONClientConnection* connection, RCONPacket* packet,
                   UWorld* /*world*/) noexcept {
  GuardHostEntry("the status command", [&] {
    const std::string text = StatusText(CommandArguments(packet));
    SendCommandReply(connection, packet, ZelApi::Tools::Utf8Decode(text));
  });
}

}  // namespace drovekeeper::plugin
