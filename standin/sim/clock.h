// Simulated local time for drovekeeper-sim. The plug-in reads the C runtime's
// clock, so the simulator re-executes itself under libfaketime and sets the
// absolute time before each callback it runs; in the web build the C
// runtime's clock and local time come from web/clock.js, which SetFakeTime
// drives the same way. Called by the simulator only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace standin::sim {

// "YYYY-MM-DD HH:MM:SS" in local time (TZ) to seconds since the epoch; empty
// for malformed text or a date that does not exist.
std::optional<std::int64_t> ParseLocalTime(std::string_view text);

// ParseLocalTime with the reason for a refusal: not of the form, not a
// calendar date, skipped by the zone's clock change, or there twice (the hour
// the clocks go back: which one is meant cannot be told).
struct LocalTimeParse {
  std::optional<std::int64_t> seconds;
  std::string why;  // when `seconds` is empty; says what is wrong, without the text
};
LocalTimeParse ParseLocalTimeExplained(std::string_view text);

// Makes `zone` (a zone name such as "Europe/Berlin", or any TZ value) the
// process's local time zone, for this process and the programs it runs; with
// no `zone`, checks the TZ the process was given. Empty on success, else why
// the zone is unknown: the C runtime would silently read an unknown name as
// UTC.
std::string UseTimeZone(const std::optional<std::string>& zone);

// Empty when the C runtime reads `value` (a TZ value) as the zone it names,
// else why not: it would silently read an unknown name as UTC. Natively from
// the zone files (clock_native.cc), in the web build from the zones the
// JavaScript engine knows (clock_web.cc).
std::string UnknownZoneReason(std::string value);

// TZ as the user gave it; null when none was given.
const char* GivenTimeZone();
// Without TZ the C runtime looks its zone file up again on every mktime (and
// libfaketime runs one on every clock read): names that same file in TZ, while
// GivenTimeZone() stays null. Does nothing when TZ is set.
void NameSystemZoneInTz();

// The local time zone's name for the console: TZ's value, or the system's
// zone, with the abbreviation in force at `at`.
std::string LocalZoneName(std::int64_t at);

// Seconds since the epoch to "YYYY-MM-DD HH:MM:SS" in local time.
std::string FormatLocalTime(std::int64_t seconds);

// Seconds since the epoch to ISO 8601 UTC, "YYYY-MM-DDTHH:MM:SSZ".
std::string FormatUtcTime(std::int64_t seconds);

// The local zone's offset from UTC changing: summer time beginning or ending,
// or the zone's standard offset moving.
struct OffsetChange {
  std::int64_t at = 0;     // the first second on the new offset
  long offset_before = 0;  // seconds east of UTC
  long offset_after = 0;
  std::string zone_before;  // the abbreviations in force: "CEST", "CET"
  std::string zone_after;

  bool forward() const { return offset_after > offset_before; }
};

// The change of the local offset in (before, after], when the two times
// differ in offset. Meant for neighbouring seconds: a span holding two
// changes shows one of them, or none when they cancel out.
std::optional<OffsetChange> ClockChangeBetween(std::int64_t before, std::int64_t after);

// "clocks go back: 03:00 CEST is 02:00 CET", "clocks go forward: 02:00 CET is
// 03:00 CEST".
std::string DescribeClockChange(const OffsetChange& change);

// The local hours and minutes that the change skips (forward) or shows
// twice (back), in clock order.
std::vector<std::pair<int, int>> ShiftedMinutes(const OffsetChange& change);

// Native builds only: once the process runs under the preloaded
// libfaketime, the start time it was re-executed with. Empty before.
std::optional<std::int64_t> FakeTimeStart();

// Re-executes this program with libfaketime preloaded and the clock set to
// `start`. Returns only on failure, with the reason.
std::string ReexecUnderFakeTime(char** argv, std::int64_t start);

// Sets the time every clock read reports from now on (under libfaketime, or
// in the web build).
void SetFakeTime(std::int64_t seconds);

// Checks that the C runtime and std::chrono report `seconds`.
bool FakeTimeReads(std::int64_t seconds);

}  // namespace standin::sim
