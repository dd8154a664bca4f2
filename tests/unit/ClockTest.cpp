// The runtime clock: scaled sleeps and a clock that never jumps when the
// scale changes.
#include "EngineSource/OSWIN32.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

class ClockTest : public ::testing::Test {
protected:
    void SetUp() override { m_savedScale = os_TimeScale(); }
    void TearDown() override { os_SetTimeScale(m_savedScale); }

    double m_savedScale = 1;
};

int64_t realMsOf(void (*fn)())
{
    auto start = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

TEST_F(ClockTest, ScaledSleepLastsScaledWallTime)
{
    os_SetTimeScale(0.01);
    int64_t nStart = os_ClockMs();
    int64_t nReal = realMsOf([] { os_SleepMs(2000); });
    int64_t nElapsed = os_ClockMs() - nStart;
    EXPECT_GE(nReal, 19);
    EXPECT_LT(nReal, 1000);
    // The runtime clock saw the whole 2 seconds.
    EXPECT_GE(nElapsed, 2000);
    EXPECT_LT(nElapsed, 2000 + 100 * 100);
}

TEST_F(ClockTest, RealTimeSleepKeepsWallClockTime)
{
    os_SetTimeScale(1);
    int64_t nStart = os_ClockMs();
    int64_t nReal = realMsOf([] { os_SleepMs(200); });
    EXPECT_GE(nReal, 200);
    EXPECT_LT(nReal, 1000);
    EXPECT_GE(os_ClockMs() - nStart, 200);
}

TEST_F(ClockTest, ChangingScaleDoesNotMoveClock)
{
    os_SetTimeScale(1);
    int64_t nBefore = os_ClockMs();
    os_SetTimeScale(0.001);
    int64_t nAfter = os_ClockMs();
    EXPECT_GE(nAfter, nBefore);
    EXPECT_LT(nAfter - nBefore, 1000);
    os_SetTimeScale(1);
    EXPECT_GE(os_ClockMs(), nAfter);
}

TEST_F(ClockTest, RealMsRoundsUpAndIgnoresBadScales)
{
    os_SetTimeScale(0.01);
    EXPECT_EQ(os_RealMs(0), 0);
    EXPECT_EQ(os_RealMs(-5), 0);
    EXPECT_EQ(os_RealMs(1), 1);       // never rounds a positive time to 0
    EXPECT_EQ(os_RealMs(3500), 35);
    os_SetTimeScale(0);
    os_SetTimeScale(-1);
    EXPECT_DOUBLE_EQ(os_TimeScale(), 0.01);
}

}  // namespace
