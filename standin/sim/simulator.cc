#include "standin/sim/simulator.h"

#include <fmt/format.h>
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "standin/host/host.h"
#include "standin/sim/clock.h"
#include "standin/sim/invariants.h"
#include "standin/sim/observers.h"
#include "standin/sim/output_file.h"
#include "standin/sim/progress.h"
#include "standin/sim/recorder.h"
#include "standin/sim/report_feed.h"
#include "standin/sim/run_loops.h"
#include "standin/sim/script_runner.h"
#include "standin/sim/server_root.h"
#include "standin/sim/session.h"

namespace standin::sim {
namespace {

namespace fs = std::filesystem;

// Empty when `path` can be written, else why not. A file that was not there
// before is not left behind.
std::string CheckWritable(const std::string& path) {
  std::error_code error;
  const bool existed = fs::exists(path, error);
  OutputFile probe;
  if (std::string why = probe.Open(path, OutputFile::Mode::kAppend); !why.empty()) {
    return "cannot be opened for writing: " + why;
  }
  probe.Close();
  if (!existed) fs::remove(path, error);
  return "";
}

// The exit status of a run cut short; a complete run is 0.
int InterruptedStatus(const RunEnd& end) {
  if (end.output_closed) return kExitOutputClosed;
  return 128 + end.stop_signal;
}

// Every run keeps the ledger, so the console can say why an entry did not
// spawn; --report only adds the HTML file.
ReportFeed MakeFeed(const SimInputs& inputs, const std::string& config_path) {
  const SimOptions& options = inputs.options;
  return ReportFeed(
      inputs.world,
      options.config_file.empty() ? config_path : fs::path(options.config_file).filename().string(),
      options.world_file.empty() ? "built-in demo world"
                                 : fs::path(options.world_file).filename().string(),
      !options.report_file.empty(), !inputs.fake_time);
}

// The first status an observer asks for at the end, else that of an
// interruption.
int EndStatus(Session& session, const RunEnd& end) {
  int status = 0;
  for (RunObserver* o : session.observers()) {
    if (int asked = o->OnEnd(end); status == 0) status = asked;
  }
  if (status == 0 && end.interrupted()) status = InterruptedStatus(end);
  return status;
}

// The console's first line: the zone, the server directory, the world.
void NoteWorld(const SimInputs& inputs, const ServerRoot& root, Session& session,
               Recorder& recorder) {
  recorder.Note(fmt::format("time zone {}; server directory {}, {} classes, {} actors, {} players",
                            LocalZoneName(inputs.start), root.dir().string(),
                            inputs.world.classes.size(), session.world().actors().size(),
                            session.world().players().size()));
}

int Run(const SimInputs& inputs, std::ostream* events, std::ostream& console,
        const ServerRoot& root, Progress& progress) {
  const SimOptions& options = inputs.options;
  const std::string config_path = root.config_path().string();
  Recorder recorder(events, console);
  recorder.SetTime(inputs.start);
  host::SetCurrentDir(root.dir().string());
  host::LogSinks().push_back(std::make_shared<RecorderSink>(recorder, inputs.fake_time));

  Session session(inputs.world, inputs.plugin_path, inputs.fake_time, recorder);
  ReportFeed feed = MakeFeed(inputs, config_path);
  feed.SetTime(inputs.start);
  host::LogSinks().push_back(feed.sink());
  RecorderObserver recorder_observer(recorder, feed);
  ReportObserver report_observer(feed, options.report_file, recorder);
  std::optional<HostInvariants> invariants;
  std::optional<InvariantsObserver> invariants_observer;
  session.AddObserver(recorder_observer);
  if (options.invariants) {
    invariants.emplace(session.world(), config_path, inputs.start);
    invariants->Install();
    session.AddObserver(invariants_observer.emplace(*invariants, console));
  }
  session.AddObserver(report_observer);
  session.SetTime(inputs.start);

  session.BuildWorld();
  feed.WatchGameCalls();
  NoteWorld(inputs, root, session, recorder);
  if (!session.Load(config_path)) return 1;

  ScriptRunner script(inputs.script, session, recorder, root);
  RunLoop loop{session, script, recorder, {&console}};
  if (events != nullptr) loop.outputs.push_back(events);
  const std::optional<RunEnd> end =
      options.simulated() ? RunSimulated(loop, inputs.start, *options.minutes, progress)
                          : RunRealTime(loop, inputs);
  session.Unload();
  if (!end) return 1;
  return EndStatus(session, *end);
}

}  // namespace

int RunSimulator(const SimInputs& inputs) {
  InstallStopHandlers();
  const SimOptions& options = inputs.options;
  // Every output is known to be writable before anything runs.
  if (!options.report_file.empty()) {
    if (std::string failure = CheckWritable(options.report_file); !failure.empty()) {
      std::cerr << "drovekeeper-sim: " << options.report_file << ": " << failure << "\n";
      return 2;
    }
  }
  OutputFile events_file;
  std::ostream* events = nullptr;
  if (options.events_on_stdout()) {
    events = &std::cout;
  } else if (!options.events_file.empty()) {
    if (std::string why = events_file.Open(options.events_file, OutputFile::Mode::kTruncate);
        !why.empty()) {
      std::cerr << "drovekeeper-sim: " << options.events_file
                << ": cannot be opened for writing: " << why << "\n";
      return 2;
    }
    events = &events_file.stream();
  }
  Progress progress(options.simulated() && isatty(STDERR_FILENO) == 1, inputs.start,
                    options.minutes.value_or(0) * 60);
  ConsoleBuf console_buf((options.events_on_stdout() ? std::cerr : std::cout).rdbuf(), progress);
  std::ostream console(&console_buf);
  progress.SetConsole(&console);

  ServerRoot root;
  if (std::string failure = root.Prepare(options); !failure.empty()) {
    std::cerr << "drovekeeper-sim: " << failure << "\n";
    return 2;
  }
  const int status = Run(inputs, events, console, root, progress);
  if (std::string why = events_file.Close(); !why.empty()) {
    std::cerr << "drovekeeper-sim: " << options.events_file << ": could not be written: " << why
              << "\n";
  }
  return status;
}

}  // namespace standin::sim
