// The simulator's AT-protocol boot code as configured: the words of the
// "atboot" key, the commands it takes over, and its image as Intel HEX.
#include "sim/SimAtBoot.h"
#include "sim/SimConfig.h"
#include "sim/SimHex.h"
#include "support/HexWriter.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

TEST(SimAtBootTest, ParsesTheWordsOfTheKey)
{
    SimAtBootConfig c;
    std::string error;
    ASSERT_TRUE(sim_ParseAtBoot("version=1.07 speed=K wake=none baud=ERROR echo=0 versionok=0 dpoff=none n=ERROR "
                                "bootonly=1 pace=0 errorblock=2 errors=3 nogo=4 silentafter=5 dropafter=6 image=/x.hex",
                                &c, &error))
        << error;
    EXPECT_EQ(std::make_tuple(c.version, c.cSpeed, c.cWake, c.baudResult, c.bEcho, c.bVersionOk, c.dpOffResult),
              std::make_tuple(std::string("1.07"), 'K', '\0', std::string("ERROR"), false, false, std::string()));
    EXPECT_EQ(std::make_tuple(c.nResult, c.bBootOnly, c.bPaceInput, c.nErrorBlock, c.nErrorTimes, c.nNoGoBlock,
                              c.nSilentAfter, c.nDropAfter, c.imagePath),
              std::make_tuple(std::string("ERROR"), true, false, 2, 3, 4, 5, 6, std::string("/x.hex")));
    for (const char* pszBad : {"speed=KM", "bogus=1", "errors=-1", "pace=2", "version=", "dpoff=maybe", "nogo"}) {
        c = SimAtBootConfig();
        EXPECT_FALSE(sim_ParseAtBoot(pszBad, &c, &error)) << pszBad;
        EXPECT_NE(error.find("atboot"), std::string::npos) << pszBad;
        EXPECT_EQ(c.version, "2.01") << pszBad;
    }

    // The key installs "AT*FS", and with bootonly the boot code's own commands.
    SimDeviceConfig config;
    ASSERT_TRUE(sim_ParseDeviceSpec("COM3:atmodem,atboot=version=1.07", &config, &error)) << error;
    EXPECT_TRUE(config.protocols.count("AT*FS") == 1 && config.protocols.count("ATFLP") == 0);
    ASSERT_TRUE(sim_ParseDeviceSpec("COM4:modem,atboot=bootonly=1", &config, &error)) << error;
    for (const char* pszCommand : {"AT*FS", "ATFLP", "ATDPOFF", "ATN"})
        EXPECT_EQ(config.protocols.count(pszCommand), 1u) << pszCommand;
}

TEST(SimHexTest, ImagesGetSegmentRecordsAndNoRecordCrossesAGapOrSegment)
{
    std::map<uint32_t, uint8_t> image;
    for (uint32_t nAddress = 0xFFF8; nAddress < 0x10008; ++nAddress)
        image[nAddress] = static_cast<uint8_t>(nAddress);
    image[0x10020] = 0xAA;
    image[0x30000] = 0xBB;
    std::string text = sim_HexImage(image);
    EXPECT_EQ(text, ":020000020000FC\r\n:08FFF800F8F9FAFBFCFDFEFF25\r\n:020000021000EC\r\n"
                    ":080000000001020304050607DC\r\n:01002000AA35\r\n:020000023000CC\r\n:01000000BB44\r\n"
                    ":00000001FF\r\n");
    EXPECT_EQ(hex_ParseText(text), image);
}

}  // namespace
