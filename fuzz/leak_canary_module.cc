// A module that leaks one block while it is loaded; see leak_canary.cc.
#include <cstdlib>

namespace {

void* volatile kept;

__attribute__((constructor)) void LeakOnLoad() {
  kept = std::malloc(83);
  kept = nullptr;
}

}  // namespace
