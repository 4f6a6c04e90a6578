#include "standin/sim/script_runner.h"

#include <fmt/format.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace standin::sim {

namespace fs = std::filesystem;

void ScriptRunner::RunUntil(std::int64_t offset) {
  while (next_ < script_.size() && script_[next_].offset_seconds <= offset) Run(script_[next_++]);
}

void ScriptRunner::Run(const ScriptAction& action) {
  switch (action.kind) {
    case ScriptAction::Kind::kRcon:
      session_.DispatchRcon({action.text, NextPacketId(), {}, {}});
      break;
    case ScriptAction::Kind::kConfigFrom:
      ReplaceConfig(action.text);
      break;
    case ScriptAction::Kind::kConfigDelete: {
      std::error_code error;
      fs::remove(root_.config_path(), error);
      recorder_.Note("script: configuration file deleted");
      for (RunObserver* o : session_.observers()) o->OnConfigFileChanged("file deleted");
      break;
    }
    case ScriptAction::Kind::kKill:
      Kill(action.kill_class, action.kill_count, action.kill_tamed);
      break;
    case ScriptAction::Kind::kPlayerJoin:
      session_.world().AddPlayer(action.text);
      recorder_.Note(fmt::format("script: {} joined, {} players", action.text,
                                 session_.world().players().size()));
      break;
    case ScriptAction::Kind::kPlayerLeave:
      PlayerLeaves(action.text);
      break;
  }
}

void ScriptRunner::ReplaceConfig(const std::string& source) {
  std::error_code error;
  fs::create_directories(root_.config_path().parent_path(), error);
  if (!error) {
    fs::copy_file(source, root_.config_path(), fs::copy_options::overwrite_existing, error);
  }
  if (error) {
    recorder_.Error(fmt::format("script: cannot copy {}: {}", source, error.message()));
    return;
  }
  recorder_.Note(fmt::format("script: configuration replaced by {}", source));
  const std::string what = "file replaced by " + fs::path(source).filename().string();
  for (RunObserver* o : session_.observers()) o->OnConfigFileChanged(what);
}

void ScriptRunner::Kill(const std::string& class_name, int count, bool tamed) {
  game::World& world = session_.world();
  game::GameClass* game_class = world.FindClass(class_name);
  int killed = world.KillCreatures(game_class, count, tamed);
  for (RunObserver* o : session_.observers()) o->OnKill(killed);
  const int wild = world.CountCreatures(game_class, /*wild_only=*/true);
  recorder_.Note(fmt::format("script: {} {} of {} left the level, {} wild and {} tamed remain",
                             killed, tamed ? "tamed" : "wild", class_name, wild,
                             world.CountCreatures(game_class) - wild));
}

void ScriptRunner::PlayerLeaves(const std::string& name) {
  game::World& world = session_.world();
  const auto& players = world.players();
  auto it =
      std::find_if(players.begin(), players.end(), [&](const auto& p) { return p->name == name; });
  if (it == players.end()) {
    recorder_.Note(fmt::format("script: no player {} to leave", name));
    return;
  }
  world.RemovePlayer(it->get());
  recorder_.Note(fmt::format("script: {} left, {} players", name, players.size()));
}

}  // namespace standin::sim
