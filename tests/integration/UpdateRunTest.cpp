// The update coordinator driving real worker threads against simulated
// devices, as the wizard pages drive it: a whole update of AT, Lucent and
// Rockwell devices on a few of COM1 to COM36; cancelling a running update;
// and the lifetime of records whose workers still run.
#include "wizard/UpdateCoordinator.h"

#include "model/ModelDb.h"
#include "sim/SimAtBoot.h"
#include "sim/SimLucentLoader.h"
#include "sim/SimRockwellLoader.h"
#include "support/FlashRun.h"
#include "support/HexWriter.h"
#include "support/ModelKeys.h"
#include "support/SimFixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

using ::testing::HasSubstr;

namespace {

// Most polls (one a runtime second) a test waits for the workers it
// started; the pages themselves give identification 20.
constexpr int kMaxTicks = 300;

// Time scale of the whole update: seven devices talk at once, and the
// shortest pauses and waits of identification and of the AT handshake (30 ms
// between the start command and the rate switch) must stay long enough in
// real time on a loaded machine; at 0.02 they shrink to a millisecond.
constexpr double kUpdateScale = 0.2;

class UpdateRunTest : public SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        ModelDb_Clear();
        ASSERT_EQ(ModelDb_LoadFile(NORVANE_DATA_DIR "/Models.ini"), 0);
        ResetAbortFlag();
        m_pChdir = std::make_unique<ScopedChdir>(m_dir.path());
        for (const char* pszLoader : {"FlashLdr.hex", "BPFL24.s37"})
            m_dir.write(pszLoader, dataFile(pszLoader));
    }

    void TearDown() override
    {
        m_pCoordinator.reset();
        ResetAbortFlag();
        m_pChdir.reset();
        ModelDb_Clear();
        SimFixture::TearDown();
    }

    // A coordinator watching COMnFirst to COMnLast.
    void watch(int nFirst, int nLast)
    {
        m_pCoordinator = std::make_unique<UpdateCoordinator>();
        for (int nPort = nFirst; nPort <= nLast; ++nPort)
            m_pCoordinator->AddDevice(comDevice(nPort).c_str(), 38400);
    }

    // Polls once a (runtime) second, as the pages do, until done() is true.
    template <class Done>
    static bool poll(Done done)
    {
        for (int nTick = 0; nTick < kMaxTicks; ++nTick) {
            os_SleepMs(1000);
            if (done())
                return true;
        }
        return false;
    }

    // Runs identification until every job has ended.
    bool identify()
    {
        m_pCoordinator->StartIdentification();
        return poll([this] { return m_pCoordinator->IdentificationDone(false); });
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
            size_t nFile = 0, nFiles = static_cast<size_t>(catalogue.GetCount());
            while (nFile < nFiles && !HexCatalogue::Fits(*catalogue.GetEntry(nFile), type))
                ++nFile;
            ASSERT_LT(nFile, nFiles) << type.name;
            HexFileEntry entry = catalogue.SelectEntry(nFile);
            for (size_t d = 0; d < static_cast<size_t>(m_pCoordinator->GetDeviceCount()); ++d) {
                if (ModelKey_Equals(m_pCoordinator->GetDevice(d)->key, type))
                    m_pCoordinator->AssignHexFile(d, entry);
            }
            ModelKeyList_MarkDone(&types, type);
        }
    }

    // The record on COMn, or null.
    const DeviceRecord* device(int nPort) const
    {
        for (size_t n = 0; n < static_cast<size_t>(m_pCoordinator->GetDeviceCount()); ++n) {
            if ("COM" + std::to_string(nPort) == m_pCoordinator->GetDevice(n)->PortName())
                return m_pCoordinator->GetDevice(n);
        }
        return nullptr;
    }

    std::unique_ptr<ScopedChdir> m_pChdir;               // the test's folder is the working folder
    std::unique_ptr<UpdateCoordinator> m_pCoordinator;   // the coordinator under test
};
// An AT modem's replies naming a model and version.
SimSettings named(const std::string& sModel, const std::string& sVersion, const std::string& sCountry)
{
    return {{"reply.ATI", sModel + " Data/Fax Modem\\nVersion " + sVersion},
            {"reply.ATI2", sModel},
            {"reply.ATI1", sVersion + "\\nChecksum 1234\\n" + sCountry + "\\n"}};
}

// A Lucent firmware image whose text names the flash part U (type 55),
// 64 KB sectors ("40") and the code 0x12AB at characters 65 to 72: the
// second record's data digits 11 to 18.
std::string lucentFirmware()
{
    HexChunk chunk = hex_Pattern(0, 0x180, 7);
    const uint8_t kHead[] = {0x0A, 0xB1, 0x25, 0x54, 0x00};
    std::copy(kHead, kHead + sizeof kHead, chunk.bytes.begin() + 0x15);
    return hex_Text({chunk});
}

TEST_F(UpdateRunTest, EveryFamilyIdentifiedChosenAndFlashed)
{
    // Two KV3360 of build 2 and a QBXHP-TA of build 3 (AT protocol), an
    // LV5600 of build 5 (Lucent), an RW3360-SP (Rockwell), a QBXTA128 for
    // which there is no file, a silent modem; every other port of COM1 to
    // COM36 is absent.
    os_SetTimeScale(kUpdateScale);
    SimAtBoot kv3, kv5, ta;
    addFamily(3, "atmodem", named("KV3360", "2.05", "PTT GERMAN"), &kv3);
    addFamily(5, "atmodem", named("KV3360", "2.11", "PTT BABT"), &kv5);
    addFamily(8, "ta", named("QBXHP-TA", "3.01", "UNIVERSAL"), &ta);
    addFamily(12, "lucent", {{"reply.ATI", "LV5600 V.90\\nVersion 5.10"}, {"lucentloader", "4.4"}});
    SimDeviceConfig lucent = m_config;
    addFamily(20, "rockwell", {{"rockwellloader", "announce"}});
    SimDeviceConfig rockwell = m_config;
    addFamily(25, "atmodem", named("QBXTA128", "1.02", "PTT GERMAN"));
    addFamily(30, "atmodem", {{"silent", "1"}});

    std::vector<HexChunk> kvImage = {hex_Pattern(0, 0x600, 1), hex_Pattern(0x4100, 0x80, 2)};
    std::vector<HexChunk> taImage = {hex_Pattern(0x1000, 0x300, 3)};
    m_dir.write("kngb0210.hex", hex_Text(kvImage));
    m_dir.write("TPDE0301.HEX", hex_Text(taImage, HexLayout{32, 0x10000, 5}));
    std::string lucentText = lucentFirmware();
    m_dir.write("LVGB0510.HEX", lucentText);
    std::string rockwellText = hex_Text({hex_Pattern(0x8000, 0x200, 9)});
    m_dir.write("RSQY17.HEX", rockwellText);
    m_dir.write("QAGB0310.OLD.HEX", hex_Text(kvImage));

    watch(1, 36);
    // KNGB0210, LVGB0510, RSQY17 with its PL and AE copies, TPDE0301.
    EXPECT_EQ(m_pCoordinator->FindHexFiles(0), 6);
    ASSERT_TRUE(identify()) << log();
    ASSERT_EQ(m_pCoordinator->GetDeviceCount(), 6) << log();
    EXPECT_EQ(device(30), nullptr);
    EXPECT_EQ(device(20)->key.name, "RW3360-SP") << log();

    m_pCoordinator->BuildDeviceTypes();
    std::string sNames;
    EXPECT_EQ(m_pCoordinator->RemoveTypesWithoutHexFiles(&sNames), 1);
    EXPECT_EQ(sNames, "QBXTA128 ");
    std::string types;
    for (const std::unique_ptr<ModelKey>& pType : m_pCoordinator->GetDeviceTypes().keys)
        types += ModelKey_DisplayName(*pType) + " x" + std::to_string(pType->count) + ", ";
    EXPECT_EQ(types, "KV3360 - Version 2.xx x2, QBXHP-TA - Version 3.xx x1, LV5600 - Version 5.xx x1, RW3360 x1, ");

    chooseEverything();
    m_pCoordinator->StartFlashing(0, false);
    int32_t nPercent = 0;    // as the progress page shows it
    std::string sText;
    ASSERT_TRUE(poll([&] { return m_pCoordinator->FlashingDone(&nPercent, &sText); })) << log();
    EXPECT_EQ(nPercent, 100);

    for (int nPort : {3, 5, 8, 12, 20}) {
        ASSERT_NE(device(nPort), nullptr) << nPort;
        EXPECT_STREQ(device(nPort)->GetFlashResultText(), "Successful") << nPort << "\n" << log();
    }
    // The device without a file was neither chosen nor touched.
    EXPECT_EQ(device(25)->bSelected, 0);
    EXPECT_EQ(GetResult(&device(25)->job), 0);

    // Each holds its file's bytes and 0xFF wherever a block covered no data.
    hex_ExpectImage(kv3.image(), kvImage);
    hex_ExpectImage(kv5.image(), kvImage);
    hex_ExpectImage(ta.image(), taImage);
    // COM12 holds the flash part the file names: its own loader is started.
    EXPECT_EQ(device(12)->job.nStartMode, 1);
    EXPECT_EQ(lucent.pLucent->firmwareLines(), wireLines(lucentText));
    EXPECT_EQ(rockwell.pRockwell->bootLines(), wireLines(dataFile("BPFL24.s37")));
    EXPECT_EQ(rockwell.pRockwell->firmwareLines(), wireLines(rockwellText));
    EXPECT_EQ(UpdateCoordinator::ParkedRecordCount(), 0u);
}

TEST_F(UpdateRunTest, PreparingALucentDeviceReadsItsFlashPartAndSetsTheStartMode)
{
    // Without identification (developers page): the Lucent model's flash
    // part is read from the device; an AT model's port is not touched.
    addFamily(3, "lucent");
    watch(3, 4);
    m_pCoordinator->AddHexFile("fw.hex");
    const HexFileEntry& entry = *m_pCoordinator->GetCatalogue().GetEntry(0);
    ModelKey lucentKey = test_KeyOf("LV5600", -1), atKey = test_KeyOf("KV3360", -1);
    ASSERT_EQ(m_pCoordinator->PrepareDevice(0, lucentKey, ModelKey_Flags(lucentKey), false, entry), 1);
    ASSERT_EQ(m_pCoordinator->PrepareDevice(1, atKey, ModelKey_Flags(atKey), true, entry), 1);
    const FlashJob& lucent = device(3)->job;
    EXPECT_EQ(std::to_string(lucent.info.flashId.nSize) + " " + std::to_string(lucent.info.flashId.nType) + " " +
                  std::to_string(lucent.info.flashId.nCode) + " " + std::to_string(lucent.nStartMode),
              "64 3 4779 1") << log();
    const DeviceRecord& at = *device(4);
    EXPECT_EQ(at.job.nStartMode, 0);
    EXPECT_EQ(at.job.info.flashId.nCode, 0);
    EXPECT_EQ(std::to_string(at.bSelected) + " " + std::to_string(at.bBootCode) + " " + at.hexFile.key.name + " " +
                  std::to_string(at.hexFile.selected),
              "1 1 KV3360 1");
    EXPECT_EQ(m_pCoordinator->PrepareDevice(2, atKey, 0, false, entry), 0);
}

TEST_F(UpdateRunTest, CancellingAnUpdateWaitsForEveryJobToStop)
{
    SimAtBoot kv3, kv4;
    addFamily(3, "atmodem", named("KV3360", "2.05", "PTT GERMAN"), &kv3);
    addFamily(4, "atmodem", named("KV3360", "2.05", "PTT GERMAN"), &kv4);
    m_dir.write("KNGB0210.HEX", hex_Text({hex_Pattern(0, 0x10000, 4)}));
    watch(3, 4);
    m_pCoordinator->FindHexFiles(0);
    ASSERT_TRUE(identify()) << log();
    m_pCoordinator->BuildDeviceTypes();
    chooseEverything();

    m_pCoordinator->StartFlashing(0, false);
    ASSERT_TRUE(m_pCoordinator->AnyWorkerRuns());
    m_pCoordinator->StopFlashing();
    EXPECT_FALSE(m_pCoordinator->AnyWorkerRuns());
    for (int nPort : {3, 4})
        EXPECT_STREQ(device(nPort)->GetFlashResultText(), "Aborted by user") << nPort;
}

TEST_F(UpdateRunTest, ARecordDroppedWhileItsWorkerRunsIsKeptUntilTheWorkerEnds)
{
    // A silent port: identification waits 2 s, then 5 s for an answer.
    addFamily(3, "atmodem", {{"silent", "1"}});
    watch(3, 3);
    m_pCoordinator->StartIdentification();
    const FlashJob* pJob = &m_pCoordinator->GetDevice(0)->job;

    // Called too early, it drops the record but may not free it.
    m_pCoordinator->FinishIdentification(false);
    EXPECT_EQ(m_pCoordinator->GetDeviceCount(), 0);
    EXPECT_EQ(UpdateCoordinator::ParkedRecordCount(), 1u);
    EXPECT_THAT(log(), HasSubstr("]: <COM3> Worker still running; record kept until it ends\n"));
    EXPECT_EQ(waitJobResult(pJob, kMaxTicks * 100), 11);
    // The next release frees it.
    m_pCoordinator->ReleaseDevices();
    EXPECT_EQ(UpdateCoordinator::ParkedRecordCount(), 0u);
}

TEST_F(UpdateRunTest, TheCoordinatorsEndWaitsForItsWorkers)
{
    addFamily(3, "atmodem", {{"silent", "1"}});
    addFamily(4, "atmodem", {{"late", "3000"}});
    watch(3, 4);
    m_pCoordinator->StartIdentification();
    // The silent port's identification took its pause and one time-out.
    EXPECT_GE(timedMs([this] { m_pCoordinator.reset(); }), 6000);
    EXPECT_EQ(UpdateCoordinator::ParkedRecordCount(), 0u);
    EXPECT_THAT(log(), HasSubstr("]: Workers still running at the end; stopping them\n"));
}

}  // namespace
