// The reply path every RCON command of ours answers through. Used by
// plugin/ only.
#pragma once

#include <string>
#include <string_view>

#include "host/zelapi.h"

namespace drovekeeper::plugin {

// Sends `text` to the client as the reply to `packet`, with its id, in one
// "RCONClientConnection.SendMessageW" call; the game splits a long reply
// into packets.
void SendCommandReply(RCONClientConnection* connection, RCONPacket* packet,
                      std::u16string_view text);

// The blanks a command's words are split and trimmed at.
inline constexpr std::string_view kBlanks = " \t\r\n";

// What the client wrote after the command's name, in UTF-8, without
// surrounding blanks.
std::string CommandArguments(const RCONPacket* packet);

}  // namespace drovekeeper::plugin
