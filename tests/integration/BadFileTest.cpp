// Firmware files slightly off, run through each of the three protocols: each
// ends with "Bad .HEX file" before a byte reaches the device, and the log
// names the line at fault.
#include "EngineSource/AtFlsh.h"
#include "EngineSource/LucFlsh.h"
#include "EngineSource/RockFlsh.h"
#include "support/FlashRun.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

namespace {

using testing::HasSubstr;

class BadFileTest : public FlashFixture {};

TEST_F(BadFileTest, NoBadFileReachesTheDevice)
{
    struct Protocol {
        const char* pszName;
        FlashProtocolFn pfnProtocol;
        int32_t nStartMode;     // Lucent: download the loader first
    };
    const Protocol kProtocols[] = {
        {"AT", AtFlsh_Program, 0}, {"Lucent", LucFlsh_Program, 2}, {"Rockwell", RockFlsh_Program, 0}};
    struct BadFile {
        const char* pszWhat;
        std::string text;
        const char* pszLog;     // what the log says
    };
    const std::string kData = ":0400100001020304E2\r\n";
    const std::string kEnd = ":00000001FF\r\n";
    const BadFile kFiles[] = {
        {"cut short", kData + ":04002000010203", "line 2: length field"},
        {"no end record", kData, "line 0: no end record"},
        {"corrupted digit", kData + ":0400200001020305D2\r\n" + kEnd, "line 2: checksum wrong"},
        {"overlapping records", kData + ":0100130011DB\r\n" + kEnd, "line 2: writes an address already written"},
        {"malformed record", kData + ":10001000ZZ\r\n" + kEnd, "line 2: not hex digits"},
        {"NUL byte", kData + std::string(":0400200001\0" "0203D2\r\n", 20) + kEnd, "line 2: not hex digits"},
        {"empty", "", "line 0: no data record"},
        {"after the end", kData + kEnd + kData, "line 3: line after the end record"},
    };
    int nPort = 1;
    for (const Protocol& protocol : kProtocols) {
        for (const BadFile& file : kFiles) {
            SCOPED_TRACE(std::string(protocol.pszName) + ": " + file.pszWhat);
            writeFirmware(file.text);
            SimDevice* pDevice = addDevice(nPort);
            ASSERT_NE(pDevice, nullptr);
            takeLog();
            EXPECT_EQ(runProtocol(protocol.pfnProtocol, nPort, 0, 0, "fw.hex", protocol.nStartMode, 0),
                      flsh_cBadHexFile);
            expectReleased(nPort);
            EXPECT_EQ(pDevice->transcript().received(), "");
            EXPECT_EQ(events(), "");
            EXPECT_THAT(takeLog(), HasSubstr("Bad .HEX file <fw.hex>, " + std::string(file.pszLog)));
            ++nPort;
        }
    }
}

}  // namespace
