#include "standin/sim/session.h"

#include <fmt/format.h>

#include "standin/game/console.h"
#include "standin/host/host.h"
#include "standin/sim/clock.h"
#include "standin/sim/module_loader.h"

namespace standin::sim {

Session::Session(const WorldSpec& world, std::string plugin_path, bool fake_time,
                 Recorder& recorder)
    : plugin_path_(std::move(plugin_path)),
      fake_time_(fake_time),
      recorder_(recorder),
      world_(world.seed),
      spec_(world) {}

Session::~Session() {
  // On an early way out the observers and the sinks' owners may be gone.
  observers_.clear();
  host::LogSinks().clear();
  Unload();
  host::SetRegistrationObserver(nullptr);
  host::SetWorld(nullptr);
}

void Session::BuildWorld() {
  // Unload withdraws both names even when Load registered nothing; every
  // remove call is recorded.
  host::ReportUnknownRemovals(true);
  host::SetRegistrationObserver([this](const host::RegistrationEvent& event) {
    for (RunObserver* o : observers_) {
      o->OnRegistration(host::CommandKindName(event.kind), event.name, event.added,
                        event.was_registered);
    }
  });
  for (const ClassSpec& c : spec_.classes) world_.AddClass(c.reference, c.creature, c.spawnable);
  for (const ActorSpec& a : spec_.actors) {
    game::GameClass* game_class = world_.FindClass(a.class_reference);
    for (int i = 0; i < a.count; ++i) {
      if (game_class->creature) {
        world_.AddCreature(game_class, a.team);
      } else {
        world_.AddActor(game_class, a.team);
      }
    }
  }
  for (const PlayerSpec& p : spec_.players) world_.AddPlayer(p.name, p.resolves);
  world_.SetWorldSettings(spec_.settings);
  world_.Install();
}

bool Session::Load(const std::string& config_path) {
  config_path_ = config_path;
  // The module entry runs Load while the module is loaded (module_loader.h).
  for (RunObserver* o : observers_) o->BeforeLoad();
  std::string error;
  module_ = LoadModule(plugin_path_, error);
  if (module_ == nullptr) {
    recorder_.Error(fmt::format("cannot load the plug-in: {}", error));
    return false;
  }
  CollectFailures();
  for (RunObserver* o : observers_) o->AfterLoad(config_path_);
  return true;
}

void Session::Unload() {
  if (module_ == nullptr) return;
  const std::string failure = UnloadModule(module_, plugin_path_);
  module_ = nullptr;
  if (!failure.empty()) recorder_.Error(failure);
  CollectWorld();
  for (RunObserver* o : observers_) o->AfterUnload();
}

void Session::CatchUp(std::int64_t runs, std::int64_t last_run) {
  if (!fake_time_ || runs <= 0) return;
  host::SetWorld(nullptr);
  for (std::int64_t i = runs - 1; i >= 0; --i) {
    SetFakeTime(last_run - i * 60);
    host::RunTimers();
  }
  host::SetWorld(world_.game());
  SetFakeTime(now_);
  CollectFailures();
}

void Session::SetTime(std::int64_t seconds) {
  const std::optional<OffsetChange> change =
      timed_ ? ClockChangeBetween(now_, seconds) : std::nullopt;
  now_ = seconds;
  timed_ = true;
  if (fake_time_) SetFakeTime(seconds);
  for (RunObserver* o : observers_) o->OnTime(seconds);
  if (change) {
    for (RunObserver* o : observers_) o->OnClockChange(*change);
  }
}

void Session::CollectWorld() {
  const std::vector<game::SpawnRecord> spawns = world_.Spawns(spawns_seen_);
  spawns_seen_ += spawns.size();
  for (const game::SpawnRecord& s : spawns) {
    SpawnEvent event;
    event.class_path = game::BlueprintFromReference(s.class_reference);
    event.x = s.location.X;
    event.y = s.location.Y;
    event.z = s.location.Z;
    event.level = s.level;
    event.level_up_points.assign(s.points.begin(), s.points.end());
    event.began_play = s.began_play;
    for (RunObserver* o : observers_) o->AttributeSpawn(event);
    for (RunObserver* o : observers_) o->OnSpawn(event, s.class_reference);
  }
  for (const auto& [player, notice] : world_.notices()) {
    NoticeEvent event{player,
                      host::Utf16ToUtf8(notice.text),
                      {notice.colour.R, notice.colour.G, notice.colour.B, notice.colour.A},
                      notice.scale,
                      notice.time};
    for (RunObserver* o : observers_) o->OnNotice(event);
  }
  // A long run keeps only what is still to be reported.
  world_.ClearNotices();
}

void Session::CollectFailures() {
  host::CallbackFailures failures = host::Failures();
  if (failures.count > failures_seen_) {
    recorder_.Error(fmt::format("a host callback failed: {}", failures.last_message));
    failures_seen_ = failures.count;
  }
}

void Session::TimerCall() {
  for (RunObserver* o : observers_) o->BeforeTimerCall(world_, now_);
  int ran = host::RunTimers();
  CollectWorld();
  CollectFailures();
  for (RunObserver* o : observers_) o->AfterTimerCall(now_, ran);
}

std::optional<std::string> Session::DispatchRcon(const rcon::RconRequest& request) {
  const std::string& command = request.command;
  for (RunObserver* o : observers_) o->BeforeRcon(command);
  const auto [known, reply] = game::RunRconCommand(request);
  CollectWorld();
  CollectFailures();
  for (RunObserver* o : observers_) o->AfterRcon(command, known, reply, config_path_);
  return reply;
}

bool Session::WantsStop() const {
  for (const RunObserver* o : observers_) {
    if (o->WantsStop()) return true;
  }
  return false;
}

}  // namespace standin::sim
