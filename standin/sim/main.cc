// drovekeeper-sim: loads the plug-in module into the stand-in host and game and
// runs it. Every input is checked before anything starts: a bad option or file
// ends the program with one message and exit status 2.
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <exception>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "standin/sim/clock.h"
#include "standin/sim/demo_world.h"
#include "standin/sim/inputs.h"
#include "standin/sim/options.h"
#include "standin/sim/simulator.h"

namespace {

constexpr int kUsageError = 2;

int Usage(const std::string& message) {
  std::cerr << "drovekeeper-sim: " << message << "\n";
  return kUsageError;
}

std::string DefaultPluginPath() {
  std::error_code error;
  std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return "../lib/libdrovekeeper.so";
  return (self.parent_path() / ".." / "lib" / "libdrovekeeper.so").lexically_normal().string();
}

// Reads the world and script files and finds the plug-in module; empty when
// all are there, else the one message.
std::string ReadInputs(standin::sim::SimInputs& inputs) {
  const standin::sim::SimOptions& options = inputs.options;
  try {
    inputs.world = options.world_file.empty() ? standin::sim::ParseWorldText(
                                                    standin::sim::kDemoWorldJson, "built-in world")
                                              : standin::sim::ReadWorldFile(options.world_file);
    if (!options.script_file.empty()) {
      inputs.script = standin::sim::ReadScriptFile(options.script_file, inputs.world);
    }
  } catch (const standin::sim::InputError& e) {
    return e.what();
  }
  inputs.plugin_path = options.plugin_path.empty() ? DefaultPluginPath() : options.plugin_path;
  if (access(inputs.plugin_path.c_str(), R_OK) != 0) {
    return "plug-in module " + inputs.plugin_path + " not found (build it, or pass --plugin)";
  }
  return {};
}

// Simulated time, or a chosen start in real time, needs the C runtime's
// clock under our control: re-executes under libfaketime once. Sets the
// run's start; false when the program must end (status 1), said on stderr.
bool TakeClock(standin::sim::SimInputs& inputs, char** argv) {
  const standin::sim::SimOptions& options = inputs.options;
  if (!options.simulated() && !options.start.has_value()) {
    inputs.start = static_cast<std::int64_t>(std::time(nullptr));
    return true;
  }
  if (std::optional<std::int64_t> start = standin::sim::FakeTimeStart()) {
    inputs.start = *start;
    if (!standin::sim::FakeTimeReads(inputs.start)) {
      std::cerr << "drovekeeper-sim: libfaketime is preloaded but the clock does not follow "
                   "it\n";
      return false;
    }
    inputs.fake_time = true;
    return true;
  }
  std::string failure = standin::sim::ReexecUnderFakeTime(
      argv, options.start.value_or(static_cast<std::int64_t>(std::time(nullptr))));
  std::cerr << "drovekeeper-sim: " << failure << "\n";
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  standin::sim::ParsedOptions parsed = standin::sim::ParseOptions(args);
  if (parsed.outcome == standin::sim::ParsedOptions::Outcome::kExit) {
    if (parsed.exit_code == 0) {
      std::cout << parsed.message;
      return 0;
    }
    return Usage(parsed.message + "\nRun with --help for the options.");
  }

  standin::sim::SimInputs inputs;
  inputs.options = parsed.options;
  if (std::string failure = ReadInputs(inputs); !failure.empty()) return Usage(failure);
  if (!TakeClock(inputs, argv)) return 1;
  try {
    return standin::sim::RunSimulator(inputs);
  } catch (const std::exception& e) {
    // Caught so that the stack unwinds: the temporary server directory goes.
    std::cerr << "drovekeeper-sim: " << e.what() << "\n";
    return 1;
  }
}
