#include "plugin/reply.h"

#include <cstdint>

#include "host/game_access.h"
#include "host/game_string.h"
#include "host/game_types.h"

namespace drovekeeper::plugin {

void SendCommandReply(RCONClientConnection* connection, RCONPacket* packet,
                      std::u16string_view text) {
  GameString reply = GameString::Exact(text);
  const std::int32_t packet_id = reinterpret_cast<const RCONPacketRecord*>(packet)->id;
  host::CallGame<void>("RCONClientConnection.SendMessageW", connection, packet_id, std::int32_t{0},
                       reply.record());
}

}  // namespace drovekeeper::plugin
