// Fuzz target: arbitrary bytes as config.json, through the plug-in's whole
// life in the stand-in host. Each input is written as the configuration file,
// the module entry loads the plug-in, the timer runs both schedules over a
// small stand-in world for a few simulated minutes across midnight, the
// reload command is sent over a stand-in RCON connection, and the module
// entry unloads the plug-in.
//
// After each input: no exception escaped a host callback, nothing is left
// registered, every game allocator block is freed and none was freed twice,
// and a plug-in that loaded the file reloads the same file successfully.
#include <spdlog/sinks/null_sink.h>
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "config/config.h"
#include "fuzz/fuzz_check.h"
#include "plugin/plugin.h"
#include "plugin/reload.h"
#include "spawn/tick.h"
#include "standin/game/allocator.h"
#include "standin/game/rcon.h"
#include "standin/game/world.h"
#include "standin/host/host.h"

namespace {

constexpr int kMinutesBeforeReload = 4;
constexpr std::int32_t kReloadPacketId = 7;
// 23:58 local: the run crosses midnight, so "23:59", "0:0" and "0:1" fire.
constexpr int kStartHour = 23;
constexpr int kStartMinute = 58;
constexpr std::int64_t kStartTicks = 17'000'000'000'000'000;

// A temporary server root holding the configuration file, removed at exit.
class ServerRoot {
 public:
  ServerRoot() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "drovekeeper-fuzz-XXXXXX").string();
    fuzz::Check(mkdtemp(pattern.data()) != nullptr, "cannot create a temporary server root");
    dir_ = pattern;
    config_ = dir_ / "ZelApi" / "Plugins" / "Drovekeeper" / "config.json";
    std::filesystem::create_directories(config_.parent_path());
  }
  ~ServerRoot() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  ServerRoot(const ServerRoot&) = delete;
  ServerRoot& operator=(const ServerRoot&) = delete;

  const std::filesystem::path& dir() const { return dir_; }

  void WriteConfig(std::string_view bytes) const {
    std::ofstream out(config_, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    fuzz::Check(out.good(), "cannot write the configuration file");
  }

 private:
  std::filesystem::path dir_;
  std::filesystem::path config_;
};

// Classes the seed configurations name, in both spellings the game knows,
// plus one the game refuses to spawn and one that is no creature.
void Populate(standin::World& world) {
  standin::GameClass* rex = world.AddClass("/Game/Rex.Rex_C");
  standin::GameClass* anky = world.AddClass("/Game/Anky.Anky_C");
  world.AddClass("/Game/Dodo.Dodo_C", /*creature=*/true, /*spawnable=*/false);
  standin::GameClass* fire = world.AddClass("/Game/Fire.Fire_C", /*creature=*/false);
  world.AddCreature(rex, /*team=*/0, /*level=*/30);
  world.AddCreature(rex, /*team=*/0, /*level=*/5);
  world.AddCreature(rex, /*team=*/50000, /*level=*/90);
  world.AddCreature(anky, /*team=*/0, /*level=*/12);
  world.AddActor(fire);
  world.AddNullActor();
  world.AddPlayer("alice");
  world.AddPlayer("bob");
  world.AddPlayer("ghost", /*resolvable=*/false);
  world.SetWorldSettings(standin::WorldSettings{800, 800, -400000, -400000});
}

// The plug-in's process-wide objects as a freshly mapped library has them.
void ForgetPluginState() {
  ConfigDocument = nullptr;
  CountdownTable = nullptr;
  ClockTable = nullptr;
  NextRunTicks = 0;
  ForgetEntryFaults();
}

void CheckNothingRegistered(std::string_view when) {
  fuzz::Check(standin::TimerNames().empty() && standin::RconCommandNames().empty(),
              std::string("callbacks left registered ") + std::string(when));
}

void CheckReload(bool active, bool dispatched, const standin::RconConnection& connection) {
  if (!active) {
    fuzz::Check(!dispatched, "reload dispatched to an inert plug-in");
    fuzz::Check(connection.replies().empty(), "an inert plug-in replied");
    return;
  }
  fuzz::Check(dispatched, "the reload command of a loaded plug-in was not found");
  fuzz::Check(connection.replies().size() == 1, "reload did not send exactly one reply");
  const standin::RconMessage& reply = connection.replies().front();
  fuzz::Check(reply.id == kReloadPacketId && reply.zero == 0,
              "reload reply does not echo the packet id with 0");
  // The file is unchanged since it loaded, so reading it again must succeed.
  fuzz::Check(reply.text == kReloadReply, "reloading the file that loaded failed");
}

void RunOnce(const ServerRoot& root, std::string_view bytes) {
  ForgetPluginState();
  standin::Reset();
  standin::RegisterAllocator();
  standin::SetCurrentDir(root.dir().string());
  standin::LogSinks().push_back(std::make_shared<spdlog::sinks::null_sink_mt>());
  const std::size_t live_blocks = standin::LiveBlocks();
  const std::uint64_t bad_frees = standin::BadFrees();

  root.WriteConfig(bytes);
  {
    standin::World world(/*seed=*/11);
    Populate(world);
    world.Install();
    fuzz::FixedEnv env(kStartTicks, kStartHour, kStartMinute, {0, 1, 7, 30000, 32767, 4, 12345});
    fuzz::ScopedFuzzEnv scoped_env(env);

    fuzz::Check(ModuleEntry(nullptr, kProcessAttach, nullptr) == 1, "attach did not return 1");
    const bool active = standin::HasTimer(kTimerCallbackName);
    fuzz::Check(active == standin::HasRconCommand(kReloadCommandName),
                "load registered only one of its two callbacks");
    for (int minute = 0; minute < kMinutesBeforeReload; ++minute) {
      standin::RunTimers();
      env.AdvanceMinute();
    }

    standin::RconConnection connection;
    standin::RconPacket request(kReloadPacketId, u"Drovekeeper.reload");
    const bool dispatched =
        standin::DispatchRcon("Drovekeeper.reload", connection.game(), request.game());
    CheckReload(active, dispatched, connection);
    standin::RunTimers();
    if (std::getenv("FUZZ_VERBOSE") != nullptr) {
      // For whoever writes seeds: how deep this input reached.
      std::fprintf(stderr, "  %s, %zu spawns, %zu notices, %zu draws, reply %zu\n",
                   active ? "loaded" : "inert", world.Spawns().size(), world.notices().size(),
                   env.draws_taken(), connection.replies().size());
    }

    fuzz::Check(ModuleEntry(nullptr, kProcessDetach, nullptr) == 1, "detach did not return 1");
    CheckNothingRegistered("after unload");
  }
  const standin::CallbackFailures failures = standin::Failures();
  if (failures.count != 0) {
    fuzz::Fail("an exception left a host callback: " + failures.last_message);
  }
  fuzz::Check(standin::LiveBlocks() == live_blocks, "game allocator blocks leaked");
  fuzz::Check(standin::BadFrees() == bad_frees, "free of a block the game never handed out");
  ForgetPluginState();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const ServerRoot root;
  RunOnce(root, std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
