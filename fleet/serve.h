// `drovekeeper-fleet serve`: the fleet's status as Prometheus metrics on
// /metrics, until interrupted. Linux only; called by fleet/main.cc.
//
// Its code and Debian's prometheus-cpp, which it needs, live in a module
// beside the program (drovekeeper-fleet-serve.so, fleet/serve.cc) that is
// loaded only when serve runs: the other sub-commands need no more than the
// C++ runtime.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "fleet/servers.h"

namespace drovekeeper::fleet {

struct ServeOptions {
  std::string listen;  // IPv4 ADDRESS:PORT; port 0 takes a free one
  std::chrono::seconds every{30};
  std::chrono::milliseconds timeout{10000};  // the most an ask may take, when under `every`
};

// Serves until SIGINT or SIGTERM: 0 then, 2 when it cannot load its module
// or listen, 3 for a `listen` not of the form ADDRESS:PORT. Says on standard
// output where it listens and which servers stop or start answering.
int Serve(const std::vector<Server>& servers, const ServeOptions& options);

}  // namespace drovekeeper::fleet
