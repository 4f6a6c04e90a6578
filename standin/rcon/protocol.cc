#include "standin/rcon/protocol.h"

#include <utility>

namespace standin::rcon {
namespace {

bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xc0) == 0x80; }

// Protocol strings end at their first zero; some clients pad with extras.
std::string_view CString(const std::string& body) {
  std::string_view view(body);
  return view.substr(0, view.find('\0'));
}

}  // namespace

std::vector<std::string> SplitReply(std::string_view reply, std::size_t max_bytes) {
  std::vector<std::string> bodies;
  do {
    std::size_t cut = reply.size();
    if (cut > max_bytes) {
      cut = max_bytes;
      // A UTF-8 sequence is at most 4 bytes: back up over at most 3
      // continuation bytes to the lead byte of the character being cut.
      std::size_t lead = cut;
      while (lead > 0 && cut - lead < 3 && IsContinuationByte(reply[lead])) --lead;
      if (lead > 0 && !IsContinuationByte(reply[lead])) cut = lead;
    }
    bodies.emplace_back(reply.substr(0, cut));
    reply.remove_prefix(cut);
  } while (!reply.empty());
  return bodies;
}

Protocol::Protocol(std::string password, int max_auth_failures)
    : password_(std::move(password)),
      max_auth_failures_(max_auth_failures < 1 ? 1 : max_auth_failures) {}

ProtocolStep Protocol::OnPacket(const Packet& packet) {
  ProtocolStep step;
  if (closed_) return step;

  if (packet.type == kTypeAuth) {
    if (!password_.empty() && CString(packet.body) == password_) {
      authenticated_ = true;
      AddReadySlot({Packet{packet.id, kTypeAuthResponse, {}}}, &step);
      return step;
    }
    // A wrong guess revokes the connection's standing and everything owed.
    authenticated_ = false;
    DropAllSlots();
    ++auth_failures_;
    step.auth_failed = true;
    step.send.push_back(Packet{-1, kTypeAuthResponse, {}});
    if (auth_failures_ >= max_auth_failures_) {
      closed_ = true;
      step.close = true;
    }
    return step;
  }

  if (!authenticated_) {
    closed_ = true;
    DropAllSlots();
    step.close = true;
    return step;
  }

  if ((packet.type == kTypeExecCommand || packet.type == kTypeResponseValue) &&
      CString(packet.body).empty()) {
    AddReadySlot({Packet{packet.id, kTypeResponseValue, {}}}, &step);
    return step;
  }

  if (packet.type == kTypeExecCommand) {
    const std::uint64_t slot = first_slot_ + slots_.size();
    slots_.push_back(Slot{packet.id, false, {}});
    ++outstanding_;
    step.commands.push_back(CommandRequest{slot, packet.id, std::string(CString(packet.body))});
    return step;
  }

  AddReadySlot(
      {Packet{packet.id, kTypeResponseValue, "Unknown request " + std::to_string(packet.type)}},
      &step);
  return step;
}

ProtocolStep Protocol::Complete(std::uint64_t slot, std::string_view reply) {
  ProtocolStep step;
  if (Resolve(slot, true, reply)) Flush(&step);
  return step;
}

ProtocolStep Protocol::Abandon(std::uint64_t slot) {
  ProtocolStep step;
  if (Resolve(slot, false, {})) Flush(&step);
  return step;
}

void Protocol::AddReadySlot(std::vector<Packet> packets, ProtocolStep* step) {
  slots_.push_back(Slot{0, true, std::move(packets)});
  Flush(step);
}

bool Protocol::Resolve(std::uint64_t slot, bool send_reply, std::string_view reply) {
  if (closed_ || slot < first_slot_ || slot - first_slot_ >= slots_.size()) return false;
  Slot& target = slots_[slot - first_slot_];
  if (target.ready) return false;
  target.ready = true;
  --outstanding_;
  if (send_reply) {
    for (std::string& body : SplitReply(reply)) {
      target.packets.push_back(Packet{target.id, kTypeResponseValue, std::move(body)});
    }
  }
  return true;
}

void Protocol::DropAllSlots() {
  // Numbers of dropped slots are never reused, so a late reply to one of
  // them cannot land on a newer request.
  first_slot_ += slots_.size();
  slots_.clear();
  outstanding_ = 0;
}

void Protocol::Flush(ProtocolStep* step) {
  while (!slots_.empty() && slots_.front().ready) {
    for (Packet& packet : slots_.front().packets) step->send.push_back(std::move(packet));
    slots_.pop_front();
    ++first_slot_;
  }
}

}  // namespace standin::rcon
