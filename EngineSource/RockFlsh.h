// Rockwell flash protocol: programs devices whose controller flags have bit
// 0x200 and not 0x100. "AT**\r" tells the device to accept a download; the
// protocol then streams two text files to it line by line, without waiting
// for any per-line reply: the boot loader ./BPFL24.s37 (Motorola S-records,
// from the working folder), then the firmware hex file. Between the steps it
// waits for the device's announcements "Download initiated ..\r\n",
// "Download flash code ..\r\n" and "Device successfully programmed\r\n" (or
// an "OK" in their place). The port runs with CTS flow control so the
// device paces the stream. Neither file is parsed: each line goes out as it
// stands, followed by CR LF.
#ifndef NORVANE_ENGINESOURCE_ROCKFLSH_H
#define NORVANE_ENGINESOURCE_ROCKFLSH_H

#include "EngineSource/FlashInfo.h"
#include "EngineSource/FlshLine.h"
#include "EngineSource/OSWIN32.h"
#include "EngineSource/Urswin32.h"

#include <cstdint>

// Programs one device: the thirteen protocol arguments of FlashProtocolFn.
// Used: the port path; the hex-file path; handshake only; *pnBaud (read);
// the callback and its context. The flash type, protect boot, the
// highest-address and version pointers, boot-code only, the start mode and
// the command variant are not used.
// With handshake only set no file is opened: the run ends after the first
// announcement with 0 (or 1 when none comes).
// Returns a FlashResult:
//   0  programmed (or, handshake only, the download was initiated)
//   1  "AT**\r" cannot be written, or no announcement (or "OK") within 10 s
//      at one of the three waits
//   2  the callback answered 0
//   3  a line of either file cannot be read or is longer than 125 characters
//   4  a line cannot be written
//   6  ./BPFL24.s37 or the hex file cannot be opened
//   7  the port cannot be opened, or its line settings (flow control
//      among them) cannot be made
// Every path closes the port and the files it opened.
int32_t RockFlsh_Program(const char* pszPort, const char* pszHexFile, uint32_t nFlashType, int32_t bHandshakeOnly,
                         int32_t bProtectBoot, int32_t* pnBaud, uint32_t* pnHighestAddress, char* pszVersion,
                         FlashProgressFn pfnProgress, void* pContext, int32_t bBootCodeOnly, int32_t nStartMode,
                         int32_t nCmdVariant);

// Streams the open file hFile line by line on the open port (each line up
// to its first LF, then CR LF), reporting event 6 with the percentage of the
// file consumed after each line and event 9 (100) at end of file. Returns a
// FlashResult: 0, 2 (callback answered 0), 3 (a line cannot be read or does
// not fit), 4 (a line cannot be written: logged, event 7 reported with the
// percentage before that line).
int32_t RockFlsh_SendFile(flsh_SendContext* pRockContext, urs_Port* pPort, osfl_Handle hFile,
                          FlashProgressFn pfnProgress);

// The three announcement waits, 10 s each. Each returns 0 when its
// announcement or an "OK" has arrived, 1 on time-out (or a failed read).
int RockFlsh_WaitInitiated(urs_Port* pPort);     // "Download initiated ..\r\n", after "AT**\r"
int RockFlsh_WaitFlashCode(urs_Port* pPort);     // "Download flash code ..\r\n", after the boot loader
int RockFlsh_WaitProgrammed(urs_Port* pPort);    // "Device successfully programmed\r\n", after the firmware

#endif
