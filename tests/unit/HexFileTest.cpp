// Intel HEX records and the sorter: ParseHexRecord's syntax and segment
// state; SortHexFile's order, output text, digit rule, tie order, limits,
// failures and progress reports; and, for images of many shapes, that the
// sorted copy holds exactly the bytes of the source at the same addresses.
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

TEST(ParseHexRecordTest, ReadsFieldsAndKeepsTheChecksumUnchecked)
{
    uint32_t nSegment = 0;
    HexRecord record;
    ASSERT_EQ(ParseHexRecord(&nSegment, ":0400100001020304E2", &record), 1);
    EXPECT_EQ(record.nType, 0);
    EXPECT_EQ(record.nAddress, 0x10u);
    EXPECT_EQ(record.nLength, 4);
    EXPECT_EQ(std::vector<uint8_t>(record.data, record.data + 4), (std::vector<uint8_t>{1, 2, 3, 4}));
    EXPECT_EQ(record.nChecksum, 0xE2);

    ASSERT_EQ(ParseHexRecord(&nSegment, ":0400100001020304e1", &record), 1);
    EXPECT_EQ(record.nChecksum, 0xE1);
    ASSERT_EQ(ParseHexRecord(&nSegment, ":00000001FF", &record), 1);
    EXPECT_EQ(record.nType, 1);
    EXPECT_EQ(record.nLength, 0);
    EXPECT_EQ(nSegment, 0u);
}

TEST(ParseHexRecordTest, SegmentRecordsMoveLaterAddresses)
{
    uint32_t nSegment = 0;
    HexRecord record;
    ASSERT_EQ(ParseHexRecord(&nSegment, ":020000021000EC", &record), 1);
    EXPECT_EQ(nSegment, 0x1000u);
    ASSERT_EQ(ParseHexRecord(&nSegment, ":0400100001020304E2", &record), 1);
    EXPECT_EQ(record.nAddress, 0x10010u);
    ASSERT_EQ(ParseHexRecord(&nSegment, ":020000021801E3", &record), 1);
    ASSERT_EQ(ParseHexRecord(&nSegment, ":01FFF00042CE", &record), 1);
    EXPECT_EQ(record.nAddress, 0x18010u + 0xFFF0u);
}

TEST(ParseHexRecordTest, RefusesWhatIsNotARecord)
{
    const char* const kBad[] = {
        "0400100001020304E2",     // no colon
        ":040010000",             // nine characters... and no data
        ":04001000010203",        // a data byte missing
        ":0400100001020304",      // checksum missing
        ":04001000010203G4E2",    // not a hex digit
        ":-1001000FF",            // a signed length
        ":0100000210EE",          // a segment record with one byte
        ":04",                    // fields missing
        "",
    };
    for (const char* pszLine : kBad) {
        uint32_t nSegment = 0x1234;
        HexRecord record;
        EXPECT_EQ(ParseHexRecord(&nSegment, pszLine, &record), 0) << pszLine;
        EXPECT_EQ(nSegment, 0x1234u) << pszLine;
    }
}

// Collects the sorter's progress reports.
struct Reports {
    std::vector<std::pair<int32_t, int32_t>> events;   // (event, a)
    static int32_t record(void* pContext, int32_t nEvent, int32_t a, uint32_t b)
    {
        EXPECT_EQ(b, 0u);
        static_cast<Reports*>(pContext)->events.emplace_back(nEvent, a);
        return 0;    // the sorter does not look at the answer
    }
};

class SortHexFileTest : public ::testing::Test {
protected:
    // Sorts text; the result, with the sorted text in m_sorted.
    int sort(const std::string& text)
    {
        m_dir.write("in.hex", text);
        m_reports.events.clear();
        int nResult = SortHexFile(m_dir.file("in.hex").c_str(), m_dir.file("out.hex").c_str(), &m_data,
                                  Reports::record, &m_reports);
        m_sorted = m_dir.read("out.hex");
        EXPECT_EQ(m_data.pTable, nullptr);
        EXPECT_EQ(m_data.pPool, nullptr);
        return nResult;
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
    Reports m_reports;
    std::string m_sorted;
};

TEST_F(SortHexFileTest, DataWithoutSegmentRecordsSortsUnderSegmentZero)
{
    ASSERT_EQ(sort(":02002000AABB79\r\n"
                   ":0200100011229B\r\n"
                   ":00000001FF\r\n"),
              0);
    EXPECT_EQ(m_sorted, ":020000020000FC\r\n"
                        ":0200100011229B\r\n"
                        ":02002000AABB79\r\n"
                        ":00000001FF\r\n");
}

TEST_F(SortHexFileTest, SegmentsComeOutInAscendingOrderWithTheirRecordsSorted)
{
    // Bases that are multiples of 0x10000 keep the one-digit form, byte for
    // byte: ":020000021000EC" for 0x10000.
    ASSERT_EQ(sort(":020000021000EC\r\n"
                   ":0100200033AC\r\n"
                   ":0100100044AB\r\n"
                   ":020000020000FC\r\n"
                   ":0100300055CA\r\n"
                   ":0100000066FA\r\n"
                   ":020000022000DC\r\n"
                   ":0100000077F9\r\n"
                   ":00000001FF\r\n"),
              0);
    EXPECT_EQ(m_sorted, ":020000020000FC\r\n"
                        ":0100000066FA\r\n"
                        ":0100300055CA\r\n"
                        ":020000021000EC\r\n"
                        ":0100100044AB\r\n"
                        ":0100200033AC\r\n"
                        ":020000022000DC\r\n"
                        ":0100000077F9\r\n"
                        ":00000001FF\r\n");
}

TEST_F(SortHexFileTest, SegmentRecordsCarryTheFullSegment)
{
    // Base 0x18000: the record at offset 0x10 belongs at 0x18010, not at
    // 0x10010 where a one-digit segment record would move it.
    ASSERT_EQ(sort(":020000021800E4\r\n:0100100044AB\r\n:00000001FF\r\n"), 0);
    EXPECT_EQ(m_sorted, ":020000021800E4\r\n:0100100044AB\r\n:00000001FF\r\n");
    EXPECT_EQ(hex_ParseText(m_sorted), (std::map<uint32_t, uint8_t>{{0x18010, 0x44}}));
}

TEST_F(SortHexFileTest, EqualOffsetsAllAppearInTheQuicksortsOrder)
{
    // Three records for one address: the middle one is the first pivot and
    // no key is smaller, so the order becomes B, A, C (not the input order).
    ASSERT_EQ(sort(":01001000AA45\r\n:01001000BB34\r\n:01001000CC23\r\n:00000001FF\r\n"), 0);
    EXPECT_EQ(m_sorted, ":020000020000FC\r\n:01001000BB34\r\n:01001000AA45\r\n:01001000CC23\r\n:00000001FF\r\n");
}

TEST_F(SortHexFileTest, LowerCaseDigitsCountTheirCharacterCode)
{
    // "3a00" is 3 * 4096 + 'a' * 256 = 0x9100 to the sorter.
    ASSERT_EQ(sort(":01A00000114E\r\n:013a000011B4\r\n:01400000AA15\r\n:013B000011B3\r\n:00000001FF\r\n"), 0);
    EXPECT_EQ(m_sorted, ":020000020000FC\r\n:013B000011B3\r\n:01400000AA15\r\n:013a000011B4\r\n:01A00000114E\r\n"
                        ":00000001FF\r\n");
}

TEST_F(SortHexFileTest, ReportsSortingFromZeroToHundred)
{
    ASSERT_EQ(sort(":0200100011229B\r\n:02002000AABB79\r\n:00000001FF\r\n"), 0);
    ASSERT_EQ(m_reports.events.size(), 4u);
    for (const auto& event : m_reports.events)
        EXPECT_EQ(event.first, flsh_cEventSort);
    // Each data line written reports the copy's size in percent of the
    // source's 47 bytes: the segment record and one line (34 bytes), then
    // the second line (51 bytes, above 100 as the copy has a segment record).
    EXPECT_EQ(m_reports.events[0].second, 0);
    EXPECT_EQ(m_reports.events[1].second, 34 * 100 / 47);
    EXPECT_EQ(m_reports.events[2].second, 51 * 100 / 47);
    EXPECT_EQ(m_reports.events[3].second, 100);
}

TEST_F(SortHexFileTest, SkipsEmptyLinesAndTakesLinesOfNinetyNineCharacters)
{
    std::vector<uint8_t> bytes(44, 0x11);
    std::string longest = sim_HexRecord(0, 0x100, bytes.data(), bytes.size());
    ASSERT_EQ(longest.size(), 99u);
    ASSERT_EQ(sort("\r\n" + longest + "\r\n\r\n:00000001FF\r\n\r\n"), 0);
    EXPECT_EQ(m_sorted, ":020000020000FC\r\n" + longest + "\r\n:00000001FF\r\n");
    // One character more does not fit the sorter's line and fails the sort,
    // with or without CR LF after it.
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

TEST_F(SortHexFileTest, KnowsAtMostSixtyFourSegments)
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
}

TEST_F(SortHexFileTest, TakesAtMost8175RecordsPerSegment)
{
    std::string text;
    for (int i = 0; i < 8175; ++i) {
        uint8_t byte = static_cast<uint8_t>(i);
        text += sim_HexRecord(0, static_cast<uint16_t>(i * 8), &byte, 1) + "\r\n";
    }
    ASSERT_EQ(sort(text), 0);
    EXPECT_EQ(hex_ParseText(m_sorted).size(), 8175u);
    uint8_t byte = 0;
    EXPECT_EQ(sort(text + sim_HexRecord(0, 0xFFF0, &byte, 1) + "\r\n"), -1);
    // The limit is per segment: the same record under another base fits.
    EXPECT_EQ(sort(text + ":020000021000EC\r\n" + sim_HexRecord(0, 0xFFF0, &byte, 1) + "\r\n"), 0);
}

TEST_F(SortHexFileTest, SortedCopyHoldsTheSourceBytesForEveryLayout)
{
    std::vector<HexChunk> chunks = {hex_Pattern(0x1F000, 0x1800, 1), hex_Pattern(0x00100, 0x300, 2),
                                    hex_Pattern(0x2FFF0, 0x40, 3), hex_Pattern(0x08000, 0x1000, 4)};
    std::map<uint32_t, uint8_t> expected = hex_Bytes(chunks);
    const HexLayout kLayouts[] = {
        {16, 0x10000, 0}, {32, 0x10000, 7}, {16, 0x1000, 11}, {32, 0x8000, 0}, {44, 0x4000, 5},
    };
    for (const HexLayout& layout : kLayouts) {
        ASSERT_EQ(sort(hex_Text(chunks, layout)), 0) << layout.nRecordBytes << " " << layout.nSegmentSpan;
        EXPECT_EQ(hex_ParseText(m_sorted), expected) << layout.nRecordBytes << " " << layout.nSegmentSpan;
    }
}

}  // namespace
