// The model database and the keys over it, one division per area:
//   1. The database in memory: model lines, upgrade lists, name order and
//      the queries over it.
//   2. Loading Models.ini through the profile reader: results 0, 1 and 2,
//      locks from the file, bounds on the counts, the sample database
//      shipped in data/.
//   3. Model keys and firmware builds; OEM builds are read in the
//      coordinator's tests.
#include "model/ModelDb.h"
#include "model/ModelKey.h"
#include "support/ModelKeys.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <initializer_list>
#include <string>
#include <vector>

namespace {

typedef std::vector<int32_t> Ints;

// The names in name order, each followed by a blank.
std::string names()
{
    std::string sNames;
    char szName[ModelDb_kNameSize];
    for (int32_t i = 0; ModelDb_GetByIndex(i, szName, sizeof szName, nullptr) == 1; ++i)
        sNames += std::string(szName) + " ";
    return sNames;
}

// ----------------------------------------- 1. The database in memory

// An empty database at the start and the end of each test.
class ModelTest : public ::testing::Test {
protected:
    void SetUp() override { ModelDb_Clear(); }
    void TearDown() override { ModelDb_Clear(); }

    static void add(const char* pszLine, std::vector<ModelLock> locks = {})
    {
        ModelEntry entry;
        ModelDb_ParseLine(pszLine, &entry);
        entry.locks = std::move(locks);
        ModelDb_Add(entry);
    }

    // "id|name|code|flags|extra|fields found" of a parsed model line.
    static std::string parsed(const std::string& sLine)
    {
        ModelEntry entry;
        int nFields = ModelDb_ParseLine(sLine.c_str(), &entry);
        char szFlags[16];
        snprintf(szFlags, sizeof szFlags, "%x", entry.flags);
        return std::to_string(entry.id) + "|" + entry.name + "|" + entry.code + "|" + szFlags + "|" + entry.extra +
               "|" + std::to_string(nFields);
    }

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

    static ModelKey byCode(const char* pszCode)
    {
        ModelKey key;
        EXPECT_EQ(ModelKey_SetModelByCode(&key, pszCode), 1) << pszCode;
        return key;
    }

    TempDir m_dir;
};
typedef ModelTest ModelDbTest;
typedef ModelTest ModelDbLoadTest;

TEST_F(ModelDbTest, ModelLinesAreSplitOnSeparatorRunsTrimmedAndCut)
{
    std::string sLong = "99999999999," + std::string(60, 'N') + ",ABCDEFGHIJ,TA,12345," + std::string(500, 'x');
    const std::pair<std::string, std::string> cases[] = {
        {"{7, ABC, AB12, LUCENT, 3}", "7|ABC|AB12|100|3|5"}, {"}{ 7\t},{{ ABC\r\n,AB12 ,, Lucent}{3 }", "7|ABC|AB12|100|3|5"},
        {"{2, QBXHP-TA, TB, QBXHPTA, \"\"}", "2|QBXHP-TA|TB|494||5"}, {"7,,ABC,AB12,TA", "7|ABC|AB12|414||4"},
        {"-12, SHORT", "-12|SHORT||5||2"}, {"1,A,B,Rockwell", "1|A|B|200||4"}, {"1,A,B,ROCKWELL2", "1|A|B|5||4"},
        {"", "0|||5||0"},
        {sLong, "2147483647|" + std::string(ModelDb_kNameSize - 1, 'N') + "|ABCDEFG|414|123|5"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parsed(c.first), c.second) << c.first;
}

TEST_F(ModelDbTest, UpgradeListsStopAtTheFirstInvalidItem)
{
    const std::pair<const char*, Ints> kCases[] = {
        {"3,5-7,9", {3, 5, 6, 7, 9}}, {"2, 4 - 5,,2x,2", {2, 4, 5, 2, 2}}, {"3,0,5", {3}}, {"7,1-100,2", {7}},
        {"5,abc,6", {5}},             {"8-6,2", {}},                       {"-3,4", {}},   {"99999999999", {}},
    };
    for (const auto& test : kCases) {
        Ints values = {-5};
        EXPECT_EQ(ModelDb_ParseUpgrades(test.first, &values), static_cast<int>(test.second.size())) << test.first;
        EXPECT_EQ(values, test.second) << test.first;
    }
    Ints all;
    EXPECT_EQ(ModelDb_ParseUpgrades("1-99", &all), 99);
    EXPECT_EQ(all.back(), 99);
}

TEST_F(ModelDbTest, FindInTextNeedsTheFirstOccurrenceToEndAWord)
{
    for (const char* pszLine : {"1,AB", "2,ABC", "3,"})
        add(pszLine);
    const std::pair<const char*, const char*> cases[] = {
        {"ABC V1", "ABC"}, {"XABC V1", "ABC"}, {"\r\nAB\r\nOK", "AB"},
        {"ABD AB", ""},    {" ", ""},          {"abc ", ""},
    };
    for (const auto& c : cases) {
        char szName[ModelDb_kNameSize] = "";
        EXPECT_EQ(ModelDb_FindInText(c.first, szName, sizeof szName), *c.second != '\0' ? 1 : 0) << c.first;
        EXPECT_STREQ(szName, c.second);
    }
    char szSmall[2];
    EXPECT_EQ(ModelDb_FindInText("ABC", szSmall, sizeof szSmall), 1);
    EXPECT_STREQ(szSmall, "A");
}

TEST_F(ModelDbTest, ModelsInNameOrderAndLookUpsByNameCodeIdAndExtra)
{
    add("7,Kv12,KV,QBXMODEMS,\"\"", {ModelLock{2, {2, 3}}, ModelLock{5, {5}}});
    for (const char* pszLine : {"8,RX-1,RX,ROCKWELL,4", "7,ZZ,ZZ,ROCKWELL,5", "3,Alpha", "4,ALPHA"})
        add(pszLine);
    // Ordered without regard to case; of two names equal but for case, the
    // one added first wins.
    EXPECT_EQ(names(), "Alpha ALPHA Kv12 RX-1 ZZ ");
    char szName[ModelDb_kNameSize];
    EXPECT_EQ(ModelDb_GetByIndex(5, szName, sizeof szName, nullptr) + ModelDb_GetByIndex(-1, szName, 8, nullptr), 0);
    int32_t nId = -1;
    ModelLockRefs locks;
    ASSERT_EQ(ModelDb_FindByName("kv12", &nId, &locks), 1);
    ASSERT_EQ(locks.size(), 2u);
    EXPECT_EQ(std::to_string(nId) + " " + std::to_string(locks[1]->build) + " " + std::to_string(locks[0]->upgrades.size()), "7 5 2");
    std::string sName;
    EXPECT_EQ(ModelDb_FindByName("KV1", &nId, nullptr) + ModelDb_FindByCode("rx", &nId, &sName, nullptr), 0);
    EXPECT_EQ(ModelDb_FindByCode("RX", &nId, &sName, nullptr), 1);
    EXPECT_EQ(sName, "RX-1");
    // Id 7 twice: the first in name order wins.
    EXPECT_EQ(ModelDb_FlagsById(7), 0x065u);
    EXPECT_EQ(ModelDb_FlagsById(99), ModelDb_kFlagsUnknown);
    EXPECT_EQ(ModelDb_ExtraByCode("RX") + "|" + ModelDb_ExtraByCode("QQ"), "4|");
}

// --------------------------------------------- 2. Loading Models.ini

TEST_F(ModelDbLoadTest, ResultsForCountsAndVersions)
{
    EXPECT_EQ(ModelDb_LoadFile(m_dir.file("Models.ini").c_str()), 1);
    EXPECT_EQ(load({"[Version]", "Version=1.04", "[Models]", "NumModels=0", "MODEL1=1,AB,AB,TA"}), 1);
    EXPECT_EQ(load({"[Version]", "Version=1.04", "[Models]", "NumModels=0xFFFFFFFF"}), 1);
    for (const char* pszLine : {"Version=1.03", "Version=", "Version=abc", "Version=nan", "Other=2"})
        EXPECT_EQ(loadVersion(pszLine), 2) << pszLine;
    EXPECT_EQ(names(), "");
    // Each load reads the file anew: the cached copy is dropped also after
    // a failed version check.
    for (const char* pszLine : {"Version=1.04", "Version = 2", "Version=1.1 beta"})
        EXPECT_EQ(loadVersion(pszLine), 0) << pszLine;
    EXPECT_EQ(names(), "AB AB AB ");
}

TEST_F(ModelDbLoadTest, LocksComeFromTheFileAndCountsBeyondTheirBoundsAreCut)
{
    // The missing third model line is a model without a name, first in order.
    std::string sLongName(38, 'L');
    ASSERT_EQ(load({"[Version]", "Version=1.04", "[Models]", "NumModels=3", "MODEL1={1, beta, BE, QBXMODEMS, \"\"}",
                    "MODEL2=2," + sLongName + ",LL,TA", "[BETA]", "NumLocks=4", "Lock2=-1", "Upgrade2=3,5-7,9",
                    "Lock3=4", "Upgrade3=8-6,2", "Lock4=", "Upgrade4=1-99", "[" + sLongName + "]", "NumLocks=1",
                    "Lock1=3"}),
              0);
    EXPECT_EQ(names(), " beta " + sLongName + " ");
    ModelKey key = byCode("BE");
    ASSERT_EQ(key.locks.size(), 4u);
    std::string sLocks;
    for (const ModelLock* pLock : key.locks)
        sLocks += std::to_string(pLock->build) + "/" + std::to_string(pLock->upgrades.size()) + " ";
    EXPECT_EQ(sLocks, "-1/0 0/5 4/0 -1/99 ");
    // The profile reader keeps section headers of up to 39 characters: the
    // 38-letter model's section is not found.
    EXPECT_TRUE(byCode("LL").locks.empty());

    ModelDb_Clear();
    ASSERT_EQ(load({"[Version]", "Version=1.04", "[Models]", "NumModels=99999", "MODEL2=2,MANY,MA,TA", "[MANY]",
                    "NumLocks=2000000000", "Upgrade1=" + std::string(60, '1')}),
              0);
    std::string sNames = names();
    EXPECT_EQ(std::count(sNames.begin(), sNames.end(), ' '), ModelDb_kMaxModels);
    ModelKey many = byCode("MA");
    ASSERT_EQ(many.locks.size(), static_cast<size_t>(ModelDb_kMaxLocks));
    EXPECT_TRUE(many.locks[0]->upgrades.empty());
}

TEST_F(ModelDbLoadTest, SampleDatabaseBesideTheProgram)
{
    EXPECT_EQ(ModelDb_Load(), 0);
    EXPECT_EQ(names(), "KV2814 KV3360 KV5120ZA LV5600 QBX7720 QBXHI-TA QBXHP-TA QBXTA128 RW3360 RW3360-DX RW3360-SP ");
}

// ------------------------------------------ 3. Model keys and builds

class ModelKeyTest : public ModelTest {
protected:
    // KV5120ZA (locks 2 and 5) and a Rockwell ABC-12 (extra 4).
    void SetUp() override
    {
        ModelTest::SetUp();
        add("1,KV5120ZA,MA,QBXMODEMS,\"\"", {ModelLock{2, {2, 3, 4}}, ModelLock{5, {5, 7}}});
        add("2,ABC-12,AB,ROCKWELL,4");
    }

    // "major|minor|letter|text" of a build.
    static std::string shown(const FirmwareBuild& build)
    {
        return std::to_string(build.major) + "|" + std::to_string(build.minor) + "|" +
               static_cast<char>(build.letter) + "|" + FirmwareBuild_Text(build);
    }

    static FirmwareBuild fromVersion(const std::string& sVersion)
    {
        FirmwareBuild build;
        EXPECT_EQ(FirmwareBuild_FromVersion(&build, ModelKey(), sVersion), 1);
        return build;
    }
};

TEST_F(ModelKeyTest, ModelByNameOrCodeBuildsAndDisplayNames)
{
    ModelKey key;
    EXPECT_EQ(ModelKey_SetModelByName(&key, "kv5120za"), 1);
    EXPECT_EQ(ModelKey_SetModelByName(&key, "KV5120") + ModelKey_SetModelByCode(&key, "zz"), 0);
    EXPECT_EQ(key.name + " " + std::to_string(key.id), "KV5120ZA 1");
    // A build with a lock takes its upgrades; one without leaves -1.
    ModelKey_SelectBuild(&key, 5);
    EXPECT_EQ(key.upgrades, (Ints{5, 7}));
    EXPECT_TRUE(ModelKey_HasUpgrade(key, 7));
    EXPECT_FALSE(ModelKey_HasUpgrade(key, 6));
    EXPECT_EQ(ModelKey_DisplayName(test_KeyOf("KV5120ZA", 2)), "KV5120ZA - Version 2.xx");
    ModelKey_SelectBuild(&key, 3);
    EXPECT_EQ(ModelKey_DisplayName(key) + " " + std::to_string(key.build), "KV5120ZA -1");

    EXPECT_EQ(ModelKey_SetModelByCode(&key, "ab"), 1);
    // Rockwell names are shown up to their "-", without a version.
    key.build = 3;
    EXPECT_EQ(ModelKey_DisplayName(key), "ABC");
}

TEST_F(ModelKeyTest, BuildsFromVersionTextsAndFileCodesAndTheirOrder)
{
    const std::pair<const char*, const char*> cases[] = {
        {"3.10", "3|10| |3.10 "},      {"3.10a", "3|10|A|3.10A"},       {"12.34", "12|34| |12.34 "},
        {"3.105", "3|10|5|3.105"},     {"V3.100B", "3|100|B|3.100B"},   {"V3.10A", "3|10| |3.10A "},
        {"V310", "3|10| |3.10 "},      {"", "0|0| |. "},                {"x.y", "0|0| |.y "},
    };
    for (const auto& c : cases)
        EXPECT_EQ(shown(fromVersion(c.first)), c.second) << c.first;
    std::string sLong(300, '9');
    EXPECT_EQ(fromVersion(sLong + "." + sLong).major, INT32_MAX);

    // File codes: the file's model code, the key's model, the build read.
    const char* const kCodes[][4] = {
        {"0310", "MA", "KV5120ZA", "3|10| |03.10 "}, {"310", "MA", "KV5120ZA", "3|10| |3.10 "},
        {"12a", "MA", "KV5120ZA", "12|0|A|12.A"},    {"1", "", "", "1|0| |1. "},
        {"17", "AB", "ABC-12", "4|17| |4.17 "},      {"17B", "", "ABC-12", "2|17|B|2.17B"},
        {"17", "QQ", "ABC-12", "0|17| |.17 "},
    };
    for (const auto& c : kCodes) {
        FirmwareBuild build;
        EXPECT_EQ(FirmwareBuild_FromCode(&build, c[0], c[1], *c[2] != '\0' ? test_KeyOf(c[2], -1) : ModelKey()), 1);
        EXPECT_EQ(shown(build), c[3]) << c[0] << " " << c[1];
    }

    const FirmwareBuild builds[] = {fromVersion("3.10"), fromVersion("3.10a"), fromVersion("3.11"), fromVersion("4.0")};
    for (size_t i = 0; i < 4; ++i) {
        for (size_t j = 0; j < 4; ++j)
            EXPECT_EQ(FirmwareBuild_Less(builds[i], builds[j]), i < j) << i << " " << j;
    }
}

}  // namespace
