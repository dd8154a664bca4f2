#include "support/Faults.h"

#include "EngineSource/OSWIN32.h"
#include "EngineSource/dbg.h"

#include <fstream>
#include <iterator>
#include <mutex>

namespace {

std::mutex g_assertLock;
std::vector<std::string> g_assertTexts;

void collectAssert(const char* pszExpression, const char*, int)
{
    std::lock_guard<std::mutex> guard(g_assertLock);
    g_assertTexts.push_back(pszExpression);
}

}  // namespace

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
