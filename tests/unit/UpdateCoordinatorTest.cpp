// The update coordinator without worker threads: identification answers
// are written into the records' jobs as a finished identification leaves
// them, and flash progress as the progress callback leaves it. Also the
// wizard's error code and its messages.
#include "wizard/UpdateCoordinator.h"

#include "EngineSource/devidCountry.h"
#include "support/ModelKeys.h"
#include "support/TempDir.h"
#include "unit/SampleModels.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

using ::testing::ElementsAre;

namespace {

// What identification found on one port.
struct Answer {
    int32_t nStatus;
    const char* pszModel;
    const char* pszVersion;
    const char* pszCountry = "";
    const char* pszSpecialBuild = "";
};

class UpdateCoordinatorTest : public SampleModelsTest {
protected:
    // One record per answer on COM1, COM2, ... with the answer stored as a
    // finished identification job stores it.
    void identified(const std::vector<Answer>& answers)
    {
        for (const Answer& answer : answers) {
            std::string sDevice = "\\\\.\\COM" + std::to_string(m_coordinator.GetDeviceCount() + 1);
            m_coordinator.AddDevice(sDevice.c_str(), 38400);
            FlashJob& job = record(static_cast<size_t>(m_coordinator.GetDeviceCount() - 1)).job;
            job.info.nStatus = job.nResult = answer.nStatus;
            gn_StrCopyN(job.info.szModel, answer.pszModel, sizeof job.info.szModel);
            gn_StrCopyN(job.info.szVersion, answer.pszVersion, sizeof job.info.szVersion);
            gn_StrCopyN(job.info.szCountry, answer.pszCountry, sizeof job.info.szCountry);
            gn_StrCopyN(job.info.szSpecialBuild, answer.pszSpecialBuild, sizeof job.info.szSpecialBuild);
        }
    }

    // The answers identified and read, their device types built, and the
    // files named put in the catalogue.
    void typed(const std::vector<Answer>& answers, std::initializer_list<const char*> files)
    {
        identified(answers);
        m_coordinator.FinishIdentification(false);
        m_coordinator.BuildDeviceTypes();
        for (const char* pszName : files)
            m_coordinator.GetCatalogue().Append(entryOf(pszName));
    }

    DeviceRecord& record(size_t n) { return *m_coordinator.GetDevice(n); }

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
    // "percent text" that FlashingDone shows, with " done" once every
    // selected job has ended.
    std::string shown()
    {
        int32_t nPercent = -5;
        std::string sText = "given";
        bool bDone = m_coordinator.FlashingDone(&nPercent, &sText);
        return std::to_string(nPercent) + " " + sText + (bDone ? " done" : "");
    }

    UpdateCoordinator m_coordinator;
};

TEST_F(UpdateCoordinatorTest, FinishIdentificationKeepsAnsweringPortsAndReadsTheirAnswers)
{
    // Identification is done once no job runs; only the statuses 0, 9 and
    // 10 answered: 9 starts the loader in the device (start mode 1), 10
    // downloads it first (2). The force-boot option reaches every device.
    for (int32_t nStatus = 0; nStatus < 12; ++nStatus)
        identified({{nStatus, "LV5600", "5.10"}});
    record(4).job.nResult = -1;
    EXPECT_FALSE(m_coordinator.IdentificationDone(true));
    record(4).job.nResult = 4;
    EXPECT_TRUE(m_coordinator.IdentificationDone(true));
    ASSERT_EQ(m_coordinator.GetDeviceCount(), 3);
    // "port start-mode boot-code" of the records kept.
    const char* const kKept[] = {"COM1 0 1", "COM10 1 1", "COM11 2 1"};
    for (size_t n = 0; n < 3; ++n)
        EXPECT_EQ(std::string(record(n).PortName()) + " " + std::to_string(record(n).job.nStartMode) + " " +
                      std::to_string(record(n).bBootCode),
                  kKept[n]);

    // "model build flags country OEM-build boot-code" read from one answer.
    // A major without a lock leaves the key's build at -1; texts not in the
    // tables leave country and OEM build as they were; two model texts name
    // devices that run only their boot code.
    const std::pair<Answer, const char*> kCases[] = {
        {{0, "KV3360", "2.05", "PTT GERMAN", "PELLAM 3"}, "KV3360 2 24 Germany 3 0"},
        {{0, "KV3360", "3.10", "no such country", "PELLAM 6"}, "KV3360 -1 24 Unknown 0 0"},
        {{0, "NOSUCHMODEL", "1.00", "ptt babt"}, " -1 5 United Kingdom 0 0"},
        {{0, "RW3360-SP", "2.17", "NORTH AMERICAN"}, "RW3360-SP 2 200 North America 0 0"},
        {{0, "bootcode", ""}, "QBX7720 -1 65 Unknown 0 1"},
        {{0, "100 000 000 000 000 000 000 000", "2.10"}, "KV5120ZA 2 65 Unknown 0 1"},
    };
    for (const auto& test : kCases) {
        m_coordinator.ReleaseDevices();
        identified({test.first});
        m_coordinator.FinishIdentification(false);
        const DeviceRecord& device = record(0);
        char szRead[160];
        snprintf(szRead, sizeof szRead, "%s %d %x %s %d %d", device.key.name.c_str(), device.key.build, device.nFlags,
                 Country_DisplayName(device.nCountry), device.nOemBuild, device.bBootCode ? 1 : 0);
        EXPECT_STREQ(szRead, test.second) << test.first.pszModel;
    }
}

TEST_F(UpdateCoordinatorTest, DeviceTypesAreModelAndBuildAndTypesWithoutFilesAreRemoved)
{
    // A QBX7720 build 4 file fits build 3 (upgrades 3-5); the LV5600 file
    // is of build 6 (upgrades of 5: 5-6); the KZ file is another model's.
    typed({{0, "KV3360", "2.05"}, {0, "QBX7720", "3.01"}, {0, "KV3360", "2.11"}, {0, "QBXHP-TA", "2.01"},
           {0, "QBXHP-TA", "3.00"}, {0, "RW3360-SP", "2.17"}, {0, "LV5600", "5.10"}},
          {"QAGB0410.HEX", "LVDE0601.HEX", "KZGB0310.HEX"});
    EXPECT_THAT(types(), ElementsAre("KV3360/2/2", "QBX7720/3/1", "QBXHP-TA/2/1", "QBXHP-TA/3/1", "RW3360-SP/2/1",
                                     "LV5600/5/1"));

    std::string sNames = "before: ";
    EXPECT_EQ(m_coordinator.RemoveTypesWithoutHexFiles(&sNames), 4);
    EXPECT_EQ(sNames, "before: KV3360 QBXHP-TA QBXHP-TA RW3360 ");
    EXPECT_THAT(types(), ElementsAre("QBX7720/3/1", "LV5600/5/1"));
}

// Which running job holds the bar and gives the text is shown by the
// progress page's test.
TEST_F(UpdateCoordinatorTest, FlashingDoneWithoutARunningJobLeavesTheText)
{
    identified({{0, "KV3360", "2.05"}, {0, "KV3360", "2.05"}, {0, "KV3360", "2.05"}});
    EXPECT_EQ(shown(), "100 given done");    // no device selected
    progress(0, 30, "Sorting File", 0);
    progress(1, 30, "Handshaking", 1);
    EXPECT_EQ(shown(), "100 given done");    // every selected job ended
}

// A Lucent firmware file whose head names a flash part: code, type number
// and size at characters 65 to 72.
std::string lucentHead(const char* pszCodeTypeSize)
{
    return std::string(65, 'x') + pszCodeTypeSize + "yy\r\n:00000001FF\r\n";
}

TEST_F(UpdateCoordinatorTest, StartFlashingRefusesALucentFileForAnotherFlashPart)
{
    TempDir dir;
    ScopedChdir chdir(dir.path());
    // The device: type U (3), size 64, code 0x12AB. Same type and code but
    // 16 KB sectors; then the right size but type I (49).
    dir.write("LVGB0510.HEX", lucentHead("AB125510"));
    dir.write("LVDE0510.HEX", lucentHead("AB124940"));
    identified({{9, "LV5600", "5.10"}, {9, "LV5600", "5.10"}, {9, "LV5600", "5.10"}});
    m_coordinator.FinishIdentification(false);
    for (size_t n = 0; n < 3; ++n)
        record(n).job.info.flashId = devid_FlashId{64, 3, 0x12AB};
    m_coordinator.AssignHexFile(0, entryOf("LVGB0510.HEX"));
    m_coordinator.AssignHexFile(1, entryOf("LVDE0510.HEX"));

    m_coordinator.StartFlashing(0, false);
    EXPECT_EQ(GetResult(&record(0).job), flsh_cSectorSizes);
    EXPECT_EQ(GetResult(&record(1).job), flsh_cTypes);
    // No worker was started for them; the unselected third was left alone.
    EXPECT_FALSE(record(0).bJobStarted || record(1).bJobStarted || record(2).bJobStarted);

    // Jobs whose workers still run are never started again: the force-loader
    // option would have set the start mode to 2.
    for (size_t n = 0; n < 3; ++n)
    {
        record(n).bJobStarted = true;
        record(n).bSelected = 1;
        record(n).job.nResult = -1;
    }
    m_coordinator.StartFlashing(0, true);
    for (size_t n = 0; n < 3; ++n) {
        EXPECT_EQ(record(n).job.nStartMode, 1) << n;
        record(n).job.nResult = 0;
    }
}

TEST_F(UpdateCoordinatorTest, ARecordWhoseWorkerRunsKeepsItsFileAndIsNeverReadAsUpdated)
{
    identified({{0, "KV3360", "2.05"}, {0, "KV3360", "2.05"}});
    m_coordinator.FinishIdentification(false);
    // COM1's worker (identification, or the flash of an earlier update)
    // still runs: the file it reads the path of stays, and it is not chosen.
    record(0).bJobStarted = true;
    record(0).job.nResult = -1;
    EXPECT_EQ(m_coordinator.AssignHexFile(0, entryOf("LVGB0510.HEX")), 0);
    EXPECT_EQ(record(0).bSelected, 0);
    EXPECT_EQ(record(0).hexFile.fileName, "");
    EXPECT_EQ(m_coordinator.AssignHexFile(1, entryOf("LVGB0510.HEX")), 1);
    EXPECT_EQ(record(1).hexFile.fileName, "LVGB0510.HEX");
    EXPECT_EQ(m_coordinator.AssignHexFile(2, entryOf("LVGB0510.HEX")), 0);

    // Chosen before its worker began, then passed over by StartFlashing: the
    // status list and the count of updated devices read a failure, also
    // after the worker stored its own result (identification status 0).
    record(0).bSelected = 1;
    record(1).bSelected = 0;
    m_coordinator.StartFlashing(0, false);
    EXPECT_EQ(record(0).GetFlashResult(), DeviceRecord_kPassedOver);
    // No flash job waits for it.
    EXPECT_EQ(shown(), "100 given done");
    record(0).job.nResult = 0;
    EXPECT_EQ(record(0).GetFlashResult(), flsh_cPortOpen);
    EXPECT_STREQ(record(0).GetFlashResultText(), "Unable to open port");
    EXPECT_STREQ(record(1).GetFlashResultText(), "Successful");
}

// What the user chooses on the detection and model pages, and the options
// of the run.
struct Choice {
    const char* pszName;
    std::vector<size_t> firstTypes;        // types ticked before going back (ResetSelection), or none
    std::vector<size_t> types;             // device types ticked
    std::vector<std::vector<size_t>> ports;  // per ticked type: the records chosen on its model page
    std::vector<size_t> files;             // per ticked type: the catalogue entry chosen
    bool bForceBoot;                       // force-boot option at identification
    int32_t bUpdateBootCode;               // boot-code update option
    bool bForceLoader;                     // force-loader option
    const char* pszSelectedFiles;          // catalogue selected flags after ApplyTypeSelection
    const char* pszFlashed;                // per record: "-" or "file flags update boot-only start-mode"
};

TEST_F(UpdateCoordinatorTest, TheUsersChoicesDecideWhatIsFlashedWithWhichOptions)
{
    // COM1-COM3 a KV3360 of build 2, COM4 a Lucent LV5600 whose loader is
    // in the device (status 9), COM5 a QBX7720 of build 3. The KV3360 file
    // comes twice (two countries); the Lucent file names the device's flash
    // part.
    TempDir dir;
    ScopedChdir chdir(dir.path());
    dir.write("LVGB0510.HEX", lucentHead("AB125540"));
    TempDir noPorts;
    setenv("NORVANE_PORTS", noPorts.path().c_str(), 1);
    const char* const kFiles[] = {"KNGB0210.HEX", "KNDE0210.HEX", "LVGB0510.HEX", "QAGB0410.HEX"};
    for (const char* pszFile : kFiles)
        m_coordinator.GetCatalogue().Append(entryOf(pszFile));
    // Catalogue entries are selected with the types their key equals: the
    // QBX7720 file is of build 4, which the build-3 type only upgrades to.
    const Choice kChoices[] = {
        {"all types, every port, first fitting file", {}, {0, 1, 2}, {{0, 1, 2}, {3}, {4}}, {0, 2, 3}, false, 0,
         false, "1110", "KNGB0210.HEX 24 0 0 0,KNGB0210.HEX 24 0 0 0,KNGB0210.HEX 24 0 0 0,LVGB0510.HEX 100 0 0 1,"
         "QAGB0410.HEX 65 0 0 0"},
        {"two of three ports, the second file", {}, {0}, {{0, 2}}, {1}, false, 0, false, "1100",
         "KNDE0210.HEX 24 0 0 0,-,KNDE0210.HEX 24 0 0 0,-,-"},
        {"back to detection: only the second choice counts", {0, 1, 2}, {2}, {{4}}, {3}, false, 0, false, "0000",
         "-,-,-,-,QAGB0410.HEX 65 0 0 0"},
        {"boot-code update and force-boot reach the jobs", {}, {0}, {{1}}, {0}, true, 1, false, "1100",
         "-,KNGB0210.HEX 24 1 1 0,-,-,-"},
        {"force-loader downloads the Lucent loader", {}, {1}, {{3}}, {2}, false, 0, true, "0010",
         "-,-,-,LVGB0510.HEX 100 0 0 2,-"},
        {"nothing chosen on the model page", {}, {0}, {{}}, {0}, false, 0, false, "1100", "-,-,-,-,-"},
    };
    for (const Choice& choice : kChoices) {
        SCOPED_TRACE(choice.pszName);
        m_coordinator.ReleaseDevices();
        ModelKeyList_Clear(&m_coordinator.GetDeviceTypes());
        identified({{0, "KV3360", "2.05"}, {0, "KV3360", "2.05"}, {0, "KV3360", "2.05"}, {9, "LV5600", "5.10"},
                    {0, "QBX7720", "3.01"}});
        ASSERT_TRUE(m_coordinator.IdentificationDone(choice.bForceBoot));
        record(3).job.info.flashId = devid_FlashId{64, 3, 0x12AB};
        m_coordinator.BuildDeviceTypes();
        ModelKeyList& types = m_coordinator.GetDeviceTypes();
        ASSERT_EQ(types.keys.size(), 3u);

        // Detection page: tick, maybe go back and tick again.
        for (size_t nType : choice.firstTypes)
            ModelKey_Select(&types, nType);
        if (!choice.firstTypes.empty()) {
            m_coordinator.ApplyTypeSelection();
            m_coordinator.AssignHexFile(0, entryOf(kFiles[0]));
            m_coordinator.ResetSelection();
            EXPECT_EQ(m_coordinator.CountSelectedDevices(*types.keys[0]), 0);
        }
        for (size_t nType : choice.types)
            ModelKey_Select(&types, nType);
        m_coordinator.ApplyTypeSelection();
        std::string sSelected;
        for (int32_t n = 0; n < m_coordinator.GetCatalogue().GetCount(); ++n)
            sSelected += std::to_string(m_coordinator.GetCatalogue().GetEntry(static_cast<size_t>(n))->selected);
        EXPECT_EQ(sSelected, choice.pszSelectedFiles);

        // Model page, once per ticked type: its ports start unchosen, the
        // chosen ones take the chosen file.
        for (size_t n = 0; n < choice.types.size(); ++n) {
            ModelKey type = *types.keys[choice.types[n]];
            EXPECT_EQ(m_coordinator.CountDevices(type), type.count);
            m_coordinator.DeselectType(type);
            EXPECT_EQ(m_coordinator.CountSelectedDevices(type), 0);
            EXPECT_EQ(m_coordinator.GetCatalogue().CountSelectedFitting(type), 0);
            HexFileEntry entry = m_coordinator.GetCatalogue().SelectEntry(choice.files[n]);
            for (size_t nPort : choice.ports[n])
                m_coordinator.AssignHexFile(nPort, entry);
            EXPECT_EQ(m_coordinator.CountSelectedDevices(type), static_cast<int32_t>(choice.ports[n].size()));
            ModelKeyList_MarkDone(&types, type);
        }

        m_coordinator.StartFlashing(choice.bUpdateBootCode, choice.bForceLoader);
        ASSERT_TRUE(m_coordinator.WaitForJobs(60000));
        std::string sFlashed;
        int32_t nStarted = 0;
        for (size_t n = 0; n < 5; ++n) {
            const DeviceRecord& device = record(n);
            char szJob[80] = "-";
            nStarted += device.bJobStarted ? 1 : 0;
            if (device.bJobStarted)
                snprintf(szJob, sizeof szJob, "%s %x %d %d %d", device.job.pszHexFile, device.job.nFlags,
                         device.job.bUpdateBootCode, device.job.bBootCodeOnly, device.job.nStartMode);
            sFlashed += std::string(n == 0 ? "" : ",") + szJob;
        }
        EXPECT_EQ(sFlashed, choice.pszFlashed);

        // Only the chosen records stay.
        EXPECT_EQ(m_coordinator.RemoveUnselectedDevices(), nStarted);
        for (size_t n = 0; n < static_cast<size_t>(nStarted); ++n)
            EXPECT_TRUE(record(n).bJobStarted) << n;
    }
    unsetenv("NORVANE_PORTS");
}

TEST_F(UpdateCoordinatorTest, StoppingReachesOnlyJobsThereAreAndANewCoordinatorStartsUncancelled)
{
    FlashJob job;
    InitFlashJob(&job, "\\\\.\\COM1", 38400);
    m_coordinator.StopIdentification();
    EXPECT_EQ(FlashProgress(&job, 5, 0, 0), 1);
    identified({{0, "KV3360", "2.05"}});
    m_coordinator.StopIdentification();
    EXPECT_EQ(FlashProgress(&job, 6, 1, 0), 0);
    {
        UpdateCoordinator next;
        EXPECT_EQ(FlashProgress(&job, 6, 20, 0x200), 1);
    }
    DeleteFlashJob(&job);

    // Records that never had a job keep the result -1; waiting for them
    // would never end.
    m_coordinator.AddDevice("\\\\.\\COM9", 38400);
    EXPECT_FALSE(m_coordinator.AnyWorkerRuns());
    m_coordinator.StopFlashing();
    ResetAbortFlag();
    EXPECT_TRUE(m_coordinator.WaitForJobs(0));
}

TEST_F(UpdateCoordinatorTest, SinglePortTakesTheModelAndTheNamedFile)
{
    const ModelKey qbx = test_KeyOf("QBX7720", -1);
    // Without a port or without a file it refuses.
    EXPECT_EQ(m_coordinator.PrepareSinglePort(false, qbx), 0);
    m_coordinator.AddDevice("\\\\.\\/dev/ttyUSB0", 57600);
    EXPECT_EQ(m_coordinator.PrepareSinglePort(false, qbx), 0);
    m_coordinator.AddHexFile("fw/Sorted.hex");

    EXPECT_EQ(m_coordinator.PrepareSinglePort(true, qbx), 1);
    const DeviceRecord& device = record(0);
    const HexFileEntry& entry = *m_coordinator.GetCatalogue().GetEntry(0);
    EXPECT_EQ(std::string(device.PortName()) + " " + device.key.name + " " + std::to_string(device.nFlags) + " " +
                  std::to_string(device.bBootCode) + " " +
                  std::to_string(device.bSelected) + " " + device.hexFile.fileName + " " + device.hexFile.key.name,
              "/dev/ttyUSB0 QBX7720 101 1 1 fw/Sorted.hex QBX7720");
    EXPECT_EQ(entry.path + " " + std::to_string(entry.selected) + " " + entry.key.name, "fw/Sorted.hex 1 QBX7720");
}

TEST_F(UpdateCoordinatorTest, RemovedTypeNamesAsAListKeepAnUnknownModelsEmptyName)
{
    typed({{0, "NO SUCH MODEL", "1.00"}, {0, "KV3360", "2.05"}, {0, "RW3360-SP", "2.17"}}, {"QAGB0410.HEX"});
    std::vector<std::string> names = {"kept"};
    EXPECT_EQ(m_coordinator.RemoveTypesWithoutHexFiles(&names), 3);
    EXPECT_THAT(names, ElementsAre("kept", "", "KV3360", "RW3360"));
    EXPECT_TRUE(m_coordinator.GetDeviceTypes().keys.empty());
}

TEST_F(UpdateCoordinatorTest, ChosenPortsOfATypeGetTheChosenFile)
{
    // Three KV3360 of build 2 and a QBXHP-TA; the type KV3360 was chosen.
    typed({{0, "KV3360", "2.05"}, {0, "KV3360", "2.11"}, {0, "KV3360", "2.05"}, {0, "QBXHP-TA", "3.01"}},
          {"KNGB0210.HEX", "KNDE0301.HEX", "TPDE0301.HEX"});
    ModelKey_Select(&m_coordinator.GetDeviceTypes(), 0);
    m_coordinator.ApplyTypeSelection();
    const ModelKey kv = *m_coordinator.GetDeviceTypes().keys[0];

    // The terminal adapter's position and one outside the list are passed
    // over.
    EXPECT_EQ(m_coordinator.AssignHexFileToPorts(kv, 1, {0, 2, 3, 99}), 2);
    std::vector<std::string> result;
    for (size_t n = 0; n < 4; ++n)
        result.push_back(std::to_string(record(n).bSelected) + " " + record(n).hexFile.path);
    EXPECT_THAT(result, ElementsAre("1 KNDE0301.HEX", "0 ", "1 KNDE0301.HEX", "0 "));
    EXPECT_EQ(m_coordinator.GetCatalogue().CountSelectedFitting(kv), 1);
    EXPECT_EQ(m_coordinator.GetCatalogue().GetEntry(1)->selected, 1);
    EXPECT_EQ(m_coordinator.CountSelectedDevices(kv), 2);
}

TEST_F(UpdateCoordinatorTest, CountryChoiceOffersTheFittingFilesCountriesAndAssignsTheOneFile)
{
    typed({{0, "QBXHP-TA", "3.01"}, {0, "QBXHP-TA", "3.05"}}, {});
    HexCatalogue& catalogue = m_coordinator.GetCatalogue();
    // The QY file stands for PL and AE too (as discovery adds them); two
    // German files; a KV3360 file of Germany that does not fit.
    HexFileEntry qy = entryOf("TPQY0302.HEX");
    catalogue.Append(qy);
    for (const char* pszCode : {"PL", "AE"}) {
        Country_FromCode(pszCode, &qy.country);
        catalogue.Append(qy);
    }
    for (const char* pszName : {"TPDE0301.HEX", "KNGB0210.HEX", "TPDE0303.HEX"})
        catalogue.Append(entryOf(pszName));
    ModelKey_Select(&m_coordinator.GetDeviceTypes(), 0);
    m_coordinator.ApplyTypeSelection();
    const ModelKey ta = *m_coordinator.GetDeviceTypes().keys[0];

    std::vector<std::string> countries;
    for (int32_t nCountry : catalogue.FittingCountries(ta))
        countries.push_back(Country_DisplayName(nCountry));
    EXPECT_THAT(countries, ElementsAre("International PTT", "Poland", "United Arab Emirates", "Germany"));

    int32_t nPoland = 0, nGermany = 0;
    Country_FromCode("PL", &nPoland);
    Country_FromCode("DE", &nGermany);
    EXPECT_EQ(m_coordinator.AssignCountryToType(ta, nPoland), 2);
    EXPECT_EQ(record(0).hexFile.path + " " + Country_DisplayName(record(1).hexFile.country), "TPQY0302.HEX Poland");
    EXPECT_EQ(catalogue.CountSelectedFitting(ta), 1);
    // Two German files: nothing is assigned, and the page reports code 100.
    EXPECT_EQ(m_coordinator.AssignCountryToType(ta, nGermany), 0);
    EXPECT_EQ(catalogue.CountSelectedFitting(ta), 2);
    EXPECT_EQ(catalogue.GetEntry(0)->selected + catalogue.GetEntry(1)->selected, 0);
}

TEST_F(UpdateCoordinatorTest, UpdateBaudIsSetOnlyOnAnIdleRecordInTheList)
{
    m_coordinator.AddDevice("\\\\.\\COM1", 38400);
    m_coordinator.AddDevice("\\\\.\\COM2", 38400);
    struct Row {
        size_t nPosition;
        int32_t nBaud;
        bool bRunning;     // the record's job has a worker that has not ended
        int nResult;
        int32_t nBaudAfter;
    };
    const Row kRows[] = {
        {1, 115200, false, 1, 115200},
        {2, 115200, false, 0, 38400},    // outside the list
        {1, 0, false, 0, 38400},         // no rate
        {1, 9600, true, 0, 38400},       // a worker reads and writes nBaud
    };
    for (const Row& row : kRows) {
        DeviceRecord& device = record(1);
        device.job.nBaud = 38400;
        device.bJobStarted = row.bRunning;
        device.job.nResult = row.bRunning ? -1 : 0;
        EXPECT_EQ(m_coordinator.SetUpdateBaud(row.nPosition, row.nBaud), row.nResult) << row.nBaud;
        EXPECT_EQ(device.job.nBaud, row.nBaudAfter) << row.nBaud;
        EXPECT_EQ(record(0).job.nBaud, 38400);
        device.bJobStarted = false;
    }
}

TEST(ErrorTableTest, EveryCodeHasItsMessageOthersAreUnknownAndAllBecomeCurrent)
{
    const char* const kTexts[] = {
        "No Error", "ERROR: Program cancelled by user", "ERROR: No Hex Files Available for Update",
        "ERROR: No valid devices detected", "ERROR: Devices detected were not the correct model",
        "ERROR: Devices detected were not the same build",
        "ERROR: Devices detected were not the correct model and build", "ERROR: No hex files for given model",
        "ERROR: No hex files for given build", "ERROR: Timeout attempting to identify devices!!"};
    ErrorTable table;
    EXPECT_EQ(table.GetError(), 0);
    for (int32_t nCode = 0; nCode < 10; ++nCode)
        EXPECT_EQ(table.GetErrorText(nCode), kTexts[nCode]);
    EXPECT_EQ(table.GetErrorText(100), "INTERNAL ERROR: No hex file available.");
    EXPECT_EQ(table.GetErrorText(101), "INTERNAL ERROR: No devices selected.");
    EXPECT_EQ(table.GetError(), 101);
    EXPECT_EQ(table.GetErrorText(10), "ERROR: Unknown error 10");
    EXPECT_EQ(table.GetErrorText(INT32_MIN), "ERROR: Unknown error -2147483648");
    EXPECT_EQ(table.GetError(), INT32_MIN);
    // SetError changes the code without a message.
    table.SetError(err_kCancelled);
    EXPECT_EQ(table.GetError(), 1);
}

}  // namespace
