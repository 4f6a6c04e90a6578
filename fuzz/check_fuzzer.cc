// Fuzz target: arbitrary bytes as a configuration text, through the checker's
// whole path to what drovekeeper-check prints: drovekeeper::check::CheckConfigText with notes,
// each finding's line, and the --json array.
//
// After each input: nothing was thrown; every finding lies inside the text
// and has its text and, for errors, its consequence; the printed lines and
// the JSON hold no bytes that are not UTF-8 (the input's own bytes are
// never echoed); the JSON array reads back with one element per finding;
// and without notes the checker returns exactly the other findings.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "check/check.h"
#include "fuzz/fuzz_check.h"
#include "tools/check/run_check.h"

namespace {

constexpr std::string_view kFile = "config.json";

// The JSON library refuses to write a string that is not UTF-8.
bool IsUtf8(std::string_view text) {
  try {
    static_cast<void>(nlohmann::json(std::string(text)).dump());
    return true;
  } catch (const nlohmann::json::type_error&) {
    return false;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<int> line_lengths{0};
  for (char c : text) {
    if (c == '\n') {
      line_lengths.push_back(0);
    } else {
      ++line_lengths.back();
    }
  }

  const std::vector<drovekeeper::check::ConfigFinding> findings =
      drovekeeper::check::CheckConfigText(text, drovekeeper::check::CheckNotes::kInclude);
  nlohmann::ordered_json listed = nlohmann::ordered_json::array();
  std::vector<drovekeeper::check::ConfigFinding> without_notes;
  for (const drovekeeper::check::ConfigFinding& finding : findings) {
    fuzz::Check(finding.line >= 1 && finding.line <= static_cast<int>(line_lengths.size()),
                "a finding's line lies outside the text");
    fuzz::Check(finding.column >= 1 && finding.column <= line_lengths[finding.line - 1] + 1,
                "a finding's column lies outside its line");
    fuzz::Check(!finding.what.empty(), "a finding says nothing");
    fuzz::Check(finding.severity != drovekeeper::check::ConfigFinding::Severity::kError ||
                    finding.consequence != drovekeeper::check::Consequence::kCheckerFailed,
                "an error without its consequence");
    const std::string line = drovekeeper::check::FormatFinding(finding, kFile);
    fuzz::Check(line.starts_with(std::string(kFile) + ":"), "a printed finding without its file");
    fuzz::Check(IsUtf8(line), "a printed finding echoes bytes that are not UTF-8");
    listed.push_back(drovekeeper::check_tool::FindingAsJson(finding, kFile));
    if (finding.severity != drovekeeper::check::ConfigFinding::Severity::kNote)
      without_notes.push_back(finding);
  }
  const std::string dumped = drovekeeper::check_tool::DumpFindings(listed);
  fuzz::Check(IsUtf8(dumped), "the JSON output holds bytes that are not UTF-8");
  const nlohmann::json reread = nlohmann::json::parse(dumped, nullptr, false);
  fuzz::Check(reread.is_array() && reread.size() == findings.size(),
              "the JSON output does not read back as one element per finding");

  const std::vector<drovekeeper::check::ConfigFinding> plain =
      drovekeeper::check::CheckConfigText(text);
  fuzz::Check(plain.size() == without_notes.size(), "notes changed the other findings");
  for (std::size_t i = 0; i < plain.size(); ++i) {
    fuzz::Check(drovekeeper::check::FormatFinding(plain[i], kFile) ==
                    drovekeeper::check::FormatFinding(without_notes[i], kFile),
                "notes changed the other findings");
  }
  return 0;
}
