// Device identification: talks to a modem or terminal adapter in plain AT
// commands over a port the caller has opened with the serial layer, and
// turns the replies into a model, version, country and special build.
//
// Map of this header:
//   1. AT command exchange (devid_SendCommand, devid_ReadATI1)
//   2. Device identification (devid_Identify and its steps)
//   3. Flash identification of Lucent-based devices (device side)
//
// The file side of flash identification (a hex file's flash identification,
// the comparison with a device, the start mode of a flash job) is in
// devidFlashFile.h, which builds on the flash jobs.
#ifndef NORVANE_ENGINESOURCE_DEVID_H
#define NORVANE_ENGINESOURCE_DEVID_H

#include "EngineSource/Urswin32.h"

#include <cstddef>
#include <cstdint>

// ------------------------------------------------- 1. AT command exchange

// Progress callback: called with the caller's argument (passed through
// unchanged) and a stage number; returns non-zero to go on, 0 to stop.
// devid_SendCommand calls it with stage 1 and devid_ReadATI1 with stage 4,
// once per iteration of their wait loops, from the thread that owns the port.
typedef int32_t (*devid_ProgressFn)(void* pArg, int32_t nStage);

// Reports stage nStage through pfnProgress, which may be null. Returns false
// when the callback answered 0 (the exchange or sequence stops). Returns
// true otherwise, also when there is no callback.
bool devid_Report(devid_ProgressFn pfnProgress, void* pArg, int32_t nStage);

// Longest pause of one wait-loop iteration when no byte is waiting
// (runtime-clock milliseconds): the callback runs at least this often and a
// reply's last byte is seen at once, while a waiting thread stays idle. The
// exchange's loops wait through urs_NextByte, so this is its slice.
constexpr int devid_kWaitSliceMs = urs_kWaitSliceMs;

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
// Returns 1 (1 is success) after "OK\r\n" (text trimmed of outer spaces, tabs, CR and LF),
// and 1 in all-lines mode when the deadline passed (text collected so far,
// not trimmed). Returns 0 when the command could not be written (empty
// text), when the callback returned 0 (text so far), when the deadline
// passed in first-line mode (text so far), or when a read gave -1, which is
// a time-out or a received 0xFF, or -4, which is a read error or a received
// 0xFC (text so far; the deadline is then left armed). pfnProgress may be
// null.
int devid_SendCommand(urs_Port* pPort, char* pszReply, uint32_t nReplySize, uint32_t nTimeout,
                      devid_ProgressFn pfnProgress, void* pArg, const char* pszCommand,
                      uint32_t bFirstLineOnly);

// Sends "ATI1\r" and splits the reply after the echo into three fields, each
// a caller-owned area with its size (terminator included; bytes beyond it
// are dropped): the first line, then (after skipping the second line) the
// third and the fourth line. Lines end at carriage returns; the fields are
// trimmed. A field is written from its start once the reply reaches it; a
// field the reply never reaches keeps its contents. Returns 1 (1 is success) after
// "OK\r\n"; 0 when the command could not be written, the callback returned
// 0, the deadline of nTimeout seconds passed, or a read gave -4 (a read
// error, or a received 0xFC; fields so far kept). A -1 is taken as the byte
// 0xFF. pfnProgress is called with stage 4 once per iteration; a null one
// never stops it.
int devid_ReadATI1(urs_Port* pPort, char* pszField1, uint32_t nSize1, char* pszField2, uint32_t nSize2,
                   char* pszField3, uint32_t nSize3, uint32_t nTimeout, devid_ProgressFn pfnProgress,
                   void* pArg);

// ---------------------------------------------- 2. Device identification

// Capacity of each text field of devid_DeviceInfo, terminator included.
constexpr size_t devid_kTextSize = 81;

// Identification status: devid_DeviceInfo::nStatus and the result of the
// identification operations.
constexpr int32_t devid_kIdentified = 0;          // model, version and country read
constexpr int32_t devid_kPortNotOpened = 1;       // the port could not be opened
constexpr int32_t devid_kNoModel = 2;             // no model in "ATI" or "ATI2"
constexpr int32_t devid_kNoVersion = 3;           // no version, or "ATI3" failed
constexpr int32_t devid_kStopped = 4;             // the progress callback answered 0
constexpr int32_t devid_kAtiFailed = 5;           // "ATI" failed but the model was named
constexpr int32_t devid_kPercentIFailed = 6;      // "AT%I" failed (terminal adapter)
constexpr int32_t devid_kPercentINonZero = 7;     // "AT%I" answered a non-zero number
constexpr int32_t devid_kFlashIdNoAnswer = 8;     // Lucent: no answer to the flash identification
constexpr int32_t devid_kFlashIdRead = 9;         // Lucent: flash identification read
constexpr int32_t devid_kFlashIdRefused = 10;     // Lucent: flash-information command refused
constexpr int32_t devid_kNoEchoSetting = 11;      // no "OK" to "ATE1V1Q0"

// Which reply devid_GetCountry reads.
constexpr int devid_kCountryFromAti9 = 1;         // an "ATI9\r" reply
constexpr int devid_kCountryFromAti5 = 2;         // an "ATI5\r" reply

// A flash memory's identification, as a device reports it or a hex file's
// head names it.
struct devid_FlashId {
    int32_t nSize;     // flash size code: 64 (",40,"), 16 (",10,"), 0 none reported
    int32_t nType;     // flash type 0 to 5 (devid_FlashTypeFromCode)
    uint16_t nCode;    // 16-bit identification value; 0 when none was read
};

// The result of identifying one port. Fields that no step of the sequence
// sets keep the contents they had before the call.
struct devid_DeviceInfo {
    int32_t nStatus;                        // identification status, devid_kIdentified ...
    char szModel[devid_kTextSize];          // model name; Rockwell: with the "ATI3" suffix
    char szVersion[devid_kTextSize];        // firmware version text
    char szCountry[devid_kTextSize];        // country as the device names it, or "Universal"
    char szSpecialBuild[devid_kTextSize];   // special-build text; empty for a standard build
    devid_FlashId flashId;                  // flash identification (Lucent-based devices)
    int32_t nFlashCmdVariant;               // 0: "AT&&F" commands accepted, 1: "AT&&W" commands
    int32_t nOpenError;                     // status 1: errno of the failed open (urs_Port's nOpenError), else 0
};

// Identifies the device on the port named pszDevice ("\\.\COM3"): opens
// the port, sets 38400 8N1, pauses 2 seconds, runs devid_QueryDevice with
// 5-second time-outs, logs the summary line
// "<COM3>  Model %s Version %s  Country %s, SpecialBuild %s" and closes the
// port. Returns the status (also stored in pInfo->nStatus):
// devid_kPortNotOpened when the port cannot be opened (nothing else touched, no summary line; nOpenError tells
// why, and is 0 whenever the port was opened), else that of
// devid_QueryDevice. The text fields that no step sets keep their contents
// (their last byte is set to 0 so that they end within the field). Needs the
// model database loaded; reads it only.
int32_t devid_Identify(devid_DeviceInfo* pInfo, const char* pszDevice, devid_ProgressFn pfnProgress,
                       void* pArg);

// The identification command sequence on an open port, each command given
// nTimeout seconds; the text fields are devid_kTextSize bytes each, texts
// put into them are cut to fit. pfnProgress gets stage 0 first, 1 and 4
// while waiting, 2 and 3 once the model is known, 5 once the version is
// known; a null one never stops the sequence. Returns the status: any of
// devid_kIdentified and devid_kNoModel to devid_kNoEchoSetting (the Lucent
// ones from devid_GetFlashId).
int32_t devid_QueryDevice(urs_Port* pPort, char* pszModel, char* pszVersion, char* pszCountry,
                          char* pszSpecialBuild, devid_FlashId* pFlashId, uint32_t nTimeout,
                          devid_ProgressFn pfnProgress, void* pArg, int32_t* pnFlashCmdVariant);

// The first model of the database (in name order) whose name occurs in
// pszReply, letter case as stored, followed by a space, CR, LF or the end:
// its name is copied into pszModel (nSize bytes, cut to fit). Returns 1
// when found, else 0 with pszModel untouched.
int devid_GetModel(char* pszModel, size_t nSize, const char* pszReply);

// The version in pszReply, copied into pszVersion (nSize bytes, cut to fit).
// After the first "Version" (letter case as written) and the one character
// after it (none at the end of the text), the run up to a space, CR, LF or
// the end; else everything after the last space, trimmed of outer white
// space (inner line breaks stay). Returns 1 (1 is success), also for an empty version; 0
// when the text has neither "Version" nor a space, after logging
// "[devid_GetVersion] return FALSE" (pszVersion untouched).
int devid_GetVersion(char* pszVersion, size_t nSize, const char* pszReply);

// The device country name for an "ATI9\r" reply (nMode
// devid_kCountryFromAti9) or an "ATI5\r" reply (devid_kCountryFromAti5), copied into pszCountry (nSize bytes, cut to fit). The
// reply is read as atoi reads it; the first row of devid_CountryNumberTable
// that matches wins: mode 1 compares a non-zero number with the ATI9
// numbers, else the whole reply with the country names (letter case aside);
// mode 2 compares the number with the ATI5 numbers. The field is empty when
// no row matches (and for any other mode).
void devid_GetCountry(const char* pszReply, char* pszCountry, size_t nSize, int nMode);

// ------------------------- 3. Flash identification of Lucent-based devices

// Reads a Lucent device's flash identification and command variant over an
// open port, nTimeout seconds per command, all replies into one area of 52
// bytes: "AAAAT\r" (result ignored), "AT\r", "AT&&F\r" (variant 0) or else
// "AT&&W\r" (variant 1), "ATE1\r", "ATI5\r" (its first character gives the
// type). An "ATI5" reply with "RRFL" gives size and code (the four
// characters after ",40," or ",10,"; without a marker size 0, code kept);
// otherwise "AT&&FFL\r" or "AT&&WFL\r" is asked, whose reply has the code
// in the four characters before the marker (none: size and code 0). Code
// characters outside the reply count 0. pfnProgress may be null.
//
// Returns devid_kFlashIdRead when the identification was read, and
// devid_kFlashIdRefused when the flash-information command was refused. It
// returns devid_kFlashIdNoAnswer when "AT" got no answer (logged as
// "Response %s"), neither variant was accepted, or "ATI5" got no answer.
// *pnFlashCmdVariant is written only once a variant was accepted.
int32_t devid_GetFlashId(urs_Port* pPort, devid_FlashId* pFlashId, uint32_t nTimeout,
                         devid_ProgressFn pfnProgress, void* pArg, int32_t* pnFlashCmdVariant);

// Stand-alone flash identification of the port named pszDevice (115200 8N1,
// 10-second time-outs, no pause, no callback): writes pInfo's nStatus,
// nOpenError, flashId and nFlashCmdVariant. Returns devid_kPortNotOpened
// when the port cannot be opened, else the status of devid_GetFlashId.
int32_t devid_ReadFlashId(devid_DeviceInfo* pInfo, const char* pszDevice);

// Sets pFlashId->nType from a letter and a number (the device passes the
// first character of its "ATI5\r" reply and 0; a file passes '0' and a
// two-digit number). Rows from the top, each matching its letter in either
// case or its number: 0 C/43, 1 I/49, 2 S/53, 3 U/55, 4 P/50; else 5.
void devid_FlashTypeFromCode(char cLetter, uint32_t nNumber, devid_FlashId* pFlashId);

// The value of four hexadecimal characters; any other character counts its
// own character code. Kept to 16 bits.
uint16_t devid_HexToU16(const char* pszFour);

#endif
