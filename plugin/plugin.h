// The plug-in's lifecycle: the module entry the loader calls, Load and
// Unload, and the configuration read shared by Load and the reload command.
// Only plugin/ and the tests call these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check/check.h"

inline constexpr std::string_view kTimerCallbackName = "Drovekeeper.TimingSpawn";
inline constexpr std::string_view kReloadCommandName = "Drovekeeper.reload";
inline constexpr std::string_view kStatusCommandName = "Drovekeeper.status";
inline constexpr std::string_view kOpenFailureText = "无法打开文件配置config.json";
inline constexpr std::string_view kDisplayTitle = "Herdwarden";
inline constexpr std::string_view kContactGroup = "58120337";
// How log lines name the configuration file: operators know where it lives,
// and the server's full path is nobody else's business.
inline constexpr std::string_view kConfigFileName = "config.json";

// Reason codes of the module entry.
inline constexpr std::uint32_t kProcessDetach = 0;
inline constexpr std::uint32_t kProcessAttach = 1;
inline constexpr std::uint32_t kThreadAttach = 2;
inline constexpr std::uint32_t kThreadDetach = 3;

// Attach runs Load, detach runs Unload, thread notices do nothing. Always
// returns 1; whatever escapes Load or Unload is logged (plugin/entry_guard.h).
int ModuleEntry(void* module, std::uint32_t reason, void* reserved) noexcept;

// Creates the logger, reads the configuration, builds the tables, registers
// the timer callback (TimingSpawnTick behind the entry guard), the reload
// command and the status command, and logs the load message followed by the
// configuration's findings. On any failure it logs what ReadConfiguration
// logs and registers nothing.
void Load();

// Withdraws the timer callback, then the reload command, then the status
// command, whether or not Load registered them.
void Unload();

// The load message: title and where to find the publisher.
std::string LoadMessage();

// The server's working directory followed by the configuration's own path.
std::string ConfigFilePath();

// What a read of the configuration came to.
struct ConfigReadResult {
  // The failure's text, already logged as one error line, or nothing.
  std::optional<std::string> failure;
  // On a failure other than a missing file: the checker's error that
  // explains it, as "config.json:LINE:COL: error: ...", when it found one;
  // the one on what the failure names, else the first that refuses the file.
  std::optional<std::string> cause;
  // On success: the checker's findings on the very text that was loaded,
  // not yet logged.
  std::vector<ConfigFinding> findings;
};

// Reads config.json into a new document and builds both tables from it; the
// document and the tables are replaced only when both steps succeed. A
// failure logs its one line, then the checker's errors that refuse the text,
// in text order, at most kMaxFailureFindings and then "... and N more"; the
// file's other findings belong to a text that is not running.
ConfigReadResult ReadConfiguration();

// How many errors a failed read logs after its failure line.
inline constexpr std::size_t kMaxFailureFindings = 10;

// One line per finding, as drovekeeper-check prints it with the file named
// "config.json": errors at error level, warnings at info level, nothing of
// any other severity. Findings are reports only; nothing here changes what
// is loaded. Never throws.
void LogConfigFindings(const std::vector<ConfigFinding>& findings) noexcept;
