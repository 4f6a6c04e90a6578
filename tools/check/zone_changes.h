// --tz: which zone names the checker takes, the changes of a zone's offset
// over a span and its wall-clock times, read through the C runtime with TZ
// set to the zone (or left as it is: the machine's local zone). Used by
// run_check.cc.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "check/check.h"

namespace drovekeeper::check_tool {

// Empty when the C runtime reads `zone` as the zone it names (a zone file
// such as "Europe/Berlin", "UTC", or a rule such as
// "CET-1CEST,M3.5.0,M10.5.0/3"), else why not.
std::string CheckZoneName(const std::string& zone);

// The changes of `zone` from `from` up to `to` (seconds since the epoch),
// in order. TZ is the zone's meanwhile and as it was again afterwards.
check::ZoneChanges ChangesOfZone(const std::string& zone, std::int64_t from, std::int64_t to);

// The local wall-clock times, as seconds since 1970-01-01 00:00 of the local
// calendar, at `count` instants `step` seconds apart from `from`, in `zone`
// or, without one, the machine's local zone.
std::vector<std::int64_t> LocalTimes(const std::optional<std::string>& zone, std::int64_t from,
                                     std::int64_t step, std::size_t count);

// The instant (seconds since the epoch) at which the local wall clock of
// `zone` shows `local`: the first of two when the clocks go back over it, and
// the instant that local time would have had when they skip it.
std::int64_t InstantOfLocal(const std::optional<std::string>& zone, std::int64_t local);

}  // namespace drovekeeper::check_tool
