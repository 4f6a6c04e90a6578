// The configuration layer's process-wide state: the parsed file and the two
// schedule tables built from it, by the names config/config.h gives them.
// Declared here alone, so that a new member is reset with the rest when
// plugin/registry.h assigns a fresh State. Only config/ and plugin/'s
// reading of the file write it.
#pragma once

#include <nlohmann/json.hpp>

namespace drovekeeper::config {

struct State {
  nlohmann::json config_document;  // ConfigDocument
  nlohmann::json countdown_table;  // CountdownTable: "SpawnDino" name -> runs left
  nlohmann::json clock_table;      // ClockTable: "SpawnDinoX" name -> clock text
};

// Constructed ahead of every unprioritised constructor: the module's load
// hook (plugin/module_main.cc) runs Load from one, and what Load fills must
// not be reset after it.
extern State state;

}  // namespace drovekeeper::config
