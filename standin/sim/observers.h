// The simulator's three observers of a run, as thin adapters over the
// recorder (events, console, summaries), the report feed (ledger and HTML
// preview) and the host invariants (--invariants). Used by RunSimulator only.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "standin/sim/invariants.h"
#include "standin/sim/observer.h"
#include "standin/sim/recorder.h"
#include "standin/sim/report_feed.h"

namespace standin::sim {

// Every event to the events stream and the console; at the end the summary
// and the per-entry table, from the report feed's ledger.
class RecorderObserver final : public RunObserver {
 public:
  RecorderObserver(Recorder& recorder, const ReportFeed& feed) : recorder_(recorder), feed_(feed) {}

  void OnTime(std::int64_t now) override { recorder_.SetTime(now); }
  void OnClockChange(const OffsetChange& change) override { recorder_.ClockChanged(change); }
  void OnRegistration(std::string_view kind, std::string_view name, bool added,
                      bool was_registered) override {
    recorder_.Registration(kind, name, added, was_registered);
  }
  void OnSpawn(const SpawnEvent& spawn, std::string_view) override { recorder_.Spawn(spawn); }
  void OnNotice(const NoticeEvent& notice) override { recorder_.Notice(notice); }
  void AfterRcon(const std::string& command, bool known, const std::optional<std::string>& reply,
                 const std::string& config_path) override;
  int OnEnd(const RunEnd& end) override;

 private:
  Recorder& recorder_;
  const ReportFeed& feed_;
};

class ReportObserver final : public RunObserver {
 public:
  // `report_file` empty: the ledger only, no HTML file.
  ReportObserver(ReportFeed& feed, std::string report_file, Recorder& recorder)
      : feed_(feed), report_file_(std::move(report_file)), recorder_(recorder) {}

  void OnTime(std::int64_t now) override { feed_.SetTime(now); }
  void OnClockChange(const OffsetChange& change) override { feed_.ClockChanged(change); }
  void AfterLoad(const std::string& config_path) override { feed_.AfterLoad(config_path); }
  void BeforeTimerCall(const game::World& world, std::int64_t) override {
    feed_.BeforeTimerCall(world);
  }
  void AttributeSpawn(SpawnEvent& spawn) override { spawn.owner = feed_.TakeSpawnOwner(); }
  void OnSpawn(const SpawnEvent& spawn, std::string_view) override { feed_.Spawned(spawn); }
  void AfterTimerCall(std::int64_t, int) override { feed_.AfterTimerCall(); }
  void AfterRcon(const std::string& command, bool, const std::optional<std::string>& reply,
                 const std::string& config_path) override {
    feed_.AfterRcon(command, reply, config_path);
  }
  void OnConfigFileChanged(const std::string& what) override { feed_.ConfigFileChanged(what); }
  int OnEnd(const RunEnd& end) override;

 private:
  ReportFeed& feed_;
  std::string report_file_;
  Recorder& recorder_;
};

class InvariantsObserver final : public RunObserver {
 public:
  // The figures go to `summary`; a violation to standard error.
  InvariantsObserver(HostInvariants& invariants, std::ostream& summary)
      : invariants_(invariants), summary_(summary) {}

  void OnTime(std::int64_t now) override { now_ = now; }
  void BeforeLoad() override { invariants_.BeforeLoad(); }
  void AfterLoad(const std::string&) override { invariants_.AfterLoad(); }
  void OnRegistration(std::string_view kind, std::string_view name, bool added, bool) override {
    invariants_.Registration(kind, name, added);
  }
  void BeforeTimerCall(const game::World&, std::int64_t now) override {
    invariants_.BeforeTimerCall(now);
  }
  void OnSpawn(const SpawnEvent&, std::string_view class_reference) override {
    invariants_.Spawned(class_reference);
  }
  void AfterTimerCall(std::int64_t now, int ran) override;
  void BeforeRcon(const std::string& command) override { invariants_.BeforeDispatch(command); }
  void AfterRcon(const std::string& command, bool known, const std::optional<std::string>& reply,
                 const std::string& config_path) override;
  void OnKill(int count) override { invariants_.Killed(count); }
  void AfterUnload() override { invariants_.AfterUnload(); }
  bool WantsStop() const override { return !invariants_.rules().ok(); }
  int OnEnd(const RunEnd& end) override;

 private:
  void NoteViolation();

  HostInvariants& invariants_;
  std::ostream& summary_;
  std::int64_t now_ = 0;
  std::optional<std::int64_t> violation_time_;
};

}  // namespace standin::sim
