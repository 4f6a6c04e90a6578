#include "standin/game/console.h"

#include <utility>

#include "standin/host/host.h"

namespace standin::game {

void RconConnection::Send(RconMessage message) {
  replies_.push_back(std::move(message));
  if (handler_) handler_(replies_.back());
}

RconPacket::RconPacket(std::int32_t id, std::u16string body, std::int32_t type)
    : body_(std::move(body)) {
  std::int32_t count = body_.empty() ? 0 : static_cast<std::int32_t>(body_.size()) + 1;
  record_ =
      RCONPacketRecord{static_cast<std::int32_t>(body_.size() + 10), id, type, 0,
                       GameStringRecord{body_.empty() ? nullptr : body_.data(), count, count}};
}

RconPacket::RconPacket(const rcon::RconRequest& request)
    : RconPacket(request.packet_id, host::Utf8ToUtf16(request.command)) {}

void RconSendMessage(RCONClientConnection* connection, std::int32_t id, std::int32_t zero,
                     GameStringRecord* message) {
  std::u16string text;
  if (message != nullptr && message->data != nullptr && message->count > 1) {
    text.assign(message->data, message->count - 1);
  }
  RconConnection::FromGame(connection)->Send(RconMessage{id, zero, std::move(text)});
}

std::string UnknownCommandReply(std::string_view command_line) {
  const std::string_view name = host::RconCommandName(command_line);
  return "unknown command: " + (name.empty() ? std::string("(none)") : std::string(name));
}

RconOutcome RunRconCommand(const rcon::RconRequest& request) {
  RconConnection connection;
  RconPacket packet(request);
  RconOutcome outcome;
  outcome.known = host::DispatchRcon(request.command, connection.game(), packet.game());
  if (!outcome.known) {
    connection.Send(
        RconMessage{request.packet_id, 0, host::Utf8ToUtf16(UnknownCommandReply(request.command))});
  }
  if (!connection.replies().empty()) {
    std::string text;
    for (const RconMessage& message : connection.replies()) text += host::Utf16ToUtf8(message.text);
    outcome.reply = std::move(text);
  }
  request.reply.Send(outcome.reply.value_or(""));
  return outcome;
}

}  // namespace standin::game
