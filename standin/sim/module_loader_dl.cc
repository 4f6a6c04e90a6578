#include <dlfcn.h>

#include "standin/sim/module_loader.h"

namespace standin::sim {

void* LoadModule(const std::string& path, std::string& error) {
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) error = dlerror();
  return module;
}

std::string UnloadModule(void* handle, const std::string& path) {
  dlclose(handle);
  // A module the loader keeps (unique symbols) would never run Unload.
  if (void* still = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD); still != nullptr) {
    dlclose(still);
    return "the plug-in module stayed loaded after dlclose; Unload did not run";
  }
  return "";
}

}  // namespace standin::sim
