// The shared module's load and unload hooks. The loader runs them when the
// host maps the library in and when the process lets it go; they are the
// only way in, as the library exports nothing.
#include <dlfcn.h>

#include "plugin/plugin.h"

namespace {

const char kAnchor = 0;

// The module's base address, which the host knows the module by.
void* ModuleHandle() {
  Dl_info info{};
  if (dladdr(&kAnchor, &info) == 0) return nullptr;
  return info.dli_fbase;
}

// Runs in no fixed order with the library's unprioritised static
// initialisers; plugin/registry.h says why the objects Load uses exist by then.
__attribute__((constructor)) void OnModuleLoad() {
  drovekeeper::plugin::ModuleEntry(ModuleHandle(), drovekeeper::plugin::kProcessAttach, nullptr);
}

__attribute__((destructor)) void OnModuleUnload() {
  drovekeeper::plugin::ModuleEntry(ModuleHandle(), drovekeeper::plugin::kProcessDetach, nullptr);
}

}  // namespace
