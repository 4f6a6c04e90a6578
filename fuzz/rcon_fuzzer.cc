// Fuzz target: arbitrary bytes as what a remote console client sends. The
// stream is decoded three ways (whole, byte by byte, and in uneven chunks)
// and every way must give the same packets and the same error; the packets
// must re-encode to exactly the bytes they came from. Each packet then goes
// to two protocols (one closing at the first wrong password, one allowing
// three), whose commands are answered, some at once, some later and out of
// order, some abandoned; every packet a protocol sends must fit a frame.
// SplitReply is checked on the raw bytes with small body limits.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "standin/rcon/frame.h"
#include "standin/rcon/protocol.h"

namespace {

constexpr std::string_view kPassword = "swordfish";

struct Decoded {
  std::vector<standin::rcon::Packet> packets;
  standin::rcon::DecodeError error = standin::rcon::DecodeError::kNone;
};

// Feeds `stream` in pieces of the given sizes (cycled); checks that a failed
// decoder stays failed and yields nothing more.
Decoded Decode(std::string_view stream, const std::vector<std::size_t>& sizes) {
  standin::rcon::FrameDecoder decoder;
  Decoded decoded;
  std::size_t turn = 0;
  while (!stream.empty()) {
    const std::size_t take = std::min(sizes[turn++ % sizes.size()], stream.size());
    const std::size_t before = decoded.packets.size();
    const bool failed = decoder.error() != standin::rcon::DecodeError::kNone;
    const standin::rcon::DecodeError error = decoder.Feed(stream.substr(0, take), &decoded.packets);
    stream.remove_prefix(take);
    fuzz::Check(error == decoder.error(), "Feed's result differs from error()");
    if (failed) {
      fuzz::Check(error == decoded.error, "a failed decoder changed its error");
      fuzz::Check(decoded.packets.size() == before, "a failed decoder produced a packet");
    }
    if (error != standin::rcon::DecodeError::kNone)
      fuzz::Check(!decoder.mid_frame(), "failed mid-frame");
    decoded.error = error;
  }
  return decoded;
}

bool operator==(const Decoded& a, const Decoded& b) {
  return a.error == b.error && a.packets == b.packets;
}

// Uneven piece sizes drawn from the input itself, so the fuzzer steers them.
std::vector<std::size_t> ChunkSizes(std::string_view stream) {
  std::vector<std::size_t> sizes;
  for (std::size_t i = 0; i < stream.size() && sizes.size() < 16; i += 7) {
    sizes.push_back(1 + static_cast<unsigned char>(stream[i]) % 23);
  }
  if (sizes.empty()) sizes.push_back(1);
  return sizes;
}

void CheckDecoding(std::string_view stream, const Decoded& decoded) {
  std::string encoded;
  for (const standin::rcon::Packet& packet : decoded.packets) {
    fuzz::Check(packet.body.size() <= standin::rcon::kMaxBodySize, "decoded body over the limit");
    standin::rcon::AppendPacket(packet, &encoded);
  }
  fuzz::Check(stream.substr(0, encoded.size()) == encoded,
              "decoded packets do not re-encode to their own bytes");
  if (decoded.error == standin::rcon::DecodeError::kNone) {
    // Whatever is left is at most one unfinished frame.
    fuzz::Check(stream.size() - encoded.size() <
                    standin::rcon::kMaxFrameSize + standin::rcon::kSizeFieldBytes,
                "bytes left over without an error");
  }
}

void CheckSent(const standin::rcon::ProtocolStep& step) {
  for (const standin::rcon::Packet& packet : step.send) {
    fuzz::Check(packet.body.size() <= standin::rcon::kMaxBodySize,
                "protocol sent a body over the limit");
  }
}

// A reply that sometimes exceeds one body, made of the command's own bytes.
std::string ReplyFor(const standin::rcon::CommandRequest& request) {
  std::string reply;
  const std::size_t copies = request.command.empty() ? 1 : 1 + 5000 / request.command.size();
  for (std::size_t i = 0; i < (request.command.size() % 3 == 0 ? copies : 1); ++i) {
    reply += request.command;
  }
  return reply;
}

void Drive(standin::rcon::Protocol& protocol, const std::vector<standin::rcon::Packet>& packets) {
  std::vector<standin::rcon::CommandRequest> deferred;
  for (const standin::rcon::Packet& packet : packets) {
    const bool was_closed = protocol.closed();
    const bool was_authenticated = protocol.authenticated();
    const standin::rcon::ProtocolStep step = protocol.OnPacket(packet);
    CheckSent(step);
    if (was_closed) {
      fuzz::Check(step.send.empty() && step.commands.empty() && !step.close,
                  "a closed protocol still acted");
      continue;
    }
    if (!was_authenticated && packet.type != standin::rcon::kTypeAuth) {
      fuzz::Check(step.close && step.send.empty() && step.commands.empty(),
                  "a request before authentication did not just close");
    }
    fuzz::Check(step.close == protocol.closed(), "close reported out of step with closed()");
    if (packet.type == standin::rcon::kTypeAuth && protocol.authenticated()) {
      // Answered alone, once every earlier answer has gone out.
      fuzz::Check(step.send.empty() || step.send ==
                                           std::vector<standin::rcon::Packet>{
                                               {packet.id, standin::rcon::kTypeAuthResponse, ""}},
                  "a right password was answered by more than its AUTH_RESPONSE");
    }
    for (const standin::rcon::CommandRequest& request : step.commands) {
      switch (request.slot % 3) {
        case 0:
          CheckSent(protocol.Complete(request.slot, ReplyFor(request)));
          // A second answer to the same slot is ignored.
          fuzz::Check(protocol.Complete(request.slot, "again").send.empty(),
                      "a slot was answered twice");
          break;
        case 1:
          deferred.push_back(request);
          break;
        default:
          CheckSent(protocol.Abandon(request.slot));
          break;
      }
    }
  }
  // Late answers, newest first.
  for (auto it = deferred.rbegin(); it != deferred.rend(); ++it) {
    CheckSent(protocol.Complete(it->slot, ReplyFor(*it)));
  }
  if (!protocol.closed()) {
    fuzz::Check(protocol.outstanding_commands() == 0, "commands still outstanding");
  }
}

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xc0) == 0x80; }

// Bodies join to the reply, are never empty, and are cut short only to keep
// a character whole: a body ends early only right before a lead byte, and a
// body followed by a continuation byte has no lead byte among its last three
// (the first excepted, since an empty body would never end).
void CheckSplit(std::string_view reply, std::size_t max_bytes) {
  const std::vector<std::string> bodies = standin::rcon::SplitReply(reply, max_bytes);
  fuzz::Check(!bodies.empty(), "SplitReply gave no body");
  std::string joined;
  for (std::size_t k = 0; k < bodies.size(); ++k) {
    const std::string& body = bodies[k];
    fuzz::Check(body.size() <= max_bytes, "SplitReply body over the limit");
    fuzz::Check(!body.empty() || reply.empty(), "SplitReply gave an empty body");
    joined += body;
    if (k + 1 == bodies.size()) break;
    const std::size_t len = body.size();
    fuzz::Check(len + 3 >= max_bytes, "SplitReply cut more than a character short");
    if (IsContinuation(bodies[k + 1].front())) {
      fuzz::Check(len == max_bytes, "SplitReply cut short before a continuation byte");
      for (std::size_t j = (len > 3 ? len - 3 : 1); j < len; ++j) {
        fuzz::Check(IsContinuation(body[j]), "SplitReply cut a character it could keep whole");
      }
    }
  }
  fuzz::Check(joined == reply, "SplitReply bodies do not join to the reply");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view stream(reinterpret_cast<const char*>(data), size);

  const Decoded whole = Decode(stream, {stream.size() + 1});
  fuzz::Check(Decode(stream, {1}) == whole, "byte-by-byte decoding differs");
  fuzz::Check(Decode(stream, ChunkSizes(stream)) == whole, "chunked decoding differs");
  CheckDecoding(stream, whole);

  standin::rcon::Protocol strict{std::string(kPassword)};
  standin::rcon::Protocol lenient{std::string(kPassword), 3};
  Drive(strict, whole.packets);
  Drive(lenient, whole.packets);

  for (std::size_t max_bytes : {1, 2, 3, 4, 5, 7}) CheckSplit(stream.substr(0, 64), max_bytes);
  return 0;
}
