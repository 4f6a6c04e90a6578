// Builds stand-in worlds for tests in a few chained calls:
//
//   standin::game::World& world = UseWorld(WorldBuilder()
//       .Creatures("Blueprint'/Game/Rex.Rex'", 2)           // wild
//       .Creatures("/Game/Rex.Rex_C", 1, /*team=*/50000)     // tamed
//       .Player("alice").Player("gone", /*resolvable=*/false));
//
// Classes are named by reference ("/P/A.A_C") or by blueprint path
// ("Blueprint'/P/A.A'"); a class named for creatures is a spawnable creature
// class unless Class() said otherwise before.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "standin/game/world.h"

class WorldBuilder {
 public:
  WorldBuilder& Seed(std::uint32_t seed);
  WorldBuilder& Class(std::string_view name, bool creature = true, bool spawnable = true);
  WorldBuilder& Creatures(std::string_view name, int count, std::int32_t team = 0,
                          std::int32_t level = 1);
  // Actors of a class that is no creature class.
  WorldBuilder& Actors(std::string_view name, int count, std::int32_t team = 0);
  WorldBuilder& NullActors(int count);
  WorldBuilder& Player(std::string name, bool resolvable = true);
  WorldBuilder& Settings(float latitude_scale, float longitude_scale, float latitude_origin,
                         float longitude_origin);
  WorldBuilder& NoSettings();
  WorldBuilder& NoPersistentLevel();
  WorldBuilder& RefuseSpawns();
  WorldBuilder& SpawnWithoutStatus();
  WorldBuilder& SpawnLevels(std::int32_t min, std::int32_t max);

  // The world, not yet installed.
  std::unique_ptr<standin::game::World> Build() const;

  // "/P/A.A_C" for either spelling of a class name.
  static std::string Reference(std::string_view name);

 private:
  std::uint32_t seed_ = 1;
  std::vector<std::function<void(standin::game::World&)>> steps_;
};
