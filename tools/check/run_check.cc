#include "tools/check/run_check.h"

#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>
#include <optional>
#include <regex>
#include <set>
#include <variant>

#include "check/check.h"
#include "config/config.h"
#include "config/fingerprint.h"
#include "tools/check/open_file.h"
#include "tools/check/upcoming.h"
#include "tools/check/zone_changes.h"

namespace drovekeeper::check_tool {

using check::CheckNotes;
using check::ConfigFinding;
using check::Consequence;

namespace {

constexpr int kClean = 0;
constexpr int kWarnings = 1;
constexpr int kErrors = 2;

// Far beyond any hand-written configuration; a bigger file is a mistake.
constexpr std::size_t kMostBytes = 16 * 1024 * 1024;

// --upcoming looks at most a month ahead.
constexpr int kMostHours = 31 * 24;

// The file's text, or why it has none. The type is checked on the open
// descriptor before anything is read, so a FIFO or a device never blocks.
std::variant<std::string, std::string> ReadWholeFile(const std::string& path) {
  using Result = std::variant<std::string, std::string>;
  const auto failed = [](std::string why) {
    return Result(std::in_place_index<1>, std::move(why));
  };
  const int fd = OpenForReading(path);
  if (fd < 0) return failed(fmt::format("cannot open the file: {}", std::strerror(errno)));
  struct Closer {
    int fd;
    ~Closer() { ::close(fd); }
  } closer{fd};
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    return failed(fmt::format("cannot read the file: {}", std::strerror(errno)));
  }
  if (S_ISDIR(info.st_mode)) return failed("is a directory, not a configuration file");
  if (!S_ISREG(info.st_mode)) {
    return failed("is not a regular file (a FIFO, device or socket); give a configuration file");
  }
  const auto too_large = [&] {
    return failed(fmt::format("is larger than {} MiB, too large for a configuration file",
                              kMostBytes / (1024 * 1024)));
  };
  if (static_cast<std::uintmax_t>(info.st_size) > kMostBytes) return too_large();
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got == 0) break;
    if (got < 0) {
      if (errno == EINTR) continue;
      return failed(fmt::format("cannot read the file: {}", std::strerror(errno)));
    }
    // The file may grow while it is read.
    if (text.size() + static_cast<std::size_t>(got) > kMostBytes) return too_large();
    text.append(buffer, static_cast<std::size_t>(got));
  }
  return Result(std::in_place_index<0>, std::move(text));
}

std::string Counted(std::size_t count, std::string_view noun) {
  return fmt::format("{} {}{}", count, noun, count == 1 ? "" : "s");
}

// The findings of every file checked so far, by severity.
struct Tally {
  std::size_t errors = 0;
  std::size_t warnings = 0;
  std::size_t notes = 0;

  void Count(check::ConfigFinding::Severity severity) {
    switch (severity) {
      case check::ConfigFinding::Severity::kError:
        ++errors;
        break;
      case check::ConfigFinding::Severity::kWarning:
        ++warnings;
        break;
      case check::ConfigFinding::Severity::kNote:
        ++notes;
        break;
    }
  }

  // With `strict`, warnings fail a gate as errors do.
  int ExitCode(bool strict) const {
    if (errors > 0) return kErrors;
    if (warnings == 0) return kClean;
    return strict ? kErrors : kWarnings;
  }
};

// The last line: how many of each in how many files.
std::string Summary(const Tally& tally, std::size_t file_count) {
  const std::string in_files = Counted(file_count, "file");
  const std::string errors = Counted(tally.errors, "error");
  const std::string warnings = Counted(tally.warnings, "warning");
  const std::string notes = Counted(tally.notes, "note");
  if (tally.errors + tally.warnings == 0) {
    std::string summary = fmt::format("no problems found in {}", in_files);
    if (tally.notes > 0) summary += fmt::format(" ({})", notes);
    return summary;
  }
  if (tally.notes == 0) return fmt::format("{} and {} in {}", errors, warnings, in_files);
  return fmt::format("{}, {} and {} in {}", errors, warnings, notes, in_files);
}

// The same date and time a year after `now`.
std::int64_t OneYearOn(std::int64_t now) {
  using namespace std::chrono;
  const sys_seconds at{seconds{now}};
  const sys_days day = floor<days>(at);
  return (sys_days{year_month_day{day} + years{1}} + (at - day)).time_since_epoch().count();
}

// "YYYY-MM-DD HH:MM" as seconds since 1970-01-01 00:00 of its calendar.
std::optional<std::int64_t> ParseLocalMinute(const std::string& text) {
  static const std::regex kForm("([0-9]{4})-([0-9]{2})-([0-9]{2}) ([0-9]{1,2}):([0-9]{2})");
  std::smatch match;
  if (!std::regex_match(text, match, kForm)) return std::nullopt;
  const auto number = [&](std::size_t i) { return std::stoi(match[i].str()); };
  using namespace std::chrono;
  const year_month_day day{year{number(1)}, month{static_cast<unsigned>(number(2))},
                           std::chrono::day{static_cast<unsigned>(number(3))}};
  if (!day.ok() || number(4) > 23 || number(5) > 59) return std::nullopt;
  return std::int64_t{sys_days{day}.time_since_epoch().count()} * 86400 + number(4) * 3600 +
         number(5) * 60;
}

// The findings that keep an entry from ever spawning when it falls due.
bool NeverSpawns(Consequence consequence) {
  return consequence == Consequence::kNeverSpawns || consequence == Consequence::kAlwaysCapped ||
         consequence == Consequence::kClassNeverLoads ||
         consequence == Consequence::kNameNeverLoads;
}

void PrintUpcoming(const std::string& file, const std::string& text,
                   const std::vector<ConfigFinding>& findings, std::int64_t from, int hours,
                   const std::optional<std::string>& zone, std::ostream& out) {
  const bool refused = std::any_of(findings.begin(), findings.end(), [](const ConfigFinding& f) {
    return f.consequence == Consequence::kRejectsFile;
  });
  const std::size_t runs = static_cast<std::size_t>(hours) * 60;
  const std::vector<std::int64_t> local = LocalTimes(zone, from, 60, runs + 1);
  const std::string window =
      fmt::format("from {} to {} ({})", LocalDateTime(local.front()), LocalDateTime(local.back()),
                  zone ? *zone : std::string("this machine's zone"));
  if (refused) {
    out << file << ": nothing falls due " << window
        << ": the plug-in refuses the file (see the errors above)\n";
    return;
  }
  std::vector<DueTurn> turns;
  try {
    turns = UpcomingTurns(config::ParseConfigText(text), from,
                          std::vector<std::int64_t>(local.begin(), local.end() - 1));
  } catch (const std::exception&) {
    // Refused by the parse, which the findings already say.
  }
  if (turns.empty()) {
    out << file << ": nothing falls due " << window << '\n';
    return;
  }
  out << file << ": falls due " << window
      << ", with a run each minute from a load at the start, caps aside:\n";
  std::set<std::pair<std::string, std::string>> never;
  for (const ConfigFinding& finding : findings) {
    if (NeverSpawns(finding.consequence)) never.emplace(finding.table, finding.entry);
  }
  for (const DueTurn& turn : turns) {
    out << FormatTurn(turn);
    if (never.contains({turn.table, turn.entry})) out << " (never spawns: see its finding)";
    out << '\n';
  }
}

}  // namespace

nlohmann::ordered_json FindingAsJson(const check::ConfigFinding& finding, std::string_view file) {
  return {{"file", file},
          {"line", finding.line},
          {"column", finding.column},
          {"severity", check::SeverityName(finding.severity)},
          {"table", finding.table},
          {"entry", finding.entry},
          {"key", finding.key},
          {"message", finding.what},
          {"consequence", check::ConsequenceText(finding.consequence)}};
}

std::string DumpFindings(const nlohmann::ordered_json& findings) {
  // Texts come from the files, so bytes that are not UTF-8 are replaced
  // rather than refused.
  return findings.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
}

int RunCheck(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CLI::App app{
      "Checks spawn configuration files and reports every problem the plug-in would meet."};
  app.name("drovekeeper-check");
  // A path that starts with a slash names a file, on Windows too.
  app.allow_windows_style_options(false);
  std::vector<std::string> files;
  bool as_json = false;
  app.add_option("FILE", files, "configuration files to check")->required();
  app.add_flag("--json", as_json, "print the findings as one JSON array");
  bool quiet = false;
  bool verbose = false;
  bool strict = false;
  auto* quiet_flag = app.add_flag("--quiet", quiet, "print errors and warnings only, no notes");
  app.add_flag("--verbose", verbose,
               "let each note name every entry it concerns, not the first three and a count")
      ->excludes(quiet_flag);
  app.add_flag("--strict", strict, "exit with status 2 on warnings too");
  app.footer(
      "Exit status: 0 when every file is clean or has notes only; 1 with warnings (2 with "
      "--strict); 2 with errors, a file that cannot be read, is no regular file or is over "
      "16 MiB, or a bad command line.");
  std::optional<std::string> zone;
  app.add_option("--tz", zone,
                 "note the clock texts that a clock change in ZONE (such as Europe/Berlin) "
                 "skips or repeats within the next year")
      ->option_text("ZONE")
      ->check(CLI::Validator([](const std::string& name) { return CheckZoneName(name); }, "ZONE"));
  std::optional<int> hours;
  auto* upcoming_option =
      app.add_option("--upcoming", hours,
                     "after the findings, list when each entry falls due in the next HOURS: "
                     "clock entries at their local minute, countdown entries counted from a "
                     "load at the start; caps aside")
          ->option_text("HOURS")
          ->check(CLI::Range(1, kMostHours))
          ->excludes("--json");
  std::optional<std::string> from_text;
  app.add_option("--from", from_text,
                 "start --upcoming at this local time (in ZONE with --tz) instead of now")
      ->option_text("\"YYYY-MM-DD HH:MM\"")
      ->needs(upcoming_option)
      ->check(CLI::Validator(
          [](const std::string& text) {
            return ParseLocalMinute(text) ? std::string()
                                          : "give the date and time as \"YYYY-MM-DD HH:MM\"";
          },
          "DATE TIME"));
  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    app.parse(std::move(reversed));
  } catch (const CLI::ParseError& e) {
    return app.exit(e, out, err) == 0 ? kClean : kErrors;
  }

  check::ZoneChanges changes;
  if (zone) changes = ChangesOfZone(*zone, std::time(nullptr), OneYearOn(std::time(nullptr)));

  const CheckNotes notes = quiet     ? CheckNotes::kOmit
                           : verbose ? CheckNotes::kIncludeAll
                                     : CheckNotes::kInclude;
  Tally tally;
  nlohmann::ordered_json listed = nlohmann::ordered_json::array();
  for (const std::string& file : files) {
    const auto text = ReadWholeFile(file);
    if (text.index() == 1) {
      err << file << ": error: " << std::get<1>(text) << '\n';
      tally.Count(check::ConfigFinding::Severity::kError);
      continue;
    }
    // Which file this is, in the words of the status command's first line.
    (as_json ? err : out) << file << ": file " << config::Fingerprint(std::get<0>(text)) << '\n';
    const std::vector<ConfigFinding> findings = CheckConfigText(std::get<0>(text), notes, changes);
    for (const ConfigFinding& finding : findings) {
      tally.Count(finding.severity);
      if (as_json) {
        listed.push_back(FindingAsJson(finding, file));
      } else {
        out << FormatFinding(finding, file) << '\n';
      }
    }
    if (hours) {
      const std::int64_t from = from_text ? InstantOfLocal(zone, *ParseLocalMinute(*from_text))
                                          : std::int64_t{std::time(nullptr)} / 60 * 60;
      PrintUpcoming(file, std::get<0>(text), findings, from, *hours, zone, out);
    }
  }
  if (as_json) out << DumpFindings(listed) << '\n';
  (as_json ? err : out) << Summary(tally, files.size()) << '\n';
  return tally.ExitCode(strict);
}

}  // namespace drovekeeper::check_tool
