#include "standin/sim/observers.h"

#include <fmt/format.h>
#include <signal.h>

#include <iostream>
#include <vector>

#include "standin/sim/clock.h"

namespace standin::sim {
namespace {

std::string InterruptedBy(const RunEnd& end) {
  if (end.stop_signal == SIGINT) return "SIGINT";
  if (end.stop_signal == SIGTERM) return "SIGTERM";
  if (end.stop_signal == SIGHUP) return "SIGHUP";
  if (end.stop_signal != 0) return fmt::format("signal {}", end.stop_signal);
  return "a closed output";
}

}  // namespace

void RecorderObserver::AfterRcon(const std::string& command, bool known,
                                 const std::optional<std::string>& reply, const std::string&) {
  recorder_.Rcon(command, reply);
  if (!known) recorder_.Note(fmt::format("no RCON command matches \"{}\"", command));
}

int RecorderObserver::OnEnd(const RunEnd& end) {
  if (end.interrupted()) {
    recorder_.Interrupted(InterruptedBy(end), end.start, end.planned);
  }
  recorder_.PrintSummary(end.start, end.reached);
  recorder_.EntrySummary(feed_.Entries());
  return 0;
}

int ReportObserver::OnEnd(const RunEnd& end) {
  if (report_file_.empty()) return 0;
  if (std::string failure = feed_.Write(report_file_, end.start, end.reached, end.interrupted());
      !failure.empty()) {
    std::cerr << "drovekeeper-sim: " << report_file_ << ": " << failure << "\n";
    return 1;
  }
  recorder_.Note(fmt::format("report written to {}", report_file_));
  return 0;
}

void InvariantsObserver::NoteViolation() {
  if (!invariants_.rules().ok() && !violation_time_) violation_time_ = now_;
}

void InvariantsObserver::AfterTimerCall(std::int64_t now, int ran) {
  invariants_.AfterTimerCall(now, ran);
  NoteViolation();
}

void InvariantsObserver::AfterRcon(const std::string&, bool known,
                                   const std::optional<std::string>& reply, const std::string&) {
  invariants_.AfterDispatch(known, reply);
  NoteViolation();
}

int InvariantsObserver::OnEnd(const RunEnd& end) {
  invariants_.Finish();
  summary_ << invariants_.rules().Summary();
  if (invariants_.rules().ok()) return 0;
  std::cerr << "drovekeeper-sim: invariant violated at "
            << FormatLocalTime(violation_time_.value_or(end.reached)) << ": "
            << invariants_.rules().violation() << "\n";
  return 3;
}

}  // namespace standin::sim
