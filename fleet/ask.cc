#include "fleet/ask.h"

#include <array>
#include <asio.hpp>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <utility>

#include "standin/rcon/frame.h"

namespace drovekeeper::fleet {
namespace {

namespace rcon = standin::rcon;

constexpr std::int32_t kAuthId = 1;
constexpr std::int32_t kCommandId = 2;
constexpr std::int32_t kProbeId = 3;

// One server's connection, from resolving its host to the probe's echo.
// Everything runs on the io_context's one thread.
class Call : public std::enable_shared_from_this<Call> {
 public:
  Call(asio::io_context& io, const Server& server, const std::string& command, Answer& answer,
       std::function<void()> on_done)
      : resolver_(io),
        socket_(io),
        server_(server),
        command_(command),
        answer_(answer),
        on_done_(std::move(on_done)) {}

  void Start() {
    resolver_.async_resolve(
        server_.host, std::to_string(server_.port),
        [self = shared_from_this()](const asio::error_code& error,
                                    asio::ip::tcp::resolver::results_type results) {
          self->OnResolved(error, results);
        });
  }

  // The deadline came first.
  void Expire(const std::string& after) {
    if (done_) return;
    Finish(Reach::timed_out, "no answer within " + after + " (" + StageText() + ")");
  }

 private:
  enum class Stage { connecting, login, reply };

  std::string StageText() const {
    switch (stage_) {
      case Stage::connecting:
        return "connecting";
      case Stage::login:
        return "logging in";
      case Stage::reply:
        break;
    }
    return "waiting for the reply";
  }

  void OnResolved(const asio::error_code& error,
                  const asio::ip::tcp::resolver::results_type& results) {
    if (done_) return;
    if (error)
      return Finish(Reach::unreachable, "cannot resolve " + server_.host + ": " + error.message());
    asio::async_connect(socket_, results,
                        [self = shared_from_this()](const asio::error_code& connect_error,
                                                    const asio::ip::tcp::endpoint&) {
                          self->OnConnected(connect_error);
                        });
  }

  void OnConnected(const asio::error_code& error) {
    if (done_) return;
    if (error) return Finish(Reach::unreachable, "cannot connect: " + error.message());
    stage_ = Stage::login;
    Send({kAuthId, rcon::kTypeAuth, server_.password});
    Read();
  }

  void Send(const rcon::Packet& packet) {
    const bool idle = outgoing_.empty();
    outgoing_.push_back(rcon::EncodePacket(packet));
    if (idle) WriteNext();
  }

  // One write at a time, as asio requires of a stream.
  void WriteNext() {
    asio::async_write(socket_, asio::buffer(outgoing_.front()),
                      [self = shared_from_this()](const asio::error_code& error, std::size_t) {
                        if (self->done_) return;
                        if (error)
                          return self->Finish(Reach::unreachable,
                                              "cannot send: " + error.message());
                        self->outgoing_.pop_front();
                        if (!self->outgoing_.empty()) self->WriteNext();
                      });
  }

  void Read() {
    socket_.async_read_some(
        asio::buffer(buffer_),
        [self = shared_from_this()](const asio::error_code& error, std::size_t got) {
          self->OnRead(error, got);
        });
  }

  void OnRead(const asio::error_code& error, std::size_t got) {
    if (done_) return;
    if (error) {
      const std::string why =
          error == asio::error::eof ? "the server closed the connection" : error.message();
      return Finish(Reach::unreachable, why + " (" + StageText() + ")");
    }
    std::vector<rcon::Packet> packets;
    const rcon::DecodeError bad = decoder_.Feed(std::string_view(buffer_.data(), got), &packets);
    for (const rcon::Packet& packet : packets) {
      Take(packet);
      if (done_) return;
    }
    if (bad != rcon::DecodeError::kNone)
      return Finish(Reach::unreachable, std::string("bad frame (") + rcon::DecodeErrorName(bad) +
                                            ") (" + StageText() + ")");
    Read();
  }

  void Take(const rcon::Packet& packet) {
    if (stage_ == Stage::login) {
      // Some servers send an empty RESPONSE_VALUE before the login's answer.
      if (packet.type != rcon::kTypeAuthResponse) return;
      if (packet.id == -1) return Finish(Reach::login_refused, "the server refused the password");
      if (packet.id != kAuthId) return;
      stage_ = Stage::reply;
      Send({kCommandId, rcon::kTypeExecCommand, command_});
      // Answered after the command's last packet: the end of its reply.
      Send({kProbeId, rcon::kTypeResponseValue, ""});
      return;
    }
    if (packet.type != rcon::kTypeResponseValue) return;
    if (packet.id == kCommandId) reply_ += packet.body;
    if (packet.id == kProbeId) Finish(Reach::answered, "");
  }

  void Finish(Reach reach, std::string error) {
    done_ = true;
    answer_.reach = reach;
    answer_.error = std::move(error);
    if (reach == Reach::answered) answer_.reply = std::move(reply_);
    resolver_.cancel();
    asio::error_code ignored;
    socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
    socket_.close(ignored);
    on_done_();
  }

  asio::ip::tcp::resolver resolver_;
  asio::ip::tcp::socket socket_;
  const Server& server_;
  const std::string& command_;
  Answer& answer_;
  std::function<void()> on_done_;
  Stage stage_ = Stage::connecting;
  bool done_ = false;
  std::array<char, 8192> buffer_{};
  rcon::FrameDecoder decoder_;
  std::deque<std::string> outgoing_;
  std::string reply_;
};

std::string Duration(std::chrono::milliseconds timeout) {
  if (timeout.count() % 1000 == 0) return std::to_string(timeout.count() / 1000) + " s";
  return std::to_string(timeout.count()) + " ms";
}

}  // namespace

std::vector<Answer> AskAll(const std::vector<Server>& servers, const std::string& command,
                           std::chrono::milliseconds timeout) {
  std::vector<Answer> answers(servers.size());
  if (servers.empty()) return answers;
  asio::io_context io;
  asio::steady_timer deadline(io, timeout);
  std::size_t left = servers.size();
  std::vector<std::shared_ptr<Call>> calls;
  calls.reserve(servers.size());
  for (std::size_t i = 0; i < servers.size(); ++i) {
    calls.push_back(std::make_shared<Call>(io, servers[i], command, answers[i], [&] {
      if (--left == 0) deadline.cancel();
    }));
  }
  for (const std::shared_ptr<Call>& call : calls) call->Start();
  deadline.async_wait([&](const asio::error_code& error) {
    if (error) return;  // every server finished first
    for (const std::shared_ptr<Call>& call : calls) call->Expire(Duration(timeout));
  });
  io.run();
  return answers;
}

const char* ReachName(Reach reach) {
  switch (reach) {
    case Reach::answered:
      return "answered";
    case Reach::unreachable:
      return "unreachable";
    case Reach::login_refused:
      return "login refused";
    case Reach::timed_out:
      break;
  }
  return "timed out";
}

}  // namespace drovekeeper::fleet
