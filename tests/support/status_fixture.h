// Fixture for tests of the entries' outcome counters and the status command:
// the plug-in loaded over a stand-in world with one entry for each outcome,
// on a scripted clock at 2024-03-01 06:00, and the status text as lines.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/host_fixture.h"
#include "tests/support/scripted_env.h"

class StatusFixture : public HostFixture {
 protected:
  StatusFixture();

  static inline const std::string kRex = "Blueprint'/Game/Rex.Rex'";
  static inline const std::string kHeld = "Blueprint'/Game/Held.Held'";
  static inline const std::string kGhost = "Blueprint'/Game/Ghost.Ghost'";  // no such class
  static inline const std::string kStone = "Blueprint'/Game/Stone.Stone'";  // the game refuses it
  static inline const std::string kBroken = "Blueprint'/Game/Broken.Broken'";
  static constexpr std::int64_t kStart =
      1'709'272'800 * ScriptedEnv::kTicksPerSecond;  // 2024-03-01 06:00

  void SetUp() override;
  void TearDown() override;

  void RunMinutes(int minutes);

  // The reply to `options` and `filter` as lines; the full reply by default.
  std::vector<std::string> Lines(std::string_view filter = "", std::string_view options = "--all");

  const std::string config_;
  ScriptedEnv env_;
  ScopedEnv scoped_{env_};
};
