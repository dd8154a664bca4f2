// The check of a firmware or loader file before anything of it reaches a
// device: every line a well-formed record (hex digits of either case),
// checksum right, a record type the protocol can program, data present, one
// end record and nothing after it, no two records writing the same address,
// no line longer than the protocol sends. A protocol runs the check before
// its first byte goes to the device and ends with "Bad .HEX file" when it
// fails; the log says which line and why.
//
// Intel HEX (":" LL OOOO TT DD... CC): the checksum makes the sum of all
// bytes 0 (mod 256). Motorola S-records ("S" T LL AAAA... DD... CC): the
// count covers address, data and checksum; the checksum is the ones'
// complement of the sum of count, address and data.
#ifndef NORVANE_ENGINESOURCE_HEXCHECK_H
#define NORVANE_ENGINESOURCE_HEXCHECK_H

#include <cstddef>
#include <cstdint>

// Record types a protocol can program, as a mask of bits 1 << type.
// The AT protocol's sorter takes data, end and extended segment records;
// the line-streaming loaders take every Intel HEX type 00 to 05.
constexpr uint32_t hex_kTypesSorted = 0x07u;
constexpr uint32_t hex_kTypesIntel = 0x3Fu;

// What the check found. Filled on every call.
constexpr size_t hex_kReasonSize = 64;
struct hex_CheckReport {
    int32_t nLine;                    // the line at fault, from 1; 0 for the file as a whole
    char szReason[hex_kReasonSize];   // why, for the log; empty when the file is sound
};

// Results of the checks.
constexpr int hex_kCheckSound = 1;    // the file may be sent
constexpr int hex_kCheckBad = 0;      // the file must not be sent
constexpr int hex_kCheckNoFile = -1;  // the file cannot be opened (or is no regular file)

// Checks the Intel HEX file pszPath. nTypes is the mask of record types the
// protocol can program; nMaxChars the longest line it takes (line end not
// counted). Lines may end in CR LF or LF. A failure is logged with the path,
// the line and the reason.
int hex_CheckIntelFile(const char* pszPath, uint32_t nTypes, int32_t nMaxChars, hex_CheckReport* pReport);

// Checks the Motorola S-record file pszPath (types S0 to S3, S5 to S9; one
// of S7, S8, S9 ends it), as hex_CheckIntelFile does.
int hex_CheckSRecordFile(const char* pszPath, int32_t nMaxChars, hex_CheckReport* pReport);

#endif
