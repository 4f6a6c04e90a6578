#include <cstdint>

#include "standin/sim/module_loader.h"

// The entry of the plug-in module linked into the web program, which the
// host calls as the platform's loader calls a module's entry.
extern "C" int ZelWebModuleEntry(void* module, std::uint32_t reason, void* reserved);

namespace standin::sim {
namespace {

// The loader's reasons.
constexpr std::uint32_t kProcessDetach = 0;
constexpr std::uint32_t kProcessAttach = 1;

// Stands for the module's base address: one module, always mapped.
const char module_base = 0;

}  // namespace

void* LoadModule(const std::string& /*path*/, std::string& /*error*/) {
  void* module = const_cast<char*>(&module_base);
  ZelWebModuleEntry(module, kProcessAttach, nullptr);
  return module;
}

std::string UnloadModule(void* handle, const std::string& /*path*/) {
  ZelWebModuleEntry(handle, kProcessDetach, nullptr);
  return "";
}

}  // namespace standin::sim
