#include "standin/sim/simulator.h"

#include <fmt/format.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "standin/game/world.h"
#include "standin/host/host.h"
#include "standin/model/fingerprint.h"
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

// The longest catch-up a reply without its runs since load may ask for: a
// year of runs.
constexpr std::int64_t kMostCatchUpRuns = 366 * 24 * 60;

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Each class the reply counts gets its wild population: the oldest wild
// creatures leave, or new ones come in as the world places them.
void SetWildCounts(const StatusReply& reply, game::World& world, Recorder& recorder) {
  std::vector<const game::GameClass*> done;
  for (const StatusEntry& entry : reply.entries) {
    if (!entry.wild_now) continue;
    game::GameClass* game_class = world.FindClass(game::ReferenceFromBlueprint(entry.name));
    if (game_class == nullptr) {
      recorder.Note(fmt::format("{}: {} is no class of the world; its {} wild are left out",
                                reply.source, entry.name, *entry.wild_now));
      continue;
    }
    if (std::find(done.begin(), done.end(), game_class) != done.end()) continue;
    done.push_back(game_class);
    const int had = world.WildCreatures(game_class);
    if (had > *entry.wild_now) world.KillCreatures(game_class, had - *entry.wild_now);
    for (int i = had; i < *entry.wild_now; ++i) world.AddCreature(game_class);
    if (had != *entry.wild_now) {
      recorder.Note(fmt::format("{}: {} wild as on the server, {} in the world before",
                                game_class->reference, *entry.wild_now, had));
    }
  }
}

// The fingerprint of the configuration given against the reply's; the
// report's header line of the reply.
std::string CompareFile(const StatusReply& reply, const fs::path& config_path, Recorder& recorder) {
  std::string header = reply.Describe();
  if (reply.fingerprint.empty()) return header;
  const std::string given = model::Fingerprint(ReadBytes(config_path));
  if (given == reply.fingerprint) return header;
  const std::string differs = fmt::format(
      "the configuration given is file {}, not the server's file {}", given, reply.fingerprint);
  recorder.Note(fmt::format("{}: {}; the preview runs on", reply.source, differs));
  return header + "; " + differs;
}

// Brings the freshly loaded plug-in, and the ledger with it, to the reply's
// countdowns.
void CatchUp(const SimInputs& inputs, const fs::path& config_path, Session& session,
             ReportFeed& feed, Recorder& recorder) {
  const StatusReply& reply = *inputs.options.start_state;
  const nlohmann::json config =
      nlohmann::json::parse(ReadBytes(config_path), nullptr, /*allow_exceptions=*/false);
  const CatchUpPlan plan =
      PlanCatchUp(reply, config, reply.runs_since_load.value_or(kMostCatchUpRuns));
  for (const std::string& why : plan.unmatched) {
    recorder.Note(fmt::format("{}: countdown not matched: {}", reply.source, why));
  }
  if (plan.runs == 0) return;
  const std::int64_t last_run = plan.next_run.value_or(inputs.start) - 60;
  session.CatchUp(plan.runs, last_run);
  feed.CatchUp(plan.runs, last_run);
  recorder.Note(fmt::format("{}: {} runs before {} bring the countdowns to the reply's counts",
                            reply.source, plan.runs, FormatLocalTime(inputs.start)));
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
  const std::optional<StatusReply>& reply = options.start_state;
  if (reply) {
    recorder.Note("starting from " + reply->Describe());
    if (!options.zone_note.empty()) recorder.Note(options.zone_note);
    SetWildCounts(*reply, session.world(), recorder);
    feed.StartedFrom(CompareFile(*reply, root.config_path(), recorder));
  }
  feed.WatchGameCalls();
  NoteWorld(inputs, root, session, recorder);
  if (!session.Load(config_path)) return 1;
  if (reply) CatchUp(inputs, root.config_path(), session, feed, recorder);

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
