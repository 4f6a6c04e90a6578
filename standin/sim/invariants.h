// What must hold however long drovekeeper-sim runs, checked after every
// timer call and every RCON dispatch when the simulator runs with
// --invariants: no failure escapes a host callback, a timer call gives back
// every block of the game allocator it took, the plug-in's spawns respect the
// cap of the configuration in force, every refused reload is logged and
// answered and leaves the previous configuration running, nothing runs after
// Unload withdrew it, and the process's memory stays flat from day to day.
//
// `Invariants` holds the rules over plain observations, so tests can feed it
// directly; `HostInvariants` observes the stand-in host and world for the
// simulator. Used on the simulator's game thread only.
#pragma once

#include <spdlog/sinks/sink.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace standin::game {
class World;
}

namespace standin::sim {

// The cap that holds back each class, by class reference ("/P/A.A_C"): the
// largest "Worldmaximum" among the entries of both tables naming the class.
// A class absent here has no entry that could spawn it.
using CapTable = std::map<std::string, std::int32_t, std::less<>>;
// The cap of a class that an entry names by its plain object path.
inline constexpr std::int32_t kUncapped = std::numeric_limits<std::int32_t>::max();

// The caps of a configuration text the plug-in takes (model::AcceptText).
// Empty when the plug-in must refuse it, with the reason in `why`.
std::optional<CapTable> ReadCapTable(std::string_view text, std::string* why = nullptr);

// The resident set of this process in KiB (from /proc/self/statm), 0 if unknown.
std::int64_t ResidentKib();

struct InvariantFigures {
  std::int64_t timer_calls = 0;
  std::int64_t spawns = 0;
  std::int64_t reloads_ok = 0;
  std::int64_t reloads_failed = 0;
  std::int64_t kills = 0;  // creatures taken out of the level by the script
  std::int64_t dispatches = 0;
  std::chrono::milliseconds largest_timer_gap{0};
  std::vector<std::int64_t> rss_kib_by_day;  // at the end of each full day
};

class Invariants {
 public:
  // The reply of a reload that took the new file, and the start of one that did not.
  static constexpr std::string_view kReloadedReply = "重新加载配置";
  static constexpr std::string_view kReloadFailedPrefix = "重新加载配置失败: ";
  // How much the resident set may grow from the end of day 1 to the last day.
  static constexpr double kRssGrowthAllowed = 0.05;

  explicit Invariants(std::string timer_name = "Drovekeeper.TimingSpawn",
                      std::string reload_name = "Drovekeeper.reload");

  // ---- Load. `config_text` is the file as it was when Load ran (empty: none).
  void BeforeLoad(const std::optional<std::string>& config_text);
  void AfterLoad(int failures);

  // ---- Registrations as the host reports them (kind "timer" or "rcon").
  void Registration(std::string_view kind, std::string_view name, bool added);

  // ---- One timer call. `wild_count` gives the wild creatures of a class.
  void BeforeTimerCall(std::size_t live_blocks,
                       const std::function<int(std::string_view)>& wild_count);
  // One per creature the call spawned, in order.
  void Spawned(std::string_view class_reference);
  // `ran`: callbacks the host ran; `failures`: the host's failure count.
  void AfterTimerCall(int ran, std::size_t live_blocks, int failures);
  // `gap` since the previous timer call began.
  void TimerGap(std::chrono::milliseconds gap);

  // ---- One RCON dispatch. `config_text`: the file as the command finds it.
  void BeforeDispatch(std::string_view command, const std::optional<std::string>& config_text,
                      std::size_t live_blocks);
  // Called by the log sink for each error line.
  void ErrorLogged() { ++error_lines_; }
  void AfterDispatch(bool known, const std::optional<std::string>& reply, std::size_t live_blocks,
                     int failures);

  void Killed(int count) { figures_.kills += count; }
  // Day `day` (1 for the first) ended with this resident set.
  void DayEnded(int day, std::int64_t rss_kib);

  // ---- After Unload: what is still registered, and what the host still ran
  // when asked to run its timers and the reload command once more.
  void AfterUnload(bool timer_left, bool command_left, int timers_ran, bool reload_known,
                   int failures);
  // The checks over the whole run (memory).
  void Finish();

  bool ok() const { return violation_.empty(); }
  const std::string& violation() const { return violation_; }
  const InvariantFigures& figures() const { return figures_; }
  // A few lines of figures for the console.
  std::string Summary() const;

 private:
  void Violate(std::string message);
  bool IsReload(std::string_view command) const;

  std::string timer_name_;
  std::string reload_name_;
  std::string violation_;
  InvariantFigures figures_;

  std::optional<CapTable> in_force_;  // empty while the plug-in is inert
  std::optional<CapTable> load_expectation_;
  std::set<std::string, std::less<>> timers_;
  std::set<std::string, std::less<>> commands_;  // folded to lower case
  bool timer_withdrawn_ = false;
  bool command_withdrawn_ = false;

  std::size_t live_before_ = 0;
  std::map<std::string, int, std::less<>> wild_before_;
  std::map<std::string, int, std::less<>> spawned_this_call_;

  bool dispatching_reload_ = false;
  std::optional<CapTable> reload_expectation_;
  std::string reload_refusal_;
  std::string command_;
  int error_lines_ = 0;
  int error_lines_before_ = 0;
};

// Observes the stand-in host and world on behalf of the simulator and hands
// the observations to `Invariants`. Install() before the plug-in loads.
class HostInvariants {
 public:
  HostInvariants(game::World& world, std::string config_path, std::int64_t start);

  // Adds the error-line sink to the host's sinks.
  void Install();
  void BeforeLoad();
  void AfterLoad();
  void Registration(std::string_view kind, std::string_view name, bool added);
  void BeforeTimerCall(std::int64_t now);
  void Spawned(std::string_view class_reference) { rules_.Spawned(class_reference); }
  // Runs the host's timers; returns how many ran.
  int RunTimers();
  void AfterTimerCall(std::int64_t now, int ran);
  void BeforeDispatch(std::string_view command);
  void AfterDispatch(bool known, const std::optional<std::string>& reply);
  void Killed(int count) { rules_.Killed(count); }
  void AfterUnload();
  void Finish() { rules_.Finish(); }

  const Invariants& rules() const { return rules_; }

 private:
  std::optional<std::string> ReadConfig() const;

  game::World& world_;
  std::string config_path_;
  std::int64_t start_;
  Invariants rules_;
  std::shared_ptr<spdlog::sinks::sink> sink_;
  std::optional<std::chrono::steady_clock::time_point> last_call_;
};

}  // namespace standin::sim
