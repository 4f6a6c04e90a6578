#include "standin/sim/simulator.h"

#include <dlfcn.h>
#include <fmt/format.h>
#include <signal.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "standin/game/rcon.h"
#include "standin/game/world.h"
#include "standin/host/host.h"
#include "standin/rcon/server.h"
#include "standin/sim/clock.h"
#include "standin/sim/invariants.h"
#include "standin/sim/recorder.h"
#include "standin/sim/report_feed.h"

namespace sim {
namespace {

namespace fs = std::filesystem;

constexpr char kConfigRelative[] = "ZelApi/Plugins/Drovekeeper/config.json";

std::atomic<bool> stop_requested{false};

extern "C" void OnStopSignal(int) { stop_requested = true; }

void InstallStopHandlers() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

// The server's working directory; a temporary one is removed with this.
class ServerRoot {
 public:
  ~ServerRoot() {
    if (temporary_) {
      std::error_code ignored;
      fs::remove_all(dir_, ignored);
    }
  }

  // Empty on success, else the reason.
  std::string Prepare(const SimOptions& options) {
    std::error_code error;
    if (!options.config_file.empty()) {
      char pattern[] = "/tmp/drovekeeper-sim-XXXXXX";
      if (mkdtemp(pattern) == nullptr) return "cannot create a temporary server directory";
      dir_ = pattern;
      temporary_ = true;
      fs::create_directories(config_path().parent_path(), error);
      if (!error) fs::copy_file(options.config_file, config_path(), error);
      if (error) return "cannot copy " + options.config_file + ": " + error.message();
      return "";
    }
    dir_ = fs::absolute(options.root_dir.empty() ? fs::current_path() : fs::path(options.root_dir),
                        error)
               .lexically_normal();
    if (dir_.has_relative_path() && dir_.filename().empty()) dir_ = dir_.parent_path();
    return error ? error.message() : "";
  }

  const fs::path& dir() const { return dir_; }
  fs::path config_path() const { return dir_ / kConfigRelative; }

 private:
  fs::path dir_;
  bool temporary_ = false;
};

class Simulator {
 public:
  Simulator(const SimInputs& inputs, std::ostream* events, std::ostream& console)
      : inputs_(inputs), recorder_(events, console), world_(inputs.world.seed) {}

  int Run(ServerRoot& root);

 private:
  void SetTime(std::int64_t seconds);
  void BuildWorld();
  bool LoadPlugin();
  void UnloadPlugin();
  void RunScriptUntil(std::int64_t offset, const ServerRoot& root);
  void RunScriptAction(const ScriptAction& action, const ServerRoot& root);
  // Runs one command line as an RCON client's; returns the reply (UTF-8).
  std::optional<std::string> DispatchRcon(const std::string& command, std::int32_t packet_id);
  void TimerCall();
  void CollectWorld();
  void CollectFailures();
  int RunSimulated(const ServerRoot& root);
  int RunRealTime(const ServerRoot& root);
  // True once an invariant is broken: the run stops there.
  bool Violated() const { return invariants_ != nullptr && !invariants_->rules().ok(); }

  const SimInputs& inputs_;
  Recorder recorder_;
  std::unique_ptr<ReportFeed> report_;          // the per-entry ledger, always
  std::unique_ptr<HostInvariants> invariants_;  // with --invariants only
  std::optional<std::int64_t> violation_time_;
  standin::World world_;
  void* module_ = nullptr;
  std::size_t script_next_ = 0;
  std::size_t spawns_seen_ = 0;
  std::size_t notices_seen_ = 0;
  int failures_seen_ = 0;
  std::int32_t next_packet_id_ = 1;
  std::int64_t now_ = 0;
  std::string config_path_;
};

void Simulator::SetTime(std::int64_t seconds) {
  now_ = seconds;
  if (inputs_.fake_time) SetFakeTime(seconds);
  recorder_.SetTime(seconds);
  if (report_) report_->SetTime(seconds);
}

void Simulator::BuildWorld() {
  const WorldSpec& spec = inputs_.world;
  for (const ClassSpec& c : spec.classes) world_.AddClass(c.reference, c.creature, c.spawnable);
  for (const ActorSpec& a : spec.actors) {
    standin::GameClass* game_class = world_.FindClass(a.class_reference);
    for (int i = 0; i < a.count; ++i) {
      if (game_class->creature) {
        world_.AddCreature(game_class, a.team);
      } else {
        world_.AddActor(game_class, a.team);
      }
    }
  }
  for (const PlayerSpec& p : spec.players) world_.AddPlayer(p.name, p.resolves);
  world_.SetWorldSettings(spec.settings);
  world_.Install();
}

bool Simulator::LoadPlugin() {
  // The module entry runs Load while dlopen runs its constructors.
  if (invariants_) invariants_->BeforeLoad();
  module_ = dlopen(inputs_.plugin_path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module_ == nullptr) {
    recorder_.Error(fmt::format("cannot load the plug-in: {}", dlerror()));
    return false;
  }
  CollectFailures();
  if (invariants_) invariants_->AfterLoad();
  return true;
}

void Simulator::UnloadPlugin() {
  if (module_ == nullptr) return;
  dlclose(module_);
  module_ = nullptr;
  // A module the loader keeps (unique symbols) would never run Unload.
  if (void* still = dlopen(inputs_.plugin_path.c_str(), RTLD_NOW | RTLD_NOLOAD); still != nullptr) {
    dlclose(still);
    recorder_.Error("the plug-in module stayed loaded after dlclose; Unload did not run");
  }
  CollectWorld();
  if (invariants_) invariants_->AfterUnload();
}

void Simulator::CollectWorld() {
  std::vector<standin::SpawnRecord> spawns = world_.Spawns();
  for (; spawns_seen_ < spawns.size(); ++spawns_seen_) {
    const standin::SpawnRecord& s = spawns[spawns_seen_];
    SpawnEvent event;
    event.class_path = standin::BlueprintFromReference(s.class_reference);
    event.x = s.location.X;
    event.y = s.location.Y;
    event.z = s.location.Z;
    event.level = s.level;
    event.level_up_points.assign(s.points.begin(), s.points.end());
    event.began_play = s.began_play;
    if (report_) event.owner = report_->TakeSpawnOwner();
    recorder_.Spawn(event);
    if (invariants_) invariants_->Spawned(s.class_reference);
    if (report_) report_->Spawned(event);
  }
  const auto& notices = world_.notices();
  for (; notices_seen_ < notices.size(); ++notices_seen_) {
    const auto& [player, notice] = notices[notices_seen_];
    recorder_.Notice({player,
                      standin::Utf16ToUtf8(notice.text),
                      {notice.colour.R, notice.colour.G, notice.colour.B, notice.colour.A},
                      notice.scale,
                      notice.time});
  }
  // A long run keeps only what is still to be reported.
  if (invariants_ && notices_seen_ > 0) {
    world_.ClearNotices();
    notices_seen_ = 0;
  }
}

void Simulator::CollectFailures() {
  standin::CallbackFailures failures = standin::Failures();
  if (failures.count > failures_seen_) {
    recorder_.Error(fmt::format("a host callback failed: {}", failures.last_message));
    failures_seen_ = failures.count;
  }
}

void Simulator::TimerCall() {
  if (report_) report_->BeforeTimerCall(world_);
  if (invariants_) invariants_->BeforeTimerCall(now_);
  int ran = standin::RunTimers();
  // The ledger attributes the call's spawns before they are reported.
  if (report_) report_->AfterTimerCall();
  CollectWorld();
  CollectFailures();
  if (invariants_) invariants_->AfterTimerCall(now_, ran);
  if (Violated() && !violation_time_) violation_time_ = now_;
}

std::optional<std::string> Simulator::DispatchRcon(const std::string& command,
                                                   std::int32_t packet_id) {
  standin::RconConnection connection;
  standin::RconRequest request(packet_id, standin::Utf8ToUtf16(command));
  if (invariants_) invariants_->BeforeDispatch(command);
  bool known = standin::DispatchRcon(command, connection.game(), request.game());
  CollectWorld();
  CollectFailures();
  std::optional<std::string> reply;
  if (!connection.replies().empty()) {
    std::string text;
    for (const standin::RconReply& r : connection.replies()) text += standin::Utf16ToUtf8(r.text);
    reply = text;
  }
  recorder_.Rcon(command, reply);
  if (invariants_) invariants_->AfterDispatch(known, reply);
  if (Violated() && !violation_time_) violation_time_ = now_;
  if (report_) report_->AfterRcon(command, reply, config_path_);
  if (!known) recorder_.Note(fmt::format("no RCON command matches \"{}\"", command));
  return reply;
}

void Simulator::RunScriptAction(const ScriptAction& action, const ServerRoot& root) {
  std::error_code error;
  switch (action.kind) {
    case ScriptAction::Kind::kRcon:
      DispatchRcon(action.text, next_packet_id_++);
      break;
    case ScriptAction::Kind::kConfigFrom:
      fs::create_directories(root.config_path().parent_path(), error);
      if (!error) {
        fs::copy_file(action.text, root.config_path(), fs::copy_options::overwrite_existing, error);
      }
      if (error) {
        recorder_.Error(fmt::format("script: cannot copy {}: {}", action.text, error.message()));
      } else {
        recorder_.Note(fmt::format("script: configuration replaced by {}", action.text));
        if (report_) {
          report_->ConfigFileChanged("file replaced by " +
                                     fs::path(action.text).filename().string());
        }
      }
      break;
    case ScriptAction::Kind::kConfigDelete:
      fs::remove(root.config_path(), error);
      recorder_.Note("script: configuration file deleted");
      if (report_) report_->ConfigFileChanged("file deleted");
      break;
    case ScriptAction::Kind::kKill: {
      standin::GameClass* game_class = world_.FindClass(action.kill_class);
      int killed = world_.KillCreatures(game_class, action.kill_count);
      if (invariants_) invariants_->Killed(killed);
      recorder_.Note(fmt::format("script: {} of {} left the level, {} remain", killed,
                                 action.kill_class, world_.CountCreatures(game_class)));
      break;
    }
    case ScriptAction::Kind::kPlayerJoin:
      world_.AddPlayer(action.text);
      recorder_.Note(
          fmt::format("script: {} joined, {} players", action.text, world_.players().size()));
      break;
    case ScriptAction::Kind::kPlayerLeave: {
      const auto& players = world_.players();
      auto it = std::find_if(players.begin(), players.end(),
                             [&](const auto& p) { return p->name == action.text; });
      if (it == players.end()) {
        recorder_.Note(fmt::format("script: no player {} to leave", action.text));
        break;
      }
      world_.RemovePlayer(it->get());
      recorder_.Note(fmt::format("script: {} left, {} players", action.text, players.size()));
      break;
    }
  }
}

void Simulator::RunScriptUntil(std::int64_t offset, const ServerRoot& root) {
  while (script_next_ < inputs_.script.size() &&
         inputs_.script[script_next_].offset_seconds <= offset) {
    RunScriptAction(inputs_.script[script_next_++], root);
  }
}

int Simulator::RunSimulated(const ServerRoot& root) {
  const std::int64_t seconds = *inputs_.options.minutes * 60;
  for (std::int64_t offset = 0; offset < seconds && !stop_requested && !Violated(); ++offset) {
    SetTime(inputs_.start + offset);
    // Operator actions due this second come before the timer call.
    RunScriptUntil(offset, root);
    TimerCall();
  }
  SetTime(inputs_.start + seconds);
  return 0;
}

int Simulator::RunRealTime(const ServerRoot& root) {
  const SimOptions& options = inputs_.options;
  std::unique_ptr<rcon::RconServer> server;
  if (options.rcon_port.has_value()) {
    rcon::RconServerOptions rcon_options;
    rcon_options.bind_address = options.rcon_bind;
    rcon_options.port = static_cast<std::uint16_t>(*options.rcon_port);
    rcon_options.password = options.rcon_password;
    server = std::make_unique<rcon::RconServer>(rcon_options);
    if (std::error_code error = server->Start()) {
      recorder_.Error(fmt::format("cannot serve RCON on {}:{}: {}", options.rcon_bind,
                                  *options.rcon_port, error.message()));
      return 1;
    }
    recorder_.Note(fmt::format("RCON listening on {}:{}", options.rcon_bind, server->port()));
  }
  recorder_.Note("running in real time; interrupt to stop");

  using Clock = std::chrono::steady_clock;
  const Clock::time_point began = Clock::now();
  std::int64_t offset = 0;
  while (!stop_requested && !Violated()) {
    SetTime(inputs_.fake_time ? inputs_.start + offset
                              : static_cast<std::int64_t>(std::time(nullptr)));
    RunScriptUntil(offset, root);
    TimerCall();
    // Until the next second: RCON commands as they come, on this thread.
    const Clock::time_point next = began + std::chrono::seconds(++offset);
    while (!stop_requested && !Violated() && Clock::now() < next) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now());
      left = std::min(left + std::chrono::milliseconds(1), std::chrono::milliseconds(200));
      if (server == nullptr) {
        std::this_thread::sleep_for(left);
        continue;
      }
      if (!server->WaitPending(left)) continue;
      for (rcon::RconRequest& request : server->TakePending()) {
        if (inputs_.fake_time) {
          auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - began);
          SetTime(inputs_.start + elapsed.count());
        } else {
          SetTime(static_cast<std::int64_t>(std::time(nullptr)));
        }
        std::optional<std::string> reply = DispatchRcon(request.command, request.packet_id);
        request.reply.Send(reply.value_or(""));
      }
    }
  }
  if (server != nullptr) server->Stop();
  SetTime(inputs_.fake_time
              ? inputs_.start +
                    std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - began).count()
              : static_cast<std::int64_t>(std::time(nullptr)));
  return 0;
}

int Simulator::Run(ServerRoot& root) {
  SetTime(inputs_.start);
  standin::SetCurrentDir(root.dir().string());
  standin::LogSinks().push_back(std::make_shared<RecorderSink>(recorder_, inputs_.fake_time));
  config_path_ = root.config_path().string();
  const SimOptions& options = inputs_.options;
  // Every run keeps the ledger, so the console can say why an entry did not
  // spawn; --report only adds the HTML file.
  report_ = std::make_unique<ReportFeed>(
      inputs_.world,
      options.config_file.empty() ? config_path_
                                  : fs::path(options.config_file).filename().string(),
      options.world_file.empty() ? "built-in demo world"
                                 : fs::path(options.world_file).filename().string(),
      !options.report_file.empty());
  report_->SetTime(now_);
  standin::LogSinks().push_back(report_->sink());
  // Unload withdraws both names even when Load registered nothing; every
  // remove call is recorded.
  standin::ReportUnknownRemovals(true);
  standin::SetRegistrationObserver([this](const standin::RegistrationEvent& event) {
    recorder_.Registration(standin::CommandKindName(event.kind), event.name, event.added,
                           event.was_registered);
    if (invariants_) {
      invariants_->Registration(standin::CommandKindName(event.kind), event.name, event.added);
    }
  });
  if (options.invariants) {
    invariants_ = std::make_unique<HostInvariants>(world_, config_path_, inputs_.start);
    invariants_->Install();
  }
  BuildWorld();
  if (report_) report_->WatchGameCalls();
  recorder_.Note(fmt::format("server directory {}, {} classes, {} actors, {} players",
                             root.dir().string(), inputs_.world.classes.size(),
                             world_.actors().size(), world_.players().size()));

  if (!LoadPlugin()) return 1;
  if (report_) report_->AfterLoad(config_path_);
  int status = inputs_.options.simulated() ? RunSimulated(root) : RunRealTime(root);
  UnloadPlugin();
  standin::SetRegistrationObserver(nullptr);
  standin::LogSinks().clear();
  standin::SetWorld(nullptr);
  recorder_.PrintSummary(inputs_.start, now_);
  recorder_.EntrySummary(report_->Entries());
  if (invariants_) {
    invariants_->Finish();
    (options.events_on_stdout() ? std::cerr : std::cout) << invariants_->rules().Summary();
    if (!invariants_->rules().ok()) {
      std::cerr << "drovekeeper-sim: invariant violated at "
                << FormatLocalTime(violation_time_.value_or(now_)) << ": "
                << invariants_->rules().violation() << "\n";
      status = 3;
    }
  }
  if (!options.report_file.empty()) {
    if (std::string failure = report_->Write(options.report_file, inputs_.start, now_,
                                             options.simulated() && stop_requested);
        !failure.empty()) {
      std::cerr << "drovekeeper-sim: " << options.report_file << ": " << failure << "\n";
      if (status == 0) status = 1;
    } else {
      recorder_.Note(fmt::format("report written to {}", options.report_file));
    }
  }
  return status;
}

}  // namespace

int RunSimulator(const SimInputs& inputs) {
  InstallStopHandlers();
  std::ofstream events_file;
  std::ostream* events = nullptr;
  if (inputs.options.events_on_stdout()) {
    events = &std::cout;
  } else if (!inputs.options.events_file.empty()) {
    events_file.open(inputs.options.events_file, std::ios::trunc);
    if (!events_file) {
      std::cerr << "drovekeeper-sim: " << inputs.options.events_file
                << ": cannot be opened for writing\n";
      return 2;
    }
    events = &events_file;
  }
  std::ostream& console = inputs.options.events_on_stdout() ? std::cerr : std::cout;

  ServerRoot root;
  if (std::string failure = root.Prepare(inputs.options); !failure.empty()) {
    std::cerr << "drovekeeper-sim: " << failure << "\n";
    return 2;
  }
  Simulator simulator(inputs, events, console);
  return simulator.Run(root);
}

}  // namespace sim
