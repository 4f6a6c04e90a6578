#include "standin/sim/prepared_run.h"

#include <fmt/format.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "standin/game/world.h"
#include "standin/host/host.h"
#include "standin/model/fingerprint.h"
#include "standin/sim/clock.h"

namespace standin::sim {
namespace {

namespace fs = std::filesystem;

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

}  // namespace

PreparedRun::PreparedRun(const SimInputs& inputs, std::ostream* events, std::ostream& console,
                         const ServerRoot& root)
    : inputs_(inputs),
      root_(root),
      config_path_(root.config_path().string()),
      recorder_(events, console),
      session_(inputs.world, inputs.plugin_path, inputs.fake_time, recorder_),
      feed_(MakeFeed(inputs, config_path_)),
      recorder_observer_(recorder_, feed_),
      report_observer_(feed_, inputs.options.report_file, recorder_),
      script_(inputs.script, session_, recorder_, root),
      loop_{session_, script_, recorder_, {&console}} {
  recorder_.SetTime(inputs.start);
  host::SetCurrentDir(root.dir().string());
  host::LogSinks().push_back(std::make_shared<RecorderSink>(recorder_, inputs.fake_time));
  feed_.SetTime(inputs.start);
  host::LogSinks().push_back(feed_.sink());
  session_.AddObserver(recorder_observer_);
  if (inputs.options.invariants) {
    invariants_.emplace(session_.world(), config_path_, inputs.start);
    invariants_->Install();
    session_.AddObserver(invariants_observer_.emplace(*invariants_, console));
  }
  session_.AddObserver(report_observer_);
  if (events != nullptr) loop_.outputs.push_back(events);
}

bool PreparedRun::Start() {
  session_.SetTime(inputs_.start);
  session_.BuildWorld();
  const std::optional<StatusReply>& reply = inputs_.options.start_state;
  if (reply) {
    recorder_.Note("starting from " + reply->Describe());
    if (!inputs_.options.zone_note.empty()) recorder_.Note(inputs_.options.zone_note);
    SetWildCounts(*reply, session_.world(), recorder_);
    feed_.StartedFrom(CompareFile(*reply, root_.config_path(), recorder_));
  }
  feed_.WatchGameCalls();
  NoteWorld(inputs_, root_, session_, recorder_);
  if (!session_.Load(config_path_)) return false;
  if (reply) CatchUp(inputs_, root_.config_path(), session_, feed_, recorder_);
  return true;
}

int PreparedRun::End(const std::optional<RunEnd>& end) {
  session_.Unload();
  if (!end) return 1;
  return EndStatus(session_, *end);
}

}  // namespace standin::sim
