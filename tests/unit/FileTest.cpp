// Files by handle through the replaceable system-call table, temporary
// files and the executable's folder.
#include "EngineSource/OSWIN32.h"
#include "support/Faults.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace {

mode_t modeOf(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

TEST(FileTest, CreatesPrivateFilesAnewAndRefusesWhatIsNoFile)
{
    TempDir dir;
    std::string path = dir.file("data.bin");
    osfl_Handle hFile = osfl_Create(path.c_str(), osfl_kAttrNormal);
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_NE(fcntl(hFile, F_GETFD) & FD_CLOEXEC, 0);
    EXPECT_EQ(osfl_Write(hFile, "hello world", 11), 11);
    EXPECT_EQ(osfl_Seek(hFile, -5, 2), 6);
    EXPECT_EQ(osfl_Tell(hFile), 6);
    EXPECT_EQ(osfl_Seek(hFile, 0, 3), osfl_kError);
    EXPECT_NE(osfl_Close(hFile), 0);
    hFile = osfl_Create(path.c_str(), osfl_kAttrNormal);
    EXPECT_EQ(osfl_Length(hFile), 0);    // truncated
    osfl_Close(hFile);
    EXPECT_EQ(osfl_Remove(path.c_str()), 0);
    EXPECT_NE(osfl_Remove(path.c_str()), 0);
    EXPECT_EQ(osfl_Open(path.c_str(), osfl_kAccessRead), osfl_kInvalidHandle);
    EXPECT_EQ(osfl_Open(dir.path().c_str(), osfl_kAccessRead), osfl_kInvalidHandle);
}

TEST(FileTest, ReportsFailedSystemCalls)
{
    TempDir dir;
    dir.write("data.bin", "abc");
    std::string path = dir.file("data.bin");
    char sz[4];
    {
        ScopedSysCallFault fault(ScopedSysCallFault::kOpen, 1, EACCES);
        EXPECT_EQ(osfl_Open(path.c_str(), osfl_kAccessRead), osfl_kInvalidHandle);
    }
    osfl_Handle hFile = osfl_Open(path.c_str(), osfl_kAccessReadWrite);
    {
        ScopedSysCallFault fault(ScopedSysCallFault::kRead, 2, EIO);
        EXPECT_EQ(osfl_Read(hFile, sz, 1), 1);
        EXPECT_EQ(osfl_Read(hFile, sz, 1), osfl_kError);
    }
    {
        ScopedSysCallFault fault(ScopedSysCallFault::kWrite, 1, EIO);
        EXPECT_EQ(osfl_Write(hFile, "x", 1), osfl_kError);
    }
    {
        // An interrupted call is repeated, not reported.
        ScopedSysCallFault fault(ScopedSysCallFault::kWrite, 1, EINTR);
        EXPECT_EQ(osfl_Write(hFile, "xy", 2), 2);
        EXPECT_EQ(fault.calls(), 2);
    }
    osfl_Close(hFile);
    EXPECT_EQ(dir.read("data.bin"), "axy");
}

TEST(FileTest, MakesTemporaryFilesAndFindsTheExecutable)
{
    TempDir dir;
    const char* pszSaved = getenv("TMPDIR");
    std::string saved = pszSaved != nullptr ? pszSaved : "";
    setenv("TMPDIR", dir.path().c_str(), 1);
    char szFirst[os_kMaxPath], szSecond[os_kMaxPath], szSmall[8] = "x";
    EXPECT_EQ(os_MakeTempFile(szFirst, sizeof szFirst) + os_MakeTempFile(szSecond, sizeof szSecond), 2);
    EXPECT_EQ(os_MakeTempFile(szSmall, sizeof szSmall), 0);
    pszSaved != nullptr ? setenv("TMPDIR", saved.c_str(), 1) : unsetenv("TMPDIR");
    EXPECT_EQ(std::string(szFirst).rfind(dir.path() + "/", 0), 0u);
    EXPECT_STRNE(szFirst, szSecond);
    EXPECT_EQ(modeOf(szFirst), 0600u);
    EXPECT_STREQ(szSmall, "");

    char szDir[os_kMaxPath];
    ASSERT_EQ(os_GetExeDir(szDir, sizeof szDir), 1);
    EXPECT_EQ(access((std::string(szDir) + "unit_tests").c_str(), X_OK), 0);
    EXPECT_EQ(os_GetExeDir(szSmall, 2), 0);
}

}  // namespace
