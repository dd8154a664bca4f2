// The Lucent flash protocol against simulated Lucent loaders: both ways of
// reaching the loader and both command variants byte for byte, the settles,
// the version rule, every failure with the port and files released, the
// replies to loader and firmware lines (time-outs, second waits, refusals
// and their recovery), cancelling, and the long first-line waits.
#include "EngineSource/LucFlsh.h"
#include "sim/SimHexImage.h"
#include "sim/SimLucentLoader.h"
#include "support/FlashRun.h"
#include "support/SimFixture.h"
#include "support/SysCallFaults.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

// Processor time of the whole process (every thread), in seconds.
double processCpuSeconds() { return static_cast<double>(std::clock()) / CLOCKS_PER_SEC; }

int countOf(const std::vector<std::string>& lines, const std::string& line)
{
    int nCount = 0;
    for (const std::string& each : lines)
        nCount += each == line ? 1 : 0;
    return nCount;
}

class LucFlshTest : public FlashFixture {
protected:
    void SetUp() override
    {
        FlashFixture::SetUp();
        m_loader = dataFile("FlashLdr.hex");
        ASSERT_FALSE(m_loader.empty());
        m_dir.write("FlashLdr.hex", m_loader);
    }

    // Starts a device on COMn with a Lucent loader ("lucentloader" = 4.4,
    // then the settings given); returns the loader, null when it failed.
    std::shared_ptr<SimLucentLoader> addLucent(int nPort, const SimSettings& settings = SimSettings(),
                                               bool bEcho = true)
    {
        SimSettings all = {{"lucentloader", "4.4"}};
        all.insert(all.end(), settings.begin(), settings.end());
        SimDeviceConfig config = addLoaderDevice(nPort, all, bEcho);
        return m_pDevice != nullptr ? config.pLucent : nullptr;
    }

    int32_t program(int nPort, int32_t nStartMode, int32_t nVariant = 0, uint32_t nFlashType = 0,
                    int32_t bHandshakeOnly = 0, const char* pszHex = "fw.hex")
    {
        return runProtocol(LucFlsh_Program, nPort, nFlashType, bHandshakeOnly, pszHex, nStartMode, nVariant);
    }

    // One loader or firmware line answered as asked, on a fresh device per case.
    struct LineCase {
        const char* pszAnswer;    // the line's answer
        int32_t nResult;          // the result expected
        int nReceptions;          // times the line arrives
        size_t nLines;            // lines the stage receives in all
    };
    void checkLineAnswers(const char* pszKey, int32_t nStartMode, size_t nLine, const std::vector<LineCase>& cases)
    {
        bool bLoader = nStartMode == 2;
        std::vector<std::string> lines = bLoader ? wireLines(m_loader, "at&&f") : wireLines(m_firmware);
        int nPort = 3;
        for (const LineCase& c : cases) {
            SCOPED_TRACE(std::string(pszKey) + "=" + c.pszAnswer);
            std::shared_ptr<SimLucentLoader> pLoader = addLucent(nPort, {{pszKey, c.pszAnswer}});
            ASSERT_NE(pLoader, nullptr);
            EXPECT_EQ(program(nPort, nStartMode), c.nResult);
            expectReleased(nPort);
            std::vector<std::string> got = bLoader ? pLoader->loaderLines() : pLoader->firmwareLines();
            EXPECT_EQ(countOf(got, lines[nLine - 1]), c.nReceptions);
            EXPECT_EQ(got.size(), c.nLines);
            ++nPort;
        }
    }

    std::string m_loader;    // ./FlashLdr.hex
};

// The reply waits on a plain device whose bytes the test injects.
class LucReplyTest : public SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        m_pDevice = addDevice(3, false);
        openPort(3);
        ASSERT_EQ(urs_SetUart(&m_port, 115200, 8, 0, 0, 0), 0);
    }

    // Makes the device send bytes and waits until they have left it.
    void arrive(const std::string& bytes)
    {
        m_sent += bytes;
        m_pDevice->inject(bytes);
        ASSERT_TRUE(m_pDevice->transcript().waitSent(m_sent, 2000));
    }

    SimDevice* m_pDevice = nullptr;   // the device on COM3
    std::string m_sent;               // every byte injected so far
};

TEST_F(LucReplyTest, ARefusalIsNeverTakenForTheOkInsideIt)
{
    const std::pair<const char*, int> kCases[] = {
        {"NOK2\r\n", LucFlsh_kReplyNok2},   {"garbageNOK4\r\n", LucFlsh_kReplyNok4},
        {"NOK1", LucFlsh_kReplyNok1},        {"NOK3\r\n", LucFlsh_kReplyNok3},
        {"NOK7\r\nOK\r\n", LucFlsh_kReplyOk}, {"\xFF\xFFOK\r\n", LucFlsh_kReplyOk},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.first);
        arrive(c.first);
        EXPECT_EQ(GetOKorNOKx(&m_port, 1, nullptr), c.second);
    }
    // A "NOK" that goes no further is no reply: the wait runs out.
    arrive("NOK");
    int64_t nStart = os_ClockMs();
    EXPECT_EQ(GetOKorNOKx(&m_port, 1, nullptr), LucFlsh_kReplyTimeout);
    EXPECT_GE(os_ClockMs() - nStart, 1000);
    // A time-out of 0 does not wait.
    nStart = os_ClockMs();
    EXPECT_EQ(GetOKorNOKx(&m_port, 0, nullptr), LucFlsh_kReplyTimeout);
    EXPECT_LT(os_ClockMs() - nStart, 100);
    // The re-send wait judges replies the same way.
    arrive("NOK3\r\n");
    EXPECT_EQ(LucFlsh_WaitOK(&m_port, 1), LucFlsh_kReplyNok3);
    arrive("OK\r\n");
    EXPECT_EQ(LucFlsh_WaitOK(&m_port, 1), LucFlsh_kReplyOk);
}

TEST_F(LucReplyTest, VersionRepliesAreNotedOnTheWay)
{
    char szVersion[flsh_kVersionSize] = "old";
    arrive("Ver:4.3\r\nOK\r\n");
    EXPECT_EQ(GetOKorNOKx(&m_port, 1, szVersion), LucFlsh_kReplyOk);
    EXPECT_STREQ(szVersion, "4.3");
    arrive("AT&&FGO\r\r\nVer:4.4\r\nOK\r\n");
    EXPECT_EQ(LucFlsh_GetVersion(&m_port, 1, szVersion), LucFlsh_kVersionSeen);
    EXPECT_STREQ(szVersion, "4.4");
    szVersion[0] = '\0';
    arrive("OK\r\n");
    EXPECT_EQ(LucFlsh_GetVersion(&m_port, 1, szVersion), LucFlsh_kVersionMissing);
    // The start command's answer looks for no refusal.
    arrive("NOK1\r\n");
    EXPECT_EQ(LucFlsh_GetVersion(&m_port, 1, szVersion), LucFlsh_kVersionMissing);
    EXPECT_STREQ(szVersion, "");
    EXPECT_EQ(LucFlsh_GetVersion(&m_port, 1, szVersion), LucFlsh_kVersionTimeout);
}

TEST_F(LucReplyTest, RecoveringARefusedLine)
{
    const char kLine[] = ":0400000001020304F2\r\n";
    // NOK1 and NOK4: go on at once, nothing sent.
    EXPECT_EQ(LucFlsh_RecoverNOK(&m_port, kLine, LucFlsh_kReplyNok1), 1);
    EXPECT_EQ(LucFlsh_RecoverNOK(&m_port, kLine, LucFlsh_kReplyNok4), 1);
    EXPECT_EQ(m_pDevice->transcript().received(), "");
    // NOK2: refused twice more, then accepted: three re-sends.
    arrive("NOK2\r\nNOK3\r\nOK\r\n");
    EXPECT_EQ(LucFlsh_RecoverNOK(&m_port, kLine, LucFlsh_kReplyNok2), 1);
    ASSERT_TRUE(m_pDevice->transcript().waitReceived(std::string(kLine) + kLine + kLine, 2000));
    // NOK3 with no answer at all: four re-sends, then failure.
    int64_t nStart = os_ClockMs();
    EXPECT_EQ(LucFlsh_RecoverNOK(&m_port, kLine, LucFlsh_kReplyNok3), 0);
    EXPECT_GE(os_ClockMs() - nStart, 4 * 2000);
    std::string seven;
    for (int i = 0; i < 7; ++i)
        seven += kLine;
    EXPECT_TRUE(m_pDevice->transcript().waitReceived(seven, 2000));
    EXPECT_EQ(m_pDevice->transcript().received(), seven);
    EXPECT_EQ(LucFlsh_RecoverNOK(&m_port, kLine, LucFlsh_kReplyOk), 0);
}

TEST_F(LucFlshTest, StartedLoaderTakesEveryFirmwareLine)
{
    struct Case {
        int32_t nStartMode;     // 0 or 1: start the loader the device holds
        int32_t nVariant;       // command variant
        const char* pszStart;   // the start command expected
    };
    const Case kCases[] = {{0, 0, "AT&&FGO\r"}, {1, 1, "AT&&WGO\r"}, {1, 0, "AT&&FGO\r"}};
    std::vector<std::string> expected = wireLines(m_firmware);
    ASSERT_EQ(expected.size(), 32u);
    int nPort = 3;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pszStart);
        std::shared_ptr<SimLucentLoader> pLoader = addLucent(nPort);
        ASSERT_NE(pLoader, nullptr);
        EXPECT_EQ(program(nPort, c.nStartMode, c.nVariant), flsh_cSuccessful);
        expectReleased(nPort);
        EXPECT_STREQ(m_szVersion, "4.4");
        EXPECT_EQ(pLoader->firmwareLines(), expected);
        EXPECT_TRUE(pLoader->loaderLines().empty());
        EXPECT_EQ(m_pDevice->transcript().received(), c.pszStart + joinedLines(expected));
        EXPECT_EQ(events(), "5 6*32 9");
        int32_t nLast = 0;
        for (const FlashEvent& event : m_events->events()) {
            EXPECT_GE(event.nPercent, nLast);
            EXPECT_LE(event.nPercent, 100);
            nLast = event.nPercent;
        }
        ++nPort;
    }
}

TEST_F(LucFlshTest, DownloadedLoaderGoesOutPrefixedThenTheFirmwarePlain)
{
    const char* const kPrefixes[2] = {"at&&f", "at&&w"};
    for (int32_t nVariant = 0; nVariant < 2; ++nVariant) {
        SCOPED_TRACE(kPrefixes[nVariant]);
        int nPort = 3 + nVariant;
        std::shared_ptr<SimLucentLoader> pLoader = addLucent(nPort);
        ASSERT_NE(pLoader, nullptr);
        m_szVersion[0] = '\0';
        EXPECT_EQ(program(nPort, 2, nVariant), flsh_cSuccessful);
        expectReleased(nPort);
        std::vector<std::string> loaderLines = wireLines(m_loader, kPrefixes[nVariant]);
        ASSERT_EQ(loaderLines.size(), 65u);
        EXPECT_EQ(pLoader->loaderLines(), loaderLines);
        EXPECT_EQ(pLoader->firmwareLines(), wireLines(m_firmware));
        EXPECT_EQ(m_pDevice->transcript().received(), joinedLines(loaderLines) + joinedLines(wireLines(m_firmware)));
        EXPECT_EQ(pLoader->runs(), 1);
        EXPECT_STREQ(m_szVersion, "4.4");
        EXPECT_EQ(events(), "5 13*65 9 6*32 9");
    }
}

TEST_F(LucFlshTest, SettlesAfterOpeningAndBeforeClosingAndLogsEachStep)
{
    ASSERT_NE(addLucent(3, SimSettings(), false), nullptr);
    writeFirmware(sim_MakeIntelHex(0, 32, 16, 5));
    ASSERT_EQ(program(3, 0), flsh_cSuccessful);
    expectReleased(3);

    int64_t nFirstByte = -1, nLastReply = -1, nClosed = -1;
    for (const SimTranscriptEntry& entry : m_pDevice->transcript().entries()) {
        if (entry.eDirection == SimDirection::kEvent && entry.data == "host closed the port" && nClosed < 0)
            nClosed = entry.nTimeMs;
        if (entry.eDirection == SimDirection::kToDevice && nFirstByte < 0)
            nFirstByte = entry.nTimeMs;
        if (entry.eDirection == SimDirection::kToHost && nClosed < 0)
            nLastReply = entry.nTimeMs;
    }
    ASSERT_GE(nFirstByte, 0);
    ASSERT_GE(nLastReply, 0);
    EXPECT_GE(nFirstByte - m_nStartMs, 10000);
    EXPECT_LT(nFirstByte - m_nStartMs, 11000);
    EXPECT_GE(nClosed - nLastReply, 2000);
    EXPECT_LT(nClosed - nLastReply, 4000);

    const char* const kSteps[] = {
        "]: <COM3>  Opened\n", "]: <fw.hex> File opened\n", "]: Send AT&&FGO\n", "]: Get the OK\n",
        "]: Start the download of the file\n", "]: Timeout time 180\n", "]: FileLength 120\n", "]: Call os_yield",
        "]: Before os_ReadNextLine", "]: After os_ReadNextLine, nRead 17", "]: Before urs_PurBlock, nBytesToWrite 17",
        "]: After urs_PutBlock, nRet 0", "]: After GetOKorNOKx, nResult 0", "]: Percent Done 100",
        "]: **** We are done reading the file ****", "]: **** Percent 100 ****",
        "]: We are done, set percent to 100 and status to flsh_cProgramDone", "]: The device is flashed",
        "]: Close the port", "]: File is closed", "]: Port is closed", "]: nFlashReturn 0\n"};
    std::string text = log();
    size_t nAt = 0;
    for (const char* pszStep : kSteps) {
        size_t nFound = text.find(pszStep, nAt);
        EXPECT_NE(nFound, std::string::npos) << pszStep;
        if (nFound != std::string::npos)
            nAt = nFound;
    }
    EXPECT_THAT(text, HasSubstr("[EngineSource/LucFlsh ("));
}

TEST_F(LucFlshTest, PortAndFileFailures)
{
    EXPECT_EQ(program(9, 0), flsh_cPortOpen);
    EXPECT_TRUE(m_events->events().empty());
    EXPECT_EQ(openFdCount(), m_nFds);

    ASSERT_NE(addLucent(3), nullptr);
    EXPECT_EQ(program(3, 0, 0, 0, 0, "missing.hex"), flsh_cHexFileOpen);
    expectReleased(3);
    EXPECT_TRUE(m_events->events().empty());

    std::shared_ptr<SimLucentLoader> pLoader = addLucent(4);
    ASSERT_NE(pLoader, nullptr);
    ASSERT_EQ(remove(m_dir.file("FlashLdr.hex").c_str()), 0);
    EXPECT_EQ(program(4, 2), flsh_cHexFileOpen);
    expectReleased(4);
    EXPECT_EQ(events(), "5");
    EXPECT_EQ(m_pDevice->transcript().received(), "");
}

TEST_F(LucFlshTest, NoLoaderVersionGives13)
{
    const SimSettings kCases[] = {
        {{"lucentloader.start", "none"}},      // silent
        {{"lucentloader.start", "error"}},     // refused
        {{"lucentloader", "none"}},            // "OK" without a version
        {{"lucentloader.start", "ok@3000"}},   // answered after the 2 s
    };
    int nPort = 3;
    for (const SimSettings& settings : kCases) {
        SCOPED_TRACE(settings[0].first + "=" + settings[0].second);
        std::shared_ptr<SimLucentLoader> pLoader = addLucent(nPort, settings);
        ASSERT_NE(pLoader, nullptr);
        EXPECT_EQ(program(nPort, 0), flsh_cLoaderVersion);
        expectReleased(nPort);
        EXPECT_TRUE(pLoader->firmwareLines().empty());
        EXPECT_EQ(m_pDevice->transcript().received(), "AT&&FGO\r");
        EXPECT_EQ(events(), "5");
        ++nPort;
    }
}

TEST_F(LucFlshTest, AnUnwritableStartCommandEndsTheRunWith13)
{
    std::shared_ptr<SimLucentLoader> pLoader = addLucent(3);
    ASSERT_NE(pLoader, nullptr);
    SysCallFaults faults;
    faults.fail(SysCall::kWrite, 1, EIO);
    EXPECT_EQ(program(3, 1, 1), flsh_cLoaderVersion);
    expectReleased(3);
    EXPECT_EQ(m_pDevice->transcript().received(), "");
    EXPECT_EQ(pLoader->runs(), 0);
    EXPECT_THAT(log(), HasSubstr("]: Error:  PutBlock <AT&&WGO\r>\n"));
    EXPECT_THAT(log(), HasSubstr("]: nFlashReturn 13\n"));
}

TEST_F(LucFlshTest, TheLoaderVersionMustFitTheFlashType)
{
    struct Case {
        const char* pszVersion;    // the loader's version
        int32_t nStartMode;        // how it is reached
        uint32_t nFlashType;       // the device's flash type
        int32_t nResult;           // expected
    };
    const Case kCases[] = {
        {"4.3", 0, 3, flsh_cWrongVersion}, {"4.3", 0, 2, flsh_cSuccessful}, {"4.4", 0, 3, flsh_cSuccessful},
        {"4.2", 2, 0, flsh_cWrongVersion}, {"none", 2, 0, flsh_cWrongVersion},
    };
    int nPort = 3;
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string(c.pszVersion) + " type " + std::to_string(c.nFlashType));
        std::shared_ptr<SimLucentLoader> pLoader = addLucent(nPort, {{"lucentloader", c.pszVersion}});
        ASSERT_NE(pLoader, nullptr);
        // A version left from an earlier run does not count.
        snprintf(m_szVersion, sizeof m_szVersion, "4.4");
        EXPECT_EQ(program(nPort, c.nStartMode, 0, c.nFlashType), c.nResult);
        expectReleased(nPort);
        bool bSent = c.nResult == flsh_cSuccessful;
        EXPECT_EQ(pLoader->firmwareLines().size(), bSent ? 32u : 0u);
        EXPECT_EQ(m_events->count(flsh_cEventProgram), bSent ? 32 : 0);
        EXPECT_STREQ(m_szVersion, strstr(c.pszVersion, "4.") != nullptr && c.nStartMode == 0 ? c.pszVersion : "");
        ++nPort;
    }

    // A start mode that reaches no loader sends nothing and finds no version.
    ASSERT_NE(addLucent(nPort), nullptr);
    snprintf(m_szVersion, sizeof m_szVersion, "4.4");
    EXPECT_EQ(program(nPort, 3), flsh_cWrongVersion);
    expectReleased(nPort);
    EXPECT_EQ(m_pDevice->transcript().received(), "");
}

TEST_F(LucFlshTest, LinesThatCannotBeSentMakeABadHexFile)
{
    const std::string kRecord = ":0400000001020304F2\r\n";
    // Firmware lines of 125 characters go out; one of 126 does not fit the
    // 128-byte text with its CR LF.
    writeFirmware(kRecord + std::string(125, 'A') + "\r\n" + std::string(126, 'B') + "\r\n" + kRecord);
    std::shared_ptr<SimLucentLoader> pLoader = addLucent(3);
    ASSERT_NE(pLoader, nullptr);
    EXPECT_EQ(program(3, 0), flsh_cBadHexFile);
    expectReleased(3);
    EXPECT_THAT(pLoader->firmwareLines(), ElementsAre(kRecord, std::string(125, 'A') + "\r\n"));
    EXPECT_EQ(events(), "5 6*2");

    // Loader lines carry the five-character prefix: 120 characters fit, 121 do not.
    m_dir.write("FlashLdr.hex", kRecord + std::string(120, 'C') + "\r\n" + std::string(121, 'D') + "\r\n");
    pLoader = addLucent(4);
    ASSERT_NE(pLoader, nullptr);
    EXPECT_EQ(program(4, 2, 1), flsh_cBadHexFile);
    expectReleased(4);
    EXPECT_THAT(pLoader->loaderLines(), ElementsAre("at&&w" + kRecord, "at&&w" + std::string(120, 'C') + "\r\n"));
    EXPECT_THAT(log(), HasSubstr("Line too long to send: 126 characters"));

    // A read error of the loader file.
    m_dir.write("FlashLdr.hex", m_loader);
    pLoader = addLucent(5);
    ASSERT_NE(pLoader, nullptr);
    {
        SysCallFaults faults;
        faults.fail(SysCall::kRead, 1, EIO);
        EXPECT_EQ(program(5, 2), flsh_cBadHexFile);
    }
    expectReleased(5);
    EXPECT_TRUE(pLoader->loaderLines().empty());
}

TEST_F(LucFlshTest, UnansweredLoaderLinesAreSentAgainThreeTimes)
{
    checkLineAnswers("lucentloader.loader2", 2, 2,
                     {
                         {"none*3", flsh_cSuccessful, 4, 68},   // the third re-send is answered
                         {"none*4", flsh_cTimeout, 4, 5},       // never answered
                         {"nok2", flsh_cTimeout, 1, 2},         // a refused loader line is not sent again
                     });
}

TEST_F(LucFlshTest, AnUnansweredFirmwareLineGetsASecondWaitWithoutResend)
{
    // Each later wait is 2 s: an answer within 4 s is caught by the second.
    checkLineAnswers("lucentloader.line3", 0, 3,
                     {{"none", flsh_cTimeout, 1, 3}, {"ok@3000", flsh_cSuccessful, 1, 32}, {"ok@5000", flsh_cTimeout, 1, 3}});
    EXPECT_EQ(events(), "5 6*2");
    std::string line3 = wireLines(m_firmware)[2];
    EXPECT_THAT(log(), HasSubstr("]: Timeout getting response for " + line3 + ", Try again."));
    EXPECT_THAT(log(), HasSubstr("]: Timeout getting response for " + line3 + ".\n"));
}

TEST_F(LucFlshTest, RefusedFirmwareLinesAreSkippedOrSentAgain)
{
    checkLineAnswers("lucentloader.line3", 0, 3,
                     {
                         {"nok1", flsh_cSuccessful, 1, 32},       // the transfer goes on with line 4
                         {"nok4", flsh_cSuccessful, 1, 32},
                         {"nok2*4", flsh_cSuccessful, 5, 36},     // accepted at the fourth re-send
                         {"nok2*5", flsh_cVerifyFailed, 5, 7},    // refused every time
                         {"nok3*2", flsh_cSuccessful, 3, 34},     // refused again: sent again, never accepted
                         {"nok3@3000", flsh_cSuccessful, 2, 33},  // a refusal on the second wait counts too
                     });
}

TEST_F(LucFlshTest, WriteFailuresAreReported)
{
    std::vector<std::string> lines = wireLines(m_firmware);
    // Line 3 cannot be written (write 4, after the start command): event 7
    // with the percentage after line 2; the reply is awaited all the same,
    // twice, and never comes.
    writeFirmware(sim_MakeIntelHex(0, 8000, 32, 4));
    lines = wireLines(m_firmware);
    std::shared_ptr<SimLucentLoader> pLoader = addLucent(3);
    ASSERT_NE(pLoader, nullptr);
    {
        SysCallFaults faults;
        faults.fail(SysCall::kWrite, 4, EIO);
        EXPECT_EQ(program(3, 0), flsh_cTimeout);
    }
    expectReleased(3);
    EXPECT_EQ(events(), "5 6*2 7");
    std::vector<FlashEvent> got = m_events->events();
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[3].nPercent, 4096 * 100 / static_cast<int32_t>(m_firmware.size()));
    EXPECT_EQ(got[3].nPercent, got[2].nPercent);
    EXPECT_THAT(pLoader->firmwareLines(), ElementsAre(lines[0], lines[1]));
    EXPECT_THAT(log(), HasSubstr("]: Error:  PutBlock <" + lines[2] + ">\n"));

    // Line 2 is refused with NOK2 and its re-send cannot be written.
    pLoader = addLucent(4, {{"lucentloader.line2", "nok2"}});
    ASSERT_NE(pLoader, nullptr);
    {
        SysCallFaults faults;
        faults.fail(SysCall::kWrite, 4, EIO);
        EXPECT_EQ(program(4, 0), flsh_cVerifyFailed);
    }
    expectReleased(4);
    EXPECT_THAT(pLoader->firmwareLines(), ElementsAre(lines[0], lines[1]));
}

TEST_F(LucFlshTest, ACallbackAnsweringZeroAbortsTheRun)
{
    struct Case {
        int32_t nStopEvent;    // the event answered 0
        int nNth;              // at its nth report
        int32_t nStartMode;    // how the loader is reached
        const char* pszRuns;   // events expected
        size_t nLoader;        // loader lines expected
        size_t nFirmware;      // firmware lines expected
    };
    const Case kCases[] = {
        {flsh_cEventProgramStart, 1, 0, "5", 0, 0},
        {flsh_cEventLoader, 3, 2, "5 13*3", 3, 0},
        {flsh_cProgramDone, 1, 2, "5 13*65 9", 65, 0},
        {flsh_cEventProgram, 2, 0, "5 6*2", 0, 2},
        {flsh_cProgramDone, 1, 0, "5 6*32 9", 0, 32},
    };
    int nPort = 3;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pszRuns);
        std::shared_ptr<SimLucentLoader> pLoader = addLucent(nPort);
        ASSERT_NE(pLoader, nullptr);
        m_nStopEvent = c.nStopEvent;
        m_nStopNth = c.nNth;
        EXPECT_EQ(program(nPort, c.nStartMode), flsh_cAborted);
        expectReleased(nPort);
        EXPECT_EQ(events(), c.pszRuns);
        EXPECT_EQ(pLoader->loaderLines().size(), c.nLoader);
        EXPECT_EQ(pLoader->firmwareLines().size(), c.nFirmware);
        ++nPort;
    }
}

TEST_F(LucFlshTest, EmptyFilesLoneLineFeedsAndHandshakeOnly)
{
    // An empty hex file: event 9 at once, and done.
    writeFirmware("");
    std::shared_ptr<SimLucentLoader> pLoader = addLucent(3);
    ASSERT_NE(pLoader, nullptr);
    EXPECT_EQ(program(3, 0), flsh_cSuccessful);
    expectReleased(3);
    EXPECT_EQ(events(), "5 9");
    EXPECT_TRUE(pLoader->firmwareLines().empty());

    // A lone LF ends the line there.
    writeFirmware(":0400000001020304F2\r\nABC\nDEF\r\n:00000001FF\r\n");
    pLoader = addLucent(4);
    ASSERT_NE(pLoader, nullptr);
    EXPECT_EQ(program(4, 0), flsh_cSuccessful);
    expectReleased(4);
    EXPECT_THAT(pLoader->firmwareLines(), ElementsAre(":0400000001020304F2\r\n", "ABC\r\n", ":00000001FF\r\n"));

    // Handshake only: the hex file is not even opened; the loader is reached
    // both ways and nothing else is sent.
    for (int32_t nStartMode : {0, 2}) {
        int nPort = 5 + nStartMode;
        pLoader = addLucent(nPort);
        ASSERT_NE(pLoader, nullptr);
        EXPECT_EQ(program(nPort, nStartMode, 0, 0, 1, "missing.hex"), flsh_cSuccessful);
        expectReleased(nPort);
        EXPECT_EQ(pLoader->runs(), 1);
        EXPECT_TRUE(pLoader->firmwareLines().empty());
        EXPECT_STREQ(m_szVersion, "4.4");
    }
}

// The first firmware line may take up to 180 s (the loader erases the
// flash); so may the first wait of the second. Later waits are 2 s. The
// scale keeps the 2-second windows well above the scheduler's delays.
class LucFlshLongWaitTest : public LucFlshTest {
protected:
    void SetUp() override
    {
        LucFlshTest::SetUp();
        os_SetTimeScale(0.02);
        writeFirmware(sim_MakeIntelHex(0, 64, 16, 3));
    }
};

TEST_F(LucFlshLongWaitTest, SlowFirstLinesAndALateSecondLineSucceed)
{
    // Line 2 answers after its first 180-second wait, within the second.
    std::shared_ptr<SimLucentLoader> pLoader =
        addLucent(3, {{"lucentloader.line1", "ok@170000"}, {"lucentloader.line2", "ok@180200"}});
    ASSERT_NE(pLoader, nullptr);
    EXPECT_EQ(program(3, 0), flsh_cSuccessful);
    expectReleased(3);
    EXPECT_EQ(pLoader->firmwareLines(), wireLines(m_firmware));
    EXPECT_GE(m_nElapsedMs, 10000 + 170000 + 180200 + 2000);
}

TEST_F(LucFlshLongWaitTest, TheSecondLinesSecondWaitIsTwoSeconds)
{
    std::shared_ptr<SimLucentLoader> pLoader = addLucent(3, {{"lucentloader.line2", "ok@186000"}});
    ASSERT_NE(pLoader, nullptr);
    EXPECT_EQ(program(3, 0), flsh_cTimeout);
    expectReleased(3);
    EXPECT_EQ(pLoader->firmwareLines().size(), 2u);
}

// At the real time scale: the settles, a line answered only on its second
// wait, and a worker that waits without using the processor.
TEST_F(LucFlshTest, RealTimeRunSettlesAndWaitsIdle)
{
    os_SetTimeScale(1);
    writeFirmware(sim_MakeIntelHex(0, 160, 16, 9));
    std::shared_ptr<SimLucentLoader> pLoader = addLucent(3, {{"lucentloader.line3", "ok@3000"}});
    ASSERT_NE(pLoader, nullptr);
    double dCpu = processCpuSeconds();
    EXPECT_EQ(program(3, 0), flsh_cSuccessful);
    EXPECT_LT(processCpuSeconds() - dCpu, 0.3);
    expectReleased(3);
    EXPECT_EQ(pLoader->firmwareLines(), wireLines(m_firmware));
    EXPECT_GE(m_nElapsedMs, 15000);
    EXPECT_LT(m_nElapsedMs, 19000);
}

}  // namespace
