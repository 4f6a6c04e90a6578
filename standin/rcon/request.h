// One command an RCON client sent, and the handle that answers it. The
// stand-in's RCON server queues these for the application; the stand-in game
// runs them (standin/game/console.h); the simulator makes its own for scripted
// commands, whose replies go nowhere.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace standin::rcon {

// Sends the reply to one command. Copies share one reply: the first Send or
// Drop counts and later ones do nothing; so does the last copy going away
// unsent, as a Drop. Thread-safe. A dropped reply sends nothing for its
// command and lets the connection's later replies through.
class RconReply {
 public:
  // Goes nowhere.
  RconReply() = default;
  // `deliver` receives the text, or nothing for a drop; called at most once,
  // on the thread that sends, drops or lets the last copy go.
  explicit RconReply(std::function<void(std::optional<std::string>)> deliver);

  // `utf8` goes out as one or more RESPONSE_VALUE packets with the command's id.
  void Send(std::string_view utf8) const;
  void Drop() const;

 private:
  class State;
  std::shared_ptr<State> state_;
};

struct RconRequest {
  std::string command;  // the whole command line as the client sent it, UTF-8
  std::int32_t packet_id = 0;
  std::string peer;  // "address:port" of the client; empty for a scripted command
  RconReply reply;
};

}  // namespace standin::rcon
