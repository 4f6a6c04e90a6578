// The time scale the timeline and the population charts share: local clock
// time, ticks on round minutes, hours or days, and the marks of reloads and
// configuration changes.
#include <fmt/format.h>

#include <algorithm>
#include <ctime>

#include "standin/report/render.h"

namespace report::render {

namespace {

constexpr std::int64_t kMinute = 60;
constexpr std::int64_t kHour = 3600;
constexpr std::int64_t kDay = 86400;
constexpr int kMostTicks = 12;

// The smallest round step giving at most kMostTicks ticks.
std::int64_t TickStep(std::int64_t span) {
  for (std::int64_t step : {1 * kMinute, 5 * kMinute, 10 * kMinute, 15 * kMinute, 30 * kMinute,
                            kHour, 2 * kHour, 3 * kHour, 6 * kHour, 12 * kHour, kDay, 2 * kDay,
                            7 * kDay, 14 * kDay, 28 * kDay, 91 * kDay, 182 * kDay}) {
    if (span / step <= kMostTicks) return step;
  }
  return (span / kMostTicks / (364 * kDay) + 1) * 364 * kDay;
}

// The broken-down local time `step` after `at`, normalised.
std::tm Advance(std::tm at, std::int64_t step) {
  if (step < kHour) {
    at.tm_min += static_cast<int>(step / kMinute);
  } else if (step < kDay) {
    at.tm_hour += static_cast<int>(step / kHour);
  } else {
    at.tm_mday += static_cast<int>(step / kDay);
  }
  at.tm_isdst = -1;
  std::mktime(&at);
  return at;
}

}  // namespace

TimeScale::TimeScale(std::int64_t start, std::int64_t end)
    : start_(start), end_(std::max(end, start + 1)) {
  const std::int64_t step = TickStep(end_ - start_);
  const auto t = static_cast<std::time_t>(start_);
  std::tm at{};
  localtime_r(&t, &at);
  at.tm_sec = 0;
  // Back to the round clock time at or before the start.
  if (step < kHour) {
    at.tm_min -= at.tm_min % static_cast<int>(step / kMinute);
  } else if (step < kDay) {
    at.tm_min = 0;
    at.tm_hour -= at.tm_hour % static_cast<int>(step / kHour);
  } else {
    at.tm_min = 0;
    at.tm_hour = 0;
  }
  at.tm_isdst = -1;
  std::mktime(&at);
  const char* format = step < kDay ? "%H:%M" : step < 28 * kDay ? "%b %d" : "%Y-%m-%d";
  for (int guard = 0; guard < 4 * kMostTicks; ++guard, at = Advance(at, step)) {
    std::tm copy = at;
    const std::int64_t time = std::mktime(&copy);
    if (time > end_) break;
    if (time < start_) continue;
    const bool day = at.tm_hour == 0 && at.tm_min == 0;
    // Within a day, its first tick names the day instead of the hour.
    ticks_.push_back({time, LocalTimeText(time, day && step < kDay ? "%b %d" : format), day});
  }
}

double TimeScale::X(std::int64_t time) const {
  return kLeft + static_cast<double>(time - start_) / static_cast<double>(end_ - start_) * kWidth;
}

void TimeScale::WriteGrid(double y_top, double y_bottom, double label_y, std::ostream& out) const {
  out << "<g class=\"axis\">";
  for (const Tick& tick : ticks_) {
    const std::string x = Num(X(tick.time));
    const char* day = tick.day ? " class=\"day\"" : "";
    out << "<line" << day << " x1=\"" << x << "\" y1=\"" << Num(y_top) << "\" x2=\"" << x
        << "\" y2=\"" << Num(y_bottom) << "\" stroke=\"#eee\"/><text" << day << " x=\"" << x
        << "\" y=\"" << Num(label_y) << "\" text-anchor=\"middle\">" << tick.label << "</text>";
  }
  out << "</g>\n";
}

void TimeScale::WriteChanges(const std::vector<ConfigChange>& changes, double y_top,
                             double y_bottom, std::ostream& out) const {
  for (const ConfigChange& change : changes) {
    if (change.time < start_ || change.time > end_) continue;
    const std::string x = Num(X(change.time));
    const std::string tip = fmt::format("{}\n{}: {}", LocalTimeText(change.time),
                                        change.taken ? "taken" : "refused", change.what);
    out << "<g class=\"change " << (change.taken ? "taken" : "refused") << "\" data-tip=\""
        << TipAttribute(tip) << "\"><line x1=\"" << x << "\" y1=\"" << Num(y_top) << "\" x2=\"" << x
        << "\" y2=\"" << Num(y_bottom) << "\"/><path d=\"M" << Num(X(change.time) - 4) << ' '
        << Num(y_top - 6) << "h8l-4 6Z\"/></g>";
  }
  out << "\n";
}

}  // namespace report::render
