// The check of firmware and loader files over the engine's file functions.
//
// Map of this file:
//   1. Reading lines and hex digits
//   2. The address map: no byte written twice
//   3. Intel HEX records
//   4. Motorola S-records
#include "EngineSource/HexCheck.h"

#include "EngineSource/HexFile.h"
#include "EngineSource/OSWIN32.h"
#include "EngineSource/dbg.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

static const char kDbgModule[] = "EngineSource/HexCheck";

// ------------------------------------------------ 1. Reading lines and hex digits

namespace {

// Longest line any caller may ask for; longer limits are cut to it.
constexpr int32_t kMaxLineChars = 1024;

// Reads nLength characters of pszText as pairs of hex digits into pBytes.
// False when a character is not a hex digit or the count is odd.
bool hexBytes(const char* pszText, int32_t nLength, std::vector<uint8_t>* pBytes)
{
    pBytes->clear();
    if (nLength % 2 != 0)
        return false;
    for (int32_t i = 0; i < nLength; i += 2) {
        int nHigh = gn_HexDigit(pszText[i]);
        int nLow = gn_HexDigit(pszText[i + 1]);
        if (nHigh < 0 || nLow < 0)
            return false;
        pBytes->push_back(static_cast<uint8_t>(nHigh * 16 + nLow));
    }
    return true;
}

// Fills the report, logs it and gives hex_kCheckBad.
int refuse(hex_CheckReport* pReport, const char* pszPath, int32_t nLine, const char* pszReason)
{
    pReport->nLine = nLine;
    gn_StrCopyN(pReport->szReason, pszReason, static_cast<int>(sizeof pReport->szReason));
    DBG_LOG("Bad .HEX file <%s>, line %d: %s", pszPath, static_cast<int>(nLine), pReport->szReason);
    return hex_kCheckBad;
}

// One file read line by line; closed when it goes out of scope.
class LineSource {
public:
    LineSource(const char* pszPath, int32_t nMaxChars)
        : m_hFile(osfl_Open(pszPath, osfl_kAccessRead)),
          m_line(static_cast<size_t>(std::min(std::max(nMaxChars, 1), kMaxLineChars)) + 2)
    {
        os_ResetLineReader(&m_reader);
    }
    ~LineSource() { osfl_Close(m_hFile); }
    LineSource(const LineSource&) = delete;
    LineSource& operator=(const LineSource&) = delete;

    bool isOpen() const { return m_hFile != osfl_kInvalidHandle; }

    // 1 with the next line and its length, 0 at the end of the file, -1
    // when the line cannot be read or is too long.
    int next(const char** ppszLine, int32_t* pnLength)
    {
        int32_t nRead = os_ReadLine(m_hFile, m_line.data(), static_cast<int32_t>(m_line.size()), &m_reader, pnLength);
        *ppszLine = m_line.data();
        if (nRead < 0)
            return -1;
        return nRead == 0 ? 0 : 1;
    }

private:
    osfl_Handle m_hFile;          // the file, open for reading
    std::vector<char> m_line;     // the line buffer: the longest line, its line end and a terminator
    os_LineReader m_reader;       // reads the file
};

// ---------------------------------------- 2. The address map: no byte written twice

struct Span {
    uint64_t nStart;    // first address written
    uint64_t nEnd;      // one past the last
    int32_t nLine;      // the line that writes it
};

// The line of the second of two records that write the same address, or 0.
int32_t firstOverlap(std::vector<Span>* pSpans)
{
    std::sort(pSpans->begin(), pSpans->end(),
              [](const Span& a, const Span& b) { return a.nStart != b.nStart ? a.nStart < b.nStart : a.nLine < b.nLine; });
    int32_t nLine = 0;
    uint64_t nCovered = 0;
    int32_t nCoveredBy = 0;
    for (const Span& span : *pSpans) {
        if (nCoveredBy != 0 && span.nStart < nCovered) {
            int32_t nLater = std::max(span.nLine, nCoveredBy);
            nLine = nLine == 0 ? nLater : std::min(nLine, nLater);
        }
        if (nCoveredBy == 0 || span.nEnd > nCovered) {
            nCovered = span.nEnd;
            nCoveredBy = span.nLine;
        }
    }
    return nLine;
}

// What one record adds to the check of its file.
struct RecordSeen {
    bool bData = false;    // it writes data, at span
    Span span{0, 0, 0};    // the addresses it writes
    bool bEnd = false;     // it is the end record
};

// Checks a file record by record with checkRecord(pszLine, nLength, nLine,
// &seen), which gives the reason for refusing the line or nullptr. The file
// must hold data and end with its end record, and no address may be written
// twice. Fills the report; returns a hex_kCheck result.
template <typename CheckRecord>
int checkFile(const char* pszPath, int32_t nMaxChars, hex_CheckReport* pReport, CheckRecord checkRecord)
{
    pReport->nLine = 0;
    pReport->szReason[0] = '\0';
    LineSource source(pszPath, nMaxChars);
    if (!source.isOpen())
        return hex_kCheckNoFile;

    std::vector<Span> spans;
    int32_t nLine = 0;
    bool bEnd = false;
    bool bData = false;
    for (;;) {
        const char* pszLine = nullptr;
        int32_t nLength = 0;
        int nNext = source.next(&pszLine, &nLength);
        if (nNext == 0)
            break;
        ++nLine;
        if (nNext < 0)
            return refuse(pReport, pszPath, nLine, "line too long or unreadable");
        if (bEnd)
            return refuse(pReport, pszPath, nLine, "line after the end record");
        RecordSeen seen;
        if (const char* pszReason = checkRecord(pszLine, nLength, nLine, &seen))
            return refuse(pReport, pszPath, nLine, pszReason);
        if (seen.bData) {
            spans.push_back(seen.span);
            bData = true;
        }
        bEnd = seen.bEnd;
    }
    if (!bData)
        return refuse(pReport, pszPath, 0, "no data record");
    if (!bEnd)
        return refuse(pReport, pszPath, 0, "no end record");
    int32_t nOverlap = firstOverlap(&spans);
    if (nOverlap != 0)
        return refuse(pReport, pszPath, nOverlap, "writes an address already written");
    return hex_kCheckSound;
}

// Data bytes a type takes: exactly nExact, or any count when nExact is -1.
struct TypeRule {
    int nExact;
};

}  // namespace

// ------------------------------------------------------------ 3. Intel HEX records

int hex_CheckIntelFile(const char* pszPath, uint32_t nTypes, int32_t nMaxChars, hex_CheckReport* pReport)
{
    // Data bytes of types 00 to 05: data any, end none, segments two, start
    // addresses four.
    static const TypeRule kRules[hex_kTypeLast + 1] = {{-1}, {0}, {2}, {4}, {2}, {4}};
    std::vector<uint8_t> bytes;
    uint64_t nBase = 0;
    auto checkRecord = [&](const char* pszLine, int32_t nLength, int32_t nLine, RecordSeen* pSeen) -> const char* {
        if (nLength == 0 || pszLine[0] != ':')
            return "no record (\":\" missing)";
        if (!hexBytes(pszLine + 1, nLength - 1, &bytes))
            return "not hex digits";
        if (bytes.size() < 5 || bytes.size() != static_cast<size_t>(bytes[0]) + 5)
            return "length field does not match the record";
        uint8_t nSum = 0;
        for (uint8_t byte : bytes)
            nSum = static_cast<uint8_t>(nSum + byte);
        if (nSum != 0)
            return "checksum wrong";
        int nType = bytes[3];
        if (nType > hex_kTypeLast || (nTypes & (1u << nType)) == 0)
            return "record type not taken";
        int nCount = bytes[0];
        if (kRules[nType].nExact >= 0 && nCount != kRules[nType].nExact)
            return "wrong length for the record type";
        const uint8_t* pData = bytes.data() + 4;
        uint64_t nOffset = static_cast<uint64_t>(bytes[1]) * 256 + bytes[2];
        if (nType == hex_kTypeData && nCount > 0) {
            pSeen->bData = true;
            pSeen->span = Span{nBase + nOffset, nBase + nOffset + static_cast<uint64_t>(nCount), nLine};
        } else if (nType == hex_kTypeEnd) {
            pSeen->bEnd = true;
        } else if (nType == hex_kTypeSegment) {
            nBase = (static_cast<uint64_t>(pData[0]) * 256 + pData[1]) * 16;
        } else if (nType == hex_kTypeLinear) {
            nBase = (static_cast<uint64_t>(pData[0]) * 256 + pData[1]) << 16;
        }
        return nullptr;
    };
    return checkFile(pszPath, nMaxChars, pReport, checkRecord);
}

// --------------------------------------------------------- 4. Motorola S-records

int hex_CheckSRecordFile(const char* pszPath, int32_t nMaxChars, hex_CheckReport* pReport)
{
    // Address bytes of S0 to S9; 0 marks S4, which does not exist.
    static const int kAddressBytes[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};
    std::vector<uint8_t> bytes;
    auto checkRecord = [&](const char* pszLine, int32_t nLength, int32_t nLine, RecordSeen* pSeen) -> const char* {
        if (nLength < 2 || pszLine[0] != 'S' || pszLine[1] < '0' || pszLine[1] > '9' || pszLine[1] == '4')
            return "no S-record";
        int nType = pszLine[1] - '0';
        if (!hexBytes(pszLine + 2, nLength - 2, &bytes))
            return "not hex digits";
        int nAddressBytes = kAddressBytes[nType];
        if (bytes.empty() || bytes.size() != static_cast<size_t>(bytes[0]) + 1 || bytes[0] < nAddressBytes + 1)
            return "count field does not match the record";
        uint8_t nSum = 0;
        for (size_t i = 0; i + 1 < bytes.size(); ++i)
            nSum = static_cast<uint8_t>(nSum + bytes[i]);
        if (static_cast<uint8_t>(~nSum) != bytes.back())
            return "checksum wrong";
        uint64_t nAddress = 0;
        for (int i = 0; i < nAddressBytes; ++i)
            nAddress = nAddress * 256 + bytes[static_cast<size_t>(1 + i)];
        int nCount = bytes[0] - nAddressBytes - 1;
        if (nType >= 1 && nType <= 3 && nCount > 0) {
            pSeen->bData = true;
            pSeen->span = Span{nAddress, nAddress + static_cast<uint64_t>(nCount), nLine};
        } else if (nType >= 7) {
            pSeen->bEnd = true;
        }
        return nullptr;
    };
    return checkFile(pszPath, nMaxChars, pReport, checkRecord);
}
