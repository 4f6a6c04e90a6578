// One loaded plug-in in the stand-in host and world: builds the world, loads
// and unloads the module (module_loader.h; its module entry runs Load and Unload),
// runs the host's timers, dispatches RCON commands, and tells every observer
// what happened. The run loops and the script runner drive it; used on the
// simulator's game thread only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "standin/game/world.h"
#include "standin/rcon/request.h"
#include "standin/sim/inputs.h"
#include "standin/sim/observer.h"
#include "standin/sim/recorder.h"

namespace standin::sim {

class Session {
 public:
  // `fake_time`: the C runtime's clock follows SetTime.
  Session(const WorldSpec& world, std::string plugin_path, bool fake_time, Recorder& recorder);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Observers are told in the order they were added; they must outlive this.
  void AddObserver(RunObserver& observer) { observers_.push_back(&observer); }
  const std::vector<RunObserver*>& observers() const { return observers_; }

  // Installs the world in the host and starts watching its registrations.
  void BuildWorld();
  // False, with the reason recorded, when the module cannot be loaded.
  bool Load(const std::string& config_path);
  void Unload();

  // Timer runs before the start, 60 s apart and the last at `last_run`,
  // with the host reporting no world: a freshly loaded plug-in's countdowns
  // then stand where a server's did after as many runs, and nothing spawns.
  // No observer sees them; the time stays as it was. Needs the fake clock.
  void CatchUp(std::int64_t runs, std::int64_t last_run);

  void SetTime(std::int64_t seconds);
  std::int64_t now() const { return now_; }
  // One call of the host's timers.
  void TimerCall();
  // Runs and answers one RCON client's request; returns the reply (UTF-8).
  std::optional<std::string> DispatchRcon(const rcon::RconRequest& request);
  // True once an observer asks the run to stop.
  bool WantsStop() const;

  game::World& world() { return world_; }

 private:
  // Hands the spawns and notices since the last look to the observers.
  void CollectWorld();
  void CollectFailures();

  std::string plugin_path_;
  bool fake_time_;
  Recorder& recorder_;
  std::vector<RunObserver*> observers_;
  game::World world_;
  const WorldSpec& spec_;
  void* module_ = nullptr;
  std::string config_path_;
  std::size_t spawns_seen_ = 0;
  int failures_seen_ = 0;
  std::int64_t now_ = 0;
  bool timed_ = false;  // now_ was set
};

}  // namespace standin::sim
