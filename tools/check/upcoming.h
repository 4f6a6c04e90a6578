// --upcoming: when each entry of a configuration falls due in a window of
// runs, by the plug-in's own rules and without a world: clock entries at
// their local minute, countdown entries counted from a load at the window's
// start; caps, classes and spawns aside. Used by run_check.cc.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace drovekeeper::check_tool {

// One turn of one entry.
struct DueTurn {
  std::int64_t at = 0;     // seconds since the epoch
  std::int64_t local = 0;  // the local wall clock then, seconds since 1970-01-01 00:00
  std::string table;
  std::string entry;
  std::string schedule;  // "every 31 minutes", "at 21:0"
};

// The turns of `document`'s entries over one run a minute from `from`, run
// k at from + 60 k with `local_times[k]` on the wall clock; in time order,
// and within one run in the plug-in's order: the countdown table, then the
// clock table, each by name. A load parses the document and builds its
// tables first, so a table that is not an object, or an entry whose
// schedule cannot be read, has no turns.
std::vector<DueTurn> UpcomingTurns(const nlohmann::json& document, std::int64_t from,
                                   const std::vector<std::int64_t>& local_times);

// "2027-03-28 03:00 +02:00  SpawnDinoX["NAME"] at 3:0"
std::string FormatTurn(const DueTurn& turn);

// "2027-03-28 03:00" of a local wall-clock time.
std::string LocalDateTime(std::int64_t local);

}  // namespace drovekeeper::check_tool
