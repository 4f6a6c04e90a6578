// One client connection of the stand-in's RCON server: reads frames, feeds
// them to its Protocol, writes what the protocol says, and closes with a
// reason. Lives on the server's I/O thread; only server.cc creates these.
#pragma once

#include <array>
#include <asio.hpp>
#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "standin/rcon/frame.h"
#include "standin/rcon/login_throttle.h"
#include "standin/rcon/protocol.h"
#include "standin/rcon/server.h"

namespace standin::rcon::internal {

class Connection;

// What a connection needs of its server. Called on the I/O thread only.
class ConnectionOwner {
 public:
  virtual const RconServerOptions& options() const = 0;
  virtual asio::io_context& io() = 0;
  virtual LoginThrottle& throttle() = 0;
  // Queues `command` for the application, its reply bound to `from`.
  virtual void Submit(const std::shared_ptr<Connection>& from, CommandRequest command) = 0;
  virtual void Report(RconEvent event) = 0;
  // `connection` has closed; the owner lets it go.
  virtual void Forget(const std::shared_ptr<Connection>& connection) = 0;

 protected:
  ~ConnectionOwner() = default;
};

// Kept alive by its pending operations and by the owner's set until Close().
class Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(ConnectionOwner& owner, asio::ip::tcp::socket socket);

  void Start();
  // The application's reply to the command in `slot`; nothing is a drop.
  void OnReply(std::uint64_t slot, std::optional<std::string> reply);
  // Ends the connection at once, unsent replies included. A non-empty
  // `reason` reports the end as a drop.
  void Close(std::string_view reason = {});

  const std::string& peer() const { return peer_; }

 private:
  static constexpr std::size_t kReadChunk = 4096;
  static constexpr std::chrono::milliseconds kMaxLinger{2000};

  void StartRead();
  void OnRead(std::error_code ec, std::size_t n);
  // Feeds queued packets to the protocol until one has to wait; reads more
  // only once all are handled, which bounds what a connection buffers.
  void Pump();
  void Apply(ProtocolStep step);
  void Write();
  void BeginClose();
  // Everything is written: say so to the peer, then give it a moment to
  // read and hang up before the socket goes.
  void FinishClose();
  void ArmIdleTimer();

  ConnectionOwner& owner_;
  asio::ip::tcp::socket socket_;
  std::string address_;
  std::string peer_;
  Protocol protocol_;
  FrameDecoder decoder_;
  std::deque<Packet> inbox_;
  std::array<char, kReadChunk> read_buffer_{};
  std::string unsent_;
  std::string in_flight_;
  asio::steady_timer idle_timer_;
  asio::steady_timer auth_timer_;
  asio::steady_timer linger_timer_;
  std::uint64_t idle_generation_ = 0;
  bool reading_ = false;
  bool writing_ = false;
  bool closing_ = false;
  bool closed_ = false;
  bool peer_done_ = false;
  bool waiting_auth_delay_ = false;
  bool auth_delay_served_ = false;
};

}  // namespace standin::rcon::internal
