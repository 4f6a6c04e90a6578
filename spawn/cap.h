// The wild population cap: how many wild creatures of an entry's class stand
// in the persistent level, and whether the entry may spawn one more. Used by
// both spawn schedules (spawn/tick.cc, spawn/clock_schedule.cc).
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
std::int32_t CountWildOfClass(std::string_view name);

// Counts the entry's wild creatures and compares with its "Worldmaximum".
// False when the count is not below it or there is no level to spawn into.
// Throws on a missing or mistyped "Worldmaximum".
bool BelowWorldMaximum(std::string_view table, const std::string& name);
