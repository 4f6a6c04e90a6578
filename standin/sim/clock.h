// Simulated local time for drovekeeper-sim. The plug-in reads the C runtime's
// clock, so the simulator re-executes itself under libfaketime and sets the
// absolute time before each callback it runs. Called by the simulator only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sim {

// "YYYY-MM-DD HH:MM:SS" in local time (TZ) to seconds since the epoch; empty
// for malformed text or a date that does not exist.
std::optional<std::int64_t> ParseLocalTime(std::string_view text);

// Seconds since the epoch to "YYYY-MM-DD HH:MM:SS" in local time.
std::string FormatLocalTime(std::int64_t seconds);

// Once the process runs under the preloaded libfaketime: the start time it
// was re-executed with. Empty before.
std::optional<std::int64_t> FakeTimeStart();

// Re-executes this program with libfaketime preloaded and the clock set to
// `start`. Returns only on failure, with the reason.
std::string ReexecUnderFakeTime(char** argv, std::int64_t start);

// Sets the time every clock read reports from now on (under libfaketime only).
void SetFakeTime(std::int64_t seconds);

// Checks that the C runtime and std::chrono report `seconds`.
bool FakeTimeReads(std::int64_t seconds);

}  // namespace sim
