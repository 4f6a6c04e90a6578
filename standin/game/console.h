// The stand-in game's console, its side of RCON: the client connection and the packet
// record the game hands to command callbacks, and the game's console that
// runs a client's request through the host's registered commands. Used by the
// simulator and tests; the plug-in sees only the opaque pointers.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "host/game_types.h"
#include "host/zelapi.h"
#include "standin/rcon/request.h"

namespace standin::game {

// One "RCONClientConnection.SendMessageW" call.
struct RconMessage {
  std::int32_t id;
  std::int32_t zero;
  std::u16string text;  // without the terminator
};

class RconConnection {
 public:
  RconConnection() = default;
  RconConnection(const RconConnection&) = delete;
  RconConnection& operator=(const RconConnection&) = delete;

  // As the game hands it to command callbacks.
  RCONClientConnection* game() { return reinterpret_cast<RCONClientConnection*>(this); }
  static RconConnection* FromGame(RCONClientConnection* connection) {
    return reinterpret_cast<RconConnection*>(connection);
  }

  // Every message sent to this client, oldest first.
  const std::vector<RconMessage>& replies() const { return replies_; }
  void ClearReplies() { replies_.clear(); }
  // Called for every message as it is sent, after it is recorded.
  void SetReplyHandler(std::function<void(const RconMessage&)> handler) {
    handler_ = std::move(handler);
  }

  void Send(RconMessage message);

 private:
  std::vector<RconMessage> replies_;
  std::function<void(const RconMessage&)> handler_;
};

// The game's record of a request packet, as command callbacks receive it;
// owns its body text.
class RconPacket {
 public:
  RconPacket(std::int32_t id, std::u16string body, std::int32_t type = 2);
  explicit RconPacket(const rcon::RconRequest& request);
  RconPacket(const RconPacket&) = delete;
  RconPacket& operator=(const RconPacket&) = delete;

  RCONPacket* game() { return reinterpret_cast<RCONPacket*>(&record_); }
  const RCONPacketRecord& record() const { return record_; }

 private:
  std::u16string body_;
  RCONPacketRecord record_;
};

// "RCONClientConnection.SendMessageW".
void RconSendMessage(RCONClientConnection* connection, std::int32_t id, std::int32_t zero,
                     GameStringRecord* message);

// What the game's console made of one request.
struct RconOutcome {
  bool known = false;  // a registered command took it
  // Every message sent for it, joined, UTF-8; none when nothing was sent.
  std::optional<std::string> reply;
};

// The reply to a command line no registered command takes.
std::string UnknownCommandReply(std::string_view command_line);

// Runs `request` as the game runs a client's command: through the host's
// registered commands (host::DispatchRcon), answering a line none takes
// with UnknownCommandReply. Then sends the reply through `request.reply`
// (an empty one when the command sent nothing, so the client is not left
// waiting).
RconOutcome RunRconCommand(const rcon::RconRequest& request);

}  // namespace standin::game
