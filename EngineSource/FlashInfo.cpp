// Flash jobs: job set-up, the two worker routines, their progress
// callbacks, the result texts and the process-wide abort flag.
//
// Map of this file:
//   1. Results and the abort flag
//   2. Job operations
//   3. Workers: identification, flashing and the protocol choice
//   4. Progress callbacks
//
// Every status field (nEvent through szStatusText) is read and written
// under the job's mutex; nResult and the abort flag are atomics. A worker's
// last act is to store its result, so a poller that sees a result other
// than -1 also sees everything the worker wrote before.
#include "EngineSource/FlashInfo.h"

#include "EngineSource/AtFlsh.h"
#include "EngineSource/LucFlsh.h"
#include "EngineSource/RockFlsh.h"
#include "EngineSource/dbg.h"

#include <cstdio>
#include <cstring>

namespace {

const char kDbgModule[] = "EngineSource/FlashInfo";

// Stacks the workers ask for (the thread layer rounds them up to what the
// platform needs).
constexpr uint32_t kIdentifyStack = 12000;
constexpr uint32_t kFlashStack = 18000;

// The status texts a job starts with.
const char kBlankStatus[] = "     ";

// A job whose identification worker cannot be started ends with
// devid_kPortNotOpened, which the coordinator drops; a flash job
// whose worker cannot be started ends with "Unable to open port": the
// device was never reached and is unchanged.
constexpr int32_t kIdentifyNotStarted = devid_kPortNotOpened;
constexpr int32_t kFlashNotStarted = flsh_cPortOpen;

}  // namespace

// ---------------------------------------------- 1. Results and the abort flag

namespace {

std::atomic<int32_t> g_bAbort{0};

const char* const kResultTexts[] = {
    "Successful",
    "Handshake failure",
    "Aborted by user",
    "Bad .HEX file",
    "Failure to verify update",
    "Timeout updating device",
    "Unable to open .HEX file",
    "Unable to open port",
    "Incompatible sector sizes",
    "Incompatible types",
    "Wrong version for device",
    "Error sorting the .hex file",
    "Error trying to unprotect boot sector",
    "Error trying to get Flash Loader version",
};

}  // namespace

void AbortAllJobs() { g_bAbort = 1; }

void ResetAbortFlag() { g_bAbort = 0; }

int32_t GetResult(const FlashJob* pJob) { return pJob->nResult.load(); }

const char* FlashResultText(int32_t nResult)
{
    constexpr int32_t nCount = static_cast<int32_t>(sizeof kResultTexts / sizeof kResultTexts[0]);
    return nResult >= 0 && nResult < nCount ? kResultTexts[nResult] : "Unknown update error";
}

const char* GetResultText(const FlashJob* pJob) { return FlashResultText(GetResult(pJob)); }

int32_t GetPercent(const FlashJob* pJob)
{
    os_Mutex hMutex = pJob->hMutex;
    os_LockMutex(&hMutex);
    int32_t nPercent = pJob->nPercent;
    os_UnlockMutex(&hMutex);
    return nPercent;
}

void GetJobStatus(FlashJob* pJob, int32_t* pnPercent, char* pszText, size_t nTextSize)
{
    os_LockMutex(&pJob->hMutex);
    if (pnPercent != nullptr)
        *pnPercent = pJob->nPercent;
    if (pszText != nullptr && nTextSize > 0)
        gn_StrCopyN(pszText, pJob->szStatusText, static_cast<int>(nTextSize));
    os_UnlockMutex(&pJob->hMutex);
}

// ------------------------------------------------------------ 2. Job operations

namespace {

void setText(char* pszField, size_t nSize, const char* pszText) { gn_StrCopyN(pszField, pszText, static_cast<int>(nSize)); }

}  // namespace

void InitFlashJob(FlashJob* pJob, const char* pszPort, int32_t nBaud)
{
    pJob->nEvent = -1;
    pJob->nPercent = 0;
    pJob->nEventData = 0;
    pJob->nVerifyErrors = 0;
    pJob->nGoTimeouts = 0;
    pJob->nHeaderErrors = 0;
    pJob->nBlockErrors = 0;
    setText(pJob->szStatus, sizeof pJob->szStatus, kBlankStatus);
    pJob->szStatusText[0] = '\0';

    memset(&pJob->info, 0, sizeof pJob->info);
    setText(pJob->info.szModel, sizeof pJob->info.szModel, kBlankStatus);
    setText(pJob->info.szVersion, sizeof pJob->info.szVersion, kBlankStatus);
    setText(pJob->info.szCountry, sizeof pJob->info.szCountry, kBlankStatus);
    setText(pJob->info.szSpecialBuild, sizeof pJob->info.szSpecialBuild, kBlankStatus);

    os_CreateMutex(&pJob->hMutex);
    setText(pJob->szPort, sizeof pJob->szPort, pszPort != nullptr ? pszPort : "");
    pJob->pszHexFile = nullptr;
    pJob->nFlags = 0;
    pJob->bHandshakeOnly = 0;
    pJob->bUpdateBootCode = 0;
    pJob->bBootCodeOnly = 0;
    pJob->nStartMode = flsh_kStartNormal;
    pJob->nBaud = nBaud;
    pJob->nHighestDataAddress = 0;
    pJob->szBootCodeVersion[0] = '\0';
    pJob->hThread = 0;
    pJob->nResult = flsh_cRunning;
}

void DeleteFlashJob(FlashJob* pJob) { os_DeleteMutex(&pJob->hMutex); }

int StartIdentifyJob(FlashJob* pJob)
{
    os_LockMutex(&pJob->hMutex);
    pJob->nEvent = -1;
    pJob->nPercent = 0;
    setText(pJob->szStatus, sizeof pJob->szStatus, kBlankStatus);
    os_UnlockMutex(&pJob->hMutex);
    pJob->nResult = flsh_cRunning;

    if (os_CreateThread(&pJob->hThread, IdentifyThreadProc, kIdentifyStack, pJob))
        return 1;
    DBG_LOG("<%s> Unable to start the identification thread", pJob->szPort);
    pJob->info.nStatus = kIdentifyNotStarted;
    pJob->nResult = kIdentifyNotStarted;
    return 0;
}

void StartFlashJob(FlashJob* pJob, const char* pszHexFile, uint32_t nFlags, int32_t bHandshakeOnly,
                   int32_t bUpdateBootCode, int32_t bBootCodeOnly, int32_t nStartMode)
{
    os_LockMutex(&pJob->hMutex);
    pJob->nEvent = 0;
    pJob->nPercent = 0;
    setText(pJob->szStatus, sizeof pJob->szStatus, kBlankStatus);
    setText(pJob->szStatusText, sizeof pJob->szStatusText, kBlankStatus);
    os_UnlockMutex(&pJob->hMutex);

    pJob->nFlags = nFlags;
    pJob->pszHexFile = pszHexFile;
    pJob->bHandshakeOnly = bHandshakeOnly;
    pJob->bUpdateBootCode = bUpdateBootCode;
    pJob->bBootCodeOnly = bBootCodeOnly;
    pJob->nStartMode = nStartMode;
    pJob->nResult = flsh_cRunning;

    if (os_CreateThread(&pJob->hThread, FlashThreadProc, kFlashStack, pJob))
        return;
    DBG_LOG("<%s> Unable to start the flash thread", pJob->szPort);
    pJob->nResult = kFlashNotStarted;
}

// ------------------------------------ 3. Workers: identification and flashing

namespace {

// The protocols, chosen by the family bits of the controller flags: the
// first row whose bits under nMask equal nValue runs the job. Lucent is
// 0x100 whatever 0x200 is; Rockwell 0x200 without 0x100; AT neither, so
// every value of the flags has its row.
struct ProtocolChoice {
    uint32_t nMask;                  // family bits looked at
    uint32_t nValue;                 // their value for this protocol
    FlashProtocolFn pfnProgram;      // the protocol's entry point
    bool bTakesFlags;                // passed the controller flags, else the flash type
};

const ProtocolChoice kProtocols[] = {
    {ModelDb_kFlagLucent, ModelDb_kFlagLucent, LucFlsh_Program, false},
    {ModelDb_kFlagLucent | ModelDb_kFlagRockwell, ModelDb_kFlagRockwell, RockFlsh_Program, false},
    {ModelDb_kFlagLucent | ModelDb_kFlagRockwell, 0, AtFlsh_Program, true},
};

const ProtocolChoice& protocolFor(uint32_t nFlags)
{
    for (const ProtocolChoice& choice : kProtocols) {
        if ((nFlags & choice.nMask) == choice.nValue)
            return choice;
    }
    return kProtocols[sizeof kProtocols / sizeof kProtocols[0] - 1];
}

}  // namespace

uint32_t IdentifyThreadProc(void* pArg)
{
    FlashJob* pJob = static_cast<FlashJob*>(pArg);
    pJob->nResult = devid_Identify(&pJob->info, pJob->szPort, IdentifyProgress, pJob);
    return 0;
}

uint32_t FlashThreadProc(void* pArg)
{
    FlashJob* pJob = static_cast<FlashJob*>(pArg);
    const ProtocolChoice& choice = protocolFor(pJob->nFlags);
    uint32_t nFlagsOrType = choice.bTakesFlags ? pJob->nFlags : static_cast<uint32_t>(pJob->info.flashId.nType);
    int32_t nResult = choice.pfnProgram(pJob->szPort, pJob->pszHexFile, nFlagsOrType, pJob->bHandshakeOnly,
                                 !pJob->bUpdateBootCode, &pJob->nBaud, &pJob->nHighestDataAddress,
                                 pJob->szBootCodeVersion, FlashProgress, pJob, pJob->bBootCodeOnly, pJob->nStartMode,
                                 pJob->info.nFlashCmdVariant);
    pJob->nResult = nResult;
    return 0;
}

// --------------------------------------------------------- 4. Progress callbacks

bool flsh_Report(FlashProgressFn pfnProgress, void* pContext, int32_t nEvent, int32_t a, uint32_t b)
{
    return pfnProgress == nullptr || pfnProgress(pContext, nEvent, a, b) != 0;
}

int32_t IdentifyProgress(void* pArg, int32_t nStage)
{
    static const char* const kStageStatus[] = {"M    ", "M  50", "M 100", "I    ", "I  50", "I 100"};
    FlashJob* pJob = static_cast<FlashJob*>(pArg);
    os_LockMutex(&pJob->hMutex);
    if (nStage != pJob->nEvent) {
        pJob->nEvent = nStage;
        if (nStage >= 0 && nStage < static_cast<int32_t>(sizeof kStageStatus / sizeof kStageStatus[0]))
            setText(pJob->szStatus, sizeof pJob->szStatus, kStageStatus[nStage]);
    }
    os_UnlockMutex(&pJob->hMutex);
    return 1;
}

namespace {

// What one flash event does to a job. The status is pszStatus itself, or,
// for a percent event, pszStatus followed by a as two digits ("%2.2d") and
// pszFull when a is 100 and pszFull is given.
struct EventEffect {
    const char* pszStatus;           // fixed status or percent prefix; null: unchanged
    bool bPercent;                   // pszStatus is a prefix of a's two digits
    const char* pszFull;             // the status when a is 100; null: none
    const char* pszText;             // the status text; null: unchanged
    int32_t FlashJob::*pCounter;     // the counter raised; null: none
};

const EventEffect kEventEffects[] = {
    {nullptr, false, nullptr, nullptr, nullptr},                                     // 0
    {"I    ", false, nullptr, "Handshaking", nullptr},                               // 1
    {"R    ", false, nullptr, " ", nullptr},                                         // 2
    {"H  ", true, nullptr, "Handshaking", nullptr},                                  // 3
    {"H 100", false, nullptr, "Handshaking Done", nullptr},                          // 4
    {"P  00", false, nullptr, "Programming", nullptr},                               // 5
    {"P  ", true, "P 100", "Programming", nullptr},                                  // 6
    {nullptr, false, nullptr, nullptr, &FlashJob::nVerifyErrors},                    // 7
    {"T  ", true, nullptr, "Programming Timeout", nullptr},                          // 8
    {"P 100", false, nullptr, "Programming Done", nullptr},                          // 9
    {nullptr, false, nullptr, nullptr, &FlashJob::nGoTimeouts},                      // 10
    {nullptr, false, nullptr, nullptr, &FlashJob::nHeaderErrors},                    // 11
    {nullptr, false, nullptr, nullptr, &FlashJob::nBlockErrors},                     // 12
    {"PL  ", true, "PL 100", "Programming FlashLdr.hex", nullptr},                   // 13
    {"Sort", false, nullptr, "Sorting File", nullptr},                               // 14
};

// Applies one flash event to the job's status (the job's mutex held);
// events 0 and 15 and above change nothing.
void applyEvent(FlashJob* pJob, int32_t nEvent, int32_t a)
{
    if (nEvent < 0 || nEvent >= static_cast<int32_t>(sizeof kEventEffects / sizeof kEventEffects[0]))
        return;
    const EventEffect& effect = kEventEffects[nEvent];
    if (effect.pCounter != nullptr)
        ++(pJob->*effect.pCounter);
    if (effect.pszFull != nullptr && a == 100)
        setText(pJob->szStatus, sizeof pJob->szStatus, effect.pszFull);
    else if (effect.bPercent)
        snprintf(pJob->szStatus, sizeof pJob->szStatus, "%s%2.2d", effect.pszStatus, a);
    else if (effect.pszStatus != nullptr)
        setText(pJob->szStatus, sizeof pJob->szStatus, effect.pszStatus);
    if (effect.pszText != nullptr)
        setText(pJob->szStatusText, sizeof pJob->szStatusText, effect.pszText);
}

}  // namespace

int32_t FlashProgress(void* pArg, int32_t nEvent, int32_t a, uint32_t b)
{
    FlashJob* pJob = static_cast<FlashJob*>(pArg);
    os_LockMutex(&pJob->hMutex);
    // A report equal to the last one is stored once and counted once.
    if (nEvent != pJob->nEvent || a != pJob->nPercent || b != pJob->nEventData) {
        pJob->nEvent = nEvent;
        pJob->nPercent = a;
        pJob->nEventData = b;
        applyEvent(pJob, nEvent, a);
    }
    os_UnlockMutex(&pJob->hMutex);
    return g_bAbort ? 0 : 1;
}
