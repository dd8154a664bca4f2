// OS services on Linux (POSIX): files on file descriptors, the CR LF line
// reader, directory search, recursive pthread mutexes, detached pthreads,
// the scaled monotonic runtime clock, and the gn_ string helpers.
//
// Map of this file:
//   1. System-call table   the replaceable table of OSSysCalls.h
//   2. Files               osfl_ on descriptors (close-on-exec; new files 0600,
//                          temporary files in a private mkdtemp folder), os_GetExeDir
//   3. Line reader         os_ReadNextLine: CR LF lines over 4096-byte blocks
//   4. Directory search    a folder listed at once, matched and sorted without
//                          regard to case; hits kept in the find record
//   5. Threads and hooks   recursive mutexes, detached threads, os_Assert
//   6. Runtime clock       monotonic time divided by the time scale
//   7. String helpers      gn_: case, trimming, copying, numbers, the
//                          profile reader's byte-wise line reader, the matcher
//
// Every system call (on files, folders and links, threads, the clock and its
// sleep) goes through the system-call table, so a test can make the Nth one fail.
#include "EngineSource/OSWIN32.h"
#include "EngineSource/OSSysCalls.h"
#include "EngineSource/dbg.h"

#include <dirent.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

static const char kDbgModule[] = "EngineSource/OSWIN32";

// ---------------------------------------------------- 1. System-call table

namespace {

int sysOpen(const char* pszPath, int nFlags, mode_t nMode) { return open(pszPath, nFlags, nMode); }
int sysIoctl(int fd, unsigned long nRequest, void* pArg) { return ioctl(fd, nRequest, pArg); }

const os_SysCallTable kDefaultSysCalls = {
    sysOpen, close, read, write, lseek, fstat, unlink, poll, sysIoctl,
    tcgetattr, tcsetattr, tcflush, flock,
    ftruncate, mkdtemp, rmdir, readlink, stat, lstat,
    opendir, readdir, closedir, nanosleep,
    fopen, fdopen, fclose, flockfile, funlockfile,
    clock_gettime, pthread_create, getegid, getgroups, getgrgid_r,
};

os_SysCallTable g_sysCalls = kDefaultSysCalls;

}  // namespace

os_SysCallTable& os_SysCalls() { return g_sysCalls; }

const os_SysCallTable& os_DefaultSysCalls() { return kDefaultSysCalls; }

// ------------------------------------------------------------------ 2. Files

namespace {

// open() flags for an access mask, or -1 when neither read nor write is asked.
int openFlagsFor(uint32_t nAccess)
{
    bool bRead = (nAccess & osfl_kAccessRead) != 0;
    bool bWrite = (nAccess & osfl_kAccessWrite) != 0;
    if (bRead && bWrite)
        return O_RDWR;
    if (bWrite)
        return O_WRONLY;
    return bRead ? O_RDONLY : -1;
}

// Every descriptor is close-on-exec: nothing the engine opens should leak
// into a program it might start.
int openRetrying(const char* pszPath, int nFlags, mode_t nMode)
{
    int fd;
    do {
        fd = g_sysCalls.pOpen(pszPath, nFlags | O_CLOEXEC, nMode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool isRegularFile(int fd)
{
    struct stat st;
    return g_sysCalls.pFstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

// Counts above INT32_MAX cannot be reported in a 32-bit result.
size_t clampCount(uint32_t nCount) { return nCount > INT32_MAX ? static_cast<size_t>(INT32_MAX) : nCount; }

}  // namespace

osfl_Handle osfl_Open(const char* pszPath, uint32_t nAccess)
{
    int nFlags = openFlagsFor(nAccess);
    if (pszPath == nullptr || nFlags < 0)
        return osfl_kInvalidHandle;
    // Only regular files are files: a folder would open here and fail only
    // at its first read, and a FIFO or device node named like firmware could
    // block the open (hence O_NONBLOCK, which regular files ignore) or every
    // read after it.
    int fd = openRetrying(pszPath, nFlags | O_NONBLOCK, 0);
    if (fd >= 0 && !isRegularFile(fd)) {
        g_sysCalls.pClose(fd);
        return osfl_kInvalidHandle;
    }
    return fd < 0 ? osfl_kInvalidHandle : fd;
}

osfl_Handle osfl_Create(const char* pszPath, uint32_t nAttributes)
{
    // Only normal attributes exist here. A new file is private to the user.
    (void)nAttributes;
    if (pszPath == nullptr)
        return osfl_kInvalidHandle;
    // A symbolic link is not followed and only a regular file is truncated:
    // a link or a FIFO planted under the name must not redirect the write.
    int fd = openRetrying(pszPath, O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK, S_IRUSR | S_IWUSR);
    if (fd < 0)
        return osfl_kInvalidHandle;
    if (!isRegularFile(fd) || g_sysCalls.pFtruncate(fd, 0) != 0) {
        g_sysCalls.pClose(fd);
        return osfl_kInvalidHandle;
    }
    return fd;
}

int osfl_Close(osfl_Handle hFile)
{
    if (hFile == osfl_kInvalidHandle)
        return 0;
    // Linux frees the descriptor even when close() reports EINTR, so it is
    // never retried.
    return g_sysCalls.pClose(hFile) == 0 ? 1 : 0;
}

int32_t osfl_Read(osfl_Handle hFile, void* pBuffer, uint32_t nCount)
{
    if (hFile == osfl_kInvalidHandle || (pBuffer == nullptr && nCount > 0))
        return osfl_kError;
    ssize_t n;
    do {
        n = g_sysCalls.pRead(hFile, pBuffer, clampCount(nCount));
    } while (n < 0 && errno == EINTR);
    return n < 0 ? osfl_kError : static_cast<int32_t>(n);
}

int32_t osfl_Write(osfl_Handle hFile, const void* pBuffer, uint32_t nCount)
{
    if (hFile == osfl_kInvalidHandle || (pBuffer == nullptr && nCount > 0))
        return osfl_kError;
    const char* pBytes = static_cast<const char*>(pBuffer);
    size_t nWanted = clampCount(nCount);
    size_t nDone = 0;
    // write() may take less than asked; a zero-byte write for a nonzero
    // count would repeat for ever, so it counts as a failure.
    while (nDone < nWanted) {
        ssize_t n = g_sysCalls.pWrite(hFile, pBytes + nDone, nWanted - nDone);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return osfl_kError;
        nDone += static_cast<size_t>(n);
    }
    return static_cast<int32_t>(nDone);
}

int32_t osfl_Seek(osfl_Handle hFile, int32_t nOffset, int nOrigin)
{
    static const int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (hFile == osfl_kInvalidHandle || nOrigin < 0 || nOrigin > 2)
        return osfl_kError;
    off_t nPosition = g_sysCalls.pLseek(hFile, nOffset, kWhence[nOrigin]);
    if (nPosition < 0 || nPosition > INT32_MAX)
        return osfl_kError;
    return static_cast<int32_t>(nPosition);
}

int32_t osfl_Tell(osfl_Handle hFile) { return osfl_Seek(hFile, 0, 1); }

int32_t osfl_Length(osfl_Handle hFile)
{
    struct stat st;
    if (hFile == osfl_kInvalidHandle || g_sysCalls.pFstat(hFile, &st) != 0 || st.st_size > INT32_MAX)
        return osfl_kError;
    return static_cast<int32_t>(st.st_size);
}

int osfl_Remove(const char* pszPath)
{
    if (pszPath == nullptr)
        return -1;
    return g_sysCalls.pUnlink(pszPath) == 0 ? 0 : -1;
}

namespace {

// The name of the file inside the private folder.
const char kTempFileName[] = "/sorted.hex";

}  // namespace

int os_MakeTempFile(char* pszPath, size_t nSize)
{
    if (pszPath == nullptr || nSize == 0)
        return 0;
    pszPath[0] = '\0';
    const char* pszDir = getenv("TMPDIR");
    std::string path = (pszDir != nullptr && *pszDir != '\0') ? pszDir : "/tmp";
    if (path.back() != '/')
        path += '/';
    path += "norvane-XXXXXX";
    if (path.size() + sizeof kTempFileName > nSize)
        return 0;
    // mkdtemp makes the folder with mode 0700 under a name nobody else holds;
    // nobody else can put a file or a link into it.
    if (g_sysCalls.pMkdtemp(&path[0]) == nullptr)
        return 0;
    path += kTempFileName;
    memcpy(pszPath, path.c_str(), path.size() + 1);
    return 1;
}

void os_RemoveTempFile(const char* pszPath)
{
    if (pszPath == nullptr || pszPath[0] == '\0')
        return;
    osfl_Remove(pszPath);
    std::string folder = pszPath;
    size_t nSlash = folder.rfind('/');
    if (nSlash != std::string::npos && nSlash > 0)
        g_sysCalls.pRmdir(folder.substr(0, nSlash).c_str());
}

int os_GetExeDir(char* pszDir, size_t nSize)
{
    if (pszDir == nullptr || nSize == 0)
        return 0;
    pszDir[0] = '\0';
    char szExe[os_kMaxPath];
    ssize_t nLength = g_sysCalls.pReadlink("/proc/self/exe", szExe, sizeof szExe);
    if (nLength <= 0 || static_cast<size_t>(nLength) >= sizeof szExe)
        return 0;
    std::string exe(szExe, static_cast<size_t>(nLength));
    size_t nSlash = exe.rfind('/');
    if (nSlash == std::string::npos || nSlash + 1 >= nSize)
        return 0;
    memcpy(pszDir, exe.c_str(), nSlash + 1);
    pszDir[nSlash + 1] = '\0';
    return 1;
}

// ------------------------------------------------------------ 3. Line reader

void os_ResetLineReader(os_LineReader* pReader)
{
    if (pReader == nullptr)
        return;
    pReader->nCount = 0;
    pReader->nIndex = 0;
}

int32_t os_ReadNextLine(osfl_Handle hFile, char* pszLine, int32_t nSize, os_LineReader* pReader)
{
    int32_t nLength = 0;
    return os_ReadLine(hFile, pszLine, nSize, pReader, &nLength);
}

int32_t os_ReadLine(osfl_Handle hFile, char* pszLine, int32_t nSize, os_LineReader* pReader, int32_t* pnLength)
{
    *pnLength = -1;
    if (pszLine == nullptr || pReader == nullptr || nSize <= 0)
        return -1;
    int32_t nStored = 0;
    while (nStored < nSize) {
        if (pReader->nCount <= 0) {
            int32_t nRead = osfl_Read(hFile, pReader->data, os_kLineBlock);
            if (nRead == osfl_kError) {
                // Terminated all the same, so a caller that shows it cannot
                // run past the buffer.
                pszLine[nStored] = '\0';
                DBG_LOG("ReadNextLine, return FALSE, nsize == osfl_kError");
                return -1;
            }
            if (nRead == 0) {
                pszLine[nStored] = '\0';
                DBG_LOG("ReadNextLine, nSize == 0");
                *pnLength = nStored;
                return nStored;
            }
            pReader->nCount = nRead;
            pReader->nIndex = 0;
        }
        char c = pReader->data[pReader->nIndex];
        --pReader->nCount;
        ++pReader->nIndex;
        if (c == '\n') {
            // CR LF and LF alone both end the line; neither is kept.
            bool bCr = nStored > 0 && pszLine[nStored - 1] == '\r';
            int32_t nText = bCr ? nStored - 1 : nStored;
            pszLine[nText] = '\0';
            // The same longest text whichever line end the file uses.
            if (nText > nSize - 2) {
                DBG_LOG("ReadNextLine:  Fell out of while loop  nCurCount %x", static_cast<unsigned>(nStored));
                return -1;
            }
            *pnLength = nText;
            return nStored + 1;
        }
        pszLine[nStored++] = c;
    }
    // The line is full without a line end; its last byte makes room for the
    // terminator so the buffer is never left open.
    pszLine[nSize - 1] = '\0';
    DBG_LOG("ReadNextLine:  Fell out of while loop  nCurCount %x", static_cast<unsigned>(nStored));
    return -1;
}

// ------------------------------------------------------- 4. Directory search

namespace {

struct FindHit {
    std::string name;        // the name as found in the folder
    uint32_t nAttributes;    // os_kAttrDirectory or osfl_kAttrNormal
};

typedef std::vector<FindHit> FindHits;

// '*' matches any run of characters, '?' any one character; letters match
// without regard to case. A '*' is retried one character further each time
// the rest fails, which is enough for a single-component pattern.
bool matchesPattern(const char* pszName, const char* pszPattern)
{
    const char* pStar = nullptr;
    const char* pAfterStar = nullptr;
    while (*pszName != '\0') {
        if (*pszPattern == '*') {
            pStar = pszPattern++;
            pAfterStar = pszName;
        } else if (*pszPattern != '\0' && (*pszPattern == '?' || gn_ToUpper(*pszPattern) == gn_ToUpper(*pszName))) {
            ++pszPattern;
            ++pszName;
        } else if (pStar != nullptr) {
            pszPattern = pStar + 1;
            pszName = ++pAfterStar;
        } else {
            return false;
        }
    }
    while (*pszPattern == '*')
        ++pszPattern;
    return *pszPattern == '\0';
}

// Without regard to case first; names that differ only in case are ordered
// by their bytes, so the order is total and the same on every machine.
bool hitBefore(const FindHit& a, const FindHit& b)
{
    int nOrder = gn_StriCmp(a.name.c_str(), b.name.c_str());
    return nOrder != 0 ? nOrder < 0 : a.name < b.name;
}

// Follows symbolic links, so a link is listed as the kind of its target (a
// linked firmware file is a file). Anything but a folder or a regular file
// (a FIFO, a device node, a socket, a dangling link) is a device.
uint32_t attributesOf(const std::string& prefix, const dirent* pEntry)
{
    if (pEntry->d_type == DT_DIR)
        return os_kAttrDirectory;
    if (pEntry->d_type == DT_REG)
        return osfl_kAttrNormal;
    struct stat st;
    std::string path = prefix + pEntry->d_name;
    if (g_sysCalls.pStat(path.c_str(), &st) != 0)
        return os_kAttrDevice;
    if (S_ISDIR(st.st_mode))
        return os_kAttrDirectory;
    return S_ISREG(st.st_mode) ? osfl_kAttrNormal : os_kAttrDevice;
}

int loadNextHit(os_FindRecord* pFind)
{
    const FindHits* pHits = static_cast<const FindHits*>(pFind->hSearch);
    if (pHits == nullptr || pFind->nNext >= pHits->size())
        return 0;
    const FindHit& hit = (*pHits)[pFind->nNext++];
    gn_StrCopyN(pFind->szName, hit.name.c_str(), static_cast<int>(sizeof pFind->szName));
    pFind->nAttributes = hit.nAttributes;
    return 1;
}

}  // namespace

int os_FindFirst(const char* pszDirectory, const char* pszPattern, os_FindRecord* pFind)
{
    if (pFind == nullptr)
        return 0;
    pFind->hSearch = nullptr;
    pFind->nNext = 0;
    pFind->nAttributes = 0;
    pFind->szName[0] = '\0';
    if (pszPattern == nullptr)
        return 0;

    // The search path is the folder, a separator unless the folder is empty
    // or already ends with one, and the pattern; its last component is the
    // pattern proper, the rest names the folder that is listed.
    std::string path = pszDirectory != nullptr ? pszDirectory : "";
    if (!path.empty() && path.back() != '/')
        path += '/';
    path += pszPattern;
    if (path.size() >= os_kMaxPath)
        return 0;
    size_t nSlash = path.rfind('/');
    std::string prefix = nSlash == std::string::npos ? "" : path.substr(0, nSlash + 1);
    std::string pattern = path.substr(prefix.size());

    DIR* pDir = g_sysCalls.pOpendir(prefix.empty() ? "." : prefix.c_str());
    if (pDir == nullptr)
        return 0;
    FindHits hits;
    while (const dirent* pEntry = g_sysCalls.pReaddir(pDir)) {
        if (strcmp(pEntry->d_name, ".") == 0 || strcmp(pEntry->d_name, "..") == 0)
            continue;
        if (matchesPattern(pEntry->d_name, pattern.c_str()))
            hits.push_back(FindHit{pEntry->d_name, attributesOf(prefix, pEntry)});
    }
    g_sysCalls.pClosedir(pDir);
    if (hits.empty())
        return 0;
    std::sort(hits.begin(), hits.end(), hitBefore);
    pFind->hSearch = new FindHits(std::move(hits));
    return loadNextHit(pFind);
}

int os_FindNext(os_FindRecord* pFind) { return pFind != nullptr ? loadNextHit(pFind) : 0; }

void os_FindClose(os_FindRecord* pFind)
{
    if (pFind == nullptr)
        return;
    delete static_cast<FindHits*>(pFind->hSearch);
    pFind->hSearch = nullptr;
}

void os_FindName(char* pszName, const os_FindRecord* pFind)
{
    if (pszName == nullptr)
        return;
    // Linux names need no character-set conversion.
    gn_StrCopyN(pszName, pFind != nullptr ? pFind->szName : "", static_cast<int>(os_kFindNameSize));
}

uint32_t os_FindAttributes(const os_FindRecord* pFind) { return pFind != nullptr ? pFind->nAttributes : 0; }

// ------------------------------------------------------ 5. Threads and hooks

struct os_MutexImpl {
    pthread_mutex_t mutex;
};

void os_CreateMutex(os_Mutex* pMutex)
{
    os_mAssert(pMutex != nullptr);
    if (pMutex == nullptr)
        return;
    os_MutexImpl* pImpl = new (std::nothrow) os_MutexImpl;
    if (pImpl != nullptr) {
        // Recursive, so a thread that holds the lock may take it again in a
        // call it makes while holding it.
        pthread_mutexattr_t attr;
        pthread_mutexattr_init(&attr);
        pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
        pthread_mutex_init(&pImpl->mutex, &attr);
        pthread_mutexattr_destroy(&attr);
    }
    *pMutex = pImpl;
}

void os_LockMutex(os_Mutex* pMutex)
{
    if (pMutex != nullptr && *pMutex != nullptr)
        pthread_mutex_lock(&(*pMutex)->mutex);
}

void os_UnlockMutex(os_Mutex* pMutex)
{
    if (pMutex != nullptr && *pMutex != nullptr)
        pthread_mutex_unlock(&(*pMutex)->mutex);
}

void os_DeleteMutex(os_Mutex* pMutex)
{
    if (pMutex == nullptr || *pMutex == nullptr)
        return;
    pthread_mutex_destroy(&(*pMutex)->mutex);
    delete *pMutex;
    *pMutex = nullptr;
}

namespace {

struct ThreadStart {
    os_ThreadProc pfnProc;    // the caller's routine
    void* pArg;               // its one argument
};

void* threadTrampoline(void* pStart)
{
    ThreadStart start = *static_cast<ThreadStart*>(pStart);
    delete static_cast<ThreadStart*>(pStart);
    start.pfnProc(start.pArg);
    return nullptr;
}

}  // namespace

int os_CreateThread(os_Thread* phThread, os_ThreadProc pfnProc, uint32_t nStackSize, void* pArg)
{
    if (phThread != nullptr)
        *phThread = 0;
    if (pfnProc == nullptr)
        return 0;

    ThreadStart* pStart = new (std::nothrow) ThreadStart{pfnProc, pArg};
    if (pStart == nullptr)
        return 0;

    // The stack sizes the system asks for (12000 and 18000 bytes) are below
    // what glibc needs for formatted output; round them up.
    size_t nStack = nStackSize < os_kMinStackSize ? os_kMinStackSize : nStackSize;
    if (nStack < static_cast<size_t>(PTHREAD_STACK_MIN))
        nStack = PTHREAD_STACK_MIN;

    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_attr_setstacksize(&attr, nStack);
    pthread_t thread;
    int nError = g_sysCalls.pPthreadCreate(&thread, &attr, threadTrampoline, pStart);
    pthread_attr_destroy(&attr);
    if (nError != 0) {
        delete pStart;
        return 0;
    }
    if (phThread != nullptr)
        *phThread = static_cast<os_Thread>(thread);
    return 1;
}

int os_yield() { return 0; }

namespace {

std::atomic<os_AssertHook> g_pfnAssertHook{nullptr};

}  // namespace

void os_Assert(const char* pszExpression, const char* pszFile, int nLine)
{
    os_AssertHook pfnHook = g_pfnAssertHook.load();
    if (pfnHook != nullptr)
        pfnHook(pszExpression, pszFile, nLine);
}

os_AssertHook os_SetAssertHook(os_AssertHook pfnHook) { return g_pfnAssertHook.exchange(pfnHook); }

// ------------------------------------------------------------ 6. Runtime clock

namespace {

// The runtime clock is piecewise linear in the monotonic clock: from the
// last change of scale on, it advances (real elapsed) / scale.
struct ClockState {
    std::mutex lock;
    double dScale = 0;            // 0 until first use
    int64_t nBaseRealNs = 0;      // monotonic reading at the last change
    double dBaseClockMs = 0;      // runtime-clock value at that reading
};

ClockState g_clock;

int64_t monotonicNs()
{
    timespec ts;
    g_sysCalls.pClockGettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

double scaleFromEnvironment()
{
    const char* pszScale = getenv("NORVANE_TIME_SCALE");
    if (pszScale == nullptr || *pszScale == '\0')
        return 1.0;
    char* pEnd = nullptr;
    double dScale = strtod(pszScale, &pEnd);
    if (pEnd == pszScale || !(dScale > 0) || !std::isfinite(dScale))
        return 1.0;
    return dScale;
}

// Caller holds g_clock.lock.
void initClockLocked()
{
    if (g_clock.dScale > 0)
        return;
    g_clock.dScale = scaleFromEnvironment();
    g_clock.nBaseRealNs = monotonicNs();
    g_clock.dBaseClockMs = 0;
}

double clockMsLocked(int64_t nRealNs)
{
    return g_clock.dBaseClockMs + static_cast<double>(nRealNs - g_clock.nBaseRealNs) / 1e6 / g_clock.dScale;
}

}  // namespace

int64_t os_ClockMs()
{
    std::lock_guard<std::mutex> guard(g_clock.lock);
    initClockLocked();
    return static_cast<int64_t>(clockMsLocked(monotonicNs()));
}

double os_TimeScale()
{
    std::lock_guard<std::mutex> guard(g_clock.lock);
    initClockLocked();
    return g_clock.dScale;
}

void os_SetTimeScale(double dScale)
{
    if (!(dScale > 0) || !std::isfinite(dScale))
        return;
    std::lock_guard<std::mutex> guard(g_clock.lock);
    initClockLocked();
    int64_t nNow = monotonicNs();
    g_clock.dBaseClockMs = clockMsLocked(nNow);
    g_clock.nBaseRealNs = nNow;
    g_clock.dScale = dScale;
}

int os_RealMs(int64_t nMs)
{
    if (nMs <= 0)
        return 0;
    double dReal = std::ceil(static_cast<double>(nMs) * os_TimeScale());
    if (dReal < 1)
        return 1;
    return dReal > INT_MAX ? INT_MAX : static_cast<int>(dReal);
}

void os_SleepMs(uint32_t nMs)
{
    if (nMs == 0)
        return;
    double dNs = static_cast<double>(nMs) * 1e6 * os_TimeScale();
    timespec left;
    left.tv_sec = static_cast<time_t>(dNs / 1e9);
    left.tv_nsec = static_cast<long>(dNs - static_cast<double>(left.tv_sec) * 1e9);
    while (g_sysCalls.pNanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

// ------------------------------------------------------------ 7. String helpers

namespace {

bool isWhite(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

}  // namespace

int gn_ToUpper(int c) { return (c >= 'a' && c <= 'z') ? c - 'a' + 'A' : c; }

int gn_StrniCmp(const char* a, const char* b, size_t n)
{
    for (size_t i = 0; i < n; ++i) {
        // Characters are taken as signed, so a byte above 0x7F orders before
        // every ASCII character.
        int ca = gn_ToUpper(static_cast<signed char>(a[i]));
        int cb = gn_ToUpper(static_cast<signed char>(b[i]));
        if (ca != cb)
            return ca - cb;
        if (ca == 0)
            return 0;
    }
    return 0;
}

int gn_StriCmp(const char* a, const char* b) { return gn_StrniCmp(a, b, SIZE_MAX); }

void gn_StrUpper(char* psz)
{
    for (; psz != nullptr && *psz != '\0'; ++psz)
        *psz = static_cast<char>(gn_ToUpper(*psz));
}

void gn_Trim(char* psz)
{
    if (psz == nullptr)
        return;
    size_t nStart = 0;
    while (isWhite(psz[nStart]))
        ++nStart;
    size_t nLength = strlen(psz + nStart);
    memmove(psz, psz + nStart, nLength + 1);
    while (nLength > 0 && isWhite(psz[nLength - 1]))
        psz[--nLength] = '\0';
}

int gn_StrCopyN(char* pszDest, const char* pszSource, int n)
{
    if (pszDest == nullptr || n <= 0)
        return 0;
    int i = 0;
    for (; i < n - 1 && pszSource != nullptr && pszSource[i] != '\0'; ++i)
        pszDest[i] = pszSource[i];
    pszDest[i] = '\0';
    if (pszSource != nullptr && pszSource[i] != '\0')
        return n;
    return i;
}

void gn_TrimCopy(char* pszDest, const char* pszSource, int n)
{
    if (pszDest == nullptr || n <= 0)
        return;
    if (pszSource == nullptr) {
        pszDest[0] = '\0';
        return;
    }
    while (isWhite(*pszSource))
        ++pszSource;
    gn_StrCopyN(pszDest, pszSource, n);
    size_t nLength = strlen(pszDest);
    while (nLength > 0 && isWhite(pszDest[nLength - 1]))
        pszDest[--nLength] = '\0';
}

int gn_HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

int32_t gn_StrToInt(const char* psz)
{
    if (psz == nullptr)
        return 0;
    // Unsigned arithmetic: overlong numbers wrap instead of overflowing.
    uint32_t nValue = 0;
    if (psz[0] == '0' && (psz[1] == 'x' || psz[1] == 'X') && gn_HexDigit(psz[2]) >= 0) {
        for (const char* p = psz + 2; gn_HexDigit(*p) >= 0; ++p)
            nValue = nValue * 16u + static_cast<uint32_t>(gn_HexDigit(*p));
        return static_cast<int32_t>(nValue);
    }
    for (const char* p = psz; *p >= '0' && *p <= '9'; ++p)
        nValue = nValue * 10u + static_cast<uint32_t>(*p - '0');
    return static_cast<int32_t>(nValue);
}

int gn_ReadString(osfl_Handle hFile, char* pszBuffer, int nMax)
{
    if (pszBuffer == nullptr || nMax < 0)
        return 0;
    int nStored = 0;
    while (nStored < nMax) {
        char c;
        int32_t nRead = osfl_Read(hFile, &c, 1);
        if (nRead == osfl_kError) {
            pszBuffer[nStored] = '\0';
            return 0;
        }
        // End of file and Ctrl-Z both end the text; a line cut short by
        // them still counts when it holds anything.
        if (nRead == 0 || c == 0x1A) {
            pszBuffer[nStored] = '\0';
            return nStored > 0 ? 1 : 0;
        }
        // CR LF ends a line, and so does LF alone: a profile written with
        // LF line ends reads as its CR LF twin.
        if (c == '\n') {
            bool bCr = nStored > 0 && pszBuffer[nStored - 1] == '\r';
            pszBuffer[bCr ? nStored - 1 : nStored] = '\0';
            return 1;
        }
        pszBuffer[nStored++] = c;
    }
    pszBuffer[nStored] = '\0';
    return 1;
}

void gn_MatchInit(gn_Matcher* pMatcher, const char* pszPattern)
{
    // A missing pattern is the empty one, which every character completes.
    if (pszPattern == nullptr)
        pszPattern = "";
    pMatcher->pszPattern = pszPattern;
    pMatcher->pszNext = pszPattern;
}

int gn_MatchChar(gn_Matcher* pMatcher, int c)
{
    const char* pszPattern = pMatcher->pszPattern;
    if (*pMatcher->pszNext == '\0')
        return 1;
    char ch = static_cast<char>(c);
    if (*pMatcher->pszNext == ch) {
        ++pMatcher->pszNext;
        return *pMatcher->pszNext == '\0' ? 1 : 0;
    }
    // Fall back to the longest prefix of the pattern that ends with this
    // character and whose other characters end the text matched so far.
    size_t nMatched = static_cast<size_t>(pMatcher->pszNext - pszPattern);
    for (size_t k = nMatched; k >= 1; --k) {
        if (pszPattern[k - 1] != ch)
            continue;
        if (memcmp(pszPattern, pszPattern + (nMatched - (k - 1)), k - 1) == 0) {
            pMatcher->pszNext = pszPattern + k;
            return 0;
        }
    }
    pMatcher->pszNext = pszPattern;
    return 0;
}
