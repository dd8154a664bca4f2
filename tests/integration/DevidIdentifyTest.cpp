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
#include <cstring>
#include <condition_variable>
#include <mutex>
#include <set>
#include <string>
#include <vector>

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class DevidIdentifyTest : public SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        ModelDb_Clear();
        ASSERT_EQ(ModelDb_LoadFile(NORVANE_DATA_DIR "/Models.ini"), 0);
        resetInfo();
    }

    void TearDown() override
    {
        ModelDb_Clear();
        SimFixture::TearDown();
    }

    // Fields filled with markers, so a field no step sets can be seen.
    void resetInfo()
    {
        m_info = devid_DeviceInfo{};
        for (char* pszField : {m_info.szModel, m_info.szVersion, m_info.szCountry, m_info.szSpecialBuild})
            gn_StrCopyN(pszField, "untouched", static_cast<int>(devid_kTextSize));
        m_info.flashId = devid_FlashId{-1, -1, 0x5555};
        m_info.nFlashCmdVariant = 7;
    }

    // Identifies COMn; the stages other than the waiting ones (1 and 4) are
    // recorded, the callback refuses those in m_refused.
    int32_t identify(int nPort)
    {
        m_stages.clear();
        int64_t nStart = os_ClockMs();
        int32_t nStatus = devid_Identify(&m_info, comDevice(nPort).c_str(), progress, this);
        m_nElapsedMs = os_ClockMs() - nStart;
        return nStatus;
    }

    // Model, version, country and special build, joined by "|".
    std::string texts() const
    {
        return std::string(m_info.szModel) + "|" + m_info.szVersion + "|" + m_info.szCountry + "|" +
               m_info.szSpecialBuild;
    }

    static int32_t progress(void* pArg, int32_t nStage)
    {
        auto* pTest = static_cast<DevidIdentifyTest*>(pArg);
        if (nStage == 1 || nStage == 4)
            ++pTest->m_nWaits;
        else
            pTest->m_stages.push_back(nStage);
        return pTest->m_refused.count(nStage) != 0 ? 0 : 1;
    }

    devid_DeviceInfo m_info;
    std::set<int32_t> m_refused;        // stages the callback refuses
    std::vector<int32_t> m_stages;      // stages 0, 2, 3, 5 in the order called
    int m_nWaits = 0;                   // calls with stages 1 and 4
    int64_t m_nElapsedMs = 0;           // runtime-clock time of the last identify
};

TEST_F(DevidIdentifyTest, AtModemFromItsAtiTextAfterThePause)
{
    SimDevice* pDevice = addFamily(3, "atmodem");
    takeLog();
    EXPECT_EQ(identify(3), 0);
    EXPECT_EQ(texts(), "KV3360|3.10|untouched|untouched");
    EXPECT_EQ(m_info.nFlashCmdVariant, 7);
    EXPECT_THAT(m_stages, ElementsAre(0, 2, 3, 5));
    EXPECT_GT(m_nWaits, 0);
    EXPECT_EQ(pDevice->transcript().received(), "AT\rATE1V1Q0\rATI\r");
    EXPECT_EQ(pDevice->hostBaud(), 38400u);
    // Nothing is sent before the 2-second pause is over.
    EXPECT_GE(m_nElapsedMs, 2000);
    std::string log = takeLog();
    EXPECT_THAT(log, HasSubstr("]: <COM3>  Model KV3360 Version 3.10  Country untouched, SpecialBuild untouched\n"));
    EXPECT_THAT(log, HasSubstr("]: Port closed\n"));
}

TEST_F(DevidIdentifyTest, AtModemAnsweringOnlyAti2AndAti1)
{
    SimDevice* pDevice =
        addFamily(3, "atmodem", {{"reply.ATI", "Modem"}, {"reply.ATI1", "3.12\\nChecksum 0000\\nPTT DANISH\\nPELLAM 2"}});
    takeLog();
    EXPECT_EQ(identify(3), 0);
    EXPECT_EQ(texts(), "KV3360|3.12|PTT DANISH|PELLAM 2");
    EXPECT_EQ(pDevice->transcript().received(), "AT\rATE1V1Q0\rATI\rATI2\rATI1\r");
    std::string log = takeLog();
    EXPECT_THAT(log, HasSubstr("]: [devid_GetVersion] return FALSE\n"));
    EXPECT_THAT(log, HasSubstr("]: <COM3>  Model KV3360 Version 3.12  Country PTT DANISH, SpecialBuild PELLAM 2\n"));
}

TEST_F(DevidIdentifyTest, ModelNotRecognisedIsStatusTwo)
{
    const SimSettings kCases[] = {
        {{"reply.ATI", "Modem"}, {"reply.ATI2", "Modem"}},
        // ATI2 without OK.
        {{"reply.ATI", "Modem"}, {"reply.ATI2", ""}, {"result.ATI2", "ERROR"}},
        // The name only in other letter case.
        {{"reply.ATI", "kv3360 Version 3.10"}, {"reply.ATI2", "kv3360"}},
        // ATI failing (a 0xFF byte) before naming a model.
        {{"raw.ATI", "\\r\\nData modem\\xFF"}, {"reply.ATI2", "Modem"}},
    };
    int nPort = 3;
    for (const SimSettings& settings : kCases) {
        addFamily(nPort, "atmodem", settings);
        resetInfo();
        EXPECT_EQ(identify(nPort), 2) << settings[1].second;
        EXPECT_STREQ(m_info.szModel, "untouched");
        EXPECT_THAT(m_stages, ElementsAre(0));
        ++nPort;
    }
    EXPECT_THAT(log(), HasSubstr("]: <COM6>  Model untouched Version untouched  Country untouched, SpecialBuild "
                                 "untouched\n"));
}

TEST_F(DevidIdentifyTest, VersionNotObtainedIsStatusThree)
{
    addFamily(3, "atmodem", {{"reply.ATI", "KV3360"}, {"reply.ATI1", ""}, {"result.ATI1", "ERROR"}});
    EXPECT_EQ(identify(3), 3);
    EXPECT_STREQ(m_info.szModel, "KV3360");
    EXPECT_THAT(m_stages, ElementsAre(0, 2, 3));

    // A Rockwell device whose ATI3 is refused still reads its country.
    resetInfo();
    SimDevice* pRockwell = addFamily(4, "rockwell", {{"reply.ATI3", ""}, {"result.ATI3", "ERROR"}});
    EXPECT_EQ(identify(4), 3);
    EXPECT_EQ(texts(), "RW3360|ERROR|NORTH AMERICAN|");
    EXPECT_THAT(pRockwell->transcript().received(), HasSubstr("ATI3\rATI5\r"));
}

TEST_F(DevidIdentifyTest, CallbackStopsAtStageZeroBothModelStagesOrStageFive)
{
    SimDevice* pDevice = addFamily(3, "lucent");
    m_refused = {0};
    EXPECT_EQ(identify(3), 4);
    EXPECT_THAT(m_stages, ElementsAre(0));
    EXPECT_EQ(m_nWaits, 0);
    EXPECT_EQ(pDevice->transcript().received(), "");

    m_refused = {2, 3};
    EXPECT_EQ(identify(3), 4);
    EXPECT_THAT(m_stages, ElementsAre(0, 2, 3));
    EXPECT_STREQ(m_info.szModel, "LV5600");
    EXPECT_STREQ(m_info.szVersion, "untouched");

    // One of the two model stages alone does not stop the sequence.
    for (int32_t nStage : {2, 3}) {
        resetInfo();
        m_refused = {nStage};
        EXPECT_EQ(identify(3), 9) << nStage;
        EXPECT_THAT(m_stages, ElementsAre(0, 2, 3, 5));
    }

    // Stage 5 stops after the version, before the family step.
    resetInfo();
    pDevice->transcript().clear();
    m_refused = {5};
    EXPECT_EQ(identify(3), 4);
    EXPECT_STREQ(m_info.szVersion, "1.23");
    EXPECT_STREQ(m_info.szCountry, "untouched");
    EXPECT_EQ(pDevice->transcript().received(), "AT\rATE1V1Q0\rATI\r");
}

TEST_F(DevidIdentifyTest, AtiFailingAfterTheModelIsStatusFiveUnlessAti2Answers)
{
    // A 0xFF byte ends the ATI exchange after the model and version.
    addFamily(3, "atmodem", {{"raw.ATI", "\\r\\nKV3360\\r\\nVersion 3.10\\r\\n\\xFF"}});
    EXPECT_EQ(identify(3), 5);
    EXPECT_EQ(texts(), "KV3360|3.10|untouched|untouched");

    resetInfo();
    SimDevice* pDevice = addFamily(4, "atmodem", {{"raw.ATI", "\\r\\nData modem\\r\\nVersion 3.11\\r\\n\\xFF"}});
    EXPECT_EQ(identify(4), 0);
    EXPECT_EQ(texts(), "KV3360|3.11|untouched|untouched");
    EXPECT_EQ(pDevice->transcript().received(), "AT\rATE1V1Q0\rATI\rATI2\r");
}

TEST_F(DevidIdentifyTest, TerminalAdaptersAreUniversalAndAskedAtPercentI)
{
    struct Case {
        SimSettings settings;
        int32_t nStatus;
        bool bAsked;    // "AT%I" was sent
    };
    const Case kCases[] = {
        {{}, 0, true},
        {{{"reply.AT%I", "3"}}, 7, true},
        {{{"reply.AT%I", ""}, {"result.AT%I", "ERROR"}}, 6, true},
        {{{"reply.ATI", "qbxhi-ta\\nVersion 1.01"}, {"reply.ATI2", "QBXHI-TA"}, {"reply.AT%I", "12"}}, 7, true},
        {{{"reply.ATI", "QBXTA128 Version 1.50"}, {"reply.AT%I", "5"}}, 0, false},
    };
    int nPort = 3;
    for (const Case& test : kCases) {
        SimDevice* pDevice = addFamily(nPort, "ta", test.settings);
        resetInfo();
        EXPECT_EQ(identify(nPort), test.nStatus) << nPort;
        EXPECT_STREQ(m_info.szCountry, "Universal");
        EXPECT_STREQ(m_info.szSpecialBuild, "untouched");
        EXPECT_EQ(pDevice->transcript().received().find("AT%I\r") != std::string::npos, test.bAsked) << nPort;
        ++nPort;
    }
}

TEST_F(DevidIdentifyTest, LucentDeviceGetsItsFlashIdentificationAndAti9Country)
{
    SimDevice* pDevice = addFamily(3, "lucent");
    takeLog();
    EXPECT_EQ(identify(3), 9);
    EXPECT_EQ(texts(), "LV5600|1.23|PTT HOLLAND|untouched");
    EXPECT_EQ(m_info.flashId.nSize, 64);
    EXPECT_EQ(m_info.flashId.nType, 3);
    EXPECT_EQ(m_info.flashId.nCode, 0x12AB);
    EXPECT_EQ(m_info.nFlashCmdVariant, 0);
    EXPECT_EQ(pDevice->transcript().received(),
              "AT\rATE1V1Q0\rATI\rAAAAT\rAT\rAT&&F\rATE1\rATI5\rATI9\r");
    EXPECT_THAT(takeLog(), HasSubstr("]: <COM3>  Model LV5600 Version 1.23  Country PTT HOLLAND, SpecialBuild "
                                     "untouched\n"));

    const std::pair<const char*, const char*> kCountries[] = {
        {"holland", "PTT HOLLAND"}, {"99", ""}, {"-1", "BULGARIA"}, {"16", "JAPAN"}};
    int nPort = 4;
    for (const auto& country : kCountries) {
        addFamily(nPort, "lucent", {{"reply.ATI9", country.first}});
        EXPECT_EQ(identify(nPort), 9) << country.first;
        EXPECT_STREQ(m_info.szCountry, country.second) << country.first;
        ++nPort;
    }
}

TEST_F(DevidIdentifyTest, LucentFlashIdentificationFailingOrRefused)
{
    addFamily(3, "lucent", {{"result.AT&&F", "ERROR"}, {"result.AT&&W", "ERROR"}});
    EXPECT_EQ(identify(3), 8);
    EXPECT_EQ(m_info.nFlashCmdVariant, 7);
    EXPECT_STREQ(m_info.szCountry, "PTT HOLLAND");

    resetInfo();
    addFamily(4, "lucent", {{"reply.ATI5", "U 05"}, {"reply.AT&&FFL", ""}, {"result.AT&&FFL", "ERROR"}});
    EXPECT_EQ(identify(4), 10);
    EXPECT_EQ(m_info.flashId.nSize, 0);
    EXPECT_EQ(m_info.flashId.nType, 3);
    EXPECT_EQ(m_info.flashId.nCode, 0);
    EXPECT_EQ(m_info.nFlashCmdVariant, 0);
}

TEST_F(DevidIdentifyTest, RockwellDeviceTakesTheAti3SuffixAndAti5Country)
{
    SimDevice* pDevice = addFamily(3, "rockwell");
    EXPECT_EQ(identify(3), 0);
    EXPECT_EQ(texts(), "RW3360-SP|2.17|NORTH AMERICAN|");
    EXPECT_EQ(pDevice->transcript().received(), "AT\rATE1V1Q0\rATI\rATI1\rATI3\rATI5\r");

    struct Case {
        const char* pszAti3;
        const char* pszAti5;
        const char* pszModel;
        const char* pszVersion;
        const char* pszCountry;
    };
    const std::string longSuffix = "-" + std::string(90, 'S');
    const Case kCases[] = {
        {"2.17", "43", "RW3360", "2.17", "JAPAN"},
        {"3.02-DX", "-1", "RW3360-DX", "3.02", "THAILAND"},
        {"-", "0", "RW3360-", "", ""},
        // A suffix longer than the field is cut where the model field ends.
        {longSuffix.c_str(), "22", nullptr, "", "NORTH AMERICAN"},
    };
    int nPort = 4;
    for (const Case& test : kCases) {
        addFamily(nPort, "rockwell", {{"reply.ATI3", test.pszAti3}, {"reply.ATI5", test.pszAti5}});
        resetInfo();
        EXPECT_EQ(identify(nPort), 0) << test.pszAti3;
        std::string model = test.pszModel != nullptr ? test.pszModel : ("RW3360" + longSuffix).substr(0, 80);
        EXPECT_EQ(m_info.szModel, model);
        EXPECT_STREQ(m_info.szVersion, test.pszVersion) << test.pszAti3;
        EXPECT_STREQ(m_info.szCountry, test.pszCountry) << test.pszAti3;
        ++nPort;
    }
}

// One detached worker per port, as the identification jobs run them.
struct Worker {
    devid_DeviceInfo info;              // filled by the worker
    std::string device;                 // "\\.\COMn"
    std::mutex* pLock;                  // guards *pnDone
    std::condition_variable* pEnded;    // signalled when a worker ends
    int* pnDone;                        // workers ended
};

uint32_t identifyWorker(void* pArg)
{
    Worker* pWorker = static_cast<Worker*>(pArg);
    devid_Identify(&pWorker->info, pWorker->device.c_str(), nullptr, nullptr);
    std::lock_guard<std::mutex> guard(*pWorker->pLock);
    ++*pWorker->pnDone;
    pWorker->pEnded->notify_one();
    return 0;
}

TEST_F(DevidIdentifyTest, FamiliesIdentifiedAtOnceInWorkerThreads)
{
    const char* const kFamilies[] = {"atmodem", "ta", "lucent", "rockwell"};
    const char* const kTexts[] = {"KV3360|3.10|PTT GERMAN|", "QBXHP-TA|2.05|Universal|",
                                  "LV5600|1.23|PTT HOLLAND|", "RW3360-SP|2.17|NORTH AMERICAN|"};
    const int32_t kStatus[] = {0, 0, 9, 0};
    std::mutex lock;
    std::condition_variable ended;
    int nDone = 0;
    std::vector<Worker> workers(4);
    for (int i = 0; i < 4; ++i) {
        // Versions from ATI1, so that every field is set.
        addFamily(3 + i, kFamilies[i], {{"reply.ATI", i == 3 ? "RW3360" : "Modem"}});
        workers[i] = Worker{devid_DeviceInfo{}, comDevice(3 + i), &lock, &ended, &nDone};
    }
    for (Worker& worker : workers) {
        os_Thread hThread = 0;
        ASSERT_EQ(os_CreateThread(&hThread, identifyWorker, 12000, &worker), 1);
    }
    std::unique_lock<std::mutex> guard(lock);
    ASSERT_TRUE(ended.wait_for(guard, std::chrono::seconds(20), [&nDone] { return nDone == 4; }));
    for (int i = 0; i < 4; ++i) {
        m_info = workers[i].info;
        EXPECT_EQ(m_info.nStatus, kStatus[i]) << kFamilies[i];
        EXPECT_EQ(texts(), kTexts[i]);
    }
    EXPECT_EQ(workers[2].info.flashId.nCode, 0x12AB);
}

TEST_F(DevidIdentifyTest, PortThatCannotBeOpenedIsStatusOne)
{
    takeLog();
    EXPECT_EQ(identify(9), 1);
    EXPECT_EQ(m_info.nStatus, 1);
    EXPECT_TRUE(m_stages.empty());
    EXPECT_EQ(m_nWaits, 0);
    EXPECT_STREQ(m_info.szModel, "untouched");
    EXPECT_THAT(takeLog(), Not(HasSubstr("Model untouched")));
}

TEST_F(DevidIdentifyTest, SilentPortIsStatusElevenAfterTwoTimeOuts)
{
    SimDevice* pDevice = addFamily(3, "atmodem", {{"silent", "1"}});
    // A field the caller left without its terminator ends at its last byte.
    memset(m_info.szSpecialBuild, 'x', sizeof m_info.szSpecialBuild);
    takeLog();
    EXPECT_EQ(identify(3), 11);
    EXPECT_EQ(m_info.nStatus, 11);
    EXPECT_GE(m_nElapsedMs, 12000);
    EXPECT_EQ(pDevice->transcript().received(), "AT\rATE1V1Q0\r");
    EXPECT_THAT(takeLog(), HasSubstr("]: <COM3>  Model untouched Version untouched  Country untouched, SpecialBuild " +
                                     std::string(devid_kTextSize - 1, 'x') + "\n"));
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
