#include "plugin/plugin.h"

#include <fmt/format.h>

#include "host/game_string.h"
#include "host/zelapi.h"
#include "plugin/config_read.h"
#include "plugin/entry_guard.h"
#include "plugin/log.h"
#include "plugin/reload.h"
#include "plugin/status.h"
#include "spawn/tick.h"

namespace drovekeeper::plugin {

namespace {

// What the host calls every few milliseconds: the timer run, behind the
// guard every host entry has.
void GuardedTimingSpawnTick() noexcept {
  GuardHostEntry("the timer callback", [] { spawn::TimingSpawnTick(); });
}

// Each call to the host gets a name of its own, freed right after the call.
void AddTimerCallback() {
  const GameString name = GameString::FromNarrow(kTimerCallbackName);
  ZelApi::GetCommands().AddOnTimerCallback(name, ZelApi::TimerCallback(&GuardedTimingSpawnTick));
}

void AddReloadCommand() {
  const GameString name = GameString::FromNarrow(kReloadCommandName);
  ZelApi::GetCommands().AddRconCommand(name, ZelApi::RconCommandCallback(&ReloadCommand));
}

void AddStatusCommand() {
  const GameString name = GameString::FromNarrow(kStatusCommandName);
  ZelApi::GetCommands().AddRconCommand(name, ZelApi::RconCommandCallback(&StatusCommand));
}

void RemoveTimerCallback() {
  const GameString name = GameString::FromNarrow(kTimerCallbackName);
  ZelApi::GetCommands().RemoveOnTimerCallback(name);
}

void RemoveReloadCommand() {
  const GameString name = GameString::FromNarrow(kReloadCommandName);
  ZelApi::GetCommands().RemoveRconCommand(name);
}

void RemoveStatusCommand() {
  const GameString name = GameString::FromNarrow(kStatusCommandName);
  ZelApi::GetCommands().RemoveRconCommand(name);
}

}  // namespace

std::string LoadMessage() {
  return fmt::format("已加载:{}.插件发布群{}", kDisplayTitle, kContactGroup);
}

void Load() {
  CreatePluginLogger();
  ConfigReadResult read = ReadConfiguration();
  if (read.failure.has_value()) return;
  RecordLoad(read);
  AddTimerCallback();
  AddReloadCommand();
  AddStatusCommand();
  LogInfo(LoadMessage());
  LogConfigFindings(read.findings);
}

void Unload() {
  RemoveTimerCallback();
  RemoveReloadCommand();
  RemoveStatusCommand();
}

int ModuleEntry(void* /*module*/, std::uint32_t reason, void* /*reserved*/) noexcept {
  GuardHostEntry("the module entry", [reason] {
    switch (reason) {
      case kProcessAttach:
        Load();
        break;
      case kProcessDetach:
        Unload();
        break;
      default:
        break;
    }
  });
  return 1;
}

}  // namespace drovekeeper::plugin
