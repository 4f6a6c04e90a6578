// The reply path every RCON command of ours answers through. Used by
// plugin/ only.
#pragma once

#include <string_view>

#include "host/zelapi.h"

namespace drovekeeper::plugin {

// Sends `text` to the client as the reply to `packet`, with its id, in one
// "RCONClientConnection.SendMessageW" call; the game splits a long reply
// into packets.
void SendCommandReply(RCONClientConnection* connection, RCONPacket* packet,
                      std::u16string_view text);

}  // namespace drovekeeper::plugin
