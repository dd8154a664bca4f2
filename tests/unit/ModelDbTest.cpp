// The model database in memory: model lines, upgrade lists, name order and
// the queries over it.
#include "model/ModelDb.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

typedef std::vector<int32_t> Ints;

class ModelDbTest : public ::testing::Test {
protected:
    void SetUp() override { ModelDb_Clear(); }
    void TearDown() override { ModelDb_Clear(); }

    // Adds the model of a model line with the given locks.
    static void add(const char* pszLine, const std::vector<ModelLock>& locks = {})
    {
        ModelEntry entry;
        ModelDb_ParseLine(pszLine, &entry);
        entry.locks = locks;
        ModelDb_Add(entry);
    }

    // The names in name order.
    static std::vector<std::string> names()
    {
        std::vector<std::string> result;
        char szName[ModelDb_kNameSize];
        for (int32_t i = 0; ModelDb_GetByIndex(i, szName, sizeof szName, nullptr) == 1; ++i)
            result.push_back(szName);
        return result;
    }

    static Ints upgrades(const char* pszList)
    {
        Ints values = {-5};
        int nCount = ModelDb_ParseUpgrades(pszList, &values);
        EXPECT_EQ(nCount, static_cast<int>(values.size()));
        return values;
    }
};

TEST_F(ModelDbTest, ModelLineFieldsAreSplitOnSeparatorRunsAndTrimmed)
{
    for (const char* pszLine : {"7,ABC,AB12,lucent,3", "{7, ABC, AB12, LUCENT, 3}", "}{ 7\t},{{ ABC\r\n,AB12 ,, Lucent}{3 }"}) {
        ModelEntry entry;
        EXPECT_EQ(ModelDb_ParseLine(pszLine, &entry), 5) << pszLine;
        EXPECT_EQ(entry.id, 7);
        EXPECT_STREQ(entry.name, "ABC");
        EXPECT_STREQ(entry.code, "AB12");
        EXPECT_EQ(entry.flags, 0x100u);
        EXPECT_STREQ(entry.extra, "3");
    }
    ModelEntry entry;
    EXPECT_EQ(ModelDb_ParseLine("{2, QBXHP-TA, TB, QBXHPTA, \"\"}", &entry), 5);
    EXPECT_STREQ(entry.extra, "");
    // The empty field does not exist: later fields move up.
    EXPECT_EQ(ModelDb_ParseLine("7,,ABC,AB12,TA", &entry), 4);
    EXPECT_STREQ(entry.name, "ABC");
    EXPECT_STREQ(entry.code, "AB12");
    EXPECT_EQ(entry.flags, 0x414u);
    EXPECT_STREQ(entry.extra, "");
}

TEST_F(ModelDbTest, ShortAndOverlongModelLines)
{
    ModelEntry entry;
    EXPECT_EQ(ModelDb_ParseLine("12, SHORT", &entry), 2);
    EXPECT_EQ(entry.id, 12);
    EXPECT_STREQ(entry.name, "SHORT");
    EXPECT_STREQ(entry.code, "");
    EXPECT_EQ(entry.flags, ModelDb_kFlagsUnknown);
    EXPECT_EQ(ModelDb_ParseLine("", &entry), 0);
    EXPECT_EQ(entry.id, 0);
    EXPECT_STREQ(entry.name, "");

    std::string sLong = "99999999999," + std::string(60, 'N') + ",ABCDEFGHIJ,TA,12345," + std::string(500, 'x');
    EXPECT_EQ(ModelDb_ParseLine(sLong.c_str(), &entry), 5);
    EXPECT_EQ(entry.id, INT32_MAX);
    EXPECT_EQ(std::string(entry.name), std::string(ModelDb_kNameSize - 1, 'N'));
    EXPECT_STREQ(entry.code, "ABCDEFG");
    EXPECT_STREQ(entry.extra, "123");
}

TEST_F(ModelDbTest, ControllerFamilies)
{
    const std::pair<const char*, uint32_t> cases[] = {
        {"OLDMODEMS", 0x005}, {"newmodems", 0x024}, {"TA", 0x414},       {"QbxHiTa", 0x454}, {"QBXHPTA", 0x494},
        {"QBXMODEMS", 0x065}, {"Lucent", 0x100},    {"Rockwell", 0x200}, {"ROCKWELL2", 0x005}, {"", 0x005},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Controller_Flags(c.first), c.second) << c.first;
}

TEST_F(ModelDbTest, NumbersReadLikeAtoiButClamped)
{
    EXPECT_EQ(ModelDb_Atoi(" \t42abc"), 42);
    EXPECT_EQ(ModelDb_Atoi("-7"), -7);
    EXPECT_EQ(ModelDb_Atoi("+5"), 5);
    EXPECT_EQ(ModelDb_Atoi("x1"), 0);
    EXPECT_EQ(ModelDb_Atoi("-99999999999"), INT32_MIN);
}

TEST_F(ModelDbTest, UpgradeListsStopAtTheFirstInvalidItem)
{
    EXPECT_EQ(upgrades("3,5-7,9"), (Ints{3, 5, 6, 7, 9}));
    EXPECT_EQ(upgrades("3,0,5"), (Ints{3}));
    EXPECT_EQ(upgrades("8-6,2"), Ints{});
    EXPECT_EQ(upgrades("2, 4 - 5,,2x,2"), (Ints{2, 4, 5, 2, 2}));
    EXPECT_EQ(upgrades("7,1-100,2"), (Ints{7}));
    EXPECT_EQ(upgrades("5,abc,6"), (Ints{5}));
    EXPECT_EQ(upgrades("-3,4"), Ints{});
    EXPECT_EQ(upgrades(""), Ints{});
    Ints all = upgrades("1-99");
    ASSERT_EQ(all.size(), 99u);
    EXPECT_EQ(all.front(), 1);
    EXPECT_EQ(all.back(), 99);
}

TEST_F(ModelDbTest, ModelsAreOrderedByNameWithoutRegardToCase)
{
    add("1,beta");
    add("2,GAMMA");
    add("3,Alpha");
    add("4,ALPHA");
    EXPECT_EQ(names(), (std::vector<std::string>{"Alpha", "ALPHA", "beta", "GAMMA"}));
    char szName[ModelDb_kNameSize] = "x";
    uint32_t nFlags = 0;
    EXPECT_EQ(ModelDb_GetByIndex(4, szName, sizeof szName, &nFlags), 0);
    EXPECT_EQ(ModelDb_GetByIndex(-1, szName, sizeof szName, &nFlags), 0);
    EXPECT_EQ(ModelDb_GetByIndex(1, szName, sizeof szName, &nFlags), 1);
    EXPECT_EQ(nFlags, ModelDb_kFlagsUnknown);
    // The first of two names equal but for case wins a look-up.
    int32_t nId = 0;
    EXPECT_EQ(ModelDb_FindByName("alpha", &nId, nullptr), 1);
    EXPECT_EQ(nId, 3);
}

TEST_F(ModelDbTest, FindInTextNeedsTheFirstOccurrenceToEndAWord)
{
    add("1,AB");
    add("2,ABC");
    add("3,");
    char szName[ModelDb_kNameSize] = "";
    EXPECT_EQ(ModelDb_FindInText("ABC V1", szName, sizeof szName), 1);
    EXPECT_STREQ(szName, "ABC");
    EXPECT_EQ(ModelDb_FindInText("XABC V1", szName, sizeof szName), 1);
    EXPECT_STREQ(szName, "ABC");
    EXPECT_EQ(ModelDb_FindInText("\r\nAB\r\nOK", szName, sizeof szName), 1);
    EXPECT_STREQ(szName, "AB");
    // Only the first occurrence of a name is tested; the empty name never
    // matches; letter case counts.
    EXPECT_EQ(ModelDb_FindInText("ABD AB", szName, sizeof szName), 0);
    EXPECT_EQ(ModelDb_FindInText(" ", szName, sizeof szName), 0);
    EXPECT_EQ(ModelDb_FindInText("abc ", szName, sizeof szName), 0);
    char szSmall[2];
    EXPECT_EQ(ModelDb_FindInText("ABC", szSmall, sizeof szSmall), 1);
    EXPECT_STREQ(szSmall, "A");
}

TEST_F(ModelDbTest, LookUpsByNameCodeIdAndExtra)
{
    add("7,Kv12,KV,QBXMODEMS,\"\"", {ModelLock{2, {2, 3}}, ModelLock{5, {5}}});
    add("8,RX-1,RX,ROCKWELL,4");
    add("7,ZZ,ZZ,ROCKWELL,5");
    for (const char* pszName : {"KV12", "kv12", "Kv12"}) {
        int32_t nId = 0;
        ModelLockRefs locks;
        EXPECT_EQ(ModelDb_FindByName(pszName, &nId, &locks), 1) << pszName;
        EXPECT_EQ(nId, 7);
        ASSERT_EQ(locks.size(), 2u);
        EXPECT_EQ(locks[1]->build, 5);
        EXPECT_EQ(locks[0]->upgrades, (Ints{2, 3}));
    }
    EXPECT_EQ(names().front(), "Kv12");
    int32_t nId = -1;
    std::string sName = "none";
    EXPECT_EQ(ModelDb_FindByName("KV1", &nId, nullptr), 0);
    EXPECT_EQ(ModelDb_FindByCode("rx", &nId, &sName, nullptr), 0);
    EXPECT_EQ(nId, -1);
    EXPECT_EQ(ModelDb_FindByCode("RX", &nId, &sName, nullptr), 1);
    EXPECT_EQ(nId, 8);
    EXPECT_EQ(sName, "RX-1");
    // Id 7 twice: the first in name order wins.
    EXPECT_EQ(ModelDb_FlagsById(7), 0x065u);
    EXPECT_EQ(ModelDb_FlagsById(8), 0x200u);
    EXPECT_EQ(ModelDb_FlagsById(99), ModelDb_kFlagsUnknown);
    EXPECT_EQ(ModelDb_ExtraByCode("RX"), "4");
    EXPECT_EQ(ModelDb_ExtraByCode("KV"), "");
    EXPECT_EQ(ModelDb_ExtraByCode("QQ"), "");
}

}  // namespace
