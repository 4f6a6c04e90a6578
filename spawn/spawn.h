// One turn of an entry: the cap, then one creature spawned (class, position,
// spawn, fixed level, stats and notice). Taken by both spawn schedules and,
// on the operator's command, by the spawn command (plugin/spawn_command.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "host/game_types.h"
#include "spawn/cap.h"
#include "spawn/outcomes.h"

namespace drovekeeper::spawn {

struct UPrimalCharacterStatusComponent;

// The record handed to "UWorld.SpawnActor"; `reserved52` keeps whatever
// `parameters` held before.
void FillSpawnParameters(SpawnParameters& parameters);

// How a spawn that threw nothing ended.
enum class SpawnResult { kSpawned, kClassUnknown, kSpawnRefused };

// Loads the class named by `name` and, when it loads, reads and checks every
// setting the spawn needs before spawning, so a faulty entry spawns nothing.
// A class that does not load, a missing world or a refused spawn end the
// turn silently; a faulty setting throws.
//
// A creature without a status component is spawned and started, but neither
// levelled, rescaled nor stat-filled; its notice shows level 0.
// On kSpawned, `spawned` (when given) receives where and at which level.
struct SpawnedCreature {
  Vec3 location{};
  std::int32_t level = 0;
};
SpawnResult SpawnEntryCreature(std::string_view table, const std::string& name,
                               SpawnedCreature* spawned = nullptr);

// What became of a turn that threw nothing.
struct TurnOutcome {
  EntryOutcome outcome = EntryOutcome::kSpawnRefused;
  CapCheck cap;             // kHeldByCap: the count and the cap it met
  SpawnedCreature spawned;  // kSpawned: where and at which level
};

// One turn of an entry: the cap, then the spawn when below it; no level to
// count in or spawn into is a refused spawn. Counts nothing; a faulty
// setting throws.
TurnOutcome RunEntryTurn(std::string_view table, const std::string& name);

// The turn of an entry that fell due: RunEntryTurn, its outcome counted
// (spawn/outcomes.h) unless it throws; the walk that catches counts the
// failure.
void TakeEntryTurn(std::string_view table, const std::string& name);

// A turn the operator asked for outside the schedule: RunEntryTurn, counted
// as spawned on command when it spawned and never as fell due; the entry's
// countdown and clock stay as they are. A faulty setting throws, uncounted.
TurnOutcome TakeCommandedTurn(std::string_view table, const std::string& name);

// Sets the level to `level` and hands out min(level - 1, 1688) level-up
// points at random over stats 0, 1, 3, 4, 7, 8 and 9, none above 253.
// A level below 2 hands out none.
void ApplyFixedLevel(UPrimalCharacterStatusComponent* component, std::int32_t level);

}  // namespace drovekeeper::spawn
