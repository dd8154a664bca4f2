// Line reading: os_ReadNextLine (CR LF lines over 4096-byte blocks) and the
// profile reader's byte-wise gn_ReadString.
#include "EngineSource/OSWIN32.h"
#include "support/Faults.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <utility>
#include <vector>

namespace {

typedef std::vector<std::pair<int, std::string>> Lines;

// Every result of os_ReadNextLine over the bytes, up to and including the
// first that is not positive, with the line it left.
Lines readNextLines(const TempDir& dir, const std::string& bytes, int32_t nSize)
{
    dir.write("lines", bytes);
    osfl_Handle hFile = osfl_Open(dir.file("lines").c_str(), osfl_kAccessRead);
    os_LineReader reader;
    os_ResetLineReader(&reader);
    std::vector<char> line(static_cast<size_t>(nSize), '#');
    Lines lines;
    int32_t nResult;
    do {
        nResult = os_ReadNextLine(hFile, line.data(), nSize, &reader);
        lines.emplace_back(nResult, std::string(line.data()));
    } while (nResult > 0);
    osfl_Close(hFile);
    return lines;
}

// Every result of gn_ReadString (maximum nMax) up to the first 0.
Lines readStrings(const TempDir& dir, const std::string& bytes, int nMax)
{
    dir.write("strings", bytes);
    osfl_Handle hFile = osfl_Open(dir.file("strings").c_str(), osfl_kAccessRead);
    std::vector<char> line(static_cast<size_t>(nMax) + 1);
    Lines lines;
    int nResult;
    do {
        nResult = gn_ReadString(hFile, line.data(), nMax);
        lines.emplace_back(nResult, std::string(line.data()));
    } while (nResult != 0);
    osfl_Close(hFile);
    return lines;
}

TEST(LineReaderTest, EndsLinesOnlyAtCrLfOrEndOfFile)
{
    TempDir dir;
    EXPECT_EQ(readNextLines(dir, "A\r\nB", 100), (Lines{{3, "A"}, {1, "B"}, {0, ""}}));
    EXPECT_EQ(readNextLines(dir, "A\nB\r\n", 100), (Lines{{5, "A\nB"}, {0, ""}}));
    EXPECT_EQ(readNextLines(dir, "ab\r\n", 4), (Lines{{4, "ab"}, {0, ""}}));
    // The last byte of the block is a CR, the first of the next an LF.
    std::string longLine(4095, 'x');
    EXPECT_EQ(readNextLines(dir, longLine + "\r\nnext\r\n", 5000), (Lines{{4097, longLine}, {6, "next"}, {0, ""}}));
    EXPECT_EQ(readNextLines(dir, longLine + "\rY\r\n", 5000), (Lines{{4099, longLine + "\rY"}, {0, ""}}));
}

TEST(LineReaderTest, ReportsOverlongLinesAndReadErrors)
{
    TempDir dir;
    ScopedLogFile log(dir.file("log.txt"));
    // The line is left terminated within the buffer even so.
    EXPECT_EQ(readNextLines(dir, "abc\r\n", 4), (Lines{{-1, "abc"}}));
    EXPECT_NE(log.text().find("]: ReadNextLine:  Fell out of while loop  nCurCount 4\n"), std::string::npos);

    std::string bytes = std::string(4094, 'x') + "\r\n" + "second block\r\n";
    ScopedSysCallFault fault(ScopedSysCallFault::kRead, 2, EIO);
    EXPECT_EQ(readNextLines(dir, bytes, 5000), (Lines{{4096, std::string(4094, 'x')}, {-1, ""}}));
    std::string text = log.text();
    EXPECT_NE(text.find("[EngineSource/OSWIN32 ("), std::string::npos);
    EXPECT_NE(text.find("]: ReadNextLine, return FALSE, nsize == osfl_kError\n"), std::string::npos);
    EXPECT_EQ(text.find("ReadNextLine, nSize == 0"), std::string::npos);
    readNextLines(dir, "", 10);
    EXPECT_NE(log.text().find("]: ReadNextLine, nSize == 0\n"), std::string::npos);
}

TEST(ReadStringTest, SplitsAtCrLfPiecesAndCtrlZ)
{
    TempDir dir;
    EXPECT_EQ(readStrings(dir, "[A]\r\na\nb\rc\r\nlast", 132), (Lines{{1, "[A]"}, {1, "a\nb\rc"}, {1, "last"}, {0, ""}}));
    std::string line(150, 'v');
    EXPECT_EQ(readStrings(dir, line + "\r\n", 132), (Lines{{1, line.substr(0, 132)}, {1, line.substr(132)}, {0, ""}}));
    EXPECT_EQ(readStrings(dir, "ab\x1A" "cd\r\n\x1A" "ef\r\n", 132), (Lines{{1, "ab"}, {1, "cd"}, {0, ""}}));

    ScopedSysCallFault fault(ScopedSysCallFault::kRead, 3, EIO);
    EXPECT_EQ(readStrings(dir, "abcdef\r\n", 132), (Lines{{0, "ab"}}));
}

}  // namespace
