// Sample firmware images for tests and benches: pseudo-random bytes written
// as Intel HEX text with CR LF line ends.
#ifndef NORVANE_SIM_SIMHEXIMAGE_H
#define NORVANE_SIM_SIMHEXIMAGE_H

#include <cstdint>
#include <string>

// nBytes pseudo-random bytes (the same for the same nSeed) from nAddress
// on, nPerRecord (1 to 255) data bytes per data record, an extended linear
// address record (type 04) before the first record and at each 64 KiB
// boundary, and the end-of-file record ":00000001FF". Records do not cross
// a 64 KiB boundary.
std::string sim_MakeIntelHex(uint32_t nAddress, uint32_t nBytes, uint32_t nPerRecord, uint32_t nSeed);

#endif
