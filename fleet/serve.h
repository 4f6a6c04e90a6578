// `drovekeeper-fleet serve`: the fleet's status as Prometheus metrics on
// /metrics. A thread asks every server at most once a period, whatever the
// scrape rate, and a scrape reads its last answers, so no server ever holds
// up a scrape. Linux only; called by fleet/main.cc and the tests.
#pragma once

#include <prometheus/collectable.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "fleet/ask.h"
#include "fleet/servers.h"

namespace drovekeeper::fleet {

// Asks the fleet on its own thread and hands a scrape the last answers.
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

struct ServeOptions {
  std::string listen;  // IPv4 ADDRESS:PORT; port 0 takes a free one
  std::chrono::seconds every{30};
  std::chrono::milliseconds timeout{10000};  // the most an ask may take, when under `every`
};

// Serves until SIGINT or SIGTERM: 0 then, 2 when it cannot listen, 3 for a
// `listen` not of the form ADDRESS:PORT. Says on standard output where it
// listens and which servers stop or start answering.
int Serve(const std::vector<Server>& servers, const ServeOptions& options);

}  // namespace drovekeeper::fleet
