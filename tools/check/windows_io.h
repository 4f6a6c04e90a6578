// The checker's process on Windows: its arguments as UTF-8, and standard
// output and error that take UTF-8 and give a console its text and a file
// or pipe the same bytes as on Linux. Used by check_main.cc only.
#pragma once

#include <memory>
#include <ostream>
#include <streambuf>
#include <string>
#include <vector>

namespace drovekeeper::check_tool {

// The arguments after the program name, from wmain's wide ones.
std::vector<std::string> Utf8Arguments(int argc, wchar_t** argv);

// A stream over a standard handle (STD_OUTPUT_HANDLE, STD_ERROR_HANDLE).
// Writes out each line as it ends, and the rest when destroyed.
class StandardOutput {
 public:
  explicit StandardOutput(unsigned long which);
  ~StandardOutput();

  std::ostream& stream() { return stream_; }

 private:
  std::unique_ptr<std::streambuf> buffer_;
  std::ostream stream_;
};

}  // namespace drovekeeper::check_tool
