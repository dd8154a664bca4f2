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

    std::string m_boot;    // ./BPFL24.s37
};

TEST_F(RockFlshTest, StreamsTheBootLoaderThenTheFirmwareUnderFlowControl)
{
    // The device echoes "AT**\r" and announces each step, or answers "OK"
    // in place of each announcement; no line gets a reply.
    const std::pair<const char*, std::string> kCases[] = {{"announce", std::string("AT**\r") + kAnnouncements},
                                                          {"ok", "AT**\rOK\r\nOK\r\nOK\r\n"}};
    std::vector<std::string> bootLines = wireLines(m_boot);
    ASSERT_EQ(bootLines.size(), 98u);
    int nPort = 3;
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.first);
        std::shared_ptr<SimRockwellLoader> pLoader = addRockwell(nPort, {{"rockwellloader", c.first}}, true);
        ASSERT_NE(pLoader, nullptr);
        {
            SysCallFaults faults;
            ASSERT_EQ(program(nPort), flsh_cSuccessful);
            EXPECT_NE(faults.lastTermios().c_cflag & CRTSCTS, 0u);
        }
        expectReleased(nPort);
        EXPECT_EQ(pLoader->bootLines(), bootLines);
        EXPECT_EQ(pLoader->firmwareLines(), wireLines(m_firmware));
        EXPECT_EQ(m_pDevice->transcript().received(), "AT**\r" + joinedLines(bootLines) + joinedLines(wireLines(m_firmware)));
        EXPECT_EQ(m_pDevice->transcript().sent(), c.second);
        EXPECT_EQ(pLoader->downloads(), 1);
        EXPECT_EQ(events(), "5 6*98 9 6*32 9");
        EXPECT_STREQ(m_szVersion, "-");
        ++nPort;
    }
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

TEST_F(RockFlshTest, SilenceAtAnyStepIsAHandshakeFailure)
{
    struct Case {
        const char* pszStep;    // the step that stays silent
        const char* pszAnswer;  // its answer
        size_t nBoot;           // boot-loader lines sent
        size_t nFirmware;       // firmware lines sent
        const char* pszRuns;    // events
    };
    const Case kCases[] = {
        {"rockwellloader.initiated", "none", 0, 0, "5"},
        {"rockwellloader.initiated", "announce@10500", 0, 0, "5"},   // later than 10 s is too late
        {"rockwellloader.flashcode", "none", 98, 0, "5 6*98 9"},
        {"rockwellloader.programmed", "none", 98, 32, "5 6*98 9 6*32 9"},
    };
    int nPort = 3;
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string(c.pszStep) + "=" + c.pszAnswer);
        std::shared_ptr<SimRockwellLoader> pLoader = addRockwell(nPort, {{c.pszStep, c.pszAnswer}});
        ASSERT_NE(pLoader, nullptr);
        EXPECT_EQ(program(nPort), flsh_cHandshakeFailure);
        expectReleased(nPort);
        EXPECT_EQ(pLoader->bootLines().size(), c.nBoot);
        EXPECT_EQ(pLoader->firmwareLines().size(), c.nFirmware);
        EXPECT_EQ(events(), c.pszRuns);
        EXPECT_GE(m_nElapsedMs, 10000);
        ++nPort;
    }
}

TEST_F(RockFlshTest, PortFileAndWriteFailures)
{
    EXPECT_EQ(program(9), flsh_cPortOpen);
    EXPECT_TRUE(m_events->events().empty());
    EXPECT_EQ(openFdCount(), m_nFds);

    ASSERT_NE(addRockwell(3), nullptr);
    EXPECT_EQ(program(3, 0, "missing.hex"), flsh_cHexFileOpen);
    expectReleased(3);

    // The third firmware line cannot be written (writes: "AT**\r", 98
    // boot-loader lines, then the firmware): event 7 with the percentage
    // after the second line.
    writeFirmware(sim_MakeIntelHex(0, 8000, 32, 4));
    std::vector<std::string> lines = wireLines(m_firmware);
    std::shared_ptr<SimRockwellLoader> pLoader = addRockwell(4);
    ASSERT_NE(pLoader, nullptr);
    {
        SysCallFaults faults;
        faults.fail(SysCall::kWrite, 1 + 98 + 3, EIO);
        EXPECT_EQ(program(4), flsh_cVerifyFailed);
    }
    expectReleased(4);
    EXPECT_EQ(events(), "5 6*98 9 6*2 7");
    EXPECT_EQ(m_events->events().back().nPercent, 4096 * 100 / static_cast<int32_t>(m_firmware.size()));
    EXPECT_THAT(pLoader->firmwareLines(), ElementsAre(lines[0], lines[1]));

    // "AT**\r" cannot be written: the handshake fails and nothing is streamed.
    ASSERT_NE(addRockwell(5), nullptr);
    {
        SysCallFaults faults;
        faults.fail(SysCall::kWrite, 1, EIO);
        EXPECT_EQ(program(5), flsh_cHandshakeFailure);
    }
    expectReleased(5);
    EXPECT_EQ(m_pDevice->transcript().received(), "");
    EXPECT_EQ(events(), "5");

    // The boot loader cannot be opened.
    ASSERT_NE(addRockwell(6), nullptr);
    ASSERT_EQ(remove(m_dir.file("BPFL24.s37").c_str()), 0);
    EXPECT_EQ(program(6), flsh_cHexFileOpen);
    expectReleased(6);
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
        EXPECT_EQ(pLoader->bootLines().size(), c.nBoot);
        EXPECT_EQ(pLoader->firmwareLines().size(), c.nFirmware);
        ++nPort;
    }
}

TEST_F(RockFlshTest, EmptyFilesLoneLineFeedsAndHandshakeOnly)
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

    // Handshake only opens no file: the first announcement ends the run.
    ASSERT_EQ(remove(m_dir.file("BPFL24.s37").c_str()), 0);
    pLoader = addRockwell(6);
    ASSERT_NE(pLoader, nullptr);
    EXPECT_EQ(program(6, 1, "missing.hex"), flsh_cSuccessful);
    expectReleased(6);
    EXPECT_EQ(m_pDevice->transcript().received(), "AT**\r");
    EXPECT_EQ(events(), "5");
}

}  // namespace
