#include "plugin/plugin.h"

#include <fmt/format.h>

#include <exception>
#include <nlohmann/json.hpp>
#include <utility>

#include "config/config.h"
#include "host/game_string.h"
#include "host/zelapi.h"
#include "plugin/log.h"
#include "plugin/reload.h"
#include "spawn/tick.h"

namespace {

// Each call to the host gets a name of its own, freed right after the call.
void AddTimerCallback() {
  const GameString name = GameString::FromNarrow(kTimerCallbackName);
  ZelApi::GetCommands().AddOnTimerCallback(name, ZelApi::TimerCallback(&TimingSpawnTick));
}

void AddReloadCommand() {
  const GameString name = GameString::FromNarrow(kReloadCommandName);
  ZelApi::GetCommands().AddRconCommand(name, ZelApi::RconCommandCallback(&ReloadCommand));
}

void RemoveTimerCallback() {
  const GameString name = GameString::FromNarrow(kTimerCallbackName);
  ZelApi::GetCommands().RemoveOnTimerCallback(name);
}

void RemoveReloadCommand() {
  const GameString name = GameString::FromNarrow(kReloadCommandName);
  ZelApi::GetCommands().RemoveRconCommand(name);
}

}  // namespace

std::string LoadMessage() {
  return fmt::format("已加载:{}.插件发布群{}", kDisplayTitle, kContactGroup);
}

std::optional<std::string> ReadConfiguration() {
  nlohmann::json document;
  try {
    if (!ReadConfigFile(ConfigFilePath(), document)) {
      LogError(kOpenFailureText);
      return std::string(kOpenFailureText);
    }
    BuildSpawnTables(document);
  } catch (const std::exception& e) {
    LogError(e.what());
    return std::string(e.what());
  }
  ConfigDocument = std::move(document);
  ForgetEntryFaults();
  return std::nullopt;
}

void Load() {
  CreatePluginLogger();
  if (ReadConfiguration().has_value()) return;
  AddTimerCallback();
  AddReloadCommand();
  LogInfo(LoadMessage());
}

void Unload() {
  RemoveTimerCallback();
  RemoveReloadCommand();
}

int ModuleEntry(void* /*module*/, std::uint32_t reason, void* /*reserved*/) noexcept {
  // Nothing may unwind into the loader: whatever escapes is logged here.
  try {
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
  } catch (const std::exception& e) {
    try {
      LogError(e.what());
    } catch (...) {
    }
  } catch (...) {
    try {
      LogError("unknown exception in the module entry");
    } catch (...) {
    }
  }
  return 1;
}
