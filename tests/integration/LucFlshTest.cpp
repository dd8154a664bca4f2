// The Lucent flash protocol against simulated Lucent loaders: every way of
// reaching the loader and both command variants byte for byte, the settles,
// the version rule, every failure with the port and files released, the
// replies to loader and firmware lines (time-outs, second waits, refusals
// and their recovery), cancelling, and the long first-line waits.
#include "EngineSource/LucFlsh.h"
#include "sim/SimHex.h"
#include "sim/SimHexImage.h"
#include "sim/SimLucentLoader.h"
#include "support/FlashRun.h"
#include "support/SimFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

using ::testing::ElementsAre;

namespace {

const SimSettings kLucent = {{"lucentloader", "4.4"}};

class LucFlshTest : public FlashFixture {
protected:
    // Starts a device on COMn with a Lucent loader ("lucentloader" = 4.4,
    // then the settings given); returns the loader, null when it failed.
    std::shared_ptr<SimLucentLoader> addLucent(int nPort, const SimSettings& settings = SimSettings())
    {
        SimSettings all = kLucent;
        all.insert(all.end(), settings.begin(), settings.end());
        return addFamily(nPort, "modem", all) != nullptr ? m_config.pLucent : nullptr;
    }

    int32_t program(int nPort, int32_t nStartMode, int32_t nVariant = 0, uint32_t nFlashType = 0,
                    int32_t bHandshakeOnly = 0, const char* pszHex = "fw.hex")
    {
        return runProtocol(LucFlsh_Program, nPort, nFlashType, bHandshakeOnly, pszHex, nStartMode, nVariant);
    }
};

// The reply waits on a plain device whose bytes the test injects.
class LucReplyTest : public SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        addDevice(3, false);
        openPort(3, 115200);
    }

    // Makes the device send bytes and waits until they have left it.
    void arrive(const std::string& bytes)
    {
        m_sent += bytes;
        m_pDevice->inject(bytes);
        ASSERT_TRUE(m_pDevice->transcript().waitSent(m_sent, 2000));
    }

    std::string m_sent;               // every byte injected so far
};

TEST_F(LucReplyTest, ARefusalIsNeverTakenForTheOkInsideIt)
{
    // A refusal is never taken for the "OK" inside it.
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
    EXPECT_GE(timedMs([this] { EXPECT_EQ(GetOKorNOKx(&m_port, 1, nullptr), LucFlsh_kReplyTimeout); }), 1000);
    arrive("NOK3\r\n");
    EXPECT_EQ(LucFlsh_WaitOK(&m_port, 1), LucFlsh_kReplyNok3);
    // A version reply is noted on the way; the start command's answer looks
    // for no refusal.
    char szVersion[flsh_kVersionSize] = "old";
    arrive("Ver:4.3\r\nOK\r\n");
    EXPECT_EQ(GetOKorNOKx(&m_port, 1, szVersion), LucFlsh_kReplyOk);
    EXPECT_STREQ(szVersion, "4.3");
    arrive("NOK1\r\n");
    EXPECT_EQ(LucFlsh_GetVersion(&m_port, 1, szVersion), LucFlsh_kVersionMissing);
}

TEST_F(LucFlshTest, EveryStartModeAndVariantSendsTheFilesByteForByte)
{
    const std::tuple<int32_t, int32_t, const char*, const char*> kCases[] = {
        {0, 0, "AT&&FGO\r", "5 6*32 9"}, {1, 1, "AT&&WGO\r", "5 6*32 9"},
        {2, 0, "at&&f", "5 13*65 9 6*32 9"}, {2, 1, "at&&w", "5 13*65 9 6*32 9"}};
    int nPort = 3;
    for (const auto& [nStartMode, nVariant, pszStart, pszEvents] : kCases) {
        SCOPED_TRACE(pszStart);
        ASSERT_NE(addLucent(nPort), nullptr);
        EXPECT_EQ(program(nPort, nStartMode, nVariant), flsh_cSuccessful);
        expectReleased(nPort);
        std::string start = nStartMode == 2 ? joinedLines(wireLines(m_loader, pszStart)) : pszStart;
        SimTranscript& transcript = m_pDevice->transcript();
        EXPECT_EQ(transcript.received(), start + joinedLines(wireLines(m_firmware)));
        EXPECT_STREQ(m_szVersion, "4.4");
        EXPECT_EQ(events(), pszEvents);
        // The percentages follow the line reader through each file.
        EXPECT_EQ(m_events->percents(flsh_cEventLoader),
                  nStartMode == 2 ? readerPercents(m_loader) : std::vector<int32_t>{});
        EXPECT_EQ(m_events->percents(flsh_cEventProgram), readerPercents(m_firmware));
        // The port settles 10 s after opening and 2 s before closing.
        std::vector<SimTranscriptEntry> entries = transcript.entries();
        auto firstByte = std::find_if(entries.begin(), entries.end(),
                                      [](const SimTranscriptEntry& e) { return e.eDirection == SimDirection::kToDevice; });
        auto closed = std::find_if(entries.begin(), entries.end(),
                                   [](const SimTranscriptEntry& e) { return e.data == "host closed the port"; });
        ASSERT_TRUE(firstByte != entries.end() && closed != entries.end());
        EXPECT_GE(firstByte->nTimeMs - m_nStartMs, 10000);
        EXPECT_LT(firstByte->nTimeMs - m_nStartMs, 10000 + roomMs());
        EXPECT_GE(closed->nTimeMs - transcript.lastSentMs(), 2000);
        EXPECT_LT(closed->nTimeMs - transcript.lastSentMs(), 2000 + roomMs());
        ++nPort;
    }
}

TEST_F(LucFlshTest, ReachingTheLoaderAndTheVersionRule)
{
    const int kWrongVersion = flsh_cWrongVersion, kLoaderVersion = flsh_cLoaderVersion;
    runAll(LucFlsh_Program, kLucent, {
        // No loader version: the start command refused, answered "OK"
        // without a version, answered after the 2 s, or not written at all.
        {{{"lucentloader.start", "error"}}, 0, kLoaderVersion, "5", 0, 0},
        {{{"lucentloader", "none"}}, 0, kLoaderVersion, "5", 0, 0},
        {{{"lucentloader.start", "ok@3000"}}, 0, kLoaderVersion, "5", 0, 0},
        {{}, 0, kLoaderVersion, "5", 0, 0, 0, nullptr, -1, 1, 1},
        // A loader below 4.4 does not take flash type 3.
        {{{"lucentloader", "4.3"}}, 0, kWrongVersion, "5", 0, 0, 3, "4.3"},
        {{{"lucentloader", "4.3"}}, 0, flsh_cSuccessful, "5 6*32 9", 0, 32, 2, "4.3"},
        {{}, 0, flsh_cSuccessful, "5 6*32 9", 0, 32, 3, "4.4"},
        {{{"lucentloader", "4.2"}}, 2, kWrongVersion, "5 13*65 9", 65, 0, 0, ""},
        // Handshake only: the loader is reached both ways, nothing else is sent.
        {{}, 0, flsh_cSuccessful, "5", 0, 0, 0, "4.4", -1, 1, 0, 1},
        {{}, 2, flsh_cSuccessful, "5 13*65 9", 65, 0, 0, "4.4", -1, 1, 0, 1},
        // A start mode that reaches no loader sends nothing.
        {{}, 3, kWrongVersion, "5", 0, 0},
    });
    EXPECT_EQ(m_pDevice->transcript().received(), "");
}

TEST_F(LucFlshTest, LineAnswersTimeOutsAndRefusals)
{
    runAll(LucFlsh_Program, kLucent, {
        // Unanswered loader lines are sent again three times; a refused one is not.
        {{{"lucentloader.loader2", "none*3"}}, 2, flsh_cSuccessful, "5 13*65 9 6*32 9", 68, 32},
        {{{"lucentloader.loader2", "none*4"}}, 2, flsh_cTimeout, "5 13", 5, 0},
        {{{"lucentloader.loader2", "nok2"}}, 2, flsh_cTimeout, "5 13", 2, 0},
        // An unanswered firmware line gets a second 2-second wait, no re-send.
        {{{"lucentloader.line3", "none"}}, 0, flsh_cTimeout, "5 6*2", 0, 3},
        {{{"lucentloader.line3", "ok@5000"}}, 0, flsh_cTimeout, "5 6*2", 0, 3},
        // NOK1 (like NOK4) skips the line; NOK2 sends it again up to four
        // times; NOK3 sends it again once more, on either wait.
        {{{"lucentloader.line3", "nok1"}}, 0, flsh_cSuccessful, "5 6*32 9", 0, 32},
        {{{"lucentloader.line3", "nok2*4"}}, 0, flsh_cSuccessful, "5 6*32 9", 0, 36},
        {{{"lucentloader.line3", "nok2*5"}}, 0, flsh_cVerifyFailed, "5 6*2", 0, 7},
        {{{"lucentloader.line3", "nok3*2"}}, 0, flsh_cSuccessful, "5 6*32 9", 0, 34},
        {{{"lucentloader.line3", "nok3@3000"}}, 0, flsh_cSuccessful, "5 6*32 9", 0, 33},
        // A line refused (on the first wait or on the second) and then left
        // unanswered is never taken for accepted: it is sent again until the
        // fourth re-send, then the run fails.
        {{{"lucentloader.line3", "nok2,none*4"}}, 0, flsh_cVerifyFailed, "5 6*2", 0, 7},
        {{{"lucentloader.line3", "nok2@3000,none*4"}}, 0, flsh_cVerifyFailed, "5 6*2", 0, 7},
        {{{"lucentloader.line3", "nok3,none*3,ok"}}, 0, flsh_cSuccessful, "5 6*32 9", 0, 36},
        // Line noise (the bytes 0x80 to 0xFF) before every reply, the
        // loader's version and its refusals included, changes nothing.
        {{{"lucentloader.noise", "on"}}, 2, flsh_cSuccessful, "5 13*65 9 6*32 9", 65, 32, 0, "4.4"},
        {{{"lucentloader.noise", "on"}}, 0, flsh_cSuccessful, "5 6*32 9", 0, 32, 0, "4.4"},
        {{{"lucentloader.noise", "on"}, {"lucentloader.line3", "nok2*4"}}, 0, flsh_cSuccessful, "5 6*32 9", 0, 36},
        {{{"lucentloader.noise", "on"}, {"lucentloader.line3", "nok2*5"}}, 0, flsh_cVerifyFailed, "5 6*2", 0, 7},
        {{{"lucentloader.noise", "on"}, {"lucentloader.loader2", "none*3"}}, 2, flsh_cSuccessful,
         "5 13*65 9 6*32 9", 68, 32},
    });
}

TEST_F(LucFlshTest, EachReplyAnswersTheLineJustSent)
{
    // The loader sends a stray reply 200 ms after its answer to line 3,
    // while the run is held 2 s after that line (a slow front end): the
    // stray reply comes after the wait for line 3 and before line 4 is
    // sent. It never answers line 4: a stray refusal does not make line 4
    // go out again, and a stray "OK" does not accept line 4, which its own
    // refusal sends again.
    const std::vector<std::string> kLines = wireLines(m_firmware);
    std::vector<std::string> line4Twice = kLines;
    line4Twice.insert(line4Twice.begin() + 4, kLines[3]);
    const std::pair<SimSettings, std::vector<std::string>> kCases[] = {
        {{{"lucentloader.stray3", "nok2@200"}}, kLines},
        {{{"lucentloader.stray3", "nok3@200"}, {"lucentloader.line3", "nok1"}}, kLines},
        {{{"lucentloader.stray3", "ok@200"}, {"lucentloader.line4", "nok2"}}, line4Twice},
        {{{"lucentloader.stray3", "ok@200"}, {"lucentloader.line3", "nok1"}, {"lucentloader.line4", "nok3"}},
         line4Twice},
    };
    m_nPauseEvent = flsh_cEventProgram;
    m_nPauseNth = 3;
    m_nPauseMs = 2000;
    int nPort = 3;
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.first.front().second + " on COM" + std::to_string(nPort));
        std::shared_ptr<SimLucentLoader> pLoader = addLucent(nPort, c.first);
        ASSERT_NE(pLoader, nullptr);
        EXPECT_EQ(program(nPort, 0), flsh_cSuccessful);
        expectReleased(nPort);
        EXPECT_EQ(pLoader->firmwareLines(), c.second);
        ++nPort;
    }
}

TEST_F(LucFlshTest, WriteFailuresAndACallbackAnsweringZero)
{
    const int kAborted = flsh_cAborted;
    runAll(LucFlsh_Program, kLucent, {
        // Line 3 cannot be written (write 4, after the start command): event
        // 7, and the reply is awaited all the same; a NOK2 re-send that
        // cannot be written.
        {{}, 0, flsh_cTimeout, "5 6*2 7", 0, 2, 0, nullptr, -1, 1, 4},
        {{{"lucentloader.line2", "nok2"}}, 0, flsh_cVerifyFailed, "5 6", 0, 2, 0, nullptr, -1, 1, 4},
        {{}, 0, kAborted, "5", 0, 0, 0, nullptr, flsh_cEventProgramStart},
        {{}, 2, kAborted, "5 13*3", 3, 0, 0, nullptr, flsh_cEventLoader, 3},
        {{}, 0, kAborted, "5 6*2", 0, 2, 0, nullptr, flsh_cEventProgram, 2},
        {{}, 0, kAborted, "5 6*32 9", 0, 32, 0, nullptr, flsh_cProgramDone},
    });
}

TEST_F(LucFlshTest, PortAndFilesThatCannotBeOpenedOrSent)
{
    EXPECT_EQ(program(9, 0), flsh_cPortOpen);
    ASSERT_NE(addLucent(3), nullptr);
    EXPECT_EQ(program(3, 0, 0, 0, 0, "missing.hex"), flsh_cHexFileOpen);
    expectReleased(3);
    EXPECT_TRUE(m_events->events().empty());

    // Firmware lines of up to 125 characters go out, loader lines of up to
    // 120 (the five-character prefix and CR LF fill the 128-byte text). A
    // file with a longer line is refused before the start command: nothing
    // reaches the device (an empty firmware file: BadFileTest).
    const std::string kEnd = ":00000001FF\r\n";
    std::vector<uint8_t> data(60, 0x5A);
    auto record = [&data](uint16_t nOffset, size_t nCount) { return sim_HexRecord(0, nOffset, data.data(), nCount) + "\r\n"; };
    const std::string fw125 = record(0, 57), fw127 = record(0x100, 58), ld119 = record(0, 54), ld121 = record(0x100, 55);
    ASSERT_EQ(fw125.size(), 127u);
    ASSERT_EQ(ld121.size(), 123u);
    writeFirmware(fw125 + kEnd);
    m_dir.write("FlashLdr.hex", ld119 + kEnd);
    std::shared_ptr<SimLucentLoader> pLoader = addLucent(4);
    ASSERT_NE(pLoader, nullptr);
    EXPECT_EQ(program(4, 2, 1), flsh_cSuccessful);
    expectReleased(4);
    EXPECT_THAT(pLoader->loaderLines(), ElementsAre("at&&w" + ld119, "at&&w" + kEnd));
    EXPECT_THAT(pLoader->firmwareLines(), ElementsAre(fw125, kEnd));

    const std::pair<std::string, std::string> kRefused[] = {
        {fw125 + fw127 + kEnd, ld119 + kEnd},    // a firmware line too long
        {fw125 + kEnd, ld119 + ld121 + kEnd},    // a loader line too long
    };
    int nPort = 5;
    for (const auto& files : kRefused) {
        writeFirmware(files.first);
        m_dir.write("FlashLdr.hex", files.second);
        pLoader = addLucent(nPort);
        ASSERT_NE(pLoader, nullptr);
        EXPECT_EQ(program(nPort, 2, 1), flsh_cBadHexFile);
        expectReleased(nPort);
        EXPECT_TRUE(pLoader->loaderLines().empty() && pLoader->firmwareLines().empty());
        EXPECT_EQ(events(), "");
        ++nPort;
    }
}

// The first firmware line may take up to 180 s (the loader erases the
// flash); so may the first wait of the second. Later waits are 2 s; the
// late second line leaves 200 ms before and 1.8 s after its answer.
class LucFlshLongWaitTest : public LucFlshTest {
protected:
    void SetUp() override
    {
        LucFlshTest::SetUp();
        // Runs of 180 s make this the suite's longest test: the 1.8 s after
        // the late answer get half the usual floor, 250 ms of real time.
        os_SetTimeScale(scaleFor(2 * 1800));
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
