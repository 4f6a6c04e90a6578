// Serve() loads the serve module, from beside the program (a release
// archive) or from ../lib (the build tree), and runs it.
#include <dlfcn.h>

#include <filesystem>
#include <iostream>
#include <string>
#include <system_error>

#include "fleet/serve.h"

namespace drovekeeper::fleet {

int Serve(const std::vector<Server>& servers, const ServeOptions& options) {
  constexpr const char* kModule = "drovekeeper-fleet-serve.so";
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  std::filesystem::path module = program.parent_path() / kModule;
  if (!std::filesystem::exists(module, error)) {
    module = program.parent_path().parent_path() / "lib" / kModule;
  }
  // Never unloaded: the module's threads are gone when it returns, and the
  // program ends then.
  void* handle = dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const std::string why = dlerror();
    std::cerr << "drovekeeper-fleet serve: cannot load its module: " << why;
    if (why.find("libprometheus") != std::string::npos) {
      std::cerr << " (Debian: apt-get install libprometheus-cpp-pull1.0)";
    }
    std::cerr << "\n";
    return 2;
  }
  using Entry = int (*)(const void*, const void*);
  const auto serve = reinterpret_cast<Entry>(dlsym(handle, "drovekeeper_fleet_serve"));
  if (serve == nullptr) {
    std::cerr << "drovekeeper-fleet serve: " << module.string() << " is not its module\n";
    return 2;
  }
  return serve(&servers, &options);
}

}  // namespace drovekeeper::fleet
