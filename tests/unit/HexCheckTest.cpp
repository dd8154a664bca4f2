// The check of firmware and loader files: a table of files slightly off,
// each refused with the line at fault, and their sound twins (lower-case
// digits, LF line ends) accepted.
#include "EngineSource/HexCheck.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct CheckCase {
    const char* pszName;     // what is wrong
    std::string text;        // the file
    int nResult;             // hex_kCheckSound or hex_kCheckBad
    int32_t nLine;           // the line reported
};

const std::string kData = ":0400100001020304E2\r\n";
const std::string kEnd = ":00000001FF\r\n";

TEST(HexCheckTest, IntelFilesSlightlyOffAreRefusedWithTheirLine)
{
    const CheckCase kCases[] = {
        {"sound", kData + kEnd, hex_kCheckSound, 0},
        {"lower-case digits", ":0400100001020304e2\r\n:020000021a00e2\r\n:02000000aabb99\r\n" + kEnd, hex_kCheckSound, 0},
        {"LF line ends", ":0400100001020304E2\n:00000001FF\n", hex_kCheckSound, 0},
        {"checksum wrong", kData + ":0400200001020304D3\r\n" + kEnd, hex_kCheckBad, 2},
        {"no end record", kData, hex_kCheckBad, 0},
        {"empty file", "", hex_kCheckBad, 0},
        {"only an end record", kEnd, hex_kCheckBad, 0},
        {"two end records", kData + kEnd + kEnd, hex_kCheckBad, 3},
        {"line after the end", kData + kEnd + "\r\n", hex_kCheckBad, 3},
        {"overlap", kData + ":0100120011DC\r\n" + kEnd, hex_kCheckBad, 2},
        {"overlap through a segment", ":020000020001FB\r\n:0100000011EE\r\n:020000020000FC\r\n:0100100022CD\r\n" + kEnd,
         hex_kCheckBad, 4},
        {"type not taken", ":0400000500000000F7\r\n" + kData + kEnd, hex_kCheckBad, 1},
        {"length field off", ":0500100001020304E1\r\n" + kEnd, hex_kCheckBad, 1},
        {"digit missing", ":0400100001020304E\r\n" + kEnd, hex_kCheckBad, 1},
        {"not a digit", ":04001000010203G4E2\r\n" + kEnd, hex_kCheckBad, 1},
        {"no colon", "0400100001020304E2\r\n" + kEnd, hex_kCheckBad, 1},
        {"NUL byte", std::string(":04001000\0" "1020304E2\r\n", 21) + kEnd, hex_kCheckBad, 1},
        {"segment record too short", ":0100000200FD\r\n" + kData + kEnd, hex_kCheckBad, 1},
        {"line too long", ":3C000000" + std::string(120, '0') + "C4\r\n" + kEnd, hex_kCheckBad, 1},
    };
    TempDir dir;
    for (const CheckCase& test : kCases) {
        SCOPED_TRACE(test.pszName);
        dir.write("f.hex", test.text);
        hex_CheckReport report;
        EXPECT_EQ(hex_CheckIntelFile(dir.file("f.hex").c_str(), hex_kTypesSorted, 99, &report), test.nResult);
        EXPECT_EQ(report.nLine, test.nLine);
        EXPECT_EQ(report.szReason[0] == '\0', test.nResult == hex_kCheckSound);
    }
    // The line-streaming loaders take types 03 to 05 as well.
    dir.write("f.hex", ":020000040001F9\r\n" + kData + ":0400000500000000F7\r\n" + kEnd);
    hex_CheckReport report;
    EXPECT_EQ(hex_CheckIntelFile(dir.file("f.hex").c_str(), hex_kTypesIntel, 125, &report), hex_kCheckSound);
    EXPECT_EQ(hex_CheckIntelFile(dir.file("f.hex").c_str(), hex_kTypesSorted, 125, &report), hex_kCheckBad);
    EXPECT_EQ(hex_CheckIntelFile(dir.file("missing.hex").c_str(), hex_kTypesIntel, 125, &report), hex_kCheckNoFile);
}

TEST(HexCheckTest, SRecordFilesSlightlyOffAreRefusedWithTheirLine)
{
    const std::string kHeader = "S00600004844521B\r\n";
    const std::string kS1 = "S104000000FB\r\n";
    const std::string kS9 = "S9030000FC\r\n";
    const CheckCase kCases[] = {
        {"sound", kHeader + kS1 + kS9, hex_kCheckSound, 0},
        {"lower-case record letter", "S00600004844521b\ns104000000fb\nS9030000FC\n", hex_kCheckBad, 2},
        {"LF line ends", "S00600004844521b\nS104000000fb\nS9030000FC\n", hex_kCheckSound, 0},
        {"checksum wrong", kHeader + "S104000000FC\r\n" + kS9, hex_kCheckBad, 2},
        {"no termination", kHeader + kS1, hex_kCheckBad, 0},
        {"no data", kHeader + kS9, hex_kCheckBad, 0},
        {"after the termination", kS1 + kS9 + kS1, hex_kCheckBad, 3},
        {"overlap", kS1 + kS1 + kS9, hex_kCheckBad, 2},
        {"count off", "S105000000FA\r\n" + kS9, hex_kCheckBad, 1},
        {"S4 does not exist", "S404000000FB\r\n" + kS9, hex_kCheckBad, 1},
    };
    TempDir dir;
    for (const CheckCase& test : kCases) {
        SCOPED_TRACE(test.pszName);
        dir.write("f.s37", test.text);
        hex_CheckReport report;
        EXPECT_EQ(hex_CheckSRecordFile(dir.file("f.s37").c_str(), 125, &report), test.nResult);
        EXPECT_EQ(report.nLine, test.nLine);
    }
}

}  // namespace
