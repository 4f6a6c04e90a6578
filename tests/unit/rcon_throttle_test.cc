// Login throttle of the stand-in server's remote console: the delay after
// failed logins from one address.

#include <chrono>

#include "gtest/gtest.h"
#include "standin/rcon/login_throttle.h"

namespace standin::rcon {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

TEST(LoginThrottleTest, DelayGrowsPerFailureUpToTheCapAndIsForgotten) {
  Clock::time_point now{};
  LoginThrottle throttle(
      milliseconds(100), milliseconds(250), milliseconds(1000), [&now] { return now; }, 2);
  struct Step {
    int advance_ms;
    const char* fail;  // "" for none
    const char* ask;
    int delay_ms;
  };
  const std::vector<Step> steps =
      {
          {0, "", "a", 0},     {0, "a", "a", 100},
          {10, "a", "a", 200}, {10, "a", "a", 250},  // capped
          {0, "", "b", 0},                           // another address is not slowed
          {999, "", "a", 250},                       // just within memory of the last failure
          {1, "", "a", 0},                           // forgotten
          {0, "a", "a", 100},  {10, "b", "b", 100},
          {10, "c", "c", 100},  // a third address evicts the stalest, "a"
          {0, "", "a", 0},     {0, "", "b", 100},
      };
  for (std::size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE(i);
    now += milliseconds(steps[i].advance_ms);
    if (*steps[i].fail != '\0') throttle.RecordFailure(steps[i].fail);
    EXPECT_EQ(throttle.Delay(steps[i].ask), milliseconds(steps[i].delay_ms));
    EXPECT_LE(throttle.remembered(), 2u);
  }
}

}  // namespace
}  // namespace standin::rcon
