// The gn_ string helpers and the streaming reply matcher.
#include "EngineSource/OSWIN32.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(matchedAt("ababc", "abababc"), 7u);
    EXPECT_EQ(matchedAt("abcabd", "abcabcabd"), 9u);
    EXPECT_EQ(matchedAt("NOK2", "NONOK2"), 6u);
    EXPECT_EQ(matchedAt("OK\r\n", "ok\r\nO K\r\n"), 0u);
    EXPECT_EQ(matchedAt("", "x"), 1u);
}

TEST(MatcherTest, AgreesWithASearchOnRandomText)
{
    std::mt19937 random(7);
    const char* kPatterns[] = {"aab", "abab", "aaba", "OK\r\n", "abcab"};
    for (int nRound = 0; nRound < 2000; ++nRound) {
        std::string text;
        for (int i = 0; i < 12; ++i)
            text += "abOK\r\n"[random() % 6];
        for (const char* pszPattern : kPatterns) {
            size_t nFound = text.find(pszPattern);
            size_t nExpected = nFound == std::string::npos ? 0 : nFound + strlen(pszPattern);
            ASSERT_EQ(matchedAt(pszPattern, text), nExpected) << pszPattern << " in " << text;
        }
    }
}

TEST(MatcherTest, StaysCompleteUntilInitialisedAgain)
{
    gn_Matcher matcher;
    gn_MatchInit(&matcher, "OK");
    EXPECT_EQ(gn_MatchChar(&matcher, 'O') + gn_MatchChar(&matcher, 'K'), 1);
    EXPECT_EQ(gn_MatchChar(&matcher, 'x'), 1);
    gn_MatchInit(&matcher, "OK");
    EXPECT_EQ(gn_MatchChar(&matcher, 'x'), 0);
}

TEST(StringTest, ComparesAndUpperCasesAsciiOnly)
{
    EXPECT_EQ(gn_StriCmp("abc", "ABC"), 0);
    EXPECT_LT(gn_StriCmp("ab", "abc"), 0);
    EXPECT_EQ(gn_StriCmp("a", "C"), 'A' - 'C');
    EXPECT_LT(gn_StriCmp("\xE9", "a"), 0);    // characters are signed
    EXPECT_EQ(gn_StrniCmp("abcX", "ABCy", 3), 0);
    EXPECT_NE(gn_StrniCmp("abcX", "ABCy", 4), 0);
    char sz[] = "az{\xE9" "Z`";
    gn_StrUpper(sz);
    EXPECT_STREQ(sz, "AZ{\xE9" "Z`");
}

TEST(StringTest, TrimsAndCopiesWithinTheirLimits)
{
    char sz[16] = " \t\r\n";
    gn_Trim(sz);
    EXPECT_STREQ(sz, "");
    snprintf(sz, sizeof sz, "\t a b \r\n");
    gn_Trim(sz);
    EXPECT_STREQ(sz, "a b");

    EXPECT_EQ(gn_StrCopyN(sz, "hello", 6), 5);
    EXPECT_EQ(gn_StrCopyN(sz, "hello", 3), 3);
    EXPECT_STREQ(sz, "he");
    EXPECT_EQ(gn_StrCopyN(sz, nullptr, 6), 0);

    gn_TrimCopy(sz, "  ab cd  ", 16);
    EXPECT_STREQ(sz, "ab cd");
    gn_TrimCopy(sz, "  ab cd", 4);    // cut to "ab ", then trimmed
    EXPECT_STREQ(sz, "ab");
}

TEST(StringTest, ReadsHexOrLeadingDecimalDigits)
{
    EXPECT_EQ(gn_StrToInt("0x1F"), 31);
    EXPECT_EQ(gn_StrToInt("0X1fz"), 31);
    EXPECT_EQ(gn_StrToInt("12abc"), 12);
    EXPECT_EQ(gn_StrToInt("0x"), 0);
    EXPECT_EQ(gn_StrToInt("0xg7"), 0);
    EXPECT_EQ(gn_StrToInt("-1"), 0);
    EXPECT_EQ(gn_StrToInt(" 5"), 0);
    EXPECT_EQ(gn_StrToInt(nullptr), 0);
}

}  // namespace
