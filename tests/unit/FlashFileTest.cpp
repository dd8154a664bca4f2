// The files of a flash run without a device, one division per area:
//   1. Intel HEX records and the sorter: ParseHexRecord's refusals;
//      SortHexFile's order, output text, digit rule, tie order, limits,
//      failures and progress reports. That sorted copies hold the source's
//      bytes for images of many shapes is shown end to end by the AT flash
//      runs.
//   2. Block assembly of the AT flash protocol (AtFlsh_FillBlock) over
//      sorted copies written by hand: holes bridged with 0xFF up to 128
//      bytes, the 16 KiB boundary, padding, the checksum, and lines that
//      are not records. Alignment and the patched block at address 0 are
//      shown by the AT flash runs.
//   3. The pieces the line-streaming protocols share: the text a file line
//      goes out as, and the percentage of a file sent. The 127-character
//      limits with and without the loader prefix, lone line feeds and read
//      errors are shown by the Lucent and Rockwell runs.
#include "EngineSource/AtFlsh.h"
#include "EngineSource/FlshLine.h"
#include "EngineSource/HexFile.h"
#include "sim/SimHex.h"
#include "support/FlashRun.h"
#include "support/HexWriter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

// ------------------------------------- 1. Hex records and the sorter

// Records read right are shown by every sorted copy and block read back.
TEST(ParseHexRecordTest, KeepsTheChecksumUncheckedAndRefusesWhatIsNotARecord)
{
    uint32_t nSegment = 0x1000;
    HexRecord record;
    ASSERT_EQ(ParseHexRecord(&nSegment, ":0400100001020304e1", &record), 1);
    EXPECT_EQ(record.nAddress, 0x10010u);
    EXPECT_EQ(record.nChecksum, 0xE1);
    // No colon, no data, a data byte or the checksum missing, not a hex
    // digit, a signed length, a segment record with one byte, nothing.
    for (const char* pszLine : {"0400100001020304E2", ":040010000", ":04001000010203", ":0400100001020304",
                                ":04001000010203G4E2", ":-1001000FF", ":0100000210EE", ""}) {
        nSegment = 0x1234;
        EXPECT_EQ(ParseHexRecord(&nSegment, pszLine, &record), 0) << pszLine;
        EXPECT_EQ(nSegment, 0x1234u) << pszLine;
    }
}

// A data record of 99 characters, the longest line the sorter takes.
std::string longestRecord()
{
    std::vector<uint8_t> bytes(44, 0x11);
    return sim_HexRecord(0, 0x100, bytes.data(), bytes.size());
}

class SortHexFileTest : public ::testing::Test {
protected:
    // Sorts text; the result, with the sorted text in m_sorted and the
    // progress reports (event, a) in m_reports. Nothing may be left open
    // or allocated.
    int sort(const std::string& text)
    {
        m_dir.write("in.hex", text);
        m_reports.clear();
        int nOpen = openFdCount();
        int nResult = SortHexFile(m_dir.file("in.hex").c_str(), m_dir.file("out.hex").c_str(), &m_data, report, this);
        m_sorted = m_dir.read("out.hex");
        EXPECT_TRUE(m_data.pTable == nullptr && m_data.pPool == nullptr && openFdCount() == nOpen);
        return nResult;
    }

    static int32_t report(void* pContext, int32_t nEvent, int32_t a, uint32_t b)
    {
        EXPECT_EQ(b, 0u);
        static_cast<SortHexFileTest*>(pContext)->m_reports.emplace_back(nEvent, a);
        return 0;    // the sorter does not look at the answer
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
        // Lower-case digits count their values: "3a00" sorts as 0x3A00.
        {":01A00000114E\r\n:013a000011B4\r\n:01400000AA15\r\n:013B000011B3\r\n:00000001FF\r\n",
         ":020000020000FC\r\n:013a000011B4\r\n:013B000011B3\r\n:01400000AA15\r\n:01A00000114E\r\n:00000001FF\r\n"},
        // Segment 0x1000 reaches past the base of segment 0x1800: the records
        // come out by address, each led by the segment it was written under.
        {":020000021800E4\r\n:0100100044AB\r\n:020000021000EC\r\n:0180200033CC\r\n:01000000BB44\r\n:00000001FF\r\n",
         ":020000021000EC\r\n:01000000BB44\r\n:020000021800E4\r\n:0100100044AB\r\n:020000021000EC\r\n"
         ":0180200033CC\r\n:00000001FF\r\n"},
    };
    for (const auto& test : kCases) {
        ASSERT_EQ(sort(test.first), 0) << test.first;
        EXPECT_EQ(m_sorted, test.second);
    }
}

TEST_F(SortHexFileTest, ReportsSortingFromZeroToHundredAndSkipsEmptyLines)
{
    // Each data line written reports the copy's size in percent of the
    // source's 47 bytes (the copy has a segment record more).
    ASSERT_EQ(sort(":0200100011229B\r\n:02002000AABB79\r\n:00000001FF\r\n"), 0);
    const int32_t kSort = flsh_cEventSort;
    EXPECT_EQ(m_reports, (std::vector<std::pair<int32_t, int32_t>>{{kSort, 0}, {kSort, 34 * 100 / 47}, {kSort, 51 * 100 / 47}, {kSort, 100}}));
    // Empty lines are skipped; lines of 99 characters are taken.
    ASSERT_EQ(longestRecord().size(), 99u);
    ASSERT_EQ(sort("\r\n" + longestRecord() + "\r\n\r\n:00000001FF\r\n\r\n"), 0);
    EXPECT_EQ(m_sorted, ":020000020000FC\r\n" + longestRecord() + "\r\n:00000001FF\r\n");
}

// A missing source or an output that cannot be made fail the AT flash run.
TEST_F(SortHexFileTest, FailsOnWhatItCannotSort)
{
    // Empty, no data record, type 04, a lower-case type, no type, a segment
    // record without its segment, lines of 100 with or without CR LF.
    for (const std::string& text : {std::string(), std::string(":00000001FF\r\n"),
                                    std::string(":020000040001F9\r\n:0100000066FA\r\n"), std::string(":0100000a66FA\r\n"),
                                    std::string(":010000\r\n"), std::string(":02000002\r\n:0100000066FA\r\n"),
                                    longestRecord() + "0\r\n:00000001FF\r\n", ":00000001FF\r\n" + longestRecord() + "0"})
        EXPECT_EQ(sort(text), -1) << text;
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

// ------------------------------------------------- 2. Block assembly

struct Block {
    uint32_t nAddress;            // block address
    std::vector<uint8_t> bytes;   // the block's bytes
    uint8_t nChecksum;            // as FillBlock computed it
};

class FillBlockTest : public ::testing::Test {
protected:
    // Cuts the text of a sorted copy into blocks of up to 4 KiB; m_nLast is
    // the result that ended the loop (0 at the end of the image, -1 for a
    // bad line).
    std::vector<Block> blocks(const std::string& text)
    {
        m_dir.write("sorted.hex", text);
        osfl_Handle hFile = osfl_Open(m_dir.file("sorted.hex").c_str(), osfl_kAccessRead);
        EXPECT_NE(hFile, osfl_kInvalidHandle);
        std::unique_ptr<AtFlashContext> pContext(new AtFlashContext());
        pContext->nRemaining = 0;
        pContext->nSegment = 0;
        os_ResetLineReader(&pContext->reader);
        std::vector<Block> result;
        while ((m_nLast = AtFlsh_FillBlock(pContext.get(), hFile, AtFlsh_kBlockSize, 0)) > 0)
            result.push_back(Block{pContext->nBlockAddress, std::vector<uint8_t>(pContext->block, pContext->block + m_nLast),
                                   pContext->nBlockChecksum});
        osfl_Close(hFile);
        return result;
    }

    // "address+length ..." of the blocks in hexadecimal, once each block's
    // bytes have been checked: the image's bytes where it has data, 0xFF
    // elsewhere, and the checksum the XOR of them all.
    static std::string layout(const std::vector<Block>& result, const std::map<uint32_t, uint8_t>& image)
    {
        std::string sLayout;
        for (const Block& block : result) {
            uint8_t nXor = 0;
            for (size_t i = 0; i < block.bytes.size(); ++i) {
                auto found = image.find(block.nAddress + static_cast<uint32_t>(i));
                EXPECT_EQ(block.bytes[i], found != image.end() ? found->second : 0xFF) << block.nAddress + i;
                nXor ^= block.bytes[i];
            }
            EXPECT_EQ(block.nChecksum, nXor);
            char szBlock[32];
            snprintf(szBlock, sizeof szBlock, "%X+%zX ", block.nAddress, block.bytes.size());
            sLayout += szBlock;
        }
        return sLayout;
    }

    TempDir m_dir;
    int32_t m_nLast = 0;
};

TEST_F(FillBlockTest, BridgesShortHolesAndStopsAtSixteenKilobytes)
{
    const struct {
        const char* pszCase;
        std::vector<HexChunk> chunks;
        size_t nRecordBytes;
        const char* pszLayout;
    } kCases[] = {
        {"a hole of exactly 128 bytes is bridged", {hex_Pattern(0, 0x80), hex_Pattern(0x100, 0x10)}, 16, "0+180 "},
        {"one of 129 bytes starts a new block", {hex_Pattern(0, 0x80), hex_Pattern(0x101, 0x10)}, 16, "0+80 100+80 "},
        {"never across a 16 KiB boundary", {hex_Pattern(0x3F80, 0x40), hex_Pattern(0x4010, 0x10)}, 16,
         "3F80+80 4000+80 "},
        {"a record across the boundary is split", {hex_Pattern(0x3FF0, 0x20)}, 32, "3F80+80 4000+80 "},
        // The next record starts at the limit 0x1000, takes nothing and
        // closes the block at its full size.
        {"a record at the limit", {hex_Pattern(0, 0xF80), hex_Pattern(0x1000, 0x10)}, 16, "0+1000 1000+80 "},
    };
    for (const auto& test : kCases) {
        std::string text = hex_Text(test.chunks, HexLayout{test.nRecordBytes, 0x10000, 0});
        EXPECT_EQ(layout(blocks(text), hex_Bytes(test.chunks)), test.pszLayout) << test.pszCase;
    }

    // A record below the block's end (a later segment of the sorted copy
    // overlapping an earlier one) closes the block.
    HexChunk image = hex_Pattern(0x100, 0x20);
    std::string text = ":020000020000FC\r\n" + sim_HexRecord(0, 0x100, image.bytes.data(), 16) + "\r\n" +
                       ":020000020008F4\r\n" + sim_HexRecord(0, 0x000, image.bytes.data() + 16, 16) + "\r\n" +
                       ":00000001FF\r\n";
    std::vector<Block> result = blocks(text);
    ASSERT_EQ(result.size(), 2u);
    EXPECT_EQ(result[0].nAddress, 0x100u);
    EXPECT_EQ(result[1].nAddress, 0x080u);
    EXPECT_TRUE(std::equal(image.bytes.begin() + 16, image.bytes.end(), result[1].bytes.begin()));
}

TEST_F(FillBlockTest, ALineThatIsNotARecordEndsWithMinusOne)
{
    EXPECT_TRUE(blocks(":020000020000FC\r\n:10000000ZZ\r\n:00000001FF\r\n").empty() && m_nLast == -1);
    // A copy that ends without its end-of-file record.
    std::string text = hex_Text({hex_Pattern(0, 0x100)});
    EXPECT_TRUE(blocks(text.substr(0, text.size() - strlen(":00000001FF\r\n"))).empty() && m_nLast == -1);
    // After the end-of-file record nothing more is read.
    EXPECT_TRUE(blocks(":0100000066FA\r\n:00000001FF\r\ngarbage\r\n").size() == 1u && m_nLast == 0);
}

// ------------------------------------- 3. Line texts and percentages

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
    // A lone LF ends a line as CR LF does.
    EXPECT_EQ(readAll(":00\r\n\r\nAB\nCD\r\nLAST"), (std::vector<std::string>{"10 at&&w:00\r\n", "7 at&&w\r\n",
                                                                            "9 at&&wAB\r\n", "9 at&&wCD\r\n",
                                                                            "11 at&&wLAST\r\n", "0 "}));
    // A NUL byte would cut the line on the wire: the line is bad.
    EXPECT_EQ(readAll(std::string(":0\0\r\n", 5)), std::vector<std::string>{"-1 "});
    // A line longer than the line buffer itself is refused with an empty text.
    EXPECT_EQ(readAll(std::string(300, 'g') + "\r\n"), std::vector<std::string>{"-1 "});
}

TEST(FlshLine, PercentOfTheFileWithoutOverflow)
{
    TempDir dir;
    osfl_Handle hFile = osfl_Create(dir.file("big.bin").c_str(), osfl_kAttrNormal);
    // A sparse file of 100,000,000 bytes: 50,000,000 x 100 needs more than 32 bits.
    ASSERT_TRUE(osfl_Seek(hFile, 99999999, 0) == 99999999 && osfl_Write(hFile, "x", 1) == 1);
    ASSERT_EQ(osfl_Seek(hFile, 50000000, 0), 50000000);
    EXPECT_EQ(flsh_Percent(hFile, osfl_Length(hFile)), 50);
    EXPECT_EQ(flsh_Percent(hFile, 0) + flsh_Percent(hFile, -1), 0);
    osfl_Close(hFile);
    EXPECT_EQ(flsh_Percent(osfl_kInvalidHandle, 100), 0);
}

}  // namespace
