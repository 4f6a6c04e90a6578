// drovekeeper-fleet: one command over every server of a servers file.
//   drovekeeper-fleet [--servers FILE] [--timeout SECONDS] status [--json | --brief]
//   drovekeeper-fleet [--servers FILE] [--timeout SECONDS] check
//   drovekeeper-fleet [--servers FILE] [--timeout SECONDS] reload
//   drovekeeper-fleet [--servers FILE] [--timeout SECONDS] serve --listen ADDRESS:PORT
//                     [--every SECONDS]   (Linux)
// Exit status: 0 all well, 1 a warning, 2 a server not reached, 3 a bad
// option or servers file.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <chrono>
#include <iostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "fleet/ask.h"
#include "fleet/check_reload.h"
#include "fleet/fleet_status.h"
#include "fleet/servers.h"

#ifndef _WIN32
#include "fleet/serve.h"
#endif

#ifdef _WIN32
#include <windows.h>
#endif

namespace fleet = drovekeeper::fleet;

namespace {

constexpr int kExitUsage = 3;

int Run(std::vector<std::string> arguments) {
  CLI::App app{"Asks every Drovekeeper server of a servers file at once."};
  app.name("drovekeeper-fleet");
  std::string servers_file = "servers.json";
  double timeout_seconds = 10;
  app.add_option("--servers", servers_file, "The servers file (default: servers.json)");
  app.add_option("--timeout", timeout_seconds,
                 "Seconds for the whole call to every server (default: 10)")
      ->check(CLI::Range(0.1, 3600.0));
  app.require_subcommand(1);
  app.fallthrough();  // the options after the sub-command too

  bool json = false;
  bool brief = false;
  CLI::App* status = app.add_subcommand("status", "Every server's status and one table of entries");
  auto* json_flag = status->add_flag("--json", json, "The merged data as JSON");
  status->add_flag("--brief", brief, "Only the problems, one a line; nothing when all is well")
      ->excludes(json_flag);
  CLI::App* check = app.add_subcommand("check", "What a reload would do on each server");
  CLI::App* reload =
      app.add_subcommand("reload", "Reload the servers whose check takes a new file");
#ifndef _WIN32
  fleet::ServeOptions serve_options;
  CLI::App* serve = app.add_subcommand(
      "serve", "Serve the fleet's status on /metrics for Prometheus until interrupted");
  serve->add_option("--listen", serve_options.listen, "ADDRESS:PORT to serve on")->required();
  serve
      ->add_option("--every", serve_options.every,
                   "Ask each server at most once every SECONDS (default: 30)")
      ->check(CLI::Range(1, 86400));
#endif

  try {
    std::reverse(arguments.begin(), arguments.end());  // CLI11 takes them last first
    app.parse(arguments);
  } catch (const CLI::ParseError& error) {
    const int code = app.exit(error);
    return code == 0 ? 0 : kExitUsage;
  }

  std::vector<fleet::Server> servers;
  try {
    servers = fleet::LoadServers(fleet::Utf8Path(servers_file));
  } catch (const std::exception& error) {
    std::cerr << "drovekeeper-fleet: " << error.what() << "\n";
    return kExitUsage;
  }
  const auto timeout = std::chrono::milliseconds(static_cast<long long>(timeout_seconds * 1000));
#ifndef _WIN32
  serve_options.timeout = timeout;
  if (serve->parsed()) return fleet::Serve(servers, serve_options);
#endif

  if (status->parsed()) {
    const fleet::FleetStatus merged =
        fleet::MergeStatus(servers, fleet::AskAll(servers, fleet::kStatusCommand, timeout));
    if (json) {
      std::cout << merged.merged.dump(2, ' ', false, nlohmann::json::error_handler_t::replace)
                << "\n";
    } else if (brief) {
      for (const std::string& problem : merged.problems) std::cout << problem << "\n";
    } else {
      std::cout << merged.text;
    }
    return merged.exit_status;
  }
  fleet::FleetOutcome outcome;
  if (check->parsed())
    outcome = fleet::CheckReport(servers, fleet::AskAll(servers, fleet::kCheckCommand, timeout));
  if (reload->parsed()) outcome = fleet::CheckAndReload(servers, timeout);
  std::cout << outcome.text;
  return outcome.exit_status;
}

}  // namespace

#ifdef _WIN32
// Wide arguments, so that a path in any script arrives whole; UTF-8 out, so
// that entry names in any script reach a console.
int wmain(int argc, wchar_t** argv) {
  SetConsoleOutputCP(CP_UTF8);
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) {
    const int size = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string argument(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
    WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, argument.data(), size, nullptr, nullptr);
    argument.resize(argument.size() - 1);
    arguments.push_back(std::move(argument));
  }
  return Run(std::move(arguments));
}
#else
int main(int argc, char** argv) { return Run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
