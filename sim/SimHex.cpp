// Intel HEX text for the simulator and the tests.
#include "sim/SimHex.h"

#include <cstdio>
#include <vector>

namespace {

constexpr size_t kImageRecordBytes = 16;

std::string hexByte(uint8_t nByte)
{
    char szByte[3];
    snprintf(szByte, sizeof szByte, "%2.2X", nByte);
    return szByte;
}

}  // namespace

std::string sim_HexRecord(uint8_t nType, uint16_t nOffset, const uint8_t* pData, size_t nCount)
{
    uint8_t nLength = static_cast<uint8_t>(nCount);
    uint8_t nSum = static_cast<uint8_t>(nLength + (nOffset >> 8) + (nOffset & 0xFF) + nType);
    std::string line = ":" + hexByte(nLength) + hexByte(static_cast<uint8_t>(nOffset >> 8)) +
                       hexByte(static_cast<uint8_t>(nOffset)) + hexByte(nType);
    for (size_t i = 0; i < nLength; ++i) {
        line += hexByte(pData[i]);
        nSum = static_cast<uint8_t>(nSum + pData[i]);
    }
    return line + hexByte(static_cast<uint8_t>(0x100 - nSum));
}

std::string sim_HexImage(const std::map<uint32_t, uint8_t>& image)
{
    std::string text;
    uint32_t nSegmentBase = 0xFFFFFFFFu;
    auto it = image.begin();
    while (it != image.end()) {
        uint32_t nStart = it->first;
        uint32_t nBase = nStart & 0xFFFF0000u;
        if (nBase != nSegmentBase) {
            uint16_t nSegment = static_cast<uint16_t>(nBase >> 4);
            uint8_t segment[2] = {static_cast<uint8_t>(nSegment >> 8), static_cast<uint8_t>(nSegment)};
            text += sim_HexRecord(2, 0, segment, sizeof segment) + "\r\n";
            nSegmentBase = nBase;
        }
        std::vector<uint8_t> bytes;
        while (it != image.end() && it->first == nStart + bytes.size() && bytes.size() < kImageRecordBytes &&
               (it->first & 0xFFFF0000u) == nBase) {
            bytes.push_back(it->second);
            ++it;
        }
        text += sim_HexRecord(0, static_cast<uint16_t>(nStart - nBase), bytes.data(), bytes.size()) + "\r\n";
    }
    return text + ":00000001FF\r\n";
}
