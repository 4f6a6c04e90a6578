#include "tools/check/run_check.h"

#include <fmt/format.h>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>
#include <optional>
#include <variant>

#include "check/check.h"
#include "tools/check/open_file.h"
#include "tools/check/zone_changes.h"

namespace drovekeeper::check_tool {

namespace {

constexpr int kClean = 0;
constexpr int kWarnings = 1;
constexpr int kErrors = 2;

// Far beyond any hand-written configuration; a bigger file is a mistake.
constexpr std::size_t kMostBytes = 16 * 1024 * 1024;

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

  int ExitCode() const {
    if (errors > 0) return kErrors;
    return warnings > 0 ? kWarnings : kClean;
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
  std::optional<std::string> zone;
  app.add_option("--tz", zone,
                 "note the clock texts that a clock change in ZONE (such as Europe/Berlin) "
                 "skips or repeats within the next year")
      ->option_text("ZONE")
      ->check(CLI::Validator([](const std::string& name) { return CheckZoneName(name); }, "ZONE"));
  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    app.parse(std::move(reversed));
  } catch (const CLI::ParseError& e) {
    return app.exit(e, out, err) == 0 ? kClean : kErrors;
  }

  check::ZoneChanges changes;
  if (zone) changes = ChangesOfZone(*zone, std::time(nullptr), OneYearOn(std::time(nullptr)));

  Tally tally;
  nlohmann::ordered_json listed = nlohmann::ordered_json::array();
  for (const std::string& file : files) {
    const auto text = ReadWholeFile(file);
    if (text.index() == 1) {
      err << file << ": error: " << std::get<1>(text) << '\n';
      tally.Count(check::ConfigFinding::Severity::kError);
      continue;
    }
    for (const check::ConfigFinding& finding :
         CheckConfigText(std::get<0>(text), check::CheckNotes::kInclude, changes)) {
      tally.Count(finding.severity);
      if (as_json) {
        listed.push_back(FindingAsJson(finding, file));
      } else {
        out << FormatFinding(finding, file) << '\n';
      }
    }
  }
  if (as_json) out << DumpFindings(listed) << '\n';
  (as_json ? err : out) << Summary(tally, files.size()) << '\n';
  return tally.ExitCode();
}

}  // namespace drovekeeper::check_tool
