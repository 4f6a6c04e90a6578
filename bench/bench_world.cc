#include "bench/bench_world.h"

#include <fmt/format.h>

#include "standin/game/allocator.h"
#include "standin/host/host.h"

std::string CreatureEntryName(int i) {
  return fmt::format("Blueprint'/Game/Fauna/Beast{0}/Beast{0}_BP.Beast{0}_BP'", i);
}

namespace {

std::string CreatureReference(int i) {
  return fmt::format("/Game/Fauna/Beast{0}/Beast{0}_BP.Beast{0}_BP_C", i);
}

}  // namespace

std::unique_ptr<standin::game::World> BuildBenchWorld(int actors, int classes) {
  standin::host::Reset();
  auto world = std::make_unique<standin::game::World>(7);
  std::vector<standin::game::GameClass*> creature_classes;
  for (int i = 0; i < std::max(classes, kPopulatedClasses); ++i) {
    creature_classes.push_back(world->AddClass(CreatureReference(i)));
  }
  standin::game::GameClass* other[] = {
      world->AddClass("/Game/Structures/Wall/Wall_BP.Wall_BP_C", false, false),
      world->AddClass("/Game/Structures/Campfire/Campfire_BP.Campfire_BP_C", false, false),
      world->AddClass("/Game/Items/Crate/Crate_BP.Crate_BP_C", false, false),
  };
  for (int i = 0; i < actors; ++i) {
    if (i % 2 == 0) {
      const int creature = i / 2;
      const std::int32_t team = creature % 8 == 7 ? 50000 + creature % 100 : 0;
      world->AddCreature(creature_classes[creature % kPopulatedClasses], team, 1 + creature % 150);
    } else {
      world->AddActor(other[(i / 2) % 3]);
    }
  }
  world->Install();
  return world;
}

nlohmann::json BenchConfig(int entries, bool spawning) {
  nlohmann::json table = nlohmann::json::object();
  for (int i = 0; i < entries; ++i) {
    table[CreatureEntryName(i)] = {
        {"SpawnInterval", 0},
        {"Worldmaximum", spawning ? 1'000'000'000 : 0},
        {"Position", "1000 2000 300"},
        {"PositionRangeRandom", false},
        {"Maxlevel", 30},
        {"levelFixed", false},
        {"SpawnNotice", false},
    };
  }
  return {{"SpawnDino", table}, {"SpawnDinoX", nlohmann::json::object()}};
}

void UndoSpawns(standin::game::World& world, int entries) {
  for (int i = 0; i < entries; ++i) world.KillCreatures(world.FindClass(CreatureReference(i)), 1);
}
