// Intel HEX firmware files for tests, made from (address, bytes) lists: the
// record size, the segment bases and the record order can be chosen, so
// that one image can be written in many valid shapes; and the bytes such a
// file holds, as the engine's record reader reads them.
#ifndef NORVANE_TESTS_SUPPORT_HEXWRITER_H
#define NORVANE_TESTS_SUPPORT_HEXWRITER_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Bytes that start at one address.
struct HexChunk {
    uint32_t nAddress;             // address of the first byte (below 0x100000)
    std::vector<uint8_t> bytes;    // the data
};

struct HexLayout {
    size_t nRecordBytes = 16;      // data bytes per record (at most 255)
    uint32_t nSegmentSpan = 0x10000;  // each record's segment base is its address rounded
                                      // down to a multiple of this (a power of two, at most 0x10000)
    uint32_t nShuffleSeed = 0;     // 0: records in address order; else shuffled with this seed
};

// The file's text: for each record an extended-segment record when its base
// differs from the one before, the data record, and the end-of-file record;
// lines end in CR LF. Records never cross a multiple of nSegmentSpan.
std::string hex_Text(const std::vector<HexChunk>& chunks, const HexLayout& layout = HexLayout());

// The bytes of the chunks by address (later chunks over earlier ones).
std::map<uint32_t, uint8_t> hex_Bytes(const std::vector<HexChunk>& chunks);

// A device's image holds the chunks' bytes (later chunks over earlier
// ones) and 0xFF at every other address it has; the calling test fails
// otherwise.
void hex_ExpectImage(const std::map<uint32_t, uint8_t>& image, const std::vector<HexChunk>& chunks);

// The bytes of the data records of an Intel HEX text (lines ending in CR
// LF) read with ParseHexRecord; a line that is not a record fails the
// calling test.
std::map<uint32_t, uint8_t> hex_ParseText(const std::string& text);

// A chunk of nCount bytes at nAddress filled from a simple generator, so
// that every image differs from its neighbours and from 0xFF.
HexChunk hex_Pattern(uint32_t nAddress, size_t nCount, uint32_t nSeed = 1);

#endif
