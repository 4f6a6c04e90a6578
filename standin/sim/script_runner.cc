#include "standin/sim/script_runner.h"

#include <fmt/format.h>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace sim {

namespace fs = std::filesystem;

void ScriptRunner::RunUntil(std::int64_t offset) {
  while (next_ < script_.size() && script_[next_].offset_seconds <= offset) Run(script_[next_++]);
}

void ScriptRunner::Run(const ScriptAction& action) {
  std::error_code error;
  standin::World& world = session_.world();
  switch (action.kind) {
    case ScriptAction::Kind::kRcon:
      session_.DispatchRcon({action.text, NextPacketId(), {}, {}});
      break;
    case ScriptAction::Kind::kConfigFrom:
      fs::create_directories(root_.config_path().parent_path(), error);
      if (!error) {
        fs::copy_file(action.text, root_.config_path(), fs::copy_options::overwrite_existing,
                      error);
      }
      if (error) {
        recorder_.Error(fmt::format("script: cannot copy {}: {}", action.text, error.message()));
      } else {
        recorder_.Note(fmt::format("script: configuration replaced by {}", action.text));
        const std::string what = "file replaced by " + fs::path(action.text).filename().string();
        for (RunObserver* o : session_.observers()) o->OnConfigFileChanged(what);
      }
      break;
    case ScriptAction::Kind::kConfigDelete:
      fs::remove(root_.config_path(), error);
      recorder_.Note("script: configuration file deleted");
      for (RunObserver* o : session_.observers()) o->OnConfigFileChanged("file deleted");
      break;
    case ScriptAction::Kind::kKill: {
      standin::GameClass* game_class = world.FindClass(action.kill_class);
      int killed = world.KillCreatures(game_class, action.kill_count);
      for (RunObserver* o : session_.observers()) o->OnKill(killed);
      recorder_.Note(fmt::format("script: {} of {} left the level, {} remain", killed,
                                 action.kill_class, world.CountCreatures(game_class)));
      break;
    }
    case ScriptAction::Kind::kPlayerJoin:
      world.AddPlayer(action.text);
      recorder_.Note(
          fmt::format("script: {} joined, {} players", action.text, world.players().size()));
      break;
    case ScriptAction::Kind::kPlayerLeave: {
      const auto& players = world.players();
      auto it = std::find_if(players.begin(), players.end(),
                             [&](const auto& p) { return p->name == action.text; });
      if (it == players.end()) {
        recorder_.Note(fmt::format("script: no player {} to leave", action.text));
        break;
      }
      world.RemovePlayer(it->get());
      recorder_.Note(fmt::format("script: {} left, {} players", action.text, players.size()));
      break;
    }
  }
}

}  // namespace sim
