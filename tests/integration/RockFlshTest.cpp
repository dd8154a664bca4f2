// The Rockwell flash protocol against simulated Rockwell boot loaders: the
// two files streamed byte for byte under flow control, "OK" in place of each
// announcement, silence at each step, every failure with the port and files
// released, write failures, cancelling, handshake only and empty files.
#include "EngineSource/RockFlsh.h"
#include "sim/SimHexImage.h"
#include "sim/SimRockwellLoader.h"
#include "support/FlashRun.h"
#include "support/SimFixture.h"
#include "support/SysCallFaults.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

const char kAnnouncements[] = "Download initiated ..\r\nDownload flash code ..\r\nDevice successfully programmed\r\n";

class RockFlshTest : public FlashFixture {
protected:
    void SetUp() override
    {
        FlashFixture::SetUp();
        m_boot = dataFile("BPFL24.s37");
        ASSERT_FALSE(m_boot.empty());
        m_dir.write("BPFL24.s37", m_boot);
        snprintf(m_szVersion, sizeof m_szVersion, "-");
    }

    // Starts a device on COMn with a Rockwell boot loader ("rockwellloader"
    // = announce, then the settings given); returns the loader.
    std::shared_ptr<SimRockwellLoader> addRockwell(int nPort, const SimSettings& settings = SimSettings(),
                                                   bool bEcho = false)
    {
        SimSettings all = {{"rockwellloader", "announce"}};
        all.insert(all.end(), settings.begin(), settings.end());
        SimDeviceConfig config = addLoaderDevice(nPort, all, bEcho);
        return m_pDevice != nullptr ? config.pRockwell : nullptr;
    }

    int32_t program(int nPort, int32_t bHandshakeOnly = 0, const char* pszHex = "fw.hex")
    {
        return runProtocol(RockFlsh_Program, nPort, 3, bHandshakeOnly, pszHex, 2, 1);
    }

    // The first n of the lines: what the device has got when the host stops
    // after writing them (closing the port lets written bytes leave).
    static std::vector<std::string> firstLines(const std::vector<std::string>& lines, size_t n)
    {
        return std::vector<std::string>(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(n));
    }

    std::string m_boot;    // ./BPFL24.s37
};

TEST_F(RockFlshTest, StreamsTheBootLoaderThenTheFirmwareUnderFlowControl)
{
    std::shared_ptr<SimRockwellLoader> pLoader = addRockwell(3, SimSettings(), true);
    ASSERT_NE(pLoader, nullptr);
    {
        SysCallFaults faults;
        ASSERT_EQ(program(3), flsh_cSuccessful);
        EXPECT_NE(faults.lastTermios().c_cflag & CRTSCTS, 0u);
    }
    expectReleased(3);

    std::vector<std::string> bootLines = wireLines(m_boot);
    ASSERT_EQ(bootLines.size(), 98u);
    EXPECT_EQ(pLoader->bootLines(), bootLines);
    EXPECT_EQ(pLoader->firmwareLines(), wireLines(m_firmware));
    EXPECT_EQ(m_pDevice->transcript().received(), "AT**\r" + joinedLines(bootLines) + joinedLines(wireLines(m_firmware)));
    // No line gets a reply: the device sends the echo and its three announcements only.
    EXPECT_EQ(m_pDevice->transcript().sent(), std::string("AT**\r") + kAnnouncements);
    EXPECT_EQ(pLoader->downloads(), 1);
    EXPECT_EQ(events(), "5 6*98 9 6*32 9");
    EXPECT_STREQ(m_szVersion, "-");
}

TEST_F(RockFlshTest, TheDeviceHoldsTheStreamBackToItsLineRate)
{
    // 24 KiB of firmware at 38400 baud: more than the line can hold, so the
    // device's pace (its stand-in for CTS) holds the writes back.
    writeFirmware(sim_MakeIntelHex(0, 24576, 32, 8));
    m_nBaud = 38400;
    std::shared_ptr<SimRockwellLoader> pLoader = addRockwell(3);
    ASSERT_NE(pLoader, nullptr);
    ASSERT_EQ(program(3), flsh_cSuccessful);
    expectReleased(3);
    EXPECT_EQ(pLoader->firmwareLines(), wireLines(m_firmware));
    double dLineMs = static_cast<double>(5 + m_boot.size() + m_firmware.size()) * 10 * 1000 / 38400;
    EXPECT_GE(m_nElapsedMs, dLineMs);
    EXPECT_LT(m_nElapsedMs, dLineMs * 1.5);
}

TEST_F(RockFlshTest, AnOkPassesEveryWait)
{
    std::shared_ptr<SimRockwellLoader> pLoader = addRockwell(3, {{"rockwellloader", "ok"}});
    ASSERT_NE(pLoader, nullptr);
    EXPECT_EQ(program(3), flsh_cSuccessful);
    expectReleased(3);
    EXPECT_EQ(m_pDevice->transcript().sent(), "OK\r\nOK\r\nOK\r\n");
    EXPECT_EQ(pLoader->firmwareLines(), wireLines(m_firmware));
}

TEST_F(RockFlshTest, SilenceAtAnyStepIsAHandshakeFailure)
{
    struct Case {
        const char* pszStep;    // the step that stays silent
        size_t nBoot;           // boot-loader lines sent
        size_t nFirmware;       // firmware lines sent
        const char* pszRuns;    // events
    };
    const Case kCases[] = {
        {"rockwellloader.initiated", 0, 0, "5"},
        {"rockwellloader.flashcode", 98, 0, "5 6*98 9"},
        {"rockwellloader.programmed", 98, 32, "5 6*98 9 6*32 9"},
    };
    int nPort = 3;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pszStep);
        std::shared_ptr<SimRockwellLoader> pLoader = addRockwell(nPort, {{c.pszStep, "none"}});
        ASSERT_NE(pLoader, nullptr);
        EXPECT_EQ(program(nPort), flsh_cHandshakeFailure);
        expectReleased(nPort);
        EXPECT_EQ(pLoader->bootLines().size(), c.nBoot);
        EXPECT_EQ(pLoader->firmwareLines().size(), c.nFirmware);
        EXPECT_EQ(events(), c.pszRuns);
        EXPECT_GE(m_nElapsedMs, 10000);
        ++nPort;
    }
    // An announcement later than 10 s is too late.
    ASSERT_NE(addRockwell(nPort, {{"rockwellloader.initiated", "announce@10500"}}), nullptr);
    EXPECT_EQ(program(nPort), flsh_cHandshakeFailure);
    expectReleased(nPort);
}

TEST_F(RockFlshTest, PortAndFileFailures)
{
    EXPECT_EQ(program(9), flsh_cPortOpen);
    EXPECT_TRUE(m_events->events().empty());
    EXPECT_EQ(openFdCount(), m_nFds);

    ASSERT_NE(addRockwell(3), nullptr);
    EXPECT_EQ(program(3, 0, "missing.hex"), flsh_cHexFileOpen);
    expectReleased(3);
    EXPECT_THAT(log(), HasSubstr("]: <./BPFL24.s37> File opened\n"));

    ASSERT_NE(addRockwell(4), nullptr);
    ASSERT_EQ(remove(m_dir.file("BPFL24.s37").c_str()), 0);
    EXPECT_EQ(program(4), flsh_cHexFileOpen);
    expectReleased(4);
    EXPECT_TRUE(m_events->events().empty());
    EXPECT_EQ(m_pDevice->transcript().received(), "");
}

TEST_F(RockFlshTest, LinesThatCannotBeSentMakeABadHexFile)
{
    const std::string kRecord = ":0400000001020304F2\r\n";
    std::string boot125 = "S1" + std::string(123, '0') + "\r\n";
    // A boot-loader line of 126 characters does not fit with its CR LF.
    m_dir.write("BPFL24.s37", boot125 + "S1" + std::string(124, '1') + "\r\nS9030000FC\r\n");
    std::shared_ptr<SimRockwellLoader> pLoader = addRockwell(3);
    ASSERT_NE(pLoader, nullptr);
    EXPECT_EQ(program(3), flsh_cBadHexFile);
    expectReleased(3);
    EXPECT_THAT(pLoader->bootLines(), ElementsAre(boot125));
    EXPECT_EQ(events(), "5 6");

    m_dir.write("BPFL24.s37", m_boot);
    writeFirmware(kRecord + std::string(126, 'F') + "\r\n:00000001FF\r\n");
    pLoader = addRockwell(4);
    ASSERT_NE(pLoader, nullptr);
    EXPECT_EQ(program(4), flsh_cBadHexFile);
    expectReleased(4);
    EXPECT_THAT(pLoader->firmwareLines(), ElementsAre(kRecord));
    EXPECT_EQ(events(), "5 6*98 9 6");

    // A read error of the boot loader, right after the "OK" (two port reads).
    writeFirmware(m_firmware);
    pLoader = addRockwell(5, {{"rockwellloader.initiated", "ok"}});
    ASSERT_NE(pLoader, nullptr);
    {
        SysCallFaults faults;
        faults.fail(SysCall::kRead, 3, EIO);
        EXPECT_EQ(program(5), flsh_cBadHexFile);
    }
    expectReleased(5);
    EXPECT_TRUE(pLoader->bootLines().empty());
}

TEST_F(RockFlshTest, WriteFailures)
{
    // The third firmware line cannot be written: event 7 with the percentage
    // after the second line, result 4. Writes: "AT**\r", 98 boot-loader
    // lines, then the firmware lines.
    writeFirmware(sim_MakeIntelHex(0, 8000, 32, 4));
    std::vector<std::string> lines = wireLines(m_firmware);
    std::shared_ptr<SimRockwellLoader> pLoader = addRockwell(3);
    ASSERT_NE(pLoader, nullptr);
    {
        SysCallFaults faults;
        faults.fail(SysCall::kWrite, 1 + 98 + 3, EIO);
        EXPECT_EQ(program(3), flsh_cVerifyFailed);
        EXPECT_EQ(faults.count(SysCall::kWrite), 1 + 98 + 3);
    }
    expectReleased(3);
    EXPECT_EQ(events(), "5 6*98 9 6*2 7");
    std::vector<FlashEvent> got = m_events->events();
    int32_t nAfterSecond = 4096 * 100 / static_cast<int32_t>(m_firmware.size());
    ASSERT_GE(got.size(), 2u);
    EXPECT_EQ(got[got.size() - 2].nPercent, nAfterSecond);
    EXPECT_EQ(got.back().nPercent, nAfterSecond);
    EXPECT_THAT(pLoader->firmwareLines(), ElementsAre(lines[0], lines[1]));
    EXPECT_THAT(log(), HasSubstr("]: Error:  PutBlock <" + lines[2] + ">\n"));

    // "AT**\r" cannot be written: the handshake fails and nothing is streamed.
    pLoader = addRockwell(4);
    ASSERT_NE(pLoader, nullptr);
    {
        SysCallFaults faults;
        faults.fail(SysCall::kWrite, 1, EIO);
        EXPECT_EQ(program(4), flsh_cHandshakeFailure);
    }
    expectReleased(4);
    EXPECT_EQ(m_pDevice->transcript().received(), "");
    EXPECT_EQ(events(), "5");
}

TEST_F(RockFlshTest, ACallbackAnsweringZeroAbortsTheRun)
{
    struct Case {
        int32_t nStopEvent;    // the event answered 0
        int nNth;              // at its nth report
        const char* pszRuns;   // events expected
        size_t nBoot;          // boot-loader lines sent
        size_t nFirmware;      // firmware lines sent
    };
    const Case kCases[] = {
        {flsh_cEventProgramStart, 1, "5", 0, 0},
        {flsh_cEventProgram, 3, "5 6*3", 3, 0},
        {flsh_cProgramDone, 1, "5 6*98 9", 98, 0},
        {flsh_cEventProgram, 100, "5 6*98 9 6*2", 98, 2},
        {flsh_cProgramDone, 2, "5 6*98 9 6*32 9", 98, 32},
    };
    int nPort = 3;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pszRuns);
        std::shared_ptr<SimRockwellLoader> pLoader = addRockwell(nPort);
        ASSERT_NE(pLoader, nullptr);
        m_nStopEvent = c.nStopEvent;
        m_nStopNth = c.nNth;
        EXPECT_EQ(program(nPort), flsh_cAborted);
        expectReleased(nPort);
        EXPECT_EQ(events(), c.pszRuns);
        EXPECT_EQ(pLoader->bootLines(), firstLines(wireLines(m_boot), c.nBoot));
        EXPECT_EQ(pLoader->firmwareLines(), firstLines(wireLines(m_firmware), c.nFirmware));
        ++nPort;
    }
}

TEST_F(RockFlshTest, HandshakeOnlyOpensNoFile)
{
    ASSERT_EQ(remove(m_dir.file("BPFL24.s37").c_str()), 0);
    std::shared_ptr<SimRockwellLoader> pLoader = addRockwell(3);
    ASSERT_NE(pLoader, nullptr);
    EXPECT_EQ(program(3, 1, "missing.hex"), flsh_cSuccessful);
    expectReleased(3);
    EXPECT_EQ(m_pDevice->transcript().received(), "AT**\r");
    EXPECT_EQ(events(), "5");
    EXPECT_EQ(pLoader->downloads(), 1);

    ASSERT_NE(addRockwell(4, {{"rockwellloader.initiated", "none"}}), nullptr);
    EXPECT_EQ(program(4, 1, "missing.hex"), flsh_cHandshakeFailure);
    expectReleased(4);
}

TEST_F(RockFlshTest, EmptyFilesAndLoneLineFeeds)
{
    // An empty firmware file: event 9 at once after the boot loader; the
    // run goes on to its wait, which the device never answers.
    writeFirmware("");
    std::shared_ptr<SimRockwellLoader> pLoader = addRockwell(3);
    ASSERT_NE(pLoader, nullptr);
    EXPECT_EQ(program(3), flsh_cHandshakeFailure);
    expectReleased(3);
    EXPECT_EQ(events(), "5 6*98 9*2");
    EXPECT_TRUE(pLoader->firmwareLines().empty());

    // An empty boot loader: event 9 at once, then the flash-code wait.
    m_dir.write("BPFL24.s37", "");
    pLoader = addRockwell(4);
    ASSERT_NE(pLoader, nullptr);
    EXPECT_EQ(program(4), flsh_cHandshakeFailure);
    expectReleased(4);
    EXPECT_EQ(events(), "5 9");

    // A lone LF ends a line there; S-records go out as they stand.
    m_dir.write("BPFL24.s37", "S00600004844521B\r\nS1\nJUNK\r\nS9030000FC\r\n");
    writeFirmware(":0400000001020304F2\r\n:00000001FF\r\n");
    pLoader = addRockwell(5);
    ASSERT_NE(pLoader, nullptr);
    EXPECT_EQ(program(5), flsh_cSuccessful);
    expectReleased(5);
    EXPECT_THAT(pLoader->bootLines(), ElementsAre("S00600004844521B\r\n", "S1\r\n", "S9030000FC\r\n"));
    EXPECT_THAT(pLoader->firmwareLines(), ElementsAre(":0400000001020304F2\r\n", ":00000001FF\r\n"));
}

}  // namespace
