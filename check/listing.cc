#include "check/listing.h"

#include <fmt/format.h>

namespace drovekeeper::check {

namespace {

// Grouped by hand: the library's grouping follows the locale, and the
// checker's output must not.
std::string WithThousands(std::size_t count) {
  const std::string digits = std::to_string(count);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

}  // namespace

std::string ListSome(const std::vector<std::string>& names, std::size_t shown) {
  std::string listed;
  for (std::size_t i = 0; i < names.size() && i < shown; ++i) {
    if (i > 0) listed += ", ";
    listed += names[i];
  }
  if (names.size() > shown)
    listed += fmt::format(" and {} more", WithThousands(names.size() - shown));
  return listed;
}

}  // namespace drovekeeper::check
