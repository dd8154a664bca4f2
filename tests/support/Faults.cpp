#include "support/Faults.h"

#include "EngineSource/OSWIN32.h"
#include "EngineSource/dbg.h"

#include <atomic>
#include <cerrno>
#include <fstream>
#include <iterator>
#include <mutex>

namespace {

std::atomic<int> g_nCalls{0};
int g_nFailAt = 0;
int g_nErrno = 0;

bool failNow()
{
    if (++g_nCalls != g_nFailAt)
        return false;
    errno = g_nErrno;
    return true;
}

int faultyOpen(const char* pszPath, int nFlags, mode_t nMode) { return failNow() ? -1 : os_DefaultSysCalls().pOpen(pszPath, nFlags, nMode); }
ssize_t faultyRead(int fd, void* pBuffer, size_t nCount) { return failNow() ? -1 : os_DefaultSysCalls().pRead(fd, pBuffer, nCount); }
ssize_t faultyWrite(int fd, const void* pBuffer, size_t nCount) { return failNow() ? -1 : os_DefaultSysCalls().pWrite(fd, pBuffer, nCount); }

std::mutex g_assertLock;
std::vector<std::string> g_assertTexts;

void collectAssert(const char* pszExpression, const char*, int)
{
    std::lock_guard<std::mutex> guard(g_assertLock);
    g_assertTexts.push_back(pszExpression);
}

}  // namespace

ScopedSysCallFault::ScopedSysCallFault(Call call, int nFailAt, int nErrno)
{
    g_nCalls = 0;
    g_nFailAt = nFailAt;
    g_nErrno = nErrno;
    os_SysCallTable& table = os_SysCalls();
    if (call == kOpen)
        table.pOpen = faultyOpen;
    else if (call == kRead)
        table.pRead = faultyRead;
    else
        table.pWrite = faultyWrite;
}

ScopedSysCallFault::~ScopedSysCallFault() { os_SysCalls() = os_DefaultSysCalls(); }

int ScopedSysCallFault::calls() const { return g_nCalls; }

ScopedAssertCapture::ScopedAssertCapture()
{
    {
        std::lock_guard<std::mutex> guard(g_assertLock);
        g_assertTexts.clear();
    }
    os_SetAssertHook(collectAssert);
}

ScopedAssertCapture::~ScopedAssertCapture() { os_SetAssertHook(nullptr); }

std::vector<std::string> ScopedAssertCapture::texts() const
{
    std::lock_guard<std::mutex> guard(g_assertLock);
    return g_assertTexts;
}

ScopedLogFile::ScopedLogFile(const std::string& path) : m_path(path)
{
    dbg_SetLogging(true);
    dbg_OpenLogPath(m_path.c_str());
}

ScopedLogFile::~ScopedLogFile()
{
    dbg_CloseLog();
    dbg_SetLogging(false);
}

std::string ScopedLogFile::text() const
{
    dbg_FlushLog();
    std::ifstream in(m_path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
