// Remote console protocol of the stand-in server, per connection: how a
// reply is cut into packets, login, command and probe ordering.

#include <cstdint>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "standin/rcon/frame.h"
#include "standin/rcon/protocol.h"
#include "tests/support/rcon_packets.h"

namespace standin::rcon {
namespace {

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

}  // namespace
}  // namespace standin::rcon
