#include "standin/sim/run_loops.h"

#include <signal.h>

#include <atomic>

namespace standin::sim {
namespace {

std::atomic<int> stop_signal{0};

extern "C" void OnStopSignal(int signal) {
  int none = 0;
  stop_signal.compare_exchange_strong(none, signal);
}

}  // namespace

bool OutputClosed(const RunLoop& loop) {
  for (const std::ostream* out : loop.outputs) {
    if (out->fail()) return true;
  }
  return false;
}

bool Stopping(const RunLoop& loop) {
  return stop_signal != 0 || loop.session.WantsStop() || OutputClosed(loop);
}

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

SimulatedRun::SimulatedRun(RunLoop& loop, std::int64_t start, std::int64_t minutes,
                           Progress& progress)
    : loop_(loop), start_(start), seconds_(minutes * 60), progress_(progress) {}

bool SimulatedRun::Step(std::int64_t seconds) {
  for (const std::int64_t until = offset_ + seconds; offset_ < until; ++offset_) {
    if (offset_ >= seconds_ || Stopping(loop_)) return true;
    loop_.session.SetTime(start_ + offset_);
    // Operator actions due this second come before the timer call.
    loop_.script.RunUntil(offset_);
    loop_.session.TimerCall();
    progress_.Update(offset_ + 1);
  }
  return offset_ >= seconds_ || Stopping(loop_);
}

RunEnd SimulatedRun::Finish(int stop_signal_given) {
  progress_.Erase();
  // The run got through `offset_` whole seconds, however it stopped.
  loop_.session.SetTime(start_ + offset_);
  RunEnd end{start_, start_ + offset_, start_ + seconds_, 0, OutputClosed(loop_)};
  if (offset_ < seconds_)
    end.stop_signal = stop_signal != 0 ? stop_signal.load() : stop_signal_given;
  return end;
}

RunEnd RunSimulated(RunLoop& loop, std::int64_t start, std::int64_t minutes, Progress& progress) {
  SimulatedRun run(loop, start, minutes, progress);
  while (!run.Step(run.span_seconds())) {
  }
  return run.Finish();
}

}  // namespace standin::sim
