// The Lucent flash protocol against simulated Lucent loaders: every way of
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

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

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
    std::shared_ptr<SimLucentLoader> addLucent(int nPort, const SimSettings& settings = SimSettings())
    {
        SimSettings all = {{"lucentloader", "4.4"}};
        all.insert(all.end(), settings.begin(), settings.end());
        SimDeviceConfig config = addLoaderDevice(nPort, all, true);
        return m_pDevice != nullptr ? config.pLucent : nullptr;
    }

    int32_t program(int nPort, int32_t nStartMode, int32_t nVariant = 0, uint32_t nFlashType = 0,
                    int32_t bHandshakeOnly = 0, const char* pszHex = "fw.hex")
    {
        return runProtocol(LucFlsh_Program, nPort, nFlashType, bHandshakeOnly, pszHex, nStartMode, nVariant);
    }

    // Line nLine of the loader (start mode 2) or the firmware (0) answered
    // as each case says, on a fresh device per case: the result, the times
    // the line arrives and the lines the stage receives in all.
    struct LineCase {
        const char* pszAnswer;
        int32_t nResult;
        int nReceptions;
        size_t nLines;
    };
    void checkLineAnswers(const char* pszKey, int32_t nStartMode, size_t nLine, const std::vector<LineCase>& cases)
    {
        bool bLoader = nStartMode == 2;
        std::string line = (bLoader ? wireLines(m_loader, "at&&f") : wireLines(m_firmware))[nLine - 1];
        int nPort = 3;
        for (const LineCase& c : cases) {
            SCOPED_TRACE(std::string(pszKey) + "=" + c.pszAnswer);
            std::shared_ptr<SimLucentLoader> pLoader = addLucent(nPort, {{pszKey, c.pszAnswer}});
            ASSERT_NE(pLoader, nullptr);
            EXPECT_EQ(program(nPort, nStartMode), c.nResult);
            expectReleased(nPort);
            std::vector<std::string> got = bLoader ? pLoader->loaderLines() : pLoader->firmwareLines();
            EXPECT_EQ(std::count(got.begin(), got.end(), line), c.nReceptions);
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
    // The re-send wait judges replies the same way.
    arrive("NOK3\r\n");
    EXPECT_EQ(LucFlsh_WaitOK(&m_port, 1), LucFlsh_kReplyNok3);
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
    // A reply without a version before it; the start command's answer
    // looks for no refusal.
    for (const char* pszReply : {"OK\r\n", "NOK1\r\n"}) {
        arrive(pszReply);
        EXPECT_EQ(LucFlsh_GetVersion(&m_port, 1, szVersion), LucFlsh_kVersionMissing);
    }
    EXPECT_STREQ(szVersion, "");
    EXPECT_EQ(LucFlsh_GetVersion(&m_port, 1, szVersion), LucFlsh_kVersionTimeout);
}

TEST_F(LucFlshTest, EveryStartModeAndVariantSendsTheFilesByteForByte)
{
    struct Case {
        int32_t nStartMode;     // 0 or 1 start the loader the device holds, 2 downloads it
        int32_t nVariant;       // command variant
        const char* pszStart;   // the start command or loader prefix expected
        const char* pszRuns;    // events expected
    };
    const Case kCases[] = {{0, 0, "AT&&FGO\r", "5 6*32 9"}, {1, 1, "AT&&WGO\r", "5 6*32 9"},
                           {2, 0, "at&&f", "5 13*65 9 6*32 9"}, {2, 1, "at&&w", "5 13*65 9 6*32 9"}};
    std::vector<std::string> firmware = wireLines(m_firmware);
    ASSERT_EQ(firmware.size(), 32u);
    int nPort = 3;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pszStart);
        std::shared_ptr<SimLucentLoader> pLoader = addLucent(nPort);
        ASSERT_NE(pLoader, nullptr);
        EXPECT_EQ(program(nPort, c.nStartMode, c.nVariant), flsh_cSuccessful);
        expectReleased(nPort);
        std::vector<std::string> loader = c.nStartMode == 2 ? wireLines(m_loader, c.pszStart) : std::vector<std::string>();
        EXPECT_EQ(pLoader->loaderLines(), loader);
        EXPECT_EQ(pLoader->firmwareLines(), firmware);
        std::string start = c.nStartMode == 2 ? joinedLines(loader) : c.pszStart;
        EXPECT_EQ(m_pDevice->transcript().received(), start + joinedLines(firmware));
        EXPECT_EQ(pLoader->runs(), 1);
        EXPECT_STREQ(m_szVersion, "4.4");
        EXPECT_EQ(events(), c.pszRuns);
        // The port settles 10 s after opening and 2 s before closing.
        std::vector<SimTranscriptEntry> entries = m_pDevice->transcript().entries();
        auto firstByte = std::find_if(entries.begin(), entries.end(),
                                      [](const SimTranscriptEntry& e) { return e.eDirection == SimDirection::kToDevice; });
        auto closed = std::find_if(entries.begin(), entries.end(),
                                   [](const SimTranscriptEntry& e) { return e.data == "host closed the port"; });
        ASSERT_TRUE(firstByte != entries.end() && closed != entries.end());
        EXPECT_GE(firstByte->nTimeMs - m_nStartMs, 10000);
        EXPECT_LT(firstByte->nTimeMs - m_nStartMs, 11000);
        EXPECT_GE(closed->nTimeMs - m_pDevice->transcript().lastSentMs(), 2000);
        EXPECT_LT(closed->nTimeMs - m_pDevice->transcript().lastSentMs(), 4000);
        ++nPort;
    }
}

TEST_F(LucFlshTest, PortFileAndStartFailures)
{
    EXPECT_EQ(program(9, 0), flsh_cPortOpen);
    EXPECT_TRUE(m_events->events().empty());
    EXPECT_EQ(openFdCount(), m_nFds);

    ASSERT_NE(addLucent(3), nullptr);
    EXPECT_EQ(program(3, 0, 0, 0, 0, "missing.hex"), flsh_cHexFileOpen);
    expectReleased(3);
    EXPECT_TRUE(m_events->events().empty());

    // No loader version: the start command refused, answered "OK" without
    // a version, answered after the 2 s, or not written at all.
    const SimSettings kCases[] = {
        {{"lucentloader.start", "error"}}, {{"lucentloader", "none"}}, {{"lucentloader.start", "ok@3000"}}, {}};
    int nPort = 4;
    for (const SimSettings& settings : kCases) {
        SCOPED_TRACE(nPort);
        std::shared_ptr<SimLucentLoader> pLoader = addLucent(nPort, settings);
        ASSERT_NE(pLoader, nullptr);
        SysCallFaults faults;
        if (settings.empty())
            faults.fail(SysCall::kWrite, 1, EIO);
        EXPECT_EQ(program(nPort, 0), flsh_cLoaderVersion);
        expectReleased(nPort);
        EXPECT_TRUE(pLoader->firmwareLines().empty());
        EXPECT_EQ(m_pDevice->transcript().received(), settings.empty() ? "" : "AT&&FGO\r");
        EXPECT_EQ(events(), "5");
        ++nPort;
    }

    // The loader file cannot be opened.
    ASSERT_NE(addLucent(nPort), nullptr);
    ASSERT_EQ(remove(m_dir.file("FlashLdr.hex").c_str()), 0);
    EXPECT_EQ(program(nPort, 2), flsh_cHexFileOpen);
    expectReleased(nPort);
    EXPECT_EQ(events(), "5");
    EXPECT_EQ(m_pDevice->transcript().received(), "");
}

TEST_F(LucFlshTest, TheLoaderVersionMustFitTheFlashType)
{
    struct Case {
        const char* pszVersion;    // the loader's version
        int32_t nStartMode;        // how it is reached
        uint32_t nFlashType;       // the device's flash type
        int32_t nResult;           // expected
    };
    const Case kCases[] = {{"4.3", 0, 3, flsh_cWrongVersion}, {"4.3", 0, 2, flsh_cSuccessful},
                           {"4.4", 0, 3, flsh_cSuccessful}, {"4.2", 2, 0, flsh_cWrongVersion}};
    int nPort = 3;
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string(c.pszVersion) + " type " + std::to_string(c.nFlashType));
        std::shared_ptr<SimLucentLoader> pLoader = addLucent(nPort, {{"lucentloader", c.pszVersion}});
        ASSERT_NE(pLoader, nullptr);
        // A version left from an earlier run does not count.
        snprintf(m_szVersion, sizeof m_szVersion, "4.4");
        EXPECT_EQ(program(nPort, c.nStartMode, 0, c.nFlashType), c.nResult);
        expectReleased(nPort);
        EXPECT_EQ(pLoader->firmwareLines().size(), c.nResult == flsh_cSuccessful ? 32u : 0u);
        EXPECT_STREQ(m_szVersion, c.nStartMode == 0 ? c.pszVersion : "");
        ++nPort;
    }
    // A start mode that reaches no loader sends nothing and finds no version.
    ASSERT_NE(addLucent(nPort), nullptr);
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
    // Line 3 cannot be written (write 4, after the start command): event 7
    // with the percentage after line 2; the reply is awaited all the same,
    // twice, and never comes.
    writeFirmware(sim_MakeIntelHex(0, 8000, 32, 4));
    std::vector<std::string> lines = wireLines(m_firmware);
    std::shared_ptr<SimLucentLoader> pLoader = addLucent(3);
    ASSERT_NE(pLoader, nullptr);
    {
        SysCallFaults faults;
        faults.fail(SysCall::kWrite, 4, EIO);
        EXPECT_EQ(program(3, 0), flsh_cTimeout);
    }
    expectReleased(3);
    EXPECT_EQ(events(), "5 6*2 7");
    EXPECT_EQ(m_events->events().back().nPercent, 4096 * 100 / static_cast<int32_t>(m_firmware.size()));
    EXPECT_THAT(pLoader->firmwareLines(), ElementsAre(lines[0], lines[1]));

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
        {flsh_cEventProgramStart, 1, 0, "5", 0, 0},   {flsh_cEventLoader, 3, 2, "5 13*3", 3, 0},
        {flsh_cProgramDone, 1, 2, "5 13*65 9", 65, 0}, {flsh_cEventProgram, 2, 0, "5 6*2", 0, 2},
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
    double dCpu = static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
    EXPECT_EQ(program(3, 0), flsh_cSuccessful);
    EXPECT_LT(static_cast<double>(std::clock()) / CLOCKS_PER_SEC - dCpu, 0.3);
    expectReleased(3);
    EXPECT_EQ(pLoader->firmwareLines(), wireLines(m_firmware));
    EXPECT_GE(m_nElapsedMs, 15000);
    EXPECT_LT(m_nElapsedMs, 19000);
}

}  // namespace
