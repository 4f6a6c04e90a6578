#include "standin/sim/report_feed.h"

#include <spdlog/sinks/base_sink.h>

#include <ctime>
#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>

#include "host/game_types.h"
#include "standin/game/world.h"
#include "standin/host/host.h"
#include "standin/sim/recorder.h"

namespace sim {
namespace {

constexpr char kTimerName[] = "Drovekeeper.TimingSpawn";
constexpr char kReloadCommand[] = "drovekeeper.reload";
constexpr char kReloadReply[] = "重新加载配置";

using ClassLoader = standin::GameClass* (*)(const GameStringRecord*);
using Spawner = standin::Actor* (*)(UWorld*, standin::GameClass*, const Vec3*, const Rot3*,
                                    const SpawnParameters*);

// The game's own functions behind the wrappers, and where the wrappers
// record. One feed per process.
ClassLoader original_loader = nullptr;
Spawner original_spawner = nullptr;
std::vector<report::GameCall>* recorded_calls = nullptr;
std::string last_loaded_path;

std::string PathText(const GameStringRecord* path) {
  if (path == nullptr || path->data == nullptr || path->count <= 1) return "";
  return standin::Utf16ToUtf8(std::u16string_view(path->data, path->count - 1));
}

standin::GameClass* WatchedLoadClass(const GameStringRecord* path) {
  standin::GameClass* loaded = original_loader(path);
  last_loaded_path = PathText(path);
  if (recorded_calls != nullptr) {
    recorded_calls->push_back(
        {report::GameCall::Kind::kClassLoad, last_loaded_path, loaded != nullptr});
  }
  return loaded;
}

standin::Actor* WatchedSpawnActor(UWorld* world, standin::GameClass* game_class,
                                  const Vec3* location, const Rot3* rotation,
                                  const SpawnParameters* parameters) {
  standin::Actor* actor = original_spawner(world, game_class, location, rotation, parameters);
  if (recorded_calls != nullptr) {
    recorded_calls->push_back({report::GameCall::Kind::kSpawn, last_loaded_path, actor != nullptr});
  }
  return actor;
}

std::optional<nlohmann::json> ReadConfig(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  try {
    nlohmann::json document;
    file >> document;
    return document;
  } catch (const nlohmann::json::exception&) {
    return std::nullopt;
  }
}

std::string TimeZoneName(std::int64_t at) {
  if (const char* tz = std::getenv("TZ"); tz != nullptr && *tz != '\0') return tz;
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
                       bool for_report)
    : for_report_(for_report), sink_(std::make_shared<Sink>(*this)) {
  input_.config_file = std::move(config_name);
  input_.world_name = std::move(world_name);
  input_.map = {world.settings.latitude_scale, world.settings.longitude_scale,
                world.settings.latitude_origin, world.settings.longitude_origin};
  for (const ClassSpec& c : world.classes) {
    if (c.creature) class_references_.push_back(c.reference);
  }
}

ReportFeed::~ReportFeed() {
  if (recorded_calls == &call_.calls) recorded_calls = nullptr;
}

void ReportFeed::WatchGameCalls() {
  original_loader = reinterpret_cast<ClassLoader>(standin::GetAddress("UVictoryCore.BPLoadClass"));
  original_spawner = reinterpret_cast<Spawner>(standin::GetAddress("UWorld.SpawnActor"));
  if (original_loader == nullptr || original_spawner == nullptr) return;
  standin::RegisterFunction("UVictoryCore.BPLoadClass", &WatchedLoadClass);
  standin::RegisterFunction("UWorld.SpawnActor", &WatchedSpawnActor);
  recorded_calls = &call_.calls;
}

void ReportFeed::AfterLoad(const std::string& config_path) {
  if (!standin::HasTimer(kTimerName)) return;
  if (std::optional<nlohmann::json> document = ReadConfig(config_path)) {
    ledger_.emplace(*document);
    ledger_->KeepOutcomes(for_report_);
  }
}

void ReportFeed::BeforeTimerCall(const standin::World& world) {
  call_.calls.clear();
  call_.log_lines.clear();
  call_.wild_counts.clear();
  if (!ledger_) return;
  const auto t = static_cast<std::time_t>(call_.time);
  std::tm local{};
  localtime_r(&t, &local);
  call_.local_hour = local.tm_hour;
  call_.local_minute = local.tm_min;
  for (const std::string& reference : class_references_) {
    const standin::GameClass* game_class = world.FindClass(reference);
    const int count = game_class == nullptr ? 0 : world.CountCreatures(game_class, true);
    if (count > 0) call_.wild_counts[standin::BlueprintFromReference(reference)] = count;
  }
}

void ReportFeed::AfterTimerCall() {
  if (ledger_) ledger_->OnTimerCall(call_);
  call_.calls.clear();
  call_.log_lines.clear();
}

void ReportFeed::AfterRcon(const std::string& command, const std::optional<std::string>& reply,
                           const std::string& config_path) {
  std::string name = command.substr(0, command.find(' '));
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (name != kReloadCommand || reply != kReloadReply || !ledger_) return;
  if (std::optional<nlohmann::json> document = ReadConfig(config_path))
    ledger_->OnReload(*document);
}

void ReportFeed::Spawned(const std::string& class_path, float x, float y, float z,
                         std::int32_t level) {
  if (!for_report_) return;
  input_.spawns.push_back({call_.time, class_path, x, y, z, level});
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
  std::ofstream out(path, std::ios::trunc);
  if (!out) return "cannot be opened for writing";
  report::WriteReport(input, out);
  out.close();
  return out ? "" : "could not be written";
}

}  // namespace sim
