#include "standin/game/rcon.h"

#include <utility>

namespace standin {

void RconConnection::Send(RconReply reply) {
  replies_.push_back(std::move(reply));
  if (handler_) handler_(replies_.back());
}

RconRequest::RconRequest(std::int32_t id, std::u16string body, std::int32_t type)
    : body_(std::move(body)) {
  std::int32_t count = body_.empty() ? 0 : static_cast<std::int32_t>(body_.size()) + 1;
  record_ =
      RCONPacketRecord{static_cast<std::int32_t>(body_.size() + 10), id, type, 0,
                       GameStringRecord{body_.empty() ? nullptr : body_.data(), count, count}};
}

void RconSendMessage(RCONClientConnection* connection, std::int32_t id, std::int32_t zero,
                     GameStringRecord* message) {
  std::u16string text;
  if (message != nullptr && message->data != nullptr && message->count > 1) {
    text.assign(message->data, message->count - 1);
  }
  RconConnection::FromGame(connection)->Send(RconReply{id, zero, std::move(text)});
}

}  // namespace standin
