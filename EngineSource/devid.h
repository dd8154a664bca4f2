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

// Sends pszCommand unchanged (it carries its own carriage return) and
// collects the reply that follows the echo of the command.
//
// pszReply is the caller's area of nReplySize bytes, terminator included.
// Reply bytes beyond it are dropped while the final "OK\r\n" is still
// watched for. The echo line is skipped (up to its carriage return and the
// line feed after it). With bFirstLineOnly 1 the first line after it is
// collected, without its carriage return; with 0 everything up to and
// including the final "OK\r\n". Any "OK\r\n" in the received bytes, echo
// included, ends the wait. nTimeout is the deadline in seconds for the whole
// exchange. A time-out of 0 gives a deadline that passes within the
// millisecond: the command goes out only when the line takes it at once,
// and the wait sees only bytes already received. pfnProgress may be null; it gets stage 1 with pArg once per
// pass of the wait.
//
// Returns 1 (1 is success) after "OK\r\n", the text then trimmed of outer
// spaces, tabs, CR and LF. In all-lines mode it also returns 1 when the
// deadline passed (the text collected so far, not trimmed). Returns 0 when
// the command could not be written (text empty), when the callback
// answered 0, when the deadline passed in first-line mode, or when a read
// failed: a time-out or a read error (text so far; the deadline is then
// left armed).
int devid_SendCommand(urs_Port* pPort, char* pszReply, uint32_t nReplySize, uint32_t nTimeout,
                      devid_ProgressFn pfnProgress, void* pArg, const char* pszCommand,
                      uint32_t bFirstLineOnly);

// Sends "ATI1\r" and splits the reply after the echo into three fields.
//
// Each field is a caller-owned area with its size, terminator included;
// bytes beyond it are dropped. The fields are the first line, then (after
// skipping the second line) the third and the fourth line. Lines end at
// carriage returns, and the fields are trimmed. A field is written from its
// start once the reply reaches it; a field the reply never reaches keeps its
// contents. nTimeout is the deadline in seconds; 0 gives no time, as for
// devid_SendCommand. pfnProgress may be null; it gets stage 4 with pArg once per pass of the wait.
//
// Returns 1 (1 is success) after "OK\r\n". Returns 0 when the command could
// not be written, the callback answered 0 or the deadline passed (fields so
// far kept). A read that gave no byte (a time-out or a read error) is passed
// over until the deadline.
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

// Flash command variant of a Lucent-based device (nFlashCmdVariant): which
// form of the flash commands it accepts.
constexpr int32_t devid_kVariantF = 0;            // "AT&&F" commands
constexpr int32_t devid_kVariantW = 1;            // "AT&&W" commands

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
    int32_t nFlashCmdVariant;               // devid_kVariantF or devid_kVariantW
    int32_t nOpenError;                     // status 1: errno of the failed open (urs_Port's nOpenError), else 0
};

// Identifies the device on the port named pszDevice ("\\.\COM3").
//
// Opens the port, sets 38400 8N1, pauses 2 seconds and runs
// devid_QueryDevice with 5-second time-outs. Then it logs the summary line
// "<COM3>  Model %s Version %s  Country %s, SpecialBuild %s" and closes the
// port. pInfo is the caller's; the text fields no step sets keep their
// contents, their last byte set to 0 so that they end within the field.
// pfnProgress (may be null) and pArg go to devid_QueryDevice. Needs the
// model database loaded; reads it only.
//
// Returns the status, also stored in pInfo->nStatus: devid_kPortNotOpened
// when the port cannot be opened (nothing else touched, no summary line;
// nOpenError tells why, and is 0 whenever the port was opened), else that
// of devid_QueryDevice.
int32_t devid_Identify(devid_DeviceInfo* pInfo, const char* pszDevice, devid_ProgressFn pfnProgress,
                       void* pArg);

// Runs the identification command sequence on an open port.
//
// Each command is given nTimeout seconds; 0 gives no command time to be
// answered (see devid_SendCommand). The text fields are the caller's,
// devid_kTextSize bytes each; texts put into them are cut to fit.
// pfnProgress may be null, which never stops the sequence. It gets stage 0
// first, 1 and 4 while waiting, 2 and 3 once the model is known and 5 once
// the version is known.
//
// Returns the status: devid_kIdentified (0 is success), or one of
// devid_kNoModel to devid_kNoEchoSetting (the Lucent ones from
// devid_GetFlashId).
int32_t devid_QueryDevice(urs_Port* pPort, char* pszModel, char* pszVersion, char* pszCountry,
                          char* pszSpecialBuild, devid_FlashId* pFlashId, uint32_t nTimeout,
                          devid_ProgressFn pfnProgress, void* pArg, int32_t* pnFlashCmdVariant);

// The first model of the database (in name order) whose name occurs in
// pszReply, letter case as stored, followed by a space, CR, LF or the end:
// its name is copied into pszModel (nSize bytes, cut to fit). Returns 1
// when found, else 0 with pszModel untouched.
int devid_GetModel(char* pszModel, size_t nSize, const char* pszReply);

// Copies the version in pszReply into pszVersion (nSize bytes, cut to fit).
//
// The version is the run after the first "Version" (letter case as written)
// and the one character after it (none at the end of the text), up to a
// space, CR, LF or the end. Without "Version" it is everything after the last
// space, trimmed of outer white space (inner line breaks stay).
//
// Returns 1 (1 is success), also for an empty version. Returns 0 when the
// text has neither "Version" nor a space, after logging
// "[devid_GetVersion] return FALSE"; pszVersion is then untouched.
int devid_GetVersion(char* pszVersion, size_t nSize, const char* pszReply);

// Copies the device country name for a reply into pszCountry (nSize bytes,
// cut to fit).
//
// nMode says which reply pszReply is: devid_kCountryFromAti9 ("ATI9\r") or
// devid_kCountryFromAti5 ("ATI5\r"). The reply is read as atoi reads it. The
// first row of devid_CountryNumberTable that matches wins. Mode 1 compares a
// non-zero number with the ATI9 numbers, else the whole reply with the
// country names (letter case aside). Mode 2 compares the number with the
// ATI5 numbers. The field is left empty when no row matches, and for any
// other mode. There is no result.
void devid_GetCountry(const char* pszReply, char* pszCountry, size_t nSize, int nMode);

// ------------------------- 3. Flash identification of Lucent-based devices

// Reads a Lucent device's flash identification and command variant over an
// open port.
//
// Each command gets nTimeout seconds (0: no time to be answered, see
// devid_SendCommand), and all replies go into one area of
// 52 bytes. The commands: "AAAAT\r" (result ignored), "AT\r", "AT&&F\r"
// (variant 0) or else "AT&&W\r" (variant 1), "ATE1\r", "ATI5\r" (its first
// character gives the type). An "ATI5" reply with "RRFL" gives size and code
// (the four characters after ",40," or ",10,"; without a marker size 0, code
// kept). Otherwise "AT&&FFL\r" or "AT&&WFL\r" is asked, whose reply has the
// code in the four characters before the marker (none: size and code 0).
// Code characters outside the reply count 0. pfnProgress may be null.
// pFlashId and pnFlashCmdVariant are the caller's; *pnFlashCmdVariant is
// written only once a variant was accepted.
//
// Returns devid_kFlashIdRead when the identification was read, and
// devid_kFlashIdRefused when the flash-information command was refused. It
// returns devid_kFlashIdNoAnswer when "AT" got no answer (logged as
// "Response %s"), neither variant was accepted, or "ATI5" got no answer.
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
