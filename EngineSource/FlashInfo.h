// Flash jobs: the one meeting point between the GUI thread and the worker
// thread that serves one port. The GUI thread fills a job's inputs and starts
// a worker on it; the worker runs identification or one of the three flash
// protocols, reports progress through a callback that writes the job's
// status under the job's mutex, and ends by storing its result. The GUI
// thread polls: a job whose result is -1 is still running.
//
// Map of this header:
//   1. Results, events and controller bits    3. Job operations
//   2. The job record                         4. Workers and callbacks
#ifndef NORVANE_ENGINESOURCE_FLASHINFO_H
#define NORVANE_ENGINESOURCE_FLASHINFO_H

#include "EngineSource/OSWIN32.h"
#include "EngineSource/devid.h"
#include "model/ModelDb.h"

#include <atomic>
#include <cstdint>

// ------------------------------------- 1. Results, events and controller bits

// FlashResult: the result of a flash run (GetResultText gives its text).
// A job's result is flsh_cRunning while its worker runs.
constexpr int32_t flsh_cRunning = -1;
constexpr int32_t flsh_cSuccessful = 0;          // "Successful"
constexpr int32_t flsh_cHandshakeFailure = 1;    // "Handshake failure"
constexpr int32_t flsh_cAborted = 2;             // "Aborted by user"
constexpr int32_t flsh_cBadHexFile = 3;          // "Bad .HEX file"
constexpr int32_t flsh_cVerifyFailed = 4;        // "Failure to verify update"
constexpr int32_t flsh_cTimeout = 5;             // "Timeout updating device"
constexpr int32_t flsh_cHexFileOpen = 6;         // "Unable to open .HEX file"
constexpr int32_t flsh_cPortOpen = 7;            // "Unable to open port"
constexpr int32_t flsh_cSectorSizes = 8;         // "Incompatible sector sizes"
constexpr int32_t flsh_cTypes = 9;               // "Incompatible types"
constexpr int32_t flsh_cWrongVersion = 10;       // "Wrong version for device"
constexpr int32_t flsh_cSortError = 11;          // "Error sorting the .hex file"
constexpr int32_t flsh_cUnprotectBoot = 12;      // "Error trying to unprotect boot sector"
constexpr int32_t flsh_cLoaderVersion = 13;      // "Error trying to get Flash Loader version"

// Progress events a protocol reports through FlashProgressFn (a, b: see
// FlashProgress).
constexpr int32_t flsh_cEventIdle = 1;           // "I    ", "Handshaking"
constexpr int32_t flsh_cEventRetry = 2;          // "R    ", " "
constexpr int32_t flsh_cEventHandshake = 3;      // "H  %2.2d", "Handshaking"
constexpr int32_t flsh_cEventHandshakeDone = 4;  // "H 100", "Handshaking Done"
constexpr int32_t flsh_cEventProgramStart = 5;   // "P  00", "Programming"
constexpr int32_t flsh_cEventProgram = 6;        // "P  %2.2d" / "P 100", "Programming"
constexpr int32_t flsh_cEventVerifyError = 7;    // counts nVerifyErrors
constexpr int32_t flsh_cEventTimeout = 8;        // "T  %2.2d", "Programming Timeout"
constexpr int32_t flsh_cProgramDone = 9;         // "P 100", "Programming Done"
constexpr int32_t flsh_cEventGoTimeout = 10;     // counts nGoTimeouts
constexpr int32_t flsh_cEventHeaderError = 11;   // counts nHeaderErrors
constexpr int32_t flsh_cEventBlockError = 12;    // counts nBlockErrors
constexpr int32_t flsh_cEventLoader = 13;        // "PL  %2.2d" / "PL 100", "Programming FlashLdr.hex"
constexpr int32_t flsh_cEventSort = 14;          // "Sort", "Sorting File"

// The controller flag bits the engine reads (ModelDb_kFlag...) are defined
// with the model database, model/ModelDb.h.

// Progress callback of the protocols: context (the job), event, a, b.
// Returns nonzero to go on, 0 when the protocol must stop with result 2.
typedef int32_t (*FlashProgressFn)(void* pContext, int32_t nEvent, int32_t a, uint32_t b);

// Reports event nEvent with a and b through pfnProgress, which may be null.
// Returns false when the callback answered 0 (the run must stop with result
// 2). Returns true otherwise, also when there is no callback.
bool flsh_Report(FlashProgressFn pfnProgress, void* pContext, int32_t nEvent, int32_t a, uint32_t b);

// Entry point shared by the three protocols (AtFlsh_Program,
// LucFlsh_Program, RockFlsh_Program): runs one update of the device on one
// port. The parameters, in order:
//   pszPort           the port's device name ("\\.\COM3")
//   pszHexFile        the firmware file
//   nFlagsOrType      AT: the controller flags; Lucent and Rockwell: the flash type
//   bHandshakeOnly    1: stop once the device is in programming mode
//   bProtectBoot      1: keep the boot sector protected (not bUpdateBootCode)
//   pnBaud            in: the baud rate asked for; out (AT): the rate used
//   pnHighestAddress  out (AT): the highest data address
//   pszVersion        out: the boot-code version text, flsh_kVersionSize bytes or more
//   pfnProgress       the progress callback, may be null
//   pContext          the callback's context (the job), passed unchanged
//   bBootCodeOnly     1: the device runs only its boot code
//   nStartMode        Lucent: how the loader is reached (flsh_kStart...)
//   nCmdVariant       Lucent: the flash command variant identification found
// Returns a FlashResult: flsh_cSuccessful (0 is success) or the failure's
// code. Every buffer is the caller's; the protocol closes what it opens.
typedef int32_t (*FlashProtocolFn)(const char* pszPort, const char* pszHexFile, uint32_t nFlagsOrType,
                                   int32_t bHandshakeOnly, int32_t bProtectBoot, int32_t* pnBaud,
                                   uint32_t* pnHighestAddress, char* pszVersion, FlashProgressFn pfnProgress,
                                   void* pContext, int32_t bBootCodeOnly, int32_t nStartMode,
                                   int32_t nCmdVariant);

// ---------------------------------------------------------- 2. The job record

// How the Lucent protocol reaches its flash loader (FlashJob::nStartMode).
constexpr int32_t flsh_kStartNormal = 0;           // start the loader already in the device
constexpr int32_t flsh_kStartIdentified = 1;       // the same, after the flash identification was read
constexpr int32_t flsh_kStartDownloadLoader = 2;   // download FlashLdr.hex first

constexpr size_t flsh_kStatusSize = 21;
constexpr size_t flsh_kStatusTextSize = 32;
constexpr size_t flsh_kVersionSize = 24;

struct FlashJob {
    int32_t nEvent;                          // last event or identification stage stored
    int32_t nPercent;                        // a of the last flash event (percent done)
    uint32_t nEventData;                     // b of the last flash event
    int32_t nVerifyErrors;                   // times event 7 was stored
    int32_t nGoTimeouts;                     // times event 10 was stored
    int32_t nHeaderErrors;                   // times event 11 was stored
    int32_t nBlockErrors;                    // times event 12 was stored
    char szStatus[flsh_kStatusSize];         // short status code, e.g. "P  42"
    char szStatusText[flsh_kStatusTextSize]; // status text, e.g. "Programming"
    os_Mutex hMutex;                         // guards nEvent through szStatusText
    char szPort[os_kMaxPath];                // device path, "\\.\COM3" or "\\.\/dev/ttyUSB0"
    const char* pszHexFile;                  // file to program (the device record's; outlives the job)
    uint32_t nFlags;                         // controller flags of the device's model
    std::atomic<int32_t> nResult;            // -1 while a worker runs, then its result
    int32_t nBaud;                           // in: baud rate asked for; out (AT): the rate used
    uint32_t nHighestDataAddress;            // out (AT): start address of the last block
    char szBootCodeVersion[flsh_kVersionSize];  // out: boot-code or loader version
    os_Thread hThread;                       // the worker thread
    devid_DeviceInfo info;                   // identification block
    int32_t bHandshakeOnly;                  // stop once the device is in programming mode
    int32_t bUpdateBootCode;                 // the update rewrites the boot code too
    int32_t bBootCodeOnly;                   // the device runs only its boot code
    int32_t nStartMode;                      // Lucent: flsh_kStartNormal ... flsh_kStartDownloadLoader
};

// ---------------------------------------------------------- 3. Job operations

// Prepares a job once, when its device record is built: idle status texts,
// the identification texts "     ", a new mutex, the port path (copied) and
// the baud rate, result -1.
void InitFlashJob(FlashJob* pJob, const char* pszPort, int32_t nBaud);
// Releases what InitFlashJob made (the mutex). The job must have no worker.
void DeleteFlashJob(FlashJob* pJob);

// Starts identification of the job's port in a worker thread. Returns 1
// (1 is success) when the worker runs. Returns 0 when it could not be
// created: the job then ends at once with status 1 ("opening the port
// failed", also in info.nStatus), which the coordinator drops.
int StartIdentifyJob(FlashJob* pJob);

// Starts a flash run of the job's port in a worker thread with the given
// file, flags and options. pszHexFile stays the caller's and must outlive
// the run. There is no result: when the worker cannot be created, the job
// ends at once with 7 ("Unable to open port": the device was never
// reached), so no caller waits for ever.
void StartFlashJob(FlashJob* pJob, const char* pszHexFile, uint32_t nFlags, int32_t bHandshakeOnly,
                   int32_t bUpdateBootCode, int32_t bBootCodeOnly, int32_t nStartMode);

// Sets the process-wide abort flag: from now on every FlashProgress answers
// 0 and each protocol stops with result 2 at its next report.
void AbortAllJobs();
// Clears the abort flag for a new run in the same process (tests, tools).
// The wizard never calls it: a cancelled run stays cancelled.
void ResetAbortFlag();

// The job's result: -1 while its worker runs.
int32_t GetResult(const FlashJob* pJob);
// The text of the job's result; "Unknown update error" outside 0 to 13.
const char* GetResultText(const FlashJob* pJob);
// The text of a FlashResult.
const char* FlashResultText(int32_t nResult);
// The job's percent, read under its mutex.
int32_t GetPercent(const FlashJob* pJob);

// Copies the job's percent and status text under its mutex (for pollers).
void GetJobStatus(FlashJob* pJob, int32_t* pnPercent, char* pszText, size_t nTextSize);

// ------------------------------------------------ 4. Workers and callbacks

// Identification worker: stores devid_Identify's status as the result.
uint32_t IdentifyThreadProc(void* pJob);
// Flash worker: runs the protocol the flags choose (Lucent with 0x100, else
// Rockwell with 0x200, else AT) and stores its result. Flags whose protocol
// this program does not hold end the job with 9 ("Incompatible types")
// without touching the device.
uint32_t FlashThreadProc(void* pJob);
// Stores an identification stage and its status code ("M    " ... "I 100");
// always answers 1.
int32_t IdentifyProgress(void* pJob, int32_t nStage);
// Stores a flash event with a and b and applies it to the status, status
// text and counters; a report equal to the last one is stored and counted
// once. Answers 0 once the abort flag is set, else 1.
int32_t FlashProgress(void* pJob, int32_t nEvent, int32_t a, uint32_t b);

#endif
