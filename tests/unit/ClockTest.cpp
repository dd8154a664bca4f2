// The runtime clock: scaled sleeps and a clock that never jumps when the
// scale changes.
#include "EngineSource/OSWIN32.h"

#include <gtest/gtest.h>

#include <chrono>
#include <utility>

namespace {

class ClockTest : public ::testing::Test {
protected:
    void SetUp() override { m_savedScale = os_TimeScale(); }
    void TearDown() override { os_SetTimeScale(m_savedScale); }

    // Real and runtime-clock milliseconds a sleep of nMs lasts.
    static std::pair<int64_t, int64_t> sleep(int32_t nMs)
    {
        auto start = std::chrono::steady_clock::now();
        int64_t nStart = os_ClockMs();
        os_SleepMs(nMs);
        int64_t nReal =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        return {nReal, os_ClockMs() - nStart};
    }

    double m_savedScale = 1;
};

TEST_F(ClockTest, ScaledSleepsRealMsAndScaleChanges)
{
    os_SetTimeScale(0.01);
    std::pair<int64_t, int64_t> slept = sleep(2000);
    EXPECT_GE(slept.first, 19);
    EXPECT_LT(slept.first, 1000);
    // The runtime clock saw the whole 2 seconds.
    EXPECT_GE(slept.second, 2000);
    EXPECT_LT(slept.second, 2000 + 100 * 100);

    EXPECT_EQ(os_RealMs(0) + os_RealMs(-5), 0);
    EXPECT_EQ(os_RealMs(1), 1);       // never rounds a positive time to 0
    EXPECT_EQ(os_RealMs(3500), 35);
    os_SetTimeScale(0);
    os_SetTimeScale(-1);
    EXPECT_DOUBLE_EQ(os_TimeScale(), 0.01);

    // Changing the scale does not move the clock.
    os_SetTimeScale(1);
    int64_t nBefore = os_ClockMs();
    os_SetTimeScale(0.001);
    int64_t nAfter = os_ClockMs();
    EXPECT_GE(nAfter, nBefore);
    EXPECT_LT(nAfter - nBefore, 1000);
    os_SetTimeScale(1);
    EXPECT_GE(os_ClockMs(), nAfter);
}

TEST_F(ClockTest, RealTimeSleepKeepsWallClockTime)
{
    os_SetTimeScale(1);
    std::pair<int64_t, int64_t> slept = sleep(200);
    EXPECT_GE(slept.first, 200);
    EXPECT_LT(slept.first, 1000);
    EXPECT_GE(slept.second, 200);
}

}  // namespace
