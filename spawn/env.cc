#include "spawn/env.h"

#include <cstdlib>
#include <ctime>

namespace drovekeeper::spawn {

namespace {

LocalHourMinute LocalOf(std::time_t at) {
  std::tm local{};
  localtime_r(&at, &local);
  return {local.tm_hour, local.tm_min};
}

class RuntimeEnv final : public Env {
 public:
  std::int64_t NowTicks() override { return RuntimeNowTicks(); }

  LocalHourMinute LocalNow() override { return LocalOf(std::time(nullptr)); }

  LocalHourMinute LocalAt(std::int64_t ticks) override {
    // Rounded down to the second, also before the epoch.
    std::int64_t seconds = ticks / kTicksPerSecond;
    if (ticks % kTicksPerSecond < 0) --seconds;
    return LocalOf(static_cast<std::time_t>(seconds));
  }

  // Draws are 0 to 32767 wherever the server runs; RAND_MAX + 1 is a
  // multiple of 32768 here, so the reduction stays uniform.
  int Rand() override { return std::rand() % 32768; }
};

RuntimeEnv runtime_env;

}  // namespace

Env* env_internal::replaced_env = nullptr;

Env& CurrentEnv() {
  return env_internal::replaced_env != nullptr ? *env_internal::replaced_env : runtime_env;
}

void SetEnvForTesting(Env* env) { env_internal::replaced_env = env; }

}  // namespace drovekeeper::spawn
