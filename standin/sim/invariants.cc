#include "standin/sim/invariants.h"

#include <fmt/format.h>
#include <spdlog/sinks/base_sink.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <mutex>

#include "standin/game/allocator.h"
#include "standin/game/console.h"
#include "standin/game/world.h"
#include "standin/host/host.h"
#include "standin/model/config_reading.h"

namespace standin::sim {
namespace {

std::string Folded(std::string_view text) {
  std::string folded(text);
  std::transform(folded.begin(), folded.end(), folded.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return folded;
}

// Counts error lines for the rules; every logger the plug-in makes copies it.
class ErrorLineSink final : public spdlog::sinks::base_sink<std::mutex> {
 public:
  explicit ErrorLineSink(Invariants& rules) : rules_(rules) {}

 protected:
  void sink_it_(const spdlog::details::log_msg& message) override {
    if (message.level >= spdlog::level::err) rules_.ErrorLogged();
  }
  void flush_() override {}

 private:
  Invariants& rules_;
};

}  // namespace

std::optional<CapTable> ReadCapTable(std::string_view text, std::string* why) {
  std::optional<model::ConfigRules> rules = model::AcceptText(text, why);
  if (!rules) return std::nullopt;
  CapTable caps;
  for (const model::EntryRules& entry : rules->entries) {
    // An entry without a usable cap fails at its turn and never spawns.
    if (!entry.cap || entry.name.empty()) continue;
    for (std::string& reference : game::LoadCandidates(entry.name)) {
      // A class the name loads but whose creatures never match the name
      // for the cap spawns without bound.
      const std::int32_t cap =
          game::BlueprintFromReference(reference) == entry.name ? *entry.cap : kUncapped;
      auto [slot, inserted] = caps.emplace(std::move(reference), cap);
      if (!inserted) slot->second = std::max(slot->second, cap);
    }
  }
  return caps;
}

std::int64_t ResidentKib() {
  std::ifstream statm("/proc/self/statm");
  std::int64_t size = 0;
  std::int64_t resident = 0;
  if (!(statm >> size >> resident)) return 0;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// ---- Invariants

Invariants::Invariants(std::string timer_name, std::string reload_name)
    : timer_name_(std::move(timer_name)), reload_name_(std::move(reload_name)) {}

void Invariants::Violate(std::string message) {
  if (violation_.empty()) violation_ = std::move(message);
}

bool Invariants::IsReload(std::string_view command) const {
  return Folded(host::RconCommandName(command)) == Folded(reload_name_);
}

void Invariants::BeforeLoad(const std::optional<std::string>& config_text) {
  load_expectation_.reset();
  if (config_text.has_value()) load_expectation_ = ReadCapTable(*config_text);
}

void Invariants::AfterLoad(int failures) {
  if (failures != 0) Violate("a failure escaped Load");
  const bool active = timers_.contains(timer_name_) && commands_.contains(Folded(reload_name_));
  if (load_expectation_.has_value() && !active) {
    Violate("Load stayed inert on a configuration that reads as valid");
  } else if (!load_expectation_.has_value() && (!timers_.empty() || !commands_.empty())) {
    Violate("Load registered callbacks without a usable configuration");
  }
  in_force_ = active ? load_expectation_ : std::optional<CapTable>{};
}

void Invariants::Registration(std::string_view kind, std::string_view name, bool added) {
  if (kind == "timer") {
    if (added) {
      if (timer_withdrawn_) Violate(fmt::format("timer {} registered again after Unload", name));
      timers_.emplace(name);
    } else {
      timers_.erase(std::string(name));
      if (name == timer_name_) timer_withdrawn_ = true;
    }
  } else {
    std::string folded = Folded(name);
    if (added) {
      commands_.insert(folded);
    } else {
      commands_.erase(folded);
      if (folded == Folded(reload_name_)) command_withdrawn_ = true;
    }
  }
}

void Invariants::BeforeTimerCall(std::size_t live_blocks,
                                 const std::function<int(std::string_view)>& wild_count) {
  live_before_ = live_blocks;
  spawned_this_call_.clear();
  wild_before_.clear();
  if (!in_force_.has_value()) return;
  for (const auto& [reference, cap] : *in_force_) wild_before_[reference] = wild_count(reference);
}

void Invariants::Spawned(std::string_view class_reference) {
  ++figures_.spawns;
  if (!in_force_.has_value()) {
    Violate(fmt::format("{} was spawned while no configuration is in force", class_reference));
    return;
  }
  auto cap = in_force_->find(class_reference);
  if (cap == in_force_->end()) {
    Violate(fmt::format("{} was spawned, but no entry of the configuration in force names it",
                        class_reference));
    return;
  }
  int& earlier = spawned_this_call_[std::string(class_reference)];
  const int before = wild_before_[std::string(class_reference)] + earlier;
  ++earlier;
  if (before >= cap->second) {
    Violate(fmt::format("{} was spawned with {} wild already in the level; the cap in force is {}",
                        class_reference, before, cap->second));
  }
}

void Invariants::AfterTimerCall(int ran, std::size_t live_blocks, int failures) {
  ++figures_.timer_calls;
  if (failures != 0) Violate("a failure escaped the timer callback");
  if (ran > 0 && timer_withdrawn_) Violate("a timer callback ran after Unload withdrew it");
  if (ran != static_cast<int>(timers_.size())) {
    Violate(fmt::format("the host ran {} timer callbacks with {} registered", ran, timers_.size()));
  }
  if (live_blocks != live_before_) {
    Violate(fmt::format("a timer call left {} blocks of the game allocator live, {} before it",
                        live_blocks, live_before_));
  }
}

void Invariants::TimerGap(std::chrono::milliseconds gap) {
  figures_.largest_timer_gap = std::max(figures_.largest_timer_gap, gap);
}

void Invariants::BeforeDispatch(std::string_view command,
                                const std::optional<std::string>& config_text,
                                std::size_t live_blocks) {
  command_ = std::string(command);
  live_before_ = live_blocks;
  error_lines_before_ = error_lines_;
  dispatching_reload_ = IsReload(command) && commands_.contains(Folded(reload_name_));
  reload_expectation_.reset();
  reload_refusal_.clear();
  if (!dispatching_reload_) return;
  if (config_text.has_value()) {
    reload_expectation_ = ReadCapTable(*config_text, &reload_refusal_);
  } else {
    reload_refusal_ = "the file is missing";
  }
}

void Invariants::AfterDispatch(bool known, const std::optional<std::string>& reply,
                               std::size_t live_blocks, int failures) {
  ++figures_.dispatches;
  if (failures != 0) Violate(fmt::format("a failure escaped the RCON command \"{}\"", command_));
  const bool registered = commands_.contains(Folded(host::RconCommandName(command_)));
  if (known != registered) {
    Violate(fmt::format("the host {} \"{}\" with the command {}", known ? "ran" : "did not run",
                        command_, registered ? "registered" : "not registered"));
  }
  if (live_blocks != live_before_) {
    Violate(fmt::format("\"{}\" left {} blocks of the game allocator live, {} before it", command_,
                        live_blocks, live_before_));
  }
  if (!dispatching_reload_) return;
  const std::string answer = reply.value_or("(no reply)");
  if (reload_expectation_.has_value()) {
    ++figures_.reloads_ok;
    if (answer != kReloadedReply) {
      Violate(fmt::format("a reload of a valid file answered \"{}\"", answer));
    }
    in_force_ = reload_expectation_;
    return;
  }
  ++figures_.reloads_failed;
  if (!answer.starts_with(kReloadFailedPrefix)) {
    Violate(fmt::format("a reload that must fail ({}) answered \"{}\"", reload_refusal_, answer));
  }
  if (error_lines_ == error_lines_before_) {
    Violate(fmt::format("a failed reload ({}) logged no error line", reload_refusal_));
  }
  // in_force_ stays: the spawns that follow must still come from it.
}

void Invariants::DayEnded(int day, std::int64_t rss_kib) {
  if (static_cast<int>(figures_.rss_kib_by_day.size()) < day) {
    figures_.rss_kib_by_day.resize(static_cast<std::size_t>(day), 0);
  }
  figures_.rss_kib_by_day[static_cast<std::size_t>(day - 1)] = rss_kib;
}

void Invariants::AfterUnload(bool timer_left, bool command_left, int timers_ran, bool reload_known,
                             int failures) {
  if (failures != 0) Violate("a failure escaped Unload");
  if (timer_left) Violate("the timer callback is still registered after Unload");
  if (command_left) Violate("the reload command is still registered after Unload");
  if (!timers_.empty() || !commands_.empty()) {
    Violate("Unload left registrations behind without an unregister event");
  }
  if (timers_ran != 0) Violate(fmt::format("{} timer callbacks ran after Unload", timers_ran));
  if (reload_known) Violate("the reload command ran after Unload");
}

void Invariants::Finish() {
  const auto& rss = figures_.rss_kib_by_day;
  if (rss.size() < 2 || rss.front() <= 0) return;
  const double allowed = static_cast<double>(rss.front()) * (1.0 + kRssGrowthAllowed);
  if (static_cast<double>(rss.back()) > allowed) {
    Violate(fmt::format("the resident set grew from {} KiB after day 1 to {} KiB after day {}",
                        rss.front(), rss.back(), rss.size()));
  }
}

std::string Invariants::Summary() const {
  const InvariantFigures& f = figures_;
  std::string text = fmt::format(
      "Invariants: {}\n"
      "  timer calls: {} (largest gap {} ms)\n"
      "  spawns: {}\n"
      "  reloads: {} ok, {} failed\n"
      "  creatures killed: {}\n"
      "  RCON dispatches: {}\n",
      ok() ? "all held" : "VIOLATED: " + violation_, f.timer_calls, f.largest_timer_gap.count(),
      f.spawns, f.reloads_ok, f.reloads_failed, f.kills, f.dispatches);
  if (!f.rss_kib_by_day.empty()) {
    const std::int64_t first = f.rss_kib_by_day.front();
    const std::int64_t last = f.rss_kib_by_day.back();
    text += fmt::format(
        "  resident memory: day 1 {} KiB, day {} {} KiB ({:+.1f}%)\n", first,
        f.rss_kib_by_day.size(), last,
        first > 0 ? 100.0 * static_cast<double>(last - first) / static_cast<double>(first) : 0.0);
  }
  return text;
}

// ---- HostInvariants

HostInvariants::HostInvariants(game::World& world, std::string config_path, std::int64_t start)
    : world_(world), config_path_(std::move(config_path)), start_(start) {}

void HostInvariants::Install() {
  sink_ = std::make_shared<ErrorLineSink>(rules_);
  host::LogSinks().push_back(sink_);
}

std::optional<std::string> HostInvariants::ReadConfig() const {
  return model::ReadWholeFile(config_path_);
}

void HostInvariants::BeforeLoad() { rules_.BeforeLoad(ReadConfig()); }

void HostInvariants::AfterLoad() { rules_.AfterLoad(host::Failures().count); }

void HostInvariants::Registration(std::string_view kind, std::string_view name, bool added) {
  rules_.Registration(kind, name, added);
}

void HostInvariants::BeforeTimerCall(std::int64_t /*now*/) {
  const auto now = std::chrono::steady_clock::now();
  if (last_call_.has_value()) {
    rules_.TimerGap(std::chrono::duration_cast<std::chrono::milliseconds>(now - *last_call_));
  }
  last_call_ = now;
  rules_.BeforeTimerCall(game::LiveBlocks(), [this](std::string_view reference) {
    const game::GameClass* game_class = world_.FindClass(reference);
    return game_class == nullptr ? 0 : world_.WildCreatures(game_class);
  });
}

int HostInvariants::RunTimers() { return host::RunTimers(); }

void HostInvariants::AfterTimerCall(std::int64_t now, int ran) {
  rules_.AfterTimerCall(ran, game::LiveBlocks(), host::Failures().count);
  const std::int64_t elapsed = now - start_ + 1;
  if (elapsed > 0 && elapsed % 86400 == 0) {
    rules_.DayEnded(static_cast<int>(elapsed / 86400), ResidentKib());
  }
}

void HostInvariants::BeforeDispatch(std::string_view command) {
  rules_.BeforeDispatch(command, ReadConfig(), game::LiveBlocks());
}

void HostInvariants::AfterDispatch(bool known, const std::optional<std::string>& reply) {
  rules_.AfterDispatch(known, reply, game::LiveBlocks(), host::Failures().count);
}

void HostInvariants::AfterUnload() {
  const bool timer_left = !host::TimerNames().empty();
  const bool command_left = !host::RconCommandNames().empty();
  // Only an empty registry is safe to probe: the module's code is gone.
  int ran = 0;
  bool known = false;
  if (!timer_left && !command_left) {
    ran = host::RunTimers();
    game::RconConnection connection;
    game::RconPacket request(0, u"Drovekeeper.reload");
    known = host::DispatchRcon("Drovekeeper.reload", connection.game(), request.game());
  }
  rules_.AfterUnload(timer_left, command_left, ran, known, host::Failures().count);
}

}  // namespace standin::sim
