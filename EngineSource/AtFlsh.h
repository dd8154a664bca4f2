// The AT flash protocol: programs a device whose controller flags name
// neither the Lucent nor the Rockwell family. It sorts the hex file into a
// private temporary copy, wakes the device's boot code and agrees a baud
// rate (the handshake), reads the boot-code version, optionally unprotects
// the boot sector, and sends the image in blocks of up to 4096 bytes, each
// announced by "ATFLP\r", framed by a 5-byte header and an XOR checksum, and
// answered by "OK\r\n" or "ERROR\r\n". It runs in the job's worker thread
// and reports through the job's callback only; it logs nothing itself.
//
// Block header on the wire, sent after the device's "G":
//   byte 0-1  block length, most significant byte first
//   byte 2-4  block address (24 bits), most significant byte first
// then the block's data and one checksum byte (XOR of the data).
#ifndef NORVANE_ENGINESOURCE_ATFLSH_H
#define NORVANE_ENGINESOURCE_ATFLSH_H

#include "EngineSource/FlashInfo.h"
#include "EngineSource/HexFile.h"
#include "EngineSource/OSWIN32.h"
#include "EngineSource/Urswin32.h"

#include <cstdint>

// Block sizes: boot code 1.0 to 1.7 takes blocks of 128 bytes, later boot
// code (and a device that runs only its boot code) blocks of 4096.
constexpr int32_t AtFlsh_kBlockSize = 4096;
constexpr int32_t AtFlsh_kOldBlockSize = 128;

// Line buffer of the block assembly: the longest record (255 data bytes,
// 521 characters), its CR LF and a terminator.
constexpr int32_t AtFlsh_kLineSize = 524;

// Working data of one run, owned by AtFlsh_Program.
struct AtFlashContext {
    int32_t nRemaining;                  // bytes of the record not yet taken; -1 after end of file
    uint32_t nNextAddress;               // address of the record's next untaken byte
    const uint8_t* pNextData;            // that byte in record.data
    HexRecord record;                    // the record last read
    uint32_t nSegment;                   // the record reader's segment
    uint8_t block[AtFlsh_kBlockSize];    // the block being assembled
    int32_t nBlockLength;                // bytes in the block (a multiple of 128 once complete)
    uint32_t nBlockAddress;              // address of its first byte (a multiple of 128)
    uint8_t nBlockChecksum;              // XOR of the block's bytes
    void* pContext;                      // the callback's context (the job)
    os_LineReader reader;                // reads the sorted copy
    HexSortData sortData;                // working data of SortHexFile
};

// Programs the device on pszPort with the Intel HEX file pszHexFile (the
// FlashProtocolFn shape). nFlags are the model's controller flags;
// bHandshakeOnly stops once the device is in programming mode (the hex file
// is then neither opened nor sorted); bProtectBoot clear sends the boot
// sector commands the flags ask for; *pnBaud is the rate asked for and
// comes back as the rate used; *pnHighestAddress receives the address of
// the last block programmed (0 when none); pszVersion (flsh_kVersionSize
// bytes) receives the boot-code version "%d.%d"; pfnProgress and pContext
// receive the progress events; with bBootCodeOnly the device already runs
// its boot code: no wake-up, the line is set to *pnBaud, and the version
// text is left as it was. nStartMode and nCmdVariant are not used.
// Every path out closes the port and the sorted copy and removes the copy.
// Returns a FlashResult: 0 done; 1 handshake failure; 2 a callback answered
// 0; 3 a line of the sorted copy is not a record; 4 three ERROR answers to
// one block; 5 no "G" in 10 s or no answer to a block in 20 s; 6 the hex
// file cannot be opened; 7 the port cannot be opened; 11 no temporary file,
// the sort failed, or the copy cannot be opened; 12 a boot sector command
// was refused or not answered.
int32_t AtFlsh_Program(const char* pszPort, const char* pszHexFile, uint32_t nFlags, int32_t bHandshakeOnly,
                       int32_t bProtectBoot, int32_t* pnBaud, uint32_t* pnHighestAddress, char* pszVersion,
                       FlashProgressFn pfnProgress, void* pContext, int32_t bBootCodeOnly, int32_t nStartMode,
                       int32_t nCmdVariant);

// Wakes the boot code ("AT*FS\r", then "M" probes until a "U"), asks its
// speed ("D"), lowers *pnBaud to it when it is higher, sends the baud code
// and switches the line, reads the boot-code version into pszVersion and
// sets *pnBlockSize (4096, or 128 for boot code 1.0-1.7). Reports event 3
// (a = 0 while waking, 50 at the speed query), event 2 after 7.5 s of
// probing and event 4 at the end. Returns 0 (0 is success); 1 handshake failure (no "U"
// within 15 s of probing, no speed after three tries, no "OK" to the baud
// code, no echo of "ATI1\r", a malformed or refused version, or none within
// 3 s); 2 a callback answered 0.
int32_t AtFlsh_Handshake(AtFlashContext* pContext, urs_Port* pPort, int32_t* pnBaud, int32_t* pnBlockSize,
                         uint32_t nFlags, char* pszVersion, FlashProgressFn pfnProgress);

// Sends "ATDPOFF\r" (flag 0x010) and "ATN\r" (flag 0x020) when bProtectBoot
// is clear, each awaiting "OK\r\n". Returns 0 (0 is success), or 12 when one was answered
// by "ERROR\r\n" or not within 20 s.
int32_t AtFlsh_PrepareBoot(urs_Port* pPort, uint32_t nFlags, int32_t bProtectBoot);

// Assembles the next block from the sorted copy into the context: it starts
// on a multiple of 128, holds at most nBlockSize bytes, never crosses a
// 16 KiB boundary, bridges holes of up to 128 bytes with 0xFF, and is
// padded with 0xFF to a multiple of 128; with flag 0x001 a block at address
// 0 starts 0xC3 0x00 0x01. Sets the block's address and checksum. Returns
// its length, 0 when the image is exhausted, -1 when a line cannot be read
// or is not a record.
int32_t AtFlsh_FillBlock(AtFlashContext* pContext, osfl_Handle hSorted, int32_t nBlockSize, uint32_t nFlags);

// Sends every block ("ATFLP\r", "G", header, data in pieces as the flags
// ask, checksum; up to three tries a block), then "ATFLEND\r", and stores
// the address of the last block in *pnHighestAddress. Reports events 6
// (after each block), 7, 10, 11, 12 and 9 (at the end). Returns 0 (0 is success), 2 (a
// callback answered 0), 3 (bad line), 4 (three ERROR answers) or 5 (no "G"
// within 10 s, or no answer to a block within 20 s).
int32_t AtFlsh_ProgramBlocks(AtFlashContext* pContext, urs_Port* pPort, osfl_Handle hSorted, int32_t nBlockSize,
                             uint32_t nFlags, uint32_t* pnHighestAddress, FlashProgressFn pfnProgress);

// Results of the reply waits below.
constexpr int AtFlsh_kReplyOk = 0;          // the awaited reply came
constexpr int AtFlsh_kReplyNone = 1;        // time-out, or a read that gave no byte
constexpr int AtFlsh_kReplyMalformed = 2;   // a version that is not "M.NN" or "MM.NN"
constexpr int AtFlsh_kReplyError = 3;       // "ERROR" came

// Waits up to 20 s for "OK\r\n" or "ERROR\r\n". Returns AtFlsh_kReplyOk,
// AtFlsh_kReplyError or AtFlsh_kReplyNone. The deadline is disarmed on
// return.
int AtFlsh_WaitOkError(urs_Port* pPort);

// Waits up to 15 s until the bytes received end with pszText. Returns
// AtFlsh_kReplyOk, or AtFlsh_kReplyNone when a read gave no byte first. The
// deadline is disarmed on return.
int AtFlsh_WaitEcho(urs_Port* pPort, const char* pszText);

// Reads a version "M.NN" or "MM.NN" (exactly two minor digits), then waits
// for "OK\r\n", under the deadline the caller armed. Returns
// AtFlsh_kReplyOk with *pnMajor and *pnMinor set; AtFlsh_kReplyNone when a
// read gave no byte (time-out); AtFlsh_kReplyMalformed when the version is
// malformed; AtFlsh_kReplyError when "\r\nERROR\r\n" came before any
// digit.
int AtFlsh_ReadVersion(urs_Port* pPort, int32_t* pnMajor, int32_t* pnMinor);

#endif
