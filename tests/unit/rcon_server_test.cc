// Remote console of the stand-in server over TCP, driven by a small blocking
// client on loopback.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <future>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "standin/rcon/frame.h"
#include "standin/rcon/server.h"
#include "tests/support/rcon_packets.h"

namespace standin::rcon {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

// A blocking loopback client; every wait is bounded.
class TestClient {
 public:
  explicit TestClient(std::uint16_t port, int receive_buffer = 0) {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    if (receive_buffer > 0) {
      ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  ~TestClient() {
    if (fd_ >= 0) ::close(fd_);
  }
  TestClient(const TestClient&) = delete;
  TestClient& operator=(const TestClient&) = delete;

  bool connected() const { return connected_; }

  bool SendRaw(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }
  bool Send(const Packet& packet) { return SendRaw(EncodePacket(packet)); }

  // The next packet, or nothing on timeout, close or a framing error.
  std::optional<Packet> Read(milliseconds timeout = milliseconds(5000)) {
    const Clock::time_point deadline = Clock::now() + timeout;
    while (decoded_.empty()) {
      if (!Receive(deadline)) return std::nullopt;
    }
    Packet packet = std::move(decoded_.front());
    decoded_.erase(decoded_.begin());
    return packet;
  }

  // True once the server has closed the connection (after any packets);
  // then hangs up as well, as a real client would.
  bool WaitClosed(milliseconds timeout = milliseconds(5000)) {
    const Clock::time_point deadline = Clock::now() + timeout;
    while (Receive(deadline)) {
    }
    if (peer_closed_ && fd_ >= 0) {
      ::close(fd_);
      fd_ = -1;
    }
    return peer_closed_;
  }

  bool Login(const std::string& password, std::int32_t id = 1) {
    if (!Send(Auth(id, password))) return false;
    return Read() == Packet{id, kTypeAuthResponse, ""};
  }

 private:
  // Reads one chunk; false on timeout, close or error.
  bool Receive(Clock::time_point deadline) {
    if (peer_closed_) return false;
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd wait{fd_, POLLIN, 0};
    if (::poll(&wait, 1, static_cast<int>(left)) <= 0) return false;
    std::array<char, 8192> buffer;
    const ssize_t n = ::recv(fd_, buffer.data(), buffer.size(), 0);
    if (n <= 0) {
      peer_closed_ = true;
      return false;
    }
    return decoder_.Feed(std::string_view(buffer.data(), static_cast<std::size_t>(n)), &decoded_) ==
           DecodeError::kNone;
  }

  int fd_ = -1;
  bool connected_ = false;
  bool peer_closed_ = false;
  FrameDecoder decoder_;
  std::vector<Packet> decoded_;
};

RconServerOptions TestOptions() {
  RconServerOptions options;
  options.password = "pw";
  options.auth_failure_delay = milliseconds(0);
  return options;
}

// What a server reports, gathered from its I/O thread.
class EventLog {
 public:
  void Watch(RconServerOptions& options) {
    options.on_event = [this](const RconEvent& event) {
      std::lock_guard lock(mutex_);
      events_.push_back(event);
    };
  }
  // The reasons reported so far, once `count` have come or the wait ends.
  std::vector<std::string> Reasons(std::size_t count) {
    for (int i = 0; i < 500 && Size() < count; ++i) std::this_thread::sleep_for(milliseconds(10));
    std::lock_guard lock(mutex_);
    std::vector<std::string> reasons;
    for (const RconEvent& event : events_) {
      reasons.push_back(DescribeEvent(event).substr(event.peer.size() + 7));
    }
    std::sort(reasons.begin(), reasons.end());
    return reasons;
  }

 private:
  std::size_t Size() {
    std::lock_guard lock(mutex_);
    return events_.size();
  }
  std::mutex mutex_;
  std::vector<RconEvent> events_;
};

// Waits for exactly one queued command.
std::optional<RconRequest> NextRequest(RconServer& server,
                                       milliseconds timeout = milliseconds(5000)) {
  const Clock::time_point deadline = Clock::now() + timeout;
  while (Clock::now() < deadline) {
    server.WaitPending(milliseconds(100));
    std::vector<RconRequest> requests = server.TakePending();
    if (requests.size() == 1) return std::move(requests[0]);
    if (!requests.empty()) return std::nullopt;
  }
  return std::nullopt;
}

bool WaitForConnections(const RconServer& server, std::size_t count) {
  for (int i = 0; i < 500; ++i) {
    if (server.connection_count() == count) return true;
    std::this_thread::sleep_for(milliseconds(10));
  }
  return false;
}

TEST(RconServerTest, EmptyPasswordLeavesServerOff) {
  RconServer server(RconServerOptions{});
  EXPECT_FALSE(server.Start());
  EXPECT_FALSE(server.running());
  EXPECT_EQ(server.port(), 0);
}

TEST(RconServerTest, ReportsBindFailure) {
  RconServerOptions options = TestOptions();
  options.bind_address = "not an address";
  RconServer server(options);
  EXPECT_TRUE(server.Start());
  EXPECT_FALSE(server.running());
}

TEST(RconServerTest, CommandTravelsThroughQueueAndBack) {
  RconServer server(TestOptions());
  ASSERT_FALSE(server.Start());
  ASSERT_TRUE(server.running());
  ASSERT_NE(server.port(), 0);

  TestClient client(server.port());
  ASSERT_TRUE(client.connected());
  ASSERT_TRUE(client.Login("pw", 3));
  ASSERT_TRUE(client.Send(Command(7, "Drovekeeper.reload")));

  std::optional<RconRequest> request = NextRequest(server);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->command, "Drovekeeper.reload");
  EXPECT_EQ(request->packet_id, 7);
  EXPECT_EQ(request->peer.rfind("127.0.0.1:", 0), 0u) << request->peer;
  request->reply.Send("\xe9\x87\x8d\xe6\x96\xb0\xe5\x8a\xa0\xe8\xbd\xbd\xe9\x85\x8d\xe7\xbd\xae");
  EXPECT_EQ(client.Read(), (Packet{7, kTypeResponseValue,
                                   "\xe9\x87\x8d\xe6\x96\xb0\xe5\x8a\xa0\xe8\xbd\xbd\xe9\x85\x8d"
                                   "\xe7\xbd\xae"}));
}

TEST(RconServerTest, LongReplyAndProbeArriveInOrder) {
  RconServer server(TestOptions());
  ASSERT_FALSE(server.Start());
  TestClient client(server.port());
  ASSERT_TRUE(client.Login("pw"));
  ASSERT_TRUE(client.Send(Command(2, "dump")));
  ASSERT_TRUE(client.Send(Probe(3)));
  std::optional<RconRequest> request = NextRequest(server);
  ASSERT_TRUE(request);
  request->reply.Send(std::string(kMaxBodySize + 10, 'z'));

  const std::optional<Packet> first = client.Read();
  const std::optional<Packet> second = client.Read();
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first->id, 2);
  EXPECT_EQ(first->body.size(), kMaxBodySize);
  EXPECT_EQ(*second, (Packet{2, kTypeResponseValue, std::string(10, 'z')}));
  EXPECT_EQ(client.Read(), Probe(3));
  // Nothing more for the probe: the next packet answers the next command.
  ASSERT_TRUE(client.Send(Command(4, "next")));
  request = NextRequest(server);
  ASSERT_TRUE(request);
  request->reply.Send("n");
  EXPECT_EQ(client.Read(), (Packet{4, kTypeResponseValue, "n"}));
}

TEST(RconServerTest, WrongPasswordGetsMinusOneAndIsClosed) {
  RconServer server(TestOptions());
  ASSERT_FALSE(server.Start());
  TestClient client(server.port());
  ASSERT_TRUE(client.Send(Auth(5, "wrong")));
  EXPECT_EQ(client.Read(), (Packet{-1, kTypeAuthResponse, ""}));
  EXPECT_TRUE(client.WaitClosed());
  EXPECT_TRUE(WaitForConnections(server, 0));
}

TEST(RconServerTest, CommandBeforeLoginIsClosedUnanswered) {
  RconServer server(TestOptions());
  ASSERT_FALSE(server.Start());
  TestClient client(server.port());
  ASSERT_TRUE(client.Send(Command(5, "Drovekeeper.reload")));
  EXPECT_EQ(client.Read(), std::nullopt);
  EXPECT_TRUE(client.WaitClosed());
  EXPECT_TRUE(server.TakePending().empty());
}

TEST(RconServerTest, BadFrameClosesOnlyThatConnection) {
  RconServer server(TestOptions());
  ASSERT_FALSE(server.Start());
  TestClient good(server.port());
  ASSERT_TRUE(good.Login("pw"));

  for (const std::string& bad :
       {Int32Bytes(kMaxFrameSize + 1), Int32Bytes(9) + std::string(9, '\0'),
        Int32Bytes(10) + Int32Bytes(1) + Int32Bytes(kTypeAuth) + "xy"}) {
    TestClient offender(server.port());
    ASSERT_TRUE(offender.SendRaw(bad));
    EXPECT_TRUE(offender.WaitClosed());
  }

  ASSERT_TRUE(good.Send(Command(8, "still there?")));
  std::optional<RconRequest> request = NextRequest(server);
  ASSERT_TRUE(request);
  request->reply.Send("yes");
  EXPECT_EQ(good.Read(), (Packet{8, kTypeResponseValue, "yes"}));
}

TEST(RconServerTest, EveryClientTurnedAwayIsReportedOnce) {
  RconServerOptions options = TestOptions();
  options.idle_timeout = milliseconds(300);
  EventLog log;
  log.Watch(options);
  RconServer server(options);
  ASSERT_FALSE(server.Start());
  {
    TestClient polite(server.port());  // logs in, runs a command, hangs up: no line
    ASSERT_TRUE(polite.Login("pw"));
    ASSERT_TRUE(polite.Send(Command(2, "x")));
    std::optional<RconRequest> request = NextRequest(server);
    ASSERT_TRUE(request);
    request->reply.Send("y");
    EXPECT_TRUE(polite.Read());
  }
  TestClient wrong(server.port());
  TestClient oversized(server.port());
  TestClient early(server.port());
  TestClient stalled(server.port());
  TestClient silent(server.port());
  ASSERT_TRUE(wrong.Send(Auth(1, "wrong")));
  ASSERT_TRUE(oversized.SendRaw(Int32Bytes(kMaxFrameSize + 1)));
  ASSERT_TRUE(early.Send(Command(1, "early")));
  ASSERT_TRUE(stalled.SendRaw(EncodePacket(Auth(1, "pw")).substr(0, 5)));
  for (TestClient* client : {&wrong, &oversized, &early, &stalled, &silent}) {
    EXPECT_TRUE(client->WaitClosed());
  }
  EXPECT_EQ(log.Reasons(5), (std::vector<std::string>{
                                "connection dropped: a request before logging in",
                                "connection dropped: bad frame (size too large)",
                                "connection dropped: never logged in",
                                "connection dropped: stalled in the middle of a frame",
                                "login refused: wrong password, connection closed",
                            }));
}

TEST(RconServerTest, StalledFrameAndSilentStrangerTimeOut) {
  RconServerOptions options = TestOptions();
  options.idle_timeout = milliseconds(200);
  RconServer server(options);
  ASSERT_FALSE(server.Start());

  TestClient idle_but_logged_in(server.port());
  ASSERT_TRUE(idle_but_logged_in.Login("pw"));
  TestClient stalled(server.port());
  ASSERT_TRUE(stalled.Login("pw"));
  ASSERT_TRUE(stalled.SendRaw(EncodePacket(Command(2, "half")).substr(0, 9)));
  TestClient stranger(server.port());

  EXPECT_TRUE(stalled.WaitClosed());
  EXPECT_TRUE(stranger.WaitClosed());
  // A logged-in client may idle between commands.
  ASSERT_TRUE(idle_but_logged_in.Send(Command(3, "after idling")));
  std::optional<RconRequest> request = NextRequest(server);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->command, "after idling");
}

TEST(RconServerTest, ConnectionsBeyondTheCapAreClosedAtOnce) {
  RconServerOptions options = TestOptions();
  options.max_connections = 2;
  EventLog log;
  log.Watch(options);
  RconServer server(options);
  ASSERT_FALSE(server.Start());
  TestClient first(server.port());
  TestClient second(server.port());
  ASSERT_TRUE(first.Login("pw"));
  ASSERT_TRUE(second.Login("pw"));

  TestClient third(server.port());
  EXPECT_TRUE(third.WaitClosed());
  EXPECT_EQ(log.Reasons(1), std::vector<std::string>{"connection dropped: too many connections"});
  EXPECT_EQ(server.connection_count(), 2u);
  EXPECT_TRUE(second.Login("pw", 9));
}

TEST(RconServerTest, ManyConnectionsAtOnce) {
  RconServer server(TestOptions());
  ASSERT_FALSE(server.Start());
  std::vector<std::unique_ptr<TestClient>> clients;
  for (int i = 0; i < 200; ++i) {
    clients.push_back(std::make_unique<TestClient>(server.port()));
    ASSERT_TRUE(clients.back()->Send(Auth(i, "pw")));
  }
  for (int i = 0; i < 200; ++i) {
    ASSERT_TRUE(clients[i]->Send(Command(1000 + i, "n" + std::to_string(i))));
  }
  std::vector<RconRequest> requests;
  const Clock::time_point deadline = Clock::now() + milliseconds(10000);
  while (requests.size() < 200 && Clock::now() < deadline) {
    server.WaitPending(milliseconds(100));
    for (RconRequest& request : server.TakePending()) requests.push_back(std::move(request));
  }
  ASSERT_EQ(requests.size(), 200u);
  EXPECT_EQ(server.connection_count(), 200u);
  for (RconRequest& request : requests) request.reply.Send("r" + request.command);
  for (int i = 0; i < 200; ++i) {
    EXPECT_EQ(clients[i]->Read(), (Packet{i, kTypeAuthResponse, ""}));
    EXPECT_EQ(clients[i]->Read(), (Packet{1000 + i, kTypeResponseValue, "rn" + std::to_string(i)}));
  }
}

TEST(RconServerTest, ClientThatNeverReadsIsDropped) {
  RconServerOptions options = TestOptions();
  options.max_write_queue_bytes = 256 * 1024;
  RconServer server(options);
  ASSERT_FALSE(server.Start());
  TestClient healthy(server.port());
  ASSERT_TRUE(healthy.Login("pw"));
  TestClient hoarder(server.port(), 4096);
  ASSERT_TRUE(hoarder.Send(Auth(1, "pw")));
  ASSERT_TRUE(WaitForConnections(server, 2));

  // Far more than the socket buffers can absorb, so the queue must overflow.
  const std::string big(200 * 1024, 'q');
  for (int i = 0; i < 60 && server.connection_count() == 2; ++i) {
    ASSERT_TRUE(hoarder.Send(Command(i, "spam")));
    // Once dropped, the last command may never arrive: do not wait long.
    std::optional<RconRequest> request = NextRequest(server, milliseconds(300));
    if (!request) break;
    request->reply.Send(big);
  }
  EXPECT_TRUE(WaitForConnections(server, 1));

  ASSERT_TRUE(healthy.Send(Command(5, "ok?")));
  std::optional<RconRequest> request = NextRequest(server);
  ASSERT_TRUE(request);
  request->reply.Send("ok");
  EXPECT_EQ(healthy.Read(), (Packet{5, kTypeResponseValue, "ok"}));
}

TEST(RconServerTest, FailedLoginSlowsDownTheNextFromThatAddress) {
  RconServerOptions options = TestOptions();
  options.auth_failure_delay = milliseconds(300);
  RconServer server(options);
  ASSERT_FALSE(server.Start());
  {
    TestClient guesser(server.port());
    ASSERT_TRUE(guesser.Send(Auth(1, "guess")));
    EXPECT_EQ(guesser.Read(), (Packet{-1, kTypeAuthResponse, ""}));
  }
  TestClient next(server.port());
  const Clock::time_point start = Clock::now();
  ASSERT_TRUE(next.Login("pw"));
  // A lower bound only: the delay is a floor, never a ceiling.
  EXPECT_GE(Clock::now() - start, milliseconds(250));
}

TEST(RconServerTest, RepliesToGoneConnectionsOrStoppedServerAreDropped) {
  RconServer server(TestOptions());
  ASSERT_FALSE(server.Start());
  std::optional<RconRequest> orphan;
  {
    TestClient client(server.port());
    ASSERT_TRUE(client.Login("pw"));
    ASSERT_TRUE(client.Send(Command(1, "a")));
    orphan = NextRequest(server);
    ASSERT_TRUE(orphan);
  }
  ASSERT_TRUE(WaitForConnections(server, 0));
  orphan->reply.Send("nobody listens");

  TestClient client(server.port());
  ASSERT_TRUE(client.Login("pw"));
  ASSERT_TRUE(client.Send(Command(2, "b")));
  std::optional<RconRequest> kept = NextRequest(server);
  ASSERT_TRUE(kept);
  server.Stop();
  EXPECT_FALSE(server.running());
  kept->reply.Send("too late");
  EXPECT_TRUE(client.WaitClosed());
}

TEST(RconServerTest, UnansweredRequestDoesNotBlockLaterReplies) {
  RconServer server(TestOptions());
  ASSERT_FALSE(server.Start());
  TestClient client(server.port());
  ASSERT_TRUE(client.Login("pw"));
  ASSERT_TRUE(client.Send(Command(1, "never answered")));
  ASSERT_TRUE(NextRequest(server));  // dropped unanswered right here
  ASSERT_TRUE(client.Send(Command(2, "answered")));
  std::optional<RconRequest> request = NextRequest(server);
  ASSERT_TRUE(request);
  request->reply.Send("here");
  EXPECT_EQ(client.Read(), (Packet{2, kTypeResponseValue, "here"}));
}

TEST(RconServerTest, StopsWithClientsAttachedAndCanStartAgain) {
  RconServer server(TestOptions());
  ASSERT_FALSE(server.Start());
  TestClient a(server.port());
  TestClient b(server.port());
  ASSERT_TRUE(a.Login("pw"));
  ASSERT_TRUE(b.SendRaw(std::string(3, '\0')));  // mid-frame
  server.Stop();
  server.Stop();
  EXPECT_TRUE(a.WaitClosed());
  EXPECT_TRUE(b.WaitClosed());

  ASSERT_FALSE(server.Start());
  TestClient c(server.port());
  EXPECT_TRUE(c.Login("pw"));
}

// The npm client the end-to-end tests use, when it has been installed with
// `npm ci --prefix tests/e2e/rcon_client`.
TEST(RconServerTest, WorksWithTheNodeCheckClient) {
  const std::filesystem::path client_dir =
      std::filesystem::path(__FILE__).parent_path().parent_path() / "e2e" / "rcon_client";
  if (!std::filesystem::exists(client_dir / "node_modules" / "rcon-client") ||
      std::system("node --version > /dev/null 2>&1") != 0) {
    GTEST_SKIP() << "node or " << client_dir << "/node_modules missing";
  }
  RconServer server(TestOptions());
  ASSERT_FALSE(server.Start());

  auto run = [&](const std::string& password) {
    return std::async(std::launch::async, [&client_dir, password, port = server.port()] {
      const std::string command = "node '" + (client_dir / "check.mjs").string() + "' 127.0.0.1 " +
                                  std::to_string(port) + " " + password +
                                  " 'Drovekeeper.reload' 3000 2>&1";
      std::string output;
      FILE* pipe = ::popen(command.c_str(), "r");
      if (pipe == nullptr) return std::make_pair(-1, output);
      std::array<char, 256> buffer;
      while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) output += buffer.data();
      return std::make_pair(::pclose(pipe), output);
    });
  };

  auto accepted = run("pw");
  std::optional<RconRequest> request = NextRequest(server);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->command, "Drovekeeper.reload");
  request->reply.Send("\xe9\x87\x8d\xe6\x96\xb0\xe5\x8a\xa0\xe8\xbd\xbd\xe9\x85\x8d\xe7\xbd\xae");
  const auto [status, output] = accepted.get();
  EXPECT_EQ(status, 0) << output;
  EXPECT_EQ(output, "\xe9\x87\x8d\xe6\x96\xb0\xe5\x8a\xa0\xe8\xbd\xbd\xe9\x85\x8d\xe7\xbd\xae\n");

  const auto [refused_status, refused_output] = run("wrong").get();
  EXPECT_NE(refused_status, 0) << refused_output;
  EXPECT_TRUE(server.TakePending().empty());
}

}  // namespace
}  // namespace standin::rcon
