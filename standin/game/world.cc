#include "standin/game/world.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

#include "standin/game/allocator.h"
#include "standin/game/console.h"
#include "standin/host/host.h"

namespace standin::game {

using host::RegisterFunction;
using host::RegisterMember;
using host::Utf16ToUtf8;
using host::Utf8ToUtf16;

namespace {

World* installed_world = nullptr;

constexpr std::string_view kBlueprintPrefix = "Blueprint'";
constexpr std::string_view kClassSuffix = "_C";

bool IsObjectPath(std::string_view path) {
  return !path.empty() && std::none_of(path.begin(), path.end(), [](char c) {
    return static_cast<unsigned char>(c) <= ' ' || c == '\x7F' || c == '\'' || c == '"';
  });
}

// Per-stat base values that RescaleAllStats scales by the points applied.
constexpr float kBaseStatusValues[kStatCount] = {200, 150, 200, 150, 1000, 100,
                                                 100, 150, 100, 100, 100,  0};

// The stats wild creatures put their points into.
constexpr int kLevelledStats[] = {0, 1, 3, 4, 7, 8, 9};

void Rescale(StatusComponent& status) {
  for (int i = 0; i < kStatCount; ++i) {
    status.max_status_values[i] =
        status.base_status_values[i] * (1.0f + 0.1f * status.level_up_points[i]);
  }
}

std::u16string TextOf(const GameStringRecord* record) {
  if (record == nullptr || record->data == nullptr || record->count <= 1) return {};
  return std::u16string(record->data, record->count - 1);
}

// ---- The functions entered in the host's name table.

bool GameIsA(const Actor* object, const GameClass* game_class) {
  if (object == nullptr || game_class == nullptr || object->game_class == nullptr) return false;
  if (object->game_class == game_class) return true;
  return game_class == CreatureBaseClass() && object->game_class->creature;
}

GameClass* GameGetPrivateStaticClass() { return CreatureBaseClass(); }

GameStringRecord* GameClassToStringReference(GameStringRecord* result,
                                             const GameClass* game_class) {
  AllocatorFree(result->data);
  *result = GameStringRecord{nullptr, 0, 0};
  if (game_class == nullptr || game_class->reference.empty()) return result;
  const std::u16string& text = game_class->reference_text;
  auto count = static_cast<std::int32_t>(text.size() + 1);
  auto* data = static_cast<char16_t*>(AllocatorMalloc(count * sizeof(char16_t), 0));
  std::memcpy(data, text.c_str(), count * sizeof(char16_t));
  *result = GameStringRecord{data, count, count};
  return result;
}

GameClass* GameBPLoadClass(const GameStringRecord* path) {
  if (installed_world == nullptr) return nullptr;
  return installed_world->LoadClass(Utf16ToUtf8(TextOf(path)));
}

Actor* GameSpawnActor(UWorld* world, GameClass* game_class, const Vec3* location,
                      const Rot3* rotation, const SpawnParameters* parameters) {
  return World::FromGame(world)->SpawnActor(game_class, *location, *rotation, *parameters);
}

void GameRescaleAllStats(StatusComponent* status) {
  Rescale(*status);
  status->rescale_calls++;
  if (installed_world != nullptr) installed_world->CountRescale();
}

void GameBeginPlay(Creature* creature) {
  creature->began_play = true;
  creature->begin_play_calls++;
}

WorldSettings* GameGetWorldSettings(UWorld* world, bool, bool) {
  return World::FromGame(world)->settings();
}

void* GameWeakGet(const FWeakObjectPtr* weak, bool) {
  if (installed_world == nullptr) return nullptr;
  return installed_world->Resolve(*weak);
}

void GameNotify(PlayerController* player, const GameStringRecord* text, const GameColour* colour,
                float scale, float time, void* icon, void* sound) {
  Notice notice{TextOf(text), *colour, scale, time, icon == nullptr, sound == nullptr};
  if (installed_world != nullptr) {
    installed_world->Notify(player, std::move(notice));
  } else {
    player->notices.push_back(std::move(notice));
  }
}

}  // namespace

std::string ReferenceFromBlueprint(std::string_view blueprint) {
  if (blueprint.size() <= kBlueprintPrefix.size() + 1 || !blueprint.starts_with(kBlueprintPrefix) ||
      blueprint.back() != '\'') {
    return {};
  }
  blueprint.remove_prefix(kBlueprintPrefix.size());
  blueprint.remove_suffix(1);
  if (!IsObjectPath(blueprint) || blueprint.ends_with(kClassSuffix)) return {};
  return std::string(blueprint) + std::string(kClassSuffix);
}

std::string BlueprintFromReference(std::string_view reference) {
  if (!reference.ends_with(kClassSuffix) || reference.size() == kClassSuffix.size()) return {};
  reference.remove_suffix(kClassSuffix.size());
  return std::string(kBlueprintPrefix) + std::string(reference) + "'";
}

std::vector<std::string> LoadCandidates(std::string_view path) {
  if (std::string reference = ReferenceFromBlueprint(path); !reference.empty()) return {reference};
  if (!IsObjectPath(path)) return {};
  return {std::string(path), std::string(path) + std::string(kClassSuffix)};
}

GameClass* CreatureBaseClass() {
  static GameClass base{"/Script/Standin.CreatureBase_C", u"/Script/Standin.CreatureBase_C", true,
                        false};
  return &base;
}

World::World(std::uint32_t seed) : generator_(seed) {
  level_.actors = GameArrayRecord<Actor*>{nullptr, 0, 0};
  record_ = WorldRecord{&level_, GameArrayRecord<FWeakObjectPtr>{nullptr, 0, 0}, this};
}

World::~World() {
  if (installed_world == this) {
    installed_world = nullptr;
    if (host::GetWorld() == game()) host::SetWorld(nullptr);
  }
}

void World::Install() {
  RegisterAllocator();
  RegisterMember("UObjectBase.Class", offsetof(Actor, game_class));
  RegisterMember("AActor.TargetingTeam", offsetof(Actor, targeting_team));
  RegisterMember("UWorld.PersistentLevel", offsetof(WorldRecord, persistent_level));
  RegisterMember("ULevelBase.Actors", offsetof(LevelRecord, actors));
  RegisterMember("UWorld.PlayerControllerList", offsetof(WorldRecord, player_controllers));
  RegisterMember("APrimalCharacter.MyCharacterStatusComponent", offsetof(Creature, status));
  RegisterMember("UPrimalCharacterStatusComponent.BaseCharacterLevel",
                 offsetof(StatusComponent, base_character_level));
  RegisterMember("UPrimalCharacterStatusComponent.NumberOfLevelUpPointsApplied",
                 offsetof(StatusComponent, level_up_points));
  RegisterMember("UPrimalCharacterStatusComponent.MaxStatusValues",
                 offsetof(StatusComponent, max_status_values));
  RegisterMember("UPrimalCharacterStatusComponent.CurrentStatusValues",
                 offsetof(StatusComponent, current_status_values));
  RegisterMember("APrimalWorldSettings.LatitudeScale", offsetof(WorldSettings, latitude_scale));
  RegisterMember("APrimalWorldSettings.LongitudeScale", offsetof(WorldSettings, longitude_scale));
  RegisterMember("APrimalWorldSettings.LatitudeOrigin", offsetof(WorldSettings, latitude_origin));
  RegisterMember("APrimalWorldSettings.LongitudeOrigin", offsetof(WorldSettings, longitude_origin));

  RegisterFunction("UObjectBaseUtility.IsA", &GameIsA);
  RegisterFunction("APrimalDinoCharacter.GetPrivateStaticClass", &GameGetPrivateStaticClass);
  RegisterFunction("UVictoryCore.ClassToStringReference", &GameClassToStringReference);
  RegisterFunction("UVictoryCore.BPLoadClass", &GameBPLoadClass);
  RegisterFunction("UWorld.SpawnActor", &GameSpawnActor);
  RegisterFunction("UPrimalCharacterStatusComponent.RescaleAllStats", &GameRescaleAllStats);
  RegisterFunction("APrimalDinoCharacter.BeginPlay", &GameBeginPlay);
  RegisterFunction("UWorld.GetWorldSettings", &GameGetWorldSettings);
  RegisterFunction("FWeakObjectPtr.Get", &GameWeakGet);
  RegisterFunction("AShooterPlayerController.ClientServerSOTFNotificationCustom", &GameNotify);
  RegisterFunction("RCONClientConnection.SendMessageW", &RconSendMessage);

  installed_world = this;
  host::SetWorld(game());
}

World* World::Installed() { return installed_world; }

World* World::FromGame(UWorld* world) { return reinterpret_cast<WorldRecord*>(world)->owner; }

GameClass* World::AddClass(std::string_view reference, bool creature, bool spawnable) {
  auto it = classes_.find(reference);
  if (it == classes_.end()) {
    it = classes_
             .emplace(std::string(reference),
                      std::make_unique<GameClass>(GameClass{
                          std::string(reference), Utf8ToUtf16(reference), creature, spawnable}))
             .first;
  }
  it->second->creature = creature;
  it->second->spawnable = spawnable;
  return it->second.get();
}

GameClass* World::FindClass(std::string_view reference) const {
  auto it = classes_.find(reference);
  return it == classes_.end() ? nullptr : it->second.get();
}

GameClass* World::LoadClass(std::string_view path) const {
  for (const std::string& reference : LoadCandidates(path)) {
    if (GameClass* found = FindClass(reference)) return found;
  }
  return nullptr;
}

StatusComponent* World::NewStatus(std::int32_t level) {
  auto status = std::make_unique<StatusComponent>();
  status->base_character_level = level;
  std::copy(std::begin(kBaseStatusValues), std::end(kBaseStatusValues), status->base_status_values);
  Rescale(*status);
  std::copy(std::begin(status->max_status_values), std::end(status->max_status_values),
            status->current_status_values);
  components_.push_back(std::move(status));
  return components_.back().get();
}

Creature* World::AddCreature(GameClass* game_class, std::int32_t team, std::int32_t level) {
  auto creature = std::make_unique<Creature>();
  creature->actor = Actor{game_class, team, next_id_++};
  creature->status = NewStatus(level);
  creature->spawn_index = -1;
  actors_.push_back(&creature->actor);
  Census(creature->actor, +1);
  creatures_.push_back(std::move(creature));
  SyncActors();
  return creatures_.back().get();
}

Actor* World::AddActor(GameClass* game_class, std::int32_t team) {
  plain_actors_.push_back(std::make_unique<Actor>(Actor{game_class, team, next_id_++}));
  actors_.push_back(plain_actors_.back().get());
  SyncActors();
  return plain_actors_.back().get();
}

void World::AddNullActor() {
  actors_.push_back(nullptr);
  SyncActors();
}

int World::KillCreatures(const GameClass* game_class, int count, bool tamed) {
  int killed = 0;
  for (auto it = creatures_.begin(); it != creatures_.end() && killed < count;) {
    Creature& creature = **it;
    if (creature.actor.game_class != game_class || creature.actor.wild() == tamed) {
      ++it;
      continue;
    }
    if (creature.spawn_index >= 0) {
      SpawnRecord& record = spawns_[creature.spawn_index];
      Snapshot(record, creature);
      record.alive = false;
      spawned_[creature.spawn_index] = nullptr;
    }
    Census(creature.actor, -1);
    std::erase(actors_, &creature.actor);
    if (creature.status != nullptr) {
      std::erase_if(components_, [&](const auto& c) { return c.get() == creature.status; });
    }
    it = creatures_.erase(it);
    ++killed;
  }
  SyncActors();
  return killed;
}

int World::CountCreatures(const GameClass* game_class, bool wild_only) const {
  return static_cast<int>(std::count_if(creatures_.begin(), creatures_.end(), [&](const auto& c) {
    return c->actor.game_class == game_class && (!wild_only || c->actor.wild());
  }));
}

int World::WildCreatures(const GameClass* game_class) const {
  auto it = wild_.find(game_class);
  return it == wild_.end() ? 0 : it->second;
}

void World::Census(const Actor& creature, int change) {
  ++census_;
  if (!creature.wild()) return;
  auto it = wild_.try_emplace(creature.game_class, 0).first;
  it->second += change;
  if (it->second == 0) wild_.erase(it);
}

void World::SetHasPersistentLevel(bool has) { record_.persistent_level = has ? &level_ : nullptr; }

Actor* World::SpawnActor(GameClass* game_class, const Vec3& location, const Rot3& rotation,
                         const SpawnParameters& parameters) {
  if (refuse_spawns_ || game_class == nullptr || !game_class->creature || !game_class->spawnable) {
    ++refused_spawns_;
    return nullptr;
  }
  auto range = static_cast<std::uint32_t>(spawn_level_max_ - spawn_level_min_ + 1);
  std::int32_t level = spawn_level_min_ + static_cast<std::int32_t>(generator_() % range);
  Creature* creature = AddCreature(game_class, spawn_team_, level);
  StatusComponent* status = creature->status;
  // The game hands out the wild level's points itself; current values start
  // below their maximums, as for a creature that has not started yet.
  for (std::int32_t point = 1; point < level; ++point) {
    std::uint8_t& count = status->level_up_points[kLevelledStats[generator_() % 7]];
    if (count < 255) ++count;
  }
  Rescale(*status);
  for (int i = 0; i < kStatCount; ++i) {
    status->current_status_values[i] = status->max_status_values[i] / 2;
  }
  if (spawn_without_status_) {
    std::erase_if(components_, [&](const auto& c) { return c.get() == status; });
    creature->status = nullptr;
  }
  creature->spawn_index = static_cast<int>(spawns_.size());
  SpawnRecord record{};
  record.class_reference = game_class->reference;
  record.location = location;
  record.rotation = rotation;
  record.parameters = parameters;
  record.level_at_spawn = level;
  record.alive = true;
  spawns_.push_back(record);
  spawned_.push_back(creature);
  return &creature->actor;
}

void World::SetSpawnLevelRange(std::int32_t min, std::int32_t max) {
  spawn_level_min_ = min;
  spawn_level_max_ = std::max(min, max);
}

void World::Snapshot(SpawnRecord& record, const Creature& creature) const {
  record.began_play = creature.began_play;
  record.begin_play_calls = creature.begin_play_calls;
  record.has_status = creature.status != nullptr;
  if (creature.status == nullptr) return;
  const StatusComponent& status = *creature.status;
  record.level = status.base_character_level;
  std::copy(std::begin(status.level_up_points), std::end(status.level_up_points),
            record.points.begin());
  std::copy(std::begin(status.max_status_values), std::end(status.max_status_values),
            record.max_values.begin());
  std::copy(std::begin(status.current_status_values), std::end(status.current_status_values),
            record.current_values.begin());
  record.rescale_calls = status.rescale_calls;
}

std::vector<SpawnRecord> World::Spawns(std::size_t first) const {
  first = std::min(first, spawns_.size());
  std::vector<SpawnRecord> result(spawns_.begin() + static_cast<std::ptrdiff_t>(first),
                                  spawns_.end());
  for (std::size_t i = 0; i < result.size(); ++i) {
    if (const Creature* creature = spawned_[first + i]; creature != nullptr) {
      Snapshot(result[i], *creature);
    }
  }
  return result;
}

PlayerController* World::AddPlayer(std::string name, bool resolvable) {
  auto player = std::make_unique<PlayerController>();
  std::uint64_t id = next_id_++;
  player->actor = Actor{nullptr, 0, id};
  player->weak = FWeakObjectPtr{id};
  player->resolvable = resolvable;
  player->name = std::move(name);
  players_.push_back(std::move(player));
  SyncPlayers();
  return players_.back().get();
}

void World::RemovePlayer(PlayerController* player) {
  std::erase_if(players_, [&](const auto& p) { return p.get() == player; });
  SyncPlayers();
}

void* World::Resolve(const FWeakObjectPtr& weak) const {
  for (const auto& player : players_) {
    if (player->weak.value == weak.value) return player->resolvable ? player.get() : nullptr;
  }
  return nullptr;
}

void World::Notify(PlayerController* player, Notice notice) {
  notices_.emplace_back(player->name, notice);
  player->notices.push_back(std::move(notice));
}

void World::ClearNotices() {
  notices_.clear();
  for (auto& player : players_) player->notices.clear();
}

void World::SetWorldSettings(const WorldSettings& settings) {
  settings_ = settings;
  has_settings_ = true;
}

void World::SyncActors() {
  level_.actors = GameArrayRecord<Actor*>{actors_.data(), static_cast<std::int32_t>(actors_.size()),
                                          static_cast<std::int32_t>(actors_.capacity())};
}

void World::SyncPlayers() {
  player_refs_.clear();
  for (const auto& player : players_) player_refs_.push_back(player->weak);
  record_.player_controllers = GameArrayRecord<FWeakObjectPtr>{
      player_refs_.data(), static_cast<std::int32_t>(player_refs_.size()),
      static_cast<std::int32_t>(player_refs_.capacity())};
}

}  // namespace standin::game
