#include "plugin/reload.h"

#include <cstdint>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "host/game_access.h"
#include "host/game_string.h"
#include "host/game_types.h"
#include "plugin/log.h"
#include "plugin/plugin.h"

void ReloadCommand(RCONClientConnection* connection, RCONPacket* packet, UWorld* /*world*/) {
  std::vector<ConfigFinding> findings;
  // Exceptions must not unwind into the host's RCON dispatch.
  try {
    // First, so that even a failure goes to the sinks the host has now.
    CreatePluginLogger();
    const std::optional<std::string> failure = ReadConfiguration(&findings);
    std::u16string text(kReloadReply);
    if (failure.has_value()) {
      text = std::u16string(kReloadFailurePrefix) + ZelApi::Tools::Utf8Decode(*failure);
    }
    GameString reply = GameString::Exact(text);
    const std::int32_t packet_id = reinterpret_cast<const RCONPacketRecord*>(packet)->id;
    CallGame<void>("RCONClientConnection.SendMessageW", connection, packet_id, std::int32_t{0},
                   reply.record());
  } catch (const std::exception& e) {
    LogError(e.what());
  }
  // After the outcome, so the log reads first whether the reload took and
  // then what is questionable in the file now running.
  LogConfigFindings(findings);
}
