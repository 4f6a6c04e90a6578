#include "standin/model/schedule.h"

#include <ctime>

namespace standin::model {
namespace {

constexpr std::int64_t kClockLookaheadRuns = 2 * 24 * 60 + 60;  // past a DST change

}  // namespace

std::int64_t FloorDiv(std::int64_t value, std::int64_t divisor) {
  const std::int64_t quotient = value / divisor;
  return value % divisor < 0 ? quotient - 1 : quotient;
}

bool RunGate::Open(std::int64_t now) {
  if (now < next_) return false;
  RanAt(now);
  return true;
}

bool StepCountdown(std::int64_t& left, std::int32_t interval) {
  const auto count = static_cast<std::int32_t>(static_cast<std::uint32_t>(left));
  left = std::int64_t{count} - 1;
  if (count >= 1) return false;
  left = interval;
  return true;
}

std::int64_t RunsUntilDue(std::int64_t left) {
  const auto count = static_cast<std::int32_t>(static_cast<std::uint32_t>(left));
  return count < 1 ? 0 : count;
}

std::string CountdownScheduleText(std::int32_t interval) {
  const std::int64_t minutes = interval <= 0 ? 1 : std::int64_t{interval} + 1;
  return minutes == 1 ? "every minute" : "every " + std::to_string(minutes) + " min";
}

std::string ClockText(int hour, int minute) {
  return std::to_string(hour) + ":" + std::to_string(minute);
}

std::optional<std::int64_t> SkippedMinute(std::int64_t previous_run, std::int64_t run,
                                          std::int64_t per_second) {
  if (run - previous_run >= 2 * kRunPeriodSeconds * per_second) return std::nullopt;
  const std::int64_t minute = FloorDiv(previous_run, per_second * 60);
  if (FloorDiv(run, per_second * 60) != minute + 2) return std::nullopt;
  return (minute + 1) * 60;
}

std::optional<std::string> MinuteNamed(std::string_view text) {
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos) return std::nullopt;
  auto number = [](std::string_view digits, int below) -> std::optional<int> {
    if (digits.empty() || digits.size() > 2) return std::nullopt;
    int value = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return std::nullopt;
      value = value * 10 + (c - '0');
    }
    return value < below ? std::optional<int>(value) : std::nullopt;
  };
  const std::optional<int> hour = number(text.substr(0, colon), 24);
  const std::optional<int> minute = number(text.substr(colon + 1), 60);
  if (!hour || !minute) return std::nullopt;
  return ClockText(*hour, *minute);
}

std::optional<std::string> LocalClockText(std::int64_t seconds) {
  const auto t = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return std::nullopt;
  return ClockText(local.tm_hour, local.tm_min);
}

std::int64_t NextClockRun(std::string_view text, std::int64_t first_run) {
  if (text.size() > 5) return 0;  // "23:59" is the longest that matches
  for (std::int64_t run = 0; run < kClockLookaheadRuns; ++run) {
    const std::int64_t at = first_run + run * kRunPeriodSeconds;
    const std::optional<std::string> local = LocalClockText(at);
    if (!local) return 0;
    if (*local == text) return at;
  }
  return 0;
}

}  // namespace standin::model
