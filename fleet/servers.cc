#include "fleet/servers.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <stdexcept>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace drovekeeper::fleet {
namespace {

using nlohmann::json;

std::string ReadAll(const std::filesystem::path& file, const std::string& what) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error(what + " " + Utf8Text(file) + " cannot be opened");
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Whether others than the owner may read `file`. On Windows the folder's
// access lists decide, which a mode cannot say.
bool OthersMayRead([[maybe_unused]] const std::filesystem::path& file,
                   [[maybe_unused]] std::string* mode) {
#ifdef _WIN32
  return false;
#else
  struct stat info {};
  if (stat(file.c_str(), &info) != 0) return false;
  std::ostringstream octal;
  octal << '0' << std::oct << (info.st_mode & 0777);
  *mode = octal.str();
  return (info.st_mode & (S_IRGRP | S_IROTH)) != 0;
#endif
}

std::string Text(const json& server, const char* key, const std::string& where) {
  auto it = server.find(key);
  if (it == server.end()) throw std::runtime_error(where + ": \"" + key + "\" is missing");
  if (!it->is_string() || it->get_ref<const std::string&>().empty())
    throw std::runtime_error(where + ": \"" + key + "\" must be a text, not empty");
  return it->get<std::string>();
}

std::string Password(const json& server, const std::filesystem::path& folder,
                     const std::string& where) {
  int given = 0;
  for (const char* key : {"password", "password_env", "password_file"})
    given += server.contains(key);
  if (given != 1)
    throw std::runtime_error(
        where + ": needs exactly one of \"password\", \"password_env\", \"password_file\"");
  if (server.contains("password")) return Text(server, "password", where);
  if (server.contains("password_env")) {
    const std::string name = Text(server, "password_env", where);
    const char* value = std::getenv(name.c_str());
    if (value == nullptr || *value == '\0')
      throw std::runtime_error(where + ": \"password_env\": the variable " + name +
                               " is not set or empty");
    return value;
  }
  std::filesystem::path path = Utf8Path(Text(server, "password_file", where));
  if (path.is_relative()) path = folder / path;
  std::string password = ReadAll(path, where + ": \"password_file\"");
  while (!password.empty() && (password.back() == '\n' || password.back() == '\r'))
    password.pop_back();
  if (password.empty())
    throw std::runtime_error(where + ": \"password_file\" " + Utf8Text(path) + " is empty");
  return password;
}

}  // namespace

std::filesystem::path Utf8Path(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string Utf8Text(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::vector<Server> LoadServers(const std::filesystem::path& file) {
  const std::string shown = Utf8Text(file);
  const std::string bytes = ReadAll(file, "the servers file");
  json document;
  try {
    document = json::parse(bytes);
  } catch (const json::parse_error& error) {
    throw std::runtime_error(shown + ": not JSON: " + error.what());
  }
  if (!document.is_array() || document.empty())
    throw std::runtime_error(shown + ": must be a JSON array of one object per server");

  const std::filesystem::path folder = file.parent_path();
  std::vector<Server> servers;
  std::set<std::string> names;
  bool inline_password = false;
  for (std::size_t i = 0; i < document.size(); ++i) {
    const json& object = document[i];
    std::string where = shown + ": server " + std::to_string(i + 1);
    if (!object.is_object()) throw std::runtime_error(where + ": must be an object");
    for (const auto& [key, value] : object.items()) {
      static const std::set<std::string> kKeys = {"name",     "host",         "port",
                                                  "password", "password_env", "password_file"};
      if (!kKeys.contains(key)) throw std::runtime_error(where + ": unknown key \"" + key + "\"");
    }
    Server server;
    server.name = Text(object, "name", where);
    where += " (" + server.name + ")";
    if (!names.insert(server.name).second)
      throw std::runtime_error(where + ": another server has that name");
    server.host = Text(object, "host", where);
    const json* port = object.contains("port") ? &object.at("port") : nullptr;
    if (port == nullptr || !port->is_number_unsigned() || port->get<std::uint64_t>() == 0 ||
        port->get<std::uint64_t>() > 65535)
      throw std::runtime_error(where + ": \"port\" must be a number from 1 to 65535");
    server.port = port->get<std::uint16_t>();
    server.password = Password(object, folder, where);
    inline_password = inline_password || object.contains("password");
    servers.push_back(std::move(server));
  }

  std::string mode;
  if (inline_password && OthersMayRead(file, &mode))
    throw std::runtime_error(shown + " holds a password and others can read it (mode " + mode +
                             "): chmod 600 it, or name the password by \"password_env\" or "
                             "\"password_file\"");
  return servers;
}

}  // namespace drovekeeper::fleet
