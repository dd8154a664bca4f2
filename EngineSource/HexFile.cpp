// Intel HEX record reader and sorter over the engine's file functions.
//
// Map of this file:
//   1. ParseHexRecord
//   2. Sorter helpers: the digit rule, the segment list, the quicksort
//   3. SortHexFile: segment pass, collect, sort and write per segment
#include "EngineSource/HexFile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

// ---------------------------------------------------------- 1. ParseHexRecord

int ParseHexRecord(uint32_t* pnSegment, const char* pszLine, HexRecord* pRecord)
{
    unsigned int nLength = 0, nOffset = 0, nType = 0;
    if (sscanf(pszLine, ":%2x%4X%2x", &nLength, &nOffset, &nType) < 3)
        return 0;
    // "%2x" also converts a sign ("-1"); such a field is not a record.
    if (nLength > 0xFF || nOffset > 0xFFFF || nType > 0xFF)
        return 0;
    pRecord->nType = static_cast<int32_t>(nType);
    pRecord->nLength = static_cast<int32_t>(nLength);
    pRecord->nAddress = *pnSegment * 16 + nOffset;

    size_t nLineLength = strlen(pszLine);
    if (nLineLength <= 9)
        return 0;
    size_t nPosition = 9;
    for (unsigned int i = 0; i < nLength; ++i) {
        unsigned int nByte = 0;
        if (sscanf(pszLine + nPosition, "%2x", &nByte) != 1)
            return 0;
        pRecord->data[i] = static_cast<uint8_t>(nByte);
        if (nLineLength - nPosition < 3)
            return 0;
        nPosition += 2;
    }
    unsigned int nChecksum = 0;
    if (sscanf(pszLine + nPosition, "%2x", &nChecksum) != 1)
        return 0;
    pRecord->nChecksum = static_cast<uint8_t>(nChecksum);

    if (nType == static_cast<unsigned int>(hex_kTypeSegment)) {
        if (nLength < 2)
            return 0;
        *pnSegment = static_cast<uint32_t>(pRecord->data[0]) * 256 + pRecord->data[1];
    }
    return 1;
}

// --------------------------- 2. Sorter helpers: digits, segments, quicksort

namespace {

// Positions of the fields the sorter reads in a record line.
constexpr size_t kOffsetAt = 3;
constexpr size_t kTypeAt = 7;
constexpr size_t kSegmentAt = 9;
constexpr size_t kTypeEnd = kTypeAt + 2;
constexpr size_t kSegmentEnd = kSegmentAt + 4;

// Room for one line copy in the pool: the line, CR LF and the terminator.
constexpr size_t kSlotSize = hex_kSortLineChars + 3;

// The end-of-file record of the sorted copy.
const char kEndRecord[] = ":00000001FF\r\n";

// The sorter's digit rule: "0"-"9", "A"-"F" and "a"-"f" count 0 to 15, so
// a field written in lower case sorts by its value; any other character
// counts as its own character code.
uint32_t sortDigit(char c)
{
    if (c >= '0' && c <= '9')
        return static_cast<uint32_t>(c - '0');
    if (c >= 'A' && c <= 'F')
        return static_cast<uint32_t>(c - 'A' + 10);
    if (c >= 'a' && c <= 'f')
        return static_cast<uint32_t>(c - 'a' + 10);
    return static_cast<unsigned char>(c);
}

uint32_t sortField(const char* psz, size_t nDigits)
{
    uint32_t nValue = 0;
    for (size_t i = 0; i < nDigits; ++i)
        nValue = nValue * 16 + sortDigit(psz[i]);
    return nValue;
}

// The segment base a type 02 line names: (segment x 16) & 0xFFFFF.
uint32_t segmentBase(const char* pszLine) { return (sortField(pszLine + kSegmentAt, 4) * 16) & 0xFFFFFu; }

// Adds a base to the ascending segment list. False when 64 bases are
// already known (also when the base is one of them).
bool joinSegment(HexSortData* pData, uint32_t nBase)
{
    if (pData->nSegments >= hex_kMaxSegments)
        return false;
    for (int i = 0; i < hex_kMaxSegments; ++i) {
        uint32_t nEntry = pData->segments[i];
        if (nEntry == nBase)
            return true;
        if (nEntry == hex_kFreeSegment || nEntry > nBase) {
            memmove(&pData->segments[i + 1], &pData->segments[i],
                    sizeof pData->segments[0] * static_cast<size_t>(hex_kMaxSegments - 1 - i));
            pData->segments[i] = nBase;
            ++pData->nSegments;
            return true;
        }
    }
    return false;
}

void swapEntries(HexSortEntry* pTable, int32_t a, int32_t b)
{
    HexSortEntry entry = pTable[a];
    pTable[a] = pTable[b];
    pTable[b] = entry;
}

// Sorts entries lo..hi by key: the middle entry is the pivot, entries with
// a smaller key move in front of it, the rest behind (so equal keys end in
// the order this procedure leaves them). The two sides are disjoint, so
// sorting the smaller one by recursion and the larger one in the loop gives
// the same order as any other sequence while the recursion stays shallow.
void quickSort(HexSortEntry* pTable, int32_t lo, int32_t hi)
{
    while (lo < hi) {
        swapEntries(pTable, lo, (lo + hi) / 2);
        int32_t last = lo;
        for (int32_t i = lo + 1; i <= hi; ++i) {
            if (pTable[i].nKey < pTable[lo].nKey)
                swapEntries(pTable, ++last, i);
        }
        swapEntries(pTable, lo, last);
        if (last - lo < hi - last) {
            quickSort(pTable, lo, last - 1);
            lo = last + 1;
        } else {
            quickSort(pTable, last + 1, hi);
            hi = last - 1;
        }
    }
}

// ------------------------------------------------------------- 3. SortHexFile

// What a sort holds open; released on every path out of SortHexFile.
class SortResources {
public:
    explicit SortResources(HexSortData* pData) : m_pData(pData) {}
    ~SortResources()
    {
        osfl_Close(hSource);
        osfl_Close(hDest);
        delete[] m_pData->pTable;
        delete[] m_pData->pPool;
        m_pData->pTable = nullptr;
        m_pData->pPool = nullptr;
    }
    SortResources(const SortResources&) = delete;
    SortResources& operator=(const SortResources&) = delete;

    osfl_Handle hSource = osfl_kInvalidHandle;   // the source, open for reading
    osfl_Handle hDest = osfl_kInvalidHandle;     // the destination while a segment is written

private:
    HexSortData* m_pData;                        // owns the table and the pool
};

// Results of nextRecordLine besides a record type.
constexpr int32_t kSourceBad = -1;    // a line cannot be read, is too long, or has no type the sorter takes
constexpr int32_t kSourceEnd = -2;    // end of the source

// The line's record type by the digit rule; kSourceBad when the line is
// too short to hold it (or, for type 02, its segment field), or when the
// type is not 00, 01 or 02.
int32_t lineType(const char* pszLine)
{
    size_t nLength = strlen(pszLine);
    if (nLength < kTypeEnd)
        return kSourceBad;
    uint32_t nType = sortField(pszLine + kTypeAt, 2);
    if (nType == static_cast<uint32_t>(hex_kTypeSegment) && nLength < kSegmentEnd)
        return kSourceBad;
    return nType <= 2 ? static_cast<int32_t>(nType) : kSourceBad;
}

// Reads the next non-empty line of the source into pData->szLine and gives
// its record type. The reader is given room for the longest line and its
// CR; a last line without CR LF could be one character longer, and is
// refused like any longer line.
int32_t nextRecordLine(osfl_Handle hSource, HexSortData* pData)
{
    for (;;) {
        int32_t nRead = os_ReadNextLine(hSource, pData->szLine, static_cast<int32_t>(hex_kSortLineChars) + 2,
                                        &pData->reader);
        if (nRead < 0 || strlen(pData->szLine) > static_cast<size_t>(hex_kSortLineChars))
            return kSourceBad;
        if (nRead == 0)
            return kSourceEnd;
        if (pData->szLine[0] != '\0')
            return lineType(pData->szLine);
    }
}

bool rewind(osfl_Handle hSource, HexSortData* pData)
{
    os_ResetLineReader(&pData->reader);
    return osfl_Seek(hSource, 0, 0) == 0;
}

// Segment pass: the list of segment bases, and the number of data records.
// False when the sort must fail.
bool collectSegments(osfl_Handle hSource, HexSortData* pData, uint32_t* pnData)
{
    bool bFirst = true;
    for (;;) {
        int32_t nType = nextRecordLine(hSource, pData);
        if (nType < 0)
            return nType == kSourceEnd;
        if (bFirst && nType != hex_kTypeSegment && !joinSegment(pData, 0))
            return false;
        bFirst = false;
        if (nType == hex_kTypeData)
            ++*pnData;
        else if (nType == hex_kTypeSegment && !joinSegment(pData, segmentBase(pData->szLine)))
            return false;
    }
}

// Collect pass for base B: every data record under base B is added to the
// table with key offset + B (the address it gives), the segment value it was
// written under, and a copy of its line ending in CR LF.
bool collectRecords(osfl_Handle hSource, HexSortData* pData, uint32_t nBase)
{
    if (!rewind(hSource, pData))
        return false;
    pData->nEntries = 0;
    uint32_t nCurrentBase = 0;
    uint32_t nCurrentSegment = 0;
    for (;;) {
        int32_t nType = nextRecordLine(hSource, pData);
        if (nType < 0)
            return nType == kSourceEnd;
        if (nType == hex_kTypeSegment) {
            nCurrentSegment = sortField(pData->szLine + kSegmentAt, 4);
            nCurrentBase = segmentBase(pData->szLine);
        } else if (nType == hex_kTypeData && nCurrentBase == nBase) {
            if (pData->nRecords >= pData->nCapacity)
                return false;
            HexSortEntry& entry = pData->pTable[pData->nRecords];
            entry.nKey = sortField(pData->szLine + kOffsetAt, 4) + nBase;
            entry.nSegment = nCurrentSegment;
            entry.pszLine = pData->pPool + kSlotSize * pData->nRecords;
            size_t nLength = strlen(pData->szLine);
            memcpy(entry.pszLine, pData->szLine, nLength);
            memcpy(entry.pszLine + nLength, "\r\n", 3);
            ++pData->nRecords;
            if (++pData->nEntries >= hex_kSortTableSize)
                return false;
        }
    }
}

// Opens the destination for writing at its end; false when it cannot.
bool openForAppend(SortResources* pFiles, const char* pszDest, int32_t* pnPosition)
{
    pFiles->hDest = osfl_Open(pszDest, osfl_kAccessWrite);
    if (pFiles->hDest == osfl_kInvalidHandle)
        return false;
    *pnPosition = osfl_Seek(pFiles->hDest, 0, 2);
    return *pnPosition != osfl_kError;
}

bool writeText(osfl_Handle hDest, const char* psz, int32_t* pnPosition)
{
    uint32_t nLength = static_cast<uint32_t>(strlen(psz));
    if (osfl_Write(hDest, psz, nLength) != static_cast<int32_t>(nLength))
        return false;
    *pnPosition += static_cast<int32_t>(nLength);
    return true;
}

void closeDest(SortResources* pFiles)
{
    osfl_Close(pFiles->hDest);
    pFiles->hDest = osfl_kInvalidHandle;
}

// Appends the segment record of nSegment, carrying the segment's full value
// so that a base that is not a multiple of 0x10000 keeps its records where
// they belong.
bool writeSegmentRecord(osfl_Handle hDest, uint32_t nSegment, int32_t* pnPosition)
{
    uint32_t nChecksum = (0x100u - (2u + 2u + (nSegment >> 8) + (nSegment & 0xFFu))) & 0xFFu;
    char szRecord[32];
    snprintf(szRecord, sizeof szRecord, ":02000002%4.4X%2.2X\r\n", nSegment & 0xFFFFu, nChecksum);
    return writeText(hDest, szRecord, pnPosition);
}

// Appends every record of the table in address order, each group of records
// written under one segment led by that segment's record, and reports after
// each line.
bool writeRecords(SortResources* pFiles, const char* pszDest, const HexSortData* pData, int32_t nSourceSize,
                  FlashProgressFn pfnProgress, void* pContext)
{
    int32_t nPosition = 0;
    if (!openForAppend(pFiles, pszDest, &nPosition))
        return false;
    bool bSegmentWritten = false;
    uint32_t nWritten = 0;
    for (uint32_t i = 0; i < pData->nRecords; ++i) {
        const HexSortEntry& entry = pData->pTable[i];
        if (!bSegmentWritten || entry.nSegment != nWritten) {
            if (!writeSegmentRecord(pFiles->hDest, entry.nSegment, &nPosition))
                return false;
            bSegmentWritten = true;
            nWritten = entry.nSegment;
        }
        if (!writeText(pFiles->hDest, entry.pszLine, &nPosition))
            return false;
        int32_t nPercent = static_cast<int32_t>(static_cast<int64_t>(nPosition) * 100 / nSourceSize);
        (void)flsh_Report(pfnProgress, pContext, flsh_cEventSort, nPercent, 0);
    }
    closeDest(pFiles);
    return true;
}

}  // namespace

int SortHexFile(const char* pszSource, const char* pszDest, HexSortData* pData, FlashProgressFn pfnProgress,
                void* pContext)
{
    pData->pTable = nullptr;
    pData->pPool = nullptr;
    pData->nEntries = 0;
    pData->nRecords = 0;
    pData->nCapacity = 0;
    pData->nSegments = 0;
    for (uint32_t& nBase : pData->segments)
        nBase = hex_kFreeSegment;
    os_ResetLineReader(&pData->reader);
    SortResources files(pData);

    // A sort runs to its end whatever the callback answers: the run that
    // asked for it stops at its own next report.
    (void)flsh_Report(pfnProgress, pContext, flsh_cEventSort, 0, 0);
    os_yield();
    files.hSource = osfl_Open(pszSource, osfl_kAccessRead);
    if (files.hSource == osfl_kInvalidHandle)
        return -1;
    int32_t nSourceSize = osfl_Length(files.hSource);
    if (nSourceSize <= 0)
        return -1;

    uint32_t nData = 0;
    if (!collectSegments(files.hSource, pData, &nData) || nData == 0)
        return -1;
    pData->pTable = new (std::nothrow) HexSortEntry[nData];
    pData->pPool = new (std::nothrow) char[kSlotSize * nData];
    if (pData->pTable == nullptr || pData->pPool == nullptr)
        return -1;
    pData->nCapacity = nData;

    osfl_Remove(pszDest);
    files.hDest = osfl_Create(pszDest, osfl_kAttrNormal);
    if (files.hDest == osfl_kInvalidHandle)
        return -1;
    closeDest(&files);

    // Every record of the file goes into one table sorted by the address it
    // gives, so that records of overlapping segments still come out in
    // address order.
    for (int32_t nSegment = 0; nSegment < pData->nSegments; ++nSegment) {
        if (!collectRecords(files.hSource, pData, pData->segments[nSegment]))
            return -1;
    }
    quickSort(pData->pTable, 0, static_cast<int32_t>(pData->nRecords) - 1);
    if (!writeRecords(&files, pszDest, pData, nSourceSize, pfnProgress, pContext))
        return -1;

    int32_t nPosition = 0;
    if (!openForAppend(&files, pszDest, &nPosition) || !writeText(files.hDest, kEndRecord, &nPosition))
        return -1;
    closeDest(&files);
    (void)flsh_Report(pfnProgress, pContext, flsh_cEventSort, 100, 0);
    return 0;
}
