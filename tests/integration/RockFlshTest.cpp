// The Rockwell flash protocol against simulated Rockwell boot loaders: the
// two files streamed byte for byte under flow control, "OK" in place of each
// announcement, and a table of runs for silence at each step, write
// failures, cancelling and handshake only; file failures and empty files.
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

namespace {

const char kAnnouncements[] = "Download initiated ..\r\nDownload flash code ..\r\nDevice successfully programmed\r\n";

const SimSettings kRockwell = {{"echo", "0"}, {"rockwellloader", "announce"}};

class RockFlshTest : public FlashFixture {
protected:
    void SetUp() override
    {
        FlashFixture::SetUp();
        snprintf(m_szVersion, sizeof m_szVersion, "-");
    }

    // Starts a device on COMn with a Rockwell boot loader ("rockwellloader"
    // = announce, then the settings given); returns the loader.
    std::shared_ptr<SimRockwellLoader> addRockwell(int nPort, const SimSettings& settings = SimSettings(),
                                                   bool bEcho = false)
    {
        SimSettings all = kRockwell;
        all[0].second = bEcho ? "1" : "0";
        all.insert(all.end(), settings.begin(), settings.end());
        return addFamily(nPort, "modem", all) != nullptr ? m_config.pRockwell : nullptr;
    }

    int32_t program(int nPort, int32_t bHandshakeOnly = 0, const char* pszHex = "fw.hex")
    {
        return runProtocol(RockFlsh_Program, nPort, 3, bHandshakeOnly, pszHex, 2, 1);
    }

    // A silent step is given its whole 10 s.
    void checkScenario(const Scenario& c) override
    {
        EXPECT_GE(m_nElapsedMs, c.nResult == flsh_cHandshakeFailure && c.nFailedWrite == 0 ? 10000 : 0);
    }
};

TEST_F(RockFlshTest, StreamsTheBootLoaderThenTheFirmwareUnderFlowControl)
{
    // The device echoes "AT**\r" and announces each step, or answers "OK"
    // in place of each announcement; no line gets a reply.
    const std::pair<const char*, std::string> kCases[] = {{"announce", std::string("AT**\r") + kAnnouncements},
                                                          {"ok", "AT**\rOK\r\nOK\r\nOK\r\n"}};
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
        EXPECT_EQ(m_pDevice->transcript().received(),
                  "AT**\r" + joinedLines(wireLines(m_boot)) + joinedLines(wireLines(m_firmware)));
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
    // The percentages follow the line reader through each file in turn.
    std::vector<int32_t> percents = readerPercents(m_boot);
    for (int32_t nPercent : readerPercents(m_firmware))
        percents.push_back(nPercent);
    EXPECT_EQ(m_events->percents(flsh_cEventProgram), percents);
    EXPECT_EQ(m_events->percents(flsh_cProgramDone), (std::vector<int32_t>{100, 100}));
    double dLineMs = static_cast<double>(5 + m_boot.size() + m_firmware.size()) * 10 * 1000 / 38400;
    EXPECT_GE(m_nElapsedMs, dLineMs);
}

TEST_F(RockFlshTest, SilenceWriteFailuresAndCancelling)
{
    const int kFailure = flsh_cHandshakeFailure, kAborted = flsh_cAborted;
    runAll(RockFlsh_Program, kRockwell, {
        // Silence at any step, or an answer later than 10 s.
        {{{"rockwellloader.initiated", "none"}}, 0, kFailure, "5", 0, 0},
        {{{"rockwellloader.initiated", "announce@10500"}}, 0, kFailure, "5", 0, 0},
        {{{"rockwellloader.flashcode", "none"}}, 0, kFailure, "5 6*98 9", 98, 0},
        {{{"rockwellloader.programmed", "none"}}, 0, kFailure, "5 6*98 9 6*32 9", 98, 32},
        // "AT**\r" cannot be written; the third firmware line cannot be
        // written (after "AT**\r" and 98 boot-loader lines).
        {{}, 0, kFailure, "5", 0, 0, 0, nullptr, -1, 1, 1},
        {{}, 0, flsh_cVerifyFailed, "5 6*98 9 6*2 7", 98, 2, 0, nullptr, -1, 1, 1 + 98 + 3},
        {{}, 0, kAborted, "5", 0, 0, 0, nullptr, flsh_cEventProgramStart},
        {{}, 0, kAborted, "5 6*98 9", 98, 0, 0, nullptr, flsh_cProgramDone},
        {{}, 0, kAborted, "5 6*98 9 6*2", 98, 2, 0, nullptr, flsh_cEventProgram, 100},
        // Handshake only opens no file: the first announcement ends the run.
        {{}, 0, flsh_cSuccessful, "5", 0, 0, 0, nullptr, -1, 1, 0, 1},
        // Line noise (the bytes 0x80 to 0xFF) before each announcement or
        // "OK" changes nothing.
        {{{"rockwellloader.noise", "on"}}, 0, flsh_cSuccessful, "5 6*98 9 6*32 9", 98, 32},
        {{{"rockwellloader", "ok"}, {"rockwellloader.noise", "on"}}, 0, flsh_cSuccessful, "5 6*98 9 6*32 9", 98, 32},
        {{{"rockwellloader.noise", "on"}, {"rockwellloader.programmed", "none"}}, 0, kFailure, "5 6*98 9 6*32 9", 98, 32},
    });
}

TEST_F(RockFlshTest, PortAndFilesThatCannotBeOpenedOrSentAndAnEmptyBootLoader)
{
    EXPECT_EQ(program(9), flsh_cPortOpen);
    ASSERT_NE(addRockwell(3), nullptr);
    EXPECT_EQ(program(3, 0, "missing.hex"), flsh_cHexFileOpen);
    expectReleased(3);

    // A line whose flow control cannot be set is never used: the stream
    // would overrun the device. The open's own settings are the first
    // tcsetattr, the run's line settings the second.
    {
        ASSERT_NE(addRockwell(8), nullptr);
        SysCallFaults faults;
        faults.fail(SysCall::kTcsetattr, 2, EIO);
        EXPECT_EQ(program(8), flsh_cPortOpen);
        EXPECT_TRUE(m_pDevice->transcript().received().empty());
        EXPECT_EQ(events(), "");
    }
    expectReleased(8);

    // Boot-loader lines of up to 125 characters go out with their CR LF; a
    // file with a longer line and an empty boot loader are refused before
    // "AT**": nothing reaches the device (an empty firmware file: BadFileTest).
    const std::pair<std::string, std::string> kRefused[] = {
        {"S1" + std::string(124, '0') + "\r\nS9030000FC\r\n", ":0400000001020304F2\r\n:00000001FF\r\n"},
        {"", ":0400000001020304F2\r\n:00000001FF\r\n"},
    };
    int nPort = 4;
    for (const auto& files : kRefused) {
        m_dir.write("BPFL24.s37", files.first);
        writeFirmware(files.second);
        std::shared_ptr<SimRockwellLoader> pLoader = addRockwell(nPort);
        ASSERT_NE(pLoader, nullptr);
        EXPECT_EQ(program(nPort), flsh_cBadHexFile);
        expectReleased(nPort);
        EXPECT_TRUE(m_pDevice->transcript().received().empty());
        EXPECT_EQ(events(), "");
        ++nPort;
    }
}

TEST_F(RockFlshTest, FilesWithLfLineEndsGoOutAsTheirCrLfTwins)
{
    for (const char* pszEnd : {"\r\n", "\n"}) {
        std::string end = pszEnd;
        m_dir.write("BPFL24.s37", "S00600004844521B" + end + "S104000000FB" + end + "S9030000FC" + end);
        writeFirmware(":0400000001020304F2" + end + ":00000001FF" + end);
        int nPort = end.size() == 2 ? 3 : 4;
        std::shared_ptr<SimRockwellLoader> pLoader = addRockwell(nPort);
        ASSERT_NE(pLoader, nullptr);
        EXPECT_EQ(program(nPort), flsh_cSuccessful);
        expectReleased(nPort);
        EXPECT_THAT(pLoader->bootLines(), ElementsAre("S00600004844521B\r\n", "S104000000FB\r\n", "S9030000FC\r\n"));
        EXPECT_THAT(pLoader->firmwareLines(), ElementsAre(":0400000001020304F2\r\n", ":00000001FF\r\n"));
    }
}

}  // namespace
