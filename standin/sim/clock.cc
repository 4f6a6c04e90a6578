#include "standin/sim/clock.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

namespace standin::sim {
namespace {

constexpr char kFakeTimeLibrary[] = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";
// Set in the re-executed process so it does not re-execute again.
constexpr char kMarker[] = "DROVEKEEPER_SIM_FAKETIME";
// Without TZ the C runtime looks its zone file up again on every mktime,
// which libfaketime runs on every clock read. The re-executed process names
// that file in TZ instead, and says so here, so that it still reads as a
// process that was given no TZ.
constexpr char kNoTzMarker[] = "DROVEKEEPER_SIM_NO_TZ";
constexpr char kRuntimeZoneFile[] = ":/etc/localtime";

}  // namespace

const char* GivenTimeZone() {
  if (std::getenv(kNoTzMarker) != nullptr) return nullptr;
  return std::getenv("TZ");
}

void NameSystemZoneInTz() {
  if (std::getenv("TZ") != nullptr) return;
  setenv("TZ", kRuntimeZoneFile, 1);
  setenv(kNoTzMarker, "1", 1);
  tzset();
}

namespace {

bool SameFields(const std::tm& a, const std::tm& b) {
  return a.tm_year == b.tm_year && a.tm_mon == b.tm_mon && a.tm_mday == b.tm_mday &&
         a.tm_hour == b.tm_hour && a.tm_min == b.tm_min && a.tm_sec == b.tm_sec;
}

std::string ZoneDir() {
  const char* dir = std::getenv("TZDIR");
  return dir != nullptr && *dir != '\0' ? dir : "/usr/share/zoneinfo";
}

// A compiled zone file, as the C runtime reads them.
bool IsZoneFile(const std::string& path) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return false;
  std::ifstream file(path, std::ios::binary);
  char magic[4] = {};
  file.read(magic, sizeof(magic));
  return file && std::string_view(magic, sizeof(magic)) == "TZif";
}

// Empty when the C runtime reads `value` as the zone it names, else why not.
std::string CheckZone(std::string value) {
  if (value.empty() || value == "UTC" || value == "GMT") return "";
  if (value.front() == ':') value.erase(0, 1);
  const std::string path = value.starts_with("/") ? value : ZoneDir() + "/" + value;
  if (IsZoneFile(path)) return "";
  // A rule written out, such as "CET-1CEST,M3.5.0,M10.5.0/3".
  static const std::regex kRule(
      "([A-Za-z]{3,}|<[A-Za-z0-9+-]{3,}>)[+-]?[0-9]{1,2}(:[0-9]{2}){0,2}"
      "(([A-Za-z]{3,}|<[A-Za-z0-9+-]{3,}>)([+-]?[0-9]{1,2}(:[0-9]{2}){0,2})?(,[^,]+,[^,]+)?)?");
  if (std::regex_match(value, kRule)) return "";
  return "no such zone in " + (value.starts_with("/") ? value : ZoneDir());
}

// TZ's value, or the system's zone.
std::string ZoneName() {
  if (const char* tz = GivenTimeZone(); tz != nullptr) {
    std::string name = *tz == ':' ? tz + 1 : tz;
    return name.empty() ? "UTC" : name;
  }
  std::error_code error;
  std::string target = std::filesystem::read_symlink("/etc/localtime", error).string();
  const std::size_t base = target.find("zoneinfo/");
  return !error && base != std::string::npos ? target.substr(base + 9) : "of the system";
}

// The calendar fields of "YYYY-MM-DD HH:MM:SS"; nullopt for any other shape.
std::optional<std::tm> ReadFields(std::string_view text) {
  static constexpr std::string_view kShape = "0000-00-00 00:00:00";
  if (text.size() != kShape.size()) return std::nullopt;
  for (std::size_t i = 0; i < kShape.size(); ++i) {
    bool digit = text[i] >= '0' && text[i] <= '9';
    if (kShape[i] == '0' ? !digit : text[i] != kShape[i]) return std::nullopt;
  }
  std::string copy(text);
  int year, month, day, hour, minute, second;
  std::sscanf(copy.c_str(), "%d-%d-%d %d:%d:%d", &year, &month, &day, &hour, &minute, &second);
  std::tm wanted{};
  wanted.tm_year = year - 1900;
  wanted.tm_mon = month - 1;
  wanted.tm_mday = day;
  wanted.tm_hour = hour;
  wanted.tm_min = minute;
  wanted.tm_sec = second;
  return wanted;
}

// The local times that read as `wanted`: none when the clocks skip it, two in
// the hour they go back.
std::vector<std::time_t> LocalTimesReading(const std::tm& wanted) {
  std::vector<std::time_t> found;
  for (int dst : {0, 1}) {
    std::tm tm = wanted;
    tm.tm_isdst = dst;
    std::time_t t = std::mktime(&tm);
    std::tm local{};
    if (t == static_cast<std::time_t>(-1) || localtime_r(&t, &local) == nullptr ||
        !SameFields(local, wanted) || local.tm_isdst != dst) {
      continue;
    }
    if (std::find(found.begin(), found.end(), t) == found.end()) found.push_back(t);
  }
  return found;
}

}  // namespace

LocalTimeParse ParseLocalTimeExplained(std::string_view text) {
  LocalTimeParse result;
  const std::optional<std::tm> wanted = ReadFields(text);
  if (!wanted) {
    result.why = "is not a local time of the form \"YYYY-MM-DD HH:MM:SS\"";
    return result;
  }
  // timegm normalises out-of-range fields; a real date survives unchanged.
  std::tm calendar = *wanted;
  if (timegm(&calendar) == static_cast<std::time_t>(-1) || !SameFields(calendar, *wanted)) {
    result.why = "is not a date and time of the calendar";
    return result;
  }
  const std::vector<std::time_t> found = LocalTimesReading(*wanted);
  const std::string zone = ZoneName();
  if (found.empty()) {
    result.why =
        "does not exist in the time zone " + zone + ": the clocks go forward over it that night";
  } else if (found.size() > 1) {
    result.why = "happens twice in the time zone " + zone +
                 ": the clocks go back over it that night; choose a time outside that hour";
  } else {
    result.seconds = static_cast<std::int64_t>(found.front());
  }
  return result;
}

std::optional<std::int64_t> ParseLocalTime(std::string_view text) {
  return ParseLocalTimeExplained(text).seconds;
}

std::string UseTimeZone(const std::optional<std::string>& zone) {
  const char* given = GivenTimeZone();
  if (zone.has_value()) {
    if (std::string why = CheckZone(*zone); !why.empty()) {
      return "--tz: unknown time zone \"" + *zone + "\": " + why;
    }
    // Inherited by the process re-executed under libfaketime, and read by the
    // plug-in's clock in this one.
    setenv("TZ", zone->c_str(), 1);
    unsetenv(kNoTzMarker);
  } else if (given != nullptr) {
    if (std::string why = CheckZone(given); !why.empty()) {
      return std::string("TZ=") + given + ": unknown time zone: " + why +
             " (give a zone such as Europe/Berlin with TZ or --tz)";
    }
  }
  tzset();
  return "";
}

std::string LocalZoneName(std::int64_t at) {
  std::string name = ZoneName();
  const auto t = static_cast<std::time_t>(at);
  std::tm local{};
  localtime_r(&t, &local);
  if (local.tm_zone != nullptr && name != local.tm_zone) {
    name += std::string(" (") + local.tm_zone + ")";
  }
  return name;
}

std::string FormatLocalTime(std::int64_t seconds) {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buffer[32];
  std::strftime(buffer, sizeof(buffer), "%Y-%m-%d %H:%M:%S", &tm);
  return buffer;
}

std::string FormatUtcTime(std::int64_t seconds) {
  const auto t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buffer[32];
  std::strftime(buffer, sizeof(buffer), "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buffer;
}

namespace {

struct LocalOffset {
  long offset = 0;
  std::string zone;
};

LocalOffset OffsetAt(std::int64_t at) {
  const auto t = static_cast<std::time_t>(at);
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return {};
  return {local.tm_gmtoff, local.tm_zone != nullptr ? local.tm_zone : ""};
}

// What a clock on `offset` shows at `at`: "03:00", with the seconds when a
// historical change falls between minutes.
std::string WallText(std::int64_t at, long offset) {
  const auto t = static_cast<std::time_t>(at + offset);
  std::tm wall{};
  gmtime_r(&t, &wall);
  char text[16];
  std::strftime(text, sizeof(text), wall.tm_sec == 0 ? "%H:%M" : "%H:%M:%S", &wall);
  return text;
}

}  // namespace

std::optional<OffsetChange> ClockChangeBetween(std::int64_t before, std::int64_t after) {
  if (after <= before) return std::nullopt;
  const LocalOffset now = OffsetAt(after);
  if (OffsetAt(before).offset == now.offset) return std::nullopt;
  // The first second on the new offset.
  std::int64_t old_side = before;
  std::int64_t new_side = after;
  while (new_side - old_side > 1) {
    const std::int64_t middle = old_side + (new_side - old_side) / 2;
    (OffsetAt(middle).offset == now.offset ? new_side : old_side) = middle;
  }
  const LocalOffset was = OffsetAt(new_side - 1);
  return OffsetChange{new_side, was.offset, now.offset, was.zone, now.zone};
}

std::string DescribeClockChange(const OffsetChange& change) {
  return std::string("clocks go ") + (change.forward() ? "forward" : "back") + ": " +
         WallText(change.at, change.offset_before) + " " + change.zone_before + " is " +
         WallText(change.at, change.offset_after) + " " + change.zone_after;
}

std::vector<std::pair<int, int>> ShiftedMinutes(const OffsetChange& change) {
  // Forward, the old clock's last hour before it jumps; back, the new clock's
  // first hour, which the old clock showed already.
  const std::int64_t first = change.at + std::min(change.offset_before, change.offset_after);
  const std::int64_t shift = std::abs(change.offset_after - change.offset_before);
  std::vector<std::pair<int, int>> minutes;
  for (std::int64_t wall = first; wall < first + shift; wall += 60) {
    const auto t = static_cast<std::time_t>(wall);
    std::tm tm{};
    gmtime_r(&t, &tm);
    minutes.emplace_back(tm.tm_hour, tm.tm_min);
  }
  return minutes;
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
  NameSystemZoneInTz();
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DROVEKEEPER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(DROVEKEEPER_ASAN)
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

}  // namespace standin::sim
