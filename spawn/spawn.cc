#include "spawn/spawn.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "config/config.h"
#include "host/game_access.h"
#include "host/game_string.h"
#include "host/zelapi.h"
#include "spawn/cap.h"
#include "spawn/creature.h"
#include "spawn/entry_faults.h"
#include "spawn/env.h"
#include "spawn/notice.h"
#include "spawn/outcomes.h"
#include "spawn/position.h"
#include "spawn/tally.h"

namespace drovekeeper::spawn {

struct UClass;

namespace {

constexpr std::int32_t kMostPoints = 1688;
constexpr std::uint8_t kFullCount = 253;
constexpr std::array<int, 7> kLevelledStats = {0, 1, 3, 4, 7, 8, 9};
// Where a point goes when its drawn stat is full; stat 9 is not among them.
constexpr std::array<int, 6> kOverflowStats = {0, 1, 3, 4, 7, 8};
constexpr std::array<int, 3> kFilledStats = {0, 1, 4};

// What a spawn needs of its entry, read and checked before anything is
// spawned.
struct SpawnSettings {
  Vec3 location;
  std::int32_t max_level;
  bool level_fixed;
  bool notice;
};

SpawnSettings ReadSpawnSettings(std::string_view table, const std::string& name) {
  SpawnSettings settings{};
  settings.location = ComputeSpawnLocation(table, name);
  nlohmann::json& entry = config::EntrySettings(table, name);
  settings.max_level = config::ReadInt32(entry, config::kLevelKey);
  settings.level_fixed = config::ReadBool(entry, config::kFixedKey);
  if (settings.level_fixed && settings.max_level < 1) {
    throw EntryFault("\"Maxlevel\" must be 1 or more when \"levelFixed\" is true, but is " +
                     std::to_string(settings.max_level));
  }
  settings.notice = config::ReadBool(entry, config::kNoticeKey);
  if (settings.notice) static_cast<void>(config::ReadString(entry, config::kNameKey));
  return settings;
}

std::uint8_t* LevelUpCounts(UPrimalCharacterStatusComponent* component) {
  return &host::GameMember<std::uint8_t>(
      component, "UPrimalCharacterStatusComponent.NumberOfLevelUpPointsApplied");
}

// Stat index of one draw: 0..8 with 2, 5 and 6 moved onto 1, 4 and 9.
int DrawStat() {
  const int r = CurrentEnv().Rand() % 9;
  switch (r) {
    case 2:
      return 1;
    case 5:
      return 4;
    case 6:
      return 9;
    default:
      return r;
  }
}

void GivePoint(UPrimalCharacterStatusComponent* component) {
  const int stat = DrawStat();
  std::uint8_t* counts = LevelUpCounts(component);
  if (counts[stat] < kFullCount) {
    ++counts[stat];
    return;
  }
  for (int other : kOverflowStats) {
    if (counts[other] < kFullCount) {
      ++counts[other];
      return;
    }
  }
}

void RescaleAllStats(UPrimalCharacterStatusComponent* component) {
  host::CallGame<void>("UPrimalCharacterStatusComponent.RescaleAllStats", component);
}

void FillCurrentStats(UPrimalCharacterStatusComponent* component) {
  for (int stat : kFilledStats) {
    const float max = (&host::GameMember<float>(
        component, "UPrimalCharacterStatusComponent.MaxStatusValues"))[stat];
    (&host::GameMember<float>(component,
                              "UPrimalCharacterStatusComponent.CurrentStatusValues"))[stat] = max;
  }
}

}  // namespace

void FillSpawnParameters(SpawnParameters& parameters) {
  std::fill(std::begin(parameters.words), std::end(parameters.words), 0);
  parameters.flags &= ~std::uint32_t{0x3F};
  parameters.cleared_word = 0;
  parameters.preset_word = 8;
  std::fill(std::begin(parameters.tail), std::end(parameters.tail), 0);
}

SpawnResult SpawnEntryCreature(std::string_view table, const std::string& name,
                               SpawnedCreature* spawned) {
  // Whatever the game does from here on may change the level.
  ForgetWildTally();
  GameString class_path = GameString::FromNarrow(name);
  auto* cls = host::CallGame<UClass*>("UVictoryCore.BPLoadClass", class_path.record());
  if (cls == nullptr) return SpawnResult::kClassUnknown;

  Rot3 rotation{0.0f, 0.0f, 0.0f};
  // Zeroed first so that no stack garbage reaches the game.
  SpawnParameters parameters;
  std::memset(&parameters, 0, sizeof parameters);
  FillSpawnParameters(parameters);
  SpawnSettings settings = ReadSpawnSettings(table, name);

  UWorld* world = ZelApi::GetApiUtils().GetWorld();
  if (world == nullptr) return SpawnResult::kSpawnRefused;
  auto* creature = host::CallGame<AActor*>("UWorld.SpawnActor", world, cls, &settings.location,
                                           &rotation, &parameters);
  if (creature == nullptr) return SpawnResult::kSpawnRefused;

  UPrimalCharacterStatusComponent* component = StatusComponentOf(creature);
  if (component != nullptr) {
    if (settings.level_fixed) ApplyFixedLevel(component, settings.max_level);
    RescaleAllStats(component);
  }
  host::CallGame<void>("APrimalDinoCharacter.BeginPlay", creature);
  if (component != nullptr) {
    FillCurrentStats(component);
    RescaleAllStats(component);
  }
  if (settings.notice) SendSpawnNotice(table, name, creature, settings.location);
  if (spawned != nullptr) {
    spawned->location = settings.location;
    spawned->level = CreatureLevel(creature);
  }
  return SpawnResult::kSpawned;
}

TurnOutcome RunEntryTurn(std::string_view table, const std::string& name) {
  TurnOutcome turn;
  turn.cap = CheckWorldMaximum(table, name);
  if (!turn.cap.has_level) return turn;  // kSpawnRefused
  if (!turn.cap.below()) {
    turn.outcome = EntryOutcome::kHeldByCap;
    return turn;
  }
  switch (SpawnEntryCreature(table, name, &turn.spawned)) {
    case SpawnResult::kSpawned:
      turn.outcome = EntryOutcome::kSpawned;
      break;
    case SpawnResult::kClassUnknown:
      turn.outcome = EntryOutcome::kClassUnknown;
      break;
    case SpawnResult::kSpawnRefused:
      turn.outcome = EntryOutcome::kSpawnRefused;
      break;
  }
  return turn;
}

void TakeEntryTurn(std::string_view table, const std::string& name) {
  const TurnOutcome turn = RunEntryTurn(table, name);
  switch (turn.outcome) {
    case EntryOutcome::kSpawned:
      return CountSpawn(table, name, turn.spawned.location.X, turn.spawned.location.Y,
                        turn.spawned.level);
    case EntryOutcome::kHeldByCap:
      return CountHeldByCap(table, name, turn.cap.count, turn.cap.cap);
    default:
      return CountOutcome(table, name, turn.outcome);
  }
}

TurnOutcome TakeCommandedTurn(std::string_view table, const std::string& name) {
  const TurnOutcome turn = RunEntryTurn(table, name);
  if (turn.outcome == EntryOutcome::kSpawned) {
    CountSpawnOnCommand(table, name, turn.spawned.location.X, turn.spawned.location.Y,
                        turn.spawned.level);
  }
  return turn;
}

void ApplyFixedLevel(UPrimalCharacterStatusComponent* component, std::int32_t level) {
  host::GameMember<std::int32_t>(component, "UPrimalCharacterStatusComponent.BaseCharacterLevel") =
      level;
  for (int stat : kLevelledStats) LevelUpCounts(component)[stat] = 0;
  const std::int32_t points = level < 2 ? 0 : std::min(level - 1, kMostPoints);
  for (std::int32_t i = 0; i < points; ++i) GivePoint(component);
}

}  // namespace drovekeeper::spawn
