// Serial layer: the only code that touches a serial port. On Linux a port is
// a termios device opened by file descriptor; device names keep their form
// "\\.\NAME" and are resolved to a device node (see urs_ResolveDevice).
//
// Every operation works on a caller-owned urs_Port; the layer keeps no global
// state and owns no threads. The operations that talk to the device return
// one of the urs_k results below: 0 is success, a negative code the
// failure. The queries (urs_CharReady, urs_TimerExpired, urs_WaitInput)
// answer 1 for yes and 0 for no instead.
//
// Deadlines are counted on the runtime clock (os_ClockMs), so the time scale
// shortens them. Each driver call (one poll + read, or one poll + write
// chunk) is given the time left of the armed deadline, or 3500 ms when no
// deadline is armed. Every byte written and read is traced in the debug log.
//
// Map of this header:
//   1. Port record and constants     4. Reading and waiting
//   2. Opening, closing, line setup  5. Deadline timer and sleeps
//   3. Writing                       6. Trace helpers
#ifndef NORVANE_ENGINESOURCE_URSWIN32_H
#define NORVANE_ENGINESOURCE_URSWIN32_H

#include "EngineSource/OSWIN32.h"

#include <cstddef>
#include <cstdint>

// --------------------------------------------- 1. Port record and constants

// Results of the operations that talk to the device.
constexpr int urs_kOk = 0;           // success
constexpr int urs_kTimeout = -1;     // the deadline had passed, or no byte arrived in time
constexpr int urs_kNotOpened = -2;   // opening or configuring the port failed (urs_OpenPort)
constexpr int urs_kIoError = -4;     // the system reported an I/O or configuration error

// Room for a short port name; wide enough for any Linux device path.
constexpr size_t urs_kNameSize = os_kMaxPath;

// Time handed to each driver call while no deadline is armed.
constexpr int32_t urs_kDefaultDriverMs = 3500;

// Longest text urs_FormatData produces, terminator included: 20 bytes shown,
// each in at most four characters.
constexpr size_t urs_kFormatMaxBytes = 20;
constexpr size_t urs_kFormatSize = urs_kFormatMaxBytes * 4 + 1;

// One open serial port, owned by the caller (usually a worker's local).
struct urs_Port {
    int hFile;                    // file descriptor of the device; -1 when closed
    int32_t bArmed;               // 1 while a deadline is armed, else 0
    int64_t nStartMs;             // runtime-clock reading when the deadline was armed
    int32_t nTimeoutMs;           // length of the armed deadline in milliseconds
    char szName[urs_kNameSize];   // short name: the device name without its first four characters
    int nOpenError;               // errno of a failed urs_OpenPort (urs_kNotMapped: no node); 0 after success
};

// ----------------------------------------- 2. Opening, closing, line setup

// Resolves a device name "\\.\NAME" to a device path:
//   NAME starting with '/'  the path itself ("\\.\/dev/ttyUSB0");
//   COMn                    the entry COMn of the folder named by the
//                           environment variable NORVANE_PORTS when it is set
//                           and not empty; otherwise, for COM1-COM36, the
//                           n-th serial port of the machine's port map
//                           (UrsPortMap.h);
//   any other NAME          /dev/NAME.
// A name without the "\\.\" prefix is resolved as NAME itself. Writes the
// path into pszPath (nSize bytes). Returns 1 (1 is success); 0 when the path does not fit;
// -1 when nothing stands for a COMn (no folder entry, not in the map). On 0
// and -1 pszPath is empty.
int urs_ResolveDevice(const char* pszDevice, char* pszPath, size_t nSize);

// Opens the device exclusively (also against root: TIOCEXCL and an flock
// lock), purges it, raises RTS and DTR and sets 300 baud, 8N1, raw, no flow
// control. The record is filled: descriptor, deadline disarmed, short name.
// Returns urs_kOk (0 is success), or urs_kNotOpened after logging why, with
// the system's error code in
// nOpenError when the device could not be opened (urs_kNotMapped, without
// touching any device node, for a COMn nothing stands for). A device that
// was opened is closed again before urs_kNotOpened is returned, so a failed
// open never holds the device.
int urs_OpenPort(urs_Port* pPort, const char* pszDevice);

// Waits up to about a second for written data to leave, lowers DTR, purges
// the input (and the output too when it did not leave in time), releases
// the exclusive hold and closes the device. Steps
// that fail are logged and the sequence goes on; "Port closed" ends it. The
// record is left closed (hFile -1). A closed record is left alone.
void urs_ClosePort(urs_Port* pPort);

// Framing arguments of urs_SetUart, in the codes it takes.
constexpr uint8_t urs_kDataBits8 = 8;       // eight data bits
constexpr uint8_t urs_kParityNone = 0;      // no parity (1 odd, 2 even, 3 mark, 4 space)
constexpr uint8_t urs_kStopBits1 = 0;       // one stop bit (1 one and a half, 2 two)
constexpr uint8_t urs_kFlowNone = 0;        // no hardware flow control
constexpr uint8_t urs_kFlowCts = 1;         // CTS/RTS flow control

// Sets baud rate (any rate: standard ones through cfsetispeed/cfsetospeed,
// others such as 14400 through termios2), data bits (5-8), parity (Win32
// code: 0 none, 1 odd, 2 even, 3 mark, 4 space), stop bits (Win32 code:
// 0 one, 1 one and a half (taken as two), 2 two) and CTS/RTS flow control
// (bit 0 of nCtsFlow); every other setting is kept. Returns urs_kOk (0 is
// success), or urs_kIoError when the settings cannot be read or written (or
// are not valid); the settings are then unchanged.
int urs_SetUart(urs_Port* pPort, uint32_t nBaud, uint8_t nDataBits, uint8_t nParity,
                uint8_t nStopBits, uint8_t nCtsFlow);

// ---------------------------------------------------------------- 3. Writing

// The writes send their bytes chunk by chunk, each chunk given the time left
// (poll for room, then write). They return urs_kOk (0 is success) when
// everything was taken. They return urs_kTimeout when the deadline passed
// first, or when the line took nothing for urs_kMaxStalledWrites driver calls
// in a row. They return urs_kIoError on an I/O error. Part of the data may
// have gone out on either failure. A full output queue (EAGAIN) is not an
// error: the next chunk tries again.
constexpr int urs_kMaxStalledWrites = 5;

// Sends the low byte of c.
int urs_PutChar(urs_Port* pPort, int c);
// Sends a zero-terminated string without its terminator.
int urs_PutString(urs_Port* pPort, const char* psz);
// Sends nCount bytes; a count of 0 returns urs_kOk (unless the deadline has
// passed).
int urs_PutBlock(urs_Port* pPort, const void* pData, uint32_t nCount);

// ----------------------------------------------------- 4. Reading and waiting

// 1 when at least one received byte waits in the input queue, else 0 (also
// 0 when the query fails).
int urs_CharReady(urs_Port* pPort);

// Reads one byte, waiting at most the time left (3500 ms when no deadline is
// armed; a time left of 0 sees only bytes already received). Returns the
// byte as a signed char widened to int (-128..127), so a received 0xFF reads
// as -1, the same as urs_kTimeout, which is returned when the deadline had
// passed (the device is not touched) or no byte arrived; urs_kIoError on a
// read error. Callers that must tell 0xFF from a time-out use urs_ReadByte.
int urs_GetChar(urs_Port* pPort);

// Arms a deadline of nSeconds, reads one byte as urs_GetChar, disarms. A
// time-out of 0 reads only a byte already received.
int urs_GetCharTimed(urs_Port* pPort, uint32_t nSeconds);

// Reads one byte as urs_GetChar does, but keeps the byte apart from the
// result, so every value 0x00 to 0xFF is told from a time-out and an error.
// Returns urs_kOk (0 is success) with *pByte set, urs_kTimeout when the
// deadline had passed or no byte arrived, urs_kIoError on a read error.
// Every wait of the engine reads through it.
int urs_ReadByte(urs_Port* pPort, uint8_t* pByte);

// Throws away every byte received and not yet read, so that the next reply
// read answers what is sent next.
void urs_DiscardInput(urs_Port* pPort);

// For wait loops that poll the port: blocks until a received byte is waiting
// or nMaxMs milliseconds of runtime-clock time have passed, whichever comes
// first, and never longer than until the armed deadline has just passed
// (time left + 1 ms; at once when it has already passed). It reads nothing.
// On a line that has hung up it sleeps the same span instead of returning at
// once, so a loop around it never spins. An nMaxMs of 0 (or less) only
// looks and returns at once. Returns 1 when a byte is waiting, else 0.
// Loops call it once per iteration when urs_CharReady gave 0, so the
// callback of each iteration still runs and deadlines still hold, while a
// waiting thread leaves the processor idle.
int urs_WaitInput(urs_Port* pPort, int nMaxMs);

// Time each idle pass of a reply wait blocks for input (runtime-clock
// milliseconds): a byte that arrives ends the pass at once, and the loop's
// own work between passes (a progress callback) runs at least this often.
constexpr int urs_kWaitSliceMs = 50;

// Results of urs_NextByte besides those of urs_ReadByte.
constexpr int urs_kNoByteYet = 1;   // nothing was waiting; the pass waited for input and read nothing
constexpr int urs_kExpired = -5;    // the armed deadline had passed; nothing was read

// One pass of a loop that waits for reply bytes under the armed deadline.
// Returns urs_kExpired at once when the deadline has passed. When no byte is
// waiting it blocks up to urs_kWaitSliceMs (urs_WaitInput) and returns
// urs_kNoByteYet. Otherwise it returns urs_ReadByte's result: urs_kOk (0 is
// success) with the byte in *pByte, urs_kTimeout or urs_kIoError. The
// Lucent and Rockwell reply waits and the AT command exchange loop over it.
int urs_NextByte(urs_Port* pPort, uint8_t* pByte);

// ------------------------------------------- 5. Deadline timer and sleeps

// Arms (or re-arms) the deadline nSeconds from now. A deadline of 0 passes
// within the millisecond: the reads, writes and waits under it take only
// what the line has ready at once.
void urs_StartTimer(urs_Port* pPort, uint32_t nSeconds);
// Disarms the deadline.
void urs_StopTimer(urs_Port* pPort);
// 1 when a deadline is armed and its time left is negative, else 0.
int urs_TimerExpired(urs_Port* pPort);
void urs_Sleep(uint32_t nSeconds);
void urs_SleepMs(uint32_t nMs);

// ---------------------------------------------------------- 6. Trace helpers

// Renders at most the first 20 of nCount bytes for the log into pszOut
// (nOutSize bytes, urs_kFormatSize suffices): LF as "\n", CR as "\r",
// 0x20..0x7E as themselves, any other byte as "\xhh" (lower-case hex).
// The text is cut where pszOut ends.
void urs_FormatData(char* pszOut, size_t nOutSize, const void* pData, uint32_t nCount);

// The name of a baud rate in the log: 300, 1200, 2400, 4800, 9600, 38400,
// 57600 and 115200 by their digits, every other rate "19200".
const char* urs_BaudName(uint32_t nBaud);

#endif
