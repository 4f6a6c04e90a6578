// The configuration checker: every problem of a configuration text that the
// plug-in would fail on (errors) or read differently from what its author
// likely meant (warnings), each with its line and column in the text.
// Called by tools/check (drovekeeper-check) and by the plug-in at load and
// reload to log the same findings. Never throws, whatever the bytes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct ConfigFinding {
  enum class Severity { kError, kWarning };
  Severity severity;
  int line;           // 1-based
  int column;         // 1-based, counted in bytes
  std::string table;  // "SpawnDino", "SpawnDinoX" or empty for the document
  std::string entry;  // entry name, empty for the table or document
  std::string key;    // key within the entry, empty when none applies
  std::string what;
  std::string consequence;
};

// Checks one configuration text, parsed the way the plug-in parses its file:
// one JSON value from the start, whatever follows it never read. Findings
// come in text order.
std::vector<ConfigFinding> CheckConfigText(std::string_view text);

// "FILE:LINE:COL: error: TABLE["ENTRY"]: WHAT; CONSEQUENCE"
std::string FormatFinding(const ConfigFinding& finding, std::string_view file);

// "error" or "warning".
std::string_view SeverityName(ConfigFinding::Severity severity);
