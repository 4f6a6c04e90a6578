// Lists of names inside one finding, kept to a line a reader can take in
// however many entries a rule concerns. Used by check/check*.cc.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace drovekeeper::check {

inline constexpr std::size_t kNamesShown = 3;

// "a, b, c"; past `shown` names the first `shown` and then a count with
// thousands set off by commas: "a, b, c and 9,997 more".
std::string ListSome(const std::vector<std::string>& names, std::size_t shown = kNamesShown);

}  // namespace drovekeeper::check
