#include "tools/check/run_check.h"

#include <fmt/format.h>

#include <CLI/CLI.hpp>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>

#include "config/check.h"

namespace {

constexpr int kClean = 0;
constexpr int kWarnings = 1;
constexpr int kErrors = 2;

std::optional<std::string> ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::in | std::ios::binary);
  if (!file.is_open()) return std::nullopt;
  std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  if (file.bad()) return std::nullopt;
  return text;
}

nlohmann::ordered_json FindingAsJson(const ConfigFinding& finding, const std::string& file) {
  return {{"file", file},
          {"line", finding.line},
          {"column", finding.column},
          {"severity", SeverityName(finding.severity)},
          {"table", finding.table},
          {"entry", finding.entry},
          {"key", finding.key},
          {"message", finding.what},
          {"consequence", finding.consequence}};
}

std::string Counted(std::size_t count, std::string_view noun) {
  return fmt::format("{} {}{}", count, noun, count == 1 ? "" : "s");
}

}  // namespace

int RunCheck(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  CLI::App app{
      "Checks spawn configuration files and reports every problem the plug-in would meet."};
  app.name("drovekeeper-check");
  std::vector<std::string> files;
  bool as_json = false;
  app.add_option("FILE", files, "configuration files to check")->required();
  app.add_flag("--json", as_json, "print the findings as one JSON array");
  try {
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    app.parse(std::move(reversed));
  } catch (const CLI::ParseError& e) {
    return app.exit(e, out, err) == 0 ? kClean : kErrors;
  }

  std::size_t errors = 0;
  std::size_t warnings = 0;
  nlohmann::ordered_json listed = nlohmann::ordered_json::array();
  for (const std::string& file : files) {
    const std::optional<std::string> text = ReadWholeFile(file);
    if (!text) {
      err << file << ": error: cannot read the file\n";
      ++errors;
      continue;
    }
    for (const ConfigFinding& finding : CheckConfigText(*text)) {
      ++(finding.severity == ConfigFinding::Severity::kError ? errors : warnings);
      if (as_json) {
        listed.push_back(FindingAsJson(finding, file));
      } else {
        out << FormatFinding(finding, file) << '\n';
      }
    }
  }

  // Texts come from the files, so bytes that are not UTF-8 are replaced
  // rather than refused.
  if (as_json) out << listed.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << '\n';
  const std::string summary =
      errors + warnings == 0
          ? fmt::format("no problems found in {}", Counted(files.size(), "file"))
          : fmt::format("{} and {} in {}", Counted(errors, "error"), Counted(warnings, "warning"),
                        Counted(files.size(), "file"));
  (as_json ? err : out) << summary << '\n';
  if (errors > 0) return kErrors;
  return warnings > 0 ? kWarnings : kClean;
}
