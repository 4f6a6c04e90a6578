#include "tools/check/zone_changes.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>

namespace drovekeeper::check_tool {

namespace {

#ifndef _WIN32
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

#endif

// `local` as seconds since 1970-01-01 00:00 of its calendar.
std::int64_t SecondsOf(const std::tm& local) {
  const std::chrono::sys_days day{std::chrono::year{local.tm_year + 1900} /
                                  std::chrono::month{static_cast<unsigned>(local.tm_mon + 1)} /
                                  std::chrono::day{static_cast<unsigned>(local.tm_mday)}};
  return std::int64_t{day.time_since_epoch().count()} * 86400 + local.tm_hour * 3600 +
         local.tm_min * 60 + local.tm_sec;
}

// The local wall-clock time at `at`, as seconds since 1970-01-01 00:00 of
// the local calendar: of the zone in force, or of UTC.
std::int64_t LocalSeconds(std::int64_t at, bool utc = false) {
  const auto t = static_cast<std::time_t>(at);
  std::tm local{};
#ifdef _WIN32
  utc ? gmtime_s(&local, &t) : localtime_s(&local, &t);
#else
  utc ? gmtime_r(&t, &local) : localtime_r(&t, &local);
#endif
  return SecondsOf(local);
}

#ifndef _WIN32

// TZ as the process had it, put back when done; left alone without a zone.
class ZoneInForce {
 public:
  explicit ZoneInForce(const std::optional<std::string>& zone) : set_(zone.has_value()) {
    if (!set_) return;
    if (const char* given = std::getenv("TZ")) given_ = given;
    setenv("TZ", zone->c_str(), 1);
    tzset();
  }
  ~ZoneInForce() {
    if (!set_) return;
    if (given_) {
      setenv("TZ", given_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  ZoneInForce(const ZoneInForce&) = delete;
  ZoneInForce& operator=(const ZoneInForce&) = delete;

 private:
  bool set_;
  std::optional<std::string> given_;
};

std::int64_t OffsetAt(std::int64_t at) { return LocalSeconds(at) - at; }
#else
// Windows has no zone files: only the machine's zone, or UTC.
class ZoneInForce {
 public:
  explicit ZoneInForce(const std::optional<std::string>&) {}
};
#endif

bool IsUtc(const std::optional<std::string>& zone) {
  return zone && (*zone == "UTC" || *zone == "GMT");
}

}  // namespace

std::string CheckZoneName(const std::string& zone) {
  const std::string unknown = "unknown time zone \"" + zone + "\": ";
  if (IsUtc(zone)) return "";
#ifdef _WIN32
  return unknown +
         "zones are read from the zone files of Linux; run the check there, or give UTC, or no "
         "--tz for this machine's zone";
#else
  std::string name = zone;
  if (!name.empty() && name.front() == ':') name.erase(0, 1);
  const std::string path = name.starts_with("/") ? name : ZoneDir() + "/" + name;
  if (!name.empty() && IsZoneFile(path)) return "";
  // A rule written out: names of three letters or more, offsets, and the
  // two dates of change.
  static const std::regex kRule(
      "([A-Za-z]{3,}|<[A-Za-z0-9+-]{3,}>)[+-]?[0-9]{1,2}(:[0-9]{2}){0,2}"
      "(([A-Za-z]{3,}|<[A-Za-z0-9+-]{3,}>)([+-]?[0-9]{1,2}(:[0-9]{2}){0,2})?(,[^,]+,[^,]+)?)?");
  if (std::regex_match(name, kRule)) return "";
  return unknown + "no such zone in " + (name.starts_with("/") ? name : ZoneDir());
#endif
}

check::ZoneChanges ChangesOfZone(const std::string& zone, std::int64_t from, std::int64_t to) {
  check::ZoneChanges found{zone, {}};
#ifndef _WIN32
  ZoneInForce in_force(zone);
  // No zone changes its offset twice within a quarter of an hour.
  constexpr std::int64_t kStep = 900;
  for (std::int64_t at = from; at < to; at += kStep) {
    const std::int64_t next = std::min(at + kStep, to);
    if (OffsetAt(at) == OffsetAt(next)) continue;
    // The first second under the new offset.
    std::int64_t low = at;
    std::int64_t high = next;
    while (high - low > 1) {
      const std::int64_t middle = low + (high - low) / 2;
      (OffsetAt(middle) == OffsetAt(at) ? low : high) = middle;
    }
    found.changes.push_back({high + OffsetAt(low), LocalSeconds(high)});
  }
#else
  static_cast<void>(from);
  static_cast<void>(to);
#endif
  return found;
}

std::vector<std::int64_t> LocalTimes(const std::optional<std::string>& zone, std::int64_t from,
                                     std::int64_t step, std::size_t count) {
  ZoneInForce in_force(zone);
  std::vector<std::int64_t> times;
  times.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    times.push_back(LocalSeconds(from + static_cast<std::int64_t>(i) * step, IsUtc(zone)));
  }
  return times;
}

std::int64_t InstantOfLocal(const std::optional<std::string>& zone, std::int64_t local) {
  ZoneInForce in_force(zone);
  const auto offset = [&](std::int64_t at) { return LocalSeconds(at, IsUtc(zone)) - at; };
  // The offset before the time and the one after it; the earlier reading of
  // the two that the clock shows, or the one before when it shows neither.
  const std::int64_t early = local - offset(local - 86400);
  const std::int64_t late = local - offset(local + 86400);
  for (const std::int64_t at : {std::min(early, late), std::max(early, late)}) {
    if (LocalSeconds(at, IsUtc(zone)) == local) return at;
  }
  return early;
}

}  // namespace drovekeeper::check_tool
