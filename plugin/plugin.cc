#include "plugin/plugin.h"

#include <fmt/format.h>

#include <algorithm>
#include <exception>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <utility>

#include "config/config.h"
#include "host/game_string.h"
#include "host/zelapi.h"
#include "plugin/entry_guard.h"
#include "plugin/log.h"
#include "plugin/reload.h"
#include "plugin/status.h"
#include "spawn/entry_faults.h"
#include "spawn/tick.h"

namespace {

constexpr std::string_view kConfigRelativePath = "/ZelApi/Plugins/Drovekeeper/config.json";

// What the host calls every few milliseconds: the timer run, behind the
// guard every host entry has.
void GuardedTimingSpawnTick() noexcept {
  GuardHostEntry("the timer callback", [] { TimingSpawnTick(); });
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

// The file is read once and both parsed and checked from that one text, so
// the findings always describe what was loaded, even when the file changes
// in between.
std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::in | std::ios::binary);
  if (!file.is_open()) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Whether an error explains why the file was refused; the others would only
// fail later, when their entry falls due, in a file that is not running.
bool RejectsTheFile(const ConfigFinding& finding) {
  return finding.severity == ConfigFinding::Severity::kError &&
         finding.consequence == Consequence::kRejectsFile;
}

// Whether `finding` is about what the failure names first: the table and
// entry of a table build's fault, or the document for a parse error.
bool NamesTheFailure(const ConfigFinding& finding, std::string_view failure) {
  std::string subject;
  if (!finding.entry.empty()) {
    subject = fmt::format("{}[\"{}\"]: ", finding.table, finding.entry);
  } else if (!finding.table.empty()) {
    subject = finding.table + ": ";
  }
  if (subject.empty()) return failure.starts_with("[json.exception.parse_error.");
  return failure.starts_with(subject);
}

// Logs the errors that refuse the file, in text order, at most
// kMaxFailureFindings of them and then a count of the rest; returns the line
// of the one the failure names, or else of the first.
std::optional<std::string> LogRefusingFindings(const std::vector<ConfigFinding>& findings,
                                               std::string_view failure) noexcept {
  std::optional<std::string> cause;
  try {
    std::vector<const ConfigFinding*> refusing;
    for (const ConfigFinding& finding : findings) {
      if (RejectsTheFile(finding)) refusing.push_back(&finding);
    }
    if (refusing.empty()) return cause;
    const auto named = std::find_if(refusing.begin(), refusing.end(), [failure](const auto* f) {
      return NamesTheFailure(*f, failure);
    });
    cause = FormatFinding(named == refusing.end() ? *refusing.front() : **named, kConfigFileName);
    for (std::size_t i = 0; i < refusing.size() && i < kMaxFailureFindings; ++i) {
      try {
        LogError(FormatFinding(*refusing[i], kConfigFileName));
      } catch (...) {
        // A line that cannot be written is lost; the others still go out.
      }
    }
    if (refusing.size() > kMaxFailureFindings) {
      LogError(fmt::format("... and {} more", refusing.size() - kMaxFailureFindings));
    }
  } catch (...) {
  }
  return cause;
}

}  // namespace

std::string LoadMessage() {
  return fmt::format("已加载:{}.插件发布群{}", kDisplayTitle, kContactGroup);
}

std::string ConfigFilePath() {
  return ZelApi::Tools::GetCurrentDir() + std::string(kConfigRelativePath);
}

ConfigReadResult ReadConfiguration() {
  ConfigReadResult result;
  std::optional<std::string> text;
  nlohmann::json document;
  try {
    text = ReadWholeFile(ConfigFilePath());
    if (!text.has_value()) {
      LogError(kOpenFailureText);
      result.failure = std::string(kOpenFailureText);
      return result;
    }
    document = ParseConfigText(*text);
    BuildSpawnTables(document);
  } catch (const std::exception& e) {
    LogError(e.what());
    result.failure = std::string(e.what());
    // The failure line says what; the checker's errors say where.
    if (text.has_value()) result.cause = LogRefusingFindings(CheckConfigText(*text), e.what());
    return result;
  }
  ConfigDocument = std::move(document);
  ForgetEntryFaults();
  result.findings = CheckConfigText(*text);
  return result;
}

void LogConfigFindings(const std::vector<ConfigFinding>& findings) noexcept {
  for (const ConfigFinding& finding : findings) {
    try {
      switch (finding.severity) {
        case ConfigFinding::Severity::kError:
          LogError(FormatFinding(finding, kConfigFileName));
          break;
        case ConfigFinding::Severity::kWarning:
          LogInfo(FormatFinding(finding, kConfigFileName));
          break;
        default:
          break;  // notes are for the checker's reader, not the server log
      }
    } catch (...) {
      // A line that cannot be written is lost; the others still go out.
    }
  }
}

void Load() {
  CreatePluginLogger();
  ConfigReadResult read = ReadConfiguration();
  if (read.failure.has_value()) return;
  RecordLoad();
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
