// The pieces the line-streaming protocols share: the text a file line goes
// out as (prefix, lone-LF cut, CR LF, the 128-byte limits), the percentage
// of a file sent, and progress reports.
#include "EngineSource/FlshLine.h"
#include "support/Faults.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

namespace {

struct ReadResult {
    int32_t nLength;     // flsh_ReadLineText's result
    std::string text;    // the text built
};

// Every result of reading the file through flsh_ReadLineText, up to and
// including the first that is not a line.
std::vector<ReadResult> readAll(const TempDir& dir, const std::string& bytes, const char* pszPrefix)
{
    dir.write("f.txt", bytes);
    osfl_Handle hFile = osfl_Open(dir.file("f.txt").c_str(), osfl_kAccessRead);
    EXPECT_NE(hFile, osfl_kInvalidHandle);
    os_LineReader reader;
    os_ResetLineReader(&reader);
    std::vector<ReadResult> results;
    for (;;) {
        char szText[flsh_kLineSize];
        int32_t nRead = 0;
        int32_t nLength = flsh_ReadLineText(hFile, &reader, pszPrefix, szText, &nRead);
        results.push_back(ReadResult{nLength, szText});
        if (nLength <= 0)
            break;
        EXPECT_EQ(static_cast<size_t>(nLength), results.back().text.size());
    }
    osfl_Close(hFile);
    return results;
}

TEST(FlshLine, TextsArePrefixCutLineAndCrLf)
{
    TempDir dir;
    std::vector<ReadResult> got = readAll(dir, ":00\r\n\r\nAB\nCD\r\nLAST", "at&&w");
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[0].text, "at&&w:00\r\n");
    EXPECT_EQ(got[1].text, "at&&w\r\n");
    EXPECT_EQ(got[2].text, "at&&wAB\r\n");
    EXPECT_EQ(got[3].text, "at&&wLAST\r\n");
    EXPECT_EQ(got[4].nLength, 0);
    EXPECT_EQ(got[4].text, "");

    got = readAll(dir, "", nullptr);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].nLength, 0);
}

TEST(FlshLine, TextsLongerThan127CharactersAreRefused)
{
    TempDir dir;
    // Prefix (5) + 120 + CR LF fit; 121 does not.
    std::vector<ReadResult> got =
        readAll(dir, std::string(120, 'a') + "\r\n" + std::string(121, 'b') + "\r\n", "at&&f");
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].nLength, 127);
    EXPECT_EQ(got[1].nLength, -1);
    EXPECT_EQ(got[1].text, "");
    // Without a prefix 125 fit, 126 do not; a lone LF early makes a long line fit.
    got = readAll(dir, std::string(125, 'c') + "\r\n" + std::string(10, 'd') + "\n" + std::string(115, 'e') + "\r\n" +
                           std::string(126, 'f') + "\r\n",
                  "");
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].nLength, 127);
    EXPECT_EQ(got[1].text, std::string(10, 'd') + "\r\n");
    EXPECT_EQ(got[2].nLength, -1);
    // Longer than the line buffer itself.
    got = readAll(dir, std::string(300, 'g') + "\r\n", "");
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].nLength, -1);
}

TEST(FlshLine, AReadErrorIsNoLine)
{
    TempDir dir;
    dir.write("f.txt", "ABC\r\n");
    osfl_Handle hFile = osfl_Open(dir.file("f.txt").c_str(), osfl_kAccessRead);
    ASSERT_NE(hFile, osfl_kInvalidHandle);
    os_LineReader reader;
    os_ResetLineReader(&reader);
    char szText[flsh_kLineSize];
    int32_t nRead = 0;
    {
        ScopedSysCallFault fault(ScopedSysCallFault::kRead, 1, EIO);
        EXPECT_EQ(flsh_ReadLineText(hFile, &reader, "", szText, &nRead), -1);
    }
    EXPECT_EQ(nRead, -1);
    EXPECT_STREQ(szText, "");
    osfl_Close(hFile);
}

TEST(FlshLine, PercentOfTheFileWithoutOverflow)
{
    TempDir dir;
    osfl_Handle hFile = osfl_Create(dir.file("big.bin").c_str(), osfl_kAttrNormal);
    ASSERT_NE(hFile, osfl_kInvalidHandle);
    // A sparse file of 100,000,000 bytes: 50,000,000 x 100 needs more than 32 bits.
    ASSERT_EQ(osfl_Seek(hFile, 99999999, 0), 99999999);
    ASSERT_EQ(osfl_Write(hFile, "x", 1), 1);
    int32_t nLength = osfl_Length(hFile);
    ASSERT_EQ(nLength, 100000000);
    ASSERT_EQ(osfl_Seek(hFile, 50000000, 0), 50000000);
    EXPECT_EQ(flsh_Percent(hFile, nLength), 50);
    ASSERT_EQ(osfl_Seek(hFile, 4096, 0), 4096);
    EXPECT_EQ(flsh_Percent(hFile, 8192), 50);
    EXPECT_EQ(flsh_Percent(hFile, 0), 0);
    EXPECT_EQ(flsh_Percent(hFile, -1), 0);
    osfl_Close(hFile);
    EXPECT_EQ(flsh_Percent(osfl_kInvalidHandle, 100), 0);
}

struct Reports {
    std::vector<std::vector<int64_t>> calls;   // (event, a, b) of each call
    int32_t nAnswer = 1;                        // what the callback answers
};

int32_t recordReport(void* pContext, int32_t nEvent, int32_t a, uint32_t b)
{
    Reports* pReports = static_cast<Reports*>(pContext);
    pReports->calls.push_back({nEvent, a, b});
    return pReports->nAnswer;
}

TEST(FlshLine, ReportsGoOnUnlessTheCallbackAnswersZero)
{
    Reports reports;
    EXPECT_TRUE(flsh_Report(recordReport, &reports, 6, 42));
    reports.nAnswer = 0;
    EXPECT_FALSE(flsh_Report(recordReport, &reports, 9, 100));
    ASSERT_EQ(reports.calls.size(), 2u);
    EXPECT_EQ(reports.calls[0], (std::vector<int64_t>{6, 42, 0}));
    EXPECT_EQ(reports.calls[1], (std::vector<int64_t>{9, 100, 0}));
    EXPECT_TRUE(flsh_Report(nullptr, nullptr, 6, 1));
}

}  // namespace
