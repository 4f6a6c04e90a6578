// Packets and raw bytes the remote console tests send: the frame, protocol
// and server tests share them. Tests only.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "standin/rcon/frame.h"

namespace standin::rcon {

// Little-endian, as every integer of a frame.
inline std::string Int32Bytes(std::int32_t value) {
  std::string out;
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
  return out;
}

inline Packet Auth(std::int32_t id, std::string password) {
  return {id, kTypeAuth, std::move(password)};
}
inline Packet Command(std::int32_t id, std::string text) {
  return {id, kTypeExecCommand, std::move(text)};
}
inline Packet Probe(std::int32_t id) { return {id, kTypeResponseValue, ""}; }

}  // namespace standin::rcon
