// Command-line options of drovekeeper-sim. Only the simulator's main() calls
// this; the e2e tests drive the same options through the process.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "standin/sim/status_reply.h"

namespace standin::sim {

struct SimOptions {
  std::string plugin_path;              // empty: ../lib/libdrovekeeper.so next to the executable
  std::string root_dir;                 // --root
  std::string config_file;              // --config (copied into a temporary root)
  std::optional<std::int64_t> start;    // simulated local start, seconds since the epoch
  std::optional<std::int64_t> minutes;  // set: simulated mode, else real time
  std::string world_file;               // empty: the built-in demo world
  std::string script_file;
  std::string events_file;       // "-" for standard output
  std::string report_file;       // the HTML preview of the run, written at exit
  std::optional<int> rcon_port;  // 0: any free port
  std::string rcon_password;
  std::string rcon_bind = "127.0.0.1";
  std::optional<std::string> time_zone;  // --tz, already in force once parsed
  bool invariants = false;               // check the run's invariants; stop at the first violation
  std::string from_status;               // --from-status: a saved status reply
  std::optional<StatusReply> start_state;  // read from it; sets the start and the zone
  std::string zone_note;                   // what the console says of a zone taken from it

  bool simulated() const { return minutes.has_value(); }
  bool events_on_stdout() const { return events_file == "-"; }
};

struct ParsedOptions {
  enum class Outcome { kRun, kExit };
  Outcome outcome = Outcome::kRun;
  int exit_code = 0;    // for kExit: 0 after --help, 2 after an error
  std::string message;  // for kExit: help text or the error
  SimOptions options;
};

// Parses and checks the options; nothing is read from disk but the status
// reply of --from-status, and named files and the time zone must exist. Puts
// the time zone in force (--tz, else the reply's zone, else TZ as given)
// before reading --start in it.
ParsedOptions ParseOptions(const std::vector<std::string>& args);

}  // namespace standin::sim
