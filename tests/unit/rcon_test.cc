// Remote console of the stand-in server: frame codec, per-connection protocol
// rules, and the TCP server driven by a small blocking client on loopback.
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
#include "standin/rcon/login_throttle.h"
#include "standin/rcon/protocol.h"
#include "standin/rcon/server.h"

namespace standin::rcon {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

std::string Int32Bytes(std::int32_t value) {
  std::string out;
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
  return out;
}

// ---------------------------------------------------------------- codec

TEST(FrameTest, EncodesLittleEndianWithSizeCountingIdTypeBodyAndTerminators) {
  const std::string frame = EncodePacket(Packet{0x01020304, kTypeAuth, "pw"});
  const std::string expected = std::string("\x0c\x00\x00\x00", 4) + "\x04\x03\x02\x01" +
                               std::string("\x03\x00\x00\x00", 4) + "pw" + std::string(2, '\0');
  EXPECT_EQ(frame, expected);
}

TEST(FrameTest, RoundTripsWhateverTheChunking) {
  const std::vector<Packet> packets = {
      {0, kTypeAuth, "secret"},
      {-1, kTypeAuthResponse, ""},
      {INT_MAX, kTypeExecCommand, "Drovekeeper.reload"},
      {INT_MIN, kTypeResponseValue, std::string("\x00\x01\x00\x00", 4)},
      {42, kTypeResponseValue, std::string(kMaxBodySize, 'x')},
      {7, 99, "\xe9\x87\x8d\xe6\x96\xb0"},
  };
  std::string stream;
  for (const Packet& packet : packets) AppendPacket(packet, &stream);

  for (const std::size_t chunk :
       {std::size_t{1}, std::size_t{3}, std::size_t{13}, std::size_t{4110}, stream.size()}) {
    SCOPED_TRACE(chunk);
    FrameDecoder decoder;
    std::vector<Packet> decoded;
    for (std::size_t at = 0; at < stream.size(); at += chunk) {
      ASSERT_EQ(decoder.Feed(std::string_view(stream).substr(at, chunk), &decoded),
                DecodeError::kNone);
    }
    EXPECT_EQ(decoded, packets);
    EXPECT_FALSE(decoder.mid_frame());
  }
}

TEST(FrameTest, ReportsPartialFrame) {
  const std::string frame = EncodePacket(Packet{1, kTypeExecCommand, "list"});
  FrameDecoder decoder;
  std::vector<Packet> decoded;
  EXPECT_FALSE(decoder.mid_frame());
  decoder.Feed(std::string_view(frame).substr(0, 2), &decoded);
  EXPECT_TRUE(decoder.mid_frame());
  decoder.Feed(std::string_view(frame).substr(2, frame.size() - 3), &decoded);
  EXPECT_TRUE(decoder.mid_frame());
  EXPECT_TRUE(decoded.empty());
  decoder.Feed(std::string_view(frame).substr(frame.size() - 1), &decoded);
  EXPECT_FALSE(decoder.mid_frame());
  ASSERT_EQ(decoded.size(), 1u);
  EXPECT_EQ(decoded[0].body, "list");
}

struct BadFrame {
  const char* name;
  std::string bytes;
  DecodeError error;
};

std::string Frame(std::int32_t size, std::string rest) { return Int32Bytes(size) + rest; }

TEST(FrameTest, RejectsMalformedFrames) {
  const std::string id_and_type = Int32Bytes(5) + Int32Bytes(kTypeExecCommand);
  const std::vector<BadFrame> cases = {
      {"size 9", Frame(9, id_and_type), DecodeError::kSizeTooSmall},
      {"size 0", Frame(0, ""), DecodeError::kSizeTooSmall},
      {"negative size", Frame(-1, ""), DecodeError::kSizeTooSmall},
      {"most negative size", Frame(INT_MIN, ""), DecodeError::kSizeTooSmall},
      // Refused on the size field alone, before the announced body is buffered.
      {"size max + 1", Frame(kMaxFrameSize + 1, ""), DecodeError::kSizeTooLarge},
      {"huge size", Frame(INT_MAX, ""), DecodeError::kSizeTooLarge},
      {"body not terminated", Frame(10, id_and_type + "ab"), DecodeError::kMissingBodyTerminator},
      {"frame not terminated", Frame(10, id_and_type + std::string("\0b", 2)),
       DecodeError::kMissingFrameTerminator},
      {"longer body not terminated", Frame(12, id_and_type + "abcd"),
       DecodeError::kMissingBodyTerminator},
      {"longer frame not terminated", Frame(12, id_and_type + std::string("ab\0x", 4)),
       DecodeError::kMissingFrameTerminator},
  };
  for (const BadFrame& c : cases) {
    SCOPED_TRACE(c.name);
    FrameDecoder decoder;
    std::vector<Packet> decoded;
    EXPECT_EQ(decoder.Feed(c.bytes, &decoded), c.error);
    EXPECT_EQ(decoder.error(), c.error);
    EXPECT_TRUE(decoded.empty());
    // The stream has lost its framing: even a good frame is refused now.
    EXPECT_EQ(decoder.Feed(EncodePacket(Packet{1, kTypeAuth, "x"}), &decoded), c.error);
    EXPECT_TRUE(decoded.empty());
  }
}

TEST(FrameTest, AcceptsTheLargestFrameAndKeepsPacketsBeforeAnError) {
  std::string stream = EncodePacket(Packet{1, kTypeResponseValue, std::string(kMaxBodySize, 'y')});
  stream += Frame(kMaxFrameSize + 1, "");
  FrameDecoder decoder;
  std::vector<Packet> decoded;
  EXPECT_EQ(decoder.Feed(stream, &decoded), DecodeError::kSizeTooLarge);
  ASSERT_EQ(decoded.size(), 1u);
  EXPECT_EQ(decoded[0].body.size(), kMaxBodySize);
}

// ---------------------------------------------------------------- reply splitting

struct SplitCase {
  const char* name;
  std::string reply;
  std::size_t max_bytes;
  std::vector<std::string> bodies;
};

TEST(SplitReplyTest, CutsBetweenCharactersOnly) {
  const std::string e_acute = "\xc3\xa9";        // 2 bytes
  const std::string euro = "\xe2\x82\xac";       // 3 bytes
  const std::string emoji = "\xf0\x9f\x98\x80";  // 4 bytes
  const std::vector<SplitCase> cases = {
      {"empty reply is one empty body", "", 4, {""}},
      {"fits exactly", "abcd", 4, {"abcd"}},
      {"ascii overflow", "abcdefghi", 4, {"abcd", "efgh", "i"}},
      {"2-byte char across the cut", "abc" + e_acute, 4, {"abc", e_acute}},
      {"3-byte char across the cut", "ab" + euro + "z", 4, {"ab", euro + "z"}},
      {"4-byte char across the cut", "abc" + emoji, 4, {"abc", emoji}},
      {"4-byte char ending at the cut", emoji + "a", 4, {emoji, "a"}},
      {"4-byte char cut after its third byte", "a" + emoji, 4, {"a", emoji}},
      {"4-byte char cut at the packet's end",
       std::string(kMaxBodySize - 3, 'a') + emoji,
       kMaxBodySize,
       {std::string(kMaxBodySize - 3, 'a'), emoji}},
      {"malformed run is cut where it must be",
       std::string(6, '\x80'),
       4,
       {std::string(4, '\x80'), std::string(2, '\x80')}},
  };
  for (const SplitCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SplitReply(c.reply, c.max_bytes), c.bodies);
  }
}

TEST(SplitReplyTest, LongChineseReplyUsesFullChunksAndReassembles) {
  std::string reply;
  for (int i = 0; i < 3000; ++i) reply += "\xe9\x87\x8d";  // 9000 bytes
  const std::vector<std::string> bodies = SplitReply(reply);
  ASSERT_EQ(bodies.size(), 3u);
  std::string joined;
  for (std::size_t i = 0; i < bodies.size(); ++i) {
    EXPECT_LE(bodies[i].size(), kMaxBodySize);
    if (i + 1 < bodies.size()) {
      EXPECT_EQ(bodies[i].size(), kMaxBodySize - 1);  // 1365 whole characters
    }
    EXPECT_EQ(bodies[i].size() % 3, 0u);
    joined += bodies[i];
  }
  EXPECT_EQ(joined, reply);
}

// ---------------------------------------------------------------- protocol

Packet Auth(std::int32_t id, std::string password) { return {id, kTypeAuth, std::move(password)}; }
Packet Command(std::int32_t id, std::string text) {
  return {id, kTypeExecCommand, std::move(text)};
}
Packet Probe(std::int32_t id) { return {id, kTypeResponseValue, ""}; }

TEST(ProtocolTest, RightPasswordGetsTheAuthResponseAlone) {
  Protocol protocol("pw");
  const ProtocolStep step = protocol.OnPacket(Auth(11, "pw"));
  EXPECT_EQ(step.send, (std::vector<Packet>{{11, kTypeAuthResponse, ""}}));
  EXPECT_FALSE(step.close);
  EXPECT_FALSE(step.auth_failed);
  EXPECT_TRUE(protocol.authenticated());
}

TEST(ProtocolTest, WrongPasswordGetsMinusOneAndClose) {
  for (const std::string wrong : {"", "PW", "pw ", "p"}) {
    SCOPED_TRACE(wrong);
    Protocol protocol("pw");
    const ProtocolStep step = protocol.OnPacket(Auth(11, wrong));
    EXPECT_EQ(step.send, (std::vector<Packet>{{-1, kTypeAuthResponse, ""}}));
    EXPECT_TRUE(step.close);
    EXPECT_TRUE(step.auth_failed);
    EXPECT_TRUE(protocol.closed());
    EXPECT_TRUE(protocol.OnPacket(Auth(12, "pw")).send.empty());
  }
}

TEST(ProtocolTest, EmptyPasswordNeverAuthenticates) {
  Protocol protocol("");
  EXPECT_TRUE(protocol.OnPacket(Auth(1, "")).auth_failed);
  EXPECT_FALSE(protocol.authenticated());
}

TEST(ProtocolTest, AllowsConfiguredNumberOfWrongPasswords) {
  Protocol protocol("pw", 3);
  for (int attempt = 1; attempt <= 3; ++attempt) {
    const ProtocolStep step = protocol.OnPacket(Auth(attempt, "nope"));
    EXPECT_EQ(step.send, (std::vector<Packet>{{-1, kTypeAuthResponse, ""}}));
    EXPECT_EQ(step.close, attempt == 3) << attempt;
  }
  EXPECT_EQ(protocol.auth_failures(), 3);

  Protocol second_try("pw", 3);
  second_try.OnPacket(Auth(1, "nope"));
  EXPECT_FALSE(second_try.OnPacket(Auth(2, "pw")).close);
  EXPECT_TRUE(second_try.authenticated());
}

TEST(ProtocolTest, AnythingButAuthBeforeAuthClosesSilently) {
  for (const Packet& packet : {Command(1, "Drovekeeper.reload"), Probe(1), Packet{1, 7, "?"}}) {
    SCOPED_TRACE(packet.type);
    Protocol protocol("pw");
    const ProtocolStep step = protocol.OnPacket(packet);
    EXPECT_TRUE(step.send.empty());
    EXPECT_TRUE(step.commands.empty());
    EXPECT_TRUE(step.close);
    EXPECT_FALSE(step.auth_failed);
  }
}

TEST(ProtocolTest, CommandGoesToApplicationAndReplyCarriesItsId) {
  Protocol protocol("pw");
  protocol.OnPacket(Auth(1, "pw"));
  ProtocolStep step = protocol.OnPacket(Command(5, std::string("Drovekeeper.reload\0junk", 23)));
  EXPECT_TRUE(step.send.empty());
  ASSERT_EQ(step.commands.size(), 1u);
  EXPECT_EQ(step.commands[0].id, 5);
  EXPECT_EQ(step.commands[0].command, "Drovekeeper.reload");
  EXPECT_EQ(protocol.outstanding_commands(), 1u);

  step = protocol.Complete(step.commands[0].slot, "done");
  EXPECT_EQ(step.send, (std::vector<Packet>{{5, kTypeResponseValue, "done"}}));
  EXPECT_EQ(protocol.outstanding_commands(), 0u);
}

TEST(ProtocolTest, LongReplyIsSplitIntoPacketsWithTheSameId) {
  Protocol protocol("pw");
  protocol.OnPacket(Auth(1, "pw"));
  const std::uint64_t slot = protocol.OnPacket(Command(9, "dump")).commands.at(0).slot;
  const std::string reply = std::string(kMaxBodySize, 'a') + std::string(kMaxBodySize, 'b') + "c";
  const ProtocolStep step = protocol.Complete(slot, reply);
  ASSERT_EQ(step.send.size(), 3u);
  std::string joined;
  for (const Packet& packet : step.send) {
    EXPECT_EQ(packet.id, 9);
    EXPECT_EQ(packet.type, kTypeResponseValue);
    joined += packet.body;
  }
  EXPECT_EQ(joined, reply);
  EXPECT_EQ(step.send[2].body, "c");
}

TEST(ProtocolTest, EmptyReplyStillSendsOnePacket) {
  Protocol protocol("pw");
  protocol.OnPacket(Auth(1, "pw"));
  const std::uint64_t slot = protocol.OnPacket(Command(4, "x")).commands.at(0).slot;
  EXPECT_EQ(protocol.Complete(slot, "").send, (std::vector<Packet>{{4, kTypeResponseValue, ""}}));
}

TEST(ProtocolTest, ProbeIsEchoedAfterTheReplyItFollows) {
  Protocol protocol("pw");
  protocol.OnPacket(Auth(1, "pw"));
  const std::uint64_t slot = protocol.OnPacket(Command(2, "list")).commands.at(0).slot;
  // The probe arrives before the application has answered: it must wait.
  EXPECT_TRUE(protocol.OnPacket(Probe(3)).send.empty());
  EXPECT_EQ(protocol.Complete(slot, "a").send,
            (std::vector<Packet>{{2, kTypeResponseValue, "a"}, Probe(3)}));
  // With nothing owed, a probe of either type, padded or not, is answered
  // at once and is no command.
  for (const Packet& probe : {Probe(4), Command(4, ""), Packet{4, kTypeResponseValue, {"\0", 1}},
                              Command(4, {"\0\0", 2})}) {
    const ProtocolStep step = protocol.OnPacket(probe);
    EXPECT_EQ(step.send, (std::vector<Packet>{Probe(4)}));
    EXPECT_TRUE(step.commands.empty());
  }
}

TEST(ProtocolTest, RepliesLeaveInRequestOrder) {
  Protocol protocol("pw");
  protocol.OnPacket(Auth(1, "pw"));
  const std::uint64_t first = protocol.OnPacket(Command(10, "a")).commands.at(0).slot;
  const std::uint64_t second = protocol.OnPacket(Command(20, "b")).commands.at(0).slot;
  EXPECT_TRUE(protocol.Complete(second, "B").send.empty());
  EXPECT_EQ(protocol.Complete(first, "A").send,
            (std::vector<Packet>{{10, kTypeResponseValue, "A"}, {20, kTypeResponseValue, "B"}}));
  // Answering twice or answering an unknown slot sends nothing.
  EXPECT_TRUE(protocol.Complete(first, "again").send.empty());
  EXPECT_TRUE(protocol.Complete(second + 100, "stray").send.empty());
}

TEST(ProtocolTest, AbandonedCommandSendsNothingButReleasesLaterAnswers) {
  Protocol protocol("pw");
  protocol.OnPacket(Auth(1, "pw"));
  const std::uint64_t slot =
      protocol.OnPacket(Command(2, "Drovekeeper.reload")).commands.at(0).slot;
  protocol.OnPacket(Probe(3));
  EXPECT_EQ(protocol.Abandon(slot).send, (std::vector<Packet>{Probe(3)}));
  EXPECT_EQ(protocol.outstanding_commands(), 0u);
  EXPECT_TRUE(protocol.Complete(slot, "late").send.empty());
}

TEST(ProtocolTest, WrongPasswordAfterLoginDiscardsWhatWasOwed) {
  Protocol protocol("pw", 2);
  protocol.OnPacket(Auth(1, "pw"));
  const std::uint64_t slot = protocol.OnPacket(Command(2, "a")).commands.at(0).slot;
  EXPECT_EQ(protocol.OnPacket(Auth(3, "bad")).send,
            (std::vector<Packet>{{-1, kTypeAuthResponse, ""}}));
  EXPECT_FALSE(protocol.authenticated());
  EXPECT_EQ(protocol.outstanding_commands(), 0u);
  // Log in again: the old command's reply must not surface, nor take the
  // place of a new command's.
  protocol.OnPacket(Auth(4, "pw"));
  const std::uint64_t fresh = protocol.OnPacket(Command(5, "b")).commands.at(0).slot;
  EXPECT_NE(fresh, slot);
  EXPECT_TRUE(protocol.Complete(slot, "old").send.empty());
  EXPECT_EQ(protocol.Complete(fresh, "new").send,
            (std::vector<Packet>{{5, kTypeResponseValue, "new"}}));
}

TEST(ProtocolTest, UnknownRequestTypeIsAnswered) {
  Protocol protocol("pw");
  protocol.OnPacket(Auth(1, "pw"));
  EXPECT_EQ(protocol.OnPacket(Packet{6, 5, ""}).send,
            (std::vector<Packet>{{6, kTypeResponseValue, "Unknown request 5"}}));
  EXPECT_EQ(protocol.OnPacket(Packet{7, kTypeResponseValue, "x"}).send,
            (std::vector<Packet>{{7, kTypeResponseValue, "Unknown request 0"}}));
}

// ---------------------------------------------------------------- login throttle

TEST(LoginThrottleTest, DelayGrowsPerFailureUpToTheCapAndIsForgotten) {
  Clock::time_point now{};
  LoginThrottle throttle(
      milliseconds(100), milliseconds(250), milliseconds(1000), [&now] { return now; }, 2);
  struct Step {
    int advance_ms;
    const char* fail;  // "" for none
    const char* ask;
    int delay_ms;
  };
  const std::vector<Step> steps =
      {
          {0, "", "a", 0},     {0, "a", "a", 100},
          {10, "a", "a", 200}, {10, "a", "a", 250},  // capped
          {0, "", "b", 0},                           // another address is not slowed
          {999, "", "a", 250},                       // just within memory of the last failure
          {1, "", "a", 0},                           // forgotten
          {0, "a", "a", 100},  {10, "b", "b", 100},
          {10, "c", "c", 100},  // a third address evicts the stalest, "a"
          {0, "", "a", 0},     {0, "", "b", 100},
      };
  for (std::size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE(i);
    now += milliseconds(steps[i].advance_ms);
    if (*steps[i].fail != '\0') throttle.RecordFailure(steps[i].fail);
    EXPECT_EQ(throttle.Delay(steps[i].ask), milliseconds(steps[i].delay_ms));
    EXPECT_LE(throttle.remembered(), 2u);
  }
}

// ---------------------------------------------------------------- TCP server

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
