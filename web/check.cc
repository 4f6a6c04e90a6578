#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>

#include "tools/check/run_check.h"
#include "web/api.h"

namespace fs = std::filesystem;

namespace drovekeeper::web {

const char* Returned(const nlohmann::json& value) {
  static std::string text;
  text = value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  return text.c_str();
}

std::string WithWideMark(std::string text) {
  constexpr std::string_view kReadMark = "\xEF\xBF\xBD\xEF\xBF\xBD";
  if (text.starts_with(kReadMark)) text.replace(0, kReadMark.size(), "\xFF\xFE");
  return text;
}

}  // namespace drovekeeper::web

const char* dk_check(const char* file_name, const char* text) {
  // The file as the operator named it, in a folder of its own, checked from
  // there: the findings then name it as drovekeeper-check FILE names it.
  const fs::path folder = "/check";
  std::string name = fs::path(file_name).filename().string();
  if (name.empty() || name == "." || name == "..") name = "config.json";
  std::error_code error;
  fs::create_directories(folder, error);
  const fs::path previous = fs::current_path(error);
  {
    std::ofstream file(folder / name, std::ios::binary | std::ios::trunc);
    file << drovekeeper::web::WithWideMark(text);
  }
  fs::current_path(folder, error);
  std::ostringstream out;
  std::ostringstream err;
  const int exit = drovekeeper::check_tool::RunCheck({name}, out, err);
  fs::current_path(previous, error);
  fs::remove(folder / name, error);
  return drovekeeper::web::Returned({{"exit", exit}, {"output", out.str() + err.str()}});
}
