// Pieces the two line-streaming flash protocols (LucFlsh, RockFlsh) share:
// the text of one file line as it goes on the line, the percentage of a file
// sent and waits for reply texts under a deadline. The record of what a run
// holds open serves all three protocols (AtFlsh too).
//
// Map of this header:
//   1. Lines of a loader or firmware file    3. Waiting for replies
//   2. Progress                              4. What a run holds open
#ifndef NORVANE_ENGINESOURCE_FLSHLINE_H
#define NORVANE_ENGINESOURCE_FLSHLINE_H

#include "EngineSource/FlashInfo.h"
#include "EngineSource/OSWIN32.h"
#include "EngineSource/Urswin32.h"

#include <cstdint>

// ------------------------------------- 1. Lines of a loader or firmware file

// Size of the line buffer and of the text sent for one line, terminator
// included: prefix, line and CR LF hold at most 127 characters.
constexpr int32_t flsh_kLineSize = 128;

// Reads the next line of hFile (CR LF or LF line ends alike) through pReader
// into a line buffer of flsh_kLineSize bytes and builds the text that goes on
// the line in pszText (flsh_kLineSize bytes): pszPrefix (null or "" for
// none), the line (an empty line stays empty), CR LF. *pnRead receives what
// os_ReadLine returned. Returns the length of the text (2 or more); 0 at end
// of file; -1 when the line cannot be read (a read error, a line longer than
// the line buffer), holds a NUL byte, or the text does not fit (prefix + line
// + CR LF longer than 127 characters; logged), pszText then empty.
int32_t flsh_ReadLineText(osfl_Handle hFile, os_LineReader* pReader, const char* pszPrefix, char* pszText,
                          int32_t* pnRead);

// ------------------------------------------------------------- 2. Progress

// The share of the file consumed so far, in percent: position x 100 / length,
// computed without overflow. 0 when the length is not positive or the
// position cannot be read.
int32_t flsh_Percent(osfl_Handle hFile, int32_t nLength);

// ---------------------------------------------------------- 3. Waiting for replies

// Reads the next received byte before the port's armed deadline. While
// nothing is waiting it blocks in urs_NextByte's slices instead of spinning.
// Returns the byte (0..255, every value a byte), or -1 when the deadline has
// passed or the read failed. The caller arms the deadline (urs_StartTimer).
int flsh_ReadReplyByte(urs_Port* pPort);

constexpr int flsh_kMaxWaitTexts = 4;

// Arms a deadline of nSeconds and reads the received bytes until one of the
// nTexts texts (at most flsh_kMaxWaitTexts) has arrived whole (byte for byte, anywhere in the stream).
// Returns the index of the first text completed, or -1 when the deadline
// passed first; a time-out of 0 looks only at bytes already waiting. The
// deadline is disarmed on return.
int flsh_WaitTexts(urs_Port* pPort, uint32_t nSeconds, const char* const* ppszTexts, int nTexts);

// ------------------------------------------------- 4. What a run holds open

// Working data of one run that sends a file line by line (Lucent, Rockwell),
// owned by the protocol's entry point (a local).
struct flsh_SendContext {
    void* pContext;            // the progress callback's context (the job)
    os_LineReader reader;      // line reader over the file being sent
};

constexpr int flsh_kRunFiles = 2;

// The port, files and temporary file of one protocol run, owned by the
// protocol's entry point. flsh_OpenRun fills it; whatever is still open when
// the record goes out of scope is released (the files first, then the
// temporary file and its folder, then the port), so every path out of a
// protocol releases what it opened.
struct flsh_Run {
    urs_Port port = {-1, 0, 0, 0, {}, 0};   // the run's port; hFile -1 while closed
    // Lucent and Rockwell: loader (or boot loader), firmware; AT: the sorted copy.
    osfl_Handle hFiles[flsh_kRunFiles] = {osfl_kInvalidHandle, osfl_kInvalidHandle};
    char szTempFile[os_kMaxPath] = {};      // a file made by os_MakeTempFile; empty when none was made
    flsh_Run() = default;
    flsh_Run(const flsh_Run&) = delete;
    flsh_Run& operator=(const flsh_Run&) = delete;
    ~flsh_Run();
};

// Opens the run's port on pszPort (urs_OpenPort) with no file open. Returns
// urs_OpenPort's result: urs_kOk (0 is success), or urs_kNotOpened when the
// port cannot be opened.
int flsh_OpenRun(flsh_Run* pRun, const char* pszPort);

// Opens pszPath for reading into file slot nSlot (0 or 1). Returns true, or
// false when the file cannot be opened (the slot stays closed).
bool flsh_OpenRunFile(flsh_Run* pRun, int nSlot, const char* pszPath);

// Closes the file of slot nSlot when it is open.
void flsh_CloseRunFile(flsh_Run* pRun, int nSlot);

#endif
