// The servers file of drovekeeper-fleet: which game servers the fleet is and
// how to log in to each. Read by the program's sub-commands (fleet/main.cc)
// and the tests; nothing else.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace drovekeeper::fleet {

// One object of the servers file.
struct Server {
  std::string name, host;
  std::uint16_t port = 0;
  std::string password;  // resolved from "password", "password_env" or "password_file"
};

// A path from its UTF-8 text, on Windows too; and back.
std::filesystem::path Utf8Path(const std::string& text);
std::string Utf8Text(const std::filesystem::path& path);

// Reads the servers file: a JSON array of {"name", "host", "port"} with one
// of "password", "password_env" (a variable's name) or "password_file" (a
// path, relative to the servers file's folder; its trailing line ends are
// dropped). On Linux a file holding a password inline must not be readable
// by its group or others. Throws std::runtime_error with a one-line reason.
std::vector<Server> LoadServers(const std::filesystem::path& file);

}  // namespace drovekeeper::fleet
