// The web build's clock: the C runtime's wall clock and local time come from
// web/clock.js, which takes the simulated time from here and the zone from TZ
// as the C runtime would.
#include <chrono>
#include <ctime>
#include <string>

#include "standin/sim/clock.h"

extern "C" {
// web/clock.js: every clock read reports `seconds` from now on.
void dk_clock_set(double seconds);
// web/clock.js: 1 when the JavaScript engine knows the zone named.
int dk_clock_zone_known(const char* zone);
}

namespace standin::sim {

std::string UnknownZoneReason(std::string value) {
  if (value.empty() || value == "UTC" || value == "GMT") return "";
  if (value.front() == ':') value.erase(0, 1);
  if (dk_clock_zone_known(value.c_str()) != 0) return "";
  return "no such zone among those this browser knows";
}

void SetFakeTime(std::int64_t seconds) { dk_clock_set(static_cast<double>(seconds)); }

bool FakeTimeReads(std::int64_t seconds) {
  SetFakeTime(seconds);
  auto chrono = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  return std::time(nullptr) == seconds && chrono == seconds;
}

}  // namespace standin::sim
