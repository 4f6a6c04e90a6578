// The fleet's status replies as Prometheus metric families, and the asker
// that keeps them for a scrape: what `drovekeeper-fleet serve` exposes. Part
// of its module (fleet/serve.h); used by fleet/serve.cc and the tests.
#pragma once

#include <prometheus/collectable.h>
#include <prometheus/metric_family.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "fleet/ask.h"
#include "fleet/serve.h"

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

// Asks every server on a thread of its own at most once a period, whatever
// the scrape rate; a scrape reads the last answers, so no server ever holds
// it up.
class FleetAsker : public prometheus::Collectable {
 public:
  // One ask of every server, answers in the order of `names`.
  using Ask = std::function<std::vector<Answer>()>;
  // A line for the operator: a server that stops or starts answering.
  using Note = std::function<void(const std::string&)>;

  // Asks at once, then once every `period` from the start of the last ask.
  FleetAsker(std::vector<std::string> names, std::chrono::milliseconds period, Ask ask, Note note);
  ~FleetAsker() override;  // waits for an ask under way
  FleetAsker(const FleetAsker&) = delete;
  FleetAsker& operator=(const FleetAsker&) = delete;

  // The families of the last ask; none before the first has ended.
  std::vector<prometheus::MetricFamily> Collect() const override;

 private:
  void Run();
  void NoteChanges(const std::vector<std::string>& why);

  const std::vector<std::string> names_;
  const std::chrono::milliseconds period_;
  const Ask ask_;
  const Note note_;
  std::vector<std::string> last_why_;  // per server, "" when it answered; the thread's alone
  bool asked_once_ = false;            // the thread's alone

  mutable std::mutex mutex_;
  std::condition_variable stop_;
  bool stopping_ = false;
  std::vector<prometheus::MetricFamily> families_;
  std::thread thread_;
};

// What Serve() runs once its module is loaded.
int ServeMetrics(const std::vector<Server>& servers, const ServeOptions& options);

}  // namespace drovekeeper::fleet
