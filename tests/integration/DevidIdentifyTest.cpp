// Identification end to end through devid_Identify against the simulated
// families (atmodem, ta, lucent, rockwell) and a silent port: every status
// code, the family steps, the progress stages, the countries, the summary
// line in the debug log and the commands each device received.
#include "EngineSource/devid.h"
#include "model/ModelDb.h"
#include "support/SimFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class DevidIdentifyTest : public SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        // Every command waits 5 s for its reply.
        os_SetTimeScale(scaleFor(5000));
        ModelDb_Clear();
        ASSERT_EQ(ModelDb_LoadFile(NORVANE_DATA_DIR "/Models.ini"), 0);
    }

    void TearDown() override
    {
        ModelDb_Clear();
        SimFixture::TearDown();
    }

    // Identifies COMn with every field filled with markers first, so a field
    // no step sets can be seen. Stages other than the waiting ones (1 and 4)
    // are recorded as digits; the callback refuses those in m_refused.
    int32_t identify(int nPort)
    {
        m_info = devid_DeviceInfo{};
        for (char* pszField : {m_info.szModel, m_info.szVersion, m_info.szCountry, m_info.szSpecialBuild})
            gn_StrCopyN(pszField, "untouched", static_cast<int>(devid_kTextSize));
        m_info.flashId = devid_FlashId{-1, -1, 0x5555};
        m_info.nFlashCmdVariant = 7;
        m_stages.clear();
        int32_t nStatus = 0;
        m_nElapsedMs = timedMs([&] { nStatus = devid_Identify(&m_info, comDevice(nPort).c_str(), progress, this); });
        EXPECT_EQ(m_info.nStatus, nStatus);
        return nStatus;
    }

    // Model|version|country|special build|flash size,type,code|variant.
    std::string texts() const
    {
        char szFlash[40];
        snprintf(szFlash, sizeof szFlash, "%d,%d,%04x|%d", m_info.flashId.nSize, m_info.flashId.nType,
                 m_info.flashId.nCode, m_info.nFlashCmdVariant);
        return std::string(m_info.szModel) + "|" + m_info.szVersion + "|" + m_info.szCountry + "|" +
               m_info.szSpecialBuild + "|" + szFlash;
    }

    static int32_t progress(void* pArg, int32_t nStage)
    {
        auto* pTest = static_cast<DevidIdentifyTest*>(pArg);
        if (nStage != 1 && nStage != 4)
            pTest->m_stages += std::to_string(nStage);
        return pTest->m_refused.count(nStage) != 0 ? 0 : 1;
    }

    devid_DeviceInfo m_info;
    std::set<int32_t> m_refused;   // stages the callback refuses
    std::string m_stages;          // stages 0, 2, 3, 5 in the order called
    int64_t m_nElapsedMs = 0;      // runtime-clock time of the last identify
};

TEST_F(DevidIdentifyTest, EveryStatusAndFamilyStep)
{
    struct Case {
        const char* pszFamily;
        SimSettings settings;
        int32_t nStatus;
        const char* pszStages;
        std::string texts;          // as texts() gives them
        const char* pszCommands;    // what the device received
    };
    const std::string kUntouched = "-1,-1,5555|7";
    const Case kCases[] = {
        {"atmodem", {}, 0, "0235", "KV3360|3.10|untouched|untouched|" + kUntouched, "AT\rATE1V1Q0\rATI\r"},
        // Model from ATI2, version and country from the ATI1 fields.
        {"atmodem",
         {{"reply.ATI", "Modem"}, {"reply.ATI1", "3.12\\nChecksum 0000\\nPTT DANISH\\nPELLAM 2"}},
         0, "0235", "KV3360|3.12|PTT DANISH|PELLAM 2|" + kUntouched, "AT\rATE1V1Q0\rATI\rATI2\rATI1\r"},
        // No model in ATI (failing on a 0xFF byte) or ATI2, or ATI2 refused.
        {"atmodem", {{"reply.ATI", "Modem"}, {"reply.ATI2", ""}, {"result.ATI2", "ERROR"}}, 2, "0",
         "untouched|untouched|untouched|untouched|" + kUntouched, "AT\rATE1V1Q0\rATI\rATI2\r"},
        // No version: ATI1 refused.
        {"atmodem", {{"reply.ATI", "KV3360"}, {"reply.ATI1", ""}, {"result.ATI1", "ERROR"}}, 3, "023",
         "KV3360|ERROR|untouched|untouched|" + kUntouched, "AT\rATE1V1Q0\rATI\rATI1\r"},
        // Bytes 0xFF, 0xFC and 0x80 to 0xFE in a reply are bytes: they end
        // nothing and change no field.
        {"atmodem", {{"raw.ATI", "\\r\\nKV3360\\r\\nVersion 3.10\\r\\n\\xFF\\xFC\\x80\\xFE\\r\\n\\r\\nOK\\r\\n"}}, 0, "0235",
         "KV3360|3.10|untouched|untouched|" + kUntouched, "AT\rATE1V1Q0\rATI\r"},
        {"atmodem", {{"raw.ATI", "\\r\\nData modem\\r\\nVersion 3.11\\r\\n\\xFF\\r\\n\\r\\nOK\\r\\n"}}, 0, "0235",
         "KV3360|3.11|untouched|untouched|" + kUntouched, "AT\rATE1V1Q0\rATI\rATI2\r"},
        // Terminal adapters are Universal; the QBXHP-TA and QBXHI-TA are
        // asked AT%I.
        {"ta", {}, 0, "0235", "QBXHP-TA|2.05|Universal|untouched|" + kUntouched,
         "AT\rATE1V1Q0\rATI\rAT%I\r"},
        {"ta", {{"reply.AT%I", ""}, {"result.AT%I", "ERROR"}}, 6, "0235",
         "QBXHP-TA|2.05|Universal|untouched|" + kUntouched, "AT\rATE1V1Q0\rATI\rAT%I\r"},
        {"ta", {{"reply.ATI", "qbxhi-ta\\nVersion 1.01"}, {"reply.ATI2", "QBXHI-TA"}, {"reply.AT%I", "12"}}, 7,
         "0235", "QBXHI-TA|1.01|Universal|untouched|" + kUntouched, "AT\rATE1V1Q0\rATI\rATI2\rAT%I\r"},
        // Lucent: flash identification, then the ATI9 country by number or name.
        {"lucent", {}, 9, "0235", "LV5600|1.23|PTT HOLLAND|untouched|64,3,12ab|0",
         "AT\rATE1V1Q0\rATI\rAAAAT\rAT\rAT&&F\rATE1\rATI5\rATI9\r"},
        {"lucent", {{"result.AT&&F", "ERROR"}, {"result.AT&&W", "ERROR"}, {"reply.ATI9", "99"}}, 8, "0235",
         "LV5600|1.23||untouched|-1,-1,5555|7", "AT\rATE1V1Q0\rATI\rAAAAT\rAT\rAT&&F\rAT&&W\rATI9\r"},
        {"lucent", {{"reply.ATI5", "U 05"}, {"reply.AT&&FFL", ""}, {"result.AT&&FFL", "ERROR"}}, 10, "0235",
         "LV5600|1.23|PTT HOLLAND|untouched|0,3,0000|0",
         "AT\rATE1V1Q0\rATI\rAAAAT\rAT\rAT&&F\rATE1\rATI5\rAT&&FFL\rATI9\r"},
        // Rockwell: the ATI3 suffix joins the model, ATI5 gives the country.
        {"rockwell", {}, 0, "0235", "RW3360-SP|2.17|NORTH AMERICAN||" + kUntouched,
         "AT\rATE1V1Q0\rATI\rATI1\rATI3\rATI5\r"},
        // An ATI3 reply without "-" leaves the model and is the version.
        {"rockwell", {{"reply.ATI3", "2.17"}, {"reply.ATI5", "43"}}, 0, "0235",
         "RW3360|2.17|JAPAN||" + kUntouched, "AT\rATE1V1Q0\rATI\rATI1\rATI3\rATI5\r"},
    };
    int nPort = 3;
    for (const Case& test : kCases) {
        SCOPED_TRACE(test.texts);
        SimDevice* pDevice = addFamily(nPort, test.pszFamily, test.settings);
        takeLog();
        EXPECT_EQ(identify(nPort), test.nStatus);
        EXPECT_EQ(m_stages, test.pszStages);
        EXPECT_EQ(texts(), test.texts);
        // The device has read all the host wrote once it sees the port closed.
        EXPECT_TRUE(pDevice->transcript().waitEvent("host closed the port", 20000));
        EXPECT_EQ(pDevice->transcript().received(), test.pszCommands);
        EXPECT_EQ(pDevice->hostBaud(), 38400u);
        // Nothing is sent before the 2-second pause is over.
        EXPECT_GE(m_nElapsedMs, 2000);
        EXPECT_THAT(takeLog(), HasSubstr("]: <COM" + std::to_string(nPort) + ">  Model " + m_info.szModel +
                                         " Version " + m_info.szVersion + "  Country " + m_info.szCountry +
                                         ", SpecialBuild " + m_info.szSpecialBuild + "\n"));
        ++nPort;
    }
}

TEST_F(DevidIdentifyTest, CallbackStopsAtStageZeroBothModelStagesOrStageFive)
{
    SimDevice* pDevice = addFamily(3, "lucent");
    m_refused = {0};
    EXPECT_EQ(identify(3), 4);
    EXPECT_EQ(m_stages + pDevice->transcript().received(), "0");

    m_refused = {2, 3};
    EXPECT_EQ(identify(3), 4);
    EXPECT_EQ(m_stages, "023");
    EXPECT_STREQ(m_info.szModel, "LV5600");
    EXPECT_STREQ(m_info.szVersion, "untouched");

    // Stage 5 stops after the version, before the family step.
    pDevice->transcript().clear();
    m_refused = {5};
    EXPECT_EQ(identify(3), 4);
    EXPECT_STREQ(m_info.szVersion, "1.23");
    EXPECT_STREQ(m_info.szCountry, "untouched");
    EXPECT_EQ(pDevice->transcript().received(), "AT\rATE1V1Q0\rATI\r");
}

TEST_F(DevidIdentifyTest, MissingPortIsStatusOneSilentPortElevenAfterTwoTimeOuts)
{
    EXPECT_EQ(identify(9), 1);
    EXPECT_EQ(m_stages, "");
    EXPECT_THAT(takeLog(), Not(HasSubstr("Model untouched")));

    SimDevice* pDevice = addFamily(3, "atmodem", {{"silent", "1"}});
    // A field the caller left without its terminator ends at its last byte.
    m_info = devid_DeviceInfo{};
    memset(m_info.szSpecialBuild, 'x', sizeof m_info.szSpecialBuild);
    EXPECT_GE(timedMs([this] { EXPECT_EQ(devid_Identify(&m_info, comDevice(3).c_str(), nullptr, nullptr), 11); }),
              12000);
    EXPECT_EQ(pDevice->transcript().received(), "AT\rATE1V1Q0\r");
    EXPECT_THAT(takeLog(), HasSubstr(" SpecialBuild " + std::string(devid_kTextSize - 1, 'x') + "\n"));
}

TEST_F(DevidIdentifyTest, SilentPortRealTime)
{
    os_SetTimeScale(1);
    addFamily(3, "atmodem", {{"silent", "1"}});
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(identify(3), 11);
    double dSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(dSeconds, 12.0);
    EXPECT_LT(dSeconds, 13.0);
}

}  // namespace
