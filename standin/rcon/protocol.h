// Protocol state of one remote console connection, free of sockets and
// threads: it takes decoded client packets and application replies, and says
// what to send, which commands to hand to the application and when to close.
// Driven by the stand-in's RCON server on its I/O thread, and by tests.
//
// Rules:
//  - AUTH with the right password: AUTH_RESPONSE with the id, alone. Common
//    clients either read one packet per chunk received or insist that the
//    answer's first packet be the AUTH_RESPONSE; an empty RESPONSE_VALUE
//    before it hangs the former and fails the latter, and no client needs it.
//  - AUTH with a wrong password: AUTH_RESPONSE with id -1 and nothing else;
//    anything still owed to the client is discarded. The connection closes
//    once `max_auth_failures` wrong passwords have been seen on it (1 by
//    default, so the first wrong guess ends it).
//  - Anything but AUTH before a successful AUTH closes the connection with no
//    reply. The client has broken the protocol, and a -1 answer would be
//    ambiguous because command requests and auth answers share type 2.
//  - EXECCOMMAND after AUTH becomes a CommandRequest; its reply (Complete)
//    goes out as RESPONSE_VALUE packets with the request id, split into
//    bodies of at most kMaxBodySize bytes without cutting a UTF-8 sequence.
//  - An empty request (RESPONSE_VALUE or EXECCOMMAND, empty up to its first
//    zero) is the usual end-of-reply probe: it is answered, as game servers
//    do, with one empty RESPONSE_VALUE with its id, and never reaches the
//    application as a command. A client reads until that echo, so anything
//    else sent for the probe would end up in its next reply.
//  - Any other packet after AUTH is answered with a RESPONSE_VALUE
//    "Unknown request <type>".
// Answers leave in the order their requests arrived: a probe sent after a
// command is answered only after that command's reply, which is what makes
// the probe trick work with replies that the application sends later.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "standin/rcon/frame.h"

namespace standin::rcon {

struct CommandRequest {
  std::uint64_t slot = 0;  // names the request in Complete / Abandon
  std::int32_t id = 0;     // the client's packet id
  std::string command;
};

struct ProtocolStep {
  std::vector<Packet> send;  // in order, before any close
  std::vector<CommandRequest> commands;
  bool close = false;        // close once `send` has been written
  bool auth_failed = false;  // a wrong password was seen in this step
};

class Protocol {
 public:
  explicit Protocol(std::string password, int max_auth_failures = 1);

  ProtocolStep OnPacket(const Packet& packet);
  // Delivers the application's reply to the command in `slot`. Only the
  // first Complete or Abandon of a slot counts.
  ProtocolStep Complete(std::uint64_t slot, std::string_view reply);
  // The application will not answer `slot`; later answers are released.
  ProtocolStep Abandon(std::uint64_t slot);

  bool authenticated() const { return authenticated_; }
  bool closed() const { return closed_; }
  int auth_failures() const { return auth_failures_; }
  // Commands handed out and not yet completed or abandoned.
  std::size_t outstanding_commands() const { return outstanding_; }

 private:
  struct Slot {
    std::int32_t id = 0;
    bool ready = false;
    std::vector<Packet> packets;
  };

  void AddReadySlot(std::vector<Packet> packets, ProtocolStep* step);
  // Fills a pending command slot; false if it is unknown or already filled.
  bool Resolve(std::uint64_t slot, bool send_reply, std::string_view reply);
  void DropAllSlots();
  void Flush(ProtocolStep* step);

  std::string password_;
  int max_auth_failures_;
  bool authenticated_ = false;
  bool closed_ = false;
  int auth_failures_ = 0;
  std::size_t outstanding_ = 0;
  // Answers in request order; slots_[i] has the number first_slot_ + i.
  std::deque<Slot> slots_;
  std::uint64_t first_slot_ = 0;
};

// Splits a UTF-8 reply into bodies of at most `max_bytes` bytes, cutting only
// between characters (a malformed sequence is cut where it must be). An
// empty reply gives one empty body.
std::vector<std::string> SplitReply(std::string_view reply, std::size_t max_bytes = kMaxBodySize);

}  // namespace standin::rcon
