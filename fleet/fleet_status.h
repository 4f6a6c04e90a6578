// drovekeeper-fleet status: every server's Drovekeeper.status --json merged
// into one view (a line per server, a table of entries by servers, the
// problems found) and an exit status. Pure: the answers come from AskAll.
// Called by fleet/main.cc and the tests.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "fleet/ask.h"
#include "fleet/servers.h"

namespace drovekeeper::fleet {

inline constexpr char kStatusCommand[] = "Drovekeeper.status --json";

struct FleetStatus {
  // One line per server, then the entries table: for a person.
  std::string text;
  // One line per problem, in a fixed order, none when all is well: for a
  // cron job, whose output changes only when the fleet's state does.
  std::vector<std::string> problems;
  nlohmann::json merged;  // for bots and panels
  int exit_status = kExitWell;
};

// `answers[i]` is the answer of `servers[i]` to kStatusCommand.
FleetStatus MergeStatus(const std::vector<Server>& servers, const std::vector<Answer>& answers);

}  // namespace drovekeeper::fleet
