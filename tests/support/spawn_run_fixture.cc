#include "tests/support/spawn_run_fixture.h"

#include <utility>

#include "config/config.h"
#include "spawn/entry_faults.h"
#include "spawn/tick.h"

namespace config = drovekeeper::config;
namespace spawn = drovekeeper::spawn;

void SpawnRunFixture::SetUp() {
  HostFixture::SetUp();
  config::ConfigDocument = nlohmann::json::object();
  env_.SetNowTicks(1'000 * 60 * ScriptedEnv::kTicksPerSecond);
}

void SpawnRunFixture::Load(nlohmann::json document) {
  config::ConfigDocument = std::move(document);
  config::BuildSpawnTables(config::ConfigDocument);
}

void SpawnRunFixture::RunMinute() {
  spawn::TimingSpawnTick();
  env_.AdvanceSeconds(60);
}

std::vector<std::string> SpawnRunFixture::SpawnedClasses() {
  std::vector<std::string> classes;
  for (const auto& spawn : world()->Spawns()) classes.push_back(spawn.class_reference);
  return classes;
}

std::vector<std::string> SpawnRunFixture::ErrorLines() {
  std::vector<std::string> lines;
  for (const auto& line : sink().lines()) {
    if (line.level == spdlog::level::err) lines.push_back(line.payload);
  }
  return lines;
}

void LoadSpawnTablesAfresh(nlohmann::json document) {
  spawn::NextRunTicks = 0;
  spawn::ForgetEntryFaults();
  config::ConfigDocument = std::move(document);
  config::BuildSpawnTables(config::ConfigDocument);
}
