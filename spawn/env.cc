#include "spawn/env.h"

#include <cstdlib>
#include <ctime>

namespace {

class RuntimeEnv final : public Env {
 public:
  std::int64_t NowTicks() override { return RuntimeNowTicks(); }

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

}  // namespace

Env* env_internal::replaced_env = nullptr;

Env& CurrentEnv() {
  return env_internal::replaced_env != nullptr ? *env_internal::replaced_env : runtime_env;
}

void SetEnvForTesting(Env* env) { env_internal::replaced_env = env; }
