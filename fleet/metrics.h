// The fleet's status replies as Prometheus metric families: what
// `drovekeeper-fleet serve` exposes (fleet/serve.cc) and its tests check.
// Linux only, as serve is.
#pragma once

#include <prometheus/metric_family.h>

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "fleet/ask.h"

namespace drovekeeper::fleet {

// One server as its last ask found it.
struct ServerStatus {
  std::string server;                    // its name in the servers file
  std::optional<nlohmann::json> status;  // its `Drovekeeper.status --json` reply, if it gave one
  std::string why;                       // why there is none: one line
};

// The status document of an answer, or why there is none (no answer, or a
// reply that is not one, such as a server without the plug-in).
ServerStatus ReadStatus(const std::string& server, const Answer& answer);

// Per server drovekeeper_up and, for those with a status, the file's info,
// the runs and per entry its counts, wild count, cap and next due. A server
// without a status has drovekeeper_up 0 and no other series. Families
// without a series are left out.
std::vector<prometheus::MetricFamily> FleetMetrics(const std::vector<ServerStatus>& fleet);

}  // namespace drovekeeper::fleet
