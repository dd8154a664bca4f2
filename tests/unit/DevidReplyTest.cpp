// Reading identification replies: the model (from the sample database), the
// version after "Version" or the last space, and the country of an "ATI9"
// or "ATI5" reply, all cut to the caller's field. The ordinary replies of
// each family are read by the identification runs.
#include "EngineSource/devid.h"
#include "model/ModelDb.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class DevidReplyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ModelDb_Clear();
        ASSERT_EQ(ModelDb_LoadFile(NORVANE_DATA_DIR "/Models.ini"), 0);
    }
    void TearDown() override { ModelDb_Clear(); }
};

TEST_F(DevidReplyTest, ModelIsCutToTheField)
{
    char szSmall[4];
    EXPECT_EQ(devid_GetModel(szSmall, sizeof szSmall, "QBXHP-TA ISDN\r\nLV5600\r\n"), 1);
    EXPECT_STREQ(szSmall, "LV5");
    EXPECT_EQ(devid_GetModel(szSmall, sizeof szSmall, "KV33600\r\n"), 0);
    EXPECT_STREQ(szSmall, "LV5");
}

TEST_F(DevidReplyTest, VersionAfterTheWordVersionElseAfterTheLastSpace)
{
    const std::string longTail(120, 'x'), cutTail(devid_kTextSize - 1, 'x');
    const struct {
        std::string reply;
        size_t nSize;
        std::string version;    // "<none>" when none is found
    } kCases[] = {
        // The character after the word is skipped, whatever it is.
        {"Version:3.10 beta", devid_kTextSize, "3.10"},
        {"Version: 3.10", devid_kTextSize, ""},
        {"version 3.10 beta", devid_kTextSize, "beta"},
        // The word at the very end: an empty version, nothing read beyond.
        {"Modem Version", devid_kTextSize, ""},
        {"Version " + longTail, devid_kTextSize, cutTail},
        // After the last space inner line breaks stay; cut where the field
        // ends, after the leading white space has gone.
        {"QBX7720 Data Modem 4.12\r\n\r\nOK", devid_kTextSize, "4.12\r\n\r\nOK"},
        {"RW3360 2.17  \r\n", devid_kTextSize, ""},
        {"A  \t" + longTail, devid_kTextSize, cutTail},
        {"A " + longTail, 10, "xxxxxxxxx"},
        {"RW3360\r\n\r\nOK", devid_kTextSize, "<none>"},
    };
    for (const auto& test : kCases) {
        char szField[devid_kTextSize] = "<none>";
        EXPECT_EQ(devid_GetVersion(szField, test.nSize, test.reply.c_str()), test.version == "<none>" ? 0 : 1);
        EXPECT_EQ(szField, test.version) << test.reply;
    }
}

TEST_F(DevidReplyTest, CountryOfAnAti9OrAti5ReplyFirstRowWins)
{
    const struct {
        const char* pszReply;
        int nMode;              // 1 "ATI9", 2 "ATI5"
        const char* pszCountry;
    } kCases[] = {
        {"7", 1, "PTT HOLLAND"}, {"HOLLAND", 1, "PTT HOLLAND"}, {"South America", 1, "PTT SOUTH AFRICA"},
        {"43", 1, "PTT"}, {"LUXEMBOURGH", 1, "LUXEMBOURG"}, {"HOLLAND ", 1, ""}, {"0", 1, ""}, {"ERROR", 1, ""},
        // 43 is also the number of the Philippines, further down.
        {" 43\r\n", 2, "JAPAN"}, {"99", 2, "PTT"}, {"98", 2, "EUROPE/NORTH AMERICA"}, {"JAPAN", 2, ""}, {"", 2, ""},
        {"45", 2, ""}, {"7", 3, ""},
    };
    for (const auto& test : kCases) {
        char szField[devid_kTextSize] = "before";
        devid_GetCountry(test.pszReply, szField, sizeof szField, test.nMode);
        EXPECT_STREQ(szField, test.pszCountry) << test.pszReply << " mode " << test.nMode;
    }
    char szSmall[4];
    devid_GetCountry("7", szSmall, sizeof szSmall, 1);
    EXPECT_STREQ(szSmall, "PTT");
}

}  // namespace
