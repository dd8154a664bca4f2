// The update coordinator without worker threads: identification answers
// are written into the records' jobs as a finished identification leaves
// them, and flash progress as the progress callback leaves it.
#include "wizard/UpdateCoordinator.h"

#include "EngineSource/dbg.h"
#include "EngineSource/devidCountry.h"
#include "model/ModelDb.h"
#include "support/ModelKeys.h"
#include "support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using ::testing::ElementsAre;
using ::testing::HasSubstr;

namespace {

// What identification found on one port.
struct Answer {
    int32_t nStatus;
    const char* pszModel;
    const char* pszVersion;
    const char* pszCountry = "";
    const char* pszSpecialBuild = "";
};

class UpdateCoordinatorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ModelDb_Clear();
        ASSERT_EQ(ModelDb_LoadFile(NORVANE_DATA_DIR "/Models.ini"), 0);
    }
    void TearDown() override { ModelDb_Clear(); }

    // One record per answer on COM1, COM2, ... with the answer stored as a
    // finished identification job stores it.
    void identified(const std::vector<Answer>& answers)
    {
        for (const Answer& answer : answers) {
            std::string sDevice = "\\\\.\\COM" + std::to_string(m_coordinator.GetDeviceCount() + 1);
            m_coordinator.AddDevice(sDevice.c_str(), 38400);
            devid_DeviceInfo& info = lastRecord().job.info;
            info.nStatus = answer.nStatus;
            gn_StrCopyN(info.szModel, answer.pszModel, sizeof info.szModel);
            gn_StrCopyN(info.szVersion, answer.pszVersion, sizeof info.szVersion);
            gn_StrCopyN(info.szCountry, answer.pszCountry, sizeof info.szCountry);
            gn_StrCopyN(info.szSpecialBuild, answer.pszSpecialBuild, sizeof info.szSpecialBuild);
            lastRecord().job.nResult = answer.nStatus;
        }
    }

    DeviceRecord& lastRecord() { return *m_coordinator.GetDevice(static_cast<size_t>(m_coordinator.GetDeviceCount() - 1)); }
    DeviceRecord& record(size_t n) { return *m_coordinator.GetDevice(n); }

    // The port names of the records, in order.
    std::vector<std::string> ports() const
    {
        std::vector<std::string> result;
        for (int32_t n = 0; n < m_coordinator.GetDeviceCount(); ++n)
            result.push_back(m_coordinator.GetDevice(static_cast<size_t>(n))->PortName());
        return result;
    }

    // "name/build/count" of each device type, in order.
    std::vector<std::string> types() const
    {
        std::vector<std::string> result;
        for (const std::unique_ptr<ModelKey>& pType : m_coordinator.GetDeviceTypes().keys)
            result.push_back(pType->name + "/" + std::to_string(pType->build) + "/" + std::to_string(pType->count));
        return result;
    }

    static HexFileEntry entryOf(const char* pszName)
    {
        HexFileEntry entry;
        EXPECT_TRUE(HexCatalogue::ParseName(&entry, HexCatalogue_kExtension, pszName)) << pszName;
        return entry;
    }

    void addFiles(const std::vector<const char*>& names)
    {
        for (const char* pszName : names)
            m_coordinator.GetCatalogue().Append(entryOf(pszName));
    }

    // Selects the device type at nPosition as the detection page does.
    void selectType(size_t nPosition) { ModelKey_Select(&m_coordinator.GetDeviceTypes(), nPosition); }

    // Sets a record's job as a running or finished flash job with its last
    // progress.
    void progress(size_t n, int32_t nPercent, const char* pszText, int32_t nResult)
    {
        DeviceRecord& device = record(n);
        device.bSelected = 1;
        device.job.nPercent = nPercent;
        gn_StrCopyN(device.job.szStatusText, pszText, sizeof device.job.szStatusText);
        device.job.nResult = nResult;
    }

    UpdateCoordinator m_coordinator;
};

TEST_F(UpdateCoordinatorTest, RecordsStartIdleWithTheirPortAndBaud)
{
    m_coordinator.AddDevice("\\\\.\\COM7", 115200);
    m_coordinator.AddDevice("\\\\.\\/dev/ttyUSB0", 38400);
    ASSERT_EQ(m_coordinator.GetDeviceCount(), 2);
    const DeviceRecord& device = record(0);
    EXPECT_STREQ(device.job.szPort, "\\\\.\\COM7");
    EXPECT_STREQ(device.PortName(), "COM7");
    EXPECT_STREQ(record(1).PortName(), "/dev/ttyUSB0");
    EXPECT_EQ(device.job.nBaud, 115200);
    EXPECT_EQ(GetResult(&device.job), -1);
    EXPECT_EQ(device.nFlags, 26u);
    EXPECT_FALSE(device.WorkerMayRun());
    EXPECT_EQ(m_coordinator.GetDevice(2), nullptr);
}

TEST_F(UpdateCoordinatorTest, FinishIdentificationDropsThePortsThatDidNotAnswer)
{
    identified({{1, "", ""},
                {0, "KV3360", "2.05"},
                {11, "", ""},
                {2, "", ""},
                {9, "LV5600", "5.10"},
                {10, "LV5600", "5.10"},
                {3, "KV3360", ""},
                {4, "", ""},
                {5, "", ""},
                {6, "", ""},
                {7, "", ""},
                {8, "LV5600", ""}});
    m_coordinator.FinishIdentification(false);
    EXPECT_THAT(ports(), ElementsAre("COM2", "COM5", "COM6"));
    // Status 9 starts the loader in the device, 10 downloads it first.
    EXPECT_EQ(record(0).job.nStartMode, 0);
    EXPECT_EQ(record(1).job.nStartMode, 1);
    EXPECT_EQ(record(2).job.nStartMode, 2);
    EXPECT_EQ(record(1).nFlags, 0x100u);
    EXPECT_EQ(record(1).key.build, 5);
}

TEST_F(UpdateCoordinatorTest, FinishIdentificationReadsModelBuildCountryAndSpecialBuild)
{
    identified({{0, "KV3360", "2.05", "PTT GERMAN", "PELLAM 3"},
                {0, "KV3360", "3.10", "no such country", "SPECIAL"},
                {0, "NOSUCHMODEL", "1.00", "ptt babt"},
                {0, "RW3360-SP", "2.17", "NORTH AMERICAN"}});
    m_coordinator.FinishIdentification(false);
    ASSERT_EQ(m_coordinator.GetDeviceCount(), 4);

    const DeviceRecord& kv = record(0);
    int32_t nGermany = Country_kUnknown;
    Country_FromCode("DE", &nGermany);
    EXPECT_EQ(kv.nCountry, nGermany);
    EXPECT_EQ(kv.nOemBuild, 3);
    EXPECT_EQ(kv.key.name, "KV3360");
    EXPECT_EQ(kv.nFlags, 0x024u);
    EXPECT_EQ(kv.build.text, "2.05 ");
    EXPECT_EQ(kv.key.build, 2);
    EXPECT_THAT(kv.key.upgrades, ElementsAre(2, 3));
    EXPECT_FALSE(kv.bBootCode);

    // A major without a lock leaves the key's build at -1; texts not in the
    // tables leave country and OEM build as they were.
    const DeviceRecord& unlocked = record(1);
    EXPECT_EQ(unlocked.build.major, 3);
    EXPECT_EQ(unlocked.key.build, -1);
    EXPECT_EQ(unlocked.nCountry, Country_kUnknown);
    EXPECT_EQ(unlocked.nOemBuild, 0);

    // A model the database does not know keeps the empty key.
    const DeviceRecord& unknown = record(2);
    EXPECT_EQ(unknown.key.id, 0);
    EXPECT_EQ(unknown.nFlags, ModelDb_kFlagsUnknown);
    int32_t nBritain = Country_kUnknown;
    Country_FromCode("GB", &nBritain);
    EXPECT_EQ(unknown.nCountry, nBritain);

    EXPECT_EQ(record(3).key.name, "RW3360-SP");
    EXPECT_EQ(record(3).key.build, 2);
    EXPECT_EQ(record(3).nFlags, 0x200u);
}

TEST_F(UpdateCoordinatorTest, BootCodeDevicesAndTheForceBootOption)
{
    identified({{0, "bootcode", ""}, {0, "100 000 000 000 000 000 000 000", "2.10"}, {0, "KV3360", "2.05"}});
    m_coordinator.FinishIdentification(false);
    EXPECT_EQ(record(0).key.name, "QBX7720");
    EXPECT_TRUE(record(0).bBootCode);
    EXPECT_EQ(record(0).nFlags, 0x065u);
    EXPECT_EQ(record(1).key.name, "KV5120ZA");
    EXPECT_EQ(record(1).key.build, 2);
    EXPECT_TRUE(record(1).bBootCode);
    EXPECT_FALSE(record(2).bBootCode);

    // With the force-boot option every device runs only its boot code.
    m_coordinator.FinishIdentification(true);
    EXPECT_TRUE(record(2).bBootCode);
    EXPECT_EQ(record(2).key.name, "KV3360");
}

TEST_F(UpdateCoordinatorTest, IdentificationDoneLogsEachPortAndFinishesOnceAllEnded)
{
    TempDir dir;
    dbg_SetLogging(true);
    dbg_OpenLogPath(dir.file("log.txt").c_str());
    identified({{0, "KV3360", "2.05"}, {1, "", ""}});
    record(1).job.nResult = -1;
    EXPECT_FALSE(m_coordinator.IdentificationDone(false));
    EXPECT_EQ(m_coordinator.GetDeviceCount(), 2);
    dbg_FlushLog();
    std::string log = dir.read("log.txt");
    EXPECT_THAT(log, HasSubstr("]: <COM1> Status 0\n"));
    EXPECT_THAT(log, HasSubstr("]: <COM2> Status -1\n"));
    EXPECT_THAT(log, HasSubstr("]: bDone 0\n\n"));

    record(1).job.nResult = 1;
    EXPECT_TRUE(m_coordinator.IdentificationDone(true));
    dbg_CloseLog();
    dbg_SetLogging(false);
    EXPECT_THAT(dir.read("log.txt"), HasSubstr("]: bDone 1\n\n"));
    // FinishIdentification ran with the force-boot option.
    EXPECT_THAT(ports(), ElementsAre("COM1"));
    EXPECT_TRUE(record(0).bBootCode);
}

TEST_F(UpdateCoordinatorTest, DevicesOfOneModelAndBuildFormOneType)
{
    identified({{0, "KV3360", "2.05"},
                {0, "QBXHP-TA", "2.01"},
                {0, "KV3360", "2.11"},
                {0, "QBXHP-TA", "3.00"},
                {0, "KV3360", "2.07"}});
    m_coordinator.FinishIdentification(false);
    m_coordinator.BuildDeviceTypes();
    EXPECT_THAT(types(), ElementsAre("KV3360/2/3", "QBXHP-TA/2/1", "QBXHP-TA/3/1"));
    EXPECT_EQ(m_coordinator.CountDevices(test_KeyOf("KV3360", 2)), 3);
    EXPECT_EQ(m_coordinator.CountDevices(test_KeyOf("QBXHP-TA", 3)), 1);
    EXPECT_EQ(m_coordinator.CountDevices(test_KeyOf("KV3360", -1)), 0);
    // The records keep their own count.
    EXPECT_EQ(record(0).key.count, 1);
}

TEST_F(UpdateCoordinatorTest, TypesWithoutFilesAreRemovedAndNamed)
{
    identified({{0, "KV3360", "2.05"},
                {0, "QBX7720", "3.01"},
                {0, "QBXHP-TA", "2.01"},
                {0, "RW3360-SP", "2.17"},
                {0, "LV5600", "5.10"}});
    m_coordinator.FinishIdentification(false);
    m_coordinator.BuildDeviceTypes();
    // A QBX7720 build 4 file fits build 3 (upgrades 3-5); the LV5600 file
    // is of build 6 (upgrades of 5: 5-6).
    addFiles({"QAGB0410.HEX", "LVDE0601.HEX", "KZGB0310.HEX"});
    std::string sNames = "before: ";
    EXPECT_EQ(m_coordinator.RemoveTypesWithoutHexFiles(&sNames), 3);
    EXPECT_EQ(sNames, "before: KV3360 QBXHP-TA RW3360 ");
    EXPECT_THAT(types(), ElementsAre("QBX7720/3/1", "LV5600/5/1"));

    // Nothing more to remove.
    std::string sNone;
    EXPECT_EQ(m_coordinator.RemoveTypesWithoutHexFiles(&sNone), 0);
    EXPECT_EQ(sNone, "");
}

TEST_F(UpdateCoordinatorTest, ChoosingTypesPortsAndFiles)
{
    identified({{0, "KV3360", "2.05"}, {0, "QBX7720", "3.01"}, {0, "KV3360", "2.11"}, {0, "KV3360", "2.07"}});
    m_coordinator.FinishIdentification(false);
    m_coordinator.BuildDeviceTypes();
    addFiles({"KNGB0210.HEX", "QAGB0301.HEX", "KNDE0301.HEX", "KNGB0110.HEX"});
    const ModelKey kv = test_KeyOf("KV3360", 2);
    const ModelKey qbx = test_KeyOf("QBX7720", 3);

    // The detection page: only KV3360 is chosen.
    selectType(0);
    m_coordinator.ApplyTypeSelection();
    EXPECT_EQ(m_coordinator.CountSelectedDevices(kv), 3);
    EXPECT_EQ(m_coordinator.CountSelectedDevices(qbx), 0);
    const HexCatalogue& catalogue = m_coordinator.GetCatalogue();
    // Entries whose key equals a chosen type: only the build 2 file.
    EXPECT_EQ(catalogue.GetEntry(0)->selected, 1);
    EXPECT_EQ(catalogue.GetEntry(1)->selected, 0);
    EXPECT_EQ(catalogue.GetEntry(2)->selected, 0);
    EXPECT_EQ(catalogue.GetEntry(3)->selected, 0);

    // The model page: ports 1 and 4 get the 3.01 file.
    m_coordinator.DeselectType(kv);
    EXPECT_EQ(m_coordinator.CountSelectedDevices(kv), 0);
    EXPECT_EQ(catalogue.CountSelectedFitting(kv), 0);
    HexFileEntry chosen = m_coordinator.GetCatalogue().SelectEntry(2);
    m_coordinator.AssignHexFile(0, chosen);
    m_coordinator.AssignHexFile(3, chosen);
    m_coordinator.AssignHexFile(9, chosen);
    EXPECT_EQ(m_coordinator.CountSelectedDevices(kv), 2);
    EXPECT_EQ(catalogue.CountSelectedFitting(kv), 1);
    EXPECT_EQ(record(0).hexFile.path, "KNDE0301.HEX");
    EXPECT_EQ(record(3).hexFile.path, "KNDE0301.HEX");
    EXPECT_EQ(record(2).bSelected, 0);
    EXPECT_TRUE(record(2).hexFile.path.empty());
    ModelKeyList_MarkDone(&m_coordinator.GetDeviceTypes(), kv);

    // Back on the detection page: everything is cleared.
    m_coordinator.ResetSelection();
    EXPECT_EQ(m_coordinator.CountSelectedDevices(kv), 0);
    EXPECT_EQ(catalogue.CountSelectedFitting(kv), 0);
    EXPECT_EQ(m_coordinator.GetDeviceTypes().keys[0]->selected, 0);
    EXPECT_EQ(m_coordinator.GetDeviceTypes().keys[0]->done, 0);

    // Both types chosen this time.
    selectType(0);
    selectType(1);
    m_coordinator.ApplyTypeSelection();
    EXPECT_EQ(m_coordinator.CountSelectedDevices(kv), 3);
    EXPECT_EQ(m_coordinator.CountSelectedDevices(qbx), 1);
    EXPECT_EQ(catalogue.GetEntry(1)->selected, 1);

    // Unselected devices leave the list (developers page).
    m_coordinator.DeselectType(qbx);
    EXPECT_EQ(m_coordinator.RemoveUnselectedDevices(), 3);
    EXPECT_THAT(ports(), ElementsAre("COM1", "COM3", "COM4"));
}

TEST_F(UpdateCoordinatorTest, FlashingDoneShowsTheSlowestRunningJob)
{
    identified({{0, "KV3360", "2.05"}, {0, "KV3360", "2.05"}, {0, "KV3360", "2.05"}});
    std::string sText = "given";
    int32_t nPercent = -5;

    // No device selected.
    EXPECT_TRUE(m_coordinator.FlashingDone(&nPercent, &sText));
    EXPECT_EQ(nPercent, 100);
    EXPECT_EQ(sText, "given");

    // 40 % and 70 %: the first one's text; the unselected third counts not.
    progress(0, 40, "Programming", -1);
    progress(1, 70, "Handshaking Done", -1);
    EXPECT_FALSE(m_coordinator.FlashingDone(&nPercent, &sText));
    EXPECT_EQ(nPercent, 40);
    EXPECT_EQ(sText, "Programming");

    // The first finished: its low percent no longer holds the bar back.
    progress(0, 40, "Programming", 4);
    sText.clear();
    EXPECT_FALSE(m_coordinator.FlashingDone(&nPercent, &sText));
    EXPECT_EQ(nPercent, 70);
    EXPECT_EQ(sText, "Handshaking Done");

    // Equal lowest percentages: the later job's text.
    progress(0, 30, "Sorting File", -1);
    progress(1, 30, "Handshaking", -1);
    progress(2, 55, "Programming", -1);
    EXPECT_FALSE(m_coordinator.FlashingDone(&nPercent, &sText));
    EXPECT_EQ(nPercent, 30);
    EXPECT_EQ(sText, "Handshaking");

    // Every selected job ended: done, 100, text as given.
    progress(0, 30, "Sorting File", 0);
    progress(1, 30, "Handshaking", 1);
    progress(2, 100, "Programming Done", 0);
    sText = "given";
    EXPECT_TRUE(m_coordinator.FlashingDone(&nPercent, &sText));
    EXPECT_EQ(nPercent, 100);
    EXPECT_EQ(sText, "given");
}

// A Lucent firmware file whose head names a flash part: code, type number
// and size at characters 65 to 72.
std::string lucentHead(const char* pszCodeLowHigh, const char* pszType, const char* pszSize)
{
    std::string head(65, 'x');
    head += pszCodeLowHigh;
    head += pszType;
    head += pszSize;
    head += "yy\r\n:00000001FF\r\n";
    return head;
}

TEST_F(UpdateCoordinatorTest, StartFlashingRefusesALucentFileForAnotherFlashPart)
{
    TempDir dir;
    ScopedChdir chdir(dir.path());
    // The device: type U (3), size 64, code 0x12AB. Same type and code but
    // 16 KB sectors; then the right size but type I (49).
    dir.write("LVGB0510.HEX", lucentHead("AB12", "55", "10"));
    dir.write("LVDE0510.HEX", lucentHead("AB12", "49", "40"));
    identified({{9, "LV5600", "5.10"}, {9, "LV5600", "5.10"}, {9, "LV5600", "5.10"}});
    m_coordinator.FinishIdentification(false);
    for (size_t n = 0; n < 3; ++n)
        record(n).job.info.flashId = devid_FlashId{64, 3, 0x12AB};
    m_coordinator.AssignHexFile(0, entryOf("LVGB0510.HEX"));
    m_coordinator.AssignHexFile(1, entryOf("LVDE0510.HEX"));

    m_coordinator.StartFlashing(0, false);
    EXPECT_EQ(GetResult(&record(0).job), 8);
    EXPECT_STREQ(GetResultText(&record(0).job), "Incompatible sector sizes");
    EXPECT_EQ(GetResult(&record(1).job), 9);
    EXPECT_STREQ(GetResultText(&record(1).job), "Incompatible types");
    EXPECT_EQ(record(1).hexFile.flashId.nType, 1);
    // No worker was started for them; the unselected third was left alone.
    EXPECT_FALSE(record(0).WorkerMayRun());
    EXPECT_FALSE(record(1).WorkerMayRun());
    EXPECT_FALSE(record(2).bJobStarted);

    // Jobs whose workers still run are never started again (the force-loader
    // option would have set the start mode to 2).
    for (size_t n = 0; n < 3; ++n) {
        record(n).bJobStarted = true;
        record(n).job.nResult = -1;
    }
    record(2).bSelected = 1;
    m_coordinator.StartFlashing(0, true);
    for (size_t n = 0; n < 3; ++n) {
        EXPECT_EQ(record(n).job.nStartMode, 1);
        EXPECT_EQ(record(n).job.nEvent, -1);
        record(n).job.nResult = 0;
    }

    int32_t nPercent = 0;
    std::string sText;
    EXPECT_TRUE(m_coordinator.FlashingDone(&nPercent, &sText));
    EXPECT_EQ(nPercent, 100);
}

TEST_F(UpdateCoordinatorTest, StopFlashingWaitsOnlyForJobsThatWereStarted)
{
    // Records that never had a job keep the result -1; waiting for them
    // would never end.
    identified({{0, "KV3360", "2.05"}});
    m_coordinator.AddDevice("\\\\.\\COM9", 38400);
    EXPECT_EQ(GetResult(&record(1).job), -1);
    EXPECT_FALSE(m_coordinator.AnyWorkerRuns());
    m_coordinator.StopFlashing();
    ResetAbortFlag();
    EXPECT_TRUE(m_coordinator.WaitForJobs(0));
}

TEST_F(UpdateCoordinatorTest, SinglePortTakesTheModelAndTheNamedFile)
{
    EXPECT_EQ(m_coordinator.PrepareSinglePort(false, test_KeyOf("QBX7720", -1)), 0);
    m_coordinator.AddDevice("\\\\.\\COM5", 57600);
    EXPECT_EQ(m_coordinator.PrepareSinglePort(false, test_KeyOf("QBX7720", -1)), 0);
    m_coordinator.AddHexFile("fw/Sorted.hex");
    ASSERT_EQ(m_coordinator.GetCatalogue().GetCount(), 1);
    EXPECT_EQ(m_coordinator.GetCatalogue().GetEntry(0)->path, "fw/Sorted.hex");

    EXPECT_EQ(m_coordinator.PrepareSinglePort(true, test_KeyOf("QBX7720", -1)), 1);
    const DeviceRecord& device = record(0);
    EXPECT_EQ(device.key.name, "QBX7720");
    EXPECT_EQ(device.nFlags, 0x065u);
    EXPECT_TRUE(device.bBootCode);
    EXPECT_EQ(device.bSelected, 1);
    EXPECT_EQ(device.hexFile.fileName, "fw/Sorted.hex");
    EXPECT_EQ(device.hexFile.key.name, "QBX7720");
    EXPECT_EQ(device.hexFile.selected, 1);
    const HexFileEntry& entry = *m_coordinator.GetCatalogue().GetEntry(0);
    EXPECT_EQ(entry.selected, 1);
    EXPECT_EQ(entry.key.name, "QBX7720");
    EXPECT_EQ(device.job.nStartMode, 0);
}

}  // namespace
