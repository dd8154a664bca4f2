// Flash jobs without a device: the flash event table letter for letter, the
// repeat rule and the error counters, the abort answer, the identification
// stages, the result texts, status copies, and jobs whose worker cannot be
// started at all. Jobs on ports that cannot be opened are run by the flash
// protocol tests.
#include "EngineSource/FlashInfo.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace {

class FlashJobTest : public ::testing::Test {
protected:
    void SetUp() override { InitFlashJob(&m_job, "\\\\.\\COM7", 57600); }
    void TearDown() override
    {
        ResetAbortFlag();
        DeleteFlashJob(&m_job);
    }

    int32_t report(int32_t nEvent, int32_t a, uint32_t b = 0) { return FlashProgress(&m_job, nEvent, a, b); }

    // "status|text|event|percent|data" of the job.
    std::string state() const
    {
        return std::string(m_job.szStatus) + "|" + m_job.szStatusText + "|" + std::to_string(m_job.nEvent) + "|" +
               std::to_string(m_job.nPercent) + "|" + std::to_string(m_job.nEventData);
    }

    FlashJob m_job;
};

TEST_F(FlashJobTest, EventsSetStatusAndText)
{
    const std::pair<int32_t, const char*> kRows[] = {
        {1, "I    |Handshaking|1|3|9"},     {2, "R    | |2|3|9"},                         {3, "H  03|Handshaking|3|3|9"},
        {4, "H 100|Handshaking Done|4|3|9"}, {5, "P  00|Programming|5|3|9"},             {6, "P  03|Programming|6|3|9"},
        {8, "T  03|Programming Timeout|8|3|9"}, {9, "P 100|Programming Done|9|3|9"},     {14, "Sort|Sorting File|14|3|9"},
        {13, "PL  03|Programming FlashLdr.hex|13|3|9"},
    };
    for (const auto& row : kRows)
        EXPECT_TRUE(report(row.first, 3, 9) == 1 && state() == row.second) << state();
    report(13, 100);
    EXPECT_STREQ(m_job.szStatus, "PL 100");
    // Events 0, 15 and above, and the counting events, store event, a and b
    // but leave both texts alone.
    for (int32_t nEvent : {0, 7, 10, 11, 12, 15, 99}) {
        report(nEvent, 61, 9);
        EXPECT_EQ(state(), "PL 100|Programming FlashLdr.hex|" + std::to_string(nEvent) + "|61|9");
    }
}

TEST_F(FlashJobTest, RepeatedReportsCountOnce)
{
    for (int32_t nEvent : {7, 7, 6, 7})
        report(nEvent, nEvent == 6 ? 40 : 0, nEvent == 6 ? 0x2000 : 0);
    EXPECT_EQ(m_job.nVerifyErrors, 2);

    int32_t* const pCounters[] = {&m_job.nGoTimeouts, &m_job.nHeaderErrors, &m_job.nBlockErrors};
    for (int32_t i = 0; i < 3; ++i) {
        report(10 + i, 20, 0x100);
        report(10 + i, 20, 0x100);
        report(10 + i, 20, 0x180);
        EXPECT_EQ(*pCounters[i], 2) << 10 + i;
    }
    EXPECT_EQ(m_job.nVerifyErrors, 2);
}

TEST_F(FlashJobTest, AbortAnswersZeroUntilResetButNeverStopsIdentification)
{
    AbortAllJobs();
    EXPECT_EQ(report(6, 50, 0x3000), 0);
    EXPECT_STREQ(m_job.szStatus, "P  50");
    // Identification stages set the status only.
    const char* const kStatus[] = {"M    ", "M  50", "M 100", "I    ", "I  50", "I 100", "I 100"};
    for (int32_t nStage = 0; nStage < 7; ++nStage) {
        EXPECT_EQ(IdentifyProgress(&m_job, nStage), 1);
        EXPECT_EQ(state(), std::string(kStatus[nStage]) + "|Programming|" + std::to_string(nStage) + "|50|12288");
    }
    ResetAbortFlag();
    EXPECT_EQ(report(6, 50, 0x3000), 1);
}

TEST_F(FlashJobTest, ResultTextsAndStatusCopies)
{
    const char* const kTexts[] = {
        "Successful", "Handshake failure", "Aborted by user", "Bad .HEX file", "Failure to verify update",
        "Timeout updating device", "Unable to open .HEX file", "Unable to open port", "Incompatible sector sizes",
        "Incompatible types", "Wrong version for device", "Error sorting the .hex file",
        "Error trying to unprotect boot sector", "Error trying to get Flash Loader version"};
    for (int32_t i = 0; i < 14; ++i)
        EXPECT_STREQ(FlashResultText(i), kTexts[i]);
    for (int32_t nOther : {14, -1})
        EXPECT_STREQ(FlashResultText(nOther), "Unknown update error");

    // A copy of the status is cut to the caller's area.
    report(13, 64);
    int32_t nPercent = 0;
    char szText[8];
    GetJobStatus(&m_job, &nPercent, szText, sizeof szText);
    EXPECT_EQ(std::to_string(nPercent) + " " + szText + " " + std::to_string(GetPercent(&m_job)), "64 Program 64");
}

TEST(FlashJobStartTest, AWorkerThatCannotStartStillEndsTheJob)
{
    // A child process that gives up root and may own no further process or
    // thread: both kinds of job must end at once with a result.
    pid_t nChild = fork();
    ASSERT_GE(nChild, 0);
    if (nChild == 0) {
        FlashJob job;
        InitFlashJob(&job, "\\\\.\\COM1", 38400);
        rlimit limit = {0, 0};
        if (setrlimit(RLIMIT_NPROC, &limit) != 0 || setuid(65534) != 0)
            _exit(2);
        int nStarted = StartIdentifyJob(&job);
        int32_t nIdentify = GetResult(&job);
        StartFlashJob(&job, "firmware.hex", 0, 0, 0, 0, 0);
        int32_t nFlash = GetResult(&job);
        _exit(nStarted == 0 && nIdentify == 1 && job.info.nStatus == 1 && nFlash == flsh_cPortOpen ? 0 : 1);
    }
    int nStatus = 0;
    ASSERT_EQ(waitpid(nChild, &nStatus, 0), nChild);
    ASSERT_TRUE(WIFEXITED(nStatus));
    if (WEXITSTATUS(nStatus) == 2)
        GTEST_SKIP() << "needs root to drop to a user without processes";
    EXPECT_EQ(WEXITSTATUS(nStatus), 0);
}

}  // namespace
