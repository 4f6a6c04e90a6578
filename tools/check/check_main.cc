#include <iostream>
#include <string>
#include <vector>

#include "tools/check/run_check.h"

namespace check_tool = drovekeeper::check_tool;

#ifdef _WIN32
#include <windows.h>

#include "tools/check/windows_io.h"

// Wide arguments, so that a path in any script reaches the checker whole.
int wmain(int argc, wchar_t** argv) {
  check_tool::StandardOutput out(STD_OUTPUT_HANDLE);
  check_tool::StandardOutput err(STD_ERROR_HANDLE);
  return check_tool::RunCheck(check_tool::Utf8Arguments(argc, argv), out.stream(), err.stream());
}
#else
int main(int argc, char** argv) {
  return check_tool::RunCheck(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                              std::cerr);
}
#endif
