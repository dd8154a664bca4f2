// Flash identification of Lucent-based devices, device side: a short AT
// procedure that finds which command variant the firmware accepts
// ("AT&&F" or "AT&&W") and reads the kind, size and 16-bit code of the
// flash part from the "ATI5\r" reply or from the flash-information command.
//
// Map of this file:
//   1. Flash type letters and hexadecimal codes
//   2. The procedure (devid_GetFlashId)
//
// Its stand-alone form, devid_ReadFlashId, opens its own port and lives
// beside devid_Identify in devidIdentify.cpp.
#include "EngineSource/devid.h"

#include "EngineSource/dbg.h"

#include <cstddef>
#include <cstring>

static const char kDbgModule[] = "EngineSource/devid";

// --------------------------------- 1. Flash type letters and hexadecimal codes

namespace {

// One row of the flash type table: a letter (either case) or a number.
struct FlashTypeRow {
    char cLetter;        // upper-case letter; its lower case matches too
    uint32_t nNumber;    // the number a file names the type by
};

// Types 0 to 4 in order; anything else is type 5.
const FlashTypeRow kFlashTypes[] = {{'C', 43}, {'I', 49}, {'S', 53}, {'U', 55}, {'P', 50}};
constexpr int32_t kOtherFlashType = 5;

// Size codes and the markers that announce them in a reply.
constexpr int32_t kSize64 = 64;
constexpr int32_t kSize16 = 16;
constexpr ptrdiff_t kMarkerLength = 4;
constexpr ptrdiff_t kCodeLength = 4;

constexpr size_t kReplySize = 52;       // the one reply area of the procedure

// Finds ",40," (size 64), else ",10," (size 16) in pszReply. Sets the size
// (0 when neither is there) and returns the marker, or null.
const char* findSizeMarker(const char* pszReply, int32_t* pnSize)
{
    const char* pszMarker = strstr(pszReply, ",40,");
    *pnSize = kSize64;
    if (pszMarker == nullptr) {
        pszMarker = strstr(pszReply, ",10,");
        *pnSize = kSize16;
    }
    if (pszMarker == nullptr)
        *pnSize = 0;
    return pszMarker;
}

// The code in the four characters from position nFrom of pszText: positions
// outside the text (before its start or past its end) count 0, as its
// terminator does.
uint16_t codeAt(const char* pszText, ptrdiff_t nFrom)
{
    char code[kCodeLength] = {0, 0, 0, 0};
    ptrdiff_t nLength = static_cast<ptrdiff_t>(strlen(pszText));
    for (ptrdiff_t i = 0; i < kCodeLength; ++i) {
        ptrdiff_t nAt = nFrom + i;
        if (nAt >= 0 && nAt < nLength)
            code[i] = pszText[nAt];
    }
    return devid_HexToU16(code);
}

}  // namespace

void devid_FlashTypeFromCode(char cLetter, uint32_t nNumber, devid_FlashId* pFlashId)
{
    pFlashId->nType = kOtherFlashType;
    for (size_t i = 0; i < sizeof kFlashTypes / sizeof kFlashTypes[0]; ++i) {
        const FlashTypeRow& row = kFlashTypes[i];
        if (cLetter == row.cLetter || cLetter == row.cLetter - 'A' + 'a' || nNumber == row.nNumber) {
            pFlashId->nType = static_cast<int32_t>(i);
            return;
        }
    }
}

uint16_t devid_HexToU16(const char* pszFour)
{
    uint32_t nValue = 0;
    for (ptrdiff_t i = 0; i < kCodeLength; ++i) {
        uint32_t c = static_cast<uint8_t>(pszFour[i]);
        uint32_t nDigit = c;
        if (c >= '0' && c <= '9')
            nDigit = c - '0';
        else if (c >= 'A' && c <= 'F')
            nDigit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            nDigit = c - 'a' + 10;
        nValue = nValue * 16 + nDigit;
    }
    return static_cast<uint16_t>(nValue & 0xFFFF);
}

// ------------------------------------------ 2. The procedure (devid_GetFlashId)

int32_t devid_GetFlashId(urs_Port* pPort, devid_FlashId* pFlashId, uint32_t nTimeout,
                         devid_ProgressFn pfnProgress, void* pArg, int32_t* pnFlashCmdVariant)
{
    char szReply[kReplySize];
    auto send = [&](const char* pszCommand) {
        return devid_SendCommand(pPort, szReply, sizeof szReply, nTimeout, pfnProgress, pArg, pszCommand, 1);
    };

    // The run of "A" lets a device still detecting the line speed lock on;
    // its own answer does not matter, the "AT" after it must be answered.
    (void)send("AAAAT\r");
    if (!send("AT\r")) {
        DBG_LOG("Response %s\n", szReply);
        return devid_kFlashIdNoAnswer;
    }
    int32_t nVariant = devid_kVariantF;
    if (!send("AT&&F\r")) {
        if (!send("AT&&W\r"))
            return devid_kFlashIdNoAnswer;
        nVariant = devid_kVariantW;
    }
    *pnFlashCmdVariant = nVariant;
    // Echo on for the replies that follow; whether the device still answers
    // shows in the "ATI5" reply read next.
    (void)send("ATE1\r");
    if (!send("ATI5\r"))
        return devid_kFlashIdNoAnswer;
    devid_FlashTypeFromCode(szReply[0], 0, pFlashId);

    if (strstr(szReply, "RRFL") != nullptr) {
        // The code follows the size marker; without a marker it stays.
        const char* pszMarker = findSizeMarker(szReply, &pFlashId->nSize);
        if (pszMarker != nullptr)
            pFlashId->nCode = codeAt(szReply, (pszMarker - szReply) + kMarkerLength);
        return devid_kFlashIdRead;
    }
    pFlashId->nSize = 0;
    pFlashId->nCode = 0;
    if (!send(nVariant == 0 ? "AT&&FFL\r" : "AT&&WFL\r"))
        return devid_kFlashIdRefused;
    // Here the code precedes the size marker.
    const char* pszMarker = findSizeMarker(szReply, &pFlashId->nSize);
    if (pszMarker != nullptr)
        pFlashId->nCode = codeAt(szReply, (pszMarker - szReply) - kCodeLength);
    return devid_kFlashIdRead;
}
