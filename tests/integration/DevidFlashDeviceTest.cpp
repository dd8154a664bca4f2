// Flash identification of a simulated Lucent-based modem: devid_GetFlashId
// on an open port (both command variants, "RRFL" replies with and without
// size markers, the flash-information command and its refusal, replies too
// short for a code) and the stand-alone devid_ReadFlashId at 115200 baud.
#include "EngineSource/devid.h"
#include "support/SimFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <string>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class DevidFlashDeviceTest : public SimFixture {
protected:
    // Starts a Lucent device on COM3 with the settings, opens it at 38400
    // baud and runs devid_GetFlashId with 5-second time-outs.
    int32_t getFlashId(const SimSettings& settings)
    {
        m_pDevice = addFamily(3, "lucent", settings);
        if (m_pDevice == nullptr)
            return -1;
        openPort(3);
        EXPECT_EQ(urs_SetUart(&m_port, 38400, 8, 0, 0, 0), 0);
        return devid_GetFlashId(&m_port, &m_flashId, 5, countWaits, &m_nWaits, &m_nVariant);
    }

    static int32_t countWaits(void* pArg, int32_t nStage)
    {
        ++*static_cast<int*>(pArg);
        return nStage == 1 ? 1 : 0;
    }

    void expectFlashId(int32_t nSize, int32_t nType, uint16_t nCode)
    {
        EXPECT_EQ(m_flashId.nSize, nSize);
        EXPECT_EQ(m_flashId.nType, nType);
        EXPECT_EQ(m_flashId.nCode, nCode);
    }

    std::string received() const { return m_pDevice->transcript().received(); }

    SimDevice* m_pDevice = nullptr;
    devid_FlashId m_flashId = {-1, -1, 0x5555};
    int32_t m_nVariant = 7;
    int m_nWaits = 0;
};

TEST_F(DevidFlashDeviceTest, RrflWithSizeMarkerCarriesTheCodeAfterIt)
{
    EXPECT_EQ(getFlashId({{"reply.ATI5", "U 05 RRFL,40,12AB,"}}), 9);
    expectFlashId(64, 3, 0x12AB);
    EXPECT_EQ(m_nVariant, 0);
    EXPECT_GT(m_nWaits, 0);
    EXPECT_EQ(received(), "AAAAT\rAT\rAT&&F\rATE1\rATI5\r");
}

TEST_F(DevidFlashDeviceTest, RrflWithoutMarkerKeepsTheCode)
{
    EXPECT_EQ(getFlashId({{"reply.ATI5", "S 05 RRFL"}}), 9);
    expectFlashId(0, 2, 0x5555);
    EXPECT_EQ(received().find("FL\r"), std::string::npos);
}

TEST_F(DevidFlashDeviceTest, VariantOneAsksAtWwflForTheCodeBeforeTheMarker)
{
    EXPECT_EQ(getFlashId({{"result.AT&&F", "ERROR"}, {"reply.ATI5", "C 2.30"}, {"reply.AT&&WFL", "00C7,10,"}}), 9);
    expectFlashId(16, 0, 0x00C7);
    EXPECT_EQ(m_nVariant, 1);
    EXPECT_EQ(received(), "AAAAT\rAT\rAT&&F\rAT&&W\rATE1\rATI5\rAT&&WFL\r");
}

TEST_F(DevidFlashDeviceTest, FlashInformationWithoutMarkerIsSizeAndCodeZero)
{
    EXPECT_EQ(getFlashId({{"reply.ATI5", "I"}, {"reply.AT&&FFL", "00C7"}}), 9);
    expectFlashId(0, 1, 0);
    EXPECT_EQ(m_nVariant, 0);
    EXPECT_THAT(received(), HasSubstr("AT&&FFL\r"));
}

TEST_F(DevidFlashDeviceTest, BothVariantsRefusedIsStatusEightVariantUntouched)
{
    EXPECT_EQ(getFlashId({{"result.AT&&F", "ERROR"}, {"result.AT&&W", "ERROR"}}), 8);
    EXPECT_EQ(m_nVariant, 7);
    expectFlashId(-1, -1, 0x5555);
    EXPECT_EQ(received(), "AAAAT\rAT\rAT&&F\rAT&&W\r");
}

TEST_F(DevidFlashDeviceTest, NoAnswerToAtOrAti5IsStatusEight)
{
    EXPECT_EQ(getFlashId({{"reply.ATI5", ""}, {"result.ATI5", "ERROR"}}), 8);
    EXPECT_EQ(m_nVariant, 0);
    expectFlashId(-1, -1, 0x5555);

    urs_ClosePort(&m_port);
    m_ports.stopAll();
    takeLog();
    EXPECT_EQ(getFlashId({{"silent", "1"}}), 8);
    EXPECT_THAT(takeLog(), HasSubstr("]: Response \n\n"));
    EXPECT_EQ(received(), "AAAAT\rAT\r");
}

TEST_F(DevidFlashDeviceTest, RefusedFlashInformationIsStatusTen)
{
    EXPECT_EQ(getFlashId({{"reply.ATI5", "P 05"}, {"reply.AT&&FFL", ""}, {"result.AT&&FFL", "ERROR"}}), 10);
    expectFlashId(0, 4, 0);
}

// A code cut short by the end of the reply, or a marker with fewer than four
// characters before it: the missing characters count 0.
TEST_F(DevidFlashDeviceTest, CodeCutShortCountsMissingCharactersZero)
{
    EXPECT_EQ(getFlashId({{"reply.ATI5", "U RRFL,40,1"}}), 9);
    expectFlashId(64, 3, 0x1000);

    urs_ClosePort(&m_port);
    m_ports.stopAll();
    EXPECT_EQ(getFlashId({{"reply.ATI5", "U"}, {"reply.AT&&FFL", "C7,10,"}}), 9);
    expectFlashId(16, 3, 0x00C7);
}

TEST_F(DevidFlashDeviceTest, ReadFlashIdAt115200OrStatusOne)
{
    SimDevice* pDevice = m_ports.add(sim_DeviceConfig(3, "lucent"));
    ASSERT_NE(pDevice, nullptr);
    devid_DeviceInfo info{};
    info.nStatus = -1;
    info.nFlashCmdVariant = 7;
    EXPECT_EQ(devid_ReadFlashId(&info, comDevice(3).c_str()), 9);
    EXPECT_EQ(info.nStatus, 9);
    EXPECT_EQ(info.flashId.nSize, 64);
    EXPECT_EQ(info.flashId.nCode, 0x12AB);
    EXPECT_EQ(info.nFlashCmdVariant, 0);
    EXPECT_EQ(pDevice->hostBaud(), 115200u);
    EXPECT_THAT(log(), Not(HasSubstr("Model ")));

    EXPECT_EQ(devid_ReadFlashId(&info, comDevice(4).c_str()), 1);
    EXPECT_EQ(info.nStatus, 1);
}

// Without the pause of full identification the answer comes at once.
TEST_F(DevidFlashDeviceTest, ReadFlashIdWithoutPauseRealTime)
{
    os_SetTimeScale(1);
    ASSERT_NE(m_ports.add(sim_DeviceConfig(3, "lucent")), nullptr);
    devid_DeviceInfo info{};
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(devid_ReadFlashId(&info, comDevice(3).c_str()), 9);
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 1.0);
}

}  // namespace
