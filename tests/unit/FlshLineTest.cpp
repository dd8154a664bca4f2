// The pieces the line-streaming protocols share: the text a file line goes
// out as, and the percentage of a file sent. The 127-character limits with
// and without the loader prefix, lone line feeds and read errors are shown
// by the Lucent and Rockwell runs.
#include "EngineSource/FlshLine.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// "length text" of every line of the bytes read through flsh_ReadLineText
// with the loader prefix, up to the first result that is not a line.
std::vector<std::string> readAll(const std::string& bytes)
{
    TempDir dir;
    dir.write("f.txt", bytes);
    osfl_Handle hFile = osfl_Open(dir.file("f.txt").c_str(), osfl_kAccessRead);
    EXPECT_NE(hFile, osfl_kInvalidHandle);
    os_LineReader reader;
    os_ResetLineReader(&reader);
    std::vector<std::string> texts;
    for (int32_t nLength = 1; nLength > 0;) {
        char szText[flsh_kLineSize];
        int32_t nRead = 0;
        nLength = flsh_ReadLineText(hFile, &reader, "at&&w", szText, &nRead);
        EXPECT_EQ(static_cast<size_t>(nLength > 0 ? nLength : 0), strlen(szText));
        texts.push_back(std::to_string(nLength) + " " + szText);
    }
    osfl_Close(hFile);
    return texts;
}

TEST(FlshLine, TextsArePrefixCutLineAndCrLfAndNeverOverrunTheBuffer)
{
    EXPECT_EQ(readAll(":00\r\n\r\nAB\nCD\r\nLAST"),
              (std::vector<std::string>{"10 at&&w:00\r\n", "7 at&&w\r\n", "9 at&&wAB\r\n", "11 at&&wLAST\r\n", "0 "}));
    // A line longer than the line buffer itself is refused with an empty text.
    EXPECT_EQ(readAll(std::string(300, 'g') + "\r\n"), std::vector<std::string>{"-1 "});
}

TEST(FlshLine, PercentOfTheFileWithoutOverflow)
{
    TempDir dir;
    osfl_Handle hFile = osfl_Create(dir.file("big.bin").c_str(), osfl_kAttrNormal);
    ASSERT_NE(hFile, osfl_kInvalidHandle);
    // A sparse file of 100,000,000 bytes: 50,000,000 x 100 needs more than 32 bits.
    ASSERT_EQ(osfl_Seek(hFile, 99999999, 0), 99999999);
    ASSERT_EQ(osfl_Write(hFile, "x", 1), 1);
    ASSERT_EQ(osfl_Seek(hFile, 50000000, 0), 50000000);
    EXPECT_EQ(flsh_Percent(hFile, osfl_Length(hFile)), 50);
    EXPECT_EQ(flsh_Percent(hFile, 0), 0);
    EXPECT_EQ(flsh_Percent(hFile, -1), 0);
    osfl_Close(hFile);
    EXPECT_EQ(flsh_Percent(osfl_kInvalidHandle, 100), 0);
}

}  // namespace
