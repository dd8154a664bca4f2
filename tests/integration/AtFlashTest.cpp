// The AT flash protocol end to end: flash jobs started through the job API
// against simulated boot code on pseudo-terminals. Images of several shapes
// arrive byte for byte; every failure of the protocol gives its result with
// the port closed and the sorted copy removed; the handshake's edge cases;
// cancelling; the event sequence; one run at the real time scale.
#include "EngineSource/AtFlsh.h"
#include "EngineSource/FlashInfo.h"
#include "EngineSource/OSSysCalls.h"
#include "model/ModelDb.h"
#include "sim/SimAtBoot.h"
#include "support/HexWriter.h"
#include "support/SimFixture.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

// How a flash job is started.
struct JobOptions {
    uint32_t nFlags = 0;          // controller flags
    int32_t nBaud = 115200;       // rate asked for
    int32_t bHandshakeOnly = 0;   // stop after the handshake
    int32_t bUpdateBootCode = 0;  // the update rewrites the boot code
    int32_t bBootCodeOnly = 0;    // the device runs only its boot code
    const char* pszVersion = "";  // version text the job holds before the run
};

// An image over several segments: a gap of 0x40 bytes bridged, blocks
// across 16 KiB and 64 KiB boundaries, a large gap, and data under base
// 0x18000 when the layout makes segments of 0x8000 or less.
std::vector<HexChunk> sampleImage()
{
    return {hex_Pattern(0x00000, 0x1800, 1), hex_Pattern(0x01840, 0x100, 2), hex_Pattern(0x1BF00, 0x300, 3),
            hex_Pattern(0x2FFF0, 0x40, 4), hex_Pattern(0x18010, 0x200, 5)};
}

class AtFlashTest : public SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        const char* pszTmp = getenv("TMPDIR");
        m_bHadTmp = pszTmp != nullptr;
        m_savedTmp = m_bHadTmp ? pszTmp : "";
        setenv("TMPDIR", m_tmp.path().c_str(), 1);
        InitFlashJob(&m_job, "", 0);
    }

    void TearDown() override
    {
        if (m_bStarted && GetResult(&m_job) == -1) {
            AbortAllJobs();
            waitResult(60000);
        }
        ResetAbortFlag();
        DeleteFlashJob(&m_job);
        if (m_bHadTmp)
            setenv("TMPDIR", m_savedTmp.c_str(), 1);
        else
            unsetenv("TMPDIR");
        SimFixture::TearDown();
    }

    // Starts boot code on COMn behind a plain modem.
    SimAtBoot addBoot(int nPort, const SimAtBootConfig& config = SimAtBootConfig(), bool bPacing = true)
    {
        SimAtBoot boot(config);
        SimDeviceConfig device = sim_DeviceConfig(nPort);
        device.bPacing = bPacing;
        boot.install(&device);
        std::string error;
        m_pDevice = m_ports.add(device, &error);
        EXPECT_NE(m_pDevice, nullptr) << error;
        return boot;
    }

    std::string writeHex(const std::string& name, const std::vector<HexChunk>& chunks,
                         const HexLayout& layout = HexLayout())
    {
        m_dir.write(name, hex_Text(chunks, layout));
        return m_dir.file(name);
    }

    // Real milliseconds until the job has a result (or the limit passed).
    int32_t waitResult(int nLimitMs)
    {
        for (int i = 0; i < nLimitMs && GetResult(&m_job) == -1; ++i)
            usleep(1000);
        return GetResult(&m_job);
    }

    // Runs a flash job on COMn to its end.
    int32_t flash(int nPort, const std::string& hexPath, const JobOptions& options = JobOptions())
    {
        DeleteFlashJob(&m_job);
        InitFlashJob(&m_job, comDevice(nPort).c_str(), options.nBaud);
        gn_StrCopyN(m_job.szBootCodeVersion, options.pszVersion, static_cast<int>(sizeof m_job.szBootCodeVersion));
        m_hexPath = hexPath;
        StartFlashJob(&m_job, m_hexPath.c_str(), options.nFlags, options.bHandshakeOnly, options.bUpdateBootCode,
                      options.bBootCodeOnly, 0);
        m_bStarted = true;
        int32_t nResult = waitResult(60000);
        EXPECT_NE(nResult, -1) << "the job did not end";
        return nResult;
    }

    // After a run: the port can be opened again and no sorted copy is left.
    void expectCleanedUp(int nPort)
    {
        urs_Port port = {};
        EXPECT_EQ(urs_OpenPort(&port, comDevice(nPort).c_str()), 0);
        urs_ClosePort(&port);
        DIR* pDir = opendir(m_tmp.path().c_str());
        ASSERT_NE(pDir, nullptr);
        int nEntries = 0;
        while (dirent* pEntry = readdir(pDir))
            nEntries += strcmp(pEntry->d_name, ".") != 0 && strcmp(pEntry->d_name, "..") != 0;
        closedir(pDir);
        EXPECT_EQ(nEntries, 0) << "sorted copies left behind";
    }

    // The device holds the file's bytes, 0xFF wherever a block covered no
    // data, and with flag 0x001 the patch at address 0; its blocks were
    // aligned and within 16 KiB.
    static void expectImage(const SimAtBoot& boot, const std::vector<HexChunk>& chunks, uint32_t nFlags)
    {
        expectImage(boot.image(), chunks, nFlags);
        for (const auto& block : boot.blocks()) {
            EXPECT_EQ(block.first % 128, 0u);
            EXPECT_EQ(block.second % 128, 0u);
            EXPECT_EQ(block.first / 0x4000, (block.first + block.second - 1) / 0x4000);
        }
    }

    static void expectImage(const std::map<uint32_t, uint8_t>& device, const std::vector<HexChunk>& chunks,
                            uint32_t nFlags)
    {
        std::map<uint32_t, uint8_t> file = hex_Bytes(chunks);
        if (nFlags & flsh_kPatchResetVector) {
            file[0] = 0xC3;
            file[1] = 0x00;
            file[2] = 0x01;
        }
        size_t nMissing = 0, nWrong = 0, nNotErased = 0;
        for (const auto& entry : file) {
            auto found = device.find(entry.first);
            nMissing += found == device.end();
            nWrong += found != device.end() && found->second != entry.second;
        }
        for (const auto& entry : device)
            nNotErased += file.count(entry.first) == 0 && entry.second != 0xFF;
        EXPECT_EQ(nMissing, 0u);
        EXPECT_EQ(nWrong, 0u);
        EXPECT_EQ(nNotErased, 0u);
    }

    std::string received() const { return m_pDevice->transcript().received(); }

    TempDir m_tmp;                   // TMPDIR of the runs: where sorted copies go
    bool m_bHadTmp = false;          // TMPDIR was set before the test
    std::string m_savedTmp;          // its value
    FlashJob m_job;                  // the job under test
    bool m_bStarted = false;         // a worker was started on it
    std::string m_hexPath;           // its hex file (the job points at it)
    SimDevice* m_pDevice = nullptr;  // the device last added
};

TEST_F(AtFlashTest, ImagesOfEveryShapeArriveByteForByte)
{
    struct Shape {
        HexLayout layout;    // records per line, segment bases, order
        uint32_t nFlags;     // controller flags of the run
    };
    const Shape kShapes[] = {
        {{16, 0x10000, 0}, 0},
        {{32, 0x10000, 3}, flsh_kPatchResetVector},
        {{16, 0x8000, 5}, flsh_kPieces256},
        {{32, 0x1000, 9}, flsh_kPieces128 | flsh_kPieces256 | flsh_kPatchResetVector},
    };
    std::vector<HexChunk> image = sampleImage();
    int nPort = 3;
    for (const Shape& shape : kShapes) {
        SCOPED_TRACE("layout " + std::to_string(shape.layout.nRecordBytes) + "/" +
                     std::to_string(shape.layout.nSegmentSpan) + " flags " + std::to_string(shape.nFlags));
        SimAtBoot boot = addBoot(nPort);
        JobOptions options;
        options.nFlags = shape.nFlags;
        ASSERT_EQ(flash(nPort, writeHex("image.hex", image, shape.layout), options), flsh_cSuccessful) << log();
        EXPECT_STREQ(GetResultText(&m_job), "Successful");
        expectImage(boot, image, shape.nFlags);
        EXPECT_EQ(boot.rateErrors(), 0);
        // "ATFLEND\r" reaches the boot code after the job has ended.
        for (int i = 0; i < 2000 && boot.finishedRuns() == 0; ++i)
            usleep(1000);
        EXPECT_EQ(boot.finishedRuns(), 1);
        EXPECT_EQ(boot.lineRate(), 115200u);
        EXPECT_EQ(m_job.nBaud, 115200);
        EXPECT_STREQ(m_job.szBootCodeVersion, "2.1");
        EXPECT_EQ(m_job.nHighestDataAddress, boot.blocks().back().first);
        int32_t nPercent = 0;
        char szText[32];
        GetJobStatus(&m_job, &nPercent, szText, sizeof szText);
        EXPECT_EQ(nPercent, 100);
        EXPECT_STREQ(szText, "Programming Done");
        expectCleanedUp(nPort);
        ++nPort;
    }
}

TEST_F(AtFlashTest, FileAndPortFailures)
{
    SimAtBoot boot = addBoot(3);
    std::string good = writeHex("good.hex", {hex_Pattern(0, 0x200)});
    EXPECT_EQ(flash(9, good), flsh_cPortOpen);
    EXPECT_EQ(flash(3, m_dir.file("missing.hex")), flsh_cHexFileOpen);

    m_dir.write("type5.hex", ":0400000500000000F7\r\n:0100000066FA\r\n:00000001FF\r\n");
    EXPECT_EQ(flash(3, m_dir.file("type5.hex")), flsh_cSortError);
    expectCleanedUp(3);

    setenv("TMPDIR", m_tmp.file("no-such-folder").c_str(), 1);
    EXPECT_EQ(flash(3, good), flsh_cSortError);
    setenv("TMPDIR", m_tmp.path().c_str(), 1);

    // The sorted copy is made, but opening it for reading fails.
    static std::string s_tmpPrefix;
    s_tmpPrefix = m_tmp.path() + "/";
    os_SysCalls().pOpen = [](const char* pszPath, int nFlags, mode_t nMode) {
        if (strncmp(pszPath, s_tmpPrefix.c_str(), s_tmpPrefix.size()) == 0 && (nFlags & O_ACCMODE) == O_RDONLY) {
            errno = EACCES;
            return -1;
        }
        return os_DefaultSysCalls().pOpen(pszPath, nFlags, nMode);
    };
    int32_t nResult = flash(3, good);
    os_SysCalls() = os_DefaultSysCalls();
    EXPECT_EQ(nResult, flsh_cSortError);
    expectCleanedUp(3);

    // A data line the sorter copies but the record reader refuses.
    m_dir.write("bad.hex", ":0100000066FA\r\n:10001000ZZ\r\n:00000001FF\r\n");
    EXPECT_EQ(flash(3, m_dir.file("bad.hex")), flsh_cBadHexFile);
    EXPECT_STREQ(GetResultText(&m_job), "Bad .HEX file");
    expectCleanedUp(3);
    // None of these reached the boot code's blocks.
    EXPECT_TRUE(boot.blocks().empty());
}

// One misbehaving boot code per row; each run ends with its result.
struct FailureRow {
    const char* pszName;                        // what goes wrong
    std::function<void(SimAtBootConfig*)> set;  // how the boot code misbehaves
    JobOptions options;                         // how the job runs
    int32_t nResult;                            // the result expected
};

JobOptions withFlags(uint32_t nFlags, int32_t bUpdateBootCode = 0)
{
    JobOptions options;
    options.nFlags = nFlags;
    options.bUpdateBootCode = bUpdateBootCode;
    return options;
}

TEST_F(AtFlashTest, EveryDeviceFailureGivesItsResult)
{
    const FailureRow kRows[] = {
        {"never wakes", [](SimAtBootConfig* p) { p->cWake = 0; }, JobOptions(), flsh_cHandshakeFailure},
        {"wakes with another letter", [](SimAtBootConfig* p) { p->cWake = 'X'; }, withFlags(flsh_kFastProbe),
         flsh_cHandshakeFailure},
        {"no speed", [](SimAtBootConfig* p) { p->cSpeed = 0; }, JobOptions(), flsh_cHandshakeFailure},
        {"baud code refused", [](SimAtBootConfig* p) { p->baudResult = "ERROR"; }, JobOptions(),
         flsh_cHandshakeFailure},
        {"baud code unanswered", [](SimAtBootConfig* p) { p->baudResult.clear(); }, JobOptions(),
         flsh_cHandshakeFailure},
        {"no echo", [](SimAtBootConfig* p) { p->bEcho = false; }, JobOptions(), flsh_cHandshakeFailure},
        {"one-digit minor", [](SimAtBootConfig* p) { p->version = "1.8"; }, JobOptions(), flsh_cHandshakeFailure},
        {"version refused", [](SimAtBootConfig* p) { p->version = "ERROR"; }, JobOptions(), flsh_cHandshakeFailure},
        {"version without OK", [](SimAtBootConfig* p) { p->bVersionOk = false; }, JobOptions(),
         flsh_cHandshakeFailure},
        {"ATDPOFF refused", [](SimAtBootConfig* p) { p->dpOffResult = "ERROR"; }, withFlags(flsh_kSendDpOff, 1),
         flsh_cUnprotectBoot},
        {"ATN unanswered", [](SimAtBootConfig* p) { p->nResult.clear(); }, withFlags(flsh_kSendN, 1),
         flsh_cUnprotectBoot},
        {"three ERRORs", [](SimAtBootConfig* p) {
             p->nErrorBlock = 2;
             p->nErrorTimes = 3;
         }, JobOptions(),
         flsh_cVerifyFailed},
        {"no go-ahead", [](SimAtBootConfig* p) { p->nNoGoBlock = 2; }, JobOptions(), flsh_cTimeout},
        {"silent after a block", [](SimAtBootConfig* p) { p->nSilentAfter = 2; }, JobOptions(), flsh_cTimeout},
        {"line dropped", [](SimAtBootConfig* p) { p->nDropAfter = 2; }, JobOptions(), flsh_cTimeout},
    };
    std::vector<HexChunk> image = {hex_Pattern(0, 0x3000)};
    std::string path = writeHex("image.hex", image);
    int nPort = 3;
    for (const FailureRow& row : kRows) {
        SCOPED_TRACE(row.pszName);
        SimAtBootConfig config;
        row.set(&config);
        SimAtBoot boot = addBoot(nPort, config);
        EXPECT_EQ(flash(nPort, path, row.options), row.nResult) << takeLog();
        EXPECT_STREQ(GetResultText(&m_job), FlashResultText(row.nResult));
        expectCleanedUp(nPort);
        if (row.nResult == flsh_cVerifyFailed) {
            EXPECT_EQ(boot.refusals(), 3);
            // The three refusals are one repeated report, counted once.
            EXPECT_EQ(m_job.nVerifyErrors, 1);
        }
        if (std::string(row.pszName) == "no go-ahead") {
            EXPECT_EQ(m_job.nGoTimeouts, 1);
        }
        ++nPort;
    }
}

TEST_F(AtFlashTest, RefusedBlocksAreSentAgain)
{
    SimAtBootConfig config;
    config.nErrorBlock = 2;
    config.nErrorTimes = 2;
    SimAtBoot boot = addBoot(3, config);
    std::vector<HexChunk> image = {hex_Pattern(0, 0x3000)};
    ASSERT_EQ(flash(3, writeHex("image.hex", image)), flsh_cSuccessful);
    EXPECT_EQ(boot.refusals(), 2);
    expectImage(boot, image, 0);
}

TEST_F(AtFlashTest, SpeedAndVersionDecideRateAndBlockSize)
{
    std::vector<HexChunk> image = {hex_Pattern(0, 0x2000)};
    std::string path = writeHex("image.hex", image);

    // 115200 asked, the device does 38400: "K" is sent and the job ends at
    // 38400.
    SimAtBootConfig config;
    config.cSpeed = 'K';
    SimAtBoot boot = addBoot(3, config);
    ASSERT_EQ(flash(3, path), flsh_cSuccessful);
    EXPECT_EQ(m_job.nBaud, 38400);
    EXPECT_EQ(boot.lineRate(), 38400u);
    EXPECT_NE(received().find("DK"), std::string::npos);
    EXPECT_EQ(boot.rateErrors(), 0);

    // A device that answers "L" (57600) names no speed: three tries, then
    // handshake failure.
    config = SimAtBootConfig();
    config.cSpeed = 'L';
    addBoot(4, config);
    EXPECT_EQ(flash(4, path), flsh_cHandshakeFailure);
    std::string sent = received();
    EXPECT_EQ(std::count(sent.begin(), sent.end(), 'D'), 3);

    // Boot code 1.07: version text "1.7", blocks of 128 bytes.
    config = SimAtBootConfig();
    config.version = "1.07";
    boot = addBoot(5, config);
    ASSERT_EQ(flash(5, path), flsh_cSuccessful);
    EXPECT_STREQ(m_job.szBootCodeVersion, "1.7");
    ASSERT_EQ(boot.blocks().size(), 0x2000u / 128);
    expectImage(boot, image, 0);

    // Boot code 2.01 keeps blocks of 4096 bytes; a lower rate asked for is
    // kept.
    boot = addBoot(6);
    JobOptions options;
    options.nBaud = 19200;
    ASSERT_EQ(flash(6, path, options), flsh_cSuccessful);
    EXPECT_STREQ(m_job.szBootCodeVersion, "2.1");
    EXPECT_EQ(boot.blocks().front().second, 4096u);
    EXPECT_EQ(m_job.nBaud, 19200);
    EXPECT_EQ(boot.lineRate(), 19200u);
}

TEST_F(AtFlashTest, BootCodeOnlyAndHandshakeOnly)
{
    std::vector<HexChunk> image = {hex_Pattern(0x4000, 0x1200)};
    SimAtBootConfig config;
    config.bBootOnly = true;
    SimAtBoot boot = addBoot(3, config);
    JobOptions options;
    options.bBootCodeOnly = 1;
    options.nBaud = 38400;
    options.pszVersion = "9.9";
    std::string path = writeHex("image.hex", image);
    ASSERT_EQ(flash(3, path, options), flsh_cSuccessful) << log();
    expectImage(boot, image, 0);
    EXPECT_EQ(received().find("AT*FS\r"), std::string::npos);
    EXPECT_EQ(received().find("ATI1\r"), std::string::npos);
    EXPECT_STREQ(m_job.szBootCodeVersion, "9.9");
    EXPECT_EQ(m_job.nBaud, 38400);
    expectCleanedUp(3);

    // Handshake only: the file is neither opened nor sorted, nothing is
    // programmed, and the result is 0.
    boot = addBoot(4);
    options = JobOptions();
    options.bHandshakeOnly = 1;
    ASSERT_EQ(flash(4, m_dir.file("missing.hex"), options), flsh_cSuccessful);
    EXPECT_NE(received().find("ATI1\r"), std::string::npos);
    EXPECT_EQ(received().find("ATFLP"), std::string::npos);
    EXPECT_TRUE(boot.blocks().empty());
    EXPECT_STREQ(m_job.szBootCodeVersion, "2.1");
    expectCleanedUp(4);
}

TEST_F(AtFlashTest, BootSectorCommandsOnlyWhenTheBootCodeIsUpdated)
{
    std::string path = writeHex("image.hex", {hex_Pattern(0, 0x100)});
    addBoot(3);
    ASSERT_EQ(flash(3, path, withFlags(flsh_kSendDpOff | flsh_kSendN, 1)), flsh_cSuccessful);
    EXPECT_NE(received().find("ATDPOFF\rATN\r"), std::string::npos);
    addBoot(4);
    ASSERT_EQ(flash(4, path, withFlags(flsh_kSendDpOff | flsh_kSendN, 0)), flsh_cSuccessful);
    EXPECT_EQ(received().find("ATDPOFF"), std::string::npos);
    EXPECT_EQ(received().find("ATN\r"), std::string::npos);
}

TEST_F(AtFlashTest, CancellingStopsTheRunAsAbortedByUser)
{
    SimAtBoot boot = addBoot(3);
    DeleteFlashJob(&m_job);
    InitFlashJob(&m_job, comDevice(3).c_str(), 115200);
    m_hexPath = writeHex("image.hex", {hex_Pattern(0, 0x20000)});
    StartFlashJob(&m_job, m_hexPath.c_str(), 0, 0, 0, 0, 0);
    m_bStarted = true;
    for (int i = 0; i < 60000 && boot.blocks().size() < 4; ++i)
        usleep(1000);
    ASSERT_GE(boot.blocks().size(), 4u) << log();
    AbortAllJobs();
    ASSERT_EQ(waitResult(60000), flsh_cAborted);
    EXPECT_STREQ(GetResultText(&m_job), "Aborted by user");
    EXPECT_LT(boot.blocks().size(), 0x20000u / 4096);
    EXPECT_EQ(received().find("ATFLEND"), std::string::npos);
    expectCleanedUp(3);
}

TEST_F(AtFlashTest, EventsFollowTheRun)
{
    addBoot(3);
    std::string path = writeHex("image.hex", {hex_Pattern(0, 0x2000), hex_Pattern(0x8000, 0x80)});
    struct Event {
        int32_t nEvent, a;
        uint32_t b;
    };
    std::vector<Event> events;
    auto record = [](void* pContext, int32_t nEvent, int32_t a, uint32_t b) -> int32_t {
        static_cast<std::vector<Event>*>(pContext)->push_back(Event{nEvent, a, b});
        return 1;
    };
    int32_t nBaud = 57600;
    uint32_t nHighest = 0;
    char szVersion[flsh_kVersionSize] = "";
    ASSERT_EQ(AtFlsh_Program(comDevice(3).c_str(), path.c_str(), 0, 0, 1, &nBaud, &nHighest, szVersion, record,
                             &events, 0, 0, 0),
              flsh_cSuccessful);
    std::vector<int32_t> kinds;
    for (const Event& event : events) {
        if (kinds.empty() || kinds.back() != event.nEvent)
            kinds.push_back(event.nEvent);
    }
    EXPECT_EQ(kinds, (std::vector<int32_t>{14, 3, 4, 5, 6, 9}));
    auto find = [&](int32_t nEvent) {
        return *std::find_if(events.begin(), events.end(), [&](const Event& e) { return e.nEvent == nEvent; });
    };
    // Event 5 carries the rate in use (the percent field holds it until the
    // first block), the speed query reports 50, the end the last block.
    EXPECT_EQ(find(5).a, 57600);
    EXPECT_TRUE(std::any_of(events.begin(), events.end(), [](const Event& e) { return e.nEvent == 3 && e.a == 50; }));
    EXPECT_EQ(events.back().nEvent, 9);
    EXPECT_EQ(events.back().a, 100);
    EXPECT_EQ(events.back().b, 0x8000u);
    EXPECT_EQ(nHighest, 0x8000u);
    EXPECT_EQ(find(6).b, 0u);
    EXPECT_STREQ(szVersion, "2.1");
}

TEST_F(AtFlashTest, LucentAndRockwellFamiliesNeverGetAtCommands)
{
    // Lucent and Rockwell devices never get the AT protocol's commands.
    std::string path = writeHex("image.hex", {hex_Pattern(0, 0x100)});
    int nPort = 3;
    for (uint32_t nFlags : {flsh_kLucent, flsh_kRockwell, flsh_kLucent | flsh_kRockwell}) {
        addBoot(nPort);
        EXPECT_NE(flash(nPort, path, withFlags(nFlags)), -1);
        EXPECT_EQ(received().find("AT*FS"), std::string::npos);
        ++nPort;
    }
}

TEST_F(AtFlashTest, BootCodeListensAtItsRate)
{
    SimAtBoot boot = addBoot(3);
    openPort(3);
    ASSERT_EQ(urs_SetUart(&m_port, 19200, 8, 0, 0, 0), 0);
    ASSERT_EQ(urs_PutString(&m_port, "AT*FS\r"), 0);
    for (char c : std::string("AT*FS\r"))
        ASSERT_EQ(urs_GetCharTimed(&m_port, 1), c);
    // A probe at another rate is lost on the line ...
    ASSERT_EQ(urs_SetUart(&m_port, 38400, 8, 0, 0, 0), 0);
    ASSERT_EQ(urs_PutChar(&m_port, 'M'), 0);
    EXPECT_EQ(urs_GetCharTimed(&m_port, 1), -1);
    EXPECT_EQ(boot.rateErrors(), 1);
    // ... one at the boot code's rate wakes it.
    ASSERT_EQ(urs_SetUart(&m_port, 19200, 8, 0, 0, 0), 0);
    ASSERT_EQ(urs_PutChar(&m_port, 'M'), 0);
    EXPECT_EQ(urs_GetCharTimed(&m_port, 1), 'U');
    EXPECT_EQ(boot.lineRate(), 19200u);
}

TEST_F(AtFlashTest, IdentifiedModemIsFlashedThroughTheJobs)
{
    ModelDb_Clear();
    ASSERT_EQ(ModelDb_LoadFile(NORVANE_DATA_DIR "/Models.ini"), 0);
    // The boot code comes from the configuration key and writes the image
    // it was programmed with to a file.
    std::string devicePath = m_dir.file("device.hex");
    m_pDevice = addFamily(3, "atmodem", {{"atboot", "version=2.05 image=" + devicePath}});
    ASSERT_NE(m_pDevice, nullptr);

    DeleteFlashJob(&m_job);
    InitFlashJob(&m_job, comDevice(3).c_str(), 115200);
    ASSERT_EQ(StartIdentifyJob(&m_job), 1);
    m_bStarted = true;
    ASSERT_EQ(waitResult(60000), 0) << log();
    EXPECT_STREQ(m_job.info.szModel, "KV3360");
    EXPECT_STREQ(m_job.szStatus, "I 100");
    int32_t nId = 0;
    ASSERT_EQ(ModelDb_FindByName(m_job.info.szModel, &nId, nullptr), 1);
    uint32_t nFlags = ModelDb_FlagsById(nId);

    std::vector<HexChunk> image = sampleImage();
    m_hexPath = writeHex("KNGB0320.HEX", image, HexLayout{32, 0x8000, 17});
    StartFlashJob(&m_job, m_hexPath.c_str(), nFlags, 0, 1, 0, 0);
    ASSERT_EQ(waitResult(60000), flsh_cSuccessful) << log();
    EXPECT_STREQ(m_job.szBootCodeVersion, "2.5");
    // The model's flags ask for "ATN\r" when the boot code is updated.
    EXPECT_NE(m_pDevice->transcript().received().find("ATN\r"), std::string::npos);
    // The device writes its image once it has taken "ATFLEND\r".
    for (int i = 0; i < 2000 && m_dir.read("device.hex").empty(); ++i)
        usleep(1000);
    expectImage(hex_ParseText(m_dir.read("device.hex")), image, nFlags);
    expectCleanedUp(3);
    ModelDb_Clear();
}

TEST_F(AtFlashTest, RealTimeFlashAtTheLineRate)
{
    os_SetTimeScale(1);
    SimAtBoot boot = addBoot(3);
    std::vector<HexChunk> image = {hex_Pattern(0, 0x2000)};
    int64_t nStart = os_ClockMs();
    ASSERT_EQ(flash(3, writeHex("image.hex", image)), flsh_cSuccessful) << log();
    int64_t nElapsed = os_ClockMs() - nStart;
    expectImage(boot, image, 0);
    // Two settling pauses, the pauses around "AT*FS\r" and one probe come
    // to 4430 ms; two blocks at 115200 baud add about 0.7 s.
    EXPECT_GE(nElapsed, 4430 + 700);
    EXPECT_LT(nElapsed, 4430 + 700 + 1500);
}

}  // namespace
