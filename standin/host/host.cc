// The stand-in host: the ZelApi functions the plug-in imports, and their
// control side for the simulator and the tests.
#include "standin/host/host.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <map>
#include <shared_mutex>
#include <utility>

#include "host/game_types.h"

namespace standin::host {
namespace {

template <typename Callback>
struct Registered {
  std::uint64_t id;
  Callback callback;
};

using TimerMap = std::map<std::string, Registered<ZelApi::TimerCallback>, std::less<>>;
using RconMap = std::map<std::string, Registered<ZelApi::RconCommandCallback>, std::less<>>;

struct State {
  std::shared_mutex names_mutex;
  std::map<std::string, void*, std::less<>> functions;
  std::map<std::string, std::ptrdiff_t, std::less<>> members;

  std::mutex mutex;  // everything below but the game thread lock
  TimerMap timers;
  RconMap rcon;
  std::uint64_t next_id = 1;
  std::function<void(const RegistrationEvent&)> observer;
  bool report_unknown_removals = false;
  CallbackFailures failures;
  UWorld* world = nullptr;
  std::string current_dir;
  std::vector<spdlog::sink_ptr> sinks;

  std::recursive_mutex game_thread;
};

// Never destroyed: the plug-in may unregister from its own static
// destructors after ours would have run.
State& TheState() {
  static State* state = new State;
  return *state;
}

std::string NameOf(const GameString& name) {
  const auto& record = reinterpret_cast<const GameStringRecord&>(name);
  if (record.data == nullptr || record.count <= 1) return {};
  return Utf16ToUtf8(std::u16string_view(record.data, record.count - 1));
}

void Notify(CommandKind kind, std::string name, bool added, bool was_registered = true) {
  std::function<void(const RegistrationEvent&)> observer;
  {
    std::lock_guard lock(TheState().mutex);
    if (!was_registered && !TheState().report_unknown_removals) return;
    observer = TheState().observer;
  }
  if (observer) observer(RegistrationEvent{kind, std::move(name), added, was_registered});
}

template <typename Map, typename Callback>
void Add(Map& map, CommandKind kind, const GameString& name, const Callback& callback) {
  std::string key = NameOf(name);
  {
    State& state = TheState();
    std::lock_guard lock(state.mutex);
    map.insert_or_assign(key, Registered<Callback>{state.next_id++, callback});
  }
  Notify(kind, std::move(key), true);
}

template <typename Map>
bool Remove(Map& map, CommandKind kind, const GameString& name) {
  std::string key = NameOf(name);
  bool found = false;
  {
    std::lock_guard lock(TheState().mutex);
    auto it = map.find(key);
    found = it != map.end();
    if (found) map.erase(it);
  }
  Notify(kind, std::move(key), false, found);
  return found;
}

template <typename Map>
std::vector<std::string> Names(const Map& map) {
  std::lock_guard lock(TheState().mutex);
  std::vector<std::string> names;
  for (const auto& [name, entry] : map) names.push_back(name);
  return names;
}

template <typename Map>
bool Has(const Map& map, std::string_view name) {
  std::lock_guard lock(TheState().mutex);
  return map.find(name) != map.end();
}

void RecordFailure(std::string message) {
  std::lock_guard lock(TheState().mutex);
  TheState().failures.count++;
  TheState().failures.last_message = std::move(message);
}

// Runs `call`, recording anything that escapes it.
template <typename Call>
void Guarded(Call&& call) {
  try {
    call();
  } catch (const std::exception& e) {
    RecordFailure(e.what());
  } catch (...) {
    RecordFailure("unknown exception");
  }
}

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualFolded(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return FoldAscii(x) == FoldAscii(y);
         });
}

class Commands final : public ZelApi::ICommands {
 public:
  void AddRconCommand(const GameString& name,
                      const ZelApi::RconCommandCallback& callback) override {
    Add(TheState().rcon, CommandKind::kRcon, name, callback);
  }
  void AddOnTimerCallback(const GameString& name, const ZelApi::TimerCallback& callback) override {
    Add(TheState().timers, CommandKind::kTimer, name, callback);
  }
  bool RemoveRconCommand(const GameString& name) override {
    return Remove(TheState().rcon, CommandKind::kRcon, name);
  }
  bool RemoveOnTimerCallback(const GameString& name) override {
    return Remove(TheState().timers, CommandKind::kTimer, name);
  }
};

class ApiUtils final : public ZelApi::IApiUtils {
 public:
  UWorld* GetWorld() override { return host::GetWorld(); }
};

}  // namespace

void RegisterFunction(std::string_view name, void* address) {
  std::unique_lock lock(TheState().names_mutex);
  TheState().functions.insert_or_assign(std::string(name), address);
}

void RegisterMember(std::string_view name, std::ptrdiff_t offset) {
  std::unique_lock lock(TheState().names_mutex);
  TheState().members.insert_or_assign(std::string(name), offset);
}

bool Unregister(std::string_view name) {
  State& state = TheState();
  std::unique_lock lock(state.names_mutex);
  bool removed = false;
  if (auto it = state.functions.find(name); it != state.functions.end()) {
    state.functions.erase(it);
    removed = true;
  }
  if (auto it = state.members.find(name); it != state.members.end()) {
    state.members.erase(it);
    removed = true;
  }
  return removed;
}

void ClearNames() {
  std::unique_lock lock(TheState().names_mutex);
  TheState().functions.clear();
  TheState().members.clear();
}

void* GetAddress(std::string_view name) {
  std::shared_lock lock(TheState().names_mutex);
  auto it = TheState().functions.find(name);
  return it == TheState().functions.end() ? nullptr : it->second;
}

std::uint64_t GetAddress(const void* object, std::string_view name) {
  if (object == nullptr) return 0;
  std::shared_lock lock(TheState().names_mutex);
  auto it = TheState().members.find(name);
  if (it == TheState().members.end()) return 0;
  return reinterpret_cast<std::uint64_t>(object) + static_cast<std::uint64_t>(it->second);
}

std::string_view CommandKindName(CommandKind kind) {
  return kind == CommandKind::kTimer ? "timer" : "rcon";
}

void SetRegistrationObserver(std::function<void(const RegistrationEvent&)> observer) {
  std::lock_guard lock(TheState().mutex);
  TheState().observer = std::move(observer);
}

void ReportUnknownRemovals(bool report) {
  std::lock_guard lock(TheState().mutex);
  TheState().report_unknown_removals = report;
}

std::vector<std::string> TimerNames() { return Names(TheState().timers); }
std::vector<std::string> RconCommandNames() { return Names(TheState().rcon); }
bool HasTimer(std::string_view name) { return Has(TheState().timers, name); }
bool HasRconCommand(std::string_view name) { return Has(TheState().rcon, name); }

CallbackFailures Failures() {
  std::lock_guard lock(TheState().mutex);
  return TheState().failures;
}

void ClearFailures() {
  std::lock_guard lock(TheState().mutex);
  TheState().failures = {};
}

int RunTimers() {
  State& state = TheState();
  auto game_thread = LockGameThread();
  std::vector<std::pair<std::string, std::uint64_t>> due;
  {
    std::lock_guard lock(state.mutex);
    for (const auto& [name, entry] : state.timers) due.emplace_back(name, entry.id);
  }
  int ran = 0;
  for (const auto& [name, id] : due) {
    ZelApi::TimerCallback callback;
    {
      // A callback run earlier in this round may have removed or replaced it.
      std::lock_guard lock(state.mutex);
      auto it = state.timers.find(name);
      if (it == state.timers.end() || it->second.id != id) continue;
      callback = it->second.callback;
    }
    ++ran;
    Guarded([&] { callback(); });
  }
  return ran;
}

std::string_view RconCommandName(std::string_view command_line) {
  constexpr std::string_view kBlanks = " \t\r\n";
  const std::size_t begin = command_line.find_first_not_of(kBlanks);
  if (begin == std::string_view::npos) return {};
  command_line.remove_prefix(begin);
  return command_line.substr(0, command_line.find_first_of(kBlanks));
}

bool DispatchRcon(std::string_view command_line, RCONClientConnection* connection,
                  RCONPacket* packet) {
  std::string_view word = RconCommandName(command_line);
  if (word.empty()) return false;
  State& state = TheState();
  auto game_thread = LockGameThread();
  ZelApi::RconCommandCallback callback;
  {
    std::lock_guard lock(state.mutex);
    auto it = std::find_if(state.rcon.begin(), state.rcon.end(),
                           [&](const auto& entry) { return EqualFolded(entry.first, word); });
    if (it == state.rcon.end()) return false;
    callback = it->second.callback;
  }
  UWorld* world = GetWorld();
  Guarded([&] { callback(connection, packet, world); });
  return true;
}

std::unique_lock<std::recursive_mutex> LockGameThread() {
  return std::unique_lock(TheState().game_thread);
}

void SetWorld(UWorld* world) {
  std::lock_guard lock(TheState().mutex);
  TheState().world = world;
}

UWorld* GetWorld() {
  std::lock_guard lock(TheState().mutex);
  return TheState().world;
}

void SetCurrentDir(std::string dir) {
  std::lock_guard lock(TheState().mutex);
  TheState().current_dir = std::move(dir);
}

std::string GetCurrentDir() {
  std::string dir;
  {
    std::lock_guard lock(TheState().mutex);
    dir = TheState().current_dir;
  }
  if (dir.empty()) dir = std::filesystem::current_path().string();
  while (!dir.empty() && dir.back() == '/') dir.pop_back();
  return dir;
}

std::vector<spdlog::sink_ptr>& LogSinks() { return TheState().sinks; }

void Reset() {
  ClearNames();
  State& state = TheState();
  std::lock_guard lock(state.mutex);
  state.timers.clear();
  state.rcon.clear();
  state.observer = nullptr;
  state.report_unknown_removals = false;
  state.failures = {};
  state.world = nullptr;
  state.current_dir.clear();
  state.sinks.clear();
}

}  // namespace standin::host

namespace ZelApi {

ICommands& GetCommands() {
  static auto* commands = new standin::host::Commands;
  return *commands;
}

IApiUtils& GetApiUtils() {
  static auto* utils = new standin::host::ApiUtils;
  return *utils;
}

std::vector<spdlog::sink_ptr>& GetLogSinks() { return standin::host::LogSinks(); }

void* GetAddress(std::string_view name) { return standin::host::GetAddress(name); }

std::uint64_t GetAddress(const void* object, std::string_view name) {
  return standin::host::GetAddress(object, name);
}

namespace Tools {

std::string GetCurrentDir() { return standin::host::GetCurrentDir(); }

std::u16string Utf8Decode(const std::string& text) { return standin::host::Utf8ToUtf16(text); }

}  // namespace Tools
}  // namespace ZelApi
