// Fixtures for tests of the spawn schedules' timer run against a stand-in
// world: the spawn tables built from a document given in the test, one run a
// minute on a scripted clock, and the spawns and error lines it leaves.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tests/support/host_fixture.h"
#include "tests/support/scripted_env.h"

class SpawnRunFixture : public HostFixture {
 protected:
  static constexpr std::int64_t kMinute = 60 * ScriptedEnv::kTicksPerSecond;
  // Blueprint names the tests' worlds hold.
  static inline const std::string kRex = "Blueprint'/Game/Rex.Rex'";
  static inline const std::string kAnky = "Blueprint'/Game/Anky.Anky'";
  static inline const std::string kRaptor = "Blueprint'/Game/Raptor.Raptor'";

  void SetUp() override;

  void Load(nlohmann::json document);

  // One run a minute, as the host would call it.
  void RunMinute();

  std::vector<std::string> SpawnedClasses();

  std::vector<std::string> ErrorLines();

  ScriptedEnv env_;
  ScopedEnv scoped_{env_};
};

// Builds the spawn tables from `document` as a fresh load does: the next run
// falls due at once and no fault counts as logged.
void LoadSpawnTablesAfresh(nlohmann::json document);
