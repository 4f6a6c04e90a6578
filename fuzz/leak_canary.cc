// Proves, in the sanitizer build, that LeakSanitizer is watching: it leaks on
// purpose, directly or from a module loaded with dlopen and unloaded with
// dlclose as the simulator does with the plug-in, and ctest expects the leak
// report. If the environment turns leak checking off (ASAN_OPTIONS, a tracer
// that LSan cannot run under), this fails instead of every other test passing
// without a leak check.
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void* volatile kept;

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "direct") == 0) {
    kept = std::malloc(61);
    kept = nullptr;
    return 0;
  }
  if (argc == 3 && std::strcmp(argv[1], "module") == 0) {
    void* module = dlopen(argv[2], RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
      std::fprintf(stderr, "dlopen: %s\n", dlerror());
      return 2;
    }
    dlclose(module);
    return 0;
  }
  std::fprintf(stderr, "usage: %s direct | module PATH\n", argv[0]);
  return 2;
}
