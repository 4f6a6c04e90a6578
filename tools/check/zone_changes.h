// --tz: which zone names the checker takes, and the changes of a zone's
// offset over a span, read through the C runtime with TZ set to the zone.
// Used by run_check.cc.
#pragma once

#include <cstdint>
#include <string>

#include "check/check.h"

namespace drovekeeper::check_tool {

// Empty when the C runtime reads `zone` as the zone it names (a zone file
// such as "Europe/Berlin", "UTC", or a rule such as
// "CET-1CEST,M3.5.0,M10.5.0/3"), else why not.
std::string CheckZoneName(const std::string& zone);

// The changes of `zone` from `from` up to `to` (seconds since the epoch),
// in order. TZ is the zone's meanwhile and as it was again afterwards.
check::ZoneChanges ChangesOfZone(const std::string& zone, std::int64_t from, std::int64_t to);

}  // namespace drovekeeper::check_tool
