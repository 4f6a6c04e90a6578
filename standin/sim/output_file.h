// A file the simulator writes (the events, the report) through a descriptor
// of its own, so that a failure can say why: the system's text for the error
// of the open, of the first write that failed, or of the close. Used by the
// simulator only.
#pragma once

#include <memory>
#include <ostream>
#include <string>

namespace standin::sim {

class OutputFile {
 public:
  enum class Mode { kTruncate, kAppend };

  OutputFile();
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Empty when the file is open, else the reason ("Not a directory").
  std::string Open(const std::string& path, Mode mode);
  // Fails (badbit) at the first write the system refuses.
  std::ostream& stream() { return stream_; }
  // The reason of the first failed write; empty while none failed.
  std::string failure() const;
  // Writes what is buffered and closes; empty when every write and the close
  // went through, else the reason of the first failure.
  std::string Close();

 private:
  class Buffer;
  std::unique_ptr<Buffer> buffer_;
  std::ostream stream_;
};

}  // namespace standin::sim
