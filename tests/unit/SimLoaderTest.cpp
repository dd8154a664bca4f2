// The simulated flash loaders over a recording link: what the Lucent loader
// answers when started or downloaded and to the faults asked for, what the
// Rockwell loader announces, their settings, and the sample Intel HEX
// images. Their timing is shown by the protocol runs on simulated devices.
#include "sim/SimAtModem.h"
#include "sim/SimConfig.h"
#include "sim/SimHexImage.h"
#include "sim/SimLoaderParts.h"
#include "sim/SimLucentLoader.h"
#include "sim/SimRockwellLoader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

using ::testing::ElementsAre;

namespace {

// Records what is sent, whatever the delay.
class AnswerLink : public SimLink {
public:
    void send(const std::string& bytes) override { sent += bytes; }
    void sendAfter(int64_t, const std::string& bytes) override { sent += bytes; }
    uint32_t hostBaud() const override { return 115200; }
    void hangUp() override {}

    std::string sent;   // the bytes sent since the last feed
};

SimDeviceConfig configWith(const std::vector<std::pair<std::string, std::string>>& settings)
{
    SimDeviceConfig config = sim_DeviceConfig(1);
    config.bEcho = false;
    for (const auto& setting : settings) {
        std::string error;
        EXPECT_TRUE(sim_ApplySetting(&config, setting.first, setting.second, &error)) << error;
    }
    return config;
}

// Feeds the host's bytes and returns what was sent.
std::string feed(SimAtModem& modem, AnswerLink& link, const std::string& bytes)
{
    link.sent.clear();
    for (char c : bytes)
        modem.onByte(link, static_cast<uint8_t>(c));
    return link.sent;
}

const char kLine1[] = ":10000000000102030405060708090A0B0C0D0E0F78\r\n";
const char kLine2[] = ":10001000101112131415161718191A1B1C1D1E1F68\r\n";
const char kEnd[] = ":00000001FF\r\n";

TEST(SimLucentLoader, StartedOrDownloadedItAnnouncesItsVersionAndAnswersEveryLine)
{
    SimDeviceConfig config = configWith({{"lucentloader", "4.3"}, {"lucentloader.line2", "nok2*2"}});
    SimAtModem modem(config);
    AnswerLink link;
    EXPECT_EQ(feed(modem, link, "AT&&WGO\r"), "Ver:4.3\r\nOK\r\n");
    EXPECT_EQ(feed(modem, link, kLine1), "OK\r\n");
    EXPECT_EQ(feed(modem, link, kLine2), "NOK2\r\n");
    EXPECT_EQ(feed(modem, link, kLine2), "NOK2\r\n");
    EXPECT_EQ(feed(modem, link, kLine2), "OK\r\n");
    EXPECT_THAT(config.pLucent->firmwareLines(), ElementsAre(kLine1, kLine2, kLine2, kLine2));
    modem.onClosed();
    EXPECT_FALSE(modem.inProtocol());

    // Downloaded line by line, it runs at the end record.
    SimDeviceConfig loaded = configWith({{"lucentloader.loader2", "none"}});
    SimAtModem other(loaded);
    EXPECT_EQ(feed(other, link, std::string("at&&f") + kLine1), "OK\r\n");
    EXPECT_EQ(feed(other, link, std::string("at&&f") + kLine2), "");
    EXPECT_EQ(loaded.pLucent->runs(), 0);
    EXPECT_EQ(feed(other, link, std::string("at&&f") + kEnd), "Ver:4.4\r\nOK\r\n");
    EXPECT_EQ(loaded.pLucent->runs(), 1);
    EXPECT_EQ(loaded.pLucent->loaderLines().size(), 3u);
}

TEST(SimRockwellLoader, AnnouncesEachStepAndAnswersNoLine)
{
    SimDeviceConfig config = configWith({{"rockwellloader", "announce"}});
    EXPECT_TRUE(config.bPaceInput);
    SimAtModem modem(config);
    AnswerLink link;
    EXPECT_EQ(feed(modem, link, "AT**\r"), "Download initiated ..\r\n");
    EXPECT_EQ(feed(modem, link, "S00600004844521B\r\nS9030000FC\r\n"), "Download flash code ..\r\n");
    EXPECT_EQ(feed(modem, link, std::string(kLine1) + kLine2), "");
    EXPECT_EQ(feed(modem, link, kEnd), "Device successfully programmed\r\n");
    EXPECT_THAT(config.pRockwell->firmwareLines(), ElementsAre(kLine1, kLine2, kEnd));
    EXPECT_EQ(config.pRockwell->downloads(), 1);
}

TEST(SimLoaderSettings, AnswersAndKeysAreCheckedWhole)
{
    SimLoaderAnswer answer;
    ASSERT_TRUE(sim_ParseLoaderAnswer("Nok3@250*4", &answer));
    EXPECT_TRUE(answer.eKind == SimAnswerKind::kNok3 && answer.nLateMs == 250 && answer.nTimes == 4);
    ASSERT_TRUE(sim_ParseLoaderAnswer(" none ", &answer));
    EXPECT_TRUE(answer.eKind == SimAnswerKind::kNone && answer.nLateMs == 0 && answer.nTimes == 1);
    for (const char* pszBad : {"nok5", "ok@", "ok@x", "ok*0", "ok*-1", "", "late"})
        EXPECT_FALSE(sim_ParseLoaderAnswer(pszBad, &answer)) << pszBad;

    const std::pair<const char*, const char*> kBad[] = {
        {"lucentloader.line0", "ok"},      {"lucentloader.line", "ok"},        {"lucentloader.linex", "ok"},
        {"lucentloader.start", "announce"}, {"lucentloader.line2", "nok9"},    {"lucentloader.other", "ok"},
        {"rockwellloader", "maybe"},       {"rockwellloader.step", "ok"},      {"inputpacing", "2"},
    };
    for (const auto& bad : kBad) {
        SimDeviceConfig fresh = sim_DeviceConfig(1);
        std::string error;
        EXPECT_FALSE(sim_ApplySetting(&fresh, bad.first, bad.second, &error)) << bad.first;
        EXPECT_FALSE(error.empty());
    }
}

// The bytes of an Intel HEX record.
std::vector<int> recordBytes(const std::string& line)
{
    std::vector<int> bytes;
    for (size_t i = 1; i + 1 < line.size(); i += 2)
        bytes.push_back(static_cast<int>(strtol(line.substr(i, 2).c_str(), nullptr, 16)));
    return bytes;
}

TEST(SimHexImage, RecordsAreValidAndStayWithinTheirSegment)
{
    std::string text = sim_MakeIntelHex(0xFFF0, 100, 32, 7);
    EXPECT_NE(text, sim_MakeIntelHex(0xFFF0, 100, 32, 8));
    std::vector<std::string> lines;
    for (size_t nStart = 0, nEnd; (nEnd = text.find("\r\n", nStart)) != std::string::npos; nStart = nEnd + 2)
        lines.push_back(text.substr(nStart, nEnd - nStart));
    // Segment 0, 16 bytes up to the boundary, segment 1, 32 + 32 + 20 bytes, end.
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0] + lines[1].substr(0, 7) + lines[2] + lines[3].substr(0, 7) + lines[6],
              ":020000040000FA:10FFF0:020000040001F9:200000:00000001FF");
    for (const std::string& line : lines) {
        std::vector<int> bytes = recordBytes(line);
        ASSERT_EQ(bytes.size(), static_cast<size_t>(bytes[0] + 5)) << line;
        int nSum = 0;
        for (int byte : bytes)
            nSum += byte;
        EXPECT_EQ(nSum & 0xFF, 0) << line;
    }
}

}  // namespace
