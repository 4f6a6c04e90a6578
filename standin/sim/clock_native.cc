// The native simulator's clock: zone files as the C runtime reads them, and
// libfaketime preloaded to drive the C runtime's clock.
#include <unistd.h>

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

#include "standin/sim/clock.h"

namespace standin::sim {
namespace {

constexpr char kFakeTimeLibrary[] = "/usr/lib/x86_64-linux-gnu/faketime/libfaketime.so.1";
// Set in the re-executed process so it does not re-execute again.
constexpr char kMarker[] = "DROVEKEEPER_SIM_FAKETIME";

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

}  // namespace

std::string UnknownZoneReason(std::string value) {
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
