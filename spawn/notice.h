// The spawn notice: every player is told of a creature spawned from an entry
// whose "SpawnNotice" is true, with its name, level and map position. Called
// by spawn/spawn.cc after the creature is set up.
#pragma once

#include <string>
#include <string_view>

#include "host/game_types.h"

namespace drovekeeper::spawn {

struct AActor;
struct AWorldSettings;

struct MapPosition {
  float latitude;
  float longitude;
};

// Map latitude (from Y) and longitude (from X) of a world location, rounded
// down to one decimal. Scales reading as zero count as 800, origins reading
// as zero as -400000; null settings use those defaults throughout.
MapPosition MapCoordinates(const AWorldSettings* settings, float x, float y);

// "Dion (NAME) Level:LEVEL Spawn Position：YLAT LON！". The name is inserted
// as literal text; braces in it show as they are.
// MapCoordinates with the current world's settings, as the notice reads
// them; the defaults without a world.
MapPosition CurrentMapCoordinates(float x, float y);

std::u16string SpawnNoticeText(std::u16string_view name, int level, MapPosition position);

// Reads the entry's "Name", then sends the notice for `creature`, spawned at
// `location`, to every player controller that still resolves, in list
// order. A creature without a status component is announced at level 0.
void SendSpawnNotice(std::string_view table, const std::string& name, const AActor* creature,
                     const Vec3& location);

}  // namespace drovekeeper::spawn
