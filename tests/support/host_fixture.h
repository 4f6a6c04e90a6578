// Base fixture for tests that run plug-in code against the stand-in host:
// the plug-in's process-wide objects reset (plugin/registry.h), a clean host
// with the game allocator installed, a fresh working directory, a capturing
// log sink with the plug-in's logger over it, an optional stand-in world, and
// a leak check of the game allocator at the end.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>

#include "standin/game/world.h"
#include "tests/support/capture_sink.h"
#include "tests/support/host_session.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/world_builder.h"

class HostFixture : public ::testing::Test {
 protected:
  // Resets the plug-in's objects before a derived fixture's members, a
  // ScopedEnv among them, take their place.
  HostFixture();
  void SetUp() override;
  // Expects every game allocator block of the test to be freed again, and
  // no bad free; then resets the host and the plug-in's objects.
  void TearDown() override;

  // The host's working directory for this test; removed afterwards.
  const std::filesystem::path& dir() const { return dir_; }
  std::filesystem::path ConfigPath() const;
  // Writes `text` to DIR/ZelApi/Plugins/Drovekeeper/config.json.
  void WriteConfig(std::string_view text) const;

  // Builds the world, installs it in the host and keeps it until the end of
  // the test (destroyed before the leak check).
  standin::game::World& UseWorld(const WorldBuilder& builder = WorldBuilder());
  // The world UseWorld() installed; null before.
  standin::game::World* world() { return world_.get(); }

  // For tests that free a bad block on purpose: accepts the bad frees so far.
  void ResetBadFreeBaseline() { session_->AcceptBadFrees(); }

  // Installed in the host's log sinks.
  CaptureSink& sink() { return *sink_; }
  const std::shared_ptr<CaptureSink>& sink_ptr() const { return sink_; }

 private:
  std::optional<ScratchDir> root_;
  std::filesystem::path dir_;
  std::shared_ptr<CaptureSink> sink_;
  std::optional<HostSession> session_;
  std::unique_ptr<standin::game::World> world_;
};
