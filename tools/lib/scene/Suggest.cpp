#include "scene/Suggest.h"

#include <algorithm>

#include "text/Text.h"

namespace quillstreak::renderer {
namespace {

// Optimal string alignment distance: Levenshtein plus the swap of two neighbouring letters.
std::size_t Distance(const std::string& a, const std::string& b) {
  const std::size_t n = a.size(), m = b.size();
  std::vector<std::vector<std::size_t>> d(n + 1, std::vector<std::size_t>(m + 1));
  for (std::size_t i = 0; i <= n; ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= m; ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= n; ++i) {
    for (std::size_t j = 1; j <= m; ++j) {
      const std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  }
  return d[n][m];
}

}  // namespace

std::string ClosestMatch(std::string_view word, const std::vector<std::string>& candidates) {
  const std::string w = Lower(word);
  const std::size_t limit = std::min<std::size_t>(3, std::max<std::size_t>(1, w.size() / 3));
  std::string best;
  std::size_t bestDistance = limit + 1;
  for (const auto& c : candidates) {
    const std::size_t d = Distance(w, Lower(c));
    if (d < bestDistance) {
      bestDistance = d;
      best = c;
    }
  }
  return best;
}

std::string DidYouMean(std::string_view word, const std::vector<std::string>& candidates) {
  const std::string match = ClosestMatch(word, candidates);
  return match.empty() ? std::string() : " (did you mean \"" + match + "\"?)";
}

}  // namespace quillstreak::renderer
