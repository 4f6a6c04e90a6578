// The wild population cap: how many wild creatures of an entry's class stand
// in the persistent level, and whether the entry may spawn one more. Used by
// both spawn schedules (spawn/tick.cc, spawn/clock_schedule.cc); the timer
// run opens and closes the counting run, the spawn forgets the tally.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct AActor;
struct ULevel;

// The current world's persistent level, or null when the host has no world
// or the world no level; then nothing is counted or spawned.
ULevel* CurrentPersistentLevel();

// "Blueprint'" + the class's string reference less its last two characters
// + "'", in UTF-8; empty when the actor's class cannot be read.
std::string BlueprintReference(const AActor* actor);

// Wild creatures (creature class, team below 49999) in the persistent level
// whose BlueprintReference equals `name` byte for byte. 0 without a level.
//
// Inside a counting run the first count walks the level once and tallies
// every wild creature by its reference; later counts of the same run read
// the tally. After the plug-in changes the level (ForgetWildTally) the next
// count tallies only the actors appended since the last walk, or walks
// again when the level changed in any other way. Outside a run every count
// walks the level afresh.
std::int32_t CountWildOfClass(std::string_view name);

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

// Brackets one timer run. The world changes between runs, so the tally is
// dropped at both ends and never outlives the run.
void BeginCountingRun();
void EndCountingRun();

// The plug-in is about to change the level (a spawn): the next count in
// this run brings the tally up to date first.
void ForgetWildTally();

enum class CountStrategy {
  kTally,     // one walk per run, again after each spawn (the default)
  kPerEntry,  // a fresh walk for every count
};

// Tests and benchmarks compare the two strategies through this.
void SetCountStrategyForTesting(CountStrategy strategy);
