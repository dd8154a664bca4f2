// The update coordinator driving real worker threads against simulated
// devices, as the wizard pages drive it: a whole update of AT, Lucent and
// Rockwell devices on a few of COM1 to COM36; cancelling a running update;
// and the lifetime of records whose workers still run.
#include "wizard/UpdateCoordinator.h"

#include "model/ModelDb.h"
#include "sim/SimAtBoot.h"
#include "support/HexWriter.h"
#include "support/SimFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

// Longest real time a test waits for the workers it started.
constexpr int kRealLimitMs = 120000;

class UpdateRunTest : public SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        ModelDb_Clear();
        ASSERT_EQ(ModelDb_LoadFile(NORVANE_DATA_DIR "/Models.ini"), 0);
        ResetAbortFlag();
        m_pChdir = std::make_unique<ScopedChdir>(m_dir.path());
    }

    void TearDown() override
    {
        m_pCoordinator.reset();
        ResetAbortFlag();
        m_pChdir.reset();
        ModelDb_Clear();
        SimFixture::TearDown();
    }

    // The watched ports of a run without a port option.
    void watchAllPorts()
    {
        m_pCoordinator = std::make_unique<UpdateCoordinator>();
        for (int n = 1; n <= 36; ++n)
            m_pCoordinator->AddDevice(comDevice(n).c_str(), 38400);
    }

    // A device of the family on COMn with an AT boot code behind it.
    SimAtBoot addWithBoot(int nPort, const std::string& family, const SimSettings& settings)
    {
        SimAtBoot boot;
        SimDeviceConfig config = sim_DeviceConfig(nPort, family);
        boot.install(&config);
        add(&config, settings);
        return boot;
    }

    // Starts the device of config on its port after the settings.
    void add(SimDeviceConfig* pConfig, const SimSettings& settings)
    {
        std::string error;
        for (const auto& setting : settings)
            EXPECT_TRUE(sim_ApplySetting(pConfig, setting.first, setting.second, &error)) << error;
        EXPECT_NE(m_ports.add(*pConfig, &error), nullptr) << error;
    }

    // Polls as the detection page does, once a (runtime) second, until every
    // identification job has ended.
    bool identify()
    {
        m_pCoordinator->StartIdentification();
        for (int64_t nEnd = realNowMs() + kRealLimitMs; realNowMs() < nEnd;) {
            os_SleepMs(1000);
            if (m_pCoordinator->IdentificationDone(false))
                return true;
        }
        return false;
    }

    // Polls as the progress page does until every selected job has ended;
    // records each percent shown.
    bool flash()
    {
        m_pCoordinator->StartFlashing(0, false);
        for (int64_t nEnd = realNowMs() + kRealLimitMs; realNowMs() < nEnd;) {
            os_SleepMs(1000);
            int32_t nPercent = 0;
            std::string sText;
            bool bDone = m_pCoordinator->FlashingDone(&nPercent, &sText);
            m_shown.push_back(nPercent);
            if (bDone)
                return true;
        }
        return false;
    }

    // Chooses every device type, and per type, as the model page does, every
    // port of the type and the first file that fits it.
    void chooseEverything()
    {
        ModelKeyList& types = m_pCoordinator->GetDeviceTypes();
        for (size_t n = 0; n < types.keys.size(); ++n)
            ModelKey_Select(&types, n);
        m_pCoordinator->ApplyTypeSelection();
        HexCatalogue& catalogue = m_pCoordinator->GetCatalogue();
        while (const ModelKey* pNext = ModelKeyList_NextSelected(types)) {
            ModelKey type = *pNext;
            m_pCoordinator->DeselectType(type);
            for (int32_t n = 0; n < catalogue.GetCount(); ++n) {
                if (HexCatalogue::Fits(*catalogue.GetEntry(static_cast<size_t>(n)), type)) {
                    HexFileEntry entry = catalogue.SelectEntry(static_cast<size_t>(n));
                    for (int32_t d = 0; d < m_pCoordinator->GetDeviceCount(); ++d) {
                        if (ModelKey_Equals(m_pCoordinator->GetDevice(static_cast<size_t>(d))->key, type))
                            m_pCoordinator->AssignHexFile(static_cast<size_t>(d), entry);
                    }
                    break;
                }
            }
            EXPECT_EQ(catalogue.CountSelectedFitting(type), 1) << type.name;
            EXPECT_EQ(m_pCoordinator->CountSelectedDevices(type), m_pCoordinator->CountDevices(type)) << type.name;
            ModelKeyList_MarkDone(&types, type);
        }
    }

    // The record on COMn, or null.
    const DeviceRecord* device(int nPort) const
    {
        std::string sName = "COM" + std::to_string(nPort);
        for (int32_t n = 0; n < m_pCoordinator->GetDeviceCount(); ++n) {
            const DeviceRecord* pRecord = m_pCoordinator->GetDevice(static_cast<size_t>(n));
            if (sName == pRecord->PortName())
                return pRecord;
        }
        return nullptr;
    }

    // Real milliseconds for the test's own limits.
    static int64_t realNowMs()
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count();
    }

    // The device holds the image's bytes and 0xFF wherever a block covered
    // no data.
    static void expectImage(const SimAtBoot& boot, const std::vector<HexChunk>& chunks)
    {
        std::map<uint32_t, uint8_t> file = hex_Bytes(chunks);
        std::map<uint32_t, uint8_t> image = boot.image();
        size_t nWrong = 0;
        for (const auto& entry : file) {
            auto found = image.find(entry.first);
            nWrong += found == image.end() || found->second != entry.second ? 1 : 0;
        }
        for (const auto& entry : image)
            nWrong += file.count(entry.first) == 0 && entry.second != 0xFF ? 1 : 0;
        EXPECT_FALSE(image.empty());
        EXPECT_EQ(nWrong, 0u);
    }

    std::unique_ptr<ScopedChdir> m_pChdir;               // the test's folder is the working folder
    std::unique_ptr<UpdateCoordinator> m_pCoordinator;   // the coordinator under test
    std::vector<int32_t> m_shown;                        // percentages FlashingDone gave
};

// An AT modem's replies naming a model and version.
SimSettings named(const std::string& sModel, const std::string& sVersion, const std::string& sCountry)
{
    return {{"reply.ATI", sModel + " Data/Fax Modem\\nVersion " + sVersion},
            {"reply.ATI2", sModel},
            {"reply.ATI1", sVersion + "\\nChecksum 1234\\n" + sCountry + "\\n"}};
}

TEST_F(UpdateRunTest, CancellingAnUpdateWaitsForEveryJobToStop)
{
    SimAtBoot kv3 = addWithBoot(3, "atmodem", named("KV3360", "2.05", "PTT GERMAN"));
    SimAtBoot kv4 = addWithBoot(4, "atmodem", named("KV3360", "2.05", "PTT GERMAN"));
    m_dir.write("KNGB0210.HEX", hex_Text({hex_Pattern(0, 0x10000, 4)}));
    m_pCoordinator = std::make_unique<UpdateCoordinator>();
    m_pCoordinator->AddDevice(comDevice(3).c_str(), 38400);
    m_pCoordinator->AddDevice(comDevice(4).c_str(), 38400);
    m_pCoordinator->FindHexFiles(0);
    ASSERT_TRUE(identify()) << log();
    m_pCoordinator->BuildDeviceTypes();
    chooseEverything();

    m_pCoordinator->StartFlashing(0, false);
    ASSERT_TRUE(m_pCoordinator->AnyWorkerRuns());
    m_pCoordinator->StopFlashing();
    EXPECT_FALSE(m_pCoordinator->AnyWorkerRuns());
    for (int nPort : {3, 4})
        EXPECT_STREQ(GetResultText(&device(nPort)->job), "Aborted by user") << nPort;
    int32_t nPercent = 0;
    std::string sText;
    EXPECT_TRUE(m_pCoordinator->FlashingDone(&nPercent, &sText));
}

TEST_F(UpdateRunTest, ARecordDroppedWhileItsWorkerRunsIsKeptUntilTheWorkerEnds)
{
    // A silent port: identification waits 2 s, then 5 s for an answer.
    SimDeviceConfig silent = sim_DeviceConfig(3, "atmodem");
    add(&silent, {{"silent", "1"}});
    m_pCoordinator = std::make_unique<UpdateCoordinator>();
    m_pCoordinator->AddDevice(comDevice(3).c_str(), 38400);
    m_pCoordinator->StartIdentification();
    const FlashJob* pJob = &m_pCoordinator->GetDevice(0)->job;

    // Called too early, it drops the record but may not free it.
    m_pCoordinator->FinishIdentification(false);
    EXPECT_EQ(m_pCoordinator->GetDeviceCount(), 0);
    EXPECT_EQ(UpdateCoordinator::ParkedRecordCount(), 1u);
    EXPECT_THAT(log(), HasSubstr("]: <COM3> Worker still running; record kept until it ends\n"));
    for (int i = 0; i < kRealLimitMs && GetResult(pJob) == -1; ++i)
        usleep(1000);
    EXPECT_EQ(GetResult(pJob), 11);
    // The next release frees it.
    m_pCoordinator->ReleaseDevices();
    EXPECT_EQ(UpdateCoordinator::ParkedRecordCount(), 0u);
}

TEST_F(UpdateRunTest, TheCoordinatorsEndWaitsForItsWorkers)
{
    SimDeviceConfig silent = sim_DeviceConfig(3, "atmodem");
    add(&silent, {{"silent", "1"}});
    SimDeviceConfig late = sim_DeviceConfig(4, "atmodem");
    add(&late, {{"late", "3000"}});
    auto pCoordinator = std::make_unique<UpdateCoordinator>();
    pCoordinator->AddDevice(comDevice(3).c_str(), 38400);
    pCoordinator->AddDevice(comDevice(4).c_str(), 38400);
    pCoordinator->StartIdentification();
    int64_t nStart = os_ClockMs();
    pCoordinator.reset();
    // The silent port's identification took its pause and one time-out.
    EXPECT_GE(os_ClockMs() - nStart, 6000);
    EXPECT_EQ(UpdateCoordinator::ParkedRecordCount(), 0u);
    EXPECT_THAT(log(), HasSubstr("]: Workers still running at the end; stopping them\n"));
}

}  // namespace
