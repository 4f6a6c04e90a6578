#include "standin/sim/inputs.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <limits>
#include <sstream>
#include <string_view>

namespace standin::sim {
namespace {

using nlohmann::json;

[[noreturn]] void Fail(const std::string& source, const std::string& where,
                       const std::string& problem) {
  throw InputError(source + ": " + (where.empty() ? "" : where + ": ") + problem);
}

std::string Member(const std::string& where, std::string_view key) {
  return where.empty() ? std::string(key) : where + "." + std::string(key);
}

std::string Element(const std::string& where, std::size_t index) {
  return where + "[" + std::to_string(index) + "]";
}

// Rejects members other than `known`, so a misspelt key is not silently ignored.
void CheckKeys(const json& object, std::initializer_list<std::string_view> known,
               const std::string& source, const std::string& where) {
  for (const auto& [key, value] : object.items()) {
    if (std::find(known.begin(), known.end(), key) == known.end()) {
      Fail(source, Member(where, key), "unknown member");
    }
  }
}

const json& Require(const json& object, std::string_view key, const std::string& source,
                    const std::string& where) {
  auto it = object.find(key);
  if (it == object.end()) Fail(source, Member(where, key), "missing");
  return *it;
}

const json& RequireObject(const json& value, const std::string& source, const std::string& where) {
  if (!value.is_object()) Fail(source, where, "must be an object");
  return value;
}

const json& RequireArray(const json& value, const std::string& source, const std::string& where) {
  if (!value.is_array()) Fail(source, where, "must be an array");
  return value;
}

std::string RequireString(const json& value, const std::string& source, const std::string& where) {
  if (!value.is_string() || value.get_ref<const std::string&>().empty()) {
    Fail(source, where, "must be a non-empty string");
  }
  return value.get<std::string>();
}

bool RequireBool(const json& value, const std::string& source, const std::string& where) {
  if (!value.is_boolean()) Fail(source, where, "must be true or false");
  return value.get<bool>();
}

double RequireNumber(const json& value, const std::string& source, const std::string& where) {
  if (!value.is_number()) Fail(source, where, "must be a number");
  return value.get<double>();
}

std::int64_t RequireInteger(const json& value, std::int64_t low, std::int64_t high,
                            const std::string& source, const std::string& where) {
  if (!value.is_number_integer()) Fail(source, where, "must be a whole number");
  if (value.is_number_unsigned() && value.get<std::uint64_t>() > static_cast<std::uint64_t>(high)) {
    Fail(source, where, "must be at most " + std::to_string(high));
  }
  std::int64_t n = value.get<std::int64_t>();
  if (n < low || n > high) {
    Fail(source, where, "must be between " + std::to_string(low) + " and " + std::to_string(high));
  }
  return n;
}

std::optional<bool> OptionalBool(const json& object, std::string_view key,
                                 const std::string& source, const std::string& where) {
  auto it = object.find(key);
  if (it == object.end()) return std::nullopt;
  return RequireBool(*it, source, Member(where, key));
}

json ParseDocument(const std::string& text, const std::string& source) {
  try {
    return json::parse(text);
  } catch (const json::exception& e) {
    // parse_error, and out_of_range for a number too large for a double.
    throw InputError(source + ": not valid JSON: " + e.what());
  }
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError(path + ": cannot be opened for reading");
  std::ostringstream text;
  text << in.rdbuf();
  if (in.bad()) throw InputError(path + ": read error");
  return text.str();
}

}  // namespace

const ClassSpec* WorldSpec::FindClass(const std::string& reference) const {
  for (const ClassSpec& c : classes) {
    if (c.reference == reference) return &c;
  }
  return nullptr;
}

namespace {

model::WorldSettings ReadSettings(const json& document, const std::string& source) {
  const json& settings =
      RequireObject(Require(document, "world_settings", source, ""), source, "world_settings");
  CheckKeys(settings, {"LatitudeScale", "LongitudeScale", "LatitudeOrigin", "LongitudeOrigin"},
            source, "world_settings");
  auto setting = [&](std::string_view key) {
    return static_cast<float>(RequireNumber(Require(settings, key, source, "world_settings"),
                                            source, Member("world_settings", key)));
  };
  model::WorldSettings read;
  read.latitude_scale = setting("LatitudeScale");
  read.longitude_scale = setting("LongitudeScale");
  read.latitude_origin = setting("LatitudeOrigin");
  read.longitude_origin = setting("LongitudeOrigin");
  return read;
}

// Calls `read(element, where)` for each element of the array `key`.
template <class Read>
void ForEachElement(const json& document, std::string_view key, const std::string& source,
                    Read read) {
  const json& array = RequireArray(Require(document, key, source, ""), source, std::string(key));
  for (std::size_t i = 0; i < array.size(); ++i) {
    std::string where = Element(std::string(key), i);
    read(RequireObject(array[i], source, where), where);
  }
}

ClassSpec ReadClass(const json& c, const std::string& source, const std::string& where,
                    const WorldSpec& world) {
  CheckKeys(c, {"reference", "creature", "spawnable"}, source, where);
  ClassSpec spec;
  spec.reference =
      RequireString(Require(c, "reference", source, where), source, Member(where, "reference"));
  if (world.FindClass(spec.reference) != nullptr) {
    Fail(source, Member(where, "reference"), "\"" + spec.reference + "\" is listed twice");
  }
  spec.creature =
      RequireBool(Require(c, "creature", source, where), source, Member(where, "creature"));
  spec.spawnable = OptionalBool(c, "spawnable", source, where).value_or(true);
  return spec;
}

ActorSpec ReadActor(const json& a, const std::string& source, const std::string& where,
                    const WorldSpec& world) {
  CheckKeys(a, {"class", "team", "count"}, source, where);
  ActorSpec spec;
  spec.class_reference =
      RequireString(Require(a, "class", source, where), source, Member(where, "class"));
  if (world.FindClass(spec.class_reference) == nullptr) {
    Fail(source, Member(where, "class"),
         "\"" + spec.class_reference + "\" is not one of the classes");
  }
  spec.team = static_cast<std::int32_t>(
      RequireInteger(Require(a, "team", source, where), std::numeric_limits<std::int32_t>::min(),
                     std::numeric_limits<std::int32_t>::max(), source, Member(where, "team")));
  spec.count = static_cast<int>(RequireInteger(Require(a, "count", source, where), 0, 100000,
                                               source, Member(where, "count")));
  return spec;
}

PlayerSpec ReadPlayer(const json& p, const std::string& source, const std::string& where) {
  CheckKeys(p, {"name", "resolves"}, source, where);
  PlayerSpec spec;
  spec.name = RequireString(Require(p, "name", source, where), source, Member(where, "name"));
  spec.resolves = OptionalBool(p, "resolves", source, where).value_or(true);
  return spec;
}

}  // namespace

WorldSpec ParseWorld(const json& document, const std::string& source) {
  WorldSpec world;
  RequireObject(document, source, "top level");
  CheckKeys(document, {"seed", "world_settings", "classes", "actors", "players"}, source, "");
  if (auto it = document.find("seed"); it != document.end()) {
    world.seed = static_cast<std::uint32_t>(
        RequireInteger(*it, 0, std::numeric_limits<std::uint32_t>::max(), source, "seed"));
  }
  world.settings = ReadSettings(document, source);
  ForEachElement(document, "classes", source, [&](const json& c, const std::string& where) {
    world.classes.push_back(ReadClass(c, source, where, world));
  });
  ForEachElement(document, "actors", source, [&](const json& a, const std::string& where) {
    world.actors.push_back(ReadActor(a, source, where, world));
  });
  ForEachElement(document, "players", source, [&](const json& p, const std::string& where) {
    world.players.push_back(ReadPlayer(p, source, where));
  });
  return world;
}

WorldSpec ParseWorldText(const std::string& text, const std::string& source) {
  return ParseWorld(ParseDocument(text, source), source);
}

WorldSpec ReadWorldFile(const std::string& path) {
  return ParseWorldText(ReadWholeFile(path), path);
}

namespace {

// A "config_from" path, relative to the script's folder, that can be read.
std::string ConfigFromPath(const json& value, const std::string& source, const std::string& where,
                           const std::string& base_dir) {
  std::filesystem::path path = RequireString(value, source, where);
  if (path.is_relative()) path = std::filesystem::path(base_dir) / path;
  std::ifstream probe(path);
  if (!probe) Fail(source, where, "\"" + path.string() + "\" cannot be opened for reading");
  return path.string();
}

void ReadKill(const json& value, const std::string& source, const std::string& kill,
              const WorldSpec& world, ScriptAction& action) {
  const json& k = RequireObject(value, source, kill);
  CheckKeys(k, {"class", "count", "tamed"}, source, kill);
  action.kill_class =
      RequireString(Require(k, "class", source, kill), source, Member(kill, "class"));
  if (world.FindClass(action.kill_class) == nullptr) {
    Fail(source, Member(kill, "class"),
         "\"" + action.kill_class + "\" is not a class of the world");
  }
  action.kill_count = static_cast<int>(
      RequireInteger(Require(k, "count", source, kill), 1, 1000000, source, Member(kill, "count")));
  action.kill_tamed = OptionalBool(k, "tamed", source, kill).value_or(false);
}

// The one action of a script step.
void ReadAction(const json& step, const std::string& source, const std::string& where,
                const std::string& base_dir, const WorldSpec& world, ScriptAction& action) {
  static constexpr std::string_view kActions[] = {"rcon", "config_from", "config_delete",
                                                  "kill", "player_join", "player_leave"};
  int found = 0;
  for (std::string_view key : kActions) found += step.contains(key) ? 1 : 0;
  if (found != 1) {
    Fail(source, where,
         "needs exactly one action of \"rcon\", \"config_from\", \"config_delete\", "
         "\"kill\", \"player_join\", \"player_leave\"");
  }
  if (auto rcon = step.find("rcon"); rcon != step.end()) {
    action.kind = ScriptAction::Kind::kRcon;
    action.text = RequireString(*rcon, source, Member(where, "rcon"));
  } else if (auto from = step.find("config_from"); from != step.end()) {
    action.kind = ScriptAction::Kind::kConfigFrom;
    action.text = ConfigFromPath(*from, source, Member(where, "config_from"), base_dir);
  } else if (auto del = step.find("config_delete"); del != step.end()) {
    action.kind = ScriptAction::Kind::kConfigDelete;
    if (!RequireBool(*del, source, Member(where, "config_delete"))) {
      Fail(source, Member(where, "config_delete"), "must be true when present");
    }
  } else if (auto join = step.find("player_join"); join != step.end()) {
    action.kind = ScriptAction::Kind::kPlayerJoin;
    action.text = RequireString(*join, source, Member(where, "player_join"));
  } else if (auto leave = step.find("player_leave"); leave != step.end()) {
    action.kind = ScriptAction::Kind::kPlayerLeave;
    action.text = RequireString(*leave, source, Member(where, "player_leave"));
  } else {
    action.kind = ScriptAction::Kind::kKill;
    ReadKill(step.at("kill"), source, Member(where, "kill"), world, action);
  }
}

}  // namespace

std::vector<ScriptAction> ParseScript(const json& document, const std::string& source,
                                      const std::string& base_dir, const WorldSpec& world) {
  std::vector<ScriptAction> actions;
  RequireArray(document, source, "top level");
  for (std::size_t i = 0; i < document.size(); ++i) {
    std::string where = Element("", i);
    const json& step = RequireObject(document[i], source, where);
    CheckKeys(
        step,
        {"minute", "rcon", "config_from", "config_delete", "kill", "player_join", "player_leave"},
        source, where);
    ScriptAction action;
    action.minute =
        RequireNumber(Require(step, "minute", source, where), source, Member(where, "minute"));
    if (!std::isfinite(action.minute) || action.minute < 0 || action.minute > 1e8) {
      Fail(source, Member(where, "minute"), "must be a number of minutes from 0 on");
    }
    action.offset_seconds = std::llround(action.minute * 60.0);
    ReadAction(step, source, where, base_dir, world, action);
    actions.push_back(std::move(action));
  }
  std::stable_sort(actions.begin(), actions.end(), [](const auto& a, const auto& b) {
    return a.offset_seconds < b.offset_seconds;
  });
  return actions;
}

std::vector<ScriptAction> ReadScriptFile(const std::string& path, const WorldSpec& world) {
  std::string base = std::filesystem::path(path).parent_path().string();
  return ParseScript(ParseDocument(ReadWholeFile(path), path), path, base.empty() ? "." : base,
                     world);
}

}  // namespace standin::sim
