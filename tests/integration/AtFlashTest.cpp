// The AT flash protocol end to end: flash jobs started through the job API
// against simulated boot code on pseudo-terminals. Images of several shapes
// arrive byte for byte; every failure of the protocol gives its result with
// the port closed and the sorted copy removed; the handshake's choices;
// cancelling; the events; one run at the real time scale.
#include "EngineSource/AtFlsh.h"
#include "EngineSource/FlashInfo.h"
#include "sim/SimAtBoot.h"
#include "support/FlashRun.h"
#include "support/HexWriter.h"
#include "support/SimFixture.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>
#include <regex>
#include <string>
#include <vector>

namespace {

// How a flash job is started.
struct JobOptions {
    uint32_t nFlags = 0;          // controller flags
    int32_t bUpdateBootCode = 0;  // the update rewrites the boot code
    int32_t nBaud = 115200;       // rate asked for
    int32_t bHandshakeOnly = 0;   // stop after the handshake
    int32_t bBootCodeOnly = 0;    // the device runs only its boot code
    const char* pszVersion = "";  // version text the job holds before the run
};

// The device holds the file's bytes (with flag 0x001 the patch at address
// 0) and 0xFF wherever a block covered no data.
void expectImage(const std::map<uint32_t, uint8_t>& device, std::vector<HexChunk> chunks, uint32_t nFlags)
{
    if (nFlags & ModelDb_kFlagPatchResetVector)
        chunks.push_back(HexChunk{0, {0xC3, 0x00, 0x01}});
    hex_ExpectImage(device, chunks);
}

// Boot code set as the words of the "atboot" key say ("speed=K errors=2").
SimAtBootConfig bootConfig(const std::string& words)
{
    SimAtBootConfig config;
    std::string error;
    EXPECT_TRUE(sim_ParseAtBoot(words, &config, &error)) << error;
    return config;
}

class AtFlashTest : public SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        // Reply bytes (wake-up answer, speed letter) have 1 s.
        os_SetTimeScale(scaleFor(1000));
        if (const char* pszTmp = getenv("TMPDIR"))
            m_savedTmp = pszTmp;
        setenv("TMPDIR", m_tmp.path().c_str(), 1);
        InitFlashJob(&m_job, "", 0);
    }

    void TearDown() override
    {
        if (m_bStarted && GetResult(&m_job) == -1) {
            AbortAllJobs();
            waitJobResult(&m_job);
        }
        ResetAbortFlag();
        DeleteFlashJob(&m_job);
        if (m_savedTmp)
            setenv("TMPDIR", m_savedTmp->c_str(), 1);
        else
            unsetenv("TMPDIR");
        SimFixture::TearDown();
    }

    // Starts boot code on COMn behind a plain modem.
    SimAtBoot addBoot(int nPort, const SimAtBootConfig& config = SimAtBootConfig())
    {
        SimAtBoot boot(config);
        addFamily(nPort, "modem", {}, &boot);
        return boot;
    }

    std::string writeHex(const std::vector<HexChunk>& chunks, const HexLayout& layout = HexLayout())
    {
        m_dir.write("image.hex", hex_Text(chunks, layout));
        return m_dir.file("image.hex");
    }

    void start(int nPort, const std::string& hexPath, const JobOptions& options = JobOptions())
    {
        DeleteFlashJob(&m_job);
        InitFlashJob(&m_job, comDevice(nPort).c_str(), options.nBaud);
        gn_StrCopyN(m_job.szBootCodeVersion, options.pszVersion, static_cast<int>(sizeof m_job.szBootCodeVersion));
        m_hexPath = hexPath;
        StartFlashJob(&m_job, m_hexPath.c_str(), options.nFlags, options.bHandshakeOnly, options.bUpdateBootCode,
                      options.bBootCodeOnly, 0);
        m_bStarted = true;
    }

    // Runs a flash job on COMn to its end.
    int32_t flash(int nPort, const std::string& hexPath, const JobOptions& options = JobOptions())
    {
        start(nPort, hexPath, options);
        int32_t nResult = waitJobResult(&m_job);
        EXPECT_NE(nResult, -1) << "the job did not end";
        return nResult;
    }

    // After a run: the port can be opened again and no sorted copy is left.
    void expectCleanedUp(int nPort)
    {
        urs_Port port = {};
        EXPECT_EQ(urs_OpenPort(&port, comDevice(nPort).c_str()), urs_kOk);
        urs_ClosePort(&port);
        EXPECT_TRUE(std::filesystem::is_empty(m_tmp.path())) << "sorted copies left behind";
    }

    std::string received() const { return m_pDevice->transcript().received(); }

    TempDir m_tmp;                   // TMPDIR of the runs: where sorted copies go
    std::optional<std::string> m_savedTmp;  // TMPDIR before the test, if it was set
    FlashJob m_job;                  // the job under test
    bool m_bStarted = false;         // a worker was started on it
    std::string m_hexPath;           // its hex file (the job points at it)
};

TEST_F(AtFlashTest, ImagesOfEveryShapeArriveByteForByte)
{
    struct Shape {
        HexLayout layout;    // records per line, segment bases, order
        uint32_t nFlags;     // controller flags of the run
    };
    const Shape kShapes[] = {
        {{16, 0x10000, 0}, 0},
        {{16, 0x8000, 5}, ModelDb_kFlagPieces256},
        {{32, 0x1000, 9}, ModelDb_kFlagPieces128 | ModelDb_kFlagPieces256 | ModelDb_kFlagPatchResetVector},
    };
    // Several segments: a gap of 0x40 bytes bridged, blocks across 16 KiB
    // and 64 KiB boundaries, a large gap, and data under base 0x18000 when
    // the layout makes segments of 0x8000 or less.
    std::vector<HexChunk> image = {hex_Pattern(0x00000, 0x1800, 1), hex_Pattern(0x01840, 0x100, 2),
                                   hex_Pattern(0x1BF00, 0x300, 3), hex_Pattern(0x2FFF0, 0x40, 4),
                                   hex_Pattern(0x18010, 0x200, 5)};
    int nPort = 3;
    for (const Shape& shape : kShapes) {
        SCOPED_TRACE("layout " + std::to_string(shape.layout.nSegmentSpan) + " flags " + std::to_string(shape.nFlags));
        SimAtBoot boot = addBoot(nPort);
        ASSERT_EQ(flash(nPort, writeHex(image, shape.layout), JobOptions{shape.nFlags}), flsh_cSuccessful) << log();
        expectImage(boot.image(), image, shape.nFlags);
        // Blocks are aligned to 128 bytes and stay within 16 KiB.
        for (const auto& block : boot.blocks()) {
            EXPECT_EQ(block.first % 128, 0u);
            EXPECT_EQ(block.second % 128, 0u);
            EXPECT_EQ(block.first / 0x4000, (block.first + block.second - 1) / 0x4000);
        }
        EXPECT_EQ(boot.rateErrors(), 0);
        // "ATFLEND\r" reaches the boot code after the job has ended.
        for (int i = 0; i < 2000 && boot.finishedRuns() == 0; ++i)
            usleep(1000);
        EXPECT_EQ(boot.finishedRuns(), 1);
        EXPECT_EQ(m_job.nHighestDataAddress, boot.blocks().back().first);
        expectCleanedUp(nPort);
        ++nPort;
    }
}

// Randomly generated images: chunks at addresses not aligned to anything,
// holes of every size around 128 bytes, records across 16 KiB boundaries,
// segments of 0x100 to 0x10000 bytes, records out of order, lower-case
// digits and LF line ends. The device ends up holding every byte of the
// file at its address.
TEST_F(AtFlashTest, RandomImagesLandByteForByte)
{
    const uint32_t kSpans[] = {0x100, 0x1000, 0x10000};
    int nPort = 3;
    for (uint32_t nSeed = 1; nSeed <= 8; ++nSeed) {
        std::mt19937 random(nSeed);
        auto pick = [&random](uint32_t nLow, uint32_t nHigh) {
            return std::uniform_int_distribution<uint32_t>(nLow, nHigh)(random);
        };
        std::vector<HexChunk> image;
        uint32_t nAddress = pick(0, 0xC000);
        for (uint32_t nChunk = pick(3, 7); nChunk > 0; --nChunk) {
            uint32_t nSize = pick(1, 700);
            // Every third chunk straddles the next 16 KiB boundary.
            if (nChunk % 3 == 0)
                nAddress = ((nAddress / 0x4000) + 1) * 0x4000 - pick(1, nSize);
            image.push_back(hex_Pattern(nAddress, nSize, nSeed * 16 + nChunk));
            nAddress += nSize + pick(120, 136) + (nChunk % 2 == 0 ? pick(0, 0x3000) : 0);
        }
        HexLayout layout;
        layout.nRecordBytes = pick(1, 32);
        layout.nSegmentSpan = kSpans[nSeed % 3];
        layout.nShuffleSeed = nSeed % 2 == 0 ? nSeed : 0;
        std::string text = hex_Text(image, layout);
        ASSERT_TRUE(hex_ParseText(text) == hex_Bytes(image));
        if (nSeed % 2 == 1)
            std::transform(text.begin(), text.end(), text.begin(), [](char c) { return static_cast<char>(tolower(c)); });
        if (nSeed % 4 >= 2)
            text = std::regex_replace(text, std::regex("\r\n"), "\n");
        SCOPED_TRACE("seed " + std::to_string(nSeed) + ":\n" + text.substr(0, 400));
        m_dir.write("random.hex", text);
        SimAtBoot boot = addBoot(nPort);
        ASSERT_EQ(flash(nPort, m_dir.file("random.hex")), flsh_cSuccessful) << log();
        hex_ExpectImage(boot.image(), image);
        expectCleanedUp(nPort);
        ++nPort;
    }
}

TEST_F(AtFlashTest, FileAndPortFailures)
{
    SimAtBoot boot = addBoot(3);
    std::string good = writeHex({hex_Pattern(0, 0x200)});
    EXPECT_EQ(flash(9, good), flsh_cPortOpen);
    EXPECT_EQ(flash(3, m_dir.file("missing.hex")), flsh_cHexFileOpen);
    // A sound file beyond the sorter's 64 segment bases.
    std::vector<HexChunk> chunks;
    for (uint32_t k = 0; k < 65; ++k)
        chunks.push_back(hex_Pattern(k * 0x1000, 16, k + 1));
    HexLayout layout;
    layout.nSegmentSpan = 0x1000;
    m_dir.write("segments.hex", hex_Text(chunks, layout));
    EXPECT_EQ(flash(3, m_dir.file("segments.hex")), flsh_cSortError);
    // A data line the sorter copies but the record reader refuses.
    m_dir.write("bad.hex", ":0100000066FA\r\n:10001000ZZ\r\n:00000001FF\r\n");
    EXPECT_EQ(flash(3, m_dir.file("bad.hex")), flsh_cBadHexFile);
    EXPECT_STREQ(GetResultText(&m_job), "Bad .HEX file");
    expectCleanedUp(3);
    EXPECT_TRUE(boot.blocks().empty());
}

TEST_F(AtFlashTest, EveryDeviceFailureGivesItsResult)
{
    struct Row {
        const char* pszBoot;   // how the boot code misbehaves
        uint32_t nFlags;       // controller flags
        int32_t bUpdate;       // the boot code is updated
        int32_t nResult;       // the result expected
    };
    const Row kRows[] = {
        {"wake=none", ModelDb_kFlagFastProbe, 0, flsh_cHandshakeFailure},
        {"speed=L", 0, 0, flsh_cHandshakeFailure},   // 57600 is no speed: three tries
        {"echo=0", 0, 0, flsh_cHandshakeFailure},
        {"versionok=0", 0, 0, flsh_cHandshakeFailure},
        {"dpoff=ERROR", ModelDb_kFlagSendDpOff, 1, flsh_cUnprotectBoot},
        {"dpoff=ERROR n=none", ModelDb_kFlagSendDpOff | ModelDb_kFlagSendN, 0, flsh_cSuccessful},   // sent only for updates
        {"errorblock=2 errors=2", 0, 0, flsh_cSuccessful},   // refused twice, then accepted
        {"errorblock=2 errors=3", 0, 0, flsh_cVerifyFailed},
        {"nogo=2", 0, 0, flsh_cTimeout},
        // Line noise (the bytes 0x80 to 0xFF) before every answer of the
        // boot code (the speed letter excepted) changes no result.
        {"noise=1", ModelDb_kFlagFastProbe, 0, flsh_cSuccessful},
        {"noise=1 dpoff=OK n=OK", ModelDb_kFlagSendDpOff | ModelDb_kFlagSendN, 1, flsh_cSuccessful},
        {"noise=1 dpoff=ERROR", ModelDb_kFlagSendDpOff, 1, flsh_cUnprotectBoot},
        {"noise=1 errorblock=2 errors=2", 0, 0, flsh_cSuccessful},
        {"noise=1 errorblock=2 errors=3", 0, 0, flsh_cVerifyFailed},
        {"noise=1 versionok=0", 0, 0, flsh_cHandshakeFailure},
    };
    std::vector<HexChunk> image = {hex_Pattern(0, 0x3000)};
    std::string path = writeHex(image);
    int nPort = 3;
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.pszBoot);
        SimAtBootConfig config = bootConfig(row.pszBoot);
        SimAtBoot boot = addBoot(nPort, config);
        EXPECT_EQ(flash(nPort, path, JobOptions{row.nFlags, row.bUpdate}), row.nResult) << takeLog();
        expectCleanedUp(nPort);
        // The refusals of one block are one report.
        EXPECT_EQ(boot.refusals(), config.nErrorBlock != 0 ? config.nErrorTimes : 0);
        EXPECT_EQ(m_job.nVerifyErrors, config.nErrorBlock != 0 ? 1 : 0);
        EXPECT_EQ(m_job.nGoTimeouts, config.nNoGoBlock != 0 ? 1 : 0);
        if (row.nResult == flsh_cSuccessful)
            hex_ExpectImage(boot.image(), image);
        ++nPort;
    }
}

TEST_F(AtFlashTest, SpeedVersionAndModesDecideRateBlocksAndCommands)
{
    struct Row {
        const char* pszBoot;      // the boot code's settings
        JobOptions options;       // the job's
        int32_t nBaud;            // the job's rate afterwards, and the line's
        const char* pszVersion;   // the job's version text afterwards
        size_t nBlocks;           // blocks programmed
    };
    const Row kRows[] = {
        // 115200 asked, the device does 38400: "K" is sent.
        {"speed=K", {}, 38400, "2.1", 2},
        // Boot code 1.07 takes blocks of 128 bytes; 2.01 of 4096. A lower
        // rate asked for is kept.
        {"version=1.07", {}, 115200, "1.7", 0x2000 / 128},
        {"version=1.07 noise=1", {}, 115200, "1.7", 0x2000 / 128},
        {"", {0, 0, 19200}, 19200, "2.1", 2},
        // Boot code only: no start command, no version query; the job keeps
        // its version and rate.
        {"bootonly=1", {0, 0, 38400, 0, 1, "9.9"}, 38400, "9.9", 2},
        // Handshake only: the file is neither opened nor sorted.
        {"", {0, 0, 115200, 1}, 115200, "2.1", 0},
    };
    std::vector<HexChunk> image = {hex_Pattern(0, 0x2000)};
    std::string path = writeHex(image);
    int nPort = 3;
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.pszBoot);
        SimAtBoot boot = addBoot(nPort, bootConfig(row.pszBoot));
        const std::string hex = row.options.bHandshakeOnly ? m_dir.file("missing.hex") : path;
        ASSERT_EQ(flash(nPort, hex, row.options), flsh_cSuccessful) << log();
        EXPECT_EQ(m_job.nBaud, row.nBaud);
        // Boot code only switches no rate.
        EXPECT_EQ(boot.lineRate(), row.options.bBootCodeOnly ? 0u : static_cast<uint32_t>(row.nBaud));
        EXPECT_STREQ(m_job.szBootCodeVersion, row.pszVersion);
        EXPECT_EQ(boot.blocks().size(), row.nBlocks);
        if (row.nBlocks != 0)
            hex_ExpectImage(boot.image(), image);
        EXPECT_EQ(received().find("AT*FS\r") == std::string::npos, row.options.bBootCodeOnly == 1);
        expectCleanedUp(nPort++);
    }
}

TEST_F(AtFlashTest, CancellingStopsTheRunAsAbortedByUser)
{
    SimAtBoot boot = addBoot(3);
    start(3, writeHex({hex_Pattern(0, 0x20000)}));
    for (int i = 0; i < 60000 && boot.blocks().size() < 4; ++i)
        usleep(1000);
    ASSERT_GE(boot.blocks().size(), 4u) << log();
    AbortAllJobs();
    ASSERT_EQ(waitJobResult(&m_job), flsh_cAborted);
    EXPECT_STREQ(GetResultText(&m_job), "Aborted by user");
    EXPECT_LT(boot.blocks().size(), 0x20000u / 4096);
    EXPECT_EQ(received().find("ATFLEND"), std::string::npos);
    expectCleanedUp(3);
}

TEST_F(AtFlashTest, EventsFollowTheRun)
{
    addBoot(3);
    std::string path = writeHex({hex_Pattern(0, 0x2000), hex_Pattern(0x8000, 0x80)});
    EventRecorder recorder;
    int32_t nBaud = 57600;
    uint32_t nHighest = 0;
    char szVersion[flsh_kVersionSize] = "";
    ASSERT_EQ(AtFlsh_Program(comDevice(3).c_str(), path.c_str(), 0, 0, 1, &nBaud, &nHighest, szVersion,
                             EventRecorder::callback, &recorder, 0, 0, 0),
              flsh_cSuccessful);
    // The speed query reports 50 just before the handshake is done; event 5
    // carries the rate in use; the last report is 100 percent.
    std::vector<FlashEvent> events = recorder.events();
    std::vector<int32_t> kinds = recorder.numbers();
    size_t nDone = std::find(kinds.begin(), kinds.end(), flsh_cEventHandshakeDone) - kinds.begin();
    kinds.erase(std::unique(kinds.begin(), kinds.end()), kinds.end());
    ASSERT_EQ(kinds, (std::vector<int32_t>{14, 3, 4, 5, 6, 9}));
    EXPECT_EQ(events[nDone - 1].nPercent, 50);
    EXPECT_EQ(events[nDone + 1].nPercent, 57600);
    EXPECT_EQ(events.back().nPercent, 100);
}

TEST_F(AtFlashTest, RealTimeFlashAtTheLineRate)
{
    os_SetTimeScale(1);
    SimAtBoot boot = addBoot(3);
    std::vector<HexChunk> image = {hex_Pattern(0, 0x2000)};
    int64_t nElapsed = timedMs([&] { EXPECT_EQ(flash(3, writeHex(image)), flsh_cSuccessful) << log(); });
    hex_ExpectImage(boot.image(), image);
    // Two settling pauses, the pauses around "AT*FS\r" and one probe come
    // to 4430 ms; two blocks at 115200 baud add about 0.7 s.
    EXPECT_GE(nElapsed, 4430 + 700);
    EXPECT_LT(nElapsed, 4430 + 700 + 1500);
}

}  // namespace
