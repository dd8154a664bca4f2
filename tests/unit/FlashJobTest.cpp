// Flash jobs without a device: the job's initial state, the flash event
// table letter for letter, the repeat rule and the error counters, the abort
// answer, the identification stages, the result texts, status copies, and
// jobs whose worker cannot reach a port or cannot be started at all.
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

    FlashJob m_job;
};

TEST_F(FlashJobTest, StartsIdleWithBlankTexts)
{
    EXPECT_EQ(m_job.nEvent, -1);
    EXPECT_EQ(m_job.nPercent, 0);
    EXPECT_EQ(m_job.nVerifyErrors + m_job.nGoTimeouts + m_job.nHeaderErrors + m_job.nBlockErrors, 0);
    EXPECT_STREQ(m_job.szStatus, "     ");
    EXPECT_STREQ(m_job.info.szModel, "     ");
    EXPECT_STREQ(m_job.info.szVersion, "     ");
    EXPECT_STREQ(m_job.info.szCountry, "     ");
    EXPECT_STREQ(m_job.info.szSpecialBuild, "     ");
    EXPECT_STREQ(m_job.szPort, "\\\\.\\COM7");
    EXPECT_EQ(m_job.nBaud, 57600);
    EXPECT_EQ(GetResult(&m_job), -1);
    EXPECT_EQ(m_job.bHandshakeOnly + m_job.bUpdateBootCode + m_job.bBootCodeOnly + m_job.nStartMode, 0);
}

TEST_F(FlashJobTest, EventsSetStatusAndText)
{
    struct Row {
        int32_t nEvent, a;
        const char* pszStatus;
        const char* pszText;
    };
    const Row kRows[] = {
        {1, 3, "I    ", "Handshaking"},
        {2, 3, "R    ", " "},
        {3, 3, "H  03", "Handshaking"},
        {3, 50, "H  50", "Handshaking"},
        {4, 3, "H 100", "Handshaking Done"},
        {5, 38400, "P  00", "Programming"},
        {6, 7, "P  07", "Programming"},
        {6, 100, "P 100", "Programming"},
        {8, 42, "T  42", "Programming Timeout"},
        {9, 100, "P 100", "Programming Done"},
        {13, 5, "PL  05", "Programming FlashLdr.hex"},
        {13, 100, "PL 100", "Programming FlashLdr.hex"},
        {14, 37, "Sort", "Sorting File"},
    };
    for (const Row& row : kRows) {
        EXPECT_EQ(report(row.nEvent, row.a, 0x1234), 1);
        EXPECT_STREQ(m_job.szStatus, row.pszStatus) << row.nEvent << " " << row.a;
        EXPECT_STREQ(m_job.szStatusText, row.pszText) << row.nEvent << " " << row.a;
        EXPECT_EQ(m_job.nEvent, row.nEvent);
        EXPECT_EQ(m_job.nPercent, row.a);
        EXPECT_EQ(m_job.nEventData, 0x1234u);
    }
    // Events 0, 15 and above, and the counting events, store event, a and b
    // but leave both texts alone.
    for (int32_t nEvent : {0, 7, 10, 11, 12, 15, 99}) {
        report(nEvent, 61, 9);
        EXPECT_STREQ(m_job.szStatus, "Sort") << nEvent;
        EXPECT_STREQ(m_job.szStatusText, "Sorting File") << nEvent;
        EXPECT_EQ(m_job.nEvent, nEvent);
        EXPECT_EQ(m_job.nPercent, 61);
        EXPECT_EQ(m_job.nEventData, 9u);
    }
}

TEST_F(FlashJobTest, RepeatedReportsCountOnce)
{
    report(7, 0);
    report(7, 0);
    EXPECT_EQ(m_job.nVerifyErrors, 1);
    report(6, 40, 0x2000);
    report(7, 0);
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

TEST_F(FlashJobTest, AbortAnswersZeroUntilReset)
{
    report(6, 40, 0x2000);
    AbortAllJobs();
    EXPECT_EQ(report(6, 40, 0x2000), 0);
    EXPECT_EQ(report(6, 50, 0x3000), 0);
    EXPECT_STREQ(m_job.szStatus, "P  50");
    // Identification is never stopped by it.
    EXPECT_EQ(IdentifyProgress(&m_job, 2), 1);
    ResetAbortFlag();
    EXPECT_EQ(report(6, 50, 0x3000), 1);
}

TEST_F(FlashJobTest, IdentificationStagesSetTheStatusOnly)
{
    m_job.nEvent = -1;
    const char* const kStatus[] = {"M    ", "M  50", "M 100", "I    ", "I  50", "I 100"};
    snprintf(m_job.szStatusText, sizeof m_job.szStatusText, "mark");
    for (int32_t nStage = 0; nStage < 6; ++nStage) {
        EXPECT_EQ(IdentifyProgress(&m_job, nStage), 1);
        EXPECT_STREQ(m_job.szStatus, kStatus[nStage]);
        EXPECT_EQ(m_job.nEvent, nStage);
    }
    EXPECT_EQ(IdentifyProgress(&m_job, 6), 1);
    EXPECT_STREQ(m_job.szStatus, "I 100");
    EXPECT_EQ(m_job.nEvent, 6);
    EXPECT_STREQ(m_job.szStatusText, "mark");
    EXPECT_EQ(m_job.nPercent, 0);
}

TEST(FlashResultTextTest, EveryResultHasItsText)
{
    const char* const kTexts[] = {"Successful",
                                  "Handshake failure",
                                  "Aborted by user",
                                  "Bad .HEX file",
                                  "Failure to verify update",
                                  "Timeout updating device",
                                  "Unable to open .HEX file",
                                  "Unable to open port",
                                  "Incompatible sector sizes",
                                  "Incompatible types",
                                  "Wrong version for device",
                                  "Error sorting the .hex file",
                                  "Error trying to unprotect boot sector",
                                  "Error trying to get Flash Loader version"};
    for (int32_t i = 0; i < 14; ++i)
        EXPECT_STREQ(FlashResultText(i), kTexts[i]);
    for (int32_t nOther : {14, -1, 1000})
        EXPECT_STREQ(FlashResultText(nOther), "Unknown update error");
}

TEST_F(FlashJobTest, StatusCopiesAreCutToTheCallersArea)
{
    report(13, 64);
    int32_t nPercent = 0;
    char szText[8];
    GetJobStatus(&m_job, &nPercent, szText, sizeof szText);
    EXPECT_EQ(nPercent, 64);
    EXPECT_STREQ(szText, "Program");
    EXPECT_EQ(GetPercent(&m_job), 64);
}

// Waits (real time) until the job has a result.
int32_t waitResult(const FlashJob& job)
{
    for (int i = 0; i < 2000 && GetResult(&job) == -1; ++i)
        usleep(5000);
    return GetResult(&job);
}

TEST_F(FlashJobTest, AFlashJobOnAMissingPortEndsUnableToOpen)
{
    snprintf(m_job.szPort, sizeof m_job.szPort, "\\\\.\\/nonexistent/tty");
    report(9, 100);
    StartFlashJob(&m_job, "firmware.hex", 0, 0, 1, 0, 0);
    EXPECT_EQ(waitResult(m_job), flsh_cPortOpen);
    EXPECT_STREQ(GetResultText(&m_job), "Unable to open port");
    EXPECT_EQ(m_job.nFlags, 0u);
    EXPECT_STREQ(m_job.pszHexFile, "firmware.hex");
    EXPECT_EQ(m_job.bUpdateBootCode, 1);
    // The start blanked the status of the previous run.
    EXPECT_EQ(m_job.nEvent, 0);
    EXPECT_STREQ(m_job.szStatus, "     ");
    EXPECT_STREQ(m_job.szStatusText, "     ");
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
