// Per-entry ledger of what the plug-in's schedules did over a simulated span:
// for every configured entry, how often it fell due and what became of each
// turn (spawned, held by its cap, class unknown, spawn refused, failed).
//
// The plug-in is seen only from outside, as the host and the game see it, so
// the ledger keeps its own shadow of both schedules and explains each turn
// from the calls the game received and the plug-in's log lines. It takes
// plain values and knows nothing of the simulator; the simulator feeds it one
// TimerCall per call of the plug-in's timer callback, and the report and the
// operator tooling read the entries back. Not thread-safe.
#pragma once

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "standin/model/config_reading.h"
#include "standin/model/map.h"
#include "standin/model/schedule.h"

namespace standin::report {

// The two tables and their keys, the plug-in's entry names and fault lines
// and its random squares, as the stand-in's model states them.
using model::ClassPathOf;
using model::FaultLine;
using model::ParseFaultLine;
using model::RandomSquares;
using model::Square;
using model::Table;
using model::TableName;

enum class Outcome { kSpawned, kHeldByCap, kClassUnknown, kSpawnRefused, kFailed };

std::string_view OutcomeName(Outcome outcome);

// One call the game received from the plug-in during a timer call.
struct GameCall {
  enum class Kind { kClassLoad, kSpawn };
  Kind kind = Kind::kClassLoad;
  std::string path;  // the class path handed to the class loader, UTF-8
  bool ok = false;   // a class came back / the spawn was not refused
};

// What the stand-in saw during one call of the plug-in's timer callback.
struct TimerCall {
  std::int64_t time = 0;  // simulated, seconds since the epoch
  // The wall clock as the plug-in reads it, 100 ns units since the epoch: in
  // real time its gate compares fractions of a second. 0: exactly `time`.
  std::int64_t ticks = 0;
  int local_hour = 0;
  int local_minute = 0;
  // Wild creatures per BlueprintReference ("Blueprint'/P/A.A'") just before
  // the call; classes not listed count 0.
  std::map<std::string, int> wild_counts;
  std::vector<GameCall> calls;         // class loads and spawns, in call order
  std::vector<std::string> log_lines;  // the plug-in's messages, UTF-8
};

struct TimedOutcome {
  std::int64_t time = 0;
  Outcome outcome = Outcome::kSpawned;
  // kFailed: what failed; kHeldByCap: the wild count and the cap of the turn.
  std::string message;
};

struct EntryRecord {
  Table table = Table::kCountdown;
  std::string name;           // the entry's key: its blueprint path
  std::string display_name;   // "Name", when it is a string
  std::string schedule_text;  // "every 30 min" or "at 20:30"
  bool configured = true;     // false once a reload dropped it
  // Where a random position lands: around (base_x, base_y), see
  // RandomSquares().
  bool random_position = false;
  bool has_base = false;
  std::int32_t base_x = 0;
  std::int32_t base_y = 0;

  int fell_due = 0;
  int spawned = 0;
  int held_by_cap = 0;
  int class_unknown = 0;
  int spawn_refused = 0;
  int failed = 0;
  std::string last_failure;
  std::vector<TimedOutcome> outcomes;
  // Clock entries: runs at the minute the entry's text names as an operator
  // reads it ("21:00"), where it did not fall due because the clock writes
  // that minute otherwise ("21:0"). At most one a day, kept even without
  // outcomes.
  struct Missed {
    std::int64_t time;
    std::string clock_text;  // the entry's text then
  };
  std::vector<Missed> missed;
  // When it falls due next after the last timer call seen (countdown: that
  // run's time; clock: the next local minute its text names); seconds since
  // the epoch, 0 when never (dropped, or a clock text that never matches).
  std::int64_t next_due = 0;
};

// The entry a spawn of a timer call is attributed to.
struct SpawnOwner {
  Table table = Table::kCountdown;
  std::string entry;
};

class EntryLedger {
 public:
  // `document` is the configuration the plug-in loaded; one it would refuse
  // configures no entry.
  explicit EntryLedger(const nlohmann::json& document);

  // One call of the timer callback. The plug-in runs its schedules on the
  // first call and then on the first call at least 60 s after the last run.
  // Returns whether this call was taken as a run.
  bool OnTimerCall(const TimerCall& call);

  // For each spawn the game accepted during the last timer call, in order:
  // the entry it came from, or nullopt when the ledger cannot tell.
  const std::vector<std::optional<SpawnOwner>>& LastSpawns() const { return last_spawns_; }

  // A reload that succeeded: countdowns of configured names start over,
  // names no longer configured stop, faults are reported afresh.
  void OnReload(const nlohmann::json& document);

  // Runs the plug-in made before the span, which the game never saw (a
  // preview started from a server's state): each countdown steps `runs`
  // times, and the gate stands after the last at `last_run` (seconds since
  // the epoch). Nothing is counted.
  void CatchUp(std::int64_t runs, std::int64_t last_run);

  // The configuration in force, as the model reads it.
  const model::ConfigRules& rules() const { return rules_; }

  // Countdown entries in name order, then clock entries in name order;
  // entries a reload dropped stay with their history.
  std::vector<EntryRecord> Entries() const;
  const EntryRecord* Find(Table table, const std::string& name) const;

  // Off: only the counters and the last failure are kept, so a long run
  // without a report stays flat in memory.
  void KeepOutcomes(bool keep) { keep_outcomes_ = keep; }

 private:
  using Key = std::pair<Table, std::string>;

  struct Shadow {
    const model::EntryRules* rules = nullptr;  // in rules_
    std::int64_t countdown = 0;                // the stored count
  };

  void Configure(const nlohmann::json& document);
  void RunSchedules(const TimerCall& call, std::optional<std::int64_t> skipped_minute);
  void Attribute(const Key& key, const TimerCall& call, const std::map<Key, std::string>& faults,
                 std::size_t& next_call, std::map<std::string, int>& spawned_now);
  void Record(const Key& key, std::int64_t time, Outcome outcome, std::string message = {});
  EntryRecord& RecordOf(const Key& key);

  model::ConfigRules rules_;
  std::map<Key, Shadow> shadows_;  // configured names only
  std::map<Key, EntryRecord> records_;
  // Last fault per entry since the configuration was read: the plug-in logs
  // a repeated fault only once.
  struct KnownFault {
    std::string message;
    bool after_spawn = false;  // the entry's creature was spawned first
  };
  std::map<Key, KnownFault> known_faults_;
  std::vector<std::optional<SpawnOwner>> last_spawns_;
  model::RunGate gate_{model::kTicksPerSecond};  // in ticks
  std::optional<std::int64_t> last_call_;        // ticks
  bool keep_outcomes_ = true;
};

}  // namespace standin::report
