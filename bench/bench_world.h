// Large stand-in levels and configurations for the run benchmarks: half the
// actors are creatures of a few classes (one in eight of them tamed), the rest
// other actors; every entry is due on every run. Benchmarks only.
#pragma once

#include <cstdint>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "standin/game/world.h"

inline constexpr int kPopulatedClasses = 4;

// The blueprint path of the i-th creature class; classes below
// kPopulatedClasses have creatures in the level.
std::string CreatureEntryName(int i);

// A world of `actors` actors with the creature classes for `classes`
// entries, installed in the stand-in host.
std::unique_ptr<standin::game::World> BuildBenchWorld(int actors, int classes);

// A "SpawnDino" table of `entries` entries due on every run: held by a cap
// of 0, or spawning under a cap no count reaches.
nlohmann::json BenchConfig(int entries, bool spawning);

// Removes one creature of each entry's class, undoing a spawning run.
void UndoSpawns(standin::game::World& world, int entries);
