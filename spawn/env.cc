#include "spawn/env.h"

#include <chrono>
#include <cstdlib>
#include <ctime>

namespace {

class RuntimeEnv final : public Env {
 public:
  std::int64_t NowTicks() override {
    using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;
    return std::chrono::duration_cast<Ticks>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
  }

  LocalHourMinute LocalNow() override {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_hour, local.tm_min};
  }

  // Draws are 0 to 32767 wherever the server runs; RAND_MAX + 1 is a
  // multiple of 32768 here, so the reduction stays uniform.
  int Rand() override { return std::rand() % 32768; }
};

RuntimeEnv runtime_env;
Env* env_in_force = &runtime_env;

}  // namespace

Env& CurrentEnv() { return *env_in_force; }

void SetEnvForTesting(Env* env) { env_in_force = env != nullptr ? env : &runtime_env; }
