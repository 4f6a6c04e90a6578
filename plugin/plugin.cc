#include "plugin/plugin.h"

#include <fmt/format.h>

#include <exception>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
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

// The file is read once and both parsed and checked from that one text, so
// the findings always describe what was loaded, even when the file changes
// in between.
std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::in | std::ios::binary);
  if (!file.is_open()) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// One JSON value from the start of the text; whatever follows it is never
// looked at, just as when the value is streamed from the file.
nlohmann::json ParseLeniently(const std::string& text) {
  std::istringstream stream(text);
  nlohmann::json parsed;
  stream >> parsed;
  return parsed;
}

// The checker promises not to throw; should it break that promise, the
// operator loses the report but never the load.
std::vector<ConfigFinding> CheckLoadedText(std::string_view text) noexcept {
  try {
    return CheckConfigText(text);
  } catch (const std::exception& e) {
    try {
      ConfigFinding failure{};
      failure.severity = ConfigFinding::Severity::kError;
      failure.line = 1;
      failure.column = 1;
      failure.what = std::string("the checker could not finish: ") + e.what();
      return {std::move(failure)};
    } catch (...) {
    }
  } catch (...) {
  }
  return {};
}

}  // namespace

std::string LoadMessage() {
  return fmt::format("已加载:{}.插件发布群{}", kDisplayTitle, kContactGroup);
}

std::optional<std::string> ReadConfiguration(std::vector<ConfigFinding>* findings) {
  if (findings != nullptr) findings->clear();
  std::optional<std::string> text;
  nlohmann::json document;
  try {
    text = ReadWholeFile(ConfigFilePath());
    if (!text.has_value()) {
      LogError(kOpenFailureText);
      return std::string(kOpenFailureText);
    }
    document = ParseLeniently(*text);
    BuildSpawnTables(document);
  } catch (const std::exception& e) {
    // The one error line is the whole report: findings would only say the
    // same thing again in other words.
    LogError(e.what());
    return std::string(e.what());
  }
  ConfigDocument = std::move(document);
  ForgetEntryFaults();
  if (findings != nullptr) *findings = CheckLoadedText(*text);
  return std::nullopt;
}

void LogConfigFindings(const std::vector<ConfigFinding>& findings) noexcept {
  for (const ConfigFinding& finding : findings) {
    try {
      const std::string line = FormatFinding(finding, kConfigFileName);
      if (finding.severity == ConfigFinding::Severity::kError) {
        LogError(line);
      } else {
        LogInfo(line);
      }
    } catch (...) {
      // A line that cannot be written is lost; the others still go out.
    }
  }
}

void Load() {
  CreatePluginLogger();
  std::vector<ConfigFinding> findings;
  if (ReadConfiguration(&findings).has_value()) return;
  AddTimerCallback();
  AddReloadCommand();
  LogInfo(LoadMessage());
  LogConfigFindings(findings);
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
