// A scratch directory under the system's temporary directory, removed with
// everything in it when the object goes: a test's server root, or the files
// an end-to-end test or a fuzz target hands to the simulator. Free of
// GoogleTest; failures are thrown as std::runtime_error.
#pragma once

#include <string>
#include <string_view>

class ScratchDir {
 public:
  explicit ScratchDir(std::string_view prefix = "drovekeeper-test");
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& path() const { return path_; }
  // Writes `bytes` to path()/name, making the folders on the way; returns the
  // file's full path.
  std::string Write(std::string_view name, std::string_view bytes) const;

 private:
  std::string path_;
};
