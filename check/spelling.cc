#include "check/spelling.h"

#include <algorithm>
#include <vector>

namespace drovekeeper::check {

namespace {

char FoldCase(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

// Gives up when the lengths alone rule a match out.
std::size_t EditDistance(std::string_view a, std::string_view b, std::size_t limit) {
  const std::size_t gap = a.size() > b.size() ? a.size() - b.size() : b.size() - a.size();
  if (gap > limit) return limit + 1;
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t cost = FoldCase(a[i - 1]) == FoldCase(b[j - 1]) ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && FoldCase(a[i - 1]) == FoldCase(b[j - 2]) &&
          FoldCase(a[i - 2]) == FoldCase(b[j - 1])) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

std::string Folded(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = FoldCase(c);
  return out;
}

std::optional<std::string_view> Closest(std::string_view word,
                                        std::span<const std::string_view> candidates) {
  std::optional<std::string_view> best;
  std::size_t best_distance = 0;
  for (std::string_view candidate : candidates) {
    const std::size_t limit = candidate.size() >= 6 ? 2 : 1;
    const std::size_t distance = EditDistance(word, candidate, limit);
    if (distance <= limit && (!best || distance < best_distance)) {
      best = candidate;
      best_distance = distance;
    }
  }
  return best;
}

}  // namespace drovekeeper::check
