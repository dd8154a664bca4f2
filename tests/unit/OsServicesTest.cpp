// The platform modules' services under the engine, one division per area:
//   1. Strings and the reply matcher
//   2. Files through the system-call table, temporary files, the
//      executable's folder
//   3. Line reading: CR LF lines over 4096-byte blocks and the profile
//      reader's byte-wise reads
//   4. Directory search
//   5. Worker threads with small stacks
//   6. The runtime clock's scaled sleeps
//   7. Serial-layer pieces: the log rendering of data, baud-rate names,
//      the timer (device names are PortMapTest's; ports themselves are
//      tested on simulated devices)
#include "EngineSource/OSWIN32.h"
#include "EngineSource/Urswin32.h"
#include "support/Faults.h"
#include "support/SysCallFaults.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

// ---------------------------------- 1. Strings and the reply matcher

// 1-based position at which a fresh matcher first reports the pattern, or 0.
size_t matchedAt(const char* pszPattern, const std::string& text)
{
    gn_Matcher matcher;
    gn_MatchInit(&matcher, pszPattern);
    for (size_t i = 0; i < text.size(); ++i) {
        if (gn_MatchChar(&matcher, text[i]))
            return i + 1;
    }
    return 0;
}

TEST(MatcherTest, FallsBackToTheLongestPrefixStillMatched)
{
    // On a mismatch the matcher goes on from the longest prefix still matched.
    const std::pair<const char*, const char*> kCases[] = {
        {"abcabd", "abcabcabd"}, {"aab", "aaab"}, {"abab", "abaabab"}, {"aaba", "aaaba"}, {"OK\r\n", "OOK\r\n"},
    };
    for (const auto& c : kCases)
        EXPECT_EQ(matchedAt(c.first, c.second), strlen(c.second)) << c.second;
    EXPECT_EQ(matchedAt("OK\r\n", "ok\r\nO K\r\n"), 0u);
    EXPECT_EQ(matchedAt("", "x"), 1u);
}

// Plain comparisons, upper-casing and trims are shown by the model order,
// the catalogue's names and the profile reader.
TEST(StringTest, ComparesCopiesTrimsAndConvertsAtTheirEdges)
{
    EXPECT_LT(gn_StriCmp("ab", "abc"), 0);
    EXPECT_LT(gn_StriCmp("\xE9", "a"), 0);    // characters are signed
    char sz[16] = "az{\xE9Z`";
    gn_StrUpper(sz);
    EXPECT_STREQ(sz, "AZ{\xE9Z`");
    EXPECT_EQ(gn_StrCopyN(sz, "hello", 6), 5);
    EXPECT_EQ(gn_StrCopyN(sz, "hello", 3), 3);    // cut: returns the size
    EXPECT_STREQ(sz, "he");
    gn_TrimCopy(sz, "  ab cd", 4);    // cut to "ab ", then trimmed
    EXPECT_STREQ(sz, "ab");
    for (auto value : {std::make_pair("0x1F", 31), {"0X1fz", 31}, {"12abc", 12}, {"0x", 0}, {"0xg7", 0}, {"-1", 0}, {" 5", 0}})
        EXPECT_EQ(gn_StrToInt(value.first), value.second) << value.first;
    EXPECT_EQ(gn_StrToInt(nullptr), 0);
}

// ---------------- 2. Files, temporary files, the executable's folder

mode_t modeOf(const std::string& path)
{
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

TEST(FileTest, CreatesPrivateFilesAnewRetriesInterruptedCallsAndRefusesFolders)
{
    TempDir dir;
    std::string path = dir.file("data.bin");
    osfl_Handle hFile = osfl_Create(path.c_str(), osfl_kAttrNormal);
    EXPECT_EQ(modeOf(path), 0600u);
    EXPECT_NE(fcntl(hFile, F_GETFD) & FD_CLOEXEC, 0);
    EXPECT_EQ(osfl_Write(hFile, "hello world", 11), 11);
    EXPECT_EQ(osfl_Seek(hFile, -5, 2), 6);
    EXPECT_EQ(osfl_Seek(hFile, 0, 3), osfl_kError);
    {
        SysCallFaults faults;
        faults.fail(SysCall::kWrite, 1, EIO);
        EXPECT_EQ(osfl_Write(hFile, "x", 1), osfl_kError);
    }
    {
        // An interrupted call is repeated, not reported.
        SysCallFaults faults;
        faults.fail(SysCall::kWrite, 1, EINTR);
        EXPECT_EQ(osfl_Write(hFile, "xy", 2), 2);
        EXPECT_EQ(faults.count(SysCall::kWrite), 2);
    }
    EXPECT_NE(osfl_Close(hFile), 0);
    EXPECT_EQ(dir.read("data.bin"), "hello xyrld");
    hFile = osfl_Create(path.c_str(), osfl_kAttrNormal);
    EXPECT_EQ(osfl_Length(hFile), 0);    // truncated
    osfl_Close(hFile);
    EXPECT_EQ(osfl_Open(dir.path().c_str(), osfl_kAccessRead), osfl_kInvalidHandle);
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
    // The name lies in a folder only the user may enter; the file itself is
    // made later, and removed with its folder.
    std::string folder = std::string(szFirst).substr(0, std::string(szFirst).rfind('/'));
    EXPECT_EQ(modeOf(folder), 0700u);
    EXPECT_NE(access(szFirst, F_OK), 0);
    osfl_Close(osfl_Create(szFirst, osfl_kAttrNormal));
    os_RemoveTempFile(szFirst);
    os_RemoveTempFile(szSecond);
    EXPECT_NE(access(folder.c_str(), F_OK), 0);
    EXPECT_STREQ(szSmall, "");
    // The folder itself is what the model database is loaded from.
    EXPECT_EQ(os_GetExeDir(szSmall, 2), 0);
}

// --------------------------------------------------- 3. Line reading

typedef std::vector<std::pair<int, std::string>> Lines;

// Each result with the line it left, up to the first that is not positive:
// os_ReadNextLine with a buffer of nSize, or, when bByteWise, gn_ReadString
// with a maximum of nSize.
Lines readAll(const TempDir& dir, const std::string& bytes, int nSize, bool bByteWise = false)
{
    dir.write("lines", bytes);
    osfl_Handle hFile = osfl_Open(dir.file("lines").c_str(), osfl_kAccessRead);
    os_LineReader reader;
    os_ResetLineReader(&reader);
    std::vector<char> line(static_cast<size_t>(nSize) + 1, '#');
    Lines lines;
    int nResult;
    do {
        nResult = bByteWise ? gn_ReadString(hFile, line.data(), nSize) : os_ReadNextLine(hFile, line.data(), nSize, &reader);
        lines.emplace_back(nResult, std::string(line.data()));
    } while (nResult > 0);
    osfl_Close(hFile);
    return lines;
}

TEST(LineReaderTest, EndsLinesAtCrLfOrLfAndReportsOverlongLinesAndReadErrors)
{
    TempDir dir;
    EXPECT_EQ(readAll(dir, "A\r\nB", 100), (Lines{{3, "A"}, {1, "B"}, {0, ""}}));
    EXPECT_EQ(readAll(dir, "A\nB\r\n", 100), (Lines{{2, "A"}, {3, "B"}, {0, ""}}));
    // The longest text is the same whichever line end follows it.
    EXPECT_EQ(readAll(dir, "ab\n", 4), (Lines{{3, "ab"}, {0, ""}}));
    EXPECT_EQ(readAll(dir, "abc\n", 4).front().first, -1);
    EXPECT_EQ(readAll(dir, "ab\r\n", 4), (Lines{{4, "ab"}, {0, ""}}));
    // The last byte of the first block is a CR, the first of the next an LF.
    std::string block(4095, 'x');
    EXPECT_EQ(readAll(dir, block + "\r\nnext\r\n", 5000), (Lines{{4097, block}, {6, "next"}, {0, ""}}));
    EXPECT_EQ(readAll(dir, block + "\rY\r\n", 5000), (Lines{{4099, block + "\rY"}, {0, ""}}));

    ScopedLogFile log(dir.file("log.txt"));
    EXPECT_EQ(readAll(dir, "abc\r\n", 4), (Lines{{-1, "abc"}}));    // left terminated
    EXPECT_NE(log.text().find("[EngineSource/OSWIN32 ("), std::string::npos);
    EXPECT_NE(log.text().find("]: ReadNextLine:  Fell out of while loop  nCurCount 4\n"), std::string::npos);
    // The profile reader's byte-wise reads: a lone line feed ends a line, a
    // lone carriage return stays; lines of 150 characters and Ctrl-Z are
    // shown by the profile tests.
    EXPECT_EQ(readAll(dir, "[A]\r\na\nb\rc\r\nlast", 132, true),
              (Lines{{1, "[A]"}, {1, "a"}, {1, "b\rc"}, {1, "last"}, {0, ""}}));
    {
        SysCallFaults faults;
        faults.fail(SysCall::kRead, 3, EIO);
        EXPECT_EQ(readAll(dir, "abcdef\r\n", 132, true), (Lines{{0, "ab"}}));
    }
    SysCallFaults faults;
    faults.fail(SysCall::kRead, 2, EIO);
    EXPECT_EQ(readAll(dir, std::string(4094, 'x') + "\r\nsecond block\r\n", 5000),
              (Lines{{4096, std::string(4094, 'x')}, {-1, ""}}));
}

// ----------------------------------------------- 4. Directory search

// "name" for files, "name/" for folders, in the order found.
std::vector<std::string> search(const char* pszDirectory, const char* pszPattern)
{
    std::vector<std::string> hits;
    os_FindRecord find;
    for (int bFound = os_FindFirst(pszDirectory, pszPattern, &find); bFound; bFound = os_FindNext(&find)) {
        char szName[os_kFindNameSize];
        os_FindName(szName, &find);
        hits.push_back(std::string(szName) + ((os_FindAttributes(&find) & os_kAttrDirectory) ? "/" : ""));
    }
    os_FindClose(&find);
    return hits;
}

TEST(FindTest, MatchesAndSortsWithoutCaseMarksFoldersAndJoinsWithOneSeparator)
{
    TempDir dir;
    for (const char* pszName : {"Zeta.hex", "alpha.hex", "ALPHA.hex", "abgb1234.HEX", "beta.txt", "noext"})
        dir.write(pszName, "");
    mkdir(dir.file("sub.hex").c_str(), 0700);
    symlink("sub.hex", dir.file("link.HEX").c_str());
    dir.write("sub.hex/inner.txt", "");
    const char* pszDir = dir.path().c_str();
    EXPECT_EQ(search(pszDir, "*"), (std::vector<std::string>{"abgb1234.HEX", "ALPHA.hex", "alpha.hex", "beta.txt",
                                                             "link.HEX/", "noext", "sub.hex/", "Zeta.hex"}));
    EXPECT_EQ(search(pszDir, "?ETA.*"), (std::vector<std::string>{"beta.txt", "Zeta.hex"}));
    EXPECT_TRUE(search(dir.file("missing").c_str(), "*").empty());
    EXPECT_EQ(search((dir.path() + "/").c_str(), "sub.hex/*.TXT"), (std::vector<std::string>{"inner.txt"}));
    EXPECT_TRUE(search(std::string(os_kMaxPath, 'd').c_str(), "*").empty());
    ScopedChdir chdir(dir.path());
    EXPECT_EQ(search("", "*.txt"), (std::vector<std::string>{"beta.txt"}));
}

// Each system call behind a service, failing once: the service reports a
// failure (or, for an interrupted sleep, goes on) instead of using what the
// call did not deliver.
TEST(FileTest, FailedSystemCallsEndTheirServiceWithAFailure)
{
    TempDir dir;
    dir.write("data.bin", "abc");
    symlink("data.bin", dir.file("link.hex").c_str());
    const std::string data = dir.file("data.bin");
    char szPath[os_kMaxPath];
    struct Case {
        SysCall eCall;
        int nErrno;
        std::function<int()> run;   // 1 when the service reports a failure
    };
    const Case cases[] = {
        {SysCall::kFtruncate, EIO, [&] { return osfl_Create(data.c_str(), osfl_kAttrNormal) == osfl_kInvalidHandle; }},
        {SysCall::kMkdtemp, EACCES, [&] { return os_MakeTempFile(szPath, sizeof szPath) == 0 && szPath[0] == '\0'; }},
        {SysCall::kReadlink, EACCES, [&] { return os_GetExeDir(szPath, sizeof szPath) == 0 && szPath[0] == '\0'; }},
        {SysCall::kOpendir, EMFILE, [&] { return search(dir.path().c_str(), "*").empty(); }},
        // A link whose target cannot be looked at counts as a device, not a file.
        {SysCall::kStat, EACCES,
         [&] {
             os_FindRecord find;
             int bDevice = os_FindFirst(dir.path().c_str(), "link.hex", &find) == 1 &&
                           os_FindAttributes(&find) == os_kAttrDevice;
             os_FindClose(&find);
             return bDevice;
         }},
        {SysCall::kPthreadCreate, EAGAIN,
         [&] {
             os_Thread hThread = 1;
             return os_CreateThread(&hThread, [](void*) -> uint32_t { return 0; }, 12000, nullptr) == 0 && hThread == 0;
         }},
    };
    for (const Case& c : cases) {
        SysCallFaults faults;
        faults.fail(c.eCall, 1, c.nErrno);
        EXPECT_EQ(c.run(), 1) << static_cast<int>(c.eCall);
        EXPECT_GE(faults.count(c.eCall), 1) << static_cast<int>(c.eCall);
    }
    EXPECT_EQ(dir.read("data.bin"), "abc");
    // An interrupted sleep sleeps on for the time it has left.
    SysCallFaults faults;
    faults.fail(SysCall::kNanosleep, 1, EINTR);
    os_SleepMs(1);
    EXPECT_EQ(faults.count(SysCall::kNanosleep), 2);
}

// --------------------------------------------------- 5. Threads

std::atomic<bool> g_bFormatted{false};
char g_szFormatted[32];

uint32_t formatOnSmallStack(void*)
{
    // Far more stack than the 12000 bytes asked for.
    char szLarge[64 * 1024];
    snprintf(szLarge, sizeof szLarge, "%0*d %.3Lf", 60000, 7, 2.5L);
    gn_StrCopyN(g_szFormatted, szLarge + 59990, static_cast<int>(sizeof g_szFormatted));
    g_bFormatted = true;
    return 0;
}

TEST(ThreadTest, SmallStacksAreRoundedUpForFormattedOutput)
{
    os_Thread hThread = 0;
    ASSERT_EQ(os_CreateThread(&hThread, formatOnSmallStack, 12000, nullptr), 1);
    for (int i = 0; i < 2000 && !g_bFormatted.load(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_TRUE(g_bFormatted.load());
    EXPECT_STREQ(g_szFormatted, "0000000007 2.500");
    EXPECT_EQ(os_CreateThread(&hThread, nullptr, 12000, nullptr), 0);
    EXPECT_EQ(hThread, 0u);
}

// ---------------------------------------------- 6. The runtime clock

TEST(ClockTest, ScaledSleepsTakeScaledRealTimeButTheClockSeesItWhole)
{
    double dSaved = os_TimeScale();
    os_SetTimeScale(0.01);
    auto start = std::chrono::steady_clock::now();
    int64_t nStart = os_ClockMs();
    os_SleepMs(2000);
    auto nReal = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
    int64_t nSeen = os_ClockMs() - nStart;
    os_SetTimeScale(dSaved);
    EXPECT_GE(nReal, 19);
    EXPECT_LT(nReal, 1000);
    EXPECT_GE(nSeen, 2000);
    EXPECT_LT(nSeen, 2000 + 100 * 100);
}

// -------------------------------------------- 7. Serial-layer pieces

std::string format(const std::string& bytes, size_t nOutSize = urs_kFormatSize)
{
    char szOut[urs_kFormatSize + 8];
    urs_FormatData(szOut, nOutSize, bytes.data(), static_cast<uint32_t>(bytes.size()));
    return szOut;
}

// Deadlines passing and stopping are shown on simulated ports.
TEST(UrsPieces, DataRenderedInWholePiecesKnownBaudNamesAndTheTimersLimits)
{
    EXPECT_EQ(format(std::string("\x00\x1f\x7f\xff ~\r\n", 8)), "\\x00\\x1f\\x7f\\xff ~\\r\\n");
    EXPECT_EQ(format(std::string(30, '\x01')).size(), 20u * 4);
    // A short buffer cuts whole pieces, never half an escape.
    EXPECT_EQ(format("AB\r\n", 6), "AB\\r");
    EXPECT_EQ(format("AB", 1), "");
    // Rates without a name of their own are called 19200.
    for (uint32_t nBaud : {300, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200, 14400, 0, 230400})
        EXPECT_EQ(urs_BaudName(nBaud), std::to_string(nBaud == 14400 || nBaud == 0 || nBaud == 230400 ? 19200 : nBaud));
    // The timer expires only when armed, and cuts long times instead of
    // wrapping.
    urs_Port port = {};
    port.hFile = -1;
    EXPECT_EQ(urs_TimerExpired(&port), 0);
    urs_StartTimer(&port, 4000000);
    EXPECT_EQ(port.nTimeoutMs, INT32_MAX);
    EXPECT_EQ(urs_TimerExpired(&port), 0);
}

}  // namespace
