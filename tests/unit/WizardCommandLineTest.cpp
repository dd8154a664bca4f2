// The command line as the shell hands it over: flags, pending values, the
// "/" prefix and the options' effects.
#include "wizard/WizardCommandLine.h"

#include "model/ModelDb.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Parsed {
    bool bLog, bCountry, bShowResults, bForceBoot, bDevelopers, bForceLoader;
    int32_t nBootCode, nBaud;
    std::string sPort, sHexFile, sModel;
};

Parsed parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "norvane");
    CWizardCommandLineInfo info;
    WizardCommandLine_Parse(&info, static_cast<int>(args.size()), args.data());
    return {info.m_bLog, info.m_bCountryChoice, info.m_bShowResults, info.m_bForceBoot,
            info.m_bDevelopers, info.m_bForceLoader, info.m_nBootCode, info.m_nBaud,
            info.m_strPort, info.m_strHexFile, info.m_Model.name};
}

class WizardCommandLineTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(ModelDb_LoadFile(NORVANE_DATA_DIR "/Models.ini"), 0); }
    void TearDown() override { ModelDb_Clear(); }
};

TEST_F(WizardCommandLineTest, DefaultsWithoutArguments)
{
    Parsed p = parse({});
    EXPECT_FALSE(p.bLog || p.bCountry || p.bForceBoot || p.bDevelopers || p.bForceLoader);
    EXPECT_TRUE(p.bShowResults);
    EXPECT_EQ(p.nBootCode, 0);
    EXPECT_EQ(p.nBaud, 38400);
    EXPECT_EQ(p.sPort, "");
    EXPECT_EQ(p.sHexFile, "SORTED.HEX");
    EXPECT_EQ(p.sModel, "");
}

TEST_F(WizardCommandLineTest, SwitchesInEitherCase)
{
    Parsed p = parse({"-b", "-C", "-d", "-H", "-s", "-W"});
    EXPECT_EQ(p.nBootCode, 1);
    EXPECT_TRUE(p.bForceLoader && p.bLog && p.bForceBoot && p.bShowResults && p.bCountry);
    EXPECT_FALSE(p.bDevelopers);
}

TEST_F(WizardCommandLineTest, DevelopersFlagToggles)
{
    EXPECT_TRUE(parse({"-v"}).bDevelopers);
    EXPECT_FALSE(parse({"-v", "-V"}).bDevelopers);
    EXPECT_TRUE(parse({"-V", "-v", "/v"}).bDevelopers);
}

TEST_F(WizardCommandLineTest, ValuesOfSinglePortMode)
{
    Parsed p = parse({"-p", "COM5", "-f", "A.HEX", "-m", "kv3360", "-r", "115200"});
    EXPECT_EQ(p.sPort, "COM5");
    EXPECT_EQ(p.sHexFile, "A.HEX");
    EXPECT_EQ(p.sModel, "KV3360");
    EXPECT_EQ(p.nBaud, 115200);
    EXPECT_EQ(parse({"-m", "NOSUCHMODEL"}).sModel, "");
}

TEST_F(WizardCommandLineTest, OddArgumentsTakeTheDocumentedPaths)
{
    // Not numeric: the baud rate becomes 0.
    EXPECT_EQ(parse({"-r", "abc"}).nBaud, 0);
    // More than one letter, or unknown: ignored.
    Parsed p = parse({"-debug", "-x", "-"});
    EXPECT_FALSE(p.bLog);
    EXPECT_EQ(p.sPort, "");
    // A value written as a flag is the value and then the flag.
    p = parse({"-p", "-d"});
    EXPECT_EQ(p.sPort, "d");
    EXPECT_TRUE(p.bLog);
    // A value-taking option last has no effect.
    EXPECT_EQ(parse({"-r"}).nBaud, 38400);
    // "/d" is a flag too: the port "d" and the log; the text after it is
    // no value of anything.
    p = parse({"-p", "/d", "X.HEX"});
    EXPECT_EQ(p.sPort, "d");
    EXPECT_TRUE(p.bLog);
    EXPECT_EQ(p.sHexFile, "SORTED.HEX");
    // A plain argument with nothing pending is no option.
    EXPECT_FALSE(parse({"d", "v"}).bDevelopers);
}

TEST_F(WizardCommandLineTest, SlashStartsAFlagOnlyBeforeOneLetter)
{
    Parsed p = parse({"/d", "/p", "/dev/ttyUSB0", "/f", "/home/tech/KV.HEX"});
    EXPECT_TRUE(p.bLog);
    EXPECT_EQ(p.sPort, "/dev/ttyUSB0");
    EXPECT_EQ(p.sHexFile, "/home/tech/KV.HEX");
    EXPECT_FALSE(parse({"/dd"}).bLog);
    EXPECT_FALSE(parse({"/1"}).bLog);
}

}  // namespace
