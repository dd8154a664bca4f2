// Loading Models.ini through the profile reader: results 0, 1 and 2, locks
// and upgrade lists from the file, bounds on the counts, and the sample
// database shipped in data/.
#include "model/ModelKey.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace {

class ModelDbLoadTest : public ::testing::Test {
protected:
    void SetUp() override { ModelDb_Clear(); }
    void TearDown() override { ModelDb_Clear(); }

    // Writes Models.ini from lines (CR LF line ends) and loads it.
    int load(std::initializer_list<std::string> lines)
    {
        std::string sText;
        for (const std::string& sLine : lines)
            sText += sLine + "\r\n";
        m_dir.write("Models.ini", sText);
        return ModelDb_LoadFile(m_dir.file("Models.ini").c_str());
    }

    int loadVersion(const std::string& sVersionLine)
    {
        return load({"[Version]", sVersionLine, "[Models]", "NumModels=1", "MODEL1={1, AB, AB, TA, \"\"}"});
    }

    static int32_t count()
    {
        int32_t n = 0;
        char szName[ModelDb_kNameSize];
        while (ModelDb_GetByIndex(n, szName, sizeof szName, nullptr) == 1)
            ++n;
        return n;
    }

    static ModelKey byCode(const char* pszCode)
    {
        ModelKey key;
        EXPECT_EQ(ModelKey_SetModelByCode(&key, pszCode), 1) << pszCode;
        return key;
    }

    TempDir m_dir;
};

TEST_F(ModelDbLoadTest, ResultsForCountsAndVersions)
{
    EXPECT_EQ(ModelDb_LoadFile(m_dir.file("Models.ini").c_str()), 1);
    EXPECT_EQ(load({"[Version]", "Version=1.04", "[Models]", "NumModels=0", "MODEL1=1,AB,AB,TA"}), 1);
    EXPECT_EQ(load({"[Version]", "Version=1.04", "[Models]", "NumModels=0xFFFFFFFF"}), 1);
    for (const char* pszLine : {"Version=1.03", "Version=", "Version=abc", "Version=nan", "Other=2"})
        EXPECT_EQ(loadVersion(pszLine), 2) << pszLine;
    EXPECT_EQ(count(), 0);
    // Each load reads the file anew: the cached copy is dropped also after
    // a failed version check.
    for (const char* pszLine : {"Version=1.04", "Version = 2", "Version=1.1 beta"})
        EXPECT_EQ(loadVersion(pszLine), 0) << pszLine;
    EXPECT_EQ(count(), 3);
}

TEST_F(ModelDbLoadTest, LocksUpgradesAndOrderComeFromTheFile)
{
    ASSERT_EQ(load({"; a comment", "[Version]", "Version=1.04", "[Models]", "NumModels=4",
                    "MODEL1={1, beta, BE, QBXMODEMS, \"\"}", "MODEL2={2, GAMMA, GA, ROCKWELL, 3}",
                    "MODEL3={3, Alpha, AL, lucent}", "[BETA]", "NumLocks=4", "Lock2=-1", "Upgrade2=3,5-7,9",
                    "Lock3=4", "Upgrade3=8-6,2", "Lock4=", "Upgrade4=1-99"}),
              0);
    // The missing fourth line is a model without a name, first in order.
    char szName[ModelDb_kNameSize];
    ASSERT_EQ(ModelDb_GetByIndex(1, szName, sizeof szName, nullptr), 1);
    EXPECT_STREQ(szName, "Alpha");
    EXPECT_EQ(count(), 4);
    ModelKey key = byCode("BE");
    ASSERT_EQ(key.locks.size(), 4u);
    const int32_t kBuilds[] = {-1, 0, 4, -1};
    const size_t kUpgrades[] = {0, 5, 0, 99};
    for (size_t j = 0; j < 4; ++j) {
        EXPECT_EQ(key.locks[j]->build, kBuilds[j]) << j;
        EXPECT_EQ(key.locks[j]->upgrades.size(), kUpgrades[j]) << j;
    }
    EXPECT_EQ(ModelDb_ExtraByCode("GA"), "3");
}

TEST_F(ModelDbLoadTest, CountsAndTextsBeyondTheirBoundsAreCut)
{
    std::string sLongName(38, 'L');
    ASSERT_EQ(load({"[Version]", "Version=1.04", "[Models]", "NumModels=99999", "MODEL1=1," + sLongName + ",LL,TA",
                    "MODEL2=2,MANY,MA,TA", "[" + sLongName + "]", "NumLocks=1", "Lock1=3", "[MANY]",
                    "NumLocks=2000000000", "Upgrade1=" + std::string(60, '1')}),
              0);
    EXPECT_EQ(count(), ModelDb_kMaxModels);
    EXPECT_TRUE(byCode("LL").locks.empty());
    ModelKey many = byCode("MA");
    ASSERT_EQ(many.locks.size(), static_cast<size_t>(ModelDb_kMaxLocks));
    EXPECT_TRUE(many.locks[0]->upgrades.empty());
}

TEST_F(ModelDbLoadTest, SampleDatabaseHasEveryFamily)
{
    ASSERT_EQ(ModelDb_LoadFile(NORVANE_DATA_DIR "/Models.ini"), 0);
    const struct {
        const char* pszName;
        const char* pszCode;
        uint32_t nFlags;
    } kModels[] = {
        {"QBX7720", "QA", 0x065},  {"KV5120ZA", "KZ", 0x065},  {"KV2814", "KO", 0x005},    {"KV3360", "KN", 0x024},
        {"QBXTA128", "QT", 0x414}, {"QBXHI-TA", "TH", 0x454},  {"QBXHP-TA", "TP", 0x494},  {"LV5600", "LV", 0x100},
        {"RW3360", "RW", 0x200},   {"RW3360-SP", "RS", 0x200}, {"RW3360-DX", "RD", 0x200},
    };
    EXPECT_EQ(count(), 11);
    for (const auto& model : kModels) {
        ModelKey key = byCode(model.pszCode);
        EXPECT_EQ(key.name, model.pszName);
        EXPECT_EQ(ModelKey_Flags(key), model.nFlags) << model.pszName;
        EXPECT_FALSE(key.locks.empty()) << model.pszName;
        // A device may always be loaded with its own build again.
        for (const ModelLock* pLock : key.locks) {
            ModelKey_SelectBuild(&key, pLock->build);
            EXPECT_TRUE(ModelKey_HasUpgrade(key, pLock->build)) << model.pszName;
        }
    }
    ModelKey key = byCode("RS");
    FirmwareBuild build;
    FirmwareBuild_FromCode(&build, "17", "RS", key);
    EXPECT_EQ(FirmwareBuild_Text(build), "2.17 ");
    EXPECT_EQ(ModelKey_DisplayName(key), "RW3360");
}

TEST_F(ModelDbLoadTest, LoadReadsModelsIniBesideTheProgram)
{
    ASSERT_EQ(ModelDb_Load(), 0);
    ModelKey key;
    EXPECT_EQ(ModelKey_SetModelByName(&key, "QBX7720"), 1);
}

}  // namespace
