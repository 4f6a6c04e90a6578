#include "plugin/plugin.h"

#include <fmt/format.h>

#include "host/game_string.h"
#include "host/zelapi.h"
#include "plugin/check_command.h"
#include "plugin/config_read.h"
#include "plugin/entry_guard.h"
#include "plugin/log.h"
#include "plugin/reload.h"
#include "plugin/spawn_command.h"
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

void AddRconCommand(std::string_view command,
                    void (*callback)(RCONClientConnection*, RCONPacket*, UWorld*) noexcept) {
  const GameString name = GameString::FromNarrow(command);
  ZelApi::GetCommands().AddRconCommand(name, ZelApi::RconCommandCallback(callback));
}

void RemoveTimerCallback() {
  const GameString name = GameString::FromNarrow(kTimerCallbackName);
  ZelApi::GetCommands().RemoveOnTimerCallback(name);
}

void RemoveRconCommand(std::string_view command) {
  const GameString name = GameString::FromNarrow(command);
  ZelApi::GetCommands().RemoveRconCommand(name);
}

// The operator's commands beside the reload, registered and withdrawn
// together, in this order.
struct OperatorCommand {
  std::string_view name;
  void (*callback)(RCONClientConnection*, RCONPacket*, UWorld*) noexcept;
};
constexpr OperatorCommand kOperatorCommands[] = {{kStatusCommandName, &StatusCommand},
                                                 {kSpawnCommandName, &SpawnCommand},
                                                 {kCheckCommandName, &CheckCommand}};

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
  AddRconCommand(kReloadCommandName, &ReloadCommand);
  for (const OperatorCommand& command : kOperatorCommands) {
    AddRconCommand(command.name, command.callback);
  }
  LogInfo(LoadMessage());
  LogConfigFindings(read.findings);
}

void Unload() {
  RemoveTimerCallback();
  RemoveRconCommand(kReloadCommandName);
  for (const OperatorCommand& command : kOperatorCommands) RemoveRconCommand(command.name);
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
