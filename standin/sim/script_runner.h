// Runs the operator actions of a --script file when their second comes:
// RCON commands, configuration files replaced or deleted, creatures taken out
// of the level, players joining and leaving. Driven by the run loops on the
// simulator's game thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "standin/sim/inputs.h"
#include "standin/sim/recorder.h"
#include "standin/sim/server_root.h"
#include "standin/sim/session.h"

namespace standin::sim {

class ScriptRunner {
 public:
  // All four must outlive the runner.
  ScriptRunner(const std::vector<ScriptAction>& script, Session& session, Recorder& recorder,
               const ServerRoot& root)
      : script_(script), session_(session), recorder_(recorder), root_(root) {}

  // Runs every action due at or before `offset` seconds after the start.
  void RunUntil(std::int64_t offset);
  // The packet id for the next RCON command.
  std::int32_t NextPacketId() { return next_packet_id_++; }

 private:
  void Run(const ScriptAction& action);
  void ReplaceConfig(const std::string& source);
  void Kill(const std::string& class_name, int count, bool tamed);
  void PlayerLeaves(const std::string& name);

  const std::vector<ScriptAction>& script_;
  Session& session_;
  Recorder& recorder_;
  const ServerRoot& root_;
  std::size_t next_ = 0;
  std::int32_t next_packet_id_ = 1;
};

}  // namespace standin::sim
