// The stand-in game's side of RCON: the client connection the game hands to
// command callbacks, and the request packet. Used by the stand-in RCON server,
// the simulator and tests; the plug-in sees only the opaque pointers.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/game_types.h"
#include "host/zelapi.h"

namespace standin {

// One "RCONClientConnection.SendMessageW" call.
struct RconReply {
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

  const std::vector<RconReply>& replies() const { return replies_; }
  void ClearReplies() { replies_.clear(); }
  // Called for every reply as it is sent, after it is recorded.
  void SetReplyHandler(std::function<void(const RconReply&)> handler) {
    handler_ = std::move(handler);
  }

  void Send(RconReply reply);

 private:
  std::vector<RconReply> replies_;
  std::function<void(const RconReply&)> handler_;
};

// An RCON request packet; owns its body text.
class RconRequest {
 public:
  RconRequest(std::int32_t id, std::u16string body, std::int32_t type = 2);
  RconRequest(const RconRequest&) = delete;
  RconRequest& operator=(const RconRequest&) = delete;

  RCONPacket* game() { return reinterpret_cast<RCONPacket*>(&record_); }
  const RCONPacketRecord& record() const { return record_; }

 private:
  std::u16string body_;
  RCONPacketRecord record_;
};

// "RCONClientConnection.SendMessageW".
void RconSendMessage(RCONClientConnection* connection, std::int32_t id, std::int32_t zero,
                     GameStringRecord* message);

}  // namespace standin
