#include "standin/sim/server_root.h"

#include <stdlib.h>

#include <system_error>

namespace standin::sim {

namespace fs = std::filesystem;

ServerRoot::~ServerRoot() {
  if (temporary_) {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
}

std::string ServerRoot::Prepare(const SimOptions& options) {
  std::error_code error;
  if (!options.config_file.empty()) {
    char pattern[] = "/tmp/drovekeeper-sim-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return "cannot create a temporary server directory";
    dir_ = pattern;
    temporary_ = true;
    fs::create_directories(config_path().parent_path(), error);
    if (!error) fs::copy_file(options.config_file, config_path(), error);
    if (error) return "cannot copy " + options.config_file + ": " + error.message();
    return "";
  }
  dir_ = fs::absolute(fs::path(options.root_dir), error).lexically_normal();
  if (dir_.has_relative_path() && dir_.filename().empty()) dir_ = dir_.parent_path();
  return error ? error.message() : "";
}

}  // namespace standin::sim
