#include "conversation/fallback.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

namespace ulo {
namespace {

TEST(ContainsText, FindsTheLeftmostOccurrence) {
    EXPECT_EQ(containsText(1, "abcabc", "bc"), 2);
    EXPECT_EQ(containsText(3, "abcabc", "bc"), 5);
    EXPECT_EQ(containsText(5, "abcabc", "bc"), 5);
    EXPECT_EQ(containsText(6, "abcabc", "bc"), 0);
    EXPECT_EQ(containsText(1, "aaaa", "aa"), 1);
    EXPECT_EQ(containsText(1, "xxHow ", "How "), 3);
    EXPECT_EQ(containsText(1, "?", "?"), 1);
    EXPECT_EQ(containsText(1, "how ", "How "), 0); // case matters
}

TEST(ContainsText, RefusesBadArguments) {
    EXPECT_EQ(containsText(1, "", "a"), 0);
    EXPECT_EQ(containsText(0, "abc", "a"), 0);
    EXPECT_EQ(containsText(-4, "abc", "a"), 0);
    EXPECT_EQ(containsText(4, "abc", "c"), 0);
    EXPECT_EQ(containsText(1, "ab", "abc"), 0);
}

TEST(FallbackReply, KeywordRulesDecideInOrderWithoutDrawing) {
    testing::ScriptedRandom noDraws;
    EXPECT_EQ(fallbackReply("Where is it?"), "I don't know where.");
    EXPECT_EQ(fallbackReply("Where How ?"), "I don't know where.");
    EXPECT_EQ(fallbackReply("Show me How it works"), "I don't know how.");
    EXPECT_EQ(fallbackReply("How?"), "I don't understand the question.");
    EXPECT_EQ(fallbackReply("Where?"), "I don't understand the question.");
    EXPECT_EQ(noDraws.draws(), 0u);
}

TEST(FallbackReply, OtherwiseOneDrawChoosesTheReply) {
    testing::ScriptedRandom script({0, 5461, 5462, 10923, 16384, 21846, 27307, 32767});
    const char* expected[] = {
        "I don't know.",
        "I don't know.",
        "I'm not sure.",
        "I don't understand.",
        "No clue what you're talking about.",
        "No idea.",
        "I don't know how to respond to that.",
        "I don't know how to respond to that.",
    };
    // Lower-case keywords and words at the very end do not match the rules.
    const char* sentences[] = {"where are you", "how are you", "Tell me How", "Where",
                               "hello",         "x",           "Howdy",       "Somewhere "};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(fallbackReply(sentences[i]), expected[i]) << sentences[i];
    }
    EXPECT_EQ(script.draws(), 8u);
}

} // namespace
} // namespace ulo
