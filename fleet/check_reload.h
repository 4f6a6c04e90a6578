// drovekeeper-fleet check and reload: a reload's dry run on every server,
// and a reload of only the servers whose dry run takes a new file. Called by
// fleet/main.cc and the tests.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "fleet/ask.h"
#include "fleet/servers.h"

namespace drovekeeper::fleet {

inline constexpr char kCheckCommand[] = "Drovekeeper.check";
inline constexpr char kReloadCommand[] = "Drovekeeper.reload";

// What a server's Drovekeeper.check reply says a reload would do.
enum class CheckSays {
  takes,     // a new file
  in_force,  // the file on disk is the one in force: nothing to reload
  refuses,
  other,  // not a check reply (no plug-in answers the command)
};
CheckSays ReadCheck(const std::string& reply);

struct FleetOutcome {
  std::string text;  // one block per server, in the servers file's order
  int exit_status = kExitWell;
};

// Each server's check reply, its lines after the first indented.
FleetOutcome CheckReport(const std::vector<Server>& servers, const std::vector<Answer>& checks);

// Checks every server, then reloads those whose check takes a new file (never
// one whose check refuses it), each call within `timeout`.
FleetOutcome CheckAndReload(const std::vector<Server>& servers, std::chrono::milliseconds timeout);

}  // namespace drovekeeper::fleet
