// A small blocking RCON client for the end-to-end tests, used when the node
// client is not installed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace e2e {

struct RconOutcome {
  bool authenticated = false;
  std::optional<std::string> reply;  // set when the command was answered
  std::string failure;               // why not, otherwise
};

// Connects, authenticates with `password` and, if accepted, runs `command`
// and reads its reply up to the echo of an empty probe sent after it.
RconOutcome RunRconCommand(const std::string& host, std::uint16_t port, const std::string& password,
                           const std::string& command);

}  // namespace e2e
