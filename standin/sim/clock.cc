#include "standin/sim/clock.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace standin::sim {
namespace {

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
    if (std::string why = UnknownZoneReason(*zone); !why.empty()) {
      return "--tz: unknown time zone \"" + *zone + "\": " + why;
    }
    // Inherited by the process re-executed under libfaketime, and read by the
    // plug-in's clock in this one.
    setenv("TZ", zone->c_str(), 1);
    unsetenv(kNoTzMarker);
  } else if (given != nullptr) {
    if (std::string why = UnknownZoneReason(given); !why.empty()) {
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

}  // namespace standin::sim
