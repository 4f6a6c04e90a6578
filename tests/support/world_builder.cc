#include "tests/support/world_builder.h"

#include <utility>

namespace {

// The class of that name, made a spawnable creature class when new.
standin::game::GameClass* CreatureClass(standin::game::World& world, std::string_view name) {
  std::string reference = WorldBuilder::Reference(name);
  if (standin::game::GameClass* existing = world.FindClass(reference)) return existing;
  return world.AddClass(reference);
}

}  // namespace

std::string WorldBuilder::Reference(std::string_view name) {
  std::string reference = standin::game::ReferenceFromBlueprint(name);
  return reference.empty() ? std::string(name) : reference;
}

WorldBuilder& WorldBuilder::Seed(std::uint32_t seed) {
  seed_ = seed;
  return *this;
}

WorldBuilder& WorldBuilder::Class(std::string_view name, bool creature, bool spawnable) {
  steps_.push_back([reference = Reference(name), creature, spawnable](standin::game::World& world) {
    world.AddClass(reference, creature, spawnable);
  });
  return *this;
}

WorldBuilder& WorldBuilder::Creatures(std::string_view name, int count, std::int32_t team,
                                      std::int32_t level) {
  steps_.push_back([name = std::string(name), count, team, level](standin::game::World& world) {
    standin::game::GameClass* game_class = CreatureClass(world, name);
    for (int i = 0; i < count; ++i) world.AddCreature(game_class, team, level);
  });
  return *this;
}

WorldBuilder& WorldBuilder::Actors(std::string_view name, int count, std::int32_t team) {
  steps_.push_back([reference = Reference(name), count, team](standin::game::World& world) {
    standin::game::GameClass* game_class = world.FindClass(reference);
    if (game_class == nullptr) game_class = world.AddClass(reference, false, false);
    for (int i = 0; i < count; ++i) world.AddActor(game_class, team);
  });
  return *this;
}

WorldBuilder& WorldBuilder::NullActors(int count) {
  steps_.push_back([count](standin::game::World& world) {
    for (int i = 0; i < count; ++i) world.AddNullActor();
  });
  return *this;
}

WorldBuilder& WorldBuilder::Player(std::string name, bool resolvable) {
  steps_.push_back([name = std::move(name), resolvable](standin::game::World& world) {
    world.AddPlayer(name, resolvable);
  });
  return *this;
}

WorldBuilder& WorldBuilder::Settings(float latitude_scale, float longitude_scale,
                                     float latitude_origin, float longitude_origin) {
  steps_.push_back([=](standin::game::World& world) {
    world.SetWorldSettings({latitude_scale, longitude_scale, latitude_origin, longitude_origin});
  });
  return *this;
}

WorldBuilder& WorldBuilder::NoSettings() {
  steps_.push_back([](standin::game::World& world) { world.RemoveWorldSettings(); });
  return *this;
}

WorldBuilder& WorldBuilder::NoPersistentLevel() {
  steps_.push_back([](standin::game::World& world) { world.SetHasPersistentLevel(false); });
  return *this;
}

WorldBuilder& WorldBuilder::RefuseSpawns() {
  steps_.push_back([](standin::game::World& world) { world.SetRefuseSpawns(true); });
  return *this;
}

WorldBuilder& WorldBuilder::SpawnWithoutStatus() {
  steps_.push_back([](standin::game::World& world) { world.SetSpawnWithoutStatus(true); });
  return *this;
}

WorldBuilder& WorldBuilder::SpawnLevels(std::int32_t min, std::int32_t max) {
  steps_.push_back([=](standin::game::World& world) { world.SetSpawnLevelRange(min, max); });
  return *this;
}

std::unique_ptr<standin::game::World> WorldBuilder::Build() const {
  auto world = std::make_unique<standin::game::World>(seed_);
  for (const auto& step : steps_) step(*world);
  return world;
}
