// Device identification over the serial layer: the AT command exchange
// every identification command goes through. The identification sequence
// is in devidIdentify.cpp, the flash identification of Lucent-based devices
// in devidFlashDevice.cpp.
//
// Map of this file:
//   1. AT command exchange: reply areas, the echo-skip states, the "OK"
//      matcher, one wait-loop step, devid_SendCommand, devid_ReadATI1
#include "EngineSource/devid.h"

#include "EngineSource/OSWIN32.h"

// ------------------------------------------------- 1. AT command exchange

namespace {

// A caller-owned text area filled byte by byte. It is kept terminated after
// every byte; bytes beyond its capacity are dropped.
struct ReplyArea {
    char* psz;           // the caller's area
    uint32_t nSize;      // its capacity, terminator included
    uint32_t nLength;    // bytes stored so far
};

ReplyArea openArea(char* psz, uint32_t nSize)
{
    ReplyArea area = {psz, psz != nullptr ? nSize : 0, 0};
    return area;
}

void emptyArea(ReplyArea* pArea)
{
    if (pArea->nSize > 0)
        pArea->psz[0] = '\0';
}

void appendArea(ReplyArea* pArea, uint8_t byte)
{
    if (pArea->nLength + 1 >= pArea->nSize)
        return;
    pArea->psz[pArea->nLength++] = static_cast<char>(byte);
    pArea->psz[pArea->nLength] = '\0';
}

void trimArea(ReplyArea* pArea)
{
    if (pArea->nSize > 0)
        gn_Trim(pArea->psz);
}

// Reply states. 0 to 3 skip the echo of the command; 4 collects (first
// field of "ATI1"); 8 skips the second "ATI1" line; 5 and 6 collect its
// second and third fields; 7 ignores everything.
enum ReplyState {
    kStart = 0,
    kAfterCr = 1,
    kInEcho = 2,
    kEchoEnd = 3,
    kCollect = 4,
    kSecondField = 5,
    kThirdField = 6,
    kDone = 7,
    kSkipLine = 8,
};

// One step of the echo-skip states 0 to 3; bytes not listed keep the state.
int skipEcho(int nState, uint8_t byte)
{
    switch (nState) {
    case kStart:
        return byte == '\r' ? kAfterCr : byte == 'A' ? kInEcho : nState;
    case kAfterCr:
        return byte == '\n' || byte == 'A' ? kInEcho : nState;
    case kInEcho:
        return byte == '\r' ? kEchoEnd : nState;
    case kEchoEnd:
        return byte == '\n' ? kCollect : nState;
    default:
        return nState;
    }
}

// Watches every byte for "OK\r\n": a byte equal to the next expected one
// advances, any other starts over (without testing that byte against "O").
// True when all four have been seen.
bool matchOk(int* pnMatched, uint8_t byte)
{
    static const char kOk[] = "OK\r\n";
    *pnMatched = byte == static_cast<uint8_t>(kOk[*pnMatched]) ? *pnMatched + 1 : 0;
    return *pnMatched == 4;
}

enum class LoopStep {
    kByte,         // a byte was read into *pByte
    kReadFailed,   // a byte was waiting but the read gave none (time-out or error)
    kNoByte,       // nothing waiting; the iteration waited briefly
    kCancelled,    // the callback returned 0
    kExpired,      // the deadline has passed
};

// Arms the deadline and writes the command; false (deadline disarmed) when
// the write fails.
bool startExchange(urs_Port* pPort, uint32_t nTimeout, const char* pszCommand)
{
    urs_StartTimer(pPort, nTimeout);
    if (urs_PutString(pPort, pszCommand) == urs_kOk)
        return true;
    urs_StopTimer(pPort);
    return false;
}

// One iteration of a wait loop: the callback first, then the deadline, then
// a read only when a byte is waiting (else a short idle wait).
LoopStep waitStep(urs_Port* pPort, devid_ProgressFn pfnProgress, void* pArg, int32_t nStage, uint8_t* pByte)
{
    if (!devid_Report(pfnProgress, pArg, nStage))
        return LoopStep::kCancelled;
    int nNext = urs_NextByte(pPort, pByte);
    if (nNext == urs_kExpired)
        return LoopStep::kExpired;
    if (nNext == urs_kNoByteYet)
        return LoopStep::kNoByte;
    return nNext == urs_kOk ? LoopStep::kByte : LoopStep::kReadFailed;
}

}  // namespace

bool devid_Report(devid_ProgressFn pfnProgress, void* pArg, int32_t nStage)
{
    return pfnProgress == nullptr || pfnProgress(pArg, nStage) != 0;
}

int devid_SendCommand(urs_Port* pPort, char* pszReply, uint32_t nReplySize, uint32_t nTimeout,
                      devid_ProgressFn pfnProgress, void* pArg, const char* pszCommand,
                      uint32_t bFirstLineOnly)
{
    ReplyArea reply = openArea(pszReply, nReplySize);
    emptyArea(&reply);
    int nState = kStart;
    int nOkMatched = 0;

    if (!startExchange(pPort, nTimeout, pszCommand))
        return 0;
    for (;;) {
        uint8_t byte = 0;
        LoopStep eStep = waitStep(pPort, pfnProgress, pArg, 1, &byte);
        if (eStep == LoopStep::kNoByte)
            continue;
        if (eStep == LoopStep::kCancelled) {
            urs_StopTimer(pPort);
            return 0;
        }
        if (eStep == LoopStep::kExpired) {
            urs_StopTimer(pPort);
            return bFirstLineOnly ? 0 : 1;
        }
        if (eStep == LoopStep::kReadFailed)
            return 0;
        if (nState == kCollect) {
            if (bFirstLineOnly && byte == '\r')
                nState = kDone;
            else
                appendArea(&reply, byte);
        } else {
            nState = skipEcho(nState, byte);
        }
        if (matchOk(&nOkMatched, byte))
            break;
    }
    urs_StopTimer(pPort);
    trimArea(&reply);
    return 1;
}

int devid_ReadATI1(urs_Port* pPort, char* pszField1, uint32_t nSize1, char* pszField2, uint32_t nSize2,
                   char* pszField3, uint32_t nSize3, uint32_t nTimeout, devid_ProgressFn pfnProgress,
                   void* pArg)
{
    ReplyArea fields[3] = {openArea(pszField1, nSize1), openArea(pszField2, nSize2), openArea(pszField3, nSize3)};
    // A field the reply never reached keeps the caller's text untouched.
    bool bReached[3] = {false, false, false};
    int nState = kStart;
    int nOkMatched = 0;

    if (!startExchange(pPort, nTimeout, "ATI1\r"))
        return 0;
    for (;;) {
        uint8_t byte = 0;
        LoopStep eStep = waitStep(pPort, pfnProgress, pArg, 4, &byte);
        if (eStep == LoopStep::kNoByte || eStep == LoopStep::kReadFailed)
            continue;
        if (eStep != LoopStep::kByte) {
            urs_StopTimer(pPort);
            return 0;
        }
        switch (nState) {
        case kCollect:
        case kSecondField:
        case kThirdField: {
            int nField = nState == kCollect ? 0 : nState == kSecondField ? 1 : 2;
            if (!bReached[nField])
                emptyArea(&fields[nField]);
            bReached[nField] = true;
            if (byte != '\r')
                appendArea(&fields[nField], byte);
            else
                nState = nState == kCollect ? kSkipLine : nState == kSecondField ? kThirdField : kDone;
            break;
        }
        case kSkipLine:
            if (byte == '\r')
                nState = kSecondField;
            break;
        case kDone:
            break;
        default:
            nState = skipEcho(nState, byte);
            break;
        }
        if (matchOk(&nOkMatched, byte))
            break;
    }
    urs_StopTimer(pPort);
    for (int i = 0; i < 3; ++i) {
        if (bReached[i])
            trimArea(&fields[i]);
    }
    return 1;
}
