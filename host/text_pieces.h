// The split of a text at single spaces, by which a "Position" text falls
// into its numbers. Header-only, so that the checker, which links no host
// library, splits by the very rule the spawn code does. Used by
// host/game_array.cc and check/check_values.cc.
#pragma once

#include <cstddef>
#include <string_view>

namespace drovekeeper::host {

// Calls `take` with each run of `text` between spaces (U+0020 only), in
// order; empty runs are dropped.
template <typename Char, typename Take>
void ForEachPieceBetweenSpaces(std::basic_string_view<Char> text, Take&& take) {
  while (!text.empty()) {
    const std::size_t space = text.find(Char{' '});
    if (space != 0) take(text.substr(0, space));
    if (space == std::basic_string_view<Char>::npos) return;
    text.remove_prefix(space + 1);
  }
}

}  // namespace drovekeeper::host
