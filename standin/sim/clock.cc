#include "standin/sim/clock.h"

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

namespace sim {
namespace {

constexpr char kFakeTimeLibrary[] = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";
// Set in the re-executed process so it does not re-execute again.
constexpr char kMarker[] = "DROVEKEEPER_SIM_FAKETIME";

}  // namespace

std::optional<std::int64_t> ParseLocalTime(std::string_view text) {
  static constexpr std::string_view kShape = "0000-00-00 00:00:00";
  if (text.size() != kShape.size()) return std::nullopt;
  for (std::size_t i = 0; i < kShape.size(); ++i) {
    bool digit = text[i] >= '0' && text[i] <= '9';
    if (kShape[i] == '0' ? !digit : text[i] != kShape[i]) return std::nullopt;
  }
  std::string copy(text);
  int year, month, day, hour, minute, second;
  std::sscanf(copy.c_str(), "%d-%d-%d %d:%d:%d", &year, &month, &day, &hour, &minute, &second);
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  std::time_t t = std::mktime(&tm);
  if (t == static_cast<std::time_t>(-1)) return std::nullopt;
  // mktime normalises out-of-range fields; a real date survives unchanged.
  // (A local time skipped by a clock change also fails here.)
  if (tm.tm_year != year - 1900 || tm.tm_mon != month - 1 || tm.tm_mday != day ||
      tm.tm_hour != hour || tm.tm_min != minute || tm.tm_sec != second) {
    return std::nullopt;
  }
  return static_cast<std::int64_t>(t);
}

std::string FormatLocalTime(std::int64_t seconds) {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buffer[32];
  std::strftime(buffer, sizeof(buffer), "%Y-%m-%d %H:%M:%S", &tm);
  return buffer;
}

std::optional<std::int64_t> FakeTimeStart() {
  const char* value = std::getenv(kMarker);
  if (value == nullptr) return std::nullopt;
  char* end = nullptr;
  long long start = std::strtoll(value, &end, 10);
  if (end == value || *end != '\0') return std::nullopt;
  return start;
}

std::string ReexecUnderFakeTime(char** argv, std::int64_t start) {
  if (access(kFakeTimeLibrary, R_OK) != 0) {
    return std::string("simulated time needs libfaketime (") + kFakeTimeLibrary +
           "): install the libfaketime package";
  }
  std::string preload = kFakeTimeLibrary;
  if (const char* old = std::getenv("LD_PRELOAD"); old != nullptr && *old != '\0') {
    // Whatever was preloaded before (a sanitizer runtime) must stay first.
    preload = std::string(old) + ":" + preload;
  }
  setenv("LD_PRELOAD", preload.c_str(), 1);
  setenv("FAKETIME_NO_CACHE", "1", 1);
  // Epoch seconds are unambiguous across clock changes, unlike a local date.
  setenv("FAKETIME_FMT", "%s", 1);
  setenv("FAKETIME", std::to_string(start).c_str(), 1);
  // The real-time loop sleeps and measures on the monotonic clock.
  setenv("FAKETIME_DONT_FAKE_MONOTONIC", "1", 1);
  setenv(kMarker, std::to_string(start).c_str(), 1);
#if defined(__SANITIZE_ADDRESS__)
  // libfaketime comes before the sanitizer runtime in the load order.
  std::string asan = "verify_asan_link_order=0";
  if (const char* old = std::getenv("ASAN_OPTIONS"); old != nullptr && *old != '\0') {
    asan = std::string(old) + ":" + asan;
  }
  setenv("ASAN_OPTIONS", asan.c_str(), 1);
#endif
  execv("/proc/self/exe", argv);
  return std::string("cannot re-execute under libfaketime: ") + std::strerror(errno);
}

void SetFakeTime(std::int64_t seconds) {
  // setenv keeps every value it replaces: one string lost per simulated
  // second. One entry, put into the environment once and rewritten in place,
  // keeps a week-long run flat.
  static char entry[48] = "FAKETIME=";
  static bool placed = false;
  constexpr std::size_t kPrefix = sizeof("FAKETIME=") - 1;
  std::snprintf(entry + kPrefix, sizeof(entry) - kPrefix, "%lld", static_cast<long long>(seconds));
  if (!placed) {
    putenv(entry);
    placed = true;
  }
}

bool FakeTimeReads(std::int64_t seconds) {
  SetFakeTime(seconds);
  auto chrono = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  return std::time(nullptr) == seconds && chrono == seconds;
}

}  // namespace sim
