#include "spawn/env.h"

#include <array>
#include <cstdlib>
#include <ctime>

#include "spawn/state.h"

namespace drovekeeper::spawn {

namespace {

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

// The C runtime's local time; its reentrant form differs by platform.
std::optional<std::tm> RuntimeLocalTm(std::int64_t ticks) {
  const auto seconds = static_cast<std::time_t>(FloorDiv(ticks, kTicksPerSecond));
  std::tm local{};
#if defined(_WIN32)
  if (localtime_s(&local, &seconds) != 0) return std::nullopt;
#else
  if (localtime_r(&seconds, &local) == nullptr) return std::nullopt;
#endif
  return local;
}

LocalHourMinute LocalOf(std::time_t at) {
  std::tm local{};
  localtime_r(&at, &local);
  return {local.tm_hour, local.tm_min};
}

class RuntimeEnv final : public Env {
 public:
  std::int64_t NowTicks() override { return RuntimeNowTicks(); }

  LocalHourMinute LocalNow() override { return LocalOf(std::time(nullptr)); }

  LocalHourMinute LocalAt(std::int64_t ticks) override {
    // Rounded down to the second, also before the epoch.
    std::int64_t seconds = ticks / kTicksPerSecond;
    if (ticks % kTicksPerSecond < 0) --seconds;
    return LocalOf(static_cast<std::time_t>(seconds));
  }

  // Draws are 0 to 32767 wherever the server runs; RAND_MAX + 1 is a
  // multiple of 32768 here, so the reduction stays uniform.
  int Rand() override { return std::rand() % 32768; }
};

RuntimeEnv runtime_env;  // no state: the C runtime has it

}  // namespace

std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const std::int64_t era = FloorDiv(year, 400);
  const std::int64_t year_of_era = year - era * 400;
  const std::int64_t day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

std::optional<LocalDateTime> Env::LocalDateTimeAt(std::int64_t ticks) {
  const std::optional<std::tm> t = RuntimeLocalTm(ticks);
  if (!t) return std::nullopt;
  std::array<char, 64> name{};
  const std::size_t length = std::strftime(name.data(), name.size(), "%Z", &*t);
  // The offset from the calendar itself: tm_gmtoff is not everywhere.
  const std::int64_t local_seconds =
      DaysFromCivil(t->tm_year + 1900, t->tm_mon + 1, t->tm_mday) * 86400 + t->tm_hour * 3600 +
      t->tm_min * 60 + t->tm_sec;
  return LocalDateTime{t->tm_year + 1900,
                       t->tm_mon + 1,
                       t->tm_mday,
                       t->tm_hour,
                       t->tm_min,
                       t->tm_sec,
                       local_seconds - FloorDiv(ticks, kTicksPerSecond),
                       std::string(name.data(), length)};
}

std::optional<std::int64_t> Env::TicksAtLocal(int year, int month, int day, int hour, int minute) {
  std::tm wanted{};
  wanted.tm_year = year - 1900;
  wanted.tm_mon = month - 1;
  wanted.tm_mday = day;
  wanted.tm_hour = hour;
  wanted.tm_min = minute;
  wanted.tm_sec = 0;
  wanted.tm_isdst = -1;
  const std::time_t at = std::mktime(&wanted);
  if (at == static_cast<std::time_t>(-1)) return std::nullopt;
  return static_cast<std::int64_t>(at) * kTicksPerSecond;
}

Env& CurrentEnv() { return state.replaced_env != nullptr ? *state.replaced_env : runtime_env; }

void SetEnvForTesting(Env* env) { state.replaced_env = env; }

}  // namespace drovekeeper::spawn
