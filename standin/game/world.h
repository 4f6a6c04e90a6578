// The stand-in game world: classes, a persistent level of actors, creatures
// with status components, player controllers, world settings. The plug-in
// reaches it only through the names World::Install() enters in the host's
// name table; the simulator and tests drive and inspect it through this
// class. Not thread-safe: use it on the game thread (host::LockGameThread).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/game_types.h"
#include "host/zelapi.h"
#include "standin/model/map.h"

namespace standin::game {

inline constexpr int kStatCount = 12;

// A class; its reference is the object path followed by "_C".
struct GameClass {
  std::string reference;
  // The reference as ClassToStringReference hands it out, converted once:
  // the count walks ask for it per creature.
  std::u16string reference_text;
  bool creature;
  bool spawnable;
};

// Every object starts with this, so "UObjectBase.Class" and
// "AActor.TargetingTeam" work on all of them.
struct Actor {
  GameClass* game_class;
  std::int32_t targeting_team;
  // Teams from here on are tamed: the cap counts only the creatures below.
  static constexpr std::int32_t kFirstTamedTeam = 49999;
  bool wild() const { return targeting_team < kFirstTamedTeam; }
  std::uint64_t id;
};

struct StatusComponent {
  std::int32_t base_character_level;
  std::uint8_t level_up_points[kStatCount];
  float max_status_values[kStatCount];
  float current_status_values[kStatCount];
  float base_status_values[kStatCount];
  int rescale_calls;
};

struct Creature {
  Actor actor;
  StatusComponent* status;  // null: spawned without one (test switch)
  bool began_play;
  int begin_play_calls;
  int spawn_index;  // into World::Spawns(); -1 when not spawned by SpawnActor
};

// A notification as a player received it.
struct Notice {
  std::u16string text;
  GameColour colour;
  float scale;
  float time;
  bool icon_null;
  bool sound_null;
};

struct PlayerController {
  Actor actor;
  FWeakObjectPtr weak;
  bool resolvable;
  std::string name;
  std::vector<Notice> notices;
};

// The world settings' map members, laid out as the game stores them.
using WorldSettings = model::WorldSettings;

// What "UWorld.SpawnActor" was given, and what became of the creature.
struct SpawnRecord {
  std::string class_reference;
  Vec3 location;
  Rot3 rotation;
  SpawnParameters parameters;
  std::int32_t level_at_spawn;  // as the game chose it
  // Current state of the creature (at its death once killed).
  bool alive;
  bool has_status;
  std::int32_t level;
  std::array<std::uint8_t, kStatCount> points;
  std::array<float, kStatCount> max_values;
  std::array<float, kStatCount> current_values;
  int rescale_calls;
  bool began_play;
  int begin_play_calls;
};

// The game's records, with the layout the member names point into.
struct LevelRecord {
  GameArrayRecord<Actor*> actors;
};

class World;

struct WorldRecord {
  LevelRecord* persistent_level;
  GameArrayRecord<FWeakObjectPtr> player_controllers;
  World* owner;
};

// The game's loader takes two forms of name. An object path P is not empty
// and holds no blank, control character or quote. A blueprint reference
// Blueprint'P' names the blueprint P, whose class is P_C; P ending in _C
// already names a class, not a blueprint. A bare P names the class P or the
// blueprint P.
//
// "Blueprint'/P/A.A'" <-> "/P/A.A_C"; empty when `text` is not of that form.
std::string ReferenceFromBlueprint(std::string_view blueprint);
std::string BlueprintFromReference(std::string_view reference);
// The class references the loader tries for `path`, in order; none for a
// text of neither form.
std::vector<std::string> LoadCandidates(std::string_view path);

// The base class of every creature class.
GameClass* CreatureBaseClass();

class World {
 public:
  explicit World(std::uint32_t seed = 1);
  ~World();
  World(const World&) = delete;
  World& operator=(const World&) = delete;

  // Enters every game name, the allocator included, in the host's name
  // table and makes this the host's current world. Set the host's world to
  // null afterwards (host::SetWorld) for a server without one.
  void Install();
  // The world last installed and not destroyed since, or null.
  static World* Installed();

  UWorld* game() { return reinterpret_cast<UWorld*>(&record_); }
  static World* FromGame(UWorld* world);

  // ---- Classes. Adding an existing reference updates its flags.
  GameClass* AddClass(std::string_view reference, bool creature = true, bool spawnable = true);
  GameClass* FindClass(std::string_view reference) const;
  // The class the game's loader ("UVictoryCore.BPLoadClass") finds for
  // `path`, the first of LoadCandidates(path) that is known, or null.
  GameClass* LoadClass(std::string_view path) const;

  // ---- Level.
  Creature* AddCreature(GameClass* game_class, std::int32_t team = 0, std::int32_t level = 1);
  // An actor that is no creature (game_class may be a non-creature class).
  Actor* AddActor(GameClass* game_class, std::int32_t team = 0);
  void AddNullActor();
  // Removes the oldest `count` wild creatures of the class from the level
  // (tamed ones instead when `tamed`); returns how many went.
  int KillCreatures(const GameClass* game_class, int count, bool tamed = false);
  // Walks the level.
  int CountCreatures(const GameClass* game_class, bool wild_only = false) const;
  // CountCreatures(game_class, true) without the walk: kept as creatures
  // enter and leave the level, by the team each had when it entered (nothing
  // here changes a creature's team).
  int WildCreatures(const GameClass* game_class) const;
  // Goes up whenever a creature enters or leaves the level, so that counts
  // taken at the same value still hold.
  std::uint64_t census() const { return census_; }
  const std::vector<Actor*>& actors() const { return actors_; }
  void SetHasPersistentLevel(bool has);

  // ---- Spawning.
  // Refused spawns return null.
  Actor* SpawnActor(GameClass* game_class, const Vec3& location, const Rot3& rotation,
                    const SpawnParameters& parameters);
  void SetRefuseSpawns(bool refuse) { refuse_spawns_ = refuse; }
  void SetSpawnWithoutStatus(bool without) { spawn_without_status_ = without; }
  void SetSpawnTeam(std::int32_t team) { spawn_team_ = team; }
  // The game's own level for spawns, drawn from [min, max].
  void SetSpawnLevelRange(std::int32_t min, std::int32_t max);
  // The spawns from `first` on, those still alive as they are now.
  std::vector<SpawnRecord> Spawns(std::size_t first = 0) const;
  int refused_spawns() const { return refused_spawns_; }

  // ---- Players.
  PlayerController* AddPlayer(std::string name, bool resolvable = true);
  void RemovePlayer(PlayerController* player);
  const std::vector<std::unique_ptr<PlayerController>>& players() const { return players_; }
  // The object a weak pointer stands for, or null.
  void* Resolve(const FWeakObjectPtr& weak) const;
  // Every notice in the order sent, with the receiving player's name.
  const std::vector<std::pair<std::string, Notice>>& notices() const { return notices_; }
  void Notify(PlayerController* player, Notice notice);
  void ClearNotices();

  // ---- World settings.
  void SetWorldSettings(const WorldSettings& settings);
  void RemoveWorldSettings() { has_settings_ = false; }
  WorldSettings* settings() { return has_settings_ ? &settings_ : nullptr; }

  // ---- Counters over the world's creatures.
  int rescale_calls() const { return rescale_calls_; }
  void CountRescale() { ++rescale_calls_; }

 private:
  void SyncActors();
  void SyncPlayers();
  StatusComponent* NewStatus(std::int32_t level);
  void Snapshot(SpawnRecord& record, const Creature& creature) const;
  // `change`: +1 as the creature enters the level, -1 as it leaves.
  void Census(const Actor& creature, int change);

  WorldRecord record_;
  LevelRecord level_;

  std::map<std::string, std::unique_ptr<GameClass>, std::less<>> classes_;
  std::vector<Actor*> actors_;
  std::vector<std::unique_ptr<Actor>> plain_actors_;
  std::vector<std::unique_ptr<Creature>> creatures_;
  std::vector<std::unique_ptr<StatusComponent>> components_;
  std::uint64_t next_id_ = 1;
  std::unordered_map<const GameClass*, int> wild_;  // by class, the nonzero counts
  std::uint64_t census_ = 0;

  std::mt19937 generator_;
  std::int32_t spawn_level_min_ = 1;
  std::int32_t spawn_level_max_ = 150;
  std::int32_t spawn_team_ = 0;
  bool refuse_spawns_ = false;
  bool spawn_without_status_ = false;
  int refused_spawns_ = 0;
  std::vector<SpawnRecord> spawns_;
  // Each spawn's creature while it lives, so that a snapshot of the newest
  // spawns does not visit every creature.
  std::vector<const Creature*> spawned_;

  std::vector<std::unique_ptr<PlayerController>> players_;
  std::vector<FWeakObjectPtr> player_refs_;
  std::vector<std::pair<std::string, Notice>> notices_;

  WorldSettings settings_{0, 0, 0, 0};
  bool has_settings_ = true;

  int rescale_calls_ = 0;
};

}  // namespace standin::game
