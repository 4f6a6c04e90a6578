#include "standin/sim/report_feed.h"

#include <spdlog/sinks/base_sink.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <nlohmann/json.hpp>
#include <set>

#include "host/game_types.h"
#include "standin/game/world.h"
#include "standin/host/host.h"
#include "standin/model/config_reading.h"
#include "standin/model/schedule.h"
#include "standin/sim/output_file.h"
#include "standin/sim/recorder.h"

namespace standin::sim {
namespace {

constexpr char kTimerName[] = "Drovekeeper.TimingSpawn";
constexpr char kReloadCommand[] = "drovekeeper.reload";
constexpr std::string_view kReloadReply = "重新加载配置";
constexpr std::string_view kReloadFailedPrefix = "重新加载配置失败: ";

using ClassLoader = game::GameClass* (*)(const GameStringRecord*);
using Spawner = game::Actor* (*)(UWorld*, game::GameClass*, const Vec3*, const Rot3*,
                                 const SpawnParameters*);

// The game's own functions behind the wrappers, and where the wrappers
// record. One feed per process.
ClassLoader original_loader = nullptr;
Spawner original_spawner = nullptr;
std::vector<report::GameCall>* recorded_calls = nullptr;
std::string last_loaded_path;

std::string PathText(const GameStringRecord* path) {
  if (path == nullptr || path->data == nullptr || path->count <= 1) return "";
  return host::Utf16ToUtf8(std::u16string_view(path->data, path->count - 1));
}

game::GameClass* WatchedLoadClass(const GameStringRecord* path) {
  game::GameClass* loaded = original_loader(path);
  last_loaded_path = PathText(path);
  if (recorded_calls != nullptr) {
    recorded_calls->push_back(
        {report::GameCall::Kind::kClassLoad, last_loaded_path, loaded != nullptr});
  }
  return loaded;
}

game::Actor* WatchedSpawnActor(UWorld* world, game::GameClass* game_class, const Vec3* location,
                               const Rot3* rotation, const SpawnParameters* parameters) {
  game::Actor* actor = original_spawner(world, game_class, location, rotation, parameters);
  if (recorded_calls != nullptr) {
    recorded_calls->push_back({report::GameCall::Kind::kSpawn, last_loaded_path, actor != nullptr});
  }
  return actor;
}

std::optional<nlohmann::json> ReadConfig(const std::string& path) {
  std::optional<std::string> text = model::ReadWholeFile(path);
  return text ? model::ParseLeniently(*text) : std::nullopt;
}

std::int64_t WallClockTicks() {
  using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, model::kTicksPerSecond>>;
  return std::chrono::duration_cast<Ticks>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string TimeZoneName(std::int64_t at) {
  if (const char* tz = GivenTimeZone(); tz != nullptr && *tz != '\0') return tz;
  const auto t = static_cast<std::time_t>(at);
  std::tm local{};
  localtime_r(&t, &local);
  return local.tm_zone != nullptr ? local.tm_zone : "local";
}

}  // namespace

class ReportFeed::Sink final : public spdlog::sinks::base_sink<std::mutex> {
 public:
  explicit Sink(ReportFeed& feed) : feed_(feed) {}

 protected:
  void sink_it_(const spdlog::details::log_msg& message) override {
    auto level = spdlog::level::to_string_view(message.level);
    std::string text = GbkToUtf8(std::string_view(message.payload.data(), message.payload.size()));
    feed_.call_.log_lines.push_back(text);
    if (!feed_.for_report_) return;
    feed_.input_.log.push_back(
        {feed_.call_.time, std::string(level.data(), level.size()), std::move(text)});
  }
  void flush_() override {}

 private:
  ReportFeed& feed_;
};

ReportFeed::ReportFeed(const WorldSpec& world, std::string config_name, std::string world_name,
                       bool for_report, bool wall_clock)
    : for_report_(for_report), wall_clock_(wall_clock), sink_(std::make_shared<Sink>(*this)) {
  input_.config_file = std::move(config_name);
  input_.world_name = std::move(world_name);
  input_.map = world.settings;
  std::set<std::string> blueprints;
  for (const ClassSpec& c : world.classes) {
    if (!c.creature) continue;
    class_references_.push_back(c.reference);
    count_every_call_ =
        count_every_call_ || !blueprints.insert(game::BlueprintFromReference(c.reference)).second;
  }
}

ReportFeed::~ReportFeed() {
  if (recorded_calls == &call_.calls) recorded_calls = nullptr;
}

void ReportFeed::WatchGameCalls() {
  original_loader = reinterpret_cast<ClassLoader>(host::GetAddress("UVictoryCore.BPLoadClass"));
  original_spawner = reinterpret_cast<Spawner>(host::GetAddress("UWorld.SpawnActor"));
  if (original_loader == nullptr || original_spawner == nullptr) return;
  host::RegisterFunction("UVictoryCore.BPLoadClass", &WatchedLoadClass);
  host::RegisterFunction("UWorld.SpawnActor", &WatchedSpawnActor);
  recorded_calls = &call_.calls;
}

void ReportFeed::AfterLoad(const std::string& config_path) {
  if (!host::HasTimer(kTimerName)) return;
  if (std::optional<nlohmann::json> document = ReadConfig(config_path)) {
    ledger_.emplace(*document);
    ledger_->KeepOutcomes(for_report_);
    RecordCaps();
  }
}

void ReportFeed::CatchUp(std::int64_t runs, std::int64_t last_run) {
  if (ledger_) ledger_->CatchUp(runs, last_run);
}

void ReportFeed::SamplePopulation(const std::string& reference, int count) {
  auto [at, added] = population_index_.try_emplace(reference, input_.population.size());
  if (added) input_.population.push_back({reference, {}});
  std::vector<report::PopulationSample>& samples = input_.population[at->second].samples;
  // Only changes are kept, so a month-long run stays small.
  if (samples.empty() || samples.back().count != count) samples.push_back({call_.time, count});
}

void ReportFeed::RecordCaps() {
  if (!for_report_ || !ledger_) return;
  for (const model::EntryRules& entry : ledger_->rules().entries) {
    EntryKey key(entry.table, entry.name);
    auto [at, added] = cap_index_.try_emplace(key, input_.caps.size());
    // The cap counts the wild creatures whose reference is the entry's name.
    if (added) input_.caps.push_back({entry.table, entry.name, entry.name, {}});
    // Unreadable, the entry fails every turn; its chart says so.
    if (!entry.cap) continue;
    std::vector<report::CapChange>& caps = input_.caps[at->second].caps;
    if (caps.empty() || caps.back().cap != *entry.cap) caps.push_back({call_.time, *entry.cap});
  }
}

void ReportFeed::CountWild(const game::World& world) {
  call_.wild_counts.clear();
  for (const std::string& reference : class_references_) {
    const game::GameClass* game_class = world.FindClass(reference);
    const int count = game_class == nullptr ? 0 : world.WildCreatures(game_class);
    std::string blueprint = game::BlueprintFromReference(reference);
    if (for_report_) SamplePopulation(blueprint, count);
    if (count > 0) call_.wild_counts[std::move(blueprint)] = count;
  }
  counted_at_ = world.census();
}

void ReportFeed::BeforeTimerCall(const game::World& world) {
  call_pending_ = true;
  call_.calls.clear();
  call_.log_lines.clear();
  if (!ledger_) {
    call_.wild_counts.clear();
    return;
  }
  // Between censuses the counts and the samples they would add stay as they are.
  if (count_every_call_ || counted_at_ != world.census()) CountWild(world);
  // Read last, as close to the plug-in's own reading as the feed gets.
  call_.ticks = wall_clock_ ? WallClockTicks() : call_.time * model::kTicksPerSecond;
  const auto t = static_cast<std::time_t>(model::FloorDiv(call_.ticks, model::kTicksPerSecond));
  std::tm local{};
  localtime_r(&t, &local);
  call_.local_hour = local.tm_hour;
  call_.local_minute = local.tm_min;
}

void ReportFeed::Attribute() {
  if (!call_pending_) return;
  call_pending_ = false;
  spawn_owners_.clear();
  if (ledger_) {
    ledger_->OnTimerCall(call_);
    spawn_owners_.assign(ledger_->LastSpawns().begin(), ledger_->LastSpawns().end());
  }
  call_.calls.clear();
  call_.log_lines.clear();
}

void ReportFeed::AfterTimerCall() {
  Attribute();
  spawn_owners_.clear();
}

std::optional<report::SpawnOwner> ReportFeed::TakeSpawnOwner() {
  // The first spawn reported after the callbacks: the call is complete.
  Attribute();
  if (spawn_owners_.empty()) return std::nullopt;
  std::optional<report::SpawnOwner> owner = std::move(spawn_owners_.front());
  spawn_owners_.pop_front();
  return owner;
}

void ReportFeed::AfterRcon(const std::string& command, const std::optional<std::string>& reply,
                           const std::string& config_path) {
  std::string name(host::RconCommandName(command));
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (name != kReloadCommand || !ledger_) return;
  const bool taken = reply == kReloadReply;
  if (for_report_) {
    std::string what = "reload";
    if (!taken) {
      std::string_view answer = reply ? std::string_view(*reply) : "no reply";
      if (answer.starts_with(kReloadFailedPrefix)) answer.remove_prefix(kReloadFailedPrefix.size());
      what = "reload refused: " + std::string(answer);
    }
    input_.config_changes.push_back({call_.time, taken, std::move(what)});
  }
  if (!taken) return;
  if (std::optional<nlohmann::json> document = ReadConfig(config_path)) {
    ledger_->OnReload(*document);
    RecordCaps();
  }
}

void ReportFeed::ConfigFileChanged(std::string what) {
  if (for_report_) input_.config_changes.push_back({call_.time, false, std::move(what)});
}

void ReportFeed::ClockChanged(const OffsetChange& change) {
  if (!for_report_) return;
  report::ClockChangeMark mark{change.at, change.forward(),
                               std::abs(change.offset_after - change.offset_before),
                               DescribeClockChange(change)};
  std::set<std::string> shifted;
  for (const auto& [hour, minute] : ShiftedMinutes(change)) {
    shifted.insert(model::ClockText(hour, minute));
  }
  if (ledger_) {
    for (const model::EntryRules& entry : ledger_->rules().entries) {
      if (entry.table == report::Table::kClock && shifted.contains(entry.clock_text)) {
        mark.entries.push_back({entry.name, entry.clock_text});
      }
    }
  }
  input_.clock_changes.push_back(std::move(mark));
}

void ReportFeed::Spawned(const SpawnEvent& spawn) {
  if (!for_report_) return;
  const report::SpawnOwner owner = spawn.owner.value_or(report::SpawnOwner{});
  input_.spawns.push_back({call_.time, spawn.class_path, spawn.x, spawn.y, spawn.z, spawn.level,
                           owner.table, owner.entry});
}

std::vector<report::EntryRecord> ReportFeed::Entries() const {
  return ledger_ ? ledger_->Entries() : std::vector<report::EntryRecord>{};
}

std::string ReportFeed::Write(const std::string& path, std::int64_t start, std::int64_t end,
                              bool interrupted) const {
  report::ReportInput input = input_;
  input.start = start;
  input.end = end;
  input.interrupted = interrupted;
  input.time_zone = TimeZoneName(start);
  if (ledger_) input.entries = ledger_->Entries();
  OutputFile out;
  if (std::string why = out.Open(path, OutputFile::Mode::kTruncate); !why.empty()) {
    return "cannot be opened for writing: " + why;
  }
  report::WriteReport(input, out.stream());
  std::string why = out.Close();
  return why.empty() ? "" : "could not be written: " + why;
}

}  // namespace standin::sim
