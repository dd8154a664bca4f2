// The command line as the shell hands it over: flags, pending values, the
// "/" prefix and the options' effects.
#include "wizard/WizardCommandLine.h"

#include "unit/SampleModels.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// "flags boot-code baud|port|file|model" of the parsed arguments; the flags
// are log, country choice, show results, force boot, developers and force
// loader, each 0 or 1.
std::string parse(std::vector<const char*> args)
{
    args.insert(args.begin(), "norvane");
    CWizardCommandLineInfo info;
    WizardCommandLine_Parse(&info, static_cast<int>(args.size()), args.data());
    std::string flags;
    for (bool bFlag : {info.m_bLog, info.m_bCountryChoice, info.m_bShowResults, info.m_bForceBoot,
                       info.m_bDevelopers, info.m_bForceLoader})
        flags += bFlag ? '1' : '0';
    return flags + " " + std::to_string(info.m_nBootCode) + " " + std::to_string(info.m_nBaud) + "|" +
           info.m_strPort + "|" + info.m_strHexFile + "|" + info.m_Model.name;
}

typedef SampleModelsTest WizardCommandLineTest;

TEST_F(WizardCommandLineTest, FlagsAndValuesWithEitherPrefixAndOddArguments)
{
    const std::pair<std::vector<const char*>, const char*> kCases[] = {
        {{}, "001000 0 38400||SORTED.HEX|"},
        // Switches in either case.
        {{"-b", "-C", "-d", "-H", "-s", "-W"}, "111101 1 38400||SORTED.HEX|"},
        // The developers' flag toggles.
        {{"-v"}, "001010 0 38400||SORTED.HEX|"},
        {{"-v", "-V"}, "001000 0 38400||SORTED.HEX|"},
        {{"-V", "-v", "/v"}, "001010 0 38400||SORTED.HEX|"},
        // Single-port mode; a model is known by name in any case, or not at all.
        {{"-p", "COM5", "-f", "A.HEX", "-m", "kv3360", "-r", "115200"}, "001000 0 115200|COM5|A.HEX|KV3360"},
        {{"-m", "NOSUCHMODEL"}, "001000 0 38400||SORTED.HEX|"},
        // Not numeric: the baud rate becomes 0; a value-taking option last
        // has no effect.
        {{"-r", "abc"}, "001000 0 0||SORTED.HEX|"},
        {{"-r"}, "001000 0 38400||SORTED.HEX|"},
        // More than one letter, or unknown: ignored.
        {{"-debug", "-x", "-"}, "001000 0 38400||SORTED.HEX|"},
        // A value written as a flag is the value and then the flag; "/d" is
        // a flag too, and the text after it is no value of anything.
        {{"-p", "-d"}, "101000 0 38400|d|SORTED.HEX|"},
        {{"-p", "/d", "X.HEX"}, "101000 0 38400|d|SORTED.HEX|"},
        // A plain argument with nothing pending is no option.
        {{"d", "v"}, "001000 0 38400||SORTED.HEX|"},
        // "/" starts a flag only before one letter.
        {{"/d", "/p", "/dev/ttyUSB0", "/f", "/home/tech/KV.HEX"}, "101000 0 38400|/dev/ttyUSB0|/home/tech/KV.HEX|"},
        {{"/dd"}, "001000 0 38400||SORTED.HEX|"},
        {{"/1"}, "001000 0 38400||SORTED.HEX|"},
    };
    for (const auto& test : kCases) {
        std::string args;
        for (const char* pszArg : test.first)
            args += std::string(pszArg) + " ";
        EXPECT_EQ(parse(test.first), test.second) << args;
    }
}

}  // namespace
