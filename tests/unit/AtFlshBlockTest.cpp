// Block assembly of the AT flash protocol (AtFlsh_FillBlock) over sorted
// copies written by hand: 128-byte alignment, the 16 KiB boundary, holes
// bridged with 0xFF up to 128 bytes, the block at address 0 patched with
// flag 0x001, padding, the checksum, and lines that are not records.
#include "EngineSource/AtFlsh.h"
#include "sim/SimHex.h"
#include "support/HexWriter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Block {
    uint32_t nAddress;            // block address
    std::vector<uint8_t> bytes;   // the block's bytes
    uint8_t nChecksum;            // as FillBlock computed it
};

class FillBlockTest : public ::testing::Test {
protected:
    // Cuts the text of a sorted copy into blocks; *pnLast is the result that
    // ended the loop (0 at the end of the image, -1 for a bad line).
    std::vector<Block> blocks(const std::string& text, int32_t nBlockSize, uint32_t nFlags, int32_t* pnLast = nullptr)
    {
        m_dir.write("sorted.hex", text);
        osfl_Handle hFile = osfl_Open(m_dir.file("sorted.hex").c_str(), osfl_kAccessRead);
        EXPECT_NE(hFile, osfl_kInvalidHandle);
        std::unique_ptr<AtFlashContext> pContext(new AtFlashContext());
        pContext->nRemaining = 0;
        pContext->nSegment = 0;
        os_ResetLineReader(&pContext->reader);
        std::vector<Block> result;
        int32_t nLength;
        while ((nLength = AtFlsh_FillBlock(pContext.get(), hFile, nBlockSize, nFlags)) > 0)
            result.push_back(Block{pContext->nBlockAddress, std::vector<uint8_t>(pContext->block, pContext->block + nLength),
                                   pContext->nBlockChecksum});
        osfl_Close(hFile);
        if (pnLast != nullptr)
            *pnLast = nLength;
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
};

TEST_F(FillBlockTest, AlignsBridgesShortHolesAndStopsAtSixteenKilobytes)
{
    const struct {
        const char* pszCase;
        std::vector<HexChunk> chunks;
        size_t nRecordBytes;
        int32_t nBlockSize;
        const char* pszLayout;
    } kCases[] = {
        {"a short gap bridged into an aligned block", {hex_Pattern(0, 0x1000), hex_Pattern(0x1040, 0xC0)}, 16,
         AtFlsh_kBlockSize, "0+1000 1000+100 "},
        {"a hole of exactly 128 bytes is bridged", {hex_Pattern(0, 0x80), hex_Pattern(0x100, 0x10)}, 16,
         AtFlsh_kBlockSize, "0+180 "},
        {"one of 129 bytes starts a new block", {hex_Pattern(0, 0x80), hex_Pattern(0x101, 0x10)}, 16,
         AtFlsh_kBlockSize, "0+80 100+80 "},
        {"never across a 16 KiB boundary", {hex_Pattern(0x3F80, 0x40), hex_Pattern(0x4010, 0x10)}, 16,
         AtFlsh_kBlockSize, "3F80+80 4000+80 "},
        {"a record across the boundary is split", {hex_Pattern(0x3FF0, 0x20)}, 32, AtFlsh_kBlockSize,
         "3F80+80 4000+80 "},
        // The next record starts at the limit 0x1000, takes nothing and
        // closes the block at its full size.
        {"a record at the limit", {hex_Pattern(0, 0xF80), hex_Pattern(0x1000, 0x10)}, 16, AtFlsh_kBlockSize,
         "0+1000 1000+80 "},
        {"small blocks", {hex_Pattern(0x200, 0x200)}, 16, AtFlsh_kOldBlockSize, "200+80 280+80 300+80 380+80 "},
    };
    for (const auto& test : kCases) {
        std::string text = hex_Text(test.chunks, HexLayout{test.nRecordBytes, 0x10000, 0});
        EXPECT_EQ(layout(blocks(text, test.nBlockSize, 0), hex_Bytes(test.chunks)), test.pszLayout) << test.pszCase;
    }

    // A record below the block's end (a later segment of the sorted copy
    // overlapping an earlier one) closes the block.
    HexChunk image = hex_Pattern(0x100, 0x20);
    std::string text = ":020000020000FC\r\n" + sim_HexRecord(0, 0x100, image.bytes.data(), 16) + "\r\n" +
                       ":020000020008F4\r\n" + sim_HexRecord(0, 0x000, image.bytes.data() + 16, 16) + "\r\n" +
                       ":00000001FF\r\n";
    std::vector<Block> result = blocks(text, AtFlsh_kBlockSize, 0);
    ASSERT_EQ(result.size(), 2u);
    EXPECT_EQ(result[0].nAddress, 0x100u);
    EXPECT_EQ(result[1].nAddress, 0x080u);
    EXPECT_EQ(std::vector<uint8_t>(result[1].bytes.begin(), result[1].bytes.begin() + 16),
              std::vector<uint8_t>(image.bytes.begin() + 16, image.bytes.end()));
}

TEST_F(FillBlockTest, PatchesOnlyTheBlockAtZero)
{
    std::vector<HexChunk> chunks = {hex_Pattern(0, 0x100), hex_Pattern(0x8000, 0x80)};
    std::map<uint32_t, uint8_t> image = hex_Bytes(chunks);
    EXPECT_EQ(layout(blocks(hex_Text(chunks), AtFlsh_kBlockSize, 0), image), "0+100 8000+80 ");
    image[0] = 0xC3;
    image[1] = 0x00;
    image[2] = 0x01;
    EXPECT_EQ(layout(blocks(hex_Text(chunks), AtFlsh_kBlockSize, flsh_kPatchResetVector), image), "0+100 8000+80 ");
}

TEST_F(FillBlockTest, ALineThatIsNotARecordEndsWithMinusOne)
{
    int32_t nLast = 0;
    EXPECT_TRUE(blocks(":020000020000FC\r\n:10000000ZZ\r\n:00000001FF\r\n", AtFlsh_kBlockSize, 0, &nLast).empty());
    EXPECT_EQ(nLast, -1);
    // A copy that ends without its end-of-file record.
    std::string text = hex_Text({hex_Pattern(0, 0x100)});
    EXPECT_TRUE(blocks(text.substr(0, text.size() - strlen(":00000001FF\r\n")), AtFlsh_kBlockSize, 0, &nLast).empty());
    EXPECT_EQ(nLast, -1);
    // After the end-of-file record nothing more is read.
    EXPECT_EQ(blocks(":0100000066FA\r\n:00000001FF\r\ngarbage\r\n", AtFlsh_kBlockSize, 0, &nLast).size(), 1u);
    EXPECT_EQ(nLast, 0);
}

}  // namespace
