#include "tests/support/scripted_clock.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

constexpr std::int64_t kTicksPerDay = 24 * 60 * 60 * ScriptedClock::kTicksPerSecond;

std::int64_t TicksOf(double seconds) {
  return static_cast<std::int64_t>(std::llround(seconds * ScriptedClock::kTicksPerSecond));
}

// Local time from ticks since a local midnight, any number of days away.
drovekeeper::spawn::LocalHourMinute OfDay(std::int64_t ticks) {
  ticks %= kTicksPerDay;
  if (ticks < 0) ticks += kTicksPerDay;
  const auto whole = static_cast<int>(ticks / ScriptedClock::kTicksPerSecond);
  return {whole / 3600, whole / 60 % 60};
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

}  // namespace

drovekeeper::spawn::LocalHourMinute ScriptedClock::LocalNow() {
  ++local_reads_;
  if (runtime_zone_) return LocalAt(now_ticks_);
  return OfDay(local_ticks_);
}

drovekeeper::spawn::LocalHourMinute ScriptedClock::LocalAt(std::int64_t ticks) {
  if (runtime_zone_) {
    const auto local = Env::LocalDateTimeAt(ticks);
    return local ? drovekeeper::spawn::LocalHourMinute{local->hour, local->minute}
                 : drovekeeper::spawn::LocalHourMinute{0, 0};
  }
  return OfDay(local_ticks_ + (ticks - now_ticks_));
}

std::int64_t ScriptedClock::OffsetTicks() const {
  std::int64_t offset =
      local_ticks_ - (now_ticks_ - FloorDiv(now_ticks_, kTicksPerDay) * kTicksPerDay);
  if (offset >= kTicksPerDay / 2) offset -= kTicksPerDay;
  if (offset < -kTicksPerDay / 2) offset += kTicksPerDay;
  return offset;
}

std::optional<drovekeeper::spawn::LocalDateTime> ScriptedClock::LocalDateTimeAt(
    std::int64_t ticks) {
  if (runtime_zone_) return Env::LocalDateTimeAt(ticks);
  const std::int64_t offset = OffsetTicks();
  const std::int64_t local = ticks + offset;
  // Civil date of a day count (proleptic Gregorian).
  std::int64_t days = FloorDiv(local, kTicksPerDay);
  const auto second_of_day =
      static_cast<int>((local - days * kTicksPerDay) / ScriptedClock::kTicksPerSecond);
  days += 719468;
  const std::int64_t era = FloorDiv(days, 146097);
  const std::int64_t day_of_era = days - era * 146097;
  const std::int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const std::int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t shifted_month = (5 * day_of_year + 2) / 153;
  const auto day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
  const auto month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
  const auto year = static_cast<int>(year_of_era + era * 400 + (month <= 2 ? 1 : 0));
  return drovekeeper::spawn::LocalDateTime{year,
                                           month,
                                           day,
                                           second_of_day / 3600,
                                           second_of_day / 60 % 60,
                                           second_of_day % 60,
                                           offset / ScriptedClock::kTicksPerSecond,
                                           zone_name_};
}

std::optional<std::int64_t> ScriptedClock::TicksAtLocal(int year, int month, int day, int hour,
                                                        int minute) {
  if (runtime_zone_) return Env::TicksAtLocal(year, month, day, hour, minute);
  const std::int64_t seconds =
      drovekeeper::spawn::DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60;
  return seconds * ScriptedClock::kTicksPerSecond - OffsetTicks();
}

int ScriptedClock::Rand() {
  ++draws_taken_;
  if (!draws_.empty()) {
    const int draw = draws_.front();
    draws_.pop_front();
    return draw;
  }
  if (repeated_.empty()) {
    OnUnscriptedDraw();
    return 0;
  }
  return repeated_[next_repeated_++ % repeated_.size()];
}

void ScriptedClock::OnUnscriptedDraw() {
  std::fputs("rand() called with no scripted draw left\n", stderr);
  std::abort();
}

void ScriptedClock::AdvanceSeconds(double seconds) {
  const std::int64_t ticks = TicksOf(seconds);
  now_ticks_ += ticks;
  local_ticks_ = (local_ticks_ + ticks) % kTicksPerDay;
  if (local_ticks_ < 0) local_ticks_ += kTicksPerDay;
}

void ScriptedClock::SetLocalTime(int hour, int minute, double second) {
  local_ticks_ = TicksOf(hour * 3600.0 + minute * 60.0 + second);
}

void ScriptedClock::QueueDraws(std::initializer_list<int> draws) {
  draws_.insert(draws_.end(), draws.begin(), draws.end());
}

void ScriptedClock::RepeatDraws(std::vector<int> draws) {
  repeated_ = std::move(draws);
  next_repeated_ = 0;
}
