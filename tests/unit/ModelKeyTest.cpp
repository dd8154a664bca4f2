// Model keys, device-type lists, firmware builds and OEM builds.
#include "model/ModelKey.h"
#include "support/ModelKeys.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class ModelKeyTest : public ::testing::Test {
protected:
    // KV5120ZA (locks 2 and 5), a Rockwell ABC-12 (extra 4) and a Rockwell
    // model without a dash.
    void SetUp() override
    {
        ModelDb_Clear();
        const char* kLines[] = {"1,KV5120ZA,MA,QBXMODEMS,\"\"", "2,ABC-12,AB,ROCKWELL,4", "3,RWX,RW,Rockwell"};
        for (const char* pszLine : kLines) {
            ModelEntry entry;
            ModelDb_ParseLine(pszLine, &entry);
            if (entry.id == 1)
                entry.locks = {ModelLock{2, {2, 3, 4}}, ModelLock{5, {5, 7}}};
            ModelDb_Add(entry);
        }
    }
    void TearDown() override { ModelDb_Clear(); }

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

    static std::string fromCode(const std::string& sCode, const std::string& sModelCode, const ModelKey& key)
    {
        FirmwareBuild build;
        EXPECT_EQ(FirmwareBuild_FromCode(&build, sCode, sModelCode, key), 1);
        return shown(build);
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
    EXPECT_EQ(key.build, 5);
    EXPECT_EQ(key.upgrades, (std::vector<int32_t>{5, 7}));
    EXPECT_TRUE(ModelKey_HasUpgrade(key, 7) && !ModelKey_HasUpgrade(key, 6));
    EXPECT_EQ(ModelKey_DisplayName(test_KeyOf("KV5120ZA", 2)), "KV5120ZA - Version 2.xx");
    ModelKey_SelectBuild(&key, 3);
    EXPECT_EQ(key.build, -1);
    EXPECT_EQ(ModelKey_DisplayName(key), "KV5120ZA");

    EXPECT_EQ(ModelKey_SetModelByCode(&key, "ab"), 1);
    EXPECT_EQ(key.name, "ABC-12");
    EXPECT_TRUE(key.locks.empty());
    EXPECT_EQ(ModelKey_Flags(key), 0x200u);
    EXPECT_EQ(ModelKey_Flags(ModelKey()), ModelDb_kFlagsUnknown);
    // Rockwell names are shown up to their "-", without a version.
    key.build = 3;
    EXPECT_EQ(ModelKey_DisplayName(key), "ABC");
    EXPECT_EQ(ModelKey_DisplayName(test_KeyOf("RWX", -1)), "RWX");
}

// Counting the devices of a type is shown by the coordinator's tests.
TEST_F(ModelKeyTest, DeviceTypeListsMarkAndSelectAndKeepTheirKeysInPlace)
{
    ModelKeyList list;
    ModelKey key = test_KeyOf("KV5120ZA", 2), other = test_KeyOf("KV5120ZA", 5);
    EXPECT_TRUE(ModelKey_SameModel(key, other) && !ModelKey_Equals(key, other));
    ModelKeyList_Append(&list, key);
    ModelKeyList_Append(&list, other);
    EXPECT_EQ(ModelKeyList_NextSelected(list), nullptr);
    for (size_t nPosition : {0, 1, 7})
        ModelKey_Select(&list, nPosition);
    ModelKeyList_MarkDone(&list, key);
    const ModelKey* pNext = ModelKeyList_NextSelected(list);
    // Appending keeps earlier keys where they are.
    for (int i = 0; i < 100; ++i)
        ModelKeyList_Append(&list, test_KeyOf("ABC-12", -1));
    EXPECT_EQ(pNext, list.keys[1].get());
    ModelKeyList_MarkDone(&list, other);
    EXPECT_EQ(ModelKeyList_NextSelected(list), nullptr);
    ModelKeyList_Clear(&list);
    EXPECT_TRUE(list.keys.empty());
}

TEST_F(ModelKeyTest, BuildsFromVersionTexts)
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
}

TEST_F(ModelKeyTest, BuildsFromFileCodes)
{
    ModelKey plain = test_KeyOf("KV5120ZA", -1);
    EXPECT_EQ(fromCode("0310", "MA", plain), "3|10| |03.10 ");
    EXPECT_EQ(fromCode("310", "MA", plain), "3|10| |3.10 ");
    EXPECT_EQ(fromCode("12a", "MA", plain), "12|0|A|12.A");
    EXPECT_EQ(fromCode("1", "", ModelKey()), "1|0| |1. ");
    ModelKey rockwell = test_KeyOf("ABC-12", -1);
    EXPECT_EQ(fromCode("17", "AB", rockwell), "4|17| |4.17 ");
    EXPECT_EQ(fromCode("17B", "", rockwell), "2|17|B|2.17B");
    EXPECT_EQ(fromCode("17", "QQ", rockwell), "0|17| |.17 ");
}

TEST_F(ModelKeyTest, BuildOrderAndOemNames)
{
    std::vector<FirmwareBuild> builds = {fromVersion("3.10"), fromVersion("3.10a"), fromVersion("3.11"),
                                         fromVersion("4.0")};
    for (size_t i = 0; i < builds.size(); ++i) {
        for (size_t j = 0; j < builds.size(); ++j)
            EXPECT_EQ(FirmwareBuild_Less(builds[i], builds[j]), i < j) << i << " " << j;
    }
    int32_t nOem = 9;
    EXPECT_EQ(OemBuild_FromName("pellam 3", &nOem), 1);
    EXPECT_EQ(nOem, 3);
    EXPECT_EQ(OemBuild_FromName("PELLAM 6", &nOem) + OemBuild_FromName("PELLAM 1 ", &nOem), 0);
    EXPECT_EQ(nOem, 3);
    EXPECT_EQ(OemBuild_FromName("", &nOem), 1);
    EXPECT_EQ(nOem, 0);
}

}  // namespace
