#include "config/text_encoding.h"

#include <fmt/format.h>

namespace drovekeeper::config {

namespace {

std::optional<std::string_view> WideEncodingName(std::string_view text) {
  const auto starts = [text](std::string_view prefix) { return text.starts_with(prefix); };
  using namespace std::string_view_literals;
  // The UTF-32 little-endian mark begins with the UTF-16 one.
  if (starts("\xFF\xFE\0\0"sv) || starts("\0\0\xFE\xFF"sv)) return "UTF-32";
  if (starts("\xFF\xFE"sv) || starts("\xFE\xFF"sv)) return "UTF-16";
  if (text.size() < 2) return std::nullopt;
  const auto zero = [text](std::size_t i) { return i < text.size() && text[i] == '\0'; };
  const bool four = text.size() >= 4;
  if (!zero(0) && zero(1)) return four && zero(2) && zero(3) ? "UTF-32" : "UTF-16";
  if (zero(0) && !zero(1)) return "UTF-16";
  if (four && zero(0) && zero(1) && zero(2) && !zero(3)) return "UTF-32";
  return std::nullopt;
}

}  // namespace

std::optional<std::string> WideEncodingReason(std::string_view text) {
  const std::optional<std::string_view> name = WideEncodingName(text);
  if (!name) return std::nullopt;
  return fmt::format("the file is {}; save it as UTF-8", *name);
}

}  // namespace drovekeeper::config
