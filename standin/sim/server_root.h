// The stand-in server's working directory for one simulator run: the
// directory given with --root, or a fresh temporary one holding a copy of the
// --config file, removed when this object goes (the simulator makes sure it
// goes on every way out: the end of the run, an error, a signal, a closed
// output). Used by the simulator only.
#pragma once

#include <filesystem>
#include <string>

#include "standin/sim/options.h"

namespace standin::sim {

class ServerRoot {
 public:
  // Where the plug-in reads its configuration, under the server directory.
  static constexpr char kConfigRelative[] = "ZelApi/Plugins/Drovekeeper/config.json";

  ServerRoot() = default;
  ~ServerRoot();
  ServerRoot(const ServerRoot&) = delete;
  ServerRoot& operator=(const ServerRoot&) = delete;

  // Empty on success, else the reason.
  std::string Prepare(const SimOptions& options);

  const std::filesystem::path& dir() const { return dir_; }
  std::filesystem::path config_path() const { return dir_ / kConfigRelative; }
  bool temporary() const { return temporary_; }

 private:
  std::filesystem::path dir_;
  bool temporary_ = false;
};

}  // namespace standin::sim
