// Fuzz target: arbitrary bytes as the simulator's script of timed operator
// actions, written to a file and read against a fixed world, as the simulator
// reads it. Reading may only succeed or throw standin::sim::InputError naming the
// file, and an accepted script must be in time order with every action
// complete.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "standin/sim/inputs.h"
#include "tests/support/scratch_dir.h"

namespace {

standin::sim::WorldSpec FixedWorld() {
  standin::sim::WorldSpec world;
  world.classes.push_back({"/Game/Rex.Rex_C", true, true});
  world.classes.push_back({"/Game/Fire.Fire_C", false, true});
  world.actors.push_back({"/Game/Rex.Rex_C", 0, 2});
  world.players.push_back({"alice", true});
  return world;
}

void CheckScript(const std::vector<standin::sim::ScriptAction>& actions,
                 const standin::sim::WorldSpec& world) {
  for (std::size_t i = 0; i < actions.size(); ++i) {
    const standin::sim::ScriptAction& action = actions[i];
    if (i > 0) {
      fuzz::Check(actions[i - 1].offset_seconds <= action.offset_seconds,
                  "accepted script is not in time order");
    }
    fuzz::Check(std::isfinite(action.minute) && action.minute >= 0,
                "accepted a minute before the start");
    fuzz::Check(action.offset_seconds == std::llround(action.minute * 60.0),
                "offset does not match the minute");
    using Kind = standin::sim::ScriptAction::Kind;
    if (action.kind == Kind::kKill) {
      fuzz::Check(world.FindClass(action.kill_class) != nullptr,
                  "accepted a kill of a class the world lacks");
      fuzz::Check(action.kill_count >= 1, "accepted a kill of no creature");
    } else if (action.kind != Kind::kConfigDelete) {
      // Command lines, paths and player names are never empty.
      fuzz::Check(!action.text.empty(), "accepted an action without its text");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const ScratchDir dir("drovekeeper-fuzz-script");
  // A readable file for "config_from" to find.
  [[maybe_unused]] static const std::string config = dir.Write("config.json", "{}");
  static const standin::sim::WorldSpec world = FixedWorld();
  const std::string script =
      dir.Write("script.json", std::string_view(reinterpret_cast<const char*>(data), size));
  try {
    CheckScript(standin::sim::ReadScriptFile(script, world), world);
  } catch (const standin::sim::InputError& e) {
    fuzz::Check(std::string(e.what()).starts_with(script + ": "),
                "an input error that does not name its file");
  } catch (const std::exception& e) {
    fuzz::Fail(std::string("script read threw an undocumented error: ") + e.what());
  }
  return 0;
}
