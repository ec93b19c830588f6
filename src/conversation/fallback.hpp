// The fallback replies: what Ulo says to a sentence it has no learned reply for.
#pragma once

#include <string_view>

namespace ulo {

// The 1-based position of the leftmost occurrence of `pattern` in `text` at or after `start`, or
// 0: also for an empty text, a start below 1 or beyond the text, and a pattern longer than it.
int containsText(int start, std::string_view text, std::string_view pattern);

// The reply for `sentence`: a keyword reply ("Where ", "How ", "?" in that order) or, when none
// matches, one of six replies chosen by a roll with 6 outcomes. Draws at most one random value.
std::string_view fallbackReply(std::string_view sentence);

// Prints the fallback reply for `sentence` followed by a line end.
void respond(std::string_view sentence);

} // namespace ulo
