// What a simulator run reports to those who watch it: the recorder (events
// and console), the report feed (the per-entry ledger and the preview) and the
// invariants. The run holds a list of observers and tells each, in order, what
// happened; every hook does nothing unless overridden. Called on the
// simulator's game thread only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "standin/sim/clock.h"
#include "standin/sim/recorder.h"

namespace standin::game {
class World;
}

namespace standin::sim {

// How a run ended.
struct RunEnd {
  std::int64_t start = 0;      // local start, seconds since the epoch
  std::int64_t reached = 0;    // the simulated (or real) time the run got to
  std::int64_t planned = 0;    // the end the run was asked for (reached in real time)
  int stop_signal = 0;         // SIGINT or SIGTERM that stopped it, else 0
  bool output_closed = false;  // the console or the events stream could not be written

  bool interrupted() const { return stop_signal != 0 || output_closed; }
};

class RunObserver {
 public:
  virtual ~RunObserver() = default;

  // The simulated time from now on.
  virtual void OnTime(std::int64_t /*now*/) {}
  // The local clock went forward or back since the last time; told after
  // OnTime of the first second on the new offset.
  virtual void OnClockChange(const OffsetChange& /*change*/) {}
  virtual void BeforeLoad() {}
  virtual void AfterLoad(const std::string& /*config_path*/) {}
  // A timer or command name the plug-in added or withdrew ("timer", "rcon").
  virtual void OnRegistration(std::string_view /*kind*/, std::string_view /*name*/, bool /*added*/,
                              bool /*was_registered*/) {}
  virtual void BeforeTimerCall(const game::World& /*world*/, std::int64_t /*now*/) {}
  // Before a spawn is reported: an observer that can tell which entry made
  // it fills `spawn.owner`.
  virtual void AttributeSpawn(SpawnEvent& /*spawn*/) {}
  // One creature the plug-in spawned; `class_reference` is the world's "/P/A.A_C".
  virtual void OnSpawn(const SpawnEvent& /*spawn*/, std::string_view /*class_reference*/) {}
  virtual void OnNotice(const NoticeEvent& /*notice*/) {}
  // `ran`: the timer callbacks the host ran.
  virtual void AfterTimerCall(std::int64_t /*now*/, int /*ran*/) {}
  virtual void BeforeRcon(const std::string& /*command*/) {}
  // `known`: a registered command matched; `reply` is UTF-8.
  virtual void AfterRcon(const std::string& /*command*/, bool /*known*/,
                         const std::optional<std::string>& /*reply*/,
                         const std::string& /*config_path*/) {}
  // The script took `count` creatures out of the level.
  virtual void OnKill(int /*count*/) {}
  // The script replaced or removed the configuration file.
  virtual void OnConfigFileChanged(const std::string& /*what*/) {}
  virtual void AfterUnload() {}
  // True once the run must stop here (a broken invariant).
  virtual bool WantsStop() const { return false; }
  // The run is over: summaries and files. Returns the exit status it asks
  // for, 0 when all is well.
  virtual int OnEnd(const RunEnd& /*end*/) { return 0; }
};

}  // namespace standin::sim
