// OS services: the engine's one door to the operating system (besides the
// serial layer). Files by handle, a CR LF line reader, directory search,
// recursive mutexes, detached threads, the runtime clock, and the engine's
// small string helpers (gn_), among them the streaming reply matcher.
//
// Map of this header:
//   1. Files (osfl_)             4. Threads and hooks
//   2. Line reader               5. Runtime clock and time scale
//   3. Directory search          6. String helpers (gn_)
//
// Every operation is a free function over records the caller owns; failures
// come back as results, never as exceptions. On Linux a handle is a file
// descriptor and osfl_kInvalidHandle is -1.
#ifndef NORVANE_ENGINESOURCE_OSWIN32_H
#define NORVANE_ENGINESOURCE_OSWIN32_H

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------- 1. Files

typedef int32_t osfl_Handle;

constexpr osfl_Handle osfl_kInvalidHandle = -1;
constexpr int32_t osfl_kError = -1;

constexpr uint32_t osfl_kAccessRead = 0x80000000u;
constexpr uint32_t osfl_kAccessWrite = 0x40000000u;
constexpr uint32_t osfl_kAccessReadWrite = 0xC0000000u;
constexpr uint32_t osfl_kAttrNormal = 0x80u;

// Longest path the engine's fixed fields hold, terminator included.
constexpr size_t os_kMaxPath = 4096;

// Every file call goes through the system-call table (OSSysCalls.h), retries
// a call interrupted by a signal, and logs nothing; descriptors are
// close-on-exec. Counts above INT32_MAX are cut to it.

// Opens an existing regular file (not a folder, FIFO or device node; the open
// never blocks) with nAccess (osfl_kAccessRead,
// osfl_kAccessWrite or both); others may read it meanwhile. The handle, or
// osfl_kInvalidHandle when the file cannot be opened or nAccess names
// neither.
osfl_Handle osfl_Open(const char* pszPath, uint32_t nAccess);
// Creates a file, or truncates an existing regular one, open for reading and
// writing; a symbolic link is not followed and anything but a regular file is
// refused; a new file is private to the user (mode 0600). nAttributes is
// osfl_kAttrNormal. The handle, or osfl_kInvalidHandle.
osfl_Handle osfl_Create(const char* pszPath, uint32_t nAttributes);
// Closes the handle. Nonzero on success, 0 for an invalid handle or a
// failed close.
int osfl_Close(osfl_Handle hFile);
// Reads up to nCount bytes into pBuffer. Bytes read (0 at end of file), or
// osfl_kError.
int32_t osfl_Read(osfl_Handle hFile, void* pBuffer, uint32_t nCount);
// Writes all nCount bytes of pBuffer. nCount, or osfl_kError when a write
// fails (some bytes may then be written).
int32_t osfl_Write(osfl_Handle hFile, const void* pBuffer, uint32_t nCount);
// nOrigin: 0 start, 1 current position, 2 end. The new position from the
// start, or osfl_kError (also for another origin, or a position beyond
// INT32_MAX).
int32_t osfl_Seek(osfl_Handle hFile, int32_t nOffset, int nOrigin);
// The current position, or osfl_kError.
int32_t osfl_Tell(osfl_Handle hFile);
// Size in bytes, or osfl_kError.
int32_t osfl_Length(osfl_Handle hFile);
// 0 when the file was removed, else -1.
int osfl_Remove(const char* pszPath);

// Makes a new private folder (mode 0700, by mkdtemp) in $TMPDIR or /tmp and
// copies into pszPath the path of a file in it, which does not exist yet:
// only this user can make, replace or open a file there, so the file may be
// created, closed and opened again by name. Returns 1 (1 is success), or 0 when no folder
// could be made (pszPath is then empty). os_RemoveTempFile removes both.
int os_MakeTempFile(char* pszPath, size_t nSize);
// Removes the file os_MakeTempFile named (when it exists) and its folder.
void os_RemoveTempFile(const char* pszPath);

// Copies the folder of the running executable, with a trailing '/', into
// pszDir. Returns 1 (1 is success), or 0 when it cannot be found or does not fit.
int os_GetExeDir(char* pszDir, size_t nSize);

// ---------------------------------------------------------- 2. Line reader

constexpr int32_t os_kLineBlock = 4096;

// State of os_ReadNextLine; zero it (or call os_ResetLineReader) before the
// first line of a file.
struct os_LineReader {
    int32_t nCount;              // bytes of data not yet consumed
    int32_t nIndex;              // position of the next unconsumed byte
    char data[os_kLineBlock];    // the last block read from the file
};

void os_ResetLineReader(os_LineReader* pReader);

// Reads the next line into pszLine (nSize bytes), refilling the reader's
// block from the file 4096 bytes at a time. A line ends at CR LF or at a LF
// alone (a text file written with LF line ends reads as its CR LF twin);
// the line end is not stored. Returns the bytes consumed for the line (text
// and its line end); at end of file the number of bytes stored (0 when
// nothing was left); -1 on a read error or when the line does not fit (its
// text may hold at most nSize - 2 characters). The line is always
// terminated, on -1 within what was read. A bare CR stays in the line as
// text. Logs each end of file, read error and overlong line.
int32_t os_ReadNextLine(osfl_Handle hFile, char* pszLine, int32_t nSize, os_LineReader* pReader);

// As os_ReadNextLine, and *pnLength receives the length of the line's text,
// so that a NUL byte inside the line can be told from its end (-1 on -1).
int32_t os_ReadLine(osfl_Handle hFile, char* pszLine, int32_t nSize, os_LineReader* pReader, int32_t* pnLength);

// ----------------------------------------------------- 3. Directory search

constexpr uint32_t os_kAttrDirectory = 0x10u;
constexpr uint32_t os_kAttrDevice = 0x40u;    // no folder and no regular file (FIFO, device node, ...)
constexpr size_t os_kFindNameSize = 260;

// State of one directory search. The hits are collected when the search
// starts, matched without regard to letter case and sorted by name without
// regard to case, so every machine returns them in the same order.
struct os_FindRecord {
    void* hSearch;                    // owned hit list; null when no search runs
    uint32_t nNext;                   // index of the next hit to return
    uint32_t nAttributes;             // attributes of the current hit
    char szName[os_kFindNameSize];    // name of the current hit, as found
};

// Starts a search of pszDirectory ("" for the working folder) for names that
// match pszPattern ('*' and '?' wildcards, any letter case). The search path
// is the folder, a '/' unless the folder is empty or ends with one, and the
// pattern; it must be shorter than os_kMaxPath. "." and ".." are never hits.
// Nonzero when a first entry was found; the record holds it. The record needs
// no preparation; one that holds a search must be closed before it is reused.
int os_FindFirst(const char* pszDirectory, const char* pszPattern, os_FindRecord* pFind);
// Nonzero when a further entry was found.
int os_FindNext(os_FindRecord* pFind);
// Ends the search; also to be called after a failed os_FindFirst.
void os_FindClose(os_FindRecord* pFind);
// Copies the current entry's name, as found (not upper-cased), into pszName
// (os_kFindNameSize bytes).
void os_FindName(char* pszName, const os_FindRecord* pFind);
// The current entry's attribute bits; os_kAttrDirectory marks a folder,
// os_kAttrDevice anything that is neither a folder nor a regular file.
uint32_t os_FindAttributes(const os_FindRecord* pFind);

// ----------------------------------------------------- 4. Threads and hooks

// A recursive mutex: the thread that holds it may lock it again.
struct os_MutexImpl;
typedef os_MutexImpl* os_Mutex;

void os_CreateMutex(os_Mutex* pMutex);
// Waits without time limit.
void os_LockMutex(os_Mutex* pMutex);
void os_UnlockMutex(os_Mutex* pMutex);
void os_DeleteMutex(os_Mutex* pMutex);

typedef unsigned long os_Thread;
typedef uint32_t (*os_ThreadProc)(void* pArg);

// The smallest stack a worker gets, whatever it asks for: enough for the
// platform and for formatted I/O.
constexpr uint32_t os_kMinStackSize = 256u * 1024u;

// Starts a detached thread at once. Returns 1 (1 is success) and fills *phThread, or 0
// (and *phThread = 0) when the thread cannot be created.
int os_CreateThread(os_Thread* phThread, os_ThreadProc pfnProc, uint32_t nStackSize, void* pArg);

// Hook called inside long loops; does nothing and returns 0.
int os_yield();

// Reports a failed precondition: passes it to the installed hook, if any;
// execution goes on.
void os_Assert(const char* pszExpression, const char* pszFile, int nLine);

// Receives failed preconditions; tests install one to see which failed.
typedef void (*os_AssertHook)(const char* pszExpression, const char* pszFile, int nLine);
// Installs pfnHook (null: none, the default) and returns the previous hook.
os_AssertHook os_SetAssertHook(os_AssertHook pfnHook);

#define os_mAssert(expr) \
    do { if (!(expr)) os_Assert(#expr, __FILE__, __LINE__); } while (0)

// --------------------------------------------- 5. Runtime clock and scale

// Every sleep and deadline of the runtime is measured on one clock: the
// monotonic clock divided by the time scale. The scale comes from the
// environment variable NORVANE_TIME_SCALE (default 1); a scale of 0.01 makes
// a 2-second pause last 20 ms of real time. Tests use it to shorten the
// fixed pauses and long time-outs of the protocols.

// Milliseconds on the runtime clock (scaled, monotonic).
int64_t os_ClockMs();
// Sleeps nMs milliseconds of runtime-clock time.
void os_SleepMs(uint32_t nMs);
// The current time scale.
double os_TimeScale();
// Changes the time scale; the runtime clock continues without a jump.
// Values <= 0 are ignored.
void os_SetTimeScale(double dScale);
// Real milliseconds (rounded up, so a positive time never becomes 0) that
// nMs milliseconds of runtime-clock time last; for poll() time-outs.
int os_RealMs(int64_t nMs);

// ------------------------------------------------------ 6. String helpers

// White space is space, tab, line feed and carriage return; upper-casing
// touches the ASCII letters a to z only.
int gn_ToUpper(int c);
// The value of a hex digit of either case, or -1 for any other character.
int gn_HexDigit(char c);
int gn_StriCmp(const char* a, const char* b);
int gn_StrniCmp(const char* a, const char* b, size_t n);
void gn_StrUpper(char* psz);
void gn_Trim(char* psz);

// Copies at most n - 1 characters and terminates; returns the characters
// copied, or n when the source was cut.
int gn_StrCopyN(char* pszDest, const char* pszSource, int n);
// Skips leading white space, copies at most n - 1 characters, cuts trailing
// white space from the copy, terminates.
void gn_TrimCopy(char* pszDest, const char* pszSource, int n);
// "0x"/"0X" and hex digits, or leading decimal digits; otherwise 0.
int32_t gn_StrToInt(const char* psz);
// Reads one line of a profile file one byte at a time into pszBuffer, which
// holds nMax + 1 bytes, and terminates it. A line ends at CR LF or LF (dropped),
// after nMax bytes (the rest comes back as the next line), at end of file or
// at a Ctrl-Z (0x1A). Returns 1 (1 is success) when a line was read, 0 at a read error and
// when end of file or Ctrl-Z comes before any byte of the line.
int gn_ReadString(osfl_Handle hFile, char* pszBuffer, int nMax);

// Streaming matcher: fed one received byte at a time, reports when the bytes
// fed so far end with the whole pattern. Byte-exact.
struct gn_Matcher {
    const char* pszPattern;    // first character of the pattern (caller's)
    const char* pszNext;       // next pattern character still to be seen
};

void gn_MatchInit(gn_Matcher* pMatcher, const char* pszPattern);
// 1 when the bytes fed end with the whole pattern (and from then on until
// gn_MatchInit), else 0.
int gn_MatchChar(gn_Matcher* pMatcher, int c);

#endif
