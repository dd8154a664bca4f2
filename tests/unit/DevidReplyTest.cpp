// Reading identification replies: the model (from the sample database), the
// version after "Version" or the last space, and the country of an "ATI9"
// or "ATI5" reply, all cut to the caller's field.
#include "EngineSource/devid.h"
#include "model/ModelDb.h"
#include "support/Faults.h"
#include "support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class DevidReplyTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ModelDb_Clear();
        ASSERT_EQ(ModelDb_LoadFile(NORVANE_DATA_DIR "/Models.ini"), 0);
    }
    void TearDown() override { ModelDb_Clear(); }

    // The version devid_GetVersion reads from pszReply ("<none>" when it
    // finds none).
    std::string version(const std::string& reply, size_t nSize = devid_kTextSize)
    {
        char szField[devid_kTextSize] = "<none>";
        return devid_GetVersion(szField, nSize, reply.c_str()) == 1 ? szField : "<none>";
    }

    std::string country(const char* pszReply, int nMode)
    {
        char szField[devid_kTextSize] = "before";
        devid_GetCountry(pszReply, szField, sizeof szField, nMode);
        return szField;
    }

    TempDir m_dir;
};

TEST_F(DevidReplyTest, ModelIsTheFirstDatabaseNameEndingAWord)
{
    char szModel[devid_kTextSize] = "before";
    EXPECT_EQ(devid_GetModel(szModel, sizeof szModel, "QBXHP-TA ISDN Terminal Adapter\r\nVersion 2.05"), 1);
    EXPECT_STREQ(szModel, "QBXHP-TA");
    EXPECT_EQ(devid_GetModel(szModel, sizeof szModel, "Modem KV3360"), 1);
    EXPECT_STREQ(szModel, "KV3360");
    // Other letter case, or the name running on into a longer word: none.
    for (const char* pszReply : {"kv3360 Version 3.10", "KV33600\r\n", "Data/Fax Modem", ""})
        EXPECT_EQ(devid_GetModel(szModel, sizeof szModel, pszReply), 0) << pszReply;
    EXPECT_STREQ(szModel, "KV3360");
    char szSmall[4];
    EXPECT_EQ(devid_GetModel(szSmall, sizeof szSmall, "LV5600\r\n"), 1);
    EXPECT_STREQ(szSmall, "LV5");
}

TEST_F(DevidReplyTest, VersionAfterTheWordVersion)
{
    EXPECT_EQ(version("KV3360 V.34 Data/Fax Modem\r\nVersion 3.10\r\n\r\nOK"), "3.10");
    // The character after the word is skipped, whatever it is.
    EXPECT_EQ(version("Version:3.10 beta"), "3.10");
    EXPECT_EQ(version("Version: 3.10"), "");
    EXPECT_EQ(version("version 3.10 beta"), "beta");
    // The word at the very end: an empty version, nothing read beyond.
    EXPECT_EQ(version("Modem Version"), "");
    EXPECT_EQ(version("Version " + std::string(100, '7')), std::string(devid_kTextSize - 1, '7'));
}

TEST_F(DevidReplyTest, VersionAfterTheLastSpaceKeepsInnerLineBreaks)
{
    EXPECT_EQ(version("QBX7720 Data Modem 4.12\r\n\r\nOK"), "4.12\r\n\r\nOK");
    EXPECT_EQ(version("RW3360 2.17  \r\n"), "");
    // Cut where the field ends, after the leading white space has gone.
    std::string longTail = std::string(120, 'x');
    EXPECT_EQ(version("A  \t" + longTail), std::string(devid_kTextSize - 1, 'x'));
    EXPECT_EQ(version("A " + longTail, 10), std::string(9, 'x'));

    ScopedLogFile log(m_dir.file("log.txt"));
    EXPECT_EQ(version("RW3360\r\n\r\nOK"), "<none>");
    EXPECT_THAT(log.text(), HasSubstr("]: [devid_GetVersion] return FALSE\n"));
    EXPECT_EQ(version("Version 1"), "1");
    EXPECT_EQ(version("LV5600 1.23"), "1.23");
    EXPECT_EQ(log.text().find("return FALSE"), log.text().rfind("return FALSE"));
}

TEST_F(DevidReplyTest, CountryOfAnAti9OrAti5ReplyFirstRowWins)
{
    struct Case {
        const char* pszReply;
        int nMode;              // 1 "ATI9", 2 "ATI5"
        const char* pszCountry;
    };
    const Case kCases[] = {
        {"7", 1, "PTT HOLLAND"}, {"holland", 1, "PTT HOLLAND"}, {"HOLLAND", 1, "PTT HOLLAND"},
        {"36", 1, "PTT SOUTH AFRICA"}, {"South America", 1, "PTT SOUTH AFRICA"}, {"43", 1, "PTT"},
        // -1 stands for "no number" in the table: the first such row wins.
        {"-1", 1, "BULGARIA"}, {"LUXEMBOURGH", 1, "LUXEMBOURG"},
        {"99", 1, ""}, {"HOLLAND ", 1, ""}, {"0", 1, ""}, {"", 1, ""}, {"ERROR", 1, ""},
        // 43 is also the number of the Philippines, further down.
        {"22", 2, "NORTH AMERICAN"}, {" 43\r\n", 2, "JAPAN"}, {"-1", 2, "THAILAND"}, {"99", 2, "PTT"},
        {"98", 2, "EUROPE/NORTH AMERICA"},
        {"0", 2, ""}, {"JAPAN", 2, ""}, {"", 2, ""}, {"45", 2, ""},
        {"7", 3, ""},
    };
    for (const Case& test : kCases)
        EXPECT_EQ(country(test.pszReply, test.nMode), test.pszCountry) << test.pszReply << " mode " << test.nMode;
    char szSmall[4];
    devid_GetCountry("7", szSmall, sizeof szSmall, 1);
    EXPECT_STREQ(szSmall, "PTT");
}

}  // namespace
