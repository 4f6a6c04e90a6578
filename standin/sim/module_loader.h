// How the stand-in host maps the plug-in module in and lets it go. Natively
// the dynamic loader does it, and the module's constructors and destructors
// call its entry; the web build has the module linked into the program and
// calls that entry itself, with the reasons the loader would give. Used by
// Session only.
#pragma once

#include <string>

namespace standin::sim {

// The module's handle; null, with `error` set, when it cannot be loaded.
void* LoadModule(const std::string& path, std::string& error);

// Lets the module go; empty, or why its unload did not run.
std::string UnloadModule(void* handle, const std::string& path);

}  // namespace standin::sim
