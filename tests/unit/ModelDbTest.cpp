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

    static void add(const char* pszLine, std::vector<ModelLock> locks = {})
    {
        ModelEntry entry;
        ModelDb_ParseLine(pszLine, &entry);
        entry.locks = std::move(locks);
        ModelDb_Add(entry);
    }

    // The names in name order, each followed by a blank.
    static std::string names()
    {
        std::string sNames;
        char szName[ModelDb_kNameSize];
        for (int32_t i = 0; ModelDb_GetByIndex(i, szName, sizeof szName, nullptr) == 1; ++i)
            sNames += std::string(szName) + " ";
        return sNames;
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

    static Ints upgrades(const char* pszList)
    {
        Ints values = {-5};
        int nCount = ModelDb_ParseUpgrades(pszList, &values);
        EXPECT_EQ(nCount, static_cast<int>(values.size())) << pszList;
        return values;
    }
};

TEST_F(ModelDbTest, ModelLinesAreSplitOnSeparatorRunsTrimmedAndCut)
{
    std::string sLong = "99999999999," + std::string(60, 'N') + ",ABCDEFGHIJ,TA,12345," + std::string(500, 'x');
    const std::pair<std::string, std::string> cases[] = {
        {"7,ABC,AB12,lucent,3", "7|ABC|AB12|100|3|5"},
        {"{7, ABC, AB12, LUCENT, 3}", "7|ABC|AB12|100|3|5"},
        {"}{ 7\t},{{ ABC\r\n,AB12 ,, Lucent}{3 }", "7|ABC|AB12|100|3|5"},
        {"{2, QBXHP-TA, TB, QBXHPTA, \"\"}", "2|QBXHP-TA|TB|494||5"},
        {"7,,ABC,AB12,TA", "7|ABC|AB12|414||4"},
        {"-12, SHORT", "-12|SHORT||5||2"},
        {"1,A,B,Rockwell", "1|A|B|200||4"},
        {"1,A,B,ROCKWELL2", "1|A|B|5||4"},
        {"", "0|||5||0"},
        {sLong, "2147483647|" + std::string(ModelDb_kNameSize - 1, 'N') + "|ABCDEFG|414|123|5"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parsed(c.first), c.second) << c.first;
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
    EXPECT_EQ(upgrades("99999999999"), Ints{});
    Ints all = upgrades("1-99");
    ASSERT_EQ(all.size(), 99u);
    EXPECT_EQ(all.back(), 99);
}

TEST_F(ModelDbTest, ModelsAreOrderedByNameWithoutRegardToCase)
{
    for (const char* pszLine : {"1,beta", "2,GAMMA", "3,Alpha", "4,ALPHA"})
        add(pszLine);
    EXPECT_EQ(names(), "Alpha ALPHA beta GAMMA ");
    char szName[ModelDb_kNameSize];
    EXPECT_EQ(ModelDb_GetByIndex(4, szName, sizeof szName, nullptr), 0);
    EXPECT_EQ(ModelDb_GetByIndex(-1, szName, sizeof szName, nullptr), 0);
    // Of two names equal but for case, the one added first wins.
    int32_t nId = 0;
    EXPECT_EQ(ModelDb_FindByName("alpha", &nId, nullptr), 1);
    EXPECT_EQ(nId, 3);
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

TEST_F(ModelDbTest, LookUpsByNameCodeIdAndExtra)
{
    add("7,Kv12,KV,QBXMODEMS,\"\"", {ModelLock{2, {2, 3}}, ModelLock{5, {5}}});
    add("8,RX-1,RX,ROCKWELL,4");
    add("7,ZZ,ZZ,ROCKWELL,5");
    int32_t nId = -1;
    ModelLockRefs locks;
    EXPECT_EQ(ModelDb_FindByName("kv12", &nId, &locks), 1);
    EXPECT_EQ(nId, 7);
    ASSERT_EQ(locks.size(), 2u);
    EXPECT_EQ(locks[1]->build, 5);
    EXPECT_EQ(locks[0]->upgrades, (Ints{2, 3}));
    EXPECT_EQ(names(), "Kv12 RX-1 ZZ ");
    std::string sName;
    EXPECT_EQ(ModelDb_FindByName("KV1", &nId, nullptr), 0);
    EXPECT_EQ(ModelDb_FindByCode("rx", &nId, &sName, nullptr), 0);
    EXPECT_EQ(nId, 7);
    EXPECT_EQ(ModelDb_FindByCode("RX", &nId, &sName, nullptr), 1);
    EXPECT_EQ(sName, "RX-1");
    // Id 7 twice: the first in name order wins.
    EXPECT_EQ(ModelDb_FlagsById(7), 0x065u);
    EXPECT_EQ(ModelDb_FlagsById(99), ModelDb_kFlagsUnknown);
    EXPECT_EQ(ModelDb_ExtraByCode("RX"), "4");
    EXPECT_EQ(ModelDb_ExtraByCode("KV"), "");
    EXPECT_EQ(ModelDb_ExtraByCode("QQ"), "");
}

}  // namespace
