// Runs drovekeeper-sim as a child process for the end-to-end tests and reads
// back what it reported: exit status, console, and the --events JSON Lines.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/scratch_dir.h"

namespace e2e {

using ::ScratchDir;

struct SimResult {
  int exit_code = -1;  // 128 + signal when killed
  std::string out;     // standard output
  std::string err;     // standard error
  std::vector<nlohmann::json> events;

  // Events of one kind, in order.
  std::vector<nlohmann::json> Of(const std::string& event) const;
};

// A running simulator; its output goes to files in `dir`.
class SimProcess {
 public:
  // Adds "--events dir/events.jsonl" unless `args` has --events already.
  // The child runs with TZ=UTC and `env` ("NAME=VALUE") on top.
  SimProcess(const std::vector<std::string>& args, const std::string& dir,
             const std::vector<std::string>& env = {});
  ~SimProcess();  // kills the child if it still runs

  // Waits for standard output to hold a line containing `text`; returns that
  // line, or nothing once `timeout` passes or the child exits.
  std::optional<std::string> WaitForOutput(const std::string& text,
                                           std::chrono::milliseconds timeout);
  void Signal(int signal);
  SimResult Wait();

 private:
  std::string dir_;
  std::string events_path_;
  pid_t pid_ = -1;
  int status_ = 0;  // once reaped
};

// Runs to completion.
SimResult RunSim(const std::vector<std::string>& args, const std::string& dir,
                 const std::vector<std::string>& env = {});

std::string ReadFile(const std::string& path);

}  // namespace e2e
