#include "support/HexWriter.h"

#include "EngineSource/HexFile.h"
#include "sim/SimHex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

namespace {

struct DataRecord {
    uint32_t nBase;                // segment base
    uint32_t nAddress;             // address of the first byte
    std::vector<uint8_t> bytes;    // its data
};

}  // namespace

std::string hex_Text(const std::vector<HexChunk>& chunks, const HexLayout& layout)
{
    std::vector<DataRecord> records;
    for (const HexChunk& chunk : chunks) {
        size_t nDone = 0;
        while (nDone < chunk.bytes.size()) {
            uint32_t nAddress = chunk.nAddress + static_cast<uint32_t>(nDone);
            uint32_t nBase = nAddress & ~(layout.nSegmentSpan - 1);
            size_t nToSpan = nBase + layout.nSegmentSpan - nAddress;
            size_t nCount = std::min({layout.nRecordBytes, chunk.bytes.size() - nDone, nToSpan});
            records.push_back(DataRecord{nBase, nAddress,
                                         std::vector<uint8_t>(chunk.bytes.begin() + static_cast<std::ptrdiff_t>(nDone),
                                                              chunk.bytes.begin() + static_cast<std::ptrdiff_t>(nDone + nCount))});
            nDone += nCount;
        }
    }
    if (layout.nShuffleSeed != 0) {
        std::mt19937 generator(layout.nShuffleSeed);
        std::shuffle(records.begin(), records.end(), generator);
    }

    std::string text;
    uint32_t nCurrentBase = 0;
    for (const DataRecord& record : records) {
        if (record.nBase != nCurrentBase) {
            uint16_t nSegment = static_cast<uint16_t>(record.nBase >> 4);
            uint8_t segment[2] = {static_cast<uint8_t>(nSegment >> 8), static_cast<uint8_t>(nSegment)};
            text += sim_HexRecord(2, 0, segment, sizeof segment) + "\r\n";
            nCurrentBase = record.nBase;
        }
        text += sim_HexRecord(0, static_cast<uint16_t>(record.nAddress - record.nBase), record.bytes.data(),
                              record.bytes.size()) + "\r\n";
    }
    return text + ":00000001FF\r\n";
}

std::map<uint32_t, uint8_t> hex_Bytes(const std::vector<HexChunk>& chunks)
{
    std::map<uint32_t, uint8_t> bytes;
    for (const HexChunk& chunk : chunks) {
        for (size_t i = 0; i < chunk.bytes.size(); ++i)
            bytes[chunk.nAddress + static_cast<uint32_t>(i)] = chunk.bytes[i];
    }
    return bytes;
}

void hex_ExpectImage(const std::map<uint32_t, uint8_t>& image, const std::vector<HexChunk>& chunks)
{
    std::map<uint32_t, uint8_t> expected = hex_Bytes(chunks);
    for (const auto& entry : image)
        expected.emplace(entry.first, 0xFF);
    EXPECT_TRUE(image == expected);
}

std::map<uint32_t, uint8_t> hex_ParseText(const std::string& text)
{
    std::map<uint32_t, uint8_t> bytes;
    uint32_t nSegment = 0;
    size_t nStart = 0;
    while (nStart < text.size()) {
        size_t nEnd = text.find("\r\n", nStart);
        std::string line = text.substr(nStart, nEnd - nStart);
        nStart = nEnd == std::string::npos ? text.size() : nEnd + 2;
        HexRecord record;
        if (ParseHexRecord(&nSegment, line.c_str(), &record) != 1) {
            ADD_FAILURE() << "not a record: " << line;
            continue;
        }
        for (int32_t i = 0; record.nType == hex_kTypeData && i < record.nLength; ++i)
            bytes[record.nAddress + static_cast<uint32_t>(i)] = record.data[i];
    }
    return bytes;
}

HexChunk hex_Pattern(uint32_t nAddress, size_t nCount, uint32_t nSeed)
{
    HexChunk chunk{nAddress, std::vector<uint8_t>(nCount)};
    uint32_t nState = nSeed * 2654435761u + nAddress;
    for (uint8_t& byte : chunk.bytes) {
        nState = nState * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(nState >> 16);
        if (byte == 0xFF)
            byte = 0x5A;
    }
    return chunk;
}
