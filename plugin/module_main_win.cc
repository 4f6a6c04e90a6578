// The DLL's entry point. The Windows loader calls it when the host loads the
// library with LoadLibrary, when the process lets it go, and when threads
// start and end; it is the only way in, as the DLL exports nothing.
#include <windows.h>

#include <cstdint>

#include "plugin/plugin.h"

namespace plugin = drovekeeper::plugin;

static_assert(DLL_PROCESS_DETACH == plugin::kProcessDetach &&
              DLL_PROCESS_ATTACH == plugin::kProcessAttach &&
              DLL_THREAD_ATTACH == plugin::kThreadAttach &&
              DLL_THREAD_DETACH == plugin::kThreadDetach);

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID reserved) {
  return plugin::ModuleEntry(module, static_cast<std::uint32_t>(reason), reserved);
}
