#include "standin/model/map.h"

#include <algorithm>
#include <cmath>

namespace standin::model {
namespace {

constexpr float kDefaultScale = 800.0f;
constexpr float kDefaultOrigin = -400000.0f;
// rand() gives 0 to 32767, so a random move is 18888 + 0..32767.
constexpr double kNearestOffset = 18888;
constexpr double kFarthestOffset = 18888 + 32767;

float OrDefault(float value, float fallback) { return value == 0.0f ? fallback : value; }

}  // namespace

MapPoint ToMap(const WorldSettings& settings, float x, float y) {
  const float lat_scale = OrDefault(settings.latitude_scale, kDefaultScale);
  const float lon_scale = OrDefault(settings.longitude_scale, kDefaultScale);
  const float lat_origin = OrDefault(settings.latitude_origin, kDefaultOrigin);
  const float lon_origin = OrDefault(settings.longitude_origin, kDefaultOrigin);
  const float d_lat = 100.0f / lat_scale;
  const float d_lon = 100.0f / lon_scale;
  return {(std::fabs(lat_origin) * d_lat + y * d_lat) / 1000.0f,
          (std::fabs(lon_origin) * d_lon + x * d_lon) / 1000.0f};
}

MapPoint ToNoticeMap(const WorldSettings& settings, float x, float y) {
  MapPoint at = ToMap(settings, x, y);
  at.lon = std::floor(at.lon * 10.0f) / 10.0f;
  at.lat = std::floor(at.lat * 10.0f) / 10.0f;
  return at;
}

std::vector<Square> RandomSquares(std::int32_t base_x, std::int32_t base_y) {
  std::vector<Square> squares;
  for (int sx : {-1, 1}) {
    for (int sy : {-1, 1}) {
      const double near_x = base_x + sx * kNearestOffset;
      const double far_x = base_x + sx * kFarthestOffset;
      const double near_y = base_y + sy * kNearestOffset;
      const double far_y = base_y + sy * kFarthestOffset;
      squares.push_back({std::min(near_x, far_x), std::max(near_x, far_x), std::min(near_y, far_y),
                         std::max(near_y, far_y)});
    }
  }
  return squares;
}

}  // namespace standin::model
