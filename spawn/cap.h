// The wild population cap: how many wild creatures of an entry's class stand
// in the persistent level, and whether the entry may spawn one more. Used by
// both spawn schedules (spawn/tick.cc, spawn/clock_schedule.cc); inside a
// timer run the counts come from the run's tally (spawn/tally.h).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace drovekeeper::spawn {

// Wild creatures (creature class, team below 49999) in the persistent level
// whose blueprint reference ("Blueprint'" + the class's string reference
// less its last two characters + "'", in UTF-8; empty when the class cannot
// be read) equals `name` byte for byte. 0 without a level.
//
// Inside a counting run the count is the tally's; outside one every count
// walks the level afresh.
std::int32_t CountWildOfClass(std::string_view name);

// The wild count of each of `names`, counted as the cap counts, in one walk
// of the level whatever their number; nothing without a level. For the
// status command, between timer runs, never inside one.
std::optional<std::vector<std::int32_t>> CountWildOfClasses(
    const std::vector<std::string_view>& names);

// What the cap found for one turn: the entry's wild creatures and its
// "Worldmaximum"; without a level nothing is counted or read.
struct CapCheck {
  bool has_level = false;
  std::int32_t count = 0;
  std::int32_t cap = 0;

  bool below() const { return has_level && count < cap; }
};

// Counts the entry's wild creatures and reads its "Worldmaximum". Throws on
// a missing or mistyped "Worldmaximum".
CapCheck CheckWorldMaximum(std::string_view table, const std::string& name);

// CheckWorldMaximum(...).below(): false when the count is not below the cap
// or there is no level to spawn into.
bool BelowWorldMaximum(std::string_view table, const std::string& name);

enum class CountStrategy {
  kTally,     // one walk per run, again after each spawn (the default)
  kPerEntry,  // a fresh walk for every count
};

// Tests and benchmarks compare the two strategies through this.
void SetCountStrategyForTesting(CountStrategy strategy);

}  // namespace drovekeeper::spawn
