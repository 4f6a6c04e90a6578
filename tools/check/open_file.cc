#include "tools/check/open_file.h"

#include <fcntl.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>

#include <cerrno>

namespace drovekeeper::check_tool {

int OpenForReading(const std::string& path) {
  std::wstring wide;
  if (!path.empty()) {
    const int size = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(),
                                           static_cast<int>(path.size()), nullptr, 0);
    if (size <= 0) {
      errno = ENOENT;  // no file has a name that is not text
      return -1;
    }
    wide.resize(static_cast<std::size_t>(size));
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()),
                          wide.data(), size);
  }
  // Binary, so that line ends reach the checker as they are in the file.
  return ::_wopen(wide.c_str(), O_RDONLY | O_BINARY);
}

}  // namespace drovekeeper::check_tool
#else
namespace drovekeeper::check_tool {

int OpenForReading(const std::string& path) {
  return ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
}

}  // namespace drovekeeper::check_tool
#endif
