// Runs drovekeeper-sim, or another program the end-to-end tests drive, as a
// child process and reads back what it reported: exit status, console, and
// the simulator's --events JSON Lines.
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

// A running program; its standard output and error go to stdout.txt and
// stderr.txt in `dir`. The child runs with TZ=UTC and `env` ("NAME=VALUE")
// on top.
class ChildProcess {
 public:
  ChildProcess(const std::string& program, const std::vector<std::string>& args,
               const std::string& dir, const std::vector<std::string>& env = {});
  ~ChildProcess();  // kills the child if it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Waits for standard output to hold a line containing `text`; returns that
  // line, or nothing once `timeout` passes or the child exits.
  std::optional<std::string> WaitForOutput(const std::string& text,
                                           std::chrono::milliseconds timeout);
  void Signal(int signal);
  SimResult Wait();

 protected:
  std::string events_path_;  // read by Wait() when set

 private:
  std::string dir_;
  pid_t pid_ = -1;
  int status_ = 0;  // once reaped
};

// A running simulator. Adds "--events dir/events.jsonl" unless `args` has
// --events already.
class SimProcess : public ChildProcess {
 public:
  SimProcess(const std::vector<std::string>& args, const std::string& dir,
             const std::vector<std::string>& env = {});
};

// Runs to completion.
SimResult RunSim(const std::vector<std::string>& args, const std::string& dir,
                 const std::vector<std::string>& env = {});

std::string ReadFile(const std::string& path);

}  // namespace e2e
