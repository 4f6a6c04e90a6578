// The simulator's input files: the world file (classes, wild creatures,
// players, world settings) and the script of timed operator actions. Both are
// read and checked completely before anything starts. Called by the
// simulator's main() and its tests.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "standin/model/map.h"

namespace standin::sim {

// A file that cannot be read or does not have the expected shape. The message
// names the file and the offending member.
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct ClassSpec {
  std::string reference;  // the class's string reference, e.g. "/Game/T/A.A_C"
  bool creature = false;
  bool spawnable = true;  // false: the class loads but the game refuses its spawn
};

struct ActorSpec {
  std::string class_reference;
  std::int32_t team = 0;
  int count = 0;
};

struct PlayerSpec {
  std::string name;
  bool resolves = true;  // false: the player's weak reference no longer resolves
};

struct WorldSpec {
  std::uint32_t seed = 1;  // drives the levels the game picks for new creatures
  model::WorldSettings settings;
  std::vector<ClassSpec> classes;
  std::vector<ActorSpec> actors;
  std::vector<PlayerSpec> players;

  const ClassSpec* FindClass(const std::string& reference) const;
};

// `source` names the document in messages (a path, or "built-in world").
WorldSpec ParseWorld(const nlohmann::json& document, const std::string& source);
WorldSpec ParseWorldText(const std::string& text, const std::string& source);
WorldSpec ReadWorldFile(const std::string& path);

struct ScriptAction {
  enum class Kind { kRcon, kConfigFrom, kConfigDelete, kKill, kPlayerJoin, kPlayerLeave };
  Kind kind = Kind::kRcon;
  double minute = 0;                // as written
  std::int64_t offset_seconds = 0;  // after the start, rounded to the second
  std::string text;         // kRcon: command line; kConfigFrom: resolved path; kPlayer*: name
  std::string kill_class;   // kKill
  int kill_count = 0;       // kKill
  bool kill_tamed = false;  // kKill: tamed creatures go instead of wild ones
};

// Actions in time order (stable for equal times). Relative "config_from"
// paths are taken from `base_dir`; "kill" classes must exist in `world`.
std::vector<ScriptAction> ParseScript(const nlohmann::json& document, const std::string& source,
                                      const std::string& base_dir, const WorldSpec& world);
std::vector<ScriptAction> ReadScriptFile(const std::string& path, const WorldSpec& world);

}  // namespace standin::sim
