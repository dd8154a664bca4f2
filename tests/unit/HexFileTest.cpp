// Intel HEX records and the sorter: ParseHexRecord's syntax and segment
// state; SortHexFile's order, output text, digit rule, tie order, limits,
// failures and progress reports. That sorted copies hold the source's bytes
// for images of many shapes is shown end to end by the AT flash runs.
#include "EngineSource/HexFile.h"
#include "sim/SimHex.h"
#include "support/HexWriter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <string>
#include <utility>
#include <vector>

namespace {

// Records read right are shown by every sorted copy and block read back.
TEST(ParseHexRecordTest, KeepsTheChecksumUncheckedAndRefusesWhatIsNotARecord)
{
    uint32_t nSegment = 0x1000;
    HexRecord record;
    ASSERT_EQ(ParseHexRecord(&nSegment, ":0400100001020304e1", &record), 1);
    EXPECT_EQ(record.nAddress, 0x10010u);
    EXPECT_EQ(record.nChecksum, 0xE1);
    const char* const kBad[] = {
        "0400100001020304E2",     // no colon
        ":040010000",             // nine characters... and no data
        ":04001000010203",        // a data byte missing
        ":0400100001020304",      // checksum missing
        ":04001000010203G4E2",    // not a hex digit
        ":-1001000FF",            // a signed length
        ":0100000210EE",          // a segment record with one byte
        "",
    };
    for (const char* pszLine : kBad) {
        nSegment = 0x1234;
        EXPECT_EQ(ParseHexRecord(&nSegment, pszLine, &record), 0) << pszLine;
        EXPECT_EQ(nSegment, 0x1234u) << pszLine;
    }
}

class SortHexFileTest : public ::testing::Test {
protected:
    // Sorts text; the result, with the sorted text in m_sorted and the
    // progress reports (event, a) in m_reports.
    int sort(const std::string& text)
    {
        m_dir.write("in.hex", text);
        m_reports.clear();
        int nResult = SortHexFile(m_dir.file("in.hex").c_str(), m_dir.file("out.hex").c_str(), &m_data, report, this);
        m_sorted = m_dir.read("out.hex");
        EXPECT_EQ(m_data.pTable, nullptr);
        EXPECT_EQ(m_data.pPool, nullptr);
        return nResult;
    }

    static int32_t report(void* pContext, int32_t nEvent, int32_t a, uint32_t b)
    {
        EXPECT_EQ(b, 0u);
        static_cast<SortHexFileTest*>(pContext)->m_reports.emplace_back(nEvent, a);
        return 0;    // the sorter does not look at the answer
    }

    static int openDescriptors()
    {
        int nCount = 0;
        DIR* pDir = opendir("/proc/self/fd");
        while (pDir != nullptr && readdir(pDir) != nullptr)
            ++nCount;
        if (pDir != nullptr)
            closedir(pDir);
        return nCount;
    }

    TempDir m_dir;
    HexSortData m_data = {};
    std::vector<std::pair<int32_t, int32_t>> m_reports;
    std::string m_sorted;
};

TEST_F(SortHexFileTest, SegmentsAscendWithTheirRecordsSorted)
{
    const std::pair<const char*, const char*> kCases[] = {
        // Data without segment records sorts under segment 0.
        {":02002000AABB79\r\n:0200100011229B\r\n:00000001FF\r\n",
         ":020000020000FC\r\n:0200100011229B\r\n:02002000AABB79\r\n:00000001FF\r\n"},
        // Bases that are multiples of 0x10000 keep the one-digit form.
        {":020000021000EC\r\n:0100200033AC\r\n:0100100044AB\r\n:020000020000FC\r\n:0100300055CA\r\n"
         ":0100000066FA\r\n:020000022000DC\r\n:0100000077F9\r\n:00000001FF\r\n",
         ":020000020000FC\r\n:0100000066FA\r\n:0100300055CA\r\n:020000021000EC\r\n:0100100044AB\r\n"
         ":0100200033AC\r\n:020000022000DC\r\n:0100000077F9\r\n:00000001FF\r\n"},
        // Base 0x18000 keeps its full segment: the record belongs at 0x18010,
        // not at 0x10010 where a one-digit segment record would move it.
        {":020000021800E4\r\n:0100100044AB\r\n:00000001FF\r\n", ":020000021800E4\r\n:0100100044AB\r\n:00000001FF\r\n"},
        // Three records for one address: the middle one is the first pivot
        // and no key is smaller, so the order becomes B, A, C.
        {":01001000AA45\r\n:01001000BB34\r\n:01001000CC23\r\n:00000001FF\r\n",
         ":020000020000FC\r\n:01001000BB34\r\n:01001000AA45\r\n:01001000CC23\r\n:00000001FF\r\n"},
        // "3a00" is 3 * 4096 + 'a' * 256 = 0x9100 to the sorter.
        {":01A00000114E\r\n:013a000011B4\r\n:01400000AA15\r\n:013B000011B3\r\n:00000001FF\r\n",
         ":020000020000FC\r\n:013B000011B3\r\n:01400000AA15\r\n:013a000011B4\r\n:01A00000114E\r\n:00000001FF\r\n"},
    };
    for (const auto& test : kCases) {
        ASSERT_EQ(sort(test.first), 0) << test.first;
        EXPECT_EQ(m_sorted, test.second);
    }
}

TEST_F(SortHexFileTest, ReportsSortingFromZeroToHundred)
{
    // Each data line written reports the copy's size in percent of the
    // source's 47 bytes: the segment record and one line (34 bytes), then
    // the second line (51 bytes, above 100 as the copy has a segment record).
    ASSERT_EQ(sort(":0200100011229B\r\n:02002000AABB79\r\n:00000001FF\r\n"), 0);
    const std::vector<std::pair<int32_t, int32_t>> kExpected = {
        {flsh_cEventSort, 0}, {flsh_cEventSort, 34 * 100 / 47}, {flsh_cEventSort, 51 * 100 / 47}, {flsh_cEventSort, 100}};
    EXPECT_EQ(m_reports, kExpected);
}

TEST_F(SortHexFileTest, SkipsEmptyLinesAndTakesLinesOfNinetyNineCharacters)
{
    std::vector<uint8_t> bytes(44, 0x11);
    std::string longest = sim_HexRecord(0, 0x100, bytes.data(), bytes.size());
    ASSERT_EQ(longest.size(), 99u);
    ASSERT_EQ(sort("\r\n" + longest + "\r\n\r\n:00000001FF\r\n\r\n"), 0);
    EXPECT_EQ(m_sorted, ":020000020000FC\r\n" + longest + "\r\n:00000001FF\r\n");
    // One character more fails the sort, with or without CR LF after it.
    EXPECT_EQ(sort(longest + "0\r\n:00000001FF\r\n"), -1);
    EXPECT_EQ(sort(":00000001FF\r\n" + longest + "0"), -1);
}

TEST_F(SortHexFileTest, FailsOnWhatItCannotSortAndLeavesNothingOpen)
{
    int nOpen = openDescriptors();
    const std::pair<const char*, std::string> kCases[] = {
        {"empty source", ""},
        {"no data record", ":00000001FF\r\n"},
        {"record type 04", ":020000040001F9\r\n:0100000066FA\r\n"},
        {"lower-case type", ":0100000a66FA\r\n"},
        {"line without a type", ":010000\r\n"},
        {"segment record without its segment", ":02000002\r\n:0100000066FA\r\n"},
    };
    for (const auto& entry : kCases) {
        EXPECT_EQ(sort(entry.second), -1) << entry.first;
        EXPECT_EQ(openDescriptors(), nOpen) << entry.first;
    }
    EXPECT_EQ(SortHexFile(m_dir.file("missing.hex").c_str(), m_dir.file("out.hex").c_str(), &m_data, nullptr,
                          nullptr),
              -1);
    m_dir.write("in.hex", ":0100000066FA\r\n");
    EXPECT_EQ(SortHexFile(m_dir.file("in.hex").c_str(), m_dir.file("no/such/out.hex").c_str(), &m_data, nullptr,
                          nullptr),
              -1);
    EXPECT_EQ(m_data.pTable, nullptr);
    EXPECT_EQ(openDescriptors(), nOpen);
}

TEST_F(SortHexFileTest, KnowsAtMostSixtyFourSegmentsAnd8175RecordsPerSegment)
{
    // Segment i * 16 has the base i * 256.
    auto segmentWithData = [](int i) {
        uint8_t segment[2] = {static_cast<uint8_t>(i >> 4), static_cast<uint8_t>(i << 4)};
        return sim_HexRecord(2, 0, segment, 2) + "\r\n:0100000066FA\r\n";
    };
    std::string text;
    for (int i = 0; i < 64; ++i)
        text += segmentWithData(i);
    ASSERT_EQ(sort(text), 0);
    EXPECT_EQ(hex_ParseText(m_sorted).size(), 64u);
    EXPECT_EQ(sort(text + segmentWithData(64)), -1);
    // Once 64 bases are known, any further segment record fails the sort,
    // even one that names a known base.
    EXPECT_EQ(sort(text + ":020000020000FC\r\n"), -1);

    text.clear();
    uint8_t byte = 0;
    for (int i = 0; i < 8175; ++i, ++byte)
        text += sim_HexRecord(0, static_cast<uint16_t>(i * 8), &byte, 1) + "\r\n";
    ASSERT_EQ(sort(text), 0);
    EXPECT_EQ(hex_ParseText(m_sorted).size(), 8175u);
    std::string last = sim_HexRecord(0, 0xFFF0, &byte, 1) + "\r\n";
    EXPECT_EQ(sort(text + last), -1);
    // The limit is per segment: the same record under another base fits.
    EXPECT_EQ(sort(text + ":020000021000EC\r\n" + last), 0);
}

}  // namespace
