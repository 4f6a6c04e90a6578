// The time scale the timeline and the population charts share: local clock
// time, ticks on round minutes, hours or days, and the marks of reloads,
// configuration changes and clock changes.
#include <fmt/format.h>

#include <algorithm>
#include <ctime>

#include "standin/report/render.h"

namespace standin::report::render {

namespace {

constexpr std::int64_t kMinuteSeconds = 60;
constexpr std::int64_t kHourSeconds = 3600;
constexpr std::int64_t kDaySeconds = 86400;
constexpr std::int64_t kMonthSeconds = 2629746;  // on average
constexpr int kMostTicks = 12;

enum class Unit { kMinute, kHour, kDay, kMonth };

struct Step {
  Unit unit;
  int count;
  std::int64_t seconds() const {
    const std::int64_t unit_seconds[] = {kMinuteSeconds, kHourSeconds, kDaySeconds, kMonthSeconds};
    return unit_seconds[static_cast<int>(unit)] * count;
  }
};

// The smallest round step giving at most kMostTicks ticks.
Step StepFor(std::int64_t span) {
  constexpr Step kSteps[] = {{Unit::kMinute, 1},  {Unit::kMinute, 5},  {Unit::kMinute, 10},
                             {Unit::kMinute, 15}, {Unit::kMinute, 30}, {Unit::kHour, 1},
                             {Unit::kHour, 2},    {Unit::kHour, 3},    {Unit::kHour, 6},
                             {Unit::kHour, 12},   {Unit::kDay, 1},     {Unit::kDay, 2},
                             {Unit::kDay, 7},     {Unit::kDay, 14},    {Unit::kMonth, 1},
                             {Unit::kMonth, 3},   {Unit::kMonth, 6},   {Unit::kMonth, 12}};
  for (const Step& step : kSteps) {
    if (span / step.seconds() <= kMostTicks) return step;
  }
  return {Unit::kMonth, static_cast<int>(span / kMostTicks / (12 * kMonthSeconds) + 1) * 12};
}

// The round clock time at or before `at` that ticks of `step` start from.
std::tm Aligned(std::tm at, const Step& step) {
  at.tm_sec = 0;
  switch (step.unit) {
    case Unit::kMinute:
      at.tm_min -= at.tm_min % step.count;
      break;
    case Unit::kMonth:
      at.tm_mday = 1;
      at.tm_year -= step.count > 12 ? at.tm_year % (step.count / 12) : 0;
      at.tm_mon -= step.count <= 12 ? at.tm_mon % step.count : at.tm_mon;
      [[fallthrough]];
    case Unit::kDay:
      at.tm_hour = 0;
      [[fallthrough]];
    case Unit::kHour:
      at.tm_hour -= at.tm_hour % (step.unit == Unit::kHour ? step.count : 1);
      at.tm_min = 0;
      break;
  }
  return at;
}

// The n-th tick after `first`, counted on the clock's face: a tick in an hour
// skipped by a change to summer time lands just after it.
std::int64_t TickTime(const std::tm& first, const Step& step, int n) {
  // The broken-down time's field of each unit, in Unit's order.
  constexpr int std::tm::*kFields[] = {&std::tm::tm_min, &std::tm::tm_hour, &std::tm::tm_mday,
                                       &std::tm::tm_mon};
  std::tm at = first;
  at.*kFields[static_cast<int>(step.unit)] += n * step.count;
  at.tm_isdst = -1;
  return std::mktime(&at);
}

const char* LabelFormat(const Step& step, std::int64_t time) {
  switch (step.unit) {
    case Unit::kMinute:
    case Unit::kHour:
      // Within a day, its first tick names the day instead of the hour.
      return LocalTimeText(time, "%H:%M") == "00:00" ? "%b %d" : "%H:%M";
    case Unit::kDay:
      return "%b %d";
    case Unit::kMonth:
      return step.count < 12 ? "%b %Y" : "%Y";
  }
  return "%F";
}

}  // namespace

TimeScale::TimeScale(std::int64_t start, std::int64_t end)
    : start_(start), end_(std::max(end, start + 1)) {
  const Step step = StepFor(end_ - start_);
  const auto t = static_cast<std::time_t>(start_);
  std::tm local{};
  localtime_r(&t, &local);
  const std::tm first = Aligned(local, step);
  for (int n = 0; n < 4 * kMostTicks; ++n) {
    const std::int64_t time = TickTime(first, step, n);
    if (time > end_) break;
    if (time < start_ || (!ticks_.empty() && time <= ticks_.back().time)) continue;
    ticks_.push_back({time, LocalTimeText(time, LabelFormat(step, time)),
                      LocalTimeText(time, "%H:%M") == "00:00"});
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

void TimeScale::WriteClockChanges(const std::vector<ClockChangeMark>& changes, double y_top,
                                  double y_bottom, std::ostream& out) const {
  for (const ClockChangeMark& change : changes) {
    if (change.time < start_ || change.time > end_) continue;
    const double x = X(change.time);
    std::string tip = fmt::format("{}\n{}", LocalTimeZoneText(change.time), change.what);
    if (!change.entries.empty()) {
      tip += fmt::format("\n{} clock {} {}", change.entries.size(),
                         change.entries.size() == 1 ? "entry" : "entries",
                         change.forward ? "skipped" : "repeated");
    }
    // The arrow points right when the clocks go forward, left when back.
    const double tip_x = change.forward ? x + 5 : x - 5;
    const double tail_x = change.forward ? x - 3 : x + 3;
    out << "<g class=\"clock-change " << (change.forward ? "forward" : "back") << "\" data-tip=\""
        << TipAttribute(tip) << "\"><line x1=\"" << Num(x) << "\" y1=\"" << Num(y_top) << "\" x2=\""
        << Num(x) << "\" y2=\"" << Num(y_bottom) << "\"/><path d=\"M" << Num(tail_x) << ' '
        << Num(y_top - 8) << "L" << Num(tip_x) << ' ' << Num(y_top - 4) << "L" << Num(tail_x) << ' '
        << Num(y_top) << "Z\"/></g>";
  }
  out << "\n";
}

}  // namespace standin::report::render
