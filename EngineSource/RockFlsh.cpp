// Rockwell flash protocol over the serial layer.
//
// Map of this file:
//   1. Protocol constants and time-outs
//   2. Announcement waits
//   3. Streaming a file: RockFlsh_SendFile
//   4. The run: RockFlsh_Program
#include "EngineSource/RockFlsh.h"

#include "EngineSource/FlshLine.h"
#include "EngineSource/HexCheck.h"
#include "EngineSource/dbg.h"

static const char kDbgModule[] = "EngineSource/RockFlsh";

// ---------------------------------------------- 1. Protocol constants and time-outs

namespace {

// Each announcement must arrive within this many seconds (runtime clock).
// The serial layer's write time-outs pace the streaming itself.
constexpr uint32_t kAnnouncementWaitS = 10;
constexpr int32_t kYieldEvery = 1000;       // lines between os_yield calls

const char kDownloadCommand[] = "AT**\r";
const char kBootLoaderPath[] = "./BPFL24.s37";   // the boot loader in the working folder
constexpr int32_t kLineChars = flsh_kLineSize - 3;   // longest line: the 128-byte text holds it with CR LF

// Each wait ends at the first of its two texts.
const char* const kInitiated[2] = {"OK", "Download initiated ..\r\n"};
const char* const kFlashCode[2] = {"OK", "Download flash code ..\r\n"};
const char* const kProgrammed[2] = {"OK", "Device successfully programmed\r\n"};

}  // namespace

// ------------------------------------------------------- 2. Announcement waits

namespace {

int waitAnnouncement(urs_Port* pPort, const char* const* ppszTexts)
{
    return flsh_WaitTexts(pPort, kAnnouncementWaitS, ppszTexts, 2) >= 0 ? 0 : 1;
}

}  // namespace

int RockFlsh_WaitInitiated(urs_Port* pPort) { return waitAnnouncement(pPort, kInitiated); }

int RockFlsh_WaitFlashCode(urs_Port* pPort) { return waitAnnouncement(pPort, kFlashCode); }

int RockFlsh_WaitProgrammed(urs_Port* pPort) { return waitAnnouncement(pPort, kProgrammed); }

// ----------------------------------------------- 3. Streaming a file

int32_t RockFlsh_SendFile(flsh_SendContext* pRockContext, urs_Port* pPort, osfl_Handle hFile,
                          FlashProgressFn pfnProgress)
{
    void* pContext = pRockContext->pContext;
    int32_t nLength = osfl_Length(hFile);
    os_ResetLineReader(&pRockContext->reader);
    int32_t nPercent = 0;
    for (int32_t nLine = 0;; ++nLine) {
        if (nLine % kYieldEvery == 0)
            os_yield();
        char szText[flsh_kLineSize];
        int32_t nRead = 0;
        int32_t nTextLength = flsh_ReadLineText(hFile, &pRockContext->reader, "", szText, &nRead);
        if (nTextLength < 0)
            return flsh_cBadHexFile;
        if (nTextLength == 0)
            return flsh_Report(pfnProgress, pContext, flsh_cProgramDone, 100, 0) ? flsh_cSuccessful : flsh_cAborted;
        if (urs_PutBlock(pPort, szText, static_cast<uint32_t>(nTextLength)) != urs_kOk) {
            DBG_LOG("Error:  PutBlock <%s>\n", szText);
            return flsh_Report(pfnProgress, pContext, flsh_cEventVerifyError, nPercent, 0) ? flsh_cVerifyFailed
                                                                                         : flsh_cAborted;
        }
        nPercent = flsh_Percent(hFile, nLength);
        if (!flsh_Report(pfnProgress, pContext, flsh_cEventProgram, nPercent, 0))
            return flsh_cAborted;
    }
}

// ------------------------------------------------------------------ 4. The run

namespace {

// File slots of the run record.
constexpr int kBootSlot = 0;
constexpr int kHexSlot = 1;

// Opens a file of the run into its slot and logs it. False when it cannot be
// opened.
bool openFile(flsh_Run* pRun, int nSlot, const char* pszPath)
{
    if (!flsh_OpenRunFile(pRun, nSlot, pszPath))
        return false;
    DBG_LOG("<%s> File opened\n", pszPath);
    return true;
}

}  // namespace

int32_t RockFlsh_Program(const char* pszPort, const char* pszHexFile, uint32_t nFlashType, int32_t bHandshakeOnly,
                         int32_t bProtectBoot, int32_t* pnBaud, uint32_t* pnHighestAddress, char* pszVersion,
                         FlashProgressFn pfnProgress, void* pContext, int32_t bBootCodeOnly, int32_t nStartMode,
                         int32_t nCmdVariant)
{
    (void)nFlashType;
    (void)bProtectBoot;
    (void)pnHighestAddress;
    (void)pszVersion;
    (void)bBootCodeOnly;
    (void)nStartMode;
    (void)nCmdVariant;
    os_mAssert(pnBaud != NULL);

    flsh_Run run;
    if (flsh_OpenRun(&run, pszPort) != urs_kOk)
        return flsh_cPortOpen;
    DBG_LOG("<%s>  Opened\n", run.port.szName);
    if (!bHandshakeOnly && (!openFile(&run, kBootSlot, kBootLoaderPath) || !openFile(&run, kHexSlot, pszHexFile)))
        return flsh_cHexFileOpen;
    // Both files are checked before "AT**": a bad one must not leave the
    // device in its loader with no firmware.
    hex_CheckReport report;
    if (!bHandshakeOnly && (hex_CheckSRecordFile(kBootLoaderPath, kLineChars, &report) != hex_kCheckSound ||
                            hex_CheckIntelFile(pszHexFile, hex_kTypesIntel, kLineChars, &report) != hex_kCheckSound))
        return flsh_cBadHexFile;
    // The stream relies on CTS to hold it back at the device's pace: a line
    // without flow control would overrun the loader, so the run stops here,
    // before "AT**" reaches the device.
    if (urs_SetUart(&run.port, pnBaud != nullptr ? static_cast<uint32_t>(*pnBaud) : 0, urs_kDataBits8,
                    urs_kParityNone, urs_kStopBits1, urs_kFlowCts) != urs_kOk) {
        DBG_LOG("<%s> Unable to set flow control", run.port.szName);
        return flsh_cPortOpen;
    }
    if (!flsh_Report(pfnProgress, pContext, flsh_cEventProgramStart, 0, 0))
        return flsh_cAborted;

    if (urs_PutString(&run.port, kDownloadCommand) != urs_kOk) {
        DBG_LOG("Error:  PutBlock <%s>\n", kDownloadCommand);
        return flsh_cHandshakeFailure;
    }
    if (RockFlsh_WaitInitiated(&run.port) != 0) {
        DBG_LOG("No download initiated");
        return flsh_cHandshakeFailure;
    }
    if (bHandshakeOnly)
        return flsh_cSuccessful;

    flsh_SendContext context;
    context.pContext = pContext;
    int32_t nResult = RockFlsh_SendFile(&context, &run.port, run.hFiles[kBootSlot], pfnProgress);
    if (nResult != flsh_cSuccessful)
        return nResult;
    if (RockFlsh_WaitFlashCode(&run.port) != 0) {
        DBG_LOG("No flash code download");
        return flsh_cHandshakeFailure;
    }
    nResult = RockFlsh_SendFile(&context, &run.port, run.hFiles[kHexSlot], pfnProgress);
    if (nResult != flsh_cSuccessful)
        return nResult;
    if (RockFlsh_WaitProgrammed(&run.port) != 0) {
        DBG_LOG("Device not programmed");
        return flsh_cHandshakeFailure;
    }
    return flsh_cSuccessful;
}
