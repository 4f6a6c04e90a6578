#include "plugin/reply.h"

#include <algorithm>
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

std::string CommandArguments(const RCONPacket* packet) {
  const GameStringRecord& body = reinterpret_cast<const RCONPacketRecord*>(packet)->body;
  if (body.data == nullptr || body.count <= 1) return {};
  const std::string line =
      host::Utf16ToUtf8(std::u16string_view(body.data, static_cast<std::size_t>(body.count - 1)));
  std::string_view rest(line);
  rest.remove_prefix(std::min(rest.size(), rest.find_first_not_of(kBlanks)));
  rest.remove_prefix(std::min(rest.size(), rest.find_first_of(kBlanks)));
  rest.remove_prefix(std::min(rest.size(), rest.find_first_not_of(kBlanks)));
  rest = rest.substr(0, rest.find_last_not_of(kBlanks) + 1);
  return std::string(rest);
}

}  // namespace drovekeeper::plugin
