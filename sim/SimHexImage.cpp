// Sample firmware images in Intel HEX.
#include "sim/SimHexImage.h"

#include <cstdio>
#include <vector>

namespace {

// One record: ":" count, address, type, data, checksum (two's complement
// of the sum of the other bytes), CR LF.
std::string record(uint32_t nAddress, uint8_t nType, const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> bytes = {static_cast<uint8_t>(data.size()), static_cast<uint8_t>(nAddress >> 8),
                                  static_cast<uint8_t>(nAddress), nType};
    bytes.insert(bytes.end(), data.begin(), data.end());
    uint8_t nSum = 0;
    for (uint8_t byte : bytes)
        nSum = static_cast<uint8_t>(nSum + byte);
    bytes.push_back(static_cast<uint8_t>(-nSum));
    std::string text = ":";
    for (uint8_t byte : bytes) {
        char szHex[3];
        snprintf(szHex, sizeof szHex, "%02X", byte);
        text += szHex;
    }
    return text + "\r\n";
}

}  // namespace

std::string sim_MakeIntelHex(uint32_t nAddress, uint32_t nBytes, uint32_t nPerRecord, uint32_t nSeed)
{
    if (nPerRecord == 0 || nPerRecord > 255)
        nPerRecord = 16;
    uint32_t nState = nSeed != 0 ? nSeed : 1;
    std::string text;
    uint32_t nUpper = ~0u;
    for (uint32_t nDone = 0; nDone < nBytes;) {
        uint32_t nAt = nAddress + nDone;
        if (nAt >> 16 != nUpper) {
            nUpper = nAt >> 16;
            text += record(0, 4, {static_cast<uint8_t>(nUpper >> 8), static_cast<uint8_t>(nUpper)});
        }
        uint32_t nCount = nBytes - nDone < nPerRecord ? nBytes - nDone : nPerRecord;
        uint32_t nToBoundary = 0x10000 - (nAt & 0xFFFF);
        if (nCount > nToBoundary)
            nCount = nToBoundary;
        std::vector<uint8_t> data(nCount);
        for (uint8_t& byte : data) {
            nState ^= nState << 13;
            nState ^= nState >> 17;
            nState ^= nState << 5;
            byte = static_cast<uint8_t>(nState >> 24);
        }
        text += record(nAt & 0xFFFF, 0, data);
        nDone += nCount;
    }
    return text + ":00000001FF\r\n";
}
