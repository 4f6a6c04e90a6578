#include "rcon_test_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <vector>

#include "standin/rcon/frame.h"

namespace e2e {
namespace {

class Connection {
 public:
  ~Connection() {
    if (fd_ >= 0) close(fd_);
  }

  bool Open(const std::string& host, std::uint16_t port) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    if (fd_ < 0) return false;
    timeval timeout{5, 0};
    setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    if (inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) return false;
    return connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  }

  bool Send(std::int32_t id, std::int32_t type, const std::string& body) {
    std::string frame = standin::rcon::EncodePacket({id, type, body});
    return write(fd_, frame.data(), frame.size()) == static_cast<ssize_t>(frame.size());
  }

  // The next packet, or nothing on timeout, close or a framing error.
  std::optional<standin::rcon::Packet> Receive() {
    while (pending_.empty()) {
      char buffer[4096];
      ssize_t got = read(fd_, buffer, sizeof(buffer));
      if (got <= 0) return std::nullopt;
      if (decoder_.Feed(std::string_view(buffer, got), &pending_) !=
          standin::rcon::DecodeError::kNone) {
        return std::nullopt;
      }
    }
    standin::rcon::Packet packet = pending_.front();
    pending_.erase(pending_.begin());
    return packet;
  }

 private:
  int fd_ = -1;
  standin::rcon::FrameDecoder decoder_;
  std::vector<standin::rcon::Packet> pending_;
};

}  // namespace

RconOutcome RunRconCommand(const std::string& host, std::uint16_t port, const std::string& password,
                           const std::string& command) {
  RconOutcome outcome;
  Connection connection;
  if (!connection.Open(host, port)) {
    outcome.failure = "cannot connect";
    return outcome;
  }
  constexpr std::int32_t kAuthId = 7;
  constexpr std::int32_t kCommandId = 8;
  connection.Send(kAuthId, standin::rcon::kTypeAuth, password);
  // An empty RESPONSE_VALUE may come first; the AUTH_RESPONSE decides.
  for (;;) {
    std::optional<standin::rcon::Packet> packet = connection.Receive();
    if (!packet) {
      outcome.failure = "no answer to the authentication";
      return outcome;
    }
    if (packet->type != standin::rcon::kTypeAuthResponse) continue;
    if (packet->id == -1) {
      outcome.failure = "password refused";
      return outcome;
    }
    outcome.authenticated = packet->id == kAuthId;
    break;
  }
  // A reply may take several packets: the empty probe behind the command
  // comes back after its last one.
  constexpr std::int32_t kProbeId = 9;
  connection.Send(kCommandId, standin::rcon::kTypeExecCommand, command);
  connection.Send(kProbeId, standin::rcon::kTypeResponseValue, "");
  std::string reply;
  for (;;) {
    std::optional<standin::rcon::Packet> packet = connection.Receive();
    if (!packet) {
      outcome.failure = "no echo of the probe";
      return outcome;
    }
    if (packet->type != standin::rcon::kTypeResponseValue) continue;
    if (packet->id == kProbeId) {
      if (!packet->body.empty()) outcome.failure = "the probe was answered: " + packet->body;
      return outcome;
    }
    if (packet->id == kCommandId) outcome.reply = reply += packet->body;
  }
}

}  // namespace e2e
