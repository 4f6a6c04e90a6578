// Fuzz target: arbitrary bytes as the simulator's world file. Reading it may
// only succeed or throw standin::sim::InputError; a world it accepts must hold what
// the simulator relies on when it builds the stand-in world from it.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <set>
#include <string>

#include "fuzz/fuzz_check.h"
#include "standin/sim/inputs.h"

namespace {

void CheckWorld(const standin::sim::WorldSpec& world) {
  std::set<std::string> references;
  for (const standin::sim::ClassSpec& c : world.classes) {
    fuzz::Check(!c.reference.empty(), "accepted a class without a reference");
    fuzz::Check(references.insert(c.reference).second, "accepted a class listed twice");
  }
  for (const standin::sim::ActorSpec& a : world.actors) {
    fuzz::Check(world.FindClass(a.class_reference) != nullptr,
                "accepted actors of a class the world lacks");
    fuzz::Check(a.count >= 0 && a.count <= 100000, "accepted an actor count out of range");
  }
  for (const standin::sim::PlayerSpec& p : world.players) {
    fuzz::Check(!p.name.empty(), "accepted a player without a name");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  try {
    CheckWorld(standin::sim::ParseWorldText(text, "world.json"));
  } catch (const standin::sim::InputError& e) {
    fuzz::Check(std::string(e.what()).starts_with("world.json: "),
                "an input error that does not name its file");
  } catch (const std::exception& e) {
    fuzz::Fail(std::string("world file read threw an undocumented error: ") + e.what());
  }
  return 0;
}
