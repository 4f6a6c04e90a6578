#include "standin/sim/options.h"

#include <CLI/CLI.hpp>

#include "standin/sim/clock.h"
#include "standin/sim/inputs.h"

namespace standin::sim {

namespace {

constexpr const char* kExitStatusHelp =
    "Exit status: 0 after a complete run (a real-time run ends when interrupted); 1 when the "
    "plug-in could not be loaded or RCON served; 2 for a bad option, input file, time zone or "
    "output path, before anything runs; 3 when an invariant broke (--invariants); 130, 143 "
    "or 129 when SIGINT, SIGTERM or SIGHUP cut a simulated run short (its summary and report "
    "end where it got to); 141 when standard output or the events file could not be written "
    "(a pipe's reader left, a full disk: the reason is said).";

// The plug-in module and the server directory it runs in.
void AddServerOptions(CLI::App& app, SimOptions& o) {
  app.add_option("--plugin", o.plugin_path,
                 "Plug-in module (default: ../lib/libdrovekeeper.so next to this program)")
      ->check(CLI::ExistingFile);
  auto* root = app.add_option("--root", o.root_dir,
                              "Server working directory; the configuration is "
                              "DIR/ZelApi/Plugins/Drovekeeper/config.json")
                   ->check(CLI::ExistingDirectory);
  app.add_option("--config", o.config_file,
                 "Configuration file, copied into a fresh temporary root removed at exit")
      ->check(CLI::ExistingFile)
      ->excludes(root);
}

// The server's zone and the simulated span; returns --minutes.
CLI::Option* AddTimeOptions(CLI::App& app, SimOptions& o, std::string& start_text,
                            std::int64_t& minutes) {
  app.add_option("--tz", o.time_zone,
                 "Local time zone of the server, such as Europe/Berlin (default: TZ, else the "
                 "system's); the first console line names it");
  auto* start = app.add_option("--start", start_text,
                               "Simulated local start time \"YYYY-MM-DD HH:MM:SS\" (default: now)");
  app.add_option("--from-status", o.from_status,
                 "Start from a live server's state: FILE holds its reply to "
                 "Drovekeeper.status --json (or the text of --all); the run starts at the "
                 "server's time and zone, with its wild counts and countdowns")
      ->check(CLI::ExistingFile)
      ->excludes(start);
  return app
      .add_option("--minutes", minutes,
                  "Run N simulated minutes as fast as possible, then exit; without it "
                  "the server runs in real time until interrupted")
      ->check(CLI::Range(std::int64_t{0}, std::int64_t{10} * 366 * 24 * 60));
}

void AddFileOptions(CLI::App& app, SimOptions& o) {
  app.add_option("--world", o.world_file, "World file (default: the built-in demo world)")
      ->check(CLI::ExistingFile);
  app.add_option("--script", o.script_file, "Timed operator actions (JSON array)")
      ->check(CLI::ExistingFile);
  app.add_option("--events", o.events_file, "Write events as JSON Lines to FILE ('-': stdout)");
  app.add_option("--report", o.report_file,
                 "Write a self-contained HTML preview of the run (map, timeline, entries, "
                 "log) to FILE at exit");
}

// RCON serves real time only, hence not with --minutes; returns --rcon-port.
CLI::Option* AddRconOptions(CLI::App& app, SimOptions& o, CLI::Option* minutes_option) {
  auto* port =
      app.add_option("--rcon-port", o.rcon_port,
                     "Serve RCON on this TCP port (0: any free port, shown on the console)")
          ->check(CLI::Range(0, 65535))
          ->excludes(minutes_option);
  auto* password = app.add_option("--rcon-password", o.rcon_password, "RCON password")->needs(port);
  port->needs(password);
  app.add_option("--rcon-bind", o.rcon_bind, "RCON listen address (default: 127.0.0.1)")
      ->needs(port);
  return port;
}

// The reply's zone in force, unless --tz named one: the server's TZ when this
// machine knows it, else UTC or the reply's fixed offset.
std::string TakeReplyZone(SimOptions& o) {
  const StatusReply& reply = *o.start_state;
  if (o.time_zone) return UseTimeZone(o.time_zone);
  ReplyZone zone = ZoneOf(reply);
  if (!zone.fixed && zone.tz != "UTC" && !UseTimeZone(zone.tz).empty()) {
    o.zone_note = "the server's zone " + zone.tz + " is not known here; ";
    StatusReply without_tz = reply;
    without_tz.tz.reset();
    zone = ZoneOf(without_tz);
  }
  if (zone.fixed) {
    o.zone_note += "running on the reply's fixed offset " + zone.tz +
                   ": clock changes are not followed without --tz";
  }
  o.time_zone = zone.tz;
  return UseTimeZone(o.time_zone);
}

// What CLI11 cannot check: the status reply, the zone, the start in it, and
// that the run has a configuration. Empty when the options stand.
std::string Refusal(SimOptions& o, const std::string& start_text, bool rcon_served) {
  if (!o.from_status.empty()) {
    try {
      o.start_state = ReadStatusReplyFile(o.from_status);
    } catch (const InputError& e) {
      return std::string("--from-status: ") + e.what();
    }
    if (std::string why = TakeReplyZone(o); !why.empty()) return why;
    o.start = o.start_state->server_time;
  } else if (std::string why = UseTimeZone(o.time_zone); !why.empty()) {
    return why;
  }
  if (!start_text.empty()) {
    LocalTimeParse start = ParseLocalTimeExplained(start_text);
    if (!start.seconds) return "--start: \"" + start_text + "\" " + start.why;
    o.start = start.seconds;
  }
  if (rcon_served && o.rcon_password.empty()) return "--rcon-password: must not be empty";
  if (o.config_file.empty() && o.root_dir.empty()) {
    return "no configuration: give --config FILE (a configuration file, run in a temporary "
           "server directory) or --root DIR (a server directory holding "
           "ZelApi/Plugins/Drovekeeper/config.json)";
  }
  return {};
}

ParsedOptions Exit(int exit_code, std::string message) {
  ParsedOptions parsed;
  parsed.outcome = ParsedOptions::Outcome::kExit;
  parsed.exit_code = exit_code;
  parsed.message = std::move(message);
  return parsed;
}

}  // namespace

ParsedOptions ParseOptions(const std::vector<std::string>& args) {
  ParsedOptions parsed;
  SimOptions& o = parsed.options;
  std::string start_text;
  std::int64_t minutes = 0;

  CLI::App app{"Stand-in game server that loads the Drovekeeper plug-in.", "drovekeeper-sim"};
  AddServerOptions(app, o);
  CLI::Option* minutes_option = AddTimeOptions(app, o, start_text, minutes);
  AddFileOptions(app, o);
  CLI::Option* port = AddRconOptions(app, o, minutes_option);
  app.add_flag("--invariants", o.invariants,
               "Check after every timer call and RCON command that nothing escaped a callback, "
               "no game memory leaked, caps held and failed reloads kept the old configuration; "
               "exit 3 at the first violation");
  app.footer(kExitStatusHelp);

  std::vector<std::string> reversed(args.rbegin(), args.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    return Exit(0, app.help());
  } catch (const CLI::ParseError& e) {
    return Exit(2, e.what());
  }
  if (std::string why = Refusal(o, start_text, port->count() > 0); !why.empty()) {
    return Exit(2, std::move(why));
  }
  if (minutes_option->count() > 0) o.minutes = minutes;
  return parsed;
}

}  // namespace standin::sim
