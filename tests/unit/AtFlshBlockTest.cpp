// Block assembly of the AT flash protocol (AtFlsh_FillBlock) over sorted
// copies written by hand: 128-byte alignment, the 16 KiB boundary, holes
// bridged with 0xFF up to 128 bytes, the block at address 0 patched with
// flag 0x001, padding, the checksum, and lines that are not records.
#include "EngineSource/AtFlsh.h"
#include "sim/SimHex.h"
#include "support/HexWriter.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
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
        m_pContext.reset(new AtFlashContext());
        m_pContext->nRemaining = 0;
        m_pContext->nSegment = 0;
        os_ResetLineReader(&m_pContext->reader);
        std::vector<Block> result;
        int32_t nLength;
        while ((nLength = AtFlsh_FillBlock(m_pContext.get(), hFile, nBlockSize, nFlags)) > 0) {
            const uint8_t* pBytes = m_pContext->block;
            result.push_back(Block{m_pContext->nBlockAddress, std::vector<uint8_t>(pBytes, pBytes + nLength),
                                   m_pContext->nBlockChecksum});
        }
        osfl_Close(hFile);
        if (pnLast != nullptr)
            *pnLast = nLength;
        return result;
    }

    // The block's bytes at [nFrom, nTo) of the image it covers.
    static std::vector<uint8_t> slice(const Block& block, uint32_t nFrom, uint32_t nTo)
    {
        return std::vector<uint8_t>(block.bytes.begin() + (nFrom - block.nAddress),
                                    block.bytes.begin() + (nTo - block.nAddress));
    }

    static std::vector<uint8_t> erased(size_t nCount) { return std::vector<uint8_t>(nCount, 0xFF); }

    TempDir m_dir;
    std::unique_ptr<AtFlashContext> m_pContext;
};

TEST_F(FillBlockTest, BridgesAShortGapIntoAnAlignedBlock)
{
    HexChunk low = hex_Pattern(0x0000, 0x1000), high = hex_Pattern(0x1040, 0xC0);
    std::vector<Block> result = blocks(hex_Text({low, high}), AtFlsh_kBlockSize, 0);
    ASSERT_EQ(result.size(), 2u);
    EXPECT_EQ(result[0].nAddress, 0u);
    EXPECT_EQ(result[0].bytes, low.bytes);
    EXPECT_EQ(result[1].nAddress, 0x1000u);
    ASSERT_EQ(result[1].bytes.size(), 256u);
    EXPECT_EQ(slice(result[1], 0x1000, 0x1040), erased(0x40));
    EXPECT_EQ(slice(result[1], 0x1040, 0x1100), high.bytes);
}

TEST_F(FillBlockTest, NeverCrossesASixteenKilobyteBoundary)
{
    HexChunk below = hex_Pattern(0x3F80, 0x40), above = hex_Pattern(0x4010, 0x10);
    std::vector<Block> result = blocks(hex_Text({below, above}), AtFlsh_kBlockSize, 0);
    ASSERT_EQ(result.size(), 2u);
    EXPECT_EQ(result[0].nAddress, 0x3F80u);
    ASSERT_EQ(result[0].bytes.size(), 128u);
    EXPECT_EQ(slice(result[0], 0x3FC0, 0x4000), erased(0x40));
    EXPECT_EQ(result[1].nAddress, 0x4000u);
    EXPECT_EQ(slice(result[1], 0x4000, 0x4010), erased(0x10));
    EXPECT_EQ(slice(result[1], 0x4010, 0x4020), above.bytes);

    // A record across the boundary is split between two blocks.
    HexChunk across = hex_Pattern(0x3FF0, 0x20);
    result = blocks(hex_Text({across}, HexLayout{32, 0x10000, 0}), AtFlsh_kBlockSize, 0);
    ASSERT_EQ(result.size(), 2u);
    EXPECT_EQ(result[0].nAddress, 0x3F80u);
    EXPECT_EQ(slice(result[0], 0x3FF0, 0x4000), std::vector<uint8_t>(across.bytes.begin(), across.bytes.begin() + 16));
    EXPECT_EQ(result[1].nAddress, 0x4000u);
    EXPECT_EQ(slice(result[1], 0x4000, 0x4010), std::vector<uint8_t>(across.bytes.begin() + 16, across.bytes.end()));
}

TEST_F(FillBlockTest, BridgesHolesOfUpTo128Bytes)
{
    HexChunk first = hex_Pattern(0x000, 0x80);
    // A hole of exactly 128 bytes is bridged ...
    std::vector<Block> result = blocks(hex_Text({first, hex_Pattern(0x100, 0x10)}), AtFlsh_kBlockSize, 0);
    ASSERT_EQ(result.size(), 1u);
    EXPECT_EQ(result[0].bytes.size(), 0x180u);
    EXPECT_EQ(slice(result[0], 0x080, 0x100), erased(0x80));
    // ... one of 129 bytes starts a new block.
    result = blocks(hex_Text({first, hex_Pattern(0x101, 0x10)}), AtFlsh_kBlockSize, 0);
    ASSERT_EQ(result.size(), 2u);
    EXPECT_EQ(result[0].bytes.size(), 0x80u);
    EXPECT_EQ(result[1].nAddress, 0x100u);
    EXPECT_EQ(result[1].bytes[0], 0xFF);
}

TEST_F(FillBlockTest, ARecordAtTheLimitEndsTheBlockThere)
{
    // 0x000-0xF7F fills the block to 0xF80; the next record starts at the
    // limit 0x1000, takes nothing and closes the block at its full size.
    HexChunk low = hex_Pattern(0x000, 0xF80), next = hex_Pattern(0x1000, 0x10);
    std::vector<Block> result = blocks(hex_Text({low, next}), AtFlsh_kBlockSize, 0);
    ASSERT_EQ(result.size(), 2u);
    EXPECT_EQ(result[0].bytes.size(), 0x1000u);
    EXPECT_EQ(slice(result[0], 0xF80, 0x1000), erased(0x80));
    EXPECT_EQ(result[1].nAddress, 0x1000u);
}

TEST_F(FillBlockTest, SmallBlocksAndAddressesThatGoBack)
{
    HexChunk image = hex_Pattern(0x200, 0x400);
    std::vector<Block> result = blocks(hex_Text({image}), AtFlsh_kOldBlockSize, 0);
    ASSERT_EQ(result.size(), 8u);
    for (size_t i = 0; i < result.size(); ++i) {
        EXPECT_EQ(result[i].nAddress, 0x200u + 0x80u * i);
        EXPECT_EQ(result[i].bytes.size(), 128u);
    }
    // A record below the block's end (a later segment of the sorted copy
    // overlapping an earlier one) closes the block.
    std::string text = ":020000020000FC\r\n" + sim_HexRecord(0, 0x100, image.bytes.data(), 16) + "\r\n" +
                       ":020000020008F4\r\n" + sim_HexRecord(0, 0x000, image.bytes.data() + 16, 16) + "\r\n" +
                       ":00000001FF\r\n";
    result = blocks(text, AtFlsh_kBlockSize, 0);
    ASSERT_EQ(result.size(), 2u);
    EXPECT_EQ(result[0].nAddress, 0x100u);
    EXPECT_EQ(result[1].nAddress, 0x080u);
    EXPECT_EQ(slice(result[1], 0x80, 0x90), std::vector<uint8_t>(image.bytes.begin() + 16, image.bytes.begin() + 32));
}

TEST_F(FillBlockTest, PatchesTheBlockAtZeroAndChecksumsWhatIsSent)
{
    HexChunk image = hex_Pattern(0x0000, 0x100);
    for (uint32_t nFlags : {0u, flsh_kPatchResetVector}) {
        std::vector<Block> result = blocks(hex_Text({image, hex_Pattern(0x8000, 0x80)}), AtFlsh_kBlockSize, nFlags);
        ASSERT_EQ(result.size(), 2u);
        std::vector<uint8_t> expected = image.bytes;
        const uint8_t kPatch[] = {0xC3, 0x00, 0x01};
        if (nFlags != 0)
            std::copy(kPatch, kPatch + 3, expected.begin());
        EXPECT_EQ(result[0].bytes, expected);
        for (const Block& block : result) {
            uint8_t nXor = 0;
            for (uint8_t byte : block.bytes)
                nXor ^= byte;
            EXPECT_EQ(block.nChecksum, nXor);
        }
        // Only the block at address 0 is patched.
        EXPECT_NE(result[1].bytes[0], 0xC3);
    }
}

TEST_F(FillBlockTest, ALineThatIsNotARecordEndsWithMinusOne)
{
    int32_t nLast = 0;
    std::vector<Block> result = blocks(":020000020000FC\r\n:10000000ZZ\r\n:00000001FF\r\n", AtFlsh_kBlockSize, 0, &nLast);
    EXPECT_TRUE(result.empty());
    EXPECT_EQ(nLast, -1);
    // A copy that ends without its end-of-file record.
    std::string text = hex_Text({hex_Pattern(0, 0x100)});
    result = blocks(text.substr(0, text.size() - strlen(":00000001FF\r\n")), AtFlsh_kBlockSize, 0, &nLast);
    EXPECT_TRUE(result.empty());
    EXPECT_EQ(nLast, -1);
    // After the end-of-file record nothing more is read.
    result = blocks(":0100000066FA\r\n:00000001FF\r\ngarbage\r\n", AtFlsh_kBlockSize, 0, &nLast);
    ASSERT_EQ(result.size(), 1u);
    EXPECT_EQ(nLast, 0);
}

}  // namespace
