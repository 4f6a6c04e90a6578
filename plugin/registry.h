// The plug-in's process-wide state, all of it: one State per layer, each
// declared in its layer's state.h (config -> spawn -> plugin, as each layer
// sees only those below it), and the one reset that gives each the value a
// freshly mapped library has. A member added to a State is reset by
// construction; tools/house holds that no other object of the plug-in's
// outlives a call. Tests and fuzz targets reset through here between cases.
//
// Lifetime: the loader runs Load from the module's constructor
// (plugin/module_main.cc), in no fixed order with the library's own
// unprioritised static initialisers, and the runtime destroys the objects
// after Unload. So each State is constructed ahead of every unprioritised
// constructor (init_priority), and whatever else Load touches is constant.
#pragma once

#include "config/state.h"
#include "plugin/log.h"
#include "plugin/state.h"
#include "spawn/state.h"

namespace drovekeeper::plugin {

// Every State as a freshly mapped library has it, and then the logger the
// library would make on first use, over the host's log sinks of the moment.
inline void ResetPluginState() {
  config::state = config::State{};
  spawn::state = spawn::State{};
  plugin::state = plugin::State{};
  CreatePluginLogger();
}

}  // namespace drovekeeper::plugin
