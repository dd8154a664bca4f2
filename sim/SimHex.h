// Intel HEX text for the simulator and the tests: one record line, and a
// whole image (address -> byte) as a file a flashed device can be compared
// with.
#ifndef NORVANE_SIM_SIMHEX_H
#define NORVANE_SIM_SIMHEX_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

// One record line ":LLOOOOTT<data>CC" in upper-case hex, with its checksum
// and without CR LF. nCount is at most 255.
std::string sim_HexRecord(uint8_t nType, uint16_t nOffset, const uint8_t* pData, size_t nCount);

// The image (addresses below 0x100000) as Intel HEX lines ending in CR LF:
// an extended-segment record (02) for each 64 KiB the image touches, data
// records of up to 16 bytes that never bridge a missing address, and the
// end-of-file record.
std::string sim_HexImage(const std::map<uint32_t, uint8_t>& image);

#endif
