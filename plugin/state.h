// The module layer's process-wide state: the load and reload record the
// status command reports and the plug-in's logger. Declared here alone, so
// that a new member is reset with the rest when plugin/registry.h assigns a
// fresh State. Written by plugin/status.cc (the record) and plugin/log.cc
// (the logger).
#pragma once

#include <spdlog/logger.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace drovekeeper::plugin {

// What the status command says of the load and the last reload.
struct StatusRecord {
  std::int64_t loaded_ticks = 0;
  bool reloaded = false;
  std::int64_t reload_ticks = 0;
  std::optional<std::string> refusal;  // why the last reload was refused
  std::string fingerprint;             // of the bytes in force
};

struct State {
  StatusRecord status_record;
  // Only Load and the reload command replace the logger, and the host never
  // runs them at the same time.
  std::shared_ptr<spdlog::logger> logger;
};

// Constructed ahead of every unprioritised constructor: the module's load
// hook (plugin/module_main.cc) runs Load from one.
extern State state;

}  // namespace drovekeeper::plugin
