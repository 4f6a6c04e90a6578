// Wire format of the remote console: little-endian int32 size, int32 id,
// int32 type, body, two zero bytes. `size` counts everything after itself.
// Pure code with no I/O, used by the stand-in's RCON server, its tests and
// any client written against it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace standin::rcon {

// Packet types. The command request and the authentication answer share 2;
// the direction tells them apart.
inline constexpr std::int32_t kTypeResponseValue = 0;
inline constexpr std::int32_t kTypeExecCommand = 2;
inline constexpr std::int32_t kTypeAuthResponse = 2;
inline constexpr std::int32_t kTypeAuth = 3;

inline constexpr std::size_t kMaxBodySize = 4096;
// id + type + the two terminating zeros.
inline constexpr std::int32_t kMinFrameSize = 10;
inline constexpr std::int32_t kMaxFrameSize = static_cast<std::int32_t>(kMaxBodySize) + 10;
inline constexpr std::size_t kSizeFieldBytes = 4;

struct Packet {
  std::int32_t id = 0;
  std::int32_t type = 0;
  // Raw bytes between the type and the two terminating zeros; may itself
  // contain zeros (the end-of-response marker does).
  std::string body;

  friend bool operator==(const Packet&, const Packet&) = default;
};

// Appends the frame of `packet` to `out`. The body is written as given; keeping
// it within kMaxBodySize is the caller's business.
void AppendPacket(const Packet& packet, std::string* out);
std::string EncodePacket(const Packet& packet);

enum class DecodeError {
  kNone,
  kSizeTooSmall,            // size field below kMinFrameSize (negative included)
  kSizeTooLarge,            // size field above kMaxFrameSize
  kMissingBodyTerminator,   // the byte after the body is not zero
  kMissingFrameTerminator,  // the last byte of the frame is not zero
};

const char* DecodeErrorName(DecodeError error);

// Reassembles frames from a byte stream delivered in arbitrary chunks. Holds
// at most one partial frame, so its memory stays below kMaxFrameSize + 4.
// Once an error is seen the decoder stays failed: the stream has lost its
// framing and nothing after it can be trusted.
class FrameDecoder {
 public:
  // Consumes all of `bytes`, appending every completed packet to `out`.
  // Packets completed before an error in the same chunk are still appended.
  DecodeError Feed(std::string_view bytes, std::vector<Packet>* out);

  DecodeError error() const { return error_; }
  // True while part of a frame has arrived and the rest has not.
  bool mid_frame() const { return !pending_.empty(); }

 private:
  std::string pending_;
  DecodeError error_ = DecodeError::kNone;
};

}  // namespace standin::rcon
