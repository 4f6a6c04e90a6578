// The entries' outcome counters: each turn counted once, in the order the
// run decides it, as the status command reads them back.
#include "spawn/outcomes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/fingerprint.h"
#include "plugin/status.h"
#include "tests/support/status_fixture.h"

namespace drovekeeper::plugin {

namespace {

using ::testing::EndsWith;
using ::testing::StartsWith;

class OutcomesTest : public StatusFixture {};

TEST_F(OutcomesTest, EachTurnCountsOnceInTheRunsOrder) {
  RunMinutes(3);  // 06:00, 06:01 (the clock entry's minute), 06:02
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(lines.size(), 8u);
  // The zone's name is the C runtime's own ("UTC" here, "UT" on Windows).
  EXPECT_THAT(lines[0], StartsWith("server time 2024-03-01 06:03:00 UT"));
  EXPECT_THAT(lines[0], EndsWith(" (UTC+00:00); file " + config::Fingerprint(config_) +
                                 "; loaded 2024-03-01 06:00:00; no reload; 3 runs "
                                 "since load; 7 of 7 entries"));
  const std::string fault = "[json.exception.type_error.302] type must be number, but is null";
  const std::string expected[] = {
      "SpawnDino " + kBroken +
          ": every minute; wild now 0 of cap 10; next due 2024-03-01 06:03; fell due 3; spawned 0; "
          "held by cap 0; "
          "class unknown 0; spawn refused 0; failed 3 (last 2024-03-01 06:02:00: " +
          fault + ")",
      "SpawnDino " + kGhost +
          ": every minute; wild now 0 of cap 10; next due 2024-03-01 06:03; fell due 3; "
          "spawned 0; held by cap 0; class unknown 3; spawn refused 0; failed 0",
      "SpawnDino " + kHeld +
          ": every minute; wild now 2 of cap 2; next due 2024-03-01 06:03; fell due 3; spawned "
          "0; held by cap 3 (count 2, cap 2); class unknown 0; spawn refused 0;"
          " failed 0",
      "SpawnDino " + kRex +
          ": every 2 min; wild now 2 of cap 10; last spawn 2024-03-01 06:01 at 50, 50 level 146; "
          "next due 2024-03-01 06:03; fell due 1; spawned 1;"
          " held by cap 0; class unknown 0; spawn refused 0; failed 0",
      "SpawnDino " + kStone +
          ": every minute; wild now 0 of cap 10; next due 2024-03-01 06:03; fell due 3; "
          "spawned 0; held by cap 0; class unknown 0; spawn refused 3; failed 0",
      "SpawnDinoX " + kHeld +
          ": at 07:05; wild now 2 of cap 10; next due never (clock text \"07:05\" has a leading "
          "zero; the server's "
          "clock writes \"7:5\" for that minute); fell due 0; spawned 0; held by cap 0; class "
          "unknown 0; spawn refused 0; failed 0",
      "SpawnDinoX " + kRex +
          ": at 6:1; wild now 2 of cap 10; last spawn 2024-03-01 06:01 at 50, 50 level 139; "
          "next due 2024-03-02 06:01; fell due 1; spawned 1; "
          "held by cap 0; class unknown 0; spawn refused 0; failed 0",
  };
  for (std::size_t i = 0; i < std::size(expected); ++i) EXPECT_EQ(lines[1 + i], expected[i]);
}

}  // namespace

}  // namespace drovekeeper::plugin
