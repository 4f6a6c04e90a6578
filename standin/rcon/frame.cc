#include "standin/rcon/frame.h"

#include <algorithm>
#include <cstring>

namespace standin::rcon {
namespace {

void AppendInt32(std::int32_t value, std::string* out) {
  const auto bits = static_cast<std::uint32_t>(value);
  for (int shift = 0; shift < 32; shift += 8) {
    out->push_back(static_cast<char>((bits >> shift) & 0xff));
  }
}

std::int32_t ReadInt32(const char* p) {
  std::uint32_t bits = 0;
  for (int i = 3; i >= 0; --i) {
    bits = (bits << 8) | static_cast<unsigned char>(p[i]);
  }
  return static_cast<std::int32_t>(bits);
}

}  // namespace

void AppendPacket(const Packet& packet, std::string* out) {
  AppendInt32(static_cast<std::int32_t>(packet.body.size()) + kMinFrameSize, out);
  AppendInt32(packet.id, out);
  AppendInt32(packet.type, out);
  out->append(packet.body);
  out->push_back('\0');
  out->push_back('\0');
}

std::string EncodePacket(const Packet& packet) {
  std::string out;
  out.reserve(packet.body.size() + kSizeFieldBytes + kMinFrameSize);
  AppendPacket(packet, &out);
  return out;
}

const char* DecodeErrorName(DecodeError error) {
  switch (error) {
    case DecodeError::kNone:
      return "none";
    case DecodeError::kSizeTooSmall:
      return "size too small";
    case DecodeError::kSizeTooLarge:
      return "size too large";
    case DecodeError::kMissingBodyTerminator:
      return "missing body terminator";
    case DecodeError::kMissingFrameTerminator:
      return "missing frame terminator";
  }
  return "unknown";
}

DecodeError FrameDecoder::Feed(std::string_view bytes, std::vector<Packet>* out) {
  while (error_ == DecodeError::kNone && !bytes.empty()) {
    // Gather the size field first so a bad size is refused before any of
    // the frame it announces is buffered.
    if (pending_.size() < kSizeFieldBytes) {
      const std::size_t take = std::min(kSizeFieldBytes - pending_.size(), bytes.size());
      pending_.append(bytes.substr(0, take));
      bytes.remove_prefix(take);
      if (pending_.size() < kSizeFieldBytes) break;
      const std::int32_t size = ReadInt32(pending_.data());
      if (size < kMinFrameSize) {
        error_ = DecodeError::kSizeTooSmall;
      } else if (size > kMaxFrameSize) {
        error_ = DecodeError::kSizeTooLarge;
      }
      continue;
    }
    const auto frame_bytes = kSizeFieldBytes + static_cast<std::size_t>(ReadInt32(pending_.data()));
    const std::size_t take = std::min(frame_bytes - pending_.size(), bytes.size());
    pending_.append(bytes.substr(0, take));
    bytes.remove_prefix(take);
    if (pending_.size() < frame_bytes) break;

    if (pending_[frame_bytes - 2] != '\0') {
      error_ = DecodeError::kMissingBodyTerminator;
    } else if (pending_[frame_bytes - 1] != '\0') {
      error_ = DecodeError::kMissingFrameTerminator;
    } else {
      Packet packet;
      packet.id = ReadInt32(pending_.data() + 4);
      packet.type = ReadInt32(pending_.data() + 8);
      packet.body.assign(pending_.data() + 12, frame_bytes - 12 - 2);
      out->push_back(std::move(packet));
      pending_.clear();
    }
  }
  if (error_ != DecodeError::kNone) pending_.clear();
  return error_;
}

}  // namespace standin::rcon
