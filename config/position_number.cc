#include "config/position_number.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace drovekeeper::config {

namespace {

// White space as the C locale's isspace() sees it.
bool IsSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

}  // namespace

std::int32_t ParsePositionNumber(std::u16string_view piece) {
  std::size_t i = 0;
  while (i < piece.size() && IsSpace(piece[i])) ++i;
  bool negative = false;
  if (i < piece.size() && (piece[i] == u'+' || piece[i] == u'-')) {
    negative = piece[i] == u'-';
    ++i;
  }
  const std::size_t first_digit = i;
  // The magnitude saturates just past the 32-bit range, so long runs of
  // digits cannot overflow it.
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 2;
  std::int64_t magnitude = 0;
  while (i < piece.size() && piece[i] >= u'0' && piece[i] <= u'9') {
    magnitude = std::min(magnitude * 10 + (piece[i] - u'0'), kLimit);
    ++i;
  }
  if (i == first_digit) throw std::invalid_argument("invalid stoi argument");
  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    throw std::out_of_range("stoi argument out of range");
  }
  return static_cast<std::int32_t>(value);
}

}  // namespace drovekeeper::config
