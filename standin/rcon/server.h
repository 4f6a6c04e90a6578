// The stand-in game server's remote console: a TCP server speaking the RCON
// wire protocol (frame.h, protocol.h; one connection.h per client) on a thread
// of its own. Commands are not run on that thread: they queue up as
// RconRequests (request.h) until the application takes them on its own
// thread, so they never run alongside the application's timers.
//
//   RconServer server(options);
//   server.Start();
//   ... on the application thread, regularly:
//   for (RconRequest& request : server.TakePending()) request.reply.Send(Run(request.command));
//
// Each connection is bounded in what it buffers: a bad frame, a peer that
// stops halfway through a frame or never authenticates, or a peer that does
// not read its replies loses its own connection and nothing else.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "standin/rcon/request.h"

namespace standin::rcon {

// A client the server turned away, for the owner's console.
struct RconEvent {
  enum class Kind { kLoginRefused, kConnectionDropped };
  Kind kind = Kind::kConnectionDropped;
  std::string peer;    // "address:port"
  std::string reason;  // e.g. "wrong password", "bad frame (size too large)"
};

// One console line, e.g. "RCON 127.0.0.1:50000: login refused: wrong password".
std::string DescribeEvent(const RconEvent& event);

struct RconServerOptions {
  std::string bind_address = "127.0.0.1";
  std::uint16_t port = 0;  // 0 picks a free port; see RconServer::port()
  std::string password;    // empty: Start() leaves the server off

  std::size_t max_connections = 256;  // further connections are closed at once
  // A connection whose unsent replies exceed this is dropped.
  std::size_t max_write_queue_bytes = std::size_t{1} << 20;
  // Commands of one connection awaiting a reply; beyond this the connection
  // is not read until replies catch up.
  std::size_t max_outstanding_commands = 64;
  // Closes a connection that has sent part of a frame, or has not
  // authenticated, and then stays silent this long.
  std::chrono::milliseconds idle_timeout{30000};
  // Wrong passwords a connection may send before it is closed.
  int max_auth_failures = 1;
  // Every recent failed connection from an address delays that address's
  // next authentications by this much, up to max_auth_delay. A failure stops
  // counting once the address has had none for auth_failure_memory.
  std::chrono::milliseconds auth_failure_delay{1000};
  std::chrono::milliseconds max_auth_delay{5000};
  std::chrono::milliseconds auth_failure_memory{60000};

  // Told of every refused login and every connection the server drops (bad
  // frame, idle, not reading, before login, over the connection cap); not of
  // clients that hang up. Runs on the I/O thread: keep it short; what it
  // throws is swallowed.
  std::function<void(const RconEvent&)> on_event;
};

class RconServer {
 public:
  explicit RconServer(RconServerOptions options);
  ~RconServer();  // Stop()s
  RconServer(const RconServer&) = delete;
  RconServer& operator=(const RconServer&) = delete;

  // Binds, listens and starts the I/O thread. With an empty password it does
  // nothing and returns no error (running() stays false). Calling it again
  // while running does nothing.
  std::error_code Start();
  // Closes the listener and every connection and joins the I/O thread.
  // Commands still queued are discarded. Safe to call more than once.
  void Stop();

  bool running() const;
  // The bound port once started, 0 otherwise.
  std::uint16_t port() const;

  // Every command received since the last call, oldest first.
  std::vector<RconRequest> TakePending();
  // Blocks until a command is queued or `timeout` passes; true if one is.
  bool WaitPending(std::chrono::milliseconds timeout);
  // Open client connections (refused ones not counted).
  std::size_t connection_count() const;

  class Core;  // internal

 private:
  RconServerOptions options_;
  std::shared_ptr<Core> core_;
};

}  // namespace standin::rcon
