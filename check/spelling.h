// Spelling helpers of the configuration checker: letter-case folding and the
// "did you mean" guess for a misspelt key or table. Used by check/check*.cc.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace drovekeeper::check {

// ASCII letters in lower case; every other byte as it is.
std::string Folded(std::string_view text);

// The closest of `candidates` to `word`, ignoring letter case, if close
// enough to be a likely typo: at most one edit from a candidate shorter
// than six characters, two from a longer one (a swap of neighbours counts
// as one edit).
std::optional<std::string_view> Closest(std::string_view word,
                                        std::span<const std::string_view> candidates);

}  // namespace drovekeeper::check
