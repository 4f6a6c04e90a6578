// Per-entry faults of the spawn schedules: each logged once until forgotten,
// the other entries still run, and a sink that throws loses only the line.
#include "spawn/entry_faults.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "plugin/log.h"
#include "spawn/tick.h"
#include "tests/support/config_entry.h"
#include "tests/support/spawn_run_fixture.h"

namespace drovekeeper::spawn {

namespace {

using nlohmann::json;

class EntryFaultsTest : public SpawnRunFixture {};

TEST_F(EntryFaultsTest, FaultyEntryIsLoggedOnceAndOthersStillSpawn) {
  standin::game::World& world = UseWorld(WorldBuilder().Class(kRex).Class(kAnky).Class(kRaptor));
  json faulty = ConfigEntry(0);
  faulty.erase("Worldmaximum");
  Load({{"SpawnDino", {{kAnky, ConfigEntry(0)}, {kRaptor, faulty}, {kRex, ConfigEntry(0)}}},
        {"SpawnDinoX", {{kRex, ConfigEntry("0:0")}}}});
  env_.SetLocalTime(0, 0);

  const std::int64_t start = env_.NowTicks();
  RunMinute();
  EXPECT_EQ(NextRunTicks, start + kMinute);
  EXPECT_EQ(SpawnedClasses(),
            (std::vector<std::string>{"/Game/Anky.Anky_C", "/Game/Rex.Rex_C", "/Game/Rex.Rex_C"}));
  const std::string expected =
      "SpawnDino[\"" + kRaptor +
      "\"]: [json.exception.type_error.302] type must be number, but is null";
  EXPECT_EQ(ErrorLines(), std::vector<std::string>{expected});

  RunMinute();
  EXPECT_EQ(world.Spawns().size(), 5u);
  EXPECT_EQ(ErrorLines().size(), 1u) << "the same fault is logged once";

  ForgetEntryFaults();
  RunMinute();
  EXPECT_EQ(ErrorLines(), (std::vector<std::string>{expected, expected}));
}

TEST_F(EntryFaultsTest, FaultSinkThatThrowsLosesTheLineNotTheRun) {
  standin::game::World& world = UseWorld(WorldBuilder().Class(kRex).Class(kRaptor));
  json faulty = ConfigEntry(0);
  faulty.erase("Worldmaximum");
  Load({{"SpawnDino", {{kRaptor, faulty}, {kRex, ConfigEntry(0)}}}});
  SetEntryFaultSink([](std::string_view) { throw std::runtime_error("sink broke"); });
  EXPECT_NO_THROW(RunMinute());
  EXPECT_EQ(world.Spawns().size(), 1u) << "the entry after the fault still ran";
  EXPECT_TRUE(ErrorLines().empty());

  // Not written, so reported at the next run, once the log takes it.
  plugin::CreatePluginLogger();
  RunMinute();
  EXPECT_EQ(ErrorLines().size(), 1u);
}

}  // namespace

}  // namespace drovekeeper::spawn
