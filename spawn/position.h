// Where a spawned creature is placed: an entry's "Position" text, moved at
// random when its "PositionRangeRandom" is true. Used by spawn/spawn.cc.
#pragma once

#include <string>
#include <string_view>

#include "host/game_string.h"
#include "host/game_types.h"

namespace drovekeeper::spawn {

// Reads "Position" then "PositionRangeRandom" of ConfigDocument[table][name].
// Fewer than three pieces give the origin; more than three are ignored.
Vec3 ComputeSpawnLocation(std::string_view table, const std::string& name);

// X and Y moved by 18888 to 51655 units to a random side each, Z 38000;
// the origin (Z 0 included) when `text` has fewer than three pieces.
// Draws in order: X side, Y side, X distance, Y distance.
Vec3 RandomizeSpawnLocation(GameString text);

}  // namespace drovekeeper::spawn
