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

// Each result with the line it left, up to the first that is not positive:
// os_ReadNextLine with a buffer of nSize, or, when bByteWise, gn_ReadString
// with a maximum of nSize.
Lines readAll(const TempDir& dir, const std::string& bytes, int nSize, bool bByteWise = false)
{
    dir.write("lines", bytes);
    osfl_Handle hFile = osfl_Open(dir.file("lines").c_str(), osfl_kAccessRead);
    os_LineReader reader;
    os_ResetLineReader(&reader);
    std::vector<char> line(static_cast<size_t>(nSize) + 1, '#');
    Lines lines;
    int nResult;
    do {
        nResult = bByteWise ? gn_ReadString(hFile, line.data(), nSize) : os_ReadNextLine(hFile, line.data(), nSize, &reader);
        lines.emplace_back(nResult, std::string(line.data()));
    } while (nResult > 0);
    osfl_Close(hFile);
    return lines;
}

TEST(LineReaderTest, EndsLinesOnlyAtCrLfOrEndOfFile)
{
    TempDir dir;
    EXPECT_EQ(readAll(dir, "A\r\nB", 100), (Lines{{3, "A"}, {1, "B"}, {0, ""}}));
    EXPECT_EQ(readAll(dir, "A\nB\r\n", 100), (Lines{{5, "A\nB"}, {0, ""}}));
    EXPECT_EQ(readAll(dir, "ab\r\n", 4), (Lines{{4, "ab"}, {0, ""}}));
    // The last byte of the first block is a CR, the first of the next an LF.
    std::string block(4095, 'x');
    EXPECT_EQ(readAll(dir, block + "\r\nnext\r\n", 5000), (Lines{{4097, block}, {6, "next"}, {0, ""}}));
    EXPECT_EQ(readAll(dir, block + "\rY\r\n", 5000), (Lines{{4099, block + "\rY"}, {0, ""}}));
}

TEST(LineReaderTest, ReportsOverlongLinesAndReadErrors)
{
    TempDir dir;
    ScopedLogFile log(dir.file("log.txt"));
    EXPECT_EQ(readAll(dir, "abc\r\n", 4), (Lines{{-1, "abc"}}));    // left terminated
    EXPECT_NE(log.text().find("[EngineSource/OSWIN32 ("), std::string::npos);
    EXPECT_NE(log.text().find("]: ReadNextLine:  Fell out of while loop  nCurCount 4\n"), std::string::npos);
    ScopedSysCallFault fault(ScopedSysCallFault::kRead, 2, EIO);
    std::string block(4094, 'x');
    EXPECT_EQ(readAll(dir, block + "\r\nsecond block\r\n", 5000), (Lines{{4096, block}, {-1, ""}}));
}

// Line feeds and carriage returns on their own stay in the profile reader's
// lines; lines of 150 characters and Ctrl-Z are shown by the profile tests.
TEST(ReadStringTest, SplitsAtCrLfOnlyAndStopsAtAReadError)
{
    TempDir dir;
    EXPECT_EQ(readAll(dir, "[A]\r\na\nb\rc\r\nlast", 132, true), (Lines{{1, "[A]"}, {1, "a\nb\rc"}, {1, "last"}, {0, ""}}));
    ScopedSysCallFault fault(ScopedSysCallFault::kRead, 3, EIO);
    EXPECT_EQ(readAll(dir, "abcdef\r\n", 132, true), (Lines{{0, "ab"}}));
}

}  // namespace
