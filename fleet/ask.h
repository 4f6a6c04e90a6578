// Asks many game servers one RCON command at once: one connection each, all
// on one thread, and one deadline for the whole call, so a fleet answers in
// the time of its slowest server. Used by the fleet's sub-commands and tests.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "fleet/servers.h"

namespace drovekeeper::fleet {

// The program's exit statuses, as monitoring checks read them: all well, a
// warning, a server not reached (unreachable, login refused, timed out).
inline constexpr int kExitWell = 0;
inline constexpr int kExitWarning = 1;
inline constexpr int kExitUnreached = 2;

enum class Reach { answered, unreachable, login_refused, timed_out };

struct Answer {
  Reach reach = Reach::unreachable;
  std::string reply;  // the whole reply text (all packets joined), when answered
  std::string error;  // why not, otherwise: one line
};

// Asks every server `command` at once, one connection each; the whole call ends by `timeout`.
// Answers are in the order of `servers`. The reply is read up to the echo of
// an empty request sent behind the command, so a reply of many packets
// comes whole.
std::vector<Answer> AskAll(const std::vector<Server>& servers, const std::string& command,
                           std::chrono::milliseconds timeout);

// "answered", "unreachable", "login refused", "timed out".
const char* ReachName(Reach reach);

}  // namespace drovekeeper::fleet
