// Debug log on a stdio stream.
//
// The stream pointer and the logging flag are the module's only state. The
// stream is locked (flockfile) for the three writes of one record, so
// records of concurrent workers stay whole; stdio's own buffer decides when
// they reach the disk (dbg_FlushLog forces it). Writers hold a shared lock
// on the stream so that closing it never pulls it from under a writer.
#include "EngineSource/dbg.h"
#include "EngineSource/OSSysCalls.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <shared_mutex>

namespace {

std::atomic<bool> g_bLogging{false};
FILE* g_pLog = nullptr;
// Shared by writers, exclusive for opening and closing.
std::shared_mutex g_streamLock;

// Replaces the log file. A symbolic link under its name is not followed (its
// target would be truncated) and anything but a regular file is refused; the
// descriptor is close-on-exec, like every file the engine opens.
FILE* openLogFile(const char* pszPath)
{
    const os_SysCallTable& sys = os_SysCalls();
    int fd = sys.pOpen(pszPath, O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0)
        return nullptr;
    struct stat st;
    FILE* pLog = nullptr;
    if (sys.pFstat(fd, &st) == 0 && S_ISREG(st.st_mode) && sys.pFtruncate(fd, 0) == 0)
        pLog = sys.pFdopen(fd, "w");
    if (pLog == nullptr)
        sys.pClose(fd);
    return pLog;
}

}  // namespace

void dbg_SetLogging(bool bOn) { g_bLogging.store(bOn, std::memory_order_relaxed); }

void dbg_OpenLogPath(const char* pszPath)
{
    if (!g_bLogging.load(std::memory_order_relaxed))
        return;
    std::unique_lock<std::shared_mutex> guard(g_streamLock);
    if (g_pLog != nullptr)
        os_SysCalls().pFclose(g_pLog);
    g_pLog = pszPath != nullptr ? openLogFile(pszPath) : nullptr;
}

void dbg_OpenLog() { dbg_OpenLogPath("./log.txt"); }

void dbg_Log(int nLine, const char* pszFile, const char* pszFormat, ...)
{
    if (!g_bLogging.load(std::memory_order_relaxed))
        return;
    if (pszFormat == nullptr)
        return;
    std::shared_lock<std::shared_mutex> guard(g_streamLock);
    FILE* pLog = g_pLog;
    if (pLog == nullptr)
        return;

    const os_SysCallTable& sys = os_SysCalls();
    sys.pFlockfile(pLog);
    fprintf(pLog, "[%s (%d)]: ", pszFile != nullptr ? pszFile : "", nLine);
    va_list args;
    va_start(args, pszFormat);
    vfprintf(pLog, pszFormat, args);
    va_end(args);
    fputc('\n', pLog);
    sys.pFunlockfile(pLog);
}

void dbg_FlushLog()
{
    std::shared_lock<std::shared_mutex> guard(g_streamLock);
    if (g_pLog != nullptr)
        fflush(g_pLog);
}

void dbg_CloseLog()
{
    std::unique_lock<std::shared_mutex> guard(g_streamLock);
    if (g_pLog != nullptr)
        os_SysCalls().pFclose(g_pLog);
    g_pLog = nullptr;
}
