// The stand-in game as the plug-in reaches it: by name through the host. What
// the plug-in's own tests go through anyway (the names it looks up, notices,
// RCON replies, class references) is left to them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/game_access.h"
#include "host/game_string.h"
#include "standin/game/console.h"
#include "standin/game/world.h"
#include "standin/host/host.h"
#include "tests/support/host_fixture.h"

namespace {

using standin::game::Actor;
using standin::game::GameClass;

constexpr char kRex[] = "/Game/T/Rex.Rex_C";

SpawnParameters SampleParameters() {
  SpawnParameters parameters{};
  parameters.flags = 0xFFC0;
  parameters.preset_word = 8;
  parameters.reserved52 = 0xDEAD;
  return parameters;
}

Actor* Spawn(standin::game::World& world, GameClass* game_class, Vec3 location = {1, 2, 3}) {
  Rot3 rotation{0, 0, 0};
  SpawnParameters parameters = SampleParameters();
  return drovekeeper::host::CallGame<Actor*>("UWorld.SpawnActor", world.game(), game_class,
                                             &location, &rotation, &parameters);
}

class StandinGameTest : public HostFixture {};

TEST_F(StandinGameTest, BPLoadClassResolvesBlueprintAndObjectPaths) {
  // Also a class of a blueprint named with the class suffix, and one whose
  // path holds a blank, which no object path names.
  standin::game::World& world = UseWorld(
      WorldBuilder().Class(kRex).Class("/P/A.A_C").Class("/P/A.A_C_C").Class("/P/B B.B_C"));
  struct Case {
    std::string path;
    const char* reference;  // null: nothing loads
  };
  for (const Case& c : std::vector<Case>{{"Blueprint'/Game/T/Rex.Rex'", kRex},
                                         {"Blueprint'/P/A.A'", "/P/A.A_C"},
                                         {"Blueprint'/P/B.B'", nullptr},
                                         {"blueprint'/P/A.A'", nullptr},
                                         {"/P/A.A", "/P/A.A_C"},
                                         {"/P/A.A_C", "/P/A.A_C"},
                                         {"/Game/T/Rex.Rex", kRex},
                                         {"/P/A.A_C_C", "/P/A.A_C_C"},
                                         {"Blueprint'/P/B B.B'", nullptr},
                                         {"/P/B B.B", nullptr},
                                         {"\"/P/A.A\"", nullptr},
                                         {"/P/A", nullptr},
                                         {"/P/B.B", nullptr},
                                         {"Blueprint'/P/A.A_C'", nullptr},
                                         {"Blueprint'/P/A.A", nullptr},
                                         {"Blueprint''", nullptr},
                                         {"", nullptr}}) {
    GameString path = GameString::FromNarrow(c.path);
    auto* loaded =
        drovekeeper::host::CallGame<GameClass*>("UVictoryCore.BPLoadClass", path.record());
    EXPECT_EQ(loaded, c.reference ? world.FindClass(c.reference) : nullptr) << c.path;
  }
}

TEST_F(StandinGameTest, SpawnActorRefusesWhatTheGameWouldNot) {
  standin::game::World& world = UseWorld(WorldBuilder()
                                             .Class(kRex)
                                             .Class("/Game/Statue.Statue_C", true, false)
                                             .Class("/Game/Rock.Rock_C", false, true));
  EXPECT_EQ(Spawn(world, nullptr), nullptr);
  EXPECT_EQ(Spawn(world, world.FindClass("/Game/Statue.Statue_C")), nullptr);
  EXPECT_EQ(Spawn(world, world.FindClass("/Game/Rock.Rock_C")), nullptr);
  world.SetRefuseSpawns(true);
  EXPECT_EQ(Spawn(world, world.FindClass(kRex)), nullptr);
  EXPECT_EQ(world.refused_spawns(), 4);
  EXPECT_TRUE(world.Spawns().empty());
  EXPECT_TRUE(world.actors().empty());
}

TEST_F(StandinGameTest, SpawnActorAddsAWildCreatureAndRecordsTheCall) {
  standin::game::World& world = UseWorld(WorldBuilder().Seed(7).SpawnLevels(10, 20).Class(kRex));
  Actor* actor = Spawn(world, world.FindClass(kRex), {100, -200, 300});
  ASSERT_NE(actor, nullptr);
  ASSERT_EQ(world.actors().size(), 1u);
  EXPECT_EQ(world.actors()[0], actor);
  EXPECT_LT(drovekeeper::host::GameMember<std::int32_t>(actor, "AActor.TargetingTeam"), 49999);
  EXPECT_EQ(world.CountCreatures(world.FindClass(kRex), true), 1);

  void* status =
      drovekeeper::host::GameMember<void*>(actor, "APrimalCharacter.MyCharacterStatusComponent");
  std::int32_t level = drovekeeper::host::GameMember<std::int32_t>(
      status, "UPrimalCharacterStatusComponent.BaseCharacterLevel");
  EXPECT_GE(level, 10);
  EXPECT_LE(level, 20);

  std::vector<standin::game::SpawnRecord> spawns = world.Spawns();
  ASSERT_EQ(spawns.size(), 1u);
  EXPECT_EQ(spawns[0].class_reference, kRex);
  EXPECT_EQ(spawns[0].location.Y, -200.0f);
  EXPECT_EQ(spawns[0].level_at_spawn, level);
  SpawnParameters expected = SampleParameters();
  EXPECT_EQ(std::memcmp(&spawns[0].parameters, &expected, sizeof(expected)), 0);
  EXPECT_FALSE(spawns[0].began_play);

  // The game's level comes from the world's own seeded generator.
  standin::game::World same(7);
  same.SetSpawnLevelRange(10, 20);
  SpawnParameters parameters = SampleParameters();
  same.SpawnActor(same.AddClass(kRex), {}, {}, parameters);
  EXPECT_EQ(same.Spawns()[0].level_at_spawn, level);
}

TEST_F(StandinGameTest, StatusComponentRescalesAndBeginPlayStarts) {
  standin::game::World& world = UseWorld(WorldBuilder().Class(kRex));
  Actor* actor = Spawn(world, world.FindClass(kRex));
  void* status =
      drovekeeper::host::GameMember<void*>(actor, "APrimalCharacter.MyCharacterStatusComponent");
  auto& points = drovekeeper::host::GameMember<std::uint8_t>(
      status, "UPrimalCharacterStatusComponent.NumberOfLevelUpPointsApplied");
  auto* max_values = &drovekeeper::host::GameMember<float>(
      status, "UPrimalCharacterStatusComponent.MaxStatusValues");
  auto* current = &drovekeeper::host::GameMember<float>(
      status, "UPrimalCharacterStatusComponent.CurrentStatusValues");
  EXPECT_LT(current[0], max_values[0]);  // a fresh spawn is not yet at full health

  (&points)[0] = 10;
  (&points)[4] = 0;
  drovekeeper::host::CallGame<void>("UPrimalCharacterStatusComponent.RescaleAllStats", status);
  EXPECT_FLOAT_EQ(max_values[0], 200 * 2.0f);
  EXPECT_FLOAT_EQ(max_values[4], 1000.0f);
  drovekeeper::host::CallGame<void>("APrimalDinoCharacter.BeginPlay", actor);

  standin::game::SpawnRecord spawn = world.Spawns()[0];
  EXPECT_TRUE(spawn.began_play);
  EXPECT_EQ(spawn.rescale_calls, 1);
  EXPECT_EQ(spawn.points[0], 10);
  EXPECT_EQ(world.rescale_calls(), 1);

  // A killed creature keeps its last state in the spawn record.
  EXPECT_EQ(world.KillCreatures(world.FindClass(kRex), 5), 1);
  EXPECT_TRUE(world.actors().empty());
  spawn = world.Spawns()[0];
  EXPECT_FALSE(spawn.alive);
  EXPECT_TRUE(spawn.began_play);
  EXPECT_EQ(spawn.points[0], 10);

  // The newest spawns alone, the live one as it is now.
  drovekeeper::host::CallGame<void>("APrimalDinoCharacter.BeginPlay",
                                    Spawn(world, world.FindClass(kRex)));
  const std::vector<standin::game::SpawnRecord> newest = world.Spawns(1);
  ASSERT_EQ(newest.size(), 1u);
  EXPECT_TRUE(newest[0].alive && newest[0].began_play);
  EXPECT_TRUE(world.Spawns(2).empty());
}

TEST_F(StandinGameTest, KillAndCountCreaturesPerClass) {
  standin::game::World& world = UseWorld(WorldBuilder()
                                             .Creatures(kRex, 3)
                                             .Creatures("Blueprint'/Game/T/Rex.Rex'", 2, 50000)
                                             .Creatures("/Game/Dodo.Dodo_C", 1));
  GameClass* rex = world.FindClass(kRex);
  EXPECT_EQ(world.CountCreatures(rex), 5);
  EXPECT_EQ(world.CountCreatures(rex, true), 3);
  // A kill takes wild creatures only, however many are asked for; tamed ones
  // only when asked.
  EXPECT_EQ(world.KillCreatures(rex, 4), 3);
  EXPECT_EQ(world.CountCreatures(rex), 2);
  EXPECT_EQ(world.CountCreatures(rex, true), 0);
  EXPECT_EQ(world.KillCreatures(rex, 1, /*tamed=*/true), 1);
  EXPECT_EQ(world.CountCreatures(rex), 1);
  EXPECT_EQ(world.CountCreatures(world.FindClass("/Game/Dodo.Dodo_C")), 1);
  const auto& actors = drovekeeper::host::GameMember<GameArrayRecord<Actor*>>(
      drovekeeper::host::GameMember<void*>(world.game(), "UWorld.PersistentLevel"),
      "ULevelBase.Actors");
  EXPECT_EQ(actors.count, 2);
  // The census kept as creatures come and go agrees with a fresh walk.
  GameClass* dodo = world.FindClass("/Game/Dodo.Dodo_C");
  auto census_holds = [&] {
    for (const GameClass* c : {rex, dodo}) {
      EXPECT_EQ(world.WildCreatures(c), world.CountCreatures(c, true)) << c->reference;
    }
  };
  census_holds();
  std::uint64_t census = world.census();
  Spawn(world, dodo);
  world.SetSpawnTeam(50000);
  Spawn(world, rex);
  EXPECT_EQ(world.census(), census + 2);
  census_holds();
  EXPECT_EQ(world.KillCreatures(rex, 2, /*tamed=*/true), 2);
  EXPECT_EQ(world.KillCreatures(dodo, 1), 1);
  census_holds();
  EXPECT_EQ(world.WildCreatures(dodo), 1);
}

TEST_F(StandinGameTest, WeakPointersOfPlayers) {
  standin::game::World& world =
      UseWorld(WorldBuilder().Player("alice").Player("gone", false).Player("bob"));
  auto& list = drovekeeper::host::GameMember<GameArrayRecord<FWeakObjectPtr>>(
      world.game(), "UWorld.PlayerControllerList");
  ASSERT_EQ(list.count, 3);
  std::vector<void*> resolved;
  for (int i = 0; i < list.count; ++i) {
    FWeakObjectPtr copy = list.data[i];
    resolved.push_back(drovekeeper::host::CallGame<void*>("FWeakObjectPtr.Get", &copy, false));
  }
  EXPECT_EQ(resolved[0], world.players()[0].get());
  EXPECT_EQ(resolved[1], nullptr);
  EXPECT_EQ(resolved[2], world.players()[2].get());

  FWeakObjectPtr alice = list.data[0];
  world.RemovePlayer(world.players()[0].get());
  auto& after = drovekeeper::host::GameMember<GameArrayRecord<FWeakObjectPtr>>(
      world.game(), "UWorld.PlayerControllerList");
  EXPECT_EQ(after.count, 2);
  EXPECT_EQ(drovekeeper::host::CallGame<void*>("FWeakObjectPtr.Get", &alice, false), nullptr);
}

TEST_F(StandinGameTest, WorldSettingsAndMissingLevel) {
  standin::game::World& world =
      UseWorld(WorldBuilder().Settings(400, 800, -1, 0).NoPersistentLevel());
  void* settings =
      drovekeeper::host::CallGame<void*>("UWorld.GetWorldSettings", world.game(), false, true);
  ASSERT_NE(settings, nullptr);
  EXPECT_EQ(drovekeeper::host::GameMember<float>(settings, "APrimalWorldSettings.LatitudeScale"),
            400.0f);
  EXPECT_EQ(drovekeeper::host::GameMember<float>(settings, "APrimalWorldSettings.LongitudeScale"),
            800.0f);
  EXPECT_EQ(drovekeeper::host::GameMember<float>(settings, "APrimalWorldSettings.LatitudeOrigin"),
            -1.0f);
  EXPECT_EQ(drovekeeper::host::GameMember<float>(settings, "APrimalWorldSettings.LongitudeOrigin"),
            0.0f);
  EXPECT_EQ(drovekeeper::host::GameMember<void*>(world.game(), "UWorld.PersistentLevel"), nullptr);

  world.RemoveWorldSettings();
  EXPECT_EQ(
      drovekeeper::host::CallGame<void*>("UWorld.GetWorldSettings", world.game(), false, true),
      nullptr);
}

TEST_F(StandinGameTest, ConsoleAnswersEveryRequestAndNamesUnknownCommands) {
  UseWorld();
  ZelApi::GetCommands().AddRconCommand(
      GameString::FromNarrow("Echo"),
      [](RCONClientConnection* connection, RCONPacket* packet, UWorld*) {
        const auto* record = reinterpret_cast<const RCONPacketRecord*>(packet);
        GameString text = GameString::Exact(u"\u91cd");
        drovekeeper::host::CallGame<void>("RCONClientConnection.SendMessageW", connection,
                                          record->id, std::int32_t{0}, text.record());
        drovekeeper::host::CallGame<void>("RCONClientConnection.SendMessageW", connection,
                                          record->id, std::int32_t{0}, text.record());
      });
  ZelApi::GetCommands().AddRconCommand(GameString::FromNarrow("Quiet"),
                                       [](RCONClientConnection*, RCONPacket*, UWorld*) {});
  struct Case {
    std::string line;
    bool known;
    std::string sent;  // what the client receives
  };
  for (const Case& c :
       std::vector<Case>{{"echo twice", true, "\xe9\x87\x8d\xe9\x87\x8d"},
                         {"Quiet", true, ""},
                         {"Drovekeeper.reload now", false, "unknown command: Drovekeeper.reload"},
                         {"  ", false, "unknown command: (none)"}}) {
    std::vector<std::string> sent;
    standin::rcon::RconRequest request{
        c.line, 3, {}, standin::rcon::RconReply([&](std::optional<std::string> r) {
          sent.push_back(r.value_or("(dropped)"));
        })};
    const standin::game::RconOutcome outcome = standin::game::RunRconCommand(request);
    EXPECT_EQ(outcome.known, c.known) << c.line;
    EXPECT_EQ(sent, std::vector<std::string>{c.sent}) << c.line;
    EXPECT_EQ(outcome.reply.has_value(), !c.sent.empty()) << c.line;
  }
}

TEST_F(StandinGameTest, DestroyedWorldLeavesTheHost) {
  auto world = WorldBuilder().Class(kRex).Build();
  world->Install();
  EXPECT_EQ(standin::game::World::Installed(), world.get());
  world.reset();
  EXPECT_EQ(ZelApi::GetApiUtils().GetWorld(), nullptr);
  GameString path = GameString::FromNarrow("Blueprint'/Game/T/Rex.Rex'");
  EXPECT_EQ(drovekeeper::host::CallGame<GameClass*>("UVictoryCore.BPLoadClass", path.record()),
            nullptr);
}

}  // namespace
