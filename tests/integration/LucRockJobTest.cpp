// Lucent and Rockwell devices flashed end to end through the job API: the
// controller flags choose the protocol (the Lucent bit first), the worker
// runs it with the job's identification block (flash type, command variant)
// and start mode, the job's status follows the progress, and a cancel
// reaches the workers of both protocols.
#include "EngineSource/FlashInfo.h"
#include "EngineSource/devid.h"
#include "EngineSource/devidFlashFile.h"
#include "sim/SimHexImage.h"
#include "sim/SimLucentLoader.h"
#include "sim/SimRockwellLoader.h"
#include "support/FlashRun.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class LucRockJobTest : public FlashFixture {
protected:
    void SetUp() override
    {
        FlashFixture::SetUp();
        ResetAbortFlag();
        for (FlashJob& job : m_jobs)
            InitFlashJob(&job, "", 115200);
    }

    void TearDown() override
    {
        AbortAllJobs();
        for (int i = 0; i < kJobs; ++i) {
            if (m_bStarted[i])
                waitJobResult(&m_jobs[i]);
        }
        ResetAbortFlag();
        for (FlashJob& job : m_jobs)
            DeleteFlashJob(&job);
        FlashFixture::TearDown();
    }

    // Points job n at COMn's device.
    FlashJob* job(int nIndex, int nPort)
    {
        FlashJob* pJob = &m_jobs[nIndex];
        DeleteFlashJob(pJob);
        InitFlashJob(pJob, comDevice(nPort).c_str(), 115200);
        return pJob;
    }

    // Starts a flash run of fw.hex on the job.
    void start(FlashJob* pJob, uint32_t nFlags, int32_t nStartMode)
    {
        m_bStarted[pJob - m_jobs] = true;
        StartFlashJob(pJob, "fw.hex", nFlags, 0, 0, 0, nStartMode);
    }

    static constexpr int kJobs = 2;
    FlashJob m_jobs[kJobs];                 // the jobs of a test
    bool m_bStarted[kJobs] = {};            // a worker was started on the job
};

TEST_F(LucRockJobTest, LucentDevicesAreFlashedBothWaysAtOnce)
{
    // COM3 holds its loader and takes the W commands; COM4 refuses the
    // flash-information command, so its loader is downloaded first.
    addFamily(3, "lucent", {{"result.AT&&F", "ERROR"}, {"lucentloader", "4.4"}});
    SimDeviceConfig started = m_config;
    addFamily(4, "lucent", {{"reply.ATI5", "U 05"}, {"result.AT&&FFL", "ERROR"}, {"lucentloader", "4.3"}});
    SimDeviceConfig downloaded = m_config;

    FlashJob* pStarted = job(0, 3);
    FlashJob* pDownloaded = job(1, 4);
    EXPECT_EQ(devid_ReadFlashId(&pStarted->info, pStarted->szPort), 9);
    EXPECT_EQ(devid_ReadFlashId(&pDownloaded->info, pDownloaded->szPort), 10);
    for (FlashJob* pJob : {pStarted, pDownloaded})
        devid_StartModeFromStatus(pJob, pJob->info.nStatus);
    // The downloaded loader is 4.3: the device's flash type must not be 3.
    pDownloaded->info.flashId.nType = 1;
    start(pStarted, ModelDb_kFlagLucent, pStarted->nStartMode);
    start(pDownloaded, ModelDb_kFlagLucent | ModelDb_kFlagRockwell, pDownloaded->nStartMode);
    EXPECT_EQ(waitJobResult(pStarted), flsh_cSuccessful);
    EXPECT_EQ(waitJobResult(pDownloaded), flsh_cSuccessful);

    // COM3's loader is started with the W command its identification chose.
    std::vector<std::string> firmware = wireLines(m_firmware);
    EXPECT_NE(m_ports.device(3)->transcript().received().find("AT&&WGO\r" + firmware[0]), std::string::npos);
    EXPECT_EQ(started.pLucent->firmwareLines(), firmware);
    EXPECT_EQ(downloaded.pLucent->loaderLines(), wireLines(m_loader, "at&&f"));
    EXPECT_EQ(downloaded.pLucent->firmwareLines(), firmware);
    EXPECT_STREQ(pStarted->szBootCodeVersion, "4.4");
    EXPECT_STREQ(pDownloaded->szBootCodeVersion, "4.3");
    int32_t nPercent = 0;
    char szText[flsh_kStatusTextSize];
    GetJobStatus(pDownloaded, &nPercent, szText, sizeof szText);
    EXPECT_EQ(std::to_string(nPercent) + " " + szText, "100 Programming Done");
}

TEST_F(LucRockJobTest, CancellingStopsBothProtocolsAtTheirNextReport)
{
    // Lucent: line 10 is answered late; the cancel comes while the worker
    // waits for it and takes effect at the next report. At half the real
    // time the 1.5 s of waiting leave the test 750 ms of real time to
    // cancel in, and the answer 250 ms before the line's 2-second limit.
    os_SetTimeScale(0.5);
    addFamily(3, "modem", {{"echo", "0"}, {"lucentloader", "4.4"}, {"lucentloader.line10", "ok@1500"}});
    SimDeviceConfig lucent = m_config;
    // Rockwell: a long firmware at 9600 baud, cancelled while it streams.
    writeFirmware(sim_MakeIntelHex(0, 24576, 32, 8));
    addFamily(4, "modem", {{"echo", "0"}, {"rockwellloader", "announce"}});
    SimDeviceConfig rockwell = m_config;
    FlashJob* pLucent = job(0, 3);
    FlashJob* pRockwell = job(1, 4);
    pRockwell->nBaud = 9600;
    start(pLucent, ModelDb_kFlagLucent, 0);
    start(pRockwell, ModelDb_kFlagRockwell, 0);

    // Only how long to wait at most for both to get there; a busy machine
    // may take long to reach the firmware.
    int64_t nEnd = os_ClockMs() + 120000;
    while ((lucent.pLucent->firmwareLines().size() < 10 || rockwell.pRockwell->firmwareLines().size() < 20) &&
           os_ClockMs() < nEnd)
        os_SleepMs(5);
    ASSERT_EQ(lucent.pLucent->firmwareLines().size(), 10u);
    AbortAllJobs();
    EXPECT_EQ(waitJobResult(pLucent), flsh_cAborted);
    EXPECT_EQ(waitJobResult(pRockwell), flsh_cAborted);
    EXPECT_EQ(lucent.pLucent->firmwareLines().size(), 10u);
    EXPECT_LT(rockwell.pRockwell->firmwareLines().size(), wireLines(m_firmware).size());
}

}  // namespace
