// drovekeeper-sim in real time with its RCON server, under --invariants,
// against hostile and careless clients: hundreds of connections at once,
// clients that trickle a byte a second, oversized, truncated and garbage
// frames, a flood of wrong passwords, a client that never reads. Throughout,
// a well-behaved operator still gets each reload answered and the timer keeps
// its one-second cadence. Then the server is stopped while clients hammer it:
// the plug-in unloads cleanly and nothing runs after its callbacks went.
//
// Every loop here is bounded by a count and a deadline.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <iostream>
#include <memory>
#include <optional>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "standin/rcon/frame.h"
#include "tests/e2e/sim_process.h"

namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr char kPassword[] = "herd-of-the-week";
constexpr char kReloaded[] = "重新加载配置";

// A loopback client on a non-blocking socket.
class Client {
 public:
  ~Client() {
    if (fd_ >= 0) close(fd_);
  }

  static std::unique_ptr<Client> Connect(std::uint16_t port) {
    auto client = std::make_unique<Client>();
    client->fd_ = socket(AF_INET, SOCK_STREAM, 0);
    if (client->fd_ < 0) return nullptr;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(client->fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0) {
      return nullptr;
    }
    fcntl(client->fd_, F_SETFL, fcntl(client->fd_, F_GETFL) | O_NONBLOCK);
    return client;
  }

  // False once the peer is gone or the deadline passed.
  bool Send(std::string_view bytes, Clock::time_point deadline) {
    while (!bytes.empty()) {
      ssize_t sent = send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (sent > 0) {
        bytes.remove_prefix(static_cast<std::size_t>(sent));
        continue;
      }
      if (sent < 0 && errno != EAGAIN && errno != EINTR) return false;
      if (!Wait(POLLOUT, deadline)) return false;
    }
    return true;
  }
  bool SendPacket(std::int32_t id, std::int32_t type, const std::string& body,
                  Clock::time_point deadline) {
    return Send(standin::rcon::EncodePacket({id, type, body}), deadline);
  }

  // The next packet, or nothing at the deadline, on close or a bad frame.
  std::optional<standin::rcon::Packet> Next(Clock::time_point deadline) {
    while (pending_.empty()) {
      if (ReadSome(deadline) <= 0) return std::nullopt;
    }
    standin::rcon::Packet packet = pending_.front();
    pending_.erase(pending_.begin());
    return packet;
  }

  // Authenticates; true when accepted.
  bool Authenticate(const std::string& password, Clock::time_point deadline) {
    if (!SendPacket(1, standin::rcon::kTypeAuth, password, deadline)) return false;
    for (int i = 0; i < 4; ++i) {
      std::optional<standin::rcon::Packet> packet = Next(deadline);
      if (!packet) return false;
      if (packet->type == standin::rcon::kTypeAuthResponse) return packet->id == 1;
    }
    return false;
  }

  // The reply body to command `id`, skipping everything else.
  std::optional<std::string> ReplyTo(std::int32_t id, Clock::time_point deadline) {
    for (int i = 0; i < 10000; ++i) {
      std::optional<standin::rcon::Packet> packet = Next(deadline);
      if (!packet) return std::nullopt;
      if (packet->id == id && packet->type == standin::rcon::kTypeResponseValue)
        return packet->body;
    }
    return std::nullopt;
  }

  // True once the server has closed the connection (before the deadline).
  bool ClosedByServer(Clock::time_point deadline) {
    for (int i = 0; i < 100000; ++i) {
      const ssize_t got = ReadSome(deadline);
      if (got == 0) return true;
      if (got < 0) return errno != ETIMEDOUT;
    }
    return false;
  }

 private:
  bool Wait(short events, Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd_, events, 0};
    return poll(&p, 1, static_cast<int>(left)) > 0;
  }

  // Bytes read (decoded into pending_), 0 at end of stream, -1 on error or
  // at the deadline (errno ETIMEDOUT).
  ssize_t ReadSome(Clock::time_point deadline) {
    for (;;) {
      char buffer[16384];
      const ssize_t got = recv(fd_, buffer, sizeof(buffer), 0);
      if (got > 0) {
        decoder_.Feed(std::string_view(buffer, static_cast<std::size_t>(got)), &pending_);
        return decoder_.error() == standin::rcon::DecodeError::kNone ? got : -1;
      }
      if (got == 0) return 0;
      if (errno != EAGAIN && errno != EINTR) return -1;
      if (!Wait(POLLIN, deadline)) {
        errno = ETIMEDOUT;
        return -1;
      }
    }
  }

  int fd_ = -1;
  standin::rcon::FrameDecoder decoder_;
  std::vector<standin::rcon::Packet> pending_;
};

// One operator reload on a fresh connection; the reply, or why not.
std::string OperatorReload(std::uint16_t port) {
  const auto deadline = Clock::now() + seconds(15);
  std::unique_ptr<Client> client = Client::Connect(port);
  if (!client) return "cannot connect";
  if (!client->Authenticate(kPassword, deadline)) return "not authenticated";
  if (!client->SendPacket(42, standin::rcon::kTypeExecCommand, "Drovekeeper.reload", deadline)) {
    return "cannot send";
  }
  return client->ReplyTo(42, deadline).value_or("no reply");
}

std::string FrameHeader(std::int32_t size) {
  std::string header(4, '\0');
  for (int i = 0; i < 4; ++i) header[i] = static_cast<char>((size >> (8 * i)) & 0xff);
  return header;
}

class RconAbuseTest : public ::testing::Test {
 protected:
  void Start() {
    const std::string world = dir_.Write("world.json", R"({
      "world_settings": {"LatitudeScale": 800, "LongitudeScale": 800,
                         "LatitudeOrigin": -400000, "LongitudeOrigin": -400000},
      "classes": [{"reference": "/Game/R/A.A_C", "creature": true}],
      "actors": [], "players": [{"name": "Ayla"}]})");
    const std::string config = dir_.Write("config.json", R"({"SpawnDino": {"Blueprint'/Game/R/A.A'":
      {"SpawnInterval": 0, "Worldmaximum": 3, "Position": "0 0 0", "PositionRangeRandom": false,
       "Maxlevel": 5, "levelFixed": true, "SpawnNotice": true, "Name": "A"}}})");
    sim_ = std::make_unique<e2e::SimProcess>(
        std::vector<std::string>{"--config", config, "--world", world, "--rcon-port", "0",
                                 "--rcon-password", kPassword, "--invariants"},
        dir_.path());
    std::optional<std::string> listening =
        sim_->WaitForOutput("RCON listening on 127.0.0.1:", seconds(20));
    ASSERT_TRUE(listening.has_value()) << e2e::ReadFile(dir_.path() + "/stderr.txt");
    port_ = static_cast<std::uint16_t>(std::stoi(listening->substr(listening->rfind(':') + 1)));
  }

  // Stops the simulator and checks that it unloaded cleanly.
  e2e::SimResult StopAndCheck() {
    sim_->Signal(SIGTERM);
    e2e::SimResult result = sim_->Wait();
    EXPECT_EQ(result.exit_code, 0) << result.err;
    const std::size_t summary = result.out.find("Invariants:");
    if (summary != std::string::npos) std::cout << result.out.substr(summary);
    EXPECT_THAT(result.out, ::testing::HasSubstr("Invariants: all held")) << result.err;
    std::smatch gap;
    const bool found = std::regex_search(result.out, gap, std::regex("largest gap (\\d+) ms"));
    EXPECT_TRUE(found);
    // A cadence of one call a second: a loop blocked by a client would show
    // gaps of several seconds.
    if (found) {
      EXPECT_LT(std::stoi(gap[1].str()), 2000) << "timer calls stalled";
    }
    return result;
  }

  e2e::ScratchDir dir_;
  std::unique_ptr<e2e::SimProcess> sim_;
  std::uint16_t port_ = 0;
};

TEST_F(RconAbuseTest, HostileClientsNeitherStallTheTimerNorLockOutTheOperator) {
  ASSERT_NO_FATAL_FAILURE(Start());

  // Two hundred clients at once, each with a reload.
  {
    constexpr int kClients = 200;
    const auto deadline = Clock::now() + seconds(30);
    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < kClients; ++i) {
      clients.push_back(Client::Connect(port_));
      ASSERT_NE(clients.back(), nullptr) << "connection " << i;
    }
    for (auto& client : clients) {
      ASSERT_TRUE(client->SendPacket(1, standin::rcon::kTypeAuth, kPassword, deadline));
      ASSERT_TRUE(
          client->SendPacket(2, standin::rcon::kTypeExecCommand, "Drovekeeper.reload", deadline));
    }
    int answered = 0;
    for (auto& client : clients) answered += client->ReplyTo(2, deadline) == kReloaded ? 1 : 0;
    EXPECT_EQ(answered, kClients);
  }

  const auto phase_end = Clock::now() + seconds(12);
  std::atomic<bool> stop{false};
  std::vector<std::thread> abusers;

  // Tricklers: an authentication frame, one byte a second.
  std::atomic<int> trickled{0};
  for (int i = 0; i < 4; ++i) {
    abusers.emplace_back([&] {
      std::unique_ptr<Client> client = Client::Connect(port_);
      if (!client) return;
      const std::string frame =
          standin::rcon::EncodePacket({1, standin::rcon::kTypeAuth, kPassword});
      for (std::size_t b = 0; b < frame.size() && !stop && Clock::now() < phase_end; ++b) {
        if (!client->Send(frame.substr(b, 1), phase_end)) return;
        ++trickled;
        std::this_thread::sleep_for(seconds(1));
      }
    });
  }

  // Frames the server must refuse by closing the connection.
  struct BadStream {
    const char* name;
    std::string bytes;
  };
  std::mt19937 random(5);
  std::string garbage(256, '\0');
  for (char& c : garbage) c = static_cast<char>(random());
  const std::vector<BadStream> bad{
      {"oversized frame", FrameHeader(1 << 20) + std::string(64, 'x')},
      {"negative size", FrameHeader(-5) + std::string(16, 'x')},
      {"missing terminators", FrameHeader(12) + std::string(12, 'x')},
      {"garbage", garbage},
      {"command before authentication",
       standin::rcon::EncodePacket({3, standin::rcon::kTypeExecCommand, "Drovekeeper.reload"})},
  };
  for (const BadStream& stream : bad) {
    std::unique_ptr<Client> client = Client::Connect(port_);
    ASSERT_NE(client, nullptr);
    client->Send(stream.bytes, Clock::now() + seconds(5));
    EXPECT_TRUE(client->ClosedByServer(Clock::now() + seconds(10))) << stream.name;
  }
  // Half a frame, then the client vanishes.
  for (int i = 0; i < 20; ++i) {
    std::unique_ptr<Client> client = Client::Connect(port_);
    ASSERT_NE(client, nullptr);
    const std::string frame = standin::rcon::EncodePacket({1, standin::rcon::kTypeAuth, kPassword});
    client->Send(frame.substr(0, frame.size() / 2), Clock::now() + seconds(5));
  }

  // The client that never reads: end-of-response probes, answered without
  // the game thread, until the server gives up on it.
  std::atomic<bool> reader_dropped{false};
  abusers.emplace_back([&] {
    std::unique_ptr<Client> client = Client::Connect(port_);
    if (!client || !client->Authenticate(kPassword, phase_end)) return;
    std::string probes;
    for (int i = 0; i < 4096; ++i)
      standin::rcon::AppendPacket({i, standin::rcon::kTypeResponseValue, ""}, &probes);
    for (int round = 0; round < 2000 && !stop && Clock::now() < phase_end; ++round) {
      if (!client->Send(probes, phase_end)) {
        reader_dropped = Clock::now() < phase_end;
        return;
      }
    }
  });

  // A flood of wrong passwords, thirty clients at once.
  std::vector<milliseconds> refusal_times(30, milliseconds(-1));
  std::vector<bool> refused_closed(30, false);
  {
    std::vector<std::thread> flood;
    for (int i = 0; i < 30; ++i) {
      flood.emplace_back([&, i] {
        const auto began = Clock::now();
        const auto deadline = began + seconds(20);
        std::unique_ptr<Client> client = Client::Connect(port_);
        if (!client || !client->SendPacket(1, standin::rcon::kTypeAuth, "guess" + std::to_string(i),
                                           deadline)) {
          return;
        }
        std::optional<standin::rcon::Packet> answer = client->Next(deadline);
        if (!answer || answer->type != standin::rcon::kTypeAuthResponse || answer->id != -1) return;
        refusal_times[i] = std::chrono::duration_cast<milliseconds>(Clock::now() - began);
        // A second guess on the same connection is never answered.
        client->SendPacket(2, standin::rcon::kTypeAuth, kPassword, deadline);
        refused_closed[i] = client->ClosedByServer(deadline);
      });
    }

    // Meanwhile the operator reloads, again and again.
    for (int i = 0; i < 3; ++i) EXPECT_EQ(OperatorReload(port_), kReloaded) << "reload " << i;
    for (auto& t : flood) t.join();
  }
  for (int i = 0; i < 30; ++i) {
    EXPECT_GE(refusal_times[i].count(), 0) << "guess " << i << " was not refused";
    EXPECT_TRUE(refused_closed[i]) << "guess " << i << " kept its connection";
  }
  // Later guesses wait: the server slows an address that keeps failing.
  EXPECT_GE(*std::max_element(refusal_times.begin(), refusal_times.end()), milliseconds(900));

  std::this_thread::sleep_until(phase_end);
  stop = true;
  for (auto& t : abusers) t.join();
  EXPECT_TRUE(reader_dropped) << "the server kept a client that never reads";
  EXPECT_GT(trickled.load(), 4);
  EXPECT_EQ(OperatorReload(port_), kReloaded) << "after the abuse";

  e2e::SimResult result = StopAndCheck();
  int answered = 0;
  for (const auto& rcon : result.Of("rcon")) answered += rcon["reply"] == kReloaded ? 1 : 0;
  EXPECT_GE(answered, 204);
  // One console line per client turned away: the thirty guesses, the five
  // bad streams, the client that never read. Clients that hang up themselves
  // (the half frames, the tricklers) are not turned away.
  auto lines = [&](const char* what) {
    const std::regex line(std::string("RCON 127\\.0\\.0\\.1:\\d+: ") + what);
    return std::distance(std::sregex_iterator(result.out.begin(), result.out.end(), line),
                         std::sregex_iterator());
  };
  EXPECT_EQ(lines("login refused: wrong password, connection closed"), 30);
  EXPECT_EQ(lines("connection dropped: bad frame"), 4);
  EXPECT_EQ(lines("connection dropped: a request before logging in"), 1);
  EXPECT_EQ(lines("connection dropped: not reading its replies"), 1);
  EXPECT_EQ(lines("connection dropped"), 6);
}

TEST_F(RconAbuseTest, StoppingWhileClientsHammerUnloadsCleanly) {
  ASSERT_NO_FATAL_FAILURE(Start());
  std::atomic<bool> stop{false};
  std::atomic<int> replies{0};
  std::vector<std::thread> hammers;
  const auto deadline = Clock::now() + seconds(30);
  for (int i = 0; i < 16; ++i) {
    hammers.emplace_back([&] {
      std::unique_ptr<Client> client = Client::Connect(port_);
      if (!client || !client->Authenticate(kPassword, deadline)) return;
      // Commands queue up faster than they are answered.
      for (std::int32_t id = 10; id < 100000 && !stop && Clock::now() < deadline; id += 2) {
        if (!client->SendPacket(id, standin::rcon::kTypeExecCommand, "Drovekeeper.reload",
                                deadline) ||
            !client->SendPacket(id + 1, standin::rcon::kTypeExecCommand, "Drovekeeper.reload",
                                deadline) ||
            !client->ReplyTo(id, deadline)) {
          return;
        }
        ++replies;
      }
    });
  }
  for (int i = 0; i < 100 && replies < 200; ++i) std::this_thread::sleep_for(milliseconds(50));
  EXPECT_GE(replies.load(), 200);

  e2e::SimResult result = StopAndCheck();
  stop = true;
  for (auto& t : hammers) t.join();

  // Every callback withdrawn, and nothing ran once they were.
  std::vector<std::string> withdrawn;
  std::size_t first_withdrawal = result.events.size();
  for (std::size_t i = 0; i < result.events.size(); ++i) {
    const auto& event = result.events[i];
    if (event["event"] == "unregister") {
      withdrawn.push_back(event["kind"].get<std::string>() + " " +
                          event["name"].get<std::string>());
      first_withdrawal = std::min(first_withdrawal, i);
    }
  }
  EXPECT_THAT(withdrawn,
              ::testing::ElementsAre("timer Drovekeeper.TimingSpawn", "rcon Drovekeeper.reload",
                                     "rcon Drovekeeper.status", "rcon Drovekeeper.spawn",
                                     "rcon Drovekeeper.check"));
  for (std::size_t i = first_withdrawal; i < result.events.size(); ++i) {
    // After the withdrawal only the unload's own lines and the simulator's
    // closing per-entry summary may follow: no spawn, notice or RCON reply.
    const std::string kind = result.events[i]["event"];
    EXPECT_TRUE(kind == "unregister" || kind == "log" || kind == "summary")
        << result.events[i].dump();
  }
}

}  // namespace
