// The stand-in's model of where the plug-in's spawns land: the map position
// a notice prints for a world location, and the squares a random position
// can land in. Also the one record of the world settings' four map members,
// shared by the game world, the simulator's world file and the report.
#pragma once

#include <cstdint>
#include <vector>

namespace standin::model {

// The world settings' four map members as the game stores them; zero means
// the game's default (scales 800, origins -400000).
struct WorldSettings {
  float latitude_scale = 0;
  float longitude_scale = 0;
  float latitude_origin = 0;
  float longitude_origin = 0;
};

struct MapPoint {
  float lat = 0;
  float lon = 0;
};

// Latitude from Y and longitude from X in 32-bit float arithmetic, as the
// notices compute them, before their rounding.
MapPoint ToMap(const WorldSettings& settings, float x, float y);
// The same rounded down to one decimal, as a notice prints it.
MapPoint ToNoticeMap(const WorldSettings& settings, float x, float y);

// World-space bounds of one of the four squares a random position around
// (base_x, base_y) can land in: each axis moves 18888 to 51655 units to
// either side.
struct Square {
  double min_x, max_x, min_y, max_y;
};
std::vector<Square> RandomSquares(std::int32_t base_x, std::int32_t base_y);

}  // namespace standin::model
