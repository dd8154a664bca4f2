// Intel HEX firmware images: the record reader the AT flash protocol cuts
// blocks with, and the sorter that rewrites an image into a sorted copy
// (data records in ascending address order, one extended-segment record in
// front of the records of each segment, then the end-of-file record).
//
// Record line, without its CR LF:  ":" LL OOOO TT DD... CC
//   LL length (0-255), OOOO offset, TT type, DD data bytes, CC checksum.
// Types: 00 data, 01 end of file, 02 extended segment address (the segment,
// most significant byte first; the segment base is segment x 16).
#ifndef NORVANE_ENGINESOURCE_HEXFILE_H
#define NORVANE_ENGINESOURCE_HEXFILE_H

#include "EngineSource/FlashInfo.h"
#include "EngineSource/OSWIN32.h"

#include <cstddef>
#include <cstdint>

// Intel HEX record types.
constexpr int32_t hex_kTypeData = 0;
constexpr int32_t hex_kTypeEnd = 1;
constexpr int32_t hex_kTypeSegment = 2;
constexpr int32_t hex_kTypeLinear = 4;       // upper 16 bits of a 32-bit address
constexpr int32_t hex_kTypeLast = 5;         // the highest type there is (start linear address)

// Most data bytes one record holds.
constexpr int32_t hex_kMaxRecordData = 256;

// One record as ParseHexRecord read it.
struct HexRecord {
    int32_t nType;                        // record type
    uint32_t nAddress;                    // segment x 16 + offset
    int32_t nLength;                      // data bytes (0 to 255)
    uint8_t data[hex_kMaxRecordData];     // the first nLength bytes are valid
    uint8_t nChecksum;                    // the checksum byte as read (never compared)
};

// Reads one record line (without CR LF) into *pRecord.
//
// *pnSegment is the segment of the last type 02 record of the file; the
// caller sets it to 0 before the first line. The record's address is
// *pnSegment x 16 + offset, and a type 02 record sets *pnSegment to its two
// data bytes. Length, offset and type are read as sscanf reads
// ":%2x%4X%2x", each data byte and the checksum as "%2x". The checksum is
// stored, not checked.
//
// Returns 1 (1 is success) when the line was read. Returns 0 when it is not
// a record: no ":", a field that does not convert, a length or type above
// 0xFF, a line of 9 characters or fewer, data or checksum digits missing, or
// a type 02 record with fewer than two data bytes. On 0 *pnSegment is
// unchanged and *pRecord may be partly written. Both records are the
// caller's.
int ParseHexRecord(uint32_t* pnSegment, const char* pszLine, HexRecord* pRecord);

// Limits of the sorter.
constexpr int32_t hex_kMaxSegments = 64;           // distinct segment bases per file
constexpr int32_t hex_kSortTableSize = 8176;       // entries of the record table
constexpr int32_t hex_kSortLineChars = 99;         // longest record line, CR LF not counted
constexpr uint32_t hex_kFreeSegment = 0xFFFFFFFFu; // a free entry of the segment list

// Line buffer of the sorter: the longest line, its CR LF and a terminator.
constexpr size_t hex_kSortLineSize = hex_kSortLineChars + 3;

// One entry of the record table: the sort key and a copy of the line.
struct HexSortEntry {
    uint32_t nKey;        // offset + segment base: the address the record gives
    uint32_t nSegment;    // the segment value the record was written under
    char* pszLine;        // the line with CR LF appended (a slot of the pool)
};

// Working data of SortHexFile, owned by the caller; SortHexFile prepares
// it and releases what it allocates before it returns.
struct HexSortData {
    uint32_t segments[hex_kMaxSegments];  // known segment bases, ascending; hex_kFreeSegment when free
    HexSortEntry* pTable;                 // one entry per data record while a sort runs, else null
    char* pPool;                          // one line slot per entry while a sort runs, else null
    uint32_t nCapacity;                   // entries of the table
    uint32_t nRecords;                    // entries in use
    uint16_t nEntries;                    // records of the segment in the current collect pass
    uint16_t nSegments;                   // segment bases known
    char szLine[hex_kSortLineSize];       // the line being read
    os_LineReader reader;                 // reads the source
};

// Rewrites the Intel HEX file pszSource into a sorted copy pszDest, which
// is created anew.
//
// The copy holds every data record in ascending order of the address it
// gives; records with equal addresses stay in the order the quicksort leaves
// them. Each run of records of one segment is led by an extended-segment
// record carrying that segment's full value. Every line ends in CR LF, and
// the copy ends with ":00000001FF". End-of-file and extended-segment records
// of the source are not copied, and empty lines are skipped. The type,
// offset and segment fields are read as hex digits of either case.
//
// pData is the caller's working record. pfnProgress (may be null) gets
// event 14 with b = 0 and pContext unchanged: a = 0 at the start, after each
// line written a = the destination's size in percent of the source's, and
// a = 100 at the end. Its answers are not looked at.
//
// Returns 0 (0 is success). Returns -1 when the sort fails: the source
// cannot be opened or read to its end, it holds no data record, a line is
// longer than hex_kSortLineChars characters, a non-empty line is shorter
// than a record's type field (or a type 02 line than its segment field), a
// record type other than 00, 01 or 02, a type 02 record once 64 segment
// bases are known, the 8176th data record of one segment base, or the
// destination cannot be created or written.
//
// On every return the files the sort opened are closed and the memory it
// took in pData is freed. After -1 the destination may be left partly
// written; removing it is the caller's.
int SortHexFile(const char* pszSource, const char* pszDest, HexSortData* pData, FlashProgressFn pfnProgress,
                void* pContext);

#endif
