// The plug-in's lifecycle: the module entry the loader calls, Load and
// Unload, and the configuration read shared by Load and the reload command.
// Only plugin/ and the tests call these.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/check.h"

inline constexpr std::string_view kTimerCallbackName = "Drovekeeper.TimingSpawn";
inline constexpr std::string_view kReloadCommandName = "Drovekeeper.reload";
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
// returns 1, and no exception leaves it.
int ModuleEntry(void* module, std::uint32_t reason, void* reserved) noexcept;

// Creates the logger, reads the configuration, builds the tables, registers
// the timer callback and the reload command, and logs the load message
// followed by the configuration's findings. On any failure it logs one error
// line and registers nothing.
void Load();

// Withdraws the timer callback, then the reload command, whether or not Load
// registered them.
void Unload();

// The load message: title and where to find the publisher.
std::string LoadMessage();

// Reads config.json into a new document and builds both tables from it; the
// document and the tables are replaced only when both steps succeed. Returns
// the failure's text, already logged as one error line, or nothing. On
// success, `findings` (when given) receives the checker's findings on the
// very text that was loaded; a failure leaves it empty, as its one error
// line already says what is wrong.
std::optional<std::string> ReadConfiguration(std::vector<ConfigFinding>* findings = nullptr);

// One line per finding, as drovekeeper-check prints it with the file named
// "config.json": errors at error level, warnings at info level. Findings are
// reports only; nothing here changes what is loaded. Never throws.
void LogConfigFindings(const std::vector<ConfigFinding>& findings) noexcept;
