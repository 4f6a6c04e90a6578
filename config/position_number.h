// The number rule of a "Position" text: how one space-separated piece reads
// as a whole number. Shared by the spawn code, which places creatures with
// it, and the checker, which reports the pieces it would fail on.
#pragma once

#include <cstdint>
#include <string_view>

namespace drovekeeper::config {

// One whole number of a position text, read like std::stoi in base 10:
// leading white space, an optional sign, digits up to the first non-digit.
// Throws std::invalid_argument("invalid stoi argument") without digits and
// std::out_of_range("stoi argument out of range") outside 32 bits.
std::int32_t ParsePositionNumber(std::u16string_view piece);

}  // namespace drovekeeper::config
