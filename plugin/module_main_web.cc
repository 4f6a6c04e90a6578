// The module's entry in the web build, where the plug-in is linked into the
// host's program: the host calls it with the reasons a platform's loader
// gives, as it maps the module in and lets it go. Each attach starts from the
// state a freshly mapped library has, and each detach drops what the
// library's destructors would, so that a page runs any number of previews.
#include <cstdint>

#include "plugin/plugin.h"
#include "plugin/registry.h"

namespace {

namespace dk = drovekeeper;

void FreshState() {
  dk::config::state = dk::config::State{};
  dk::spawn::state = dk::spawn::State{};
  dk::plugin::state = dk::plugin::State{};
}

}  // namespace

extern "C" int ZelWebModuleEntry(void* module, std::uint32_t reason, void* reserved) {
  if (reason == dk::plugin::kProcessAttach) FreshState();
  const int result = dk::plugin::ModuleEntry(module, reason, reserved);
  if (reason == dk::plugin::kProcessDetach) FreshState();
  return result;
}
