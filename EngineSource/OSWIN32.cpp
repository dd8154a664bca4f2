// OS services on Linux (POSIX): files on file descriptors, the CR LF line
// reader, directory search over opendir/readdir, recursive pthread mutexes,
// detached pthreads, the scaled monotonic runtime clock, and the gn_ string
// helpers.
//
// Map of this file:
//   1. System-call table        5. Threads and hooks
//   2. Files                    6. Runtime clock
//   3. Line reader              7. String helpers
//   4. Directory search
#include "EngineSource/OSWIN32.h"
#include "EngineSource/OSSysCalls.h"

#include <pthread.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

// ---------------------------------------------------- 1. System-call table

namespace {

int sysOpen(const char* pszPath, int nFlags, mode_t nMode) { return open(pszPath, nFlags, nMode); }
int sysIoctl(int fd, unsigned long nRequest, void* pArg) { return ioctl(fd, nRequest, pArg); }

const os_SysCallTable kDefaultSysCalls = {
    sysOpen, close, read, write, lseek, fstat, unlink, poll, sysIoctl,
    tcgetattr, tcsetattr, tcflush, flock,
};

os_SysCallTable g_sysCalls = kDefaultSysCalls;

}  // namespace

os_SysCallTable& os_SysCalls() { return g_sysCalls; }

const os_SysCallTable& os_DefaultSysCalls() { return kDefaultSysCalls; }

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
        // Recursive, as the original platform's mutexes are: a thread may
        // lock a mutex it already holds.
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
    int nError = pthread_create(&thread, &attr, threadTrampoline, pStart);
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

int os_CheckPointer(const void* p) { return p != nullptr ? 1 : 0; }

void os_Assert(const char* pszExpression, const char* pszFile, int nLine)
{
    (void)pszExpression;
    (void)pszFile;
    (void)nLine;
}

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
    clock_gettime(CLOCK_MONOTONIC, &ts);
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
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
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
        // Characters are taken as signed, as the original compares them.
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

int32_t gn_StrToInt(const char* psz)
{
    if (psz == nullptr)
        return 0;
    auto hexValue = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    // Unsigned arithmetic: overlong numbers wrap instead of overflowing.
    uint32_t nValue = 0;
    if (psz[0] == '0' && (psz[1] == 'x' || psz[1] == 'X') && hexValue(psz[2]) >= 0) {
        for (const char* p = psz + 2; hexValue(*p) >= 0; ++p)
            nValue = nValue * 16u + static_cast<uint32_t>(hexValue(*p));
        return static_cast<int32_t>(nValue);
    }
    for (const char* p = psz; *p >= '0' && *p <= '9'; ++p)
        nValue = nValue * 10u + static_cast<uint32_t>(*p - '0');
    return static_cast<int32_t>(nValue);
}

void gn_MatchInit(gn_Matcher* pMatcher, const char* pszPattern)
{
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
