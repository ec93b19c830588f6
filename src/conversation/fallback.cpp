#include "conversation/fallback.hpp"

#include "console/print.hpp"
#include "runtime/random.hpp"

#include <array>

namespace ulo {
namespace {

struct KeywordRule {
    std::string_view pattern;
    std::string_view reply;
};

constexpr std::array<KeywordRule, 3> KEYWORD_RULES = {{
    {"Where ", "I don't know where."},
    {"How ", "I don't know how."},
    {"?", "I don't understand the question."},
}};

constexpr std::array<std::string_view, 6> RANDOM_REPLIES = {
    "I don't know.",
    "I'm not sure.",
    "I don't understand.",
    "No clue what you're talking about.",
    "No idea.",
    "I don't know how to respond to that.",
};

} // namespace

int containsText(int start, std::string_view text, std::string_view pattern) {
    if (text.empty() || start < 1 || static_cast<std::size_t>(start) > text.size() ||
        pattern.size() > text.size()) {
        return 0;
    }
    const std::size_t found = text.find(pattern, static_cast<std::size_t>(start - 1));
    return found == std::string_view::npos ? 0 : static_cast<int>(found) + 1;
}

std::string_view fallbackReply(std::string_view sentence) {
    for (const KeywordRule& rule : KEYWORD_RULES) {
        if (containsText(1, sentence, rule.pattern) != 0) {
            return rule.reply;
        }
    }
    const int fallbackRoll = roll(static_cast<int>(RANDOM_REPLIES.size()));
    return RANDOM_REPLIES[static_cast<std::size_t>(fallbackRoll - 1)];
}

void respond(std::string_view sentence) {
    printText(0, fallbackReply(sentence), PRINT_NEWLINE);
}

} // namespace ulo
