// Spelling helpers of the configuration checker: letter-case folding, the
// edit distance and the "did you mean" guess for a misspelt key or table.
// Used by check/check*.cc, and by the spawn command (plugin/spawn_command.cc)
// for the names closest to one it does not know.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace drovekeeper::check {

// ASCII letters in lower case; every other byte as it is.
std::string Folded(std::string_view text);

// Edit distance with swaps of neighbours, ignoring letter case; limit + 1
// when the lengths alone put it past `limit`.
std::size_t EditDistance(std::string_view a, std::string_view b, std::size_t limit);

// The closest of `candidates` to `word`, ignoring letter case, if close
// enough to be a likely typo: at most one edit from a candidate shorter
// than six characters, two from a longer one (a swap of neighbours counts
// as one edit).
std::optional<std::string_view> Closest(std::string_view word,
                                        std::span<const std::string_view> candidates);

}  // namespace drovekeeper::check
