// The plug-in's lifecycle: the module entry the loader calls, Load and
// Unload. Only plugin/ and the tests call these.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace drovekeeper::plugin {

inline constexpr std::string_view kTimerCallbackName = "Drovekeeper.TimingSpawn";
inline constexpr std::string_view kReloadCommandName = "Drovekeeper.reload";
inline constexpr std::string_view kStatusCommandName = "Drovekeeper.status";
inline constexpr std::string_view kSpawnCommandName = "Drovekeeper.spawn";
inline constexpr std::string_view kCheckCommandName = "Drovekeeper.check";
inline constexpr std::string_view kDisplayTitle = "Herdwarden";
inline constexpr std::string_view kContactGroup = "58120337";

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
// command and the operator's commands (status, spawn, check), and logs the
// load message followed by the configuration's findings. On any failure it
// logs what ReadConfiguration logs and registers nothing.
void Load();

// Withdraws the timer callback, then the reload command, then the status,
// spawn and check commands, whether or not Load registered them.
void Unload();

// The load message: title and where to find the publisher.
std::string LoadMessage();

}  // namespace drovekeeper::plugin
