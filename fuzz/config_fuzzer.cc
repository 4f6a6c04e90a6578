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

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "plugin/plugin.h"
#include "plugin/reload.h"
#include "plugin/registry.h"
#include "spawn/entry_faults.h"
#include "spawn/tick.h"
#include "standin/game/allocator.h"
#include "standin/game/console.h"
#include "standin/game/world.h"
#include "standin/host/host.h"
#include "tests/support/host_session.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/scripted_clock.h"

namespace {

constexpr int kMinutesBeforeReload = 4;
constexpr std::int32_t kReloadPacketId = 7;
// 23:58 local: the run crosses midnight, so "23:59", "0:0" and "0:1" fire.
constexpr int kStartHour = 23;
constexpr int kStartMinute = 58;
constexpr std::int64_t kStartTicks = 17'000'000'000'000'000;

constexpr char kConfigName[] = "ZelApi/Plugins/Drovekeeper/config.json";

// Classes the seed configurations name, in both spellings the game knows,
// plus one the game refuses to spawn and one that is no creature.
void Populate(standin::game::World& world) {
  standin::game::GameClass* rex = world.AddClass("/Game/Rex.Rex_C");
  standin::game::GameClass* anky = world.AddClass("/Game/Anky.Anky_C");
  world.AddClass("/Game/Dodo.Dodo_C", /*creature=*/true, /*spawnable=*/false);
  standin::game::GameClass* fire = world.AddClass("/Game/Fire.Fire_C", /*creature=*/false);
  world.AddCreature(rex, /*team=*/0, /*level=*/30);
  world.AddCreature(rex, /*team=*/0, /*level=*/5);
  world.AddCreature(rex, /*team=*/50000, /*level=*/90);
  world.AddCreature(anky, /*team=*/0, /*level=*/12);
  world.AddActor(fire);
  world.AddNullActor();
  world.AddPlayer("alice");
  world.AddPlayer("bob");
  world.AddPlayer("ghost", /*resolvable=*/false);
  world.SetWorldSettings(standin::game::WorldSettings{800, 800, -400000, -400000});
}

void CheckNothingRegistered(std::string_view when) {
  fuzz::Check(standin::host::TimerNames().empty() && standin::host::RconCommandNames().empty(),
              std::string("callbacks left registered ") + std::string(when));
}

void CheckReload(bool active, bool dispatched, const standin::game::RconConnection& connection) {
  if (!active) {
    fuzz::Check(!dispatched, "reload dispatched to an inert plug-in");
    fuzz::Check(connection.replies().empty(), "an inert plug-in replied");
    return;
  }
  fuzz::Check(dispatched, "the reload command of a loaded plug-in was not found");
  fuzz::Check(connection.replies().size() == 1, "reload did not send exactly one reply");
  const standin::game::RconMessage& reply = connection.replies().front();
  fuzz::Check(reply.id == kReloadPacketId && reply.zero == 0,
              "reload reply does not echo the packet id with 0");
  // The file is unchanged since it loaded, so reading it again must succeed.
  fuzz::Check(reply.text == drovekeeper::plugin::kReloadReply,
              "reloading the file that loaded failed");
}

void RunOnce(const ScratchDir& root, std::string_view bytes) {
  root.Write(kConfigName, bytes);
  HostSession session(root.path(), std::make_shared<spdlog::sinks::null_sink_mt>());
  drovekeeper::plugin::ResetPluginState();
  {
    standin::game::World world(/*seed=*/11);
    Populate(world);
    world.Install();
    ScriptedClock env;
    env.SetNowTicks(kStartTicks);
    env.SetLocalTime(kStartHour, kStartMinute);
    env.RepeatDraws({0, 1, 7, 30000, 32767, 4, 12345});
    ScopedEnv scoped_env(env);

    fuzz::Check(drovekeeper::plugin::ModuleEntry(nullptr, drovekeeper::plugin::kProcessAttach,
                                                 nullptr) == 1,
                "attach did not return 1");
    const bool active = standin::host::HasTimer(drovekeeper::plugin::kTimerCallbackName);
    fuzz::Check(active == standin::host::HasRconCommand(drovekeeper::plugin::kReloadCommandName),
                "load registered only one of its two callbacks");
    for (int minute = 0; minute < kMinutesBeforeReload; ++minute) {
      standin::host::RunTimers();
      env.AdvanceSeconds(60);
    }

    standin::game::RconConnection connection;
    standin::game::RconPacket request(kReloadPacketId, u"Drovekeeper.reload");
    const bool dispatched =
        standin::host::DispatchRcon("Drovekeeper.reload", connection.game(), request.game());
    CheckReload(active, dispatched, connection);
    standin::host::RunTimers();
    if (std::getenv("FUZZ_VERBOSE") != nullptr) {
      // For whoever writes seeds: how deep this input reached.
      std::fprintf(stderr, "  %s, %zu spawns, %zu notices, %d draws, reply %zu\n",
                   active ? "loaded" : "inert", world.Spawns().size(), world.notices().size(),
                   env.DrawsTaken(), connection.replies().size());
    }

    fuzz::Check(drovekeeper::plugin::ModuleEntry(nullptr, drovekeeper::plugin::kProcessDetach,
                                                 nullptr) == 1,
                "detach did not return 1");
    CheckNothingRegistered("after unload");
  }
  const standin::host::CallbackFailures failures = standin::host::Failures();
  if (failures.count != 0) {
    fuzz::Fail("an exception left a host callback: " + failures.last_message);
  }
  fuzz::Check(session.LeakedBlocks() == 0, "game allocator blocks leaked");
  fuzz::Check(session.NewBadFrees() == 0, "free of a block the game never handed out");
  drovekeeper::plugin::ResetPluginState();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const ScratchDir root("drovekeeper-fuzz");
  RunOnce(root, std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
