// The drovekeeper-check command line, apart from the process: parses the
// arguments, checks each named configuration file and prints the findings.
// Used by check_main.cc and by the tests.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "check/check.h"

namespace drovekeeper::check_tool {

// `args` are the arguments after the program name. Returns the exit code:
// 0 when every file is clean or has notes only, 1 with warnings (2 with
// --strict), 2 with errors (a file that cannot be read or is no regular file, one over 16 MiB
// and a bad command line count as errors).
int RunCheck(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// One finding as an element of --json's array, and that array as printed.
nlohmann::ordered_json FindingAsJson(const check::ConfigFinding& finding, std::string_view file);
std::string DumpFindings(const nlohmann::ordered_json& findings);

}  // namespace drovekeeper::check_tool
