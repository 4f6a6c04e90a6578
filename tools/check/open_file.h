// How the checker opens a configuration file: read-only, by a UTF-8 path,
// never blocking on a FIFO; on Windows by the file's wide name, so that any
// path a user can type opens whatever the system's code page. Used by
// run_check.cc.
#pragma once

#include <string>

namespace drovekeeper::check_tool {

// A descriptor for ::read and ::fstat, or -1 with errno set.
int OpenForReading(const std::string& path);

}  // namespace drovekeeper::check_tool
