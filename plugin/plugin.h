// The plug-in's lifecycle: the module entry the loader calls, Load and
// Unload, and the configuration read shared by Load and the reload command.
// Only plugin/ and the tests call these.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

inline constexpr std::string_view kTimerCallbackName = "Drovekeeper.TimingSpawn";
inline constexpr std::string_view kReloadCommandName = "Drovekeeper.reload";
inline constexpr std::string_view kOpenFailureText = "无法打开文件配置config.json";
inline constexpr std::string_view kDisplayTitle = "Herdwarden";
inline constexpr std::string_view kContactGroup = "58120337";

// Reason codes of the module entry.
inline constexpr std::uint32_t kProcessDetach = 0;
inline constexpr std::uint32_t kProcessAttach = 1;
inline constexpr std::uint32_t kThreadAttach = 2;
inline constexpr std::uint32_t kThreadDetach = 3;

// Attach runs Load, detach runs Unload, thread notices do nothing. Always
// returns 1, and no exception leaves it.
int ModuleEntry(void* module, std::uint32_t reason, void* reserved) noexcept;

// Creates the logger, reads the configuration, builds the tables, registers
// the timer callback and the reload command, and logs the load message. On
// any failure it logs one error line and registers nothing.
void Load();

// Withdraws the timer callback, then the reload command, whether or not Load
// registered them.
void Unload();

// The load message: title and where to find the publisher.
std::string LoadMessage();

// Reads config.json into a new document and builds both tables from it; the
// document and the tables are replaced only when both steps succeed. Returns
// the failure's text, already logged as one error line, or nothing.
std::optional<std::string> ReadConfiguration();
