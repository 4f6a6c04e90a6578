// Remote console frame codec of the stand-in server: encoding, decoding in
// any chunking, and the malformed frames it rejects.

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "standin/rcon/frame.h"
#include "tests/support/rcon_packets.h"

namespace standin::rcon {
namespace {

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

}  // namespace
}  // namespace standin::rcon
