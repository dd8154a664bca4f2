// The simulator's AT-protocol boot code as configured: the words of the
// "atboot" key, the commands it takes over, and its image as Intel HEX.
#include "sim/SimAtBoot.h"
#include "sim/SimHex.h"
#include "support/HexWriter.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(SimAtBootTest, ParsesTheWordsOfTheKey)
{
    SimAtBootConfig config;
    std::string error;
    ASSERT_TRUE(sim_ParseAtBoot("version=1.07 speed=K wake=none baud=ERROR echo=0 versionok=0 dpoff=none n=ERROR "
                                "bootonly=1 pace=0 errorblock=2 errors=3 nogo=4 silentafter=5 dropafter=6 "
                                "image=/tmp/x.hex",
                                &config, &error))
        << error;
    EXPECT_EQ(config.version, "1.07");
    EXPECT_EQ(config.cSpeed, 'K');
    EXPECT_EQ(config.cWake, 0);
    EXPECT_EQ(config.baudResult, "ERROR");
    EXPECT_FALSE(config.bEcho);
    EXPECT_FALSE(config.bVersionOk);
    EXPECT_EQ(config.dpOffResult, "");
    EXPECT_EQ(config.nResult, "ERROR");
    EXPECT_TRUE(config.bBootOnly);
    EXPECT_FALSE(config.bPaceInput);
    EXPECT_EQ(config.nErrorBlock, 2);
    EXPECT_EQ(config.nErrorTimes, 3);
    EXPECT_EQ(config.nNoGoBlock, 4);
    EXPECT_EQ(config.nSilentAfter, 5);
    EXPECT_EQ(config.nDropAfter, 6);
    EXPECT_EQ(config.imagePath, "/tmp/x.hex");

    ASSERT_TRUE(sim_ParseAtBoot(" on ", &config, &error));
    EXPECT_EQ(config.version, "2.01");
    EXPECT_EQ(config.cSpeed, 'M');
    EXPECT_TRUE(config.bPaceInput);

    for (const char* pszBad : {"speed=KM", "bogus=1", "errors=-1", "pace=2", "version=", "dpoff=maybe", "nogo"}) {
        config = SimAtBootConfig();
        EXPECT_FALSE(sim_ParseAtBoot(pszBad, &config, &error)) << pszBad;
        EXPECT_NE(error.find("atboot"), std::string::npos) << pszBad;
        EXPECT_EQ(config.version, "2.01") << pszBad;
    }
}

TEST(SimAtBootTest, TheKeyInstallsTheBootCodesCommands)
{
    SimDeviceConfig config;
    std::string error;
    ASSERT_TRUE(sim_ParseDeviceSpec("COM3:atmodem,atboot=version=1.07 speed=K", &config, &error)) << error;
    EXPECT_EQ(config.protocols.count("AT*FS"), 1u);
    EXPECT_EQ(config.protocols.count("ATFLP"), 0u);
    ASSERT_TRUE(sim_ParseDeviceSpec("COM4:modem,atboot=bootonly=1", &config, &error)) << error;
    for (const char* pszCommand : {"AT*FS", "ATFLP", "ATDPOFF", "ATN"})
        EXPECT_EQ(config.protocols.count(pszCommand), 1u) << pszCommand;
    EXPECT_FALSE(sim_ParseDeviceSpec("COM5:modem,atboot=speed", &config, &error));
    EXPECT_NE(error.find("speed"), std::string::npos);
}

TEST(SimHexTest, RecordsAndImagesReadBackByTheEngine)
{
    const uint8_t bytes[] = {0x01, 0x02, 0x03, 0x04};
    EXPECT_EQ(sim_HexRecord(0, 0x0010, bytes, 4), ":0400100001020304E2");
    EXPECT_EQ(sim_HexRecord(1, 0, nullptr, 0), ":00000001FF");

    // A run across 64 KiB, a gap, and bytes in a later segment: segment
    // records where the image enters a new 64 KiB, records never across a
    // gap or a segment.
    std::map<uint32_t, uint8_t> image;
    for (uint32_t nAddress = 0xFFF8; nAddress < 0x10008; ++nAddress)
        image[nAddress] = static_cast<uint8_t>(nAddress);
    image[0x10020] = 0xAA;
    image[0x30000] = 0xBB;
    std::string text = sim_HexImage(image);
    EXPECT_EQ(text, ":020000020000FC\r\n"
                    ":08FFF800F8F9FAFBFCFDFEFF25\r\n"
                    ":020000021000EC\r\n"
                    ":080000000001020304050607DC\r\n"
                    ":01002000AA35\r\n"
                    ":020000023000CC\r\n"
                    ":01000000BB44\r\n"
                    ":00000001FF\r\n");
    EXPECT_EQ(hex_ParseText(text), image);
}

}  // namespace
