// The spawn command: one turn of an entry now, whatever its schedule, and
// what became of it; the schedule and its counts left as they were.
#include "plugin/spawn_command.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "config/config.h"
#include "spawn/outcomes.h"
#include "spawn/tick.h"
#include "tests/support/status_fixture.h"

namespace drovekeeper::plugin {

namespace {

class SpawnCommandTest : public StatusFixture {};

TEST_F(SpawnCommandTest, RepliesWhatBecameOfTheTurnAndLeavesTheScheduleAlone) {
  RunMinutes(1);
  const nlohmann::json countdown = config::CountdownTable;
  const nlohmann::json clock = config::ClockTable;
  const std::int64_t next_run = spawn::NextRunTicks;
  struct Case {
    std::string arguments;
    std::string reply;
  };
  const Case cases[] = {
      // The default world settings and "Position" 100 200 300; LEVEL is the
      // level the game gave the creature.
      {"SpawnDino " + kRex, "spawned at 50, 50 level LEVEL"},
      {"SpawnDinoX  Rex the Great", "spawned at 50, 50 level LEVEL"},
      {"SpawnDino " + kHeld, "held by cap (count 2, cap 2)"},
      {"SpawnDino " + kGhost, "class unknown"},
      {"SpawnDino " + kStone, "spawn refused"},
      {"SpawnDino " + kBroken,
       "failed: [json.exception.type_error.302] type must be number, but is null"},
      {"SpawnDino Blueprint'/Game/Rex.Rx'",
       "no SpawnDino entry Blueprint'/Game/Rex.Rx'; closest: " + kRex + ", " + kHeld + ", " +
           kBroken},
      {"SpawnDinoX rex the great",
       "no SpawnDinoX entry rex the great; closest: Rex the Great (" + kRex + "), " + kHeld},
      {"Spawndino " + kRex, "usage: Drovekeeper.spawn SpawnDino|SpawnDinoX NAME"},
      {"SpawnDino", "usage: Drovekeeper.spawn SpawnDino|SpawnDinoX NAME"},
  };
  for (const Case& c : cases) {
    const std::string reply = SpawnCommandText(c.arguments);
    std::string expected = c.reply;
    if (expected.ends_with("LEVEL")) {
      expected.replace(expected.size() - 5, 5, std::to_string(world()->Spawns().back().level));
    }
    EXPECT_EQ(reply, expected) << c.arguments;
  }

  EXPECT_EQ(config::CountdownTable, countdown);
  EXPECT_EQ(config::ClockTable, clock);
  EXPECT_EQ(spawn::NextRunTicks, next_run);
  // Counted apart: one run's turns as before, each commanded spawn once.
  const spawn::EntryCounters* rex = spawn::FindEntryCounters("SpawnDino", kRex);
  ASSERT_NE(rex, nullptr);
  EXPECT_EQ(rex->fell_due, 0);
  EXPECT_EQ(rex->spawned_on_command, 1);
  EXPECT_TRUE(rex->has_last_spawn);
  EXPECT_EQ(rex->last_spawn_ticks, env_.NowTicks());
  const spawn::EntryCounters* held = spawn::FindEntryCounters("SpawnDino", kHeld);
  ASSERT_NE(held, nullptr);
  EXPECT_EQ(held->fell_due, 1);
  EXPECT_EQ(held->held_by_cap, 1);
  EXPECT_EQ(held->spawned_on_command, 0);
  EXPECT_EQ(spawn::FindEntryCounters("SpawnDinoX", kRex)->spawned_on_command, 1);
}

}  // namespace

}  // namespace drovekeeper::plugin
