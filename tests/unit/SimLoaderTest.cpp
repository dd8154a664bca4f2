// The simulated flash loaders over a recording link: what the Lucent loader
// answers when started, and what the Rockwell loader announces. Their timing
// is shown by the protocol runs on simulated devices.
#include "sim/SimAtModem.h"
#include "sim/SimConfig.h"
#include "sim/SimLucentLoader.h"
#include "sim/SimRockwellLoader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

using ::testing::ElementsAre;

namespace {

// Records what is sent, whatever the delay.
class AnswerLink : public SimLink {
public:
    void send(const std::string& bytes) override { sent += bytes; }
    void sendAfter(int64_t, const std::string& bytes) override { sent += bytes; }
    uint32_t hostBaud() const override { return 115200; }
    void hangUp() override {}

    // Feeds the host's bytes to the modem and returns what it sent.
    std::string feed(SimAtModem& modem, const std::string& bytes)
    {
        sent.clear();
        for (char c : bytes)
            modem.onByte(*this, static_cast<uint8_t>(c));
        return sent;
    }

    std::string sent;   // the bytes sent since the last feed
};

// A device without echo and with one loader setting.
SimDeviceConfig configWith(const char* pszKey, const char* pszValue)
{
    SimDeviceConfig config = sim_DeviceConfig(1);
    config.bEcho = false;
    std::string error;
    EXPECT_TRUE(sim_ApplySetting(&config, pszKey, pszValue, &error)) << error;
    return config;
}

const char kLine1[] = ":10000000000102030405060708090A0B0C0D0E0F78\r\n";
const char kLine2[] = ":10001000101112131415161718191A1B1C1D1E1F68\r\n";
const char kEnd[] = ":00000001FF\r\n";

TEST(SimLucentLoader, StartedItAnnouncesItsVersionAndAnswersEveryLine)
{
    SimDeviceConfig config = configWith("lucentloader", "4.3");
    SimAtModem modem(config);
    AnswerLink link;
    EXPECT_EQ(link.feed(modem, "AT&&WGO\r"), "Ver:4.3\r\nOK\r\n");
    EXPECT_EQ(link.feed(modem, kLine1), "OK\r\n");
    EXPECT_EQ(link.feed(modem, kLine2), "OK\r\n");
    EXPECT_THAT(config.pLucent->firmwareLines(), ElementsAre(kLine1, kLine2));
}

TEST(SimRockwellLoader, AnnouncesEachStepAndAnswersNoLine)
{
    SimDeviceConfig config = configWith("rockwellloader", "announce");
    SimAtModem modem(config);
    AnswerLink link;
    EXPECT_EQ(link.feed(modem, "AT**\r"), "Download initiated ..\r\n");
    EXPECT_EQ(link.feed(modem, "S00600004844521B\r\nS9030000FC\r\n"), "Download flash code ..\r\n");
    EXPECT_EQ(link.feed(modem, std::string(kLine1) + kLine2), "");
    EXPECT_EQ(link.feed(modem, kEnd), "Device successfully programmed\r\n");
    EXPECT_THAT(config.pRockwell->firmwareLines(), ElementsAre(kLine1, kLine2, kEnd));
}

}  // namespace
