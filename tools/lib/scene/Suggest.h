// "Did you mean": the closest of a set of names to a misspelt one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace quillstreak::renderer {

/// The candidate closest to `word` by edit distance (insertions, deletions, substitutions and
/// swaps of neighbours; case is ignored), or an empty string when none is close enough to be a
/// likely misspelling: at most a third of the word's length, and at most 3 edits.
std::string ClosestMatch(std::string_view word, const std::vector<std::string>& candidates);

/// " (did you mean \"X\"?)" for the closest candidate, or an empty string.
std::string DidYouMean(std::string_view word, const std::vector<std::string>& candidates);

}  // namespace quillstreak::renderer
