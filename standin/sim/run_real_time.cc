// The real-time loop: one timer call per wall-clock second and RCON served
// in between. Native builds only: the web build runs simulated time alone.
#include <fmt/format.h>

#include <chrono>
#include <ctime>
#include <functional>
#include <memory>
#include <thread>

#include "standin/rcon/server.h"
#include "standin/sim/run_loops.h"

namespace standin::sim {
namespace {

using Clock = std::chrono::steady_clock;

// The plug-in's gate lets a run through once its own reading is 60 s past
// the last run's, to the fraction of a second. With the running wall clock,
// calls exactly a second apart put a call right on that edge every minute,
// and jitter alone would decide which of two calls runs. A little over a
// second keeps every run about half a second clear of it (runs 60.48 s
// apart). A clock held on the simulated second has no fractions: there the
// calls stay a second apart.
constexpr Clock::duration kWallClockCallPeriod = std::chrono::milliseconds(1008);

// Serves RCON when --rcon-port asks for it (`server` stays null without);
// false when it cannot.
bool ServeRcon(RunLoop& loop, const SimOptions& options,
               std::unique_ptr<rcon::RconServer>& server) {
  if (!options.rcon_port.has_value()) return true;
  rcon::RconServerOptions rcon_options;
  rcon_options.bind_address = options.rcon_bind;
  rcon_options.port = static_cast<std::uint16_t>(*options.rcon_port);
  rcon_options.password = options.rcon_password;
  rcon_options.on_event = [&recorder = loop.recorder](const rcon::RconEvent& event) {
    recorder.Note(rcon::DescribeEvent(event));
  };
  server = std::make_unique<rcon::RconServer>(rcon_options);
  if (std::error_code error = server->Start()) {
    loop.recorder.Error(fmt::format("cannot serve RCON on {}:{}: {}", options.rcon_bind,
                                    *options.rcon_port, error.message()));
    return false;
  }
  loop.recorder.Note(fmt::format("RCON listening on {}:{}", options.rcon_bind, server->port()));
  return true;
}

// Until `next`: RCON commands as they come, on this thread.
void DispatchUntil(RunLoop& loop, rcon::RconServer* server, Clock::time_point next,
                   const std::function<std::int64_t()>& now) {
  while (!Stopping(loop) && Clock::now() < next) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now());
    left = std::min(left + std::chrono::milliseconds(1), std::chrono::milliseconds(200));
    if (server == nullptr) {
      std::this_thread::sleep_for(left);
      continue;
    }
    if (!server->WaitPending(left)) continue;
    for (rcon::RconRequest& request : server->TakePending()) {
      loop.session.SetTime(now());
      loop.session.DispatchRcon(request);
    }
  }
}

}  // namespace

std::optional<RunEnd> RunRealTime(RunLoop& loop, const SimInputs& inputs) {
  std::unique_ptr<rcon::RconServer> server;
  if (!ServeRcon(loop, inputs.options, server)) return std::nullopt;
  loop.recorder.Note("running in real time; interrupt to stop");

  const Clock::time_point began = Clock::now();
  const std::function<std::int64_t()> now = [&] {
    if (!inputs.fake_time) return static_cast<std::int64_t>(std::time(nullptr));
    return inputs.start +
           std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - began).count();
  };
  const Clock::duration period =
      inputs.fake_time ? Clock::duration(std::chrono::seconds(1)) : kWallClockCallPeriod;
  std::int64_t offset = 0;
  while (!Stopping(loop)) {
    loop.session.SetTime(inputs.fake_time ? inputs.start + offset : now());
    loop.script.RunUntil(inputs.fake_time ? offset : now() - inputs.start);
    loop.session.TimerCall();
    DispatchUntil(loop, server.get(), began + period * ++offset, now);
  }
  if (server != nullptr) server->Stop();
  loop.session.SetTime(now());
  // Interrupting is how a real-time run ends; only a lost output cuts it short.
  const std::int64_t reached = loop.session.now();
  return RunEnd{inputs.start, reached, reached, 0, OutputClosed(loop)};
}

}  // namespace standin::sim
