// Device identification: talks to a modem or terminal adapter in plain AT
// commands over a port the caller has opened with the serial layer, and
// turns the replies into a model, version, country and special build.
//
// Map of this header:
//   1. AT command exchange (devid_SendCommand, devid_ReadATI1)
#ifndef NORVANE_ENGINESOURCE_DEVID_H
#define NORVANE_ENGINESOURCE_DEVID_H

#include "EngineSource/Urswin32.h"

#include <cstdint>

// ------------------------------------------------- 1. AT command exchange

// Progress callback: called with the caller's argument (passed through
// unchanged) and a stage number; returns non-zero to go on, 0 to stop.
// devid_SendCommand calls it with stage 1 and devid_ReadATI1 with stage 4,
// once per iteration of their wait loops, from the thread that owns the port.
typedef int32_t (*devid_ProgressFn)(void* pArg, int32_t nStage);

// Longest pause of one wait-loop iteration when no byte is waiting
// (runtime-clock milliseconds): the callback runs at least this often and a
// reply's last byte is seen at once, while a waiting thread stays idle.
constexpr int devid_kWaitSliceMs = 50;

// Sends pszCommand unchanged (it carries its own carriage return) and
// collects the reply after the echo of the command into pszReply, an area of
// nReplySize bytes (terminator included) owned by the caller; reply bytes
// beyond it are dropped while the final "OK\r\n" is still watched for.
//
// The echo line is skipped (up to its carriage return and the line feed
// after it). With bFirstLineOnly 1 the first line after it is collected,
// without its carriage return; with 0 everything up to and including the
// final "OK\r\n". Any "OK\r\n" in the received bytes, echo included, ends
// the wait. The deadline is nTimeout seconds for the whole exchange.
//
// Returns 1 after "OK\r\n" (text trimmed of outer spaces, tabs, CR and LF),
// and 1 in all-lines mode when the deadline passed (text collected so far,
// not trimmed). Returns 0 when the command could not be written (empty
// text), when the callback returned 0 (text so far), when the deadline
// passed in first-line mode (text so far), or when a read gave -1, which is
// a time-out or a received 0xFF (text so far; the deadline is then left
// armed). pfnProgress may be null.
int devid_SendCommand(urs_Port* pPort, char* pszReply, uint32_t nReplySize, uint32_t nTimeout,
                      devid_ProgressFn pfnProgress, void* pArg, const char* pszCommand,
                      uint32_t bFirstLineOnly);

// Sends "ATI1\r" and splits the reply after the echo into three fields, each
// a caller-owned area with its size (terminator included; bytes beyond it
// are dropped): the first line, then (after skipping the second line) the
// third and the fourth line. Lines end at carriage returns; the fields are
// trimmed. A field is written from its start once the reply reaches it; a
// field the reply never reaches keeps its contents. Returns 1 after "OK\r\n"; 0 when the command could not be
// written, the callback returned 0, or the deadline of nTimeout seconds
// passed. Every read result, -1 included, is taken as a byte. pfnProgress
// is called with stage 4 once per iteration; a null one never stops it.
int devid_ReadATI1(urs_Port* pPort, char* pszField1, uint32_t nSize1, char* pszField2, uint32_t nSize2,
                   char* pszField3, uint32_t nSize3, uint32_t nTimeout, devid_ProgressFn pfnProgress,
                   void* pArg);

#endif
