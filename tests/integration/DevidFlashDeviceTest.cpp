// Flash identification of a simulated Lucent-based modem: devid_GetFlashId
// on an open port (both command variants, "RRFL" replies with and without
// size markers, the flash-information command and its refusal, replies too
// short for a code) and the stand-alone devid_ReadFlashId.
#include "EngineSource/devid.h"
#include "support/SimFixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <tuple>


namespace {

using DevidFlashDeviceTest = SimFixture;

int32_t countWaits(void* pArg, int32_t nStage)
{
    ++*static_cast<int*>(pArg);
    return nStage == 1 ? 1 : 0;
}

TEST_F(DevidFlashDeviceTest, GetFlashIdReadsEveryReplyShape)
{
    struct Case {
        SimSettings settings;    // the Lucent device's replies
        int32_t nStatus;         // expected status
        devid_FlashId flashId;   // size, type, code expected (from -1, -1, 0x5555)
        int32_t nVariant;        // command variant expected (from 7)
        const char* pszSent;     // what the device receives; null: not checked
    };
    const Case kCases[] = {
        // A size marker: the code is the four characters after it.
        {{{"reply.ATI5", "U 05 RRFL,40,12AB,"}}, 9, {64, 3, 0x12AB}, 0, "AAAAT\rAT\rAT&&F\rATE1\rATI5\r"},
        // No marker: the code is kept.
        {{{"reply.ATI5", "S 05 RRFL"}}, 9, {0, 2, 0x5555}, 0, "AAAAT\rAT\rAT&&F\rATE1\rATI5\r"},
        // Variant 1 asks AT&&WFL for the code before the marker.
        {{{"result.AT&&F", "ERROR"}, {"reply.ATI5", "C 2.30"}, {"reply.AT&&WFL", "00C7,10,"}}, 9, {16, 0, 0x00C7}, 1,
         "AAAAT\rAT\rAT&&F\rAT&&W\rATE1\rATI5\rAT&&WFL\r"},
        {{{"reply.ATI5", "I"}, {"reply.AT&&FFL", "00C7"}}, 9, {0, 1, 0}, 0, nullptr},
        // Both variants refused: the variant is left alone.
        {{{"result.AT&&F", "ERROR"}, {"result.AT&&W", "ERROR"}}, 8, {-1, -1, 0x5555}, 7, "AAAAT\rAT\rAT&&F\rAT&&W\r"},
        {{{"reply.ATI5", ""}, {"result.ATI5", "ERROR"}}, 8, {-1, -1, 0x5555}, 0, nullptr},
        {{{"silent", "1"}}, 8, {-1, -1, 0x5555}, 7, "AAAAT\rAT\r"},
        {{{"reply.ATI5", "P 05"}, {"reply.AT&&FFL", ""}, {"result.AT&&FFL", "ERROR"}}, 10, {0, 4, 0}, 0, nullptr},
        // A code cut short, or fewer than four characters before the
        // marker: the missing characters count 0.
        {{{"reply.ATI5", "U RRFL,40,1"}}, 9, {64, 3, 0x1000}, 0, nullptr},
        {{{"reply.ATI5", "U"}, {"reply.AT&&FFL", "C7,10,"}}, 9, {16, 3, 0x00C7}, 0, nullptr},
    };
    int nPort = 3;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.settings[0].first + "=" + c.settings[0].second);
        SimDevice* pDevice = addFamily(nPort, "lucent", c.settings);
        ASSERT_NE(pDevice, nullptr);
        urs_ClosePort(&m_port);
        openPort(nPort++, 38400);
        devid_FlashId flashId = {-1, -1, 0x5555};
        int32_t nVariant = 7;
        int nWaits = 0;
        EXPECT_EQ(devid_GetFlashId(&m_port, &flashId, 5, countWaits, &nWaits, &nVariant), c.nStatus);
        EXPECT_EQ(std::make_tuple(flashId.nSize, flashId.nType, flashId.nCode, nVariant),
                  std::make_tuple(c.flashId.nSize, c.flashId.nType, c.flashId.nCode, c.nVariant));
        EXPECT_GT(nWaits, 0);
        if (c.pszSent != nullptr) {
            EXPECT_EQ(pDevice->transcript().received(), c.pszSent);
        }
    }
}

// The stand-alone read works at 115200 baud without the pause of full
// identification: the answer comes at once. A missing port is status 1.
TEST_F(DevidFlashDeviceTest, ReadFlashIdWithoutPauseRealTime)
{
    os_SetTimeScale(1);
    SimDevice* pDevice = addFamily(3, "lucent");
    ASSERT_NE(pDevice, nullptr);
    devid_DeviceInfo info{};
    info.nFlashCmdVariant = 7;
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(devid_ReadFlashId(&info, comDevice(3).c_str()), 9);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1.0);
    EXPECT_EQ(info.nStatus, 9);
    EXPECT_EQ(info.flashId.nCode, 0x12AB);
    EXPECT_EQ(info.nFlashCmdVariant, 0);
    EXPECT_EQ(pDevice->hostBaud(), 115200u);
    EXPECT_EQ(devid_ReadFlashId(&info, comDevice(4).c_str()), 1);
}

}  // namespace
