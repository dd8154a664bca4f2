// Model keys, device-type lists, firmware builds and OEM builds.
#include "model/ModelKey.h"

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
        add("1,KV5120ZA,MA,QBXMODEMS,\"\"", {ModelLock{2, {2, 3, 4}}, ModelLock{5, {5, 7}}});
        add("2,ABC-12,AB,ROCKWELL,4", {});
        add("3,RWX,RW,Rockwell,\"\"", {});
    }
    void TearDown() override { ModelDb_Clear(); }

    static void add(const char* pszLine, std::vector<ModelLock> locks)
    {
        ModelEntry entry;
        ModelDb_ParseLine(pszLine, &entry);
        entry.locks = std::move(locks);
        ModelDb_Add(entry);
    }

    static ModelKey keyOf(const char* pszName, int32_t nBuild = -1)
    {
        ModelKey key;
        EXPECT_EQ(ModelKey_SetModelByName(&key, pszName), 1) << pszName;
        ModelKey_SelectBuild(&key, nBuild);
        return key;
    }

    static FirmwareBuild fromVersion(const std::string& sVersion)
    {
        FirmwareBuild build;
        EXPECT_EQ(FirmwareBuild_FromVersion(&build, ModelKey(), sVersion), 1);
        return build;
    }

    static FirmwareBuild fromCode(const std::string& sCode, const std::string& sModelCode, const ModelKey& key)
    {
        FirmwareBuild build;
        EXPECT_EQ(FirmwareBuild_FromCode(&build, sCode, sModelCode, key), 1);
        return build;
    }

    static void expectBuild(const FirmwareBuild& build, int32_t nMajor, int32_t nMinor, char cLetter, const char* pszText)
    {
        EXPECT_EQ(build.major, nMajor) << pszText;
        EXPECT_EQ(build.minor, nMinor) << pszText;
        EXPECT_EQ(build.letter, cLetter) << pszText;
        EXPECT_EQ(FirmwareBuild_Text(build), pszText);
    }
};

TEST_F(ModelKeyTest, SettingTheModelByNameAndCode)
{
    ModelKey key;
    key.count = 4;
    EXPECT_EQ(ModelKey_SetModelByName(&key, "kv5120za"), 1);
    EXPECT_EQ(key.id, 1);
    EXPECT_EQ(key.name, "KV5120ZA");
    EXPECT_EQ(key.locks.size(), 2u);
    EXPECT_EQ(key.count, 4);
    EXPECT_EQ(ModelKey_SetModelByName(&key, "KV5120"), 0);
    EXPECT_EQ(ModelKey_SetModelByCode(&key, "zz"), 0);
    EXPECT_EQ(key.name, "KV5120ZA");
    EXPECT_EQ(ModelKey_SetModelByCode(&key, "ab"), 1);
    EXPECT_EQ(key.id, 2);
    EXPECT_EQ(key.name, "ABC-12");
    EXPECT_TRUE(key.locks.empty());
    EXPECT_EQ(ModelKey_Flags(key), 0x200u);
    EXPECT_EQ(ModelKey_Flags(ModelKey()), ModelDb_kFlagsUnknown);
}

TEST_F(ModelKeyTest, SelectBuildTakesTheUpgradesOfTheMatchingLock)
{
    ModelKey key = keyOf("KV5120ZA", 5);
    EXPECT_EQ(key.build, 5);
    EXPECT_EQ(key.upgrades, (std::vector<int32_t>{5, 7}));
    EXPECT_TRUE(ModelKey_HasUpgrade(key, 7));
    EXPECT_FALSE(ModelKey_HasUpgrade(key, 6));
    ModelKey_SelectBuild(&key, 3);
    EXPECT_EQ(key.build, -1);
    EXPECT_EQ(key.upgrades, (std::vector<int32_t>{5, 7}));
    ModelKey_SelectBuild(&key, 2);
    EXPECT_EQ(key.upgrades, (std::vector<int32_t>{2, 3, 4}));
}

TEST_F(ModelKeyTest, DisplayNames)
{
    EXPECT_EQ(ModelKey_DisplayName(keyOf("KV5120ZA", 2)), "KV5120ZA - Version 2.xx");
    EXPECT_EQ(ModelKey_DisplayName(keyOf("KV5120ZA")), "KV5120ZA");
    ModelKey rockwell = keyOf("ABC-12");
    rockwell.build = 3;
    EXPECT_EQ(ModelKey_DisplayName(rockwell), "ABC");
    EXPECT_EQ(ModelKey_DisplayName(keyOf("RWX")), "RWX");
}

TEST_F(ModelKeyTest, DeviceTypeListsCountMarkAndSelect)
{
    ModelKeyList list;
    ModelKey key = keyOf("KV5120ZA", 2);
    EXPECT_EQ(ModelKeyList_AddDevice(&list, key), 0);
    EXPECT_EQ(ModelKeyList_Append(&list, key), 0u);
    EXPECT_EQ(ModelKeyList_AddDevice(&list, key), 1);
    ModelKey other = keyOf("KV5120ZA", 5);
    EXPECT_TRUE(ModelKey_SameModel(key, other));
    EXPECT_FALSE(ModelKey_Equals(key, other));
    EXPECT_EQ(ModelKeyList_AddDevice(&list, other), 0);
    EXPECT_EQ(ModelKeyList_Append(&list, other), 1u);
    ASSERT_EQ(list.keys.size(), 2u);
    EXPECT_EQ(list.keys[0]->count, 2);
    EXPECT_EQ(list.keys[1]->count, 1);

    EXPECT_EQ(ModelKeyList_NextSelected(list), nullptr);
    ModelKey_Select(&list, 0);
    ModelKey_Select(&list, 1);
    ModelKey_Select(&list, 7);
    ModelKeyList_MarkDone(&list, key);
    const ModelKey* pNext = ModelKeyList_NextSelected(list);
    ASSERT_NE(pNext, nullptr);
    EXPECT_EQ(pNext->build, 5);
    // Appending keeps earlier keys where they are.
    for (int i = 0; i < 100; ++i)
        ModelKeyList_Append(&list, keyOf("ABC-12"));
    EXPECT_EQ(pNext, list.keys[1].get());
    ModelKeyList_MarkDone(&list, other);
    EXPECT_EQ(ModelKeyList_NextSelected(list), nullptr);
    ModelKeyList_Clear(&list);
    EXPECT_TRUE(list.keys.empty());
}

TEST_F(ModelKeyTest, BuildsFromVersionTexts)
{
    expectBuild(fromVersion("3.10"), 3, 10, ' ', "3.10 ");
    expectBuild(fromVersion("3.10a"), 3, 10, 'A', "3.10A");
    expectBuild(fromVersion("12.34"), 12, 34, ' ', "12.34 ");
    expectBuild(fromVersion("3.105"), 3, 10, '5', "3.105");
    expectBuild(fromVersion("V3.100B"), 3, 100, 'B', "3.100B");
    expectBuild(fromVersion("V3.10A"), 3, 10, ' ', "3.10A ");
    expectBuild(fromVersion("V310"), 3, 10, ' ', "3.10 ");
    expectBuild(fromVersion(""), 0, 0, ' ', ". ");
    expectBuild(fromVersion("x.y"), 0, 0, ' ', ".y ");
    std::string sLong(300, '9');
    EXPECT_EQ(fromVersion(sLong + "." + sLong).major, INT32_MAX);
    EXPECT_EQ(fromVersion("V" + sLong).minor, INT32_MAX);
}

TEST_F(ModelKeyTest, BuildsFromFileCodes)
{
    ModelKey plain = keyOf("KV5120ZA");
    expectBuild(fromCode("0310", "MA", plain), 3, 10, ' ', "03.10 ");
    expectBuild(fromCode("310", "MA", plain), 3, 10, ' ', "3.10 ");
    expectBuild(fromCode("12a", "MA", plain), 12, 0, 'A', "12.A");
    expectBuild(fromCode("1", "", ModelKey()), 1, 0, ' ', "1. ");
    ModelKey rockwell = keyOf("ABC-12");
    expectBuild(fromCode("17", "AB", rockwell), 4, 17, ' ', "4.17 ");
    expectBuild(fromCode("17B", "", rockwell), 2, 17, 'B', "2.17B");
    expectBuild(fromCode("17", "QQ", rockwell), 0, 17, ' ', ".17 ");
}

TEST_F(ModelKeyTest, BuildOrder)
{
    std::vector<FirmwareBuild> builds = {fromVersion("3.10"), fromVersion("3.10a"), fromVersion("3.11"),
                                         fromVersion("4.0")};
    for (size_t i = 0; i < builds.size(); ++i) {
        for (size_t j = 0; j < builds.size(); ++j)
            EXPECT_EQ(FirmwareBuild_Less(builds[i], builds[j]), i < j) << i << " " << j;
    }
}

TEST_F(ModelKeyTest, OemBuildNames)
{
    int32_t nOem = 9;
    EXPECT_EQ(OemBuild_FromName("pellam 3", &nOem), 1);
    EXPECT_EQ(nOem, 3);
    EXPECT_EQ(OemBuild_FromName("PELLAM 6", &nOem), 0);
    EXPECT_EQ(OemBuild_FromName("PELLAM 1 ", &nOem), 0);
    EXPECT_EQ(nOem, 3);
    EXPECT_EQ(OemBuild_FromName("", &nOem), 1);
    EXPECT_EQ(nOem, 0);
}

}  // namespace
