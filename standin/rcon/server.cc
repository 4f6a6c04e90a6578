#include "standin/rcon/server.h"

#include <algorithm>
#include <array>
#include <asio.hpp>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "standin/rcon/frame.h"
#include "standin/rcon/session.h"

namespace rcon {

using Clock = std::chrono::steady_clock;

namespace internal {

using asio::ip::tcp;

class ServerConnection;

}  // namespace internal

class RconServer::Core : public std::enable_shared_from_this<RconServer::Core> {
 public:
  explicit Core(RconServerOptions options) : options_(std::move(options)) {}

  std::error_code Open();
  void Run();
  // Closes the listener and every connection on the I/O thread, then stops
  // the thread; nothing of this server runs once it returns.
  void Shutdown();

  void Enqueue(RconRequest request);
  std::vector<RconRequest> TakePending();
  bool WaitPending(std::chrono::milliseconds timeout);
  // Any thread: hands a reply to the I/O thread unless the server stopped.
  void PostReply(std::weak_ptr<internal::ServerConnection> connection, std::uint64_t slot,
                 std::optional<std::string> reply);

  // I/O thread only.
  Clock::duration AuthDelay(const std::string& address);
  void RecordAuthFailure(const std::string& address);
  void Forget(const std::shared_ptr<internal::ServerConnection>& connection);

  const RconServerOptions& options() const { return options_; }
  asio::io_context& io() { return io_; }
  std::uint16_t port() const { return port_.load(); }
  std::size_t connection_count() const { return connection_count_.load(); }

 private:
  struct Failures {
    int count = 0;
    Clock::time_point last;
  };

  void Accept();

  const RconServerOptions options_;
  asio::io_context io_;
  internal::tcp::acceptor acceptor_{io_};
  asio::steady_timer accept_retry_{io_};
  std::thread thread_;
  std::atomic<std::uint16_t> port_{0};
  std::atomic<std::size_t> connection_count_{0};

  std::mutex mu_;
  std::condition_variable pending_cv_;
  bool stopped_ = false;
  std::vector<RconRequest> pending_;

  // I/O thread only.
  std::unordered_set<std::shared_ptr<internal::ServerConnection>> connections_;
  std::unordered_map<std::string, Failures> failures_;
};

class RconReply::State {
 public:
  State(std::weak_ptr<RconServer::Core> core, std::weak_ptr<internal::ServerConnection> connection,
        std::uint64_t slot)
      : core_(std::move(core)), connection_(std::move(connection)), slot_(slot) {}
  ~State() { Finish(std::nullopt); }

  void Finish(std::optional<std::string> reply) {
    if (done_.exchange(true)) return;
    if (auto core = core_.lock()) core->PostReply(connection_, slot_, std::move(reply));
  }

 private:
  std::weak_ptr<RconServer::Core> core_;
  std::weak_ptr<internal::ServerConnection> connection_;
  std::uint64_t slot_;
  std::atomic<bool> done_{false};
};

void RconReply::Send(std::string_view utf8) const {
  if (state_) state_->Finish(std::string(utf8));
}

void RconReply::Drop() const {
  if (state_) state_->Finish(std::nullopt);
}

namespace internal {

// One client; lives on the I/O thread. Kept alive by its pending operations
// and by the server's connection set until Close().
class ServerConnection : public std::enable_shared_from_this<ServerConnection> {
 public:
  ServerConnection(RconServer::Core& core, tcp::socket socket)
      : core_(core),
        socket_(std::move(socket)),
        session_(core.options().password, core.options().max_auth_failures),
        idle_timer_(core.io()),
        auth_timer_(core.io()),
        linger_timer_(core.io()) {
    std::error_code ec;
    const tcp::endpoint remote = socket_.remote_endpoint(ec);
    if (!ec) {
      address_ = remote.address().to_string();
      peer_ = address_ + ":" + std::to_string(remote.port());
    }
  }

  void Start() {
    ArmIdleTimer();
    StartRead();
  }

  void OnReply(std::uint64_t slot, std::optional<std::string> reply) {
    if (closed_ || closing_) return;
    Apply(reply ? session_.Complete(slot, *reply) : session_.Abandon(slot));
    Pump();
  }

  // Ends the connection at once, unsent replies included.
  void Close() {
    if (closed_) return;
    closed_ = true;
    std::error_code ec;
    idle_timer_.cancel();
    auth_timer_.cancel();
    linger_timer_.cancel();
    socket_.close(ec);
    core_.Forget(shared_from_this());
  }

 private:
  static constexpr std::size_t kReadChunk = 4096;
  static constexpr std::chrono::milliseconds kMaxLinger{2000};

  void StartRead() {
    if (reading_ || closed_) return;
    reading_ = true;
    socket_.async_read_some(
        asio::buffer(read_buffer_),
        [self = shared_from_this()](std::error_code ec, std::size_t n) { self->OnRead(ec, n); });
  }

  void OnRead(std::error_code ec, std::size_t n) {
    reading_ = false;
    if (closed_) return;
    if (closing_) {
      // Draining what the peer still sends, so closing does not reset the
      // connection before it has read our last packets.
      if (!ec) {
        StartRead();
      } else if (!writing_) {
        Close();
      } else {
        peer_done_ = true;
      }
      return;
    }
    if (ec) {
      Close();
      return;
    }
    ArmIdleTimer();
    std::vector<Packet> packets;
    if (decoder_.Feed(std::string_view(read_buffer_.data(), n), &packets) != DecodeError::kNone) {
      Close();
      return;
    }
    for (Packet& packet : packets) inbox_.push_back(std::move(packet));
    Pump();
  }

  // Feeds queued packets to the session until one has to wait; reads more
  // only once all are handled, which bounds what a connection buffers.
  void Pump() {
    while (!inbox_.empty() && !closed_ && !closing_ && !waiting_auth_delay_) {
      const Packet& packet = inbox_.front();
      if (packet.type == kTypeAuth && !auth_delay_served_) {
        const Clock::duration delay = core_.AuthDelay(address_);
        if (delay > Clock::duration::zero()) {
          waiting_auth_delay_ = true;
          auth_timer_.expires_after(delay);
          auth_timer_.async_wait([self = shared_from_this()](std::error_code ec) {
            if (ec || self->closed_) return;
            self->waiting_auth_delay_ = false;
            self->auth_delay_served_ = true;
            self->Pump();
          });
          return;
        }
      }
      if (packet.type == kTypeExecCommand && session_.authenticated() &&
          session_.outstanding_commands() >= core_.options().max_outstanding_commands) {
        return;  // resumed by OnReply
      }
      auth_delay_served_ = false;
      SessionStep step = session_.OnPacket(packet);
      inbox_.pop_front();
      Apply(std::move(step));
    }
    if (inbox_.empty() && !closed_ && !closing_) StartRead();
  }

  void Apply(SessionStep step) {
    if (step.auth_failed) core_.RecordAuthFailure(address_);
    for (CommandRequest& command : step.commands) {
      RconRequest request;
      request.command = std::move(command.command);
      request.packet_id = command.id;
      request.peer = peer_;
      request.reply = RconReply(std::make_shared<RconReply::State>(core_.weak_from_this(),
                                                                   weak_from_this(), command.slot));
      core_.Enqueue(std::move(request));
    }
    for (const Packet& packet : step.send) {
      AppendPacket(packet, &unsent_);
      if (unsent_.size() + in_flight_.size() > core_.options().max_write_queue_bytes) {
        Close();  // the peer is not reading its replies
        return;
      }
    }
    if (step.close) BeginClose();
    Write();
  }

  void Write() {
    if (writing_ || closed_) return;
    if (unsent_.empty()) {
      if (closing_) FinishClose();
      return;
    }
    writing_ = true;
    in_flight_.swap(unsent_);
    asio::async_write(socket_, asio::buffer(in_flight_),
                      [self = shared_from_this()](std::error_code ec, std::size_t) {
                        self->writing_ = false;
                        self->in_flight_.clear();
                        if (self->closed_) return;
                        if (ec) {
                          self->Close();
                          return;
                        }
                        self->Write();
                      });
  }

  void BeginClose() {
    closing_ = true;
    inbox_.clear();
    idle_timer_.cancel();
    auth_timer_.cancel();
  }

  // Everything is written: say so to the peer, then give it a moment to
  // read and hang up before the socket goes.
  void FinishClose() {
    if (peer_done_) {
      Close();
      return;
    }
    std::error_code ec;
    socket_.shutdown(tcp::socket::shutdown_send, ec);
    linger_timer_.expires_after(
        std::min<Clock::duration>(kMaxLinger, core_.options().idle_timeout));
    linger_timer_.async_wait([self = shared_from_this()](std::error_code wait_ec) {
      if (!wait_ec) self->Close();
    });
    StartRead();
  }

  void ArmIdleTimer() {
    const std::uint64_t generation = ++idle_generation_;
    idle_timer_.expires_after(core_.options().idle_timeout);
    idle_timer_.async_wait([self = shared_from_this(), generation](std::error_code ec) {
      if (ec || self->closed_ || self->closing_ || generation != self->idle_generation_) return;
      // An authenticated client may sit idle between commands; a stalled
      // frame or a connection that never logs in only holds a slot.
      if (self->waiting_auth_delay_) {
        self->ArmIdleTimer();
      } else if (self->decoder_.mid_frame() || !self->session_.authenticated()) {
        self->Close();
      }
    });
  }

  RconServer::Core& core_;
  tcp::socket socket_;
  std::string address_;
  std::string peer_;
  Session session_;
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

}  // namespace internal

std::error_code RconServer::Core::Open() {
  std::error_code ec;
  const asio::ip::address address = asio::ip::make_address(options_.bind_address, ec);
  if (ec) return ec;
  const internal::tcp::endpoint endpoint(address, options_.port);
  acceptor_.open(endpoint.protocol(), ec);
  if (!ec) acceptor_.set_option(asio::socket_base::reuse_address(true), ec);
  if (!ec) acceptor_.bind(endpoint, ec);
  if (!ec) acceptor_.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) return ec;
  const internal::tcp::endpoint bound = acceptor_.local_endpoint(ec);
  if (ec) return ec;
  port_ = bound.port();
  return {};
}

void RconServer::Core::Run() {
  Accept();
  thread_ = std::thread([this] { io_.run(); });
}

void RconServer::Core::Accept() {
  acceptor_.async_accept(
      [self = shared_from_this()](std::error_code ec, internal::tcp::socket socket) {
        if (!self->acceptor_.is_open()) return;
        if (ec) {
          // Out of descriptors and the like: try again shortly rather than spin.
          self->accept_retry_.expires_after(std::chrono::milliseconds(100));
          self->accept_retry_.async_wait([self](std::error_code wait_ec) {
            if (!wait_ec) self->Accept();
          });
          return;
        }
        if (self->connections_.size() >= self->options_.max_connections) {
          std::error_code close_ec;
          socket.close(close_ec);
        } else {
          auto connection = std::make_shared<internal::ServerConnection>(*self, std::move(socket));
          self->connections_.insert(connection);
          self->connection_count_ = self->connections_.size();
          connection->Start();
        }
        self->Accept();
      });
}

void RconServer::Core::Shutdown() {
  {
    std::lock_guard<std::mutex> lock(mu_);
    stopped_ = true;
  }
  // With the listener and every socket and timer closed, the remaining
  // handlers complete as cancelled without starting new work, so run()
  // returns by itself; they all hold owners of this Core, which must be
  // released before the last reference goes.
  asio::post(io_, [this] {
    std::error_code ec;
    acceptor_.close(ec);
    accept_retry_.cancel();
    // Close() removes from the set, so walk a copy.
    const std::vector<std::shared_ptr<internal::ServerConnection>> open(connections_.begin(),
                                                                        connections_.end());
    for (const auto& connection : open) connection->Close();
  });
  if (thread_.joinable()) thread_.join();
  connection_count_ = 0;
  port_ = 0;

  std::vector<RconRequest> discarded;
  {
    std::lock_guard<std::mutex> lock(mu_);
    discarded.swap(pending_);
  }
  pending_cv_.notify_all();
  // `discarded` goes here, outside the lock its replies would take.
}

void RconServer::Core::Enqueue(RconRequest request) {
  {
    std::lock_guard<std::mutex> lock(mu_);
    if (!stopped_) {
      pending_.push_back(std::move(request));
      pending_cv_.notify_all();
      return;
    }
  }
  // Stopped: `request` is dropped here, outside the lock.
}

std::vector<RconRequest> RconServer::Core::TakePending() {
  std::vector<RconRequest> taken;
  std::lock_guard<std::mutex> lock(mu_);
  taken.swap(pending_);
  return taken;
}

bool RconServer::Core::WaitPending(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mu_);
  return pending_cv_.wait_for(lock, timeout, [this] { return !pending_.empty() || stopped_; }) &&
         !pending_.empty();
}

void RconServer::Core::PostReply(std::weak_ptr<internal::ServerConnection> connection,
                                 std::uint64_t slot, std::optional<std::string> reply) {
  std::lock_guard<std::mutex> lock(mu_);
  if (stopped_) return;
  asio::post(io_, [connection = std::move(connection), slot, reply = std::move(reply)]() mutable {
    if (auto open = connection.lock()) open->OnReply(slot, std::move(reply));
  });
}

Clock::duration RconServer::Core::AuthDelay(const std::string& address) {
  const auto it = failures_.find(address);
  if (it == failures_.end()) return Clock::duration::zero();
  if (Clock::now() - it->second.last >= options_.auth_failure_memory) {
    failures_.erase(it);
    return Clock::duration::zero();
  }
  return std::min<Clock::duration>(it->second.count * options_.auth_failure_delay,
                                   options_.max_auth_delay);
}

void RconServer::Core::RecordAuthFailure(const std::string& address) {
  constexpr std::size_t kMaxRemembered = 4096;
  const Clock::time_point now = Clock::now();
  if (failures_.size() >= kMaxRemembered) {
    std::erase_if(failures_, [&](const auto& entry) {
      return now - entry.second.last >= options_.auth_failure_memory;
    });
    if (failures_.size() >= kMaxRemembered) failures_.erase(failures_.begin());
  }
  Failures& entry = failures_[address];
  if (entry.count > 0 && now - entry.last >= options_.auth_failure_memory) entry.count = 0;
  ++entry.count;
  entry.last = now;
}

void RconServer::Core::Forget(const std::shared_ptr<internal::ServerConnection>& connection) {
  connections_.erase(connection);
  connection_count_ = connections_.size();
}

RconServer::RconServer(RconServerOptions options) : options_(std::move(options)) {}

RconServer::~RconServer() { Stop(); }

std::error_code RconServer::Start() {
  if (running() || options_.password.empty()) return {};
  auto core = std::make_shared<Core>(options_);
  if (const std::error_code ec = core->Open()) return ec;
  core->Run();
  core_ = std::move(core);
  return {};
}

void RconServer::Stop() {
  if (!core_) return;
  core_->Shutdown();
  core_.reset();
}

bool RconServer::running() const { return core_ != nullptr; }

std::uint16_t RconServer::port() const { return core_ ? core_->port() : 0; }

std::vector<RconRequest> RconServer::TakePending() {
  return core_ ? core_->TakePending() : std::vector<RconRequest>{};
}

bool RconServer::WaitPending(std::chrono::milliseconds timeout) {
  if (!core_) return false;
  return core_->WaitPending(timeout);
}

std::size_t RconServer::connection_count() const { return core_ ? core_->connection_count() : 0; }

}  // namespace rcon
