// The gn_ string helpers and the streaming reply matcher.
#include "EngineSource/OSWIN32.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

namespace {

// 1-based position at which a fresh matcher first reports the pattern, or 0.
size_t matchedAt(const char* pszPattern, const std::string& text)
{
    gn_Matcher matcher;
    gn_MatchInit(&matcher, pszPattern);
    for (size_t i = 0; i < text.size(); ++i) {
        if (gn_MatchChar(&matcher, text[i]))
            return i + 1;
    }
    return 0;
}

TEST(MatcherTest, FallsBackToTheLongestPrefixStillMatched)
{
    EXPECT_EQ(matchedAt("OK\r\n", "OOK\r\n"), 5u);
    EXPECT_EQ(matchedAt("aab", "aaab"), 4u);
    EXPECT_EQ(matchedAt("abcabd", "abcabcabd"), 9u);
    EXPECT_EQ(matchedAt("OK\r\n", "ok\r\nO K\r\n"), 0u);
    EXPECT_EQ(matchedAt("", "x"), 1u);
    // Agrees with a plain search on random text over a small alphabet.
    std::mt19937 random(7);
    for (int nRound = 0; nRound < 2000; ++nRound) {
        std::string text;
        for (int i = 0; i < 12; ++i)
            text += "abOK\r\n"[random() % 6];
        for (const char* pszPattern : {"aab", "abab", "aaba", "OK\r\n", "abcab"}) {
            size_t nFound = text.find(pszPattern);
            ASSERT_EQ(matchedAt(pszPattern, text), nFound == std::string::npos ? 0 : nFound + strlen(pszPattern)) << text;
        }
    }
    gn_Matcher matcher;
    gn_MatchInit(&matcher, "K");
    EXPECT_EQ(gn_MatchChar(&matcher, 'K') + gn_MatchChar(&matcher, 'x'), 2);    // complete until re-initialised
}

TEST(StringTest, ComparesCopiesTrimsAndConverts)
{
    EXPECT_EQ(gn_StriCmp("abc", "ABC"), 0);
    EXPECT_LT(gn_StriCmp("ab", "abc"), 0);
    EXPECT_EQ(gn_StriCmp("a", "C"), 'A' - 'C');
    EXPECT_LT(gn_StriCmp("\xE9", "a"), 0);    // characters are signed
    EXPECT_EQ(gn_StrniCmp("abcX", "ABCy", 3), 0);
    char sz[16] = "az{\xE9Z`";
    gn_StrUpper(sz);
    EXPECT_STREQ(sz, "AZ{\xE9Z`");

    EXPECT_EQ(gn_StrCopyN(sz, "hello", 6), 5);
    EXPECT_EQ(gn_StrCopyN(sz, "hello", 3), 3);    // cut: returns the size
    EXPECT_STREQ(sz, "he");
    gn_TrimCopy(sz, "  ab cd", 4);    // cut to "ab ", then trimmed
    EXPECT_STREQ(sz, "ab");
    snprintf(sz, sizeof sz, "\t a b \r\n");
    gn_Trim(sz);
    EXPECT_STREQ(sz, "a b");
    snprintf(sz, sizeof sz, " \t\r\n");
    gn_Trim(sz);
    EXPECT_STREQ(sz, "");

    for (auto value : {std::make_pair("0x1F", 31), {"0X1fz", 31}, {"12abc", 12}, {"0x", 0}, {"0xg7", 0}, {"-1", 0}, {" 5", 0}})
        EXPECT_EQ(gn_StrToInt(value.first), value.second) << value.first;
    EXPECT_EQ(gn_StrToInt(nullptr), 0);
}

}  // namespace
