#include "standin/rcon/server.h"

#include <asio.hpp>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_set>
#include <utility>

#include "standin/rcon/connection.h"
#include "standin/rcon/login_throttle.h"

namespace standin::rcon {

using internal::Connection;
using tcp = asio::ip::tcp;

std::string DescribeEvent(const RconEvent& event) {
  const char* what =
      event.kind == RconEvent::Kind::kLoginRefused ? "login refused" : "connection dropped";
  return "RCON " + event.peer + ": " + what + ": " + event.reason;
}

class RconServer::Core final : public std::enable_shared_from_this<RconServer::Core>,
                               public internal::ConnectionOwner {
 public:
  explicit Core(RconServerOptions options)
      : options_(std::move(options)),
        throttle_(options_.auth_failure_delay, options_.max_auth_delay,
                  options_.auth_failure_memory) {}

  std::error_code Open();
  void Run();
  // Closes the listener and every connection on the I/O thread, then stops
  // the thread; nothing of this server runs once it returns.
  void Shutdown();

  std::vector<RconRequest> TakePending();
  bool WaitPending(std::chrono::milliseconds timeout);
  std::uint16_t port() const { return port_.load(); }
  std::size_t connection_count() const { return connection_count_.load(); }

  // ConnectionOwner, on the I/O thread.
  const RconServerOptions& options() const override { return options_; }
  asio::io_context& io() override { return io_; }
  LoginThrottle& throttle() override { return throttle_; }
  void Submit(const std::shared_ptr<Connection>& from, CommandRequest command) override;
  void Report(RconEvent event) override;
  void Forget(const std::shared_ptr<Connection>& connection) override;

 private:
  void Accept();
  void Enqueue(RconRequest request);
  // Any thread: hands a reply to the I/O thread unless the server stopped.
  void PostReply(std::weak_ptr<Connection> connection, std::uint64_t slot,
                 std::optional<std::string> reply);

  const RconServerOptions options_;
  asio::io_context io_;
  tcp::acceptor acceptor_{io_};
  asio::steady_timer accept_retry_{io_};
  std::thread thread_;
  std::atomic<std::uint16_t> port_{0};
  std::atomic<std::size_t> connection_count_{0};

  std::mutex mu_;
  std::condition_variable pending_cv_;
  bool stopped_ = false;
  std::vector<RconRequest> pending_;

  // I/O thread only.
  std::unordered_set<std::shared_ptr<Connection>> connections_;
  LoginThrottle throttle_;
};

std::error_code RconServer::Core::Open() {
  std::error_code ec;
  const asio::ip::address address = asio::ip::make_address(options_.bind_address, ec);
  if (ec) return ec;
  const tcp::endpoint endpoint(address, options_.port);
  acceptor_.open(endpoint.protocol(), ec);
  if (!ec) acceptor_.set_option(asio::socket_base::reuse_address(true), ec);
  if (!ec) acceptor_.bind(endpoint, ec);
  if (!ec) acceptor_.listen(asio::socket_base::max_listen_connections, ec);
  if (ec) return ec;
  const tcp::endpoint bound = acceptor_.local_endpoint(ec);
  if (ec) return ec;
  port_ = bound.port();
  return {};
}

void RconServer::Core::Run() {
  Accept();
  thread_ = std::thread([this] { io_.run(); });
}

void RconServer::Core::Accept() {
  acceptor_.async_accept([self = shared_from_this()](std::error_code ec, tcp::socket socket) {
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
      std::error_code peer_ec;
      const tcp::endpoint remote = socket.remote_endpoint(peer_ec);
      std::error_code close_ec;
      socket.close(close_ec);
      self->Report(
          RconEvent{RconEvent::Kind::kConnectionDropped,
                    peer_ec ? std::string("?")
                            : remote.address().to_string() + ":" + std::to_string(remote.port()),
                    "too many connections"});
    } else {
      auto connection = std::make_shared<Connection>(*self, std::move(socket));
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
    const std::vector<std::shared_ptr<Connection>> open(connections_.begin(), connections_.end());
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

void RconServer::Core::Submit(const std::shared_ptr<Connection>& from, CommandRequest command) {
  RconRequest request;
  request.command = std::move(command.command);
  request.packet_id = command.id;
  request.peer = from->peer();
  request.reply = RconReply([core = weak_from_this(), connection = std::weak_ptr(from),
                             slot = command.slot](std::optional<std::string> reply) {
    if (auto open = core.lock()) open->PostReply(connection, slot, std::move(reply));
  });
  Enqueue(std::move(request));
}

void RconServer::Core::Report(RconEvent event) {
  if (!options_.on_event) return;
  try {
    options_.on_event(event);
  } catch (...) {
    // The owner's console is not worth a connection, nor the I/O thread.
  }
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

void RconServer::Core::PostReply(std::weak_ptr<Connection> connection, std::uint64_t slot,
                                 std::optional<std::string> reply) {
  std::lock_guard<std::mutex> lock(mu_);
  if (stopped_) return;
  asio::post(io_, [connection = std::move(connection), slot, reply = std::move(reply)]() mutable {
    if (auto open = connection.lock()) open->OnReply(slot, std::move(reply));
  });
}

void RconServer::Core::Forget(const std::shared_ptr<Connection>& connection) {
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

}  // namespace standin::rcon
