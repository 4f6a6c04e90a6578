#include "standin/sim/simulator.h"

#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <optional>
#include <string>

#include "standin/sim/output_file.h"
#include "standin/sim/prepared_run.h"
#include "standin/sim/progress.h"
#include "standin/sim/run_loops.h"
#include "standin/sim/server_root.h"

namespace standin::sim {
namespace {

namespace fs = std::filesystem;

// Empty when `path` can be written, else why not. A file that was not there
// before is not left behind.
std::string CheckWritable(const std::string& path) {
  std::error_code error;
  const bool existed = fs::exists(path, error);
  OutputFile probe;
  if (std::string why = probe.Open(path, OutputFile::Mode::kAppend); !why.empty()) {
    return "cannot be opened for writing: " + why;
  }
  probe.Close();
  if (!existed) fs::remove(path, error);
  return "";
}

int Run(const SimInputs& inputs, std::ostream* events, std::ostream& console,
        const ServerRoot& root, Progress& progress) {
  PreparedRun run(inputs, events, console, root);
  if (!run.Start()) return 1;
  const std::optional<RunEnd> end =
      inputs.options.simulated() ? std::optional<RunEnd>(RunSimulated(
                                       run.loop(), inputs.start, *inputs.options.minutes, progress))
                                 : RunRealTime(run.loop(), inputs);
  return run.End(end);
}

}  // namespace

int RunSimulator(const SimInputs& inputs) {
  InstallStopHandlers();
  const SimOptions& options = inputs.options;
  // Every output is known to be writable before anything runs.
  if (!options.report_file.empty()) {
    if (std::string failure = CheckWritable(options.report_file); !failure.empty()) {
      std::cerr << "drovekeeper-sim: " << options.report_file << ": " << failure << "\n";
      return 2;
    }
  }
  OutputFile events_file;
  std::ostream* events = nullptr;
  if (options.events_on_stdout()) {
    events = &std::cout;
  } else if (!options.events_file.empty()) {
    if (std::string why = events_file.Open(options.events_file, OutputFile::Mode::kTruncate);
        !why.empty()) {
      std::cerr << "drovekeeper-sim: " << options.events_file
                << ": cannot be opened for writing: " << why << "\n";
      return 2;
    }
    events = &events_file.stream();
  }
  Progress progress(options.simulated() && isatty(STDERR_FILENO) == 1, inputs.start,
                    options.minutes.value_or(0) * 60);
  ConsoleBuf console_buf((options.events_on_stdout() ? std::cerr : std::cout).rdbuf(), progress);
  std::ostream console(&console_buf);
  progress.SetConsole(&console);

  ServerRoot root;
  if (std::string failure = root.Prepare(options); !failure.empty()) {
    std::cerr << "drovekeeper-sim: " << failure << "\n";
    return 2;
  }
  const int status = Run(inputs, events, console, root, progress);
  if (std::string why = events_file.Close(); !why.empty()) {
    std::cerr << "drovekeeper-sim: " << options.events_file << ": could not be written: " << why
              << "\n";
  }
  return status;
}

}  // namespace standin::sim
