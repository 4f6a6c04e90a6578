// The module drovekeeper-fleet loads for serve (fleet/serve.h).
#include "fleet/serve.h"

#include <prometheus/exposer.h>
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <exception>
#include <iostream>
#include <memory>
#include <utility>

#include "fleet/fleet_status.h"
#include "fleet/metrics.h"

namespace drovekeeper::fleet {

namespace {

// The ADDRESS of ADDRESS:PORT, or "" when `listen` is not of that form.
std::string ListenAddress(const std::string& listen) {
  const std::size_t colon = listen.rfind(':');
  if (colon == std::string::npos || colon == 0 || colon + 1 == listen.size() ||
      !std::all_of(listen.begin() + static_cast<std::ptrdiff_t>(colon) + 1, listen.end(),
                   [](char c) { return c >= '0' && c <= '9'; }) ||
      listen.size() - colon > 6 || std::stoi(listen.substr(colon + 1)) > 65535) {
    return {};
  }
  return listen.substr(0, colon);
}

}  // namespace

int ServeMetrics(const std::vector<Server>& servers, const ServeOptions& options) {
  const std::string address = ListenAddress(options.listen);
  if (address.empty()) {
    std::cerr << "drovekeeper-fleet serve: --listen " << options.listen
              << ": not ADDRESS:PORT (such as 127.0.0.1:9150, or 0.0.0.0:9150 for every "
                 "interface)\n";
    return 3;
  }
  // Every thread started from here on leaves these to the sigwait below.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  sigset_t before;
  pthread_sigmask(SIG_BLOCK, &stop_signals, &before);

  std::unique_ptr<prometheus::Exposer> exposer;
  try {
    exposer = std::make_unique<prometheus::Exposer>(options.listen);
  } catch (const std::exception& e) {
    pthread_sigmask(SIG_SETMASK, &before, nullptr);
    std::cerr << "drovekeeper-fleet serve: cannot listen on " << options.listen << ": " << e.what()
              << "\n";
    return 2;
  }
  std::vector<std::string> names;
  for (const Server& server : servers) names.push_back(server.name);
  // An ask ends before the next is due.
  const auto timeout = std::min<std::chrono::milliseconds>(options.every, options.timeout);
  std::mutex printing;
  const auto print = [&printing](const std::string& line) {
    std::lock_guard lock(printing);
    std::cout << line << std::endl;
  };
  auto asker = std::make_shared<FleetAsker>(
      names, options.every,
      [&servers, timeout] { return AskAll(servers, kStatusCommand, timeout); }, print);
  exposer->RegisterCollectable(asker);
  const std::vector<int> ports = exposer->GetListeningPorts();
  print("serving http://" + address + ":" +
        (ports.empty() ? options.listen.substr(address.size() + 1) : std::to_string(ports[0])) +
        "/metrics, asking " + std::to_string(servers.size()) + " servers every " +
        std::to_string(options.every.count()) + " s");

  int signal = 0;
  sigwait(&stop_signals, &signal);
  exposer.reset();
  asker.reset();
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  return 0;
}

}  // namespace drovekeeper::fleet

// The module's one entry, looked up by name (fleet/serve_loader.cc).
extern "C" int drovekeeper_fleet_serve(const void* servers, const void* options) {
  using namespace drovekeeper::fleet;
  return ServeMetrics(*static_cast<const std::vector<Server>*>(servers),
                      *static_cast<const ServeOptions*>(options));
}
