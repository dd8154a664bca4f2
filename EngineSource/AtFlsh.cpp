// The AT flash protocol over the serial layer and the engine's files.
//
// Map of this file:
//   1. Protocol constants and time-outs
//   2. Reply waits: AtFlsh_WaitOkError, AtFlsh_WaitEcho, AtFlsh_ReadVersion
//   3. Handshake and boot sector: AtFlsh_Handshake, AtFlsh_PrepareBoot
//   4. Blocks: AtFlsh_FillBlock, AtFlsh_ProgramBlocks
//   5. The run: AtFlsh_Program
//
// Waits never spin: every read blocks in the serial layer until a byte
// arrives or the armed deadline passes, and the wake-up loop sleeps between
// probes. All pauses and deadlines are on the runtime clock.
#include "EngineSource/AtFlsh.h"

#include "EngineSource/FlshLine.h"
#include "EngineSource/HexCheck.h"

#include <cstdio>
#include <cstring>

// ------------------------------------------- 1. Protocol constants and time-outs

namespace {

// Line rates. "AT*FS\r" goes out at 19200 baud (115200 with flag 0x002);
// the boot code then listens at 19200 until the baud code switches it.
constexpr uint32_t kBootBaud = 19200;
constexpr uint32_t kFastStartBaud = 115200;

// Fixed pauses (ms): after each change of the line rate before talking,
// after "AT*FS\r" before switching to the boot code's rate, and after that
// switch before the first probe.
constexpr uint32_t kSettleMs = 2000;
constexpr uint32_t kAfterStartCommandMs = 30;
constexpr uint32_t kAfterBootSwitchMs = 100;

// Wake-up: one "M" probe per pause (10 ms with flag 0x004); the elapsed time
// counts only these pauses. After kRetryReportMs the job shows "R"; after
// kWakeLimitMs without a "U" the handshake fails.
constexpr uint32_t kProbeMs = 300;
constexpr uint32_t kFastProbeMs = 10;
constexpr uint32_t kRetryReportMs = 7500;
constexpr uint32_t kWakeLimitMs = 15000;

// Time-outs (s): one reply byte (wake-up answer, speed letter); the echo of
// "ATI1\r"; the whole version reply; "OK"/"ERROR" to a command or a block;
// the go-ahead "G" after "ATFLP\r"; header, data and checksum of a block.
constexpr uint32_t kByteTimeoutS = 1;
constexpr uint32_t kEchoTimeoutS = 15;
constexpr uint32_t kVersionTimeoutS = 3;
constexpr uint32_t kOkErrorTimeoutS = 20;
constexpr uint32_t kGoTimeoutS = 10;
constexpr uint32_t kBlockSendTimeoutS = 10;

// Tries: speed queries, and sends of one block answered by "ERROR".
constexpr int kSpeedTries = 3;
constexpr int kBlockTries = 3;

// Pieces of a block (flags 0x080 and 0x040) and the pause after each.
constexpr uint32_t kSmallPiece = 128;
constexpr uint32_t kLargePiece = 256;
constexpr uint32_t kPieceGapMs = 20;

// Block assembly: blocks start on multiples of 128, are padded to them,
// never cross a 16 KiB boundary, and bridge holes of up to 128 bytes.
constexpr uint32_t kBlockAlign = 128;
constexpr uint32_t kBoundary = 0x4000;
constexpr uint32_t kMaxBridge = 128;
constexpr uint8_t kErased = 0xFF;
constexpr uint8_t kResetPatch[3] = {0xC3, 0x00, 0x01};

// Commands and replies.
const char kStartCommand[] = "AT*FS\r";
const char kVersionCommand[] = "ATI1\r";
const char kDpOffCommand[] = "ATDPOFF\r";
const char kNCommand[] = "ATN\r";
const char kBlockCommand[] = "ATFLP\r";
const char kEndCommand[] = "ATFLEND\r";
const char kOk[] = "OK\r\n";
const char kError[] = "ERROR\r\n";
const char kVersionError[] = "\r\nERROR\r\n";
constexpr char kProbe = 'M';
constexpr char kAwake = 'U';
constexpr char kSpeedQuery = 'D';
constexpr char kGo = 'G';

// Baud rates and the letters that name them: the device's speed reply uses
// J, K and M; the baud code sent back any of them.
struct BaudLetter {
    int32_t nBaud;     // bits per second
    char cLetter;      // its letter
    bool bSpeed;       // a speed the device may report
};

const BaudLetter kBaudLetters[] = {
    {9600, 'I', false}, {19200, 'J', true}, {38400, 'K', true}, {57600, 'L', false}, {115200, 'M', true},
};

// Wake-up and speed answers.
enum Answer { kAnswered = 0, kNoAnswer = 1, kOtherAnswer = 2 };

// The protocol's own writes and line settings are not checked where they
// are made: a command that did not go out, or a line left at another rate,
// shows as the silence of the reply wait that follows, and that wait ends
// the run with its result. The one write no reply follows, the closing
// "ATFLEND\r", says its own reason where it is made.
void setLine(urs_Port* pPort, uint32_t nBaud)
{
    (void)urs_SetUart(pPort, nBaud, urs_kDataBits8, urs_kParityNone, urs_kStopBits1, urs_kFlowNone);
}

}  // namespace

// --------------------------------------------------------------- 2. Reply waits

namespace {

constexpr int kMaxPatterns = 2;

// Reads one byte under the armed deadline: 0 to 255, every value a byte, or
// -1 when none came (time-out or read error).
int getByte(urs_Port* pPort)
{
    uint8_t byte = 0;
    return urs_ReadByte(pPort, &byte) == urs_kOk ? byte : -1;
}

// As getByte under a deadline of nSeconds of its own.
int getByteTimed(urs_Port* pPort, uint32_t nSeconds)
{
    urs_StartTimer(pPort, nSeconds);
    int c = getByte(pPort);
    urs_StopTimer(pPort);
    return c;
}

// Reads bytes until the bytes read end with one of the nCount patterns (at
// most kMaxPatterns), tried in order for each byte. Returns the index of
// the pattern, or -1 when a read gave no byte first (time-out or read
// error).
int readUntil(urs_Port* pPort, const char* const* ppszPatterns, int nCount)
{
    gn_Matcher matchers[kMaxPatterns];
    for (int i = 0; i < nCount; ++i)
        gn_MatchInit(&matchers[i], ppszPatterns[i]);
    for (;;) {
        int c = getByte(pPort);
        if (c < 0)
            return -1;
        for (int i = 0; i < nCount; ++i) {
            if (gn_MatchChar(&matchers[i], c))
                return i;
        }
    }
}

bool isDigit(int c) { return c >= '0' && c <= '9'; }

// Reads one byte of the version reply into *pc; false when none came.
bool versionByte(urs_Port* pPort, int* pc)
{
    *pc = getByte(pPort);
    return *pc >= 0;
}

}  // namespace

int AtFlsh_WaitOkError(urs_Port* pPort)
{
    static const char* const kAnswers[] = {kError, kOk};
    constexpr int kErrorAnswer = 0;   // index of kError in kAnswers
    constexpr int kOkAnswer = 1;      // index of kOk in kAnswers
    urs_StartTimer(pPort, kOkErrorTimeoutS);
    int nAnswer = readUntil(pPort, kAnswers, 2);
    urs_StopTimer(pPort);
    return nAnswer == kErrorAnswer ? AtFlsh_kReplyError : nAnswer == kOkAnswer ? AtFlsh_kReplyOk : AtFlsh_kReplyNone;
}

int AtFlsh_WaitEcho(urs_Port* pPort, const char* pszText)
{
    urs_StartTimer(pPort, kEchoTimeoutS);
    int nAnswer = readUntil(pPort, &pszText, 1);
    urs_StopTimer(pPort);
    return nAnswer >= 0 ? AtFlsh_kReplyOk : AtFlsh_kReplyNone;
}

int AtFlsh_ReadVersion(urs_Port* pPort, int32_t* pnMajor, int32_t* pnMinor)
{
    gn_Matcher error;
    gn_MatchInit(&error, kVersionError);
    int c = 0;
    do {
        if (!versionByte(pPort, &c))
            return AtFlsh_kReplyNone;
        if (!isDigit(c) && gn_MatchChar(&error, c))
            return AtFlsh_kReplyError;
    } while (!isDigit(c));

    int32_t nMajor = c - '0';
    if (!versionByte(pPort, &c))
        return AtFlsh_kReplyNone;
    if (isDigit(c)) {
        nMajor = nMajor * 10 + (c - '0');
        if (!versionByte(pPort, &c))
            return AtFlsh_kReplyNone;
    }
    if (c != '.')
        return AtFlsh_kReplyMalformed;
    int32_t nMinor = 0;
    for (int i = 0; i < 2; ++i) {
        if (!versionByte(pPort, &c))
            return AtFlsh_kReplyNone;
        if (!isDigit(c))
            return AtFlsh_kReplyMalformed;
        nMinor = nMinor * 10 + (c - '0');
    }

    static const char* const kEnd[] = {kOk};
    if (readUntil(pPort, kEnd, 1) != 0)
        return AtFlsh_kReplyNone;
    *pnMajor = nMajor;
    *pnMinor = nMinor;
    return AtFlsh_kReplyOk;
}

// ------------------------------------------------- 3. Handshake and boot sector

namespace {

// Probes with "M" until the boot code answers "U". Returns 0 awake, 1 (handshake
// failure) no answer within the limit, 2 (aborted) a callback answered 0.
int32_t wakeUp(urs_Port* pPort, uint32_t nFlags, FlashProgressFn pfnProgress, void* pContext)
{
    uint32_t nProbeMs = (nFlags & ModelDb_kFlagFastProbe) ? kFastProbeMs : kProbeMs;
    uint32_t nElapsedMs = 0;
    bool bReported = false;
    int nAnswer = kOtherAnswer;
    // The limit also holds on the clock: a device that keeps sending other
    // bytes must not keep the loop reading them for ever.
    int64_t nGiveUpMs = os_ClockMs() + kWakeLimitMs;
    for (;;) {
        (void)urs_PutChar(pPort, kProbe);
        urs_SleepMs(nProbeMs);
        nElapsedMs += nProbeMs;
        while (urs_CharReady(pPort)) {
            if (os_ClockMs() >= nGiveUpMs)
                return flsh_cHandshakeFailure;
            int c = getByteTimed(pPort, kByteTimeoutS);
            nAnswer = c == kAwake ? kAnswered : c == -1 ? kNoAnswer : kOtherAnswer;
            if (!flsh_Report(pfnProgress, pContext, flsh_cEventHandshake, 0, 0))
                return flsh_cAborted;
        }
        if (nElapsedMs > kRetryReportMs && !bReported) {
            bReported = true;
            if (!flsh_Report(pfnProgress, pContext, flsh_cEventRetry, 0, 0))
                return flsh_cAborted;
        }
        if (nAnswer == kAnswered)
            return flsh_cSuccessful;
        if (nElapsedMs >= kWakeLimitMs)
            return flsh_cHandshakeFailure;
    }
}

// Asks the boot code for its speed, up to three times. Returns 0 with
// *pnSpeed set, 1 (handshake failure) when no try gave a speed, 2 (aborted)
// a callback answered 0.
int32_t querySpeed(urs_Port* pPort, int32_t* pnSpeed, FlashProgressFn pfnProgress, void* pContext)
{
    for (int nTry = 0; nTry < kSpeedTries; ++nTry) {
        (void)urs_PutChar(pPort, kSpeedQuery);
        int c = getByteTimed(pPort, kByteTimeoutS);
        *pnSpeed = 0;
        for (const BaudLetter& entry : kBaudLetters) {
            if (entry.bSpeed && c == entry.cLetter)
                *pnSpeed = entry.nBaud;
        }
        if (!flsh_Report(pfnProgress, pContext, flsh_cEventHandshake, 50, 0))
            return flsh_cAborted;
        if (*pnSpeed != 0)
            return flsh_cSuccessful;
    }
    return flsh_cHandshakeFailure;
}

// The one-byte code of a baud rate: its letter, or the rate's lowest byte.
int baudCode(int32_t nBaud)
{
    for (const BaudLetter& entry : kBaudLetters) {
        if (entry.nBaud == nBaud)
            return entry.cLetter;
    }
    return nBaud & 0xFF;
}

}  // namespace

int32_t AtFlsh_Handshake(AtFlashContext* pContext, urs_Port* pPort, int32_t* pnBaud, int32_t* pnBlockSize,
                         uint32_t nFlags, char* pszVersion, FlashProgressFn pfnProgress)
{
    void* pJob = pContext->pContext;
    *pnBlockSize = AtFlsh_kBlockSize;
    pszVersion[0] = '\0';

    setLine(pPort, (nFlags & ModelDb_kFlagFastStart) ? kFastStartBaud : kBootBaud);
    urs_SleepMs(kSettleMs);
    (void)urs_PutString(pPort, kStartCommand);
    urs_SleepMs(kAfterStartCommandMs);
    setLine(pPort, kBootBaud);
    urs_SleepMs(kAfterBootSwitchMs);
    if (!flsh_Report(pfnProgress, pJob, flsh_cEventHandshake, 0, 0))
        return flsh_cAborted;

    int32_t nResult = wakeUp(pPort, nFlags, pfnProgress, pJob);
    if (nResult != flsh_cSuccessful)
        return nResult;
    int32_t nSpeed = 0;
    nResult = querySpeed(pPort, &nSpeed, pfnProgress, pJob);
    if (nResult != flsh_cSuccessful)
        return nResult;
    if (*pnBaud > nSpeed)
        *pnBaud = nSpeed;

    (void)urs_PutChar(pPort, baudCode(*pnBaud));
    if (AtFlsh_WaitOkError(pPort) != AtFlsh_kReplyOk)
        return flsh_cHandshakeFailure;
    setLine(pPort, static_cast<uint32_t>(*pnBaud));
    urs_SleepMs(kSettleMs);

    (void)urs_PutString(pPort, kVersionCommand);
    if (AtFlsh_WaitEcho(pPort, kVersionCommand) != AtFlsh_kReplyOk)
        return flsh_cHandshakeFailure;
    int32_t nMajor = 0, nMinor = 0;
    urs_StartTimer(pPort, kVersionTimeoutS);
    int nVersion = AtFlsh_ReadVersion(pPort, &nMajor, &nMinor);
    urs_StopTimer(pPort);
    if (nVersion != AtFlsh_kReplyOk)
        return flsh_cHandshakeFailure;
    snprintf(pszVersion, flsh_kVersionSize, "%d.%d", nMajor, nMinor);
    if (nMajor == 1 && nMinor < 8)
        *pnBlockSize = AtFlsh_kOldBlockSize;
    return flsh_Report(pfnProgress, pJob, flsh_cEventHandshakeDone, 0, 0) ? flsh_cSuccessful : flsh_cAborted;
}

int32_t AtFlsh_PrepareBoot(urs_Port* pPort, uint32_t nFlags, int32_t bProtectBoot)
{
    if (bProtectBoot)
        return flsh_cSuccessful;
    if (nFlags & ModelDb_kFlagSendDpOff) {
        (void)urs_PutString(pPort, kDpOffCommand);
        if (AtFlsh_WaitOkError(pPort) != AtFlsh_kReplyOk)
            return flsh_cUnprotectBoot;
    }
    if (nFlags & ModelDb_kFlagSendN) {
        (void)urs_PutString(pPort, kNCommand);
        if (AtFlsh_WaitOkError(pPort) != AtFlsh_kReplyOk)
            return flsh_cUnprotectBoot;
    }
    return flsh_cSuccessful;
}

// ------------------------------------------------------------------ 4. Blocks

namespace {

// Makes the next data record current. Returns 1 when one is, 0 at the
// end-of-file record (remaining becomes -1), -1 when a line cannot be read
// or is not a record.
int nextRecord(AtFlashContext* pContext, osfl_Handle hSorted)
{
    char szLine[AtFlsh_kLineSize];
    for (;;) {
        if (os_ReadNextLine(hSorted, szLine, AtFlsh_kLineSize, &pContext->reader) == -1 ||
            !ParseHexRecord(&pContext->nSegment, szLine, &pContext->record))
            return -1;
        const HexRecord& record = pContext->record;
        if (record.nType == hex_kTypeEnd) {
            pContext->nRemaining = -1;
            return 0;
        }
        if (record.nType == hex_kTypeSegment || record.nLength == 0)
            continue;
        pContext->nNextAddress = record.nAddress;
        pContext->nRemaining = record.nLength;
        pContext->pNextData = record.data;
        return 1;
    }
}

}  // namespace

int32_t AtFlsh_FillBlock(AtFlashContext* pContext, osfl_Handle hSorted, int32_t nBlockSize, uint32_t nFlags)
{
    uint8_t* pBlock = pContext->block;
    memset(pBlock, kErased, static_cast<size_t>(nBlockSize));
    uint32_t nLength = 0;
    uint32_t nLimit = static_cast<uint32_t>(nBlockSize);

    while (pContext->nRemaining != -1 && nLength < nLimit) {
        if (pContext->nRemaining == 0) {
            int nRecord = nextRecord(pContext, hSorted);
            if (nRecord < 0)
                return -1;
            if (nRecord == 0)
                break;
        }
        uint32_t nNext = pContext->nNextAddress;
        if (nLength == 0) {
            pContext->nBlockAddress = nNext & ~(kBlockAlign - 1);
            uint32_t nToBoundary = kBoundary - (pContext->nBlockAddress & (kBoundary - 1));
            nLimit = nToBoundary < nLimit ? nToBoundary : nLimit;
        } else {
            uint32_t nStart = pContext->nBlockAddress;
            if (nNext < nStart + nLength || nNext - nStart > nLimit || nNext - nStart - nLength > kMaxBridge)
                break;
        }
        uint32_t nOffset = nNext - pContext->nBlockAddress;
        uint32_t nTake = static_cast<uint32_t>(pContext->nRemaining);
        if (nTake > nLimit - nOffset)
            nTake = nLimit - nOffset;
        memcpy(pBlock + nOffset, pContext->pNextData, nTake);
        nLength = nOffset + nTake;
        pContext->nNextAddress += nTake;
        pContext->pNextData += nTake;
        pContext->nRemaining -= static_cast<int32_t>(nTake);
    }

    nLength = (nLength + kBlockAlign - 1) & ~(kBlockAlign - 1);
    if ((nFlags & ModelDb_kFlagPatchResetVector) && pContext->nBlockAddress == 0 && nLength > 0)
        memcpy(pBlock, kResetPatch, sizeof kResetPatch);
    uint8_t nChecksum = 0;
    for (uint32_t i = 0; i < nLength; ++i)
        nChecksum ^= pBlock[i];
    pContext->nBlockChecksum = nChecksum;
    pContext->nBlockLength = static_cast<int32_t>(nLength);
    return pContext->nBlockLength;
}

namespace {

// Reads until the go-ahead "G"; false when a read gives no byte first.
bool waitGo(urs_Port* pPort)
{
    urs_StartTimer(pPort, kGoTimeoutS);
    int c;
    do {
        c = getByte(pPort);
    } while (c >= 0 && c != kGo);
    urs_StopTimer(pPort);
    return c == kGo;
}

// Outcome of one send of a block.
enum class BlockSend {
    kAccepted,    // "OK"
    kRefused,     // "ERROR": send it again
    kTimeout,     // no "G", or no answer
    kAborted,     // a callback answered 0
};

// Sends the header, the data (in pieces as the flags ask) and the checksum.
// Returns false when a callback answered 0.
bool sendBlockBytes(const AtFlashContext* pContext, urs_Port* pPort, uint32_t nFlags, int32_t nPercent,
                    FlashProgressFn pfnProgress)
{
    void* pJob = pContext->pContext;
    uint32_t nAddress = pContext->nBlockAddress;
    uint32_t nLength = static_cast<uint32_t>(pContext->nBlockLength);
    uint8_t header[5] = {static_cast<uint8_t>(nLength >> 8), static_cast<uint8_t>(nLength),
                         static_cast<uint8_t>(nAddress >> 16), static_cast<uint8_t>(nAddress >> 8),
                         static_cast<uint8_t>(nAddress)};
    urs_StartTimer(pPort, kBlockSendTimeoutS);
    if (urs_PutBlock(pPort, header, sizeof header) != urs_kOk)
        return flsh_Report(pfnProgress, pJob, flsh_cEventHeaderError, nPercent, nAddress);

    bool bPieces = (nFlags & (ModelDb_kFlagPieces128 | ModelDb_kFlagPieces256)) != 0;
    uint32_t nPiece = (nFlags & ModelDb_kFlagPieces128) ? kSmallPiece : (nFlags & ModelDb_kFlagPieces256) ? kLargePiece : nLength;
    bool bLastFailed = false;
    for (uint32_t nSent = 0; nSent < nLength; nSent += nPiece) {
        uint32_t nCount = nLength - nSent < nPiece ? nLength - nSent : nPiece;
        bLastFailed = urs_PutBlock(pPort, pContext->block + nSent, nCount) != urs_kOk;
        if (bPieces && bLastFailed && !flsh_Report(pfnProgress, pJob, flsh_cEventBlockError, nPercent, nAddress))
            return false;
        if (bPieces && !bLastFailed)
            urs_SleepMs(kPieceGapMs);
    }
    if (bLastFailed)
        return flsh_Report(pfnProgress, pJob, flsh_cEventBlockError, nPercent, nAddress);
    (void)urs_PutChar(pPort, pContext->nBlockChecksum);
    urs_StopTimer(pPort);
    return true;
}

// One send of the current block: "ATFLP\r", the go-ahead, the bytes, the
// answer.
BlockSend sendBlock(const AtFlashContext* pContext, urs_Port* pPort, uint32_t nFlags, int32_t nPercent,
                    FlashProgressFn pfnProgress)
{
    void* pJob = pContext->pContext;
    (void)urs_PutString(pPort, kBlockCommand);
    if (!waitGo(pPort)) {
        if (!flsh_Report(pfnProgress, pJob, flsh_cEventGoTimeout, nPercent, pContext->nBlockAddress))
            return BlockSend::kAborted;
        return BlockSend::kTimeout;
    }
    if (!sendBlockBytes(pContext, pPort, nFlags, nPercent, pfnProgress))
        return BlockSend::kAborted;
    int nAnswer = AtFlsh_WaitOkError(pPort);
    if (nAnswer == AtFlsh_kReplyOk)
        return BlockSend::kAccepted;
    if (nAnswer == AtFlsh_kReplyNone)
        return BlockSend::kTimeout;
    if (!flsh_Report(pfnProgress, pJob, flsh_cEventVerifyError, 0, 0))
        return BlockSend::kAborted;
    return BlockSend::kRefused;
}

}  // namespace

int32_t AtFlsh_ProgramBlocks(AtFlashContext* pContext, urs_Port* pPort, osfl_Handle hSorted, int32_t nBlockSize,
                             uint32_t nFlags, uint32_t* pnHighestAddress, FlashProgressFn pfnProgress)
{
    void* pJob = pContext->pContext;
    uint32_t nFileSize = static_cast<uint32_t>(osfl_Length(hSorted));
    pContext->nSegment = 0;
    pContext->nRemaining = 0;
    int32_t nPercent = 0;
    uint32_t nLastAddress = 0;

    for (;;) {
        int32_t nLength = AtFlsh_FillBlock(pContext, hSorted, nBlockSize, nFlags);
        if (nLength < 0)
            return flsh_cBadHexFile;
        if (nLength == 0) {
            // No reply follows "ATFLEND\r": the device has accepted every
            // block, so the run's result rests on them, not on this write.
            (void)urs_PutString(pPort, kEndCommand);
            *pnHighestAddress = nLastAddress;
            return flsh_Report(pfnProgress, pJob, flsh_cProgramDone, 100, nLastAddress) ? flsh_cSuccessful : flsh_cAborted;
        }
        BlockSend eSend = BlockSend::kRefused;
        for (int nTry = 0; nTry < kBlockTries && eSend == BlockSend::kRefused; ++nTry)
            eSend = sendBlock(pContext, pPort, nFlags, nPercent, pfnProgress);
        if (eSend == BlockSend::kAborted)
            return flsh_cAborted;
        if (eSend == BlockSend::kTimeout)
            return flsh_cTimeout;
        if (eSend == BlockSend::kRefused)
            return flsh_cVerifyFailed;

        nLastAddress = pContext->nBlockAddress;
        uint32_t nPosition = static_cast<uint32_t>(osfl_Tell(hSorted));
        nPercent = nFileSize > 0 ? static_cast<int32_t>(static_cast<uint64_t>(nPosition) * 100 / nFileSize) : 100;
        if (!flsh_Report(pfnProgress, pJob, flsh_cEventProgram, nPercent, nLastAddress))
            return flsh_cAborted;
        os_yield();
    }
}

// ------------------------------------------------------------------ 5. The run

namespace {

// The run's file slot of the sorted copy, open for reading.
constexpr int kSortedSlot = 0;

// Makes the sorted copy (the run's temporary file) and opens it. False when
// that fails.
bool makeSortedCopy(AtFlashContext* pContext, flsh_Run* pRun, const char* pszHexFile, FlashProgressFn pfnProgress)
{
    if (!os_MakeTempFile(pRun->szTempFile, sizeof pRun->szTempFile))
        return false;
    if (SortHexFile(pszHexFile, pRun->szTempFile, &pContext->sortData, pfnProgress, pContext->pContext) != 0)
        return false;
    return flsh_OpenRunFile(pRun, kSortedSlot, pRun->szTempFile);
}

}  // namespace

int32_t AtFlsh_Program(const char* pszPort, const char* pszHexFile, uint32_t nFlags, int32_t bHandshakeOnly,
                       int32_t bProtectBoot, int32_t* pnBaud, uint32_t* pnHighestAddress, char* pszVersion,
                       FlashProgressFn pfnProgress, void* pContext, int32_t bBootCodeOnly, int32_t nStartMode,
                       int32_t nCmdVariant)
{
    (void)nStartMode;
    (void)nCmdVariant;
    AtFlashContext context;
    context.nRemaining = 0;
    context.nSegment = 0;
    context.nBlockLength = 0;
    context.nBlockAddress = 0;
    context.pContext = pContext;
    os_ResetLineReader(&context.reader);

    flsh_Run run;
    if (flsh_OpenRun(&run, pszPort) != urs_kOk)
        return flsh_cPortOpen;
    if (!bHandshakeOnly) {
        osfl_Handle hHex = osfl_Open(pszHexFile, osfl_kAccessRead);
        if (hHex == osfl_kInvalidHandle)
            return flsh_cHexFileOpen;
        osfl_Close(hHex);
        // A bad image is refused before any byte goes to the device.
        hex_CheckReport report;
        int nCheck = hex_CheckIntelFile(pszHexFile, hex_kTypesSorted, hex_kSortLineChars, &report);
        if (nCheck != hex_kCheckSound)
            return nCheck == hex_kCheckNoFile ? flsh_cHexFileOpen : flsh_cBadHexFile;
        if (!makeSortedCopy(&context, &run, pszHexFile, pfnProgress))
            return flsh_cSortError;
    }

    int32_t nBlockSize = AtFlsh_kBlockSize;
    if (!bBootCodeOnly) {
        int32_t nResult = AtFlsh_Handshake(&context, &run.port, pnBaud, &nBlockSize, nFlags, pszVersion, pfnProgress);
        if (nResult != flsh_cSuccessful)
            return nResult;
    } else {
        setLine(&run.port, static_cast<uint32_t>(*pnBaud));
    }
    int32_t nResult = AtFlsh_PrepareBoot(&run.port, nFlags, bProtectBoot);
    if (nResult != flsh_cSuccessful || bHandshakeOnly)
        return nResult;
    if (!flsh_Report(pfnProgress, pContext, flsh_cEventProgramStart, *pnBaud, 0))
        return flsh_cAborted;
    return AtFlsh_ProgramBlocks(&context, &run.port, run.hFiles[kSortedSlot], nBlockSize, nFlags, pnHighestAddress,
                                pfnProgress);
}
