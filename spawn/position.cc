#include "spawn/position.h"

#include <cstdint>

#include "config/config.h"
#include "config/position_number.h"
#include "host/game_array.h"
#include "spawn/env.h"

namespace drovekeeper::spawn {

namespace {

constexpr std::int32_t kSmallestOffset = 18888;
constexpr std::int32_t kOffsetModulus = 100000;
constexpr float kRandomHeight = 38000.0f;

std::int32_t PieceNumber(const host::GameArray<GameString>& pieces, std::int32_t index) {
  return config::ParsePositionNumber(pieces[index].View());
}

// One axis of the random mode; the sum is formed in 64 bits so that a base
// near the 32-bit limits does not wrap.
float MoveAxis(std::int32_t base, int side) {
  const std::int64_t distance = CurrentEnv().Rand() % kOffsetModulus + kSmallestOffset;
  const std::int64_t moved = side == 0 ? base - distance : base + distance;
  return static_cast<float>(moved);
}

}  // namespace

Vec3 ComputeSpawnLocation(std::string_view table, const std::string& name) {
  Vec3 location{0.0f, 0.0f, 0.0f};
  nlohmann::json& entry = config::EntrySettings(table, name);
  GameString text = GameString::FromNarrow(config::ReadString(entry, config::kPositionKey));
  {
    host::GameArray<GameString> pieces;
    if (host::SplitAtSpaces(text, pieces) >= 3) {
      location.X = static_cast<float>(PieceNumber(pieces, 0));
      location.Y = static_cast<float>(PieceNumber(pieces, 1));
      location.Z = static_cast<float>(PieceNumber(pieces, 2));
    }
  }
  if (config::ReadBool(entry, config::kRandomKey)) location = RandomizeSpawnLocation(text);
  return location;
}

Vec3 RandomizeSpawnLocation(GameString text) {
  Vec3 location{0.0f, 0.0f, 0.0f};
  host::GameArray<GameString> pieces;
  if (host::SplitAtSpaces(text, pieces) < 3) return location;
  // Both sides are drawn before any distance.
  const int side_x = CurrentEnv().Rand() % 2;
  const int side_y = CurrentEnv().Rand() % 2;
  location.X = MoveAxis(PieceNumber(pieces, 0), side_x);
  location.Y = MoveAxis(PieceNumber(pieces, 1), side_y);
  location.Z = kRandomHeight;
  return location;
}

}  // namespace drovekeeper::spawn
