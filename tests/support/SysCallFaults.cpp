#include "support/SysCallFaults.h"

#include "EngineSource/OSSysCalls.h"

#include <cerrno>
#include <cstdio>
#include <mutex>

namespace {

struct Fault {
    int nNth = 0;                 // call that fails; 0: none
    bool bEvery = false;          // and every call after it
    int nErrno = 0;               // errno of the failure
    unsigned long nRequest = 0;   // ioctl request counted; 0: any
    int nCount = 0;               // calls counted
};

struct FakeValue {
    unsigned long nRequest = 0;   // ioctl request faked; 0: none
    int nValue = 0;               // value stored through the argument
    int nTimes = 0;               // calls left; -1: every call
};

std::mutex g_lock;
Fault g_faults[static_cast<int>(SysCall::kCount)];
FakeValue g_fake;
std::vector<std::string> g_calls;
termios g_lastTermios;

// Records the call; true when it is to fail (errno is then set).
bool failNow(SysCall eCall, const std::string& name, unsigned long nRequest = 0)
{
    int nErrno = 0;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        g_calls.push_back(name);
        Fault& fault = g_faults[static_cast<int>(eCall)];
        if (fault.nRequest != 0 && fault.nRequest != nRequest)
            return false;
        ++fault.nCount;
        bool bFail = fault.nNth > 0 && (fault.bEvery ? fault.nCount >= fault.nNth : fault.nCount == fault.nNth);
        if (!bFail)
            return false;
        nErrno = fault.nErrno;
    }
    errno = nErrno;
    return true;
}

const os_SysCallTable& real() { return os_DefaultSysCalls(); }

// The calls with more to do than count and fail.
int fakeIoctl(int fd, unsigned long nRequest, void* pArg)
{
    char szName[32];
    snprintf(szName, sizeof szName, "ioctl 0x%lx", nRequest);
    if (failNow(SysCall::kIoctl, szName, nRequest))
        return -1;
    {
        std::lock_guard<std::mutex> guard(g_lock);
        if (g_fake.nRequest == nRequest && g_fake.nTimes != 0) {
            if (g_fake.nTimes > 0)
                --g_fake.nTimes;
            *static_cast<int*>(pArg) = g_fake.nValue;
            return 0;
        }
    }
    return real().pIoctl(fd, nRequest, pArg);
}
int fakeTcsetattr(int fd, int nWhen, const termios* pTermios)
{
    {
        std::lock_guard<std::mutex> guard(g_lock);
        g_lastTermios = *pTermios;
    }
    return failNow(SysCall::kTcsetattr, "tcsetattr") ? -1 : real().pTcsetattr(fd, nWhen, pTermios);
}
int fakeNanosleep(const timespec* pWanted, timespec* pLeft)
{
    return failNow(SysCall::kNanosleep, "nanosleep") ? -1 : real().pNanosleep(pWanted, pLeft);
}
int fakePthreadCreate(pthread_t* pThread, const pthread_attr_t* pAttr, void* (*pfnStart)(void*), void* pArg)
{
    if (failNow(SysCall::kPthreadCreate, "pthread_create"))
        return errno;
    return real().pPthreadCreate(pThread, pAttr, pfnStart, pArg);
}

}  // namespace

SysCallFaults::SysCallFaults()
{
    {
        std::lock_guard<std::mutex> guard(g_lock);
        for (Fault& fault : g_faults)
            fault = Fault();
        g_fake = FakeValue();
        g_calls.clear();
    }
    // Every entry counts its calls; the one chosen fails with -1 (or a null
    // object) and errno set.
    os_SysCallTable& table = os_SysCalls();
    table.pOpen = [](auto... a) { return failNow(SysCall::kOpen, "open") ? -1 : real().pOpen(a...); };
    table.pClose = [](auto... a) { return failNow(SysCall::kClose, "close") ? -1 : real().pClose(a...); };
    table.pRead = [](auto... a) { return failNow(SysCall::kRead, "read") ? -1 : real().pRead(a...); };
    table.pWrite = [](auto... a) { return failNow(SysCall::kWrite, "write") ? -1 : real().pWrite(a...); };
    table.pPoll = [](auto... a) { return failNow(SysCall::kPoll, "poll") ? -1 : real().pPoll(a...); };
    table.pIoctl = fakeIoctl;
    table.pTcgetattr = [](auto... a) {
        return failNow(SysCall::kTcgetattr, "tcgetattr") ? -1 : real().pTcgetattr(a...);
    };
    table.pTcsetattr = fakeTcsetattr;
    table.pTcflush = [](auto... a) { return failNow(SysCall::kTcflush, "tcflush") ? -1 : real().pTcflush(a...); };
    table.pFlock = [](auto... a) { return failNow(SysCall::kFlock, "flock") ? -1 : real().pFlock(a...); };
    table.pFtruncate = [](auto... a) {
        return failNow(SysCall::kFtruncate, "ftruncate") ? -1 : real().pFtruncate(a...);
    };
    table.pMkdtemp = [](auto... a) {
        return failNow(SysCall::kMkdtemp, "mkdtemp") ? nullptr : real().pMkdtemp(a...);
    };
    table.pReadlink = [](auto... a) { return failNow(SysCall::kReadlink, "readlink") ? -1 : real().pReadlink(a...); };
    table.pStat = [](auto... a) { return failNow(SysCall::kStat, "stat") ? -1 : real().pStat(a...); };
    table.pLstat = [](auto... a) { return failNow(SysCall::kStat, "lstat") ? -1 : real().pLstat(a...); };
    table.pOpendir = [](auto... a) { return failNow(SysCall::kOpendir, "opendir") ? nullptr : real().pOpendir(a...); };
    table.pFopen = [](auto... a) { return failNow(SysCall::kFopen, "fopen") ? nullptr : real().pFopen(a...); };
    table.pFdopen = [](auto... a) { return failNow(SysCall::kFopen, "fdopen") ? nullptr : real().pFdopen(a...); };
    table.pPthreadCreate = fakePthreadCreate;
}

namespace {

// Puts back the entries that differ from the defaults, and only those:
// worker and device threads of a test may still read the table (the clock,
// the log's stream lock), and rewriting an entry they read would race.
template <typename... Members>
void restoreChanged(os_SysCallTable& table, const os_SysCallTable& defaults, Members... members)
{
    ((table.*members != defaults.*members ? (void)(table.*members = defaults.*members) : (void)0), ...);
}

}  // namespace

SysCallFaults::~SysCallFaults()
{
    using T = os_SysCallTable;
    restoreChanged(os_SysCalls(), os_DefaultSysCalls(), &T::pOpen, &T::pClose, &T::pRead, &T::pWrite, &T::pLseek,
                   &T::pFstat, &T::pUnlink, &T::pPoll, &T::pIoctl, &T::pTcgetattr, &T::pTcsetattr, &T::pTcflush,
                   &T::pFlock, &T::pFtruncate, &T::pMkdtemp, &T::pRmdir, &T::pReadlink, &T::pStat, &T::pLstat,
                   &T::pOpendir, &T::pReaddir, &T::pClosedir, &T::pNanosleep, &T::pFopen, &T::pFdopen, &T::pFclose,
                   &T::pFlockfile, &T::pFunlockfile, &T::pClockGettime, &T::pPthreadCreate, &T::pGetegid,
                   &T::pGetgroups, &T::pGetgrgidR);
}

void SysCallFaults::fail(SysCall eCall, int nNth, int nErrno, bool bEvery, unsigned long nRequest)
{
    // Sleeping is shared by every thread of a test, so it is only diverted
    // when a test makes it fail.
    if (eCall == SysCall::kNanosleep)
        os_SysCalls().pNanosleep = fakeNanosleep;
    std::lock_guard<std::mutex> guard(g_lock);
    Fault& fault = g_faults[static_cast<int>(eCall)];
    fault.nNth = nNth;
    fault.bEvery = bEvery;
    fault.nErrno = nErrno;
    fault.nRequest = nRequest;
    fault.nCount = 0;
}

void SysCallFaults::fakeIoctlValue(unsigned long nRequest, int nValue, int nTimes)
{
    std::lock_guard<std::mutex> guard(g_lock);
    g_fake.nRequest = nRequest;
    g_fake.nValue = nValue;
    g_fake.nTimes = nTimes;
}

int SysCallFaults::count(SysCall eCall) const
{
    std::lock_guard<std::mutex> guard(g_lock);
    return g_faults[static_cast<int>(eCall)].nCount;
}

std::vector<std::string> SysCallFaults::calls() const
{
    std::lock_guard<std::mutex> guard(g_lock);
    return g_calls;
}

termios SysCallFaults::lastTermios() const
{
    std::lock_guard<std::mutex> guard(g_lock);
    return g_lastTermios;
}
