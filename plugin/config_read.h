// Reading the configuration file, shared by Load and the reload command:
// the file read once, parsed and built into the tables, and checked, with
// the log lines a read gives. Only plugin/ and the tests call these.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "check/check.h"
#include "config/config.h"

namespace drovekeeper::plugin {

inline constexpr std::string_view kOpenFailureText = "无法打开文件配置config.json";
// How log lines name the configuration file: operators know where it lives,
// and the server's full path is nobody else's business.
inline constexpr std::string_view kConfigFileName = "config.json";

// The server's working directory followed by the configuration's own path.
std::string ConfigFilePath();

// What a read of the configuration came to.
struct ConfigReadResult {
  // The failure's text, already logged as one error line, or nothing.
  std::optional<std::string> failure;
  // On a failure other than a missing file: the checker's error that
  // explains it, as "config.json:LINE:COL: error: ...", when it found one;
  // the one on what the failure names, else the first that refuses the file.
  std::optional<std::string> cause;
  // On success: the checker's findings on the very text that was loaded,
  // not yet logged.
  std::vector<check::ConfigFinding> findings;
  // The fingerprint of the bytes read (config/fingerprint.h); empty when
  // the file could not be opened.
  std::string fingerprint;
};

// The file on disk as a read would take it: read, parsed, built and
// checked apart from the configuration in force. Nothing is logged and
// nothing replaced; the dry run of a reload stops here.
struct ConfigCandidate {
  std::optional<std::string> text;  // none when the file cannot be opened
  nlohmann::json document;          // as parsed, when it parses
  config::SpawnTables tables;       // as built, when the read would take
  // What the read comes to, `findings` holding every finding of the text.
  ConfigReadResult result;
};
ConfigCandidate ReadConfigCandidate();

// The file's bytes now, or nothing when it cannot be opened.
std::optional<std::string> ReadConfigFileBytes();

// ReadConfigCandidate, then the document and both tables replaced when it
// is taken. A
// failure logs its one line, then the checker's errors that refuse the text,
// in text order, at most kMaxFailureFindings and then "... and N more"; the
// file's other findings belong to a text that is not running.
ConfigReadResult ReadConfiguration();

// How many errors a failed read logs after its failure line.
inline constexpr std::size_t kMaxFailureFindings = 10;

// One line per finding, as drovekeeper-check prints it with the file named
// "config.json": errors at error level, warnings at info level, nothing of
// any other severity. Findings are reports only; nothing here changes what
// is loaded. Never throws.
void LogConfigFindings(const std::vector<check::ConfigFinding>& findings) noexcept;

}  // namespace drovekeeper::plugin
