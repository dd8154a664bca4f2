// Lucent flash protocol over the serial layer.
//
// Map of this file:
//   1. Protocol constants and time-outs
//   2. Replies: GetOKorNOKx, LucFlsh_GetVersion, LucFlsh_WaitOK, LucFlsh_RecoverNOK
//   3. Sending a file line by line: LucFlsh_Download
//   4. The run: LucFlsh_Program
#include "EngineSource/LucFlsh.h"

#include "EngineSource/FlshLine.h"
#include "EngineSource/HexCheck.h"
#include "EngineSource/dbg.h"

#include <cstring>

static const char kDbgModule[] = "EngineSource/LucFlsh";

// ---------------------------------------------- 1. Protocol constants and time-outs

namespace {

// The device settles this long after the port opens, and finishes its last
// line before the port closes (seconds, runtime clock).
constexpr uint32_t kSettleAfterOpenS = 10;
constexpr uint32_t kSettleBeforeCloseS = 2;
// Waits for replies, in seconds:
constexpr uint32_t kVersionWaitS = 2;       // start command -> version and "OK"
constexpr uint32_t kLoaderLineWaitS = 2;    // each reply to a loader line
constexpr uint32_t kFirstLinesWaitS = 180;  // first firmware line (both waits) and the first wait
                                            // of the second (the loader may first erase the flash)
constexpr uint32_t kLineWaitS = 2;          // every later wait of a firmware line
constexpr uint32_t kRecoverWaitS = 2;       // the reply to a line sent again after NOK2/NOK3
// Re-sends:
constexpr int kLoaderResends = 3;           // loader line unanswered
constexpr int kRefusedResends = 4;          // firmware line refused with NOK2 or NOK3
constexpr int32_t kYieldEvery = 1000;       // lines between os_yield calls

// Command texts of the two command variants (two ampersands each).
const char* const kStartCommand[2] = {"AT&&FGO\r", "AT&&WGO\r"};
const char* const kLoaderPrefix[2] = {"at&&f", "at&&w"};

// The loader image in the working folder.
const char kLoaderPath[] = "./FlashLdr.hex";

// Longest lines sent: the loader's with its five-character prefix and the
// firmware's each fill the 128-byte text with CR LF and terminator.
constexpr int32_t kLoaderLineChars = flsh_kLineSize - 8;
constexpr int32_t kFirmwareLineChars = flsh_kLineSize - 3;

// Replies the loader may send.
constexpr int kRefusalCount = 4;
constexpr int kVersionCount = 2;
const char kOk[] = "OK";
const char* const kRefusals[kRefusalCount] = {"NOK1", "NOK2", "NOK3", "NOK4"};
const char* const kVersionReplies[kVersionCount] = {"Ver:4.3", "Ver:4.4"};
const char* const kVersions[kVersionCount] = {"4.3", "4.4"};

// The row of the variant's commands; any variant but F reads as W.
int variantIndex(int32_t nCmdVariant) { return nCmdVariant == devid_kVariantF ? devid_kVariantF : devid_kVariantW; }

}  // namespace

// ---------------------------------------------------------------- 2. Replies

namespace {

// Reads replies for up to nSeconds: returns LucFlsh_kReplyOk at an "OK", a
// refusal code at "NOK1" to "NOK4" when bRefusals is set, or
// LucFlsh_kReplyTimeout. Version replies are written into pszVersion (when
// not null) and *pbVersionSeen is set (when not null); reading goes on.
int readReply(urs_Port* pPort, uint32_t nSeconds, char* pszVersion, bool bRefusals, bool* pbVersionSeen)
{
    gn_Matcher ok;
    gn_Matcher refusals[kRefusalCount];
    gn_Matcher versions[kVersionCount];
    gn_MatchInit(&ok, kOk);
    for (int i = 0; i < kRefusalCount; ++i)
        gn_MatchInit(&refusals[i], kRefusals[i]);
    for (int i = 0; i < kVersionCount; ++i)
        gn_MatchInit(&versions[i], kVersionReplies[i]);

    urs_StartTimer(pPort, nSeconds);
    int nReply = LucFlsh_kReplyTimeout;
    int nBeforeLast = 0;    // the byte before the last one
    int nLast = 0;          // the last byte read
    while (nReply == LucFlsh_kReplyTimeout) {
        int nByte = flsh_ReadReplyByte(pPort);
        if (nByte < 0)
            break;
        for (int i = 0; i < kVersionCount; ++i) {
            if (gn_MatchChar(&versions[i], nByte)) {
                if (pszVersion != nullptr)
                    memcpy(pszVersion, kVersions[i], strlen(kVersions[i]) + 1);
                if (pbVersionSeen != nullptr)
                    *pbVersionSeen = true;
                gn_MatchInit(&versions[i], kVersionReplies[i]);
            }
        }
        for (int i = 0; i < kRefusalCount && bRefusals; ++i) {
            if (gn_MatchChar(&refusals[i], nByte))
                nReply = LucFlsh_kReplyNok1 + i;
        }
        // The "OK" of a "NOKn" is part of the refusal, not an acceptance.
        if (gn_MatchChar(&ok, nByte)) {
            if (!(bRefusals && nBeforeLast == 'N') && nReply == LucFlsh_kReplyTimeout)
                nReply = LucFlsh_kReplyOk;
            gn_MatchInit(&ok, kOk);
        }
        nBeforeLast = nLast;
        nLast = nByte;
    }
    urs_StopTimer(pPort);
    return nReply;
}

bool isResendRefusal(int nCode) { return nCode == LucFlsh_kReplyNok2 || nCode == LucFlsh_kReplyNok3; }

}  // namespace

int GetOKorNOKx(urs_Port* pPort, uint32_t nTimeout, char* pszVersion)
{
    return readReply(pPort, nTimeout, pszVersion, true, nullptr);
}

int LucFlsh_GetVersion(urs_Port* pPort, uint32_t nTimeout, char* pszVersion)
{
    bool bVersionSeen = false;
    if (readReply(pPort, nTimeout, pszVersion, false, &bVersionSeen) != LucFlsh_kReplyOk)
        return LucFlsh_kVersionTimeout;
    return bVersionSeen ? LucFlsh_kVersionSeen : LucFlsh_kVersionMissing;
}

int LucFlsh_WaitOK(urs_Port* pPort, uint32_t nTimeout) { return readReply(pPort, nTimeout, nullptr, true, nullptr); }

int LucFlsh_RecoverNOK(urs_Port* pPort, const char* pszLine, int nCode)
{
    if (nCode == LucFlsh_kReplyNok1 || nCode == LucFlsh_kReplyNok4)
        return 1;
    if (!isResendRefusal(nCode))
        return 0;
    uint32_t nLength = static_cast<uint32_t>(strlen(pszLine));
    for (int nTry = 0; nTry < kRefusedResends; ++nTry) {
        urs_DiscardInput(pPort);
        if (urs_PutBlock(pPort, pszLine, nLength) != urs_kOk) {
            DBG_LOG("Error:  PutBlock <%s>\n", pszLine);
            return 0;
        }
        int nReply = LucFlsh_WaitOK(pPort, kRecoverWaitS);
        if (nReply != LucFlsh_kReplyTimeout && !isResendRefusal(nReply))
            return 1;
    }
    return 0;
}

// --------------------------------------------- 3. Sending a file line by line

namespace {

// Sends the text of a line. A failed write is logged and reported as event 7
// (the reply is awaited all the same). Returns false only when the callback
// answered 0.
bool sendLine(urs_Port* pPort, const char* pszText, int32_t nLength, FlashProgressFn pfnProgress, void* pContext,
              int32_t nPercent)
{
    // What arrived before this line (a late reply to an earlier one) must not
    // be taken for this line's answer.
    urs_DiscardInput(pPort);
    DBG_LOG("Before urs_PurBlock, nBytesToWrite %d", nLength);
    int nRet = urs_PutBlock(pPort, pszText, static_cast<uint32_t>(nLength));
    DBG_LOG("After urs_PutBlock, nRet %d", nRet);
    if (nRet == urs_kOk)
        return true;
    DBG_LOG("Error:  PutBlock <%s>\n", pszText);
    return flsh_Report(pfnProgress, pContext, flsh_cEventVerifyError, nPercent, 0);
}

// The outcome of one line's replies: go on with the next line, or end the
// download with a FlashResult.
constexpr int32_t kNextLine = -1;

// Loader mode: a line left unanswered is sent again up to three times;
// anything but "OK" in the end fails the download.
int32_t settleLoaderLine(urs_Port* pPort, const char* pszText, int32_t nLength, int nReply, char* pszVersion,
                         FlashProgressFn pfnProgress, void* pContext, int32_t nPercent)
{
    for (int nTry = 0; nTry < kLoaderResends && nReply == LucFlsh_kReplyTimeout; ++nTry) {
        DBG_LOG("Timeout sending the block try again.");
        urs_DiscardInput(pPort);
        if (urs_PutBlock(pPort, pszText, static_cast<uint32_t>(nLength)) != urs_kOk) {
            if (!flsh_Report(pfnProgress, pContext, flsh_cEventVerifyError, nPercent, 0))
                return flsh_cAborted;
            continue;
        }
        nReply = GetOKorNOKx(pPort, kLoaderLineWaitS, pszVersion);
    }
    return nReply == LucFlsh_kReplyOk ? kNextLine : flsh_cTimeout;
}

// Firmware mode: an unanswered line gets a second wait without re-send; a
// refusal, on either wait, goes to LucFlsh_RecoverNOK.
int32_t settleFirmwareLine(urs_Port* pPort, const char* pszText, int nReply, uint32_t nTimeout, char* pszVersion)
{
    if (nReply == LucFlsh_kReplyTimeout) {
        DBG_LOG("Timeout getting response for %s, Try again.", pszText);
        nReply = GetOKorNOKx(pPort, nTimeout, pszVersion);
        if (nReply == LucFlsh_kReplyTimeout) {
            DBG_LOG("Timeout getting response for %s.", pszText);
            return flsh_cTimeout;
        }
    }
    if (nReply != LucFlsh_kReplyOk && !LucFlsh_RecoverNOK(pPort, pszText, nReply)) {
        DBG_LOG("Line refused: %s", pszText);
        return flsh_cVerifyFailed;
    }
    return kNextLine;
}

}  // namespace

int32_t LucFlsh_Download(flsh_SendContext* pLucContext, urs_Port* pPort, osfl_Handle hFile, int32_t nMode,
                         char* pszVersion, FlashProgressFn pfnProgress, int32_t nCmdVariant)
{
    void* pContext = pLucContext->pContext;
    bool bLoader = nMode == LucFlsh_kModeLoader;
    uint32_t nTimeout = bLoader ? kLoaderLineWaitS : kFirstLinesWaitS;
    int32_t nEvent = bLoader ? flsh_cEventLoader : flsh_cEventProgram;
    const char* pszPrefix = bLoader ? kLoaderPrefix[variantIndex(nCmdVariant)] : "";
    DBG_LOG("Timeout time %d\n", static_cast<int>(nTimeout));
    int32_t nLength = osfl_Length(hFile);
    DBG_LOG("FileLength %ld\n", static_cast<long>(nLength));
    os_ResetLineReader(&pLucContext->reader);
    int32_t nPercent = 0;

    for (int32_t nLinesSent = 0;; ++nLinesSent) {
        if (nLinesSent % kYieldEvery == 0) {
            DBG_LOG("Call os_yield");
            os_yield();
        }
        DBG_LOG("Before os_ReadNextLine");
        char szText[flsh_kLineSize];
        int32_t nRead = 0;
        int32_t nTextLength = flsh_ReadLineText(hFile, &pLucContext->reader, pszPrefix, szText, &nRead);
        if (nTextLength < 0)
            return flsh_cBadHexFile;
        if (nTextLength == 0) {
            DBG_LOG("**** We are done reading the file ****");
            DBG_LOG("**** Percent %d ****", nPercent);
            DBG_LOG("We are done, set percent to 100 and status to flsh_cProgramDone");
            if (!flsh_Report(pfnProgress, pContext, flsh_cProgramDone, 100, 0))
                return flsh_cAborted;
            DBG_LOG("The device is flashed");
            os_yield();
            return flsh_cSuccessful;
        }
        DBG_LOG("After os_ReadNextLine, nRead %d", nRead);
        if (bLoader)
            DBG_LOG("prepending at&&f\n");

        if (!sendLine(pPort, szText, nTextLength, pfnProgress, pContext, nPercent))
            return flsh_cAborted;
        int nReply = GetOKorNOKx(pPort, nTimeout, pszVersion);
        DBG_LOG("After GetOKorNOKx, nResult %d", nReply);
        int32_t nOutcome;
        if (bLoader) {
            nOutcome = settleLoaderLine(pPort, szText, nTextLength, nReply, pszVersion, pfnProgress, pContext,
                                        nPercent);
        } else {
            if (nLinesSent == 1)
                nTimeout = kLineWaitS;
            nOutcome = settleFirmwareLine(pPort, szText, nReply, nTimeout, pszVersion);
        }
        if (nOutcome != kNextLine)
            return nOutcome;

        nPercent = flsh_Percent(hFile, nLength);
        DBG_LOG("Percent Done %d", nPercent);
        if (!flsh_Report(pfnProgress, pContext, nEvent, nPercent, 0))
            return flsh_cAborted;
        dbg_FlushLog();
    }
}

// ------------------------------------------------------------------ 4. The run

namespace {

// File slots of the run record.
constexpr int kLoaderSlot = 0;
constexpr int kHexSlot = 1;

// Logs one closing line and pushes it to the file at once.
void logFlushed(const char* pszText)
{
    DBG_LOG("%s", pszText);
    dbg_FlushLog();
}

// Start modes 0 and 1: starts the loader the device holds and waits for its
// version. Returns 0, or 13 when the command cannot be written or no version
// and "OK" come back.
int32_t startLoader(urs_Port* pPort, int32_t nCmdVariant, char* pszVersion)
{
    const char* pszCommand = kStartCommand[variantIndex(nCmdVariant)];
    DBG_LOG("Send AT&&FGO\n");
    if (urs_PutString(pPort, pszCommand) != urs_kOk) {
        DBG_LOG("Error:  PutBlock <%s>\n", pszCommand);
        return flsh_cLoaderVersion;
    }
    DBG_LOG("Get the OK\n");
    int nVersion = LucFlsh_GetVersion(pPort, kVersionWaitS, pszVersion);
    if (nVersion != LucFlsh_kVersionSeen) {
        DBG_LOG("No flash loader version: %d", nVersion);
        return flsh_cLoaderVersion;
    }
    return flsh_cSuccessful;
}

// The loader must be 4.4, or 4.3 on a flash type other than 3.
bool versionFits(const char* pszVersion, uint32_t nFlashType)
{
    return strstr(pszVersion, "4.4") != nullptr || (strstr(pszVersion, "4.3") != nullptr && nFlashType != 3);
}

// The end of every run that got past the loader step: the hex file closed,
// the 2-second settle, the port closed, each step logged and flushed.
int32_t finishRun(flsh_Run* pRun, int32_t nResult)
{
    logFlushed("Close the port");
    flsh_CloseRunFile(pRun, kHexSlot);
    logFlushed("File is closed");
    urs_Sleep(kSettleBeforeCloseS);
    urs_ClosePort(&pRun->port);
    logFlushed("Port is closed");
    DBG_LOG("nFlashReturn %d\n", nResult);
    dbg_FlushLog();
    return nResult;
}

}  // namespace

int32_t LucFlsh_Program(const char* pszPort, const char* pszHexFile, uint32_t nFlashType, int32_t bHandshakeOnly,
                        int32_t bProtectBoot, int32_t* pnBaud, uint32_t* pnHighestAddress, char* pszVersion,
                        FlashProgressFn pfnProgress, void* pContext, int32_t bBootCodeOnly, int32_t nStartMode,
                        int32_t nCmdVariant)
{
    (void)bProtectBoot;
    (void)pnHighestAddress;
    (void)bBootCodeOnly;
    os_mAssert(pnBaud != NULL);
    os_mAssert(pszVersion != NULL);
    char szOwnVersion[flsh_kVersionSize];
    if (pszVersion == nullptr)
        pszVersion = szOwnVersion;

    flsh_Run run;
    if (flsh_OpenRun(&run, pszPort) != urs_kOk)
        return flsh_cPortOpen;
    DBG_LOG("<%s>  Opened\n", run.port.szName);
    urs_Sleep(kSettleAfterOpenS);

    if (!bHandshakeOnly) {
        if (!flsh_OpenRunFile(&run, kHexSlot, pszHexFile))
            return flsh_cHexFileOpen;
        DBG_LOG("<%s> File opened\n", pszHexFile);
    }
    // Both images are checked before the start command: a bad one never
    // leaves the device in its loader. A loader that cannot be opened is
    // reported when the download opens it.
    hex_CheckReport report;
    if (!bHandshakeOnly &&
        hex_CheckIntelFile(pszHexFile, hex_kTypesIntel, kFirmwareLineChars, &report) != hex_kCheckSound)
        return flsh_cBadHexFile;
    if (nStartMode == flsh_kStartDownloadLoader &&
        hex_CheckIntelFile(kLoaderPath, hex_kTypesIntel, kLoaderLineChars, &report) == hex_kCheckBad)
        return flsh_cBadHexFile;
    // A line left at another rate shows as a loader that does not answer.
    (void)urs_SetUart(&run.port, pnBaud != nullptr ? static_cast<uint32_t>(*pnBaud) : 0, urs_kDataBits8,
                      urs_kParityNone, urs_kStopBits1, urs_kFlowNone);
    if (!flsh_Report(pfnProgress, pContext, flsh_cEventProgramStart, 0, 0))
        return flsh_cAborted;

    // Only the version this run's loader reports counts.
    pszVersion[0] = '\0';
    flsh_SendContext context;
    context.pContext = pContext;
    int32_t nResult = flsh_cSuccessful;
    if (nStartMode == flsh_kStartNormal || nStartMode == flsh_kStartIdentified) {
        nResult = startLoader(&run.port, nCmdVariant, pszVersion);
    } else if (nStartMode == flsh_kStartDownloadLoader) {
        DBG_LOG("Download FlashLdr.hex\n");
        if (!flsh_OpenRunFile(&run, kLoaderSlot, kLoaderPath))
            return flsh_cHexFileOpen;
        DBG_LOG("<%s> File opened\n", kLoaderPath);
        nResult = LucFlsh_Download(&context, &run.port, run.hFiles[kLoaderSlot], LucFlsh_kModeLoader, pszVersion,
                                   pfnProgress, nCmdVariant);
        flsh_CloseRunFile(&run, kLoaderSlot);
    }
    if (nResult != flsh_cSuccessful || bHandshakeOnly)
        return finishRun(&run, nResult);

    if (!versionFits(pszVersion, nFlashType)) {
        DBG_LOG("Wrong version <%s> for flash type %u", pszVersion, static_cast<unsigned>(nFlashType));
        return finishRun(&run, flsh_cWrongVersion);
    }
    DBG_LOG("Start the download of the file\n");
    char szScratch[flsh_kVersionSize] = "";
    nResult = LucFlsh_Download(&context, &run.port, run.hFiles[kHexSlot], LucFlsh_kModeFirmware, szScratch,
                               pfnProgress, nCmdVariant);
    return finishRun(&run, nResult);
}
