// Lucent flash protocol: programs devices whose controller flags have bit
// 0x100. A flash loader running in the device writes the flash. The loader
// is either started where the device already holds it ("AT&&FGO\r" or
// "AT&&WGO\r") or first downloaded from ./FlashLdr.hex in the working folder,
// each line sent as "at&&f" or "at&&w" + line + CR LF. The loader announces
// its version ("Ver:4.3" or "Ver:4.4"), which is checked against the
// device's flash type; then the firmware hex file goes out line by line, each
// line answered by "OK" or refused by "NOK1" to "NOK4". Lines are sent as
// text exactly as they stand; hex records are not parsed. The command
// variant of identification chooses the F or the W form of every command.
#ifndef NORVANE_ENGINESOURCE_LUCFLSH_H
#define NORVANE_ENGINESOURCE_LUCFLSH_H

#include "EngineSource/FlashInfo.h"
#include "EngineSource/FlshLine.h"
#include "EngineSource/OSWIN32.h"
#include "EngineSource/Urswin32.h"

#include <cstdint>

// Reply codes of GetOKorNOKx and LucFlsh_WaitOK.
constexpr int LucFlsh_kReplyOk = 0;        // "OK": line accepted
constexpr int LucFlsh_kReplyTimeout = 1;   // nothing complete before the deadline
constexpr int LucFlsh_kReplyNok1 = 2;      // "NOK1": refused, go on with the next line
constexpr int LucFlsh_kReplyNok2 = 3;      // "NOK2": refused, send the line again
constexpr int LucFlsh_kReplyNok3 = 4;      // "NOK3": refused, send the line again
constexpr int LucFlsh_kReplyNok4 = 5;      // "NOK4": refused, go on with the next line

// Download modes of LucFlsh_Download.
constexpr int32_t LucFlsh_kModeLoader = 0;     // ./FlashLdr.hex, prefixed lines, event 13
constexpr int32_t LucFlsh_kModeFirmware = 1;   // the job's hex file, plain lines, event 6

// Results of LucFlsh_GetVersion.
constexpr int LucFlsh_kVersionSeen = 0;        // a version reply, then "OK"
constexpr int LucFlsh_kVersionTimeout = 1;     // no "OK" before the deadline
constexpr int LucFlsh_kVersionMissing = 6;     // "OK" without a version reply before it

// Programs one device: the thirteen protocol arguments of FlashProtocolFn.
// Used: the port path; the hex-file path; the flash type (of the
// identification block); handshake only (stop once the loader runs; the hex
// file is not opened); *pnBaud (read); pszVersion (the loader version text,
// flsh_kVersionSize bytes: cleared when the run starts, then "4.3" or "4.4"
// as the loader reports it); the callback and its context; the start mode
// (0 or 1 start the loader in the device, 2 downloads ./FlashLdr.hex first,
// any other reaches no loader); the command variant (0: "AT&&FGO\r" and
// "at&&f", else "AT&&WGO\r" and "at&&w"). Protect boot, the highest-address
// pointer and boot-code only are not used.
// The port settles 10 s after opening and 2 s before closing (runtime
// clock). Returns a FlashResult:
//   0  programmed (or, handshake only, the loader reached)
//   2  the callback answered 0
//   3  a line of the loader or firmware file cannot be read or does not fit
//      (loader lines up to 120 characters, firmware lines up to 125)
//   4  a firmware line refused with NOK2/NOK3 was not accepted after four
//      re-sends, or a re-send could not be written
//   5  a loader line unanswered after three re-sends or refused; a
//      firmware line unanswered after its second wait
//   6  the hex file or ./FlashLdr.hex cannot be opened
//   7  the port cannot be opened
//   10 the loader's version does not fit: it must be "4.4", or "4.3" on a
//      flash type other than 3
//   13 the start command cannot be written, or no "OK" within 2 s after it,
//      or "OK" without a version
// Every path closes the port and the files it opened.
int32_t LucFlsh_Program(const char* pszPort, const char* pszHexFile, uint32_t nFlashType, int32_t bHandshakeOnly,
                        int32_t bProtectBoot, int32_t* pnBaud, uint32_t* pnHighestAddress, char* pszVersion,
                        FlashProgressFn pfnProgress, void* pContext, int32_t bBootCodeOnly, int32_t nStartMode,
                        int32_t nCmdVariant);

// Sends the open file hFile line by line on the open port, waiting for each
// line's reply. Mode LucFlsh_kModeLoader: each line prefixed with the
// variant's "at&&f"/"at&&w", 2 s per reply, a line unanswered is sent again
// up to three times, progress event 13; any reply other than "OK" in the end
// returns 5. Mode LucFlsh_kModeFirmware: lines unchanged, 180 s for both
// waits of the first line and the first wait of the second, 2 s for every
// later wait, a second wait (without re-send) after a time-out, refusals
// handled by LucFlsh_RecoverNOK, progress event 6. Version replies seen on
// the way are written into pszVersion (at least 4 bytes). A failed write is
// reported as event 7 and the reply awaited all the same. At end of file
// event 9 (100) is reported. Returns a FlashResult: 0, 2 (callback answered
// 0), 3 (bad line), 4 (refused line not accepted), 5 (unanswered line).
int32_t LucFlsh_Download(flsh_SendContext* pLucContext, urs_Port* pPort, osfl_Handle hFile, int32_t nMode,
                         char* pszVersion, FlashProgressFn pfnProgress, int32_t nCmdVariant);

// Waits up to nTimeout seconds for the reply to a line: the code of the
// first reply to complete in the received bytes. A "NOK1" to "NOK4" is
// reported as its own code, never as the "OK" inside it (a "NOK" followed by
// anything else is no reply). A "Ver:4.3" or "Ver:4.4" writes "4.3" or "4.4"
// into pszVersion (null: not kept; else at least 4 bytes) and reading goes
// on. Returns LucFlsh_kReplyOk, a LucFlsh_kReplyNok* code, or
// LucFlsh_kReplyTimeout (also when the read fails). A time-out of 0 looks
// only at bytes already received.
int GetOKorNOKx(urs_Port* pPort, uint32_t nTimeout, char* pszVersion);

// Waits up to nTimeout seconds for the loader's answer to its start
// command: "OK", with the version reply noted on the way (pszVersion as for
// GetOKorNOKx). Refusal codes are not looked for. Returns
// LucFlsh_kVersionSeen, LucFlsh_kVersionMissing or LucFlsh_kVersionTimeout.
// A time-out of 0 looks only at bytes already received.
int LucFlsh_GetVersion(urs_Port* pPort, uint32_t nTimeout, char* pszVersion);

// Waits up to nTimeout seconds for the reply to a line sent again after a
// refusal, judged as the first reply is: LucFlsh_kReplyOk, a refusal code
// (the "OK" inside a "NOKn" is never taken for acceptance) or
// LucFlsh_kReplyTimeout. A time-out of 0 looks only at bytes already
// received.
int LucFlsh_WaitOK(urs_Port* pPort, uint32_t nTimeout);

// Recovers from a refused firmware line. pszLine is the text last sent
// (with its CR LF); nCode the refusal. Returns 1 when the transfer may go
// on with the next line (1 is success), 0 when the run must stop. NOK1 and
// NOK4 return 1 at once. NOK2 and NOK3: the line is sent again and its reply
// awaited for 2 s (LucFlsh_WaitOK), up to four times: "OK", NOK1 or NOK4
// return 1; NOK2, NOK3 or no reply send it again; 0 when the fourth reply is
// not one of those or a re-send cannot be written. Any other code returns 0.
int LucFlsh_RecoverNOK(urs_Port* pPort, const char* pszLine, int nCode);

#endif
