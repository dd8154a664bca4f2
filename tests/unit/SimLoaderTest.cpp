// The simulated flash loaders over a recording link: what the Lucent loader
// answers when started or downloaded, to each firmware line and to the
// faults asked for; what the Rockwell loader announces and when; their
// settings; and the sample Intel HEX images.
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

// Records each send with the delay it was asked for (0: at once).
class AnswerLink : public SimLink {
public:
    void send(const std::string& bytes) override { answers.emplace_back(0, bytes); }
    void sendAfter(int64_t nDelayMs, const std::string& bytes) override { answers.emplace_back(nDelayMs, bytes); }
    uint32_t hostBaud() const override { return 115200; }
    void hangUp() override {}

    // The bytes sent since the last call, joined.
    std::string take()
    {
        std::string text;
        for (const auto& answer : answers)
            text += answer.second;
        answers.clear();
        return text;
    }

    std::vector<std::pair<int64_t, std::string>> answers;   // (delay, bytes) in order
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

// Feeds the host's bytes; returns what was sent and forgets it (bTake), or
// keeps it in link.answers with the delays.
std::string feed(SimAtModem& modem, AnswerLink& link, const std::string& bytes, bool bTake = true)
{
    for (char c : bytes)
        modem.onByte(link, static_cast<uint8_t>(c));
    return bTake ? link.take() : std::string();
}

const char kLine1[] = ":10000000000102030405060708090A0B0C0D0E0F78\r\n";
const char kLine2[] = ":10001000101112131415161718191A1B1C1D1E1F68\r\n";
const char kLine3[] = ":10002000202122232425262728292A2B2C2D2E2F58\r\n";
const char kEnd[] = ":00000001FF\r\n";

TEST(SimLucentLoader, StartedItAnnouncesItsVersionThenAnswersEveryLine)
{
    SimDeviceConfig config = configWith({{"lucentloader", "4.3"}, {"lucentloader.line2", "nok2*2"}});
    SimAtModem modem(config);
    AnswerLink link;
    EXPECT_EQ(feed(modem, link, "AT&&WGO\r"), "Ver:4.3\r\nOK\r\n");
    EXPECT_TRUE(modem.inProtocol());
    EXPECT_EQ(feed(modem, link, kLine1), "OK\r\n");
    EXPECT_EQ(feed(modem, link, kLine2), "NOK2\r\n");
    EXPECT_EQ(feed(modem, link, kLine2), "NOK2\r\n");
    EXPECT_EQ(feed(modem, link, kLine2), "OK\r\n");
    EXPECT_EQ(feed(modem, link, kLine3), "OK\r\n");
    EXPECT_THAT(config.pLucent->firmwareLines(), ElementsAre(kLine1, kLine2, kLine2, kLine2, kLine3));
    EXPECT_EQ(config.pLucent->runs(), 1);
    modem.onClosed();
    EXPECT_FALSE(modem.inProtocol());
}

TEST(SimLucentLoader, DownloadedLineByLineItRunsAtTheEndRecord)
{
    SimDeviceConfig config = configWith({{"lucentloader", "4.4"}, {"lucentloader.loader2", "none*2"}});
    SimAtModem modem(config);
    AnswerLink link;
    std::string loader1 = std::string("at&&f") + kLine1;
    std::string loader2 = std::string("at&&f") + kLine2;
    EXPECT_EQ(feed(modem, link, loader1), "OK\r\n");
    EXPECT_EQ(feed(modem, link, loader2), "");
    EXPECT_EQ(feed(modem, link, loader2), "");
    EXPECT_EQ(feed(modem, link, loader2), "OK\r\n");
    EXPECT_EQ(config.pLucent->runs(), 0);
    EXPECT_EQ(feed(modem, link, std::string("at&&f") + kEnd), "Ver:4.4\r\nOK\r\n");
    EXPECT_EQ(config.pLucent->runs(), 1);
    EXPECT_EQ(feed(modem, link, kLine1), "OK\r\n");
    EXPECT_THAT(config.pLucent->loaderLines(), ElementsAre(loader1, loader2, loader2, loader2, "at&&f" + std::string(kEnd)));
    EXPECT_THAT(config.pLucent->firmwareLines(), ElementsAre(kLine1));
}

TEST(SimLucentLoader, StartAnswersAndLateReplies)
{
    typedef std::vector<std::pair<int64_t, std::string>> Answers;
    struct Case {
        const char* pszStart;       // lucentloader.start
        const char* pszVersion;     // lucentloader
        Answers start;              // what the start command gets, and when
    };
    const Case kCases[] = {
        {"ok", "none", {{0, "OK\r\n"}}},
        {"error", "4.4", {{0, "ERROR\r\n"}}},
        {"none", "4.4", {}},
        {"ok@3000", "4.4", {{3000, "Ver:4.4\r\nOK\r\n"}}},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.pszStart);
        SimDeviceConfig config = configWith({{"lucentloader", c.pszVersion}, {"lucentloader.start", c.pszStart},
                                             {"lucentloader.line1", "ok@170000"}});
        SimAtModem modem(config);
        AnswerLink link;
        feed(modem, link, "AT&&FGO\r", false);
        EXPECT_EQ(link.answers, c.start);
        // A refused loader never runs: its lines get no answer.
        bool bRuns = std::string(c.pszStart).compare(0, 2, "ok") == 0;
        link.answers.clear();
        feed(modem, link, kLine1, false);
        EXPECT_EQ(link.answers, (bRuns ? Answers{{170000, "OK\r\n"}} : Answers{}));
        EXPECT_EQ(config.pLucent->runs(), bRuns ? 1 : 0);
    }
}

TEST(SimRockwellLoader, AnnouncesEachStepAndAnswersNoLine)
{
    SimDeviceConfig config = configWith({{"rockwellloader", "announce"}, {"rockwellloader.flashcode", "ok@500"}});
    EXPECT_TRUE(config.bPaceInput);
    SimAtModem modem(config);
    AnswerLink link;
    EXPECT_EQ(feed(modem, link, "AT**\r"), "Download initiated ..\r\n");
    EXPECT_EQ(feed(modem, link, "S00600004844521B\r\nS1130000000102030405060708090A0B0C0D0E0F74\r\n"), "");
    feed(modem, link, "S9030000FC\r\n", false);
    EXPECT_EQ(link.answers, (std::vector<std::pair<int64_t, std::string>>{{500, "OK\r\n"}}));
    link.answers.clear();
    EXPECT_EQ(feed(modem, link, std::string(kLine1) + kLine2), "");
    EXPECT_EQ(feed(modem, link, kEnd), "Device successfully programmed\r\n");
    EXPECT_EQ(config.pRockwell->bootLines().size(), 3u);
    EXPECT_THAT(config.pRockwell->firmwareLines(), ElementsAre(kLine1, kLine2, kEnd));
    EXPECT_EQ(config.pRockwell->downloads(), 1);

    SimDeviceConfig silent = configWith({{"rockwellloader", "none"}});
    SimAtModem quiet(silent);
    EXPECT_EQ(feed(quiet, link, "AT**\rS9030000FC\r\n" + std::string(kEnd)), "");
}

TEST(SimLoaderSettings, AnswersKeysAndValues)
{
    SimLoaderAnswer answer;
    ASSERT_TRUE(sim_ParseLoaderAnswer("Nok3@250*4", &answer));
    EXPECT_EQ(answer.eKind, SimAnswerKind::kNok3);
    EXPECT_EQ(answer.nLateMs, 250);
    EXPECT_EQ(answer.nTimes, 4);
    ASSERT_TRUE(sim_ParseLoaderAnswer(" none ", &answer));
    EXPECT_EQ(answer.eKind, SimAnswerKind::kNone);
    EXPECT_EQ(answer.nLateMs, 0);
    EXPECT_EQ(answer.nTimes, 1);
    for (const char* pszBad : {"nok5", "ok@", "ok@x", "ok*0", "ok*-1", "", "late"})
        EXPECT_FALSE(sim_ParseLoaderAnswer(pszBad, &answer)) << pszBad;

    SimDeviceConfig config = configWith({{"lucentloader.line12", "nok1"}, {"lucentloader.loader3", "error"}});
    ASSERT_NE(config.pLucent, nullptr);
    EXPECT_EQ(config.pLucent->settings.version, "4.4");
    EXPECT_EQ(config.pLucent->settings.lineAnswers.at(12).eKind, SimAnswerKind::kNok1);
    EXPECT_EQ(config.pLucent->settings.loaderAnswers.at(3).eKind, SimAnswerKind::kError);
    for (const char* pszTrigger : {"AT&&FGO", "AT&&WGO", "AT&&F:*", "AT&&W:*"})
        EXPECT_EQ(config.protocols.count(pszTrigger), 1u) << pszTrigger;
    EXPECT_FALSE(config.bPaceInput);

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

    SimDeviceConfig spec;
    std::string error;
    ASSERT_TRUE(sim_ParseDeviceSpec("COM4:modem,lucentloader=none,lucentloader.line2=nok2*3,inputpacing=1", &spec,
                                    &error))
        << error;
    EXPECT_EQ(spec.pLucent->settings.version, "");
    EXPECT_EQ(spec.pLucent->settings.lineAnswers.at(2).nTimes, 3);
    EXPECT_TRUE(spec.bPaceInput);
    std::vector<SimDeviceConfig> devices;
    ASSERT_TRUE(sim_ParseConfig("[COM5]\nrockwellloader = ok\nrockwellloader.programmed = none\n", &devices, &error))
        << error;
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].pRockwell->settings.initiated.eKind, SimAnswerKind::kOk);
    EXPECT_EQ(devices[0].pRockwell->settings.programmed.eKind, SimAnswerKind::kNone);
    EXPECT_EQ(devices[0].protocols.count("AT**"), 1u);
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
    EXPECT_EQ(text, sim_MakeIntelHex(0xFFF0, 100, 32, 7));
    EXPECT_NE(text, sim_MakeIntelHex(0xFFF0, 100, 32, 8));
    std::vector<std::string> lines;
    for (size_t nStart = 0; nStart < text.size();) {
        size_t nEnd = text.find("\r\n", nStart);
        ASSERT_NE(nEnd, std::string::npos);
        lines.push_back(text.substr(nStart, nEnd - nStart));
        nStart = nEnd + 2;
    }
    // Segment 0, 16 bytes up to the boundary, segment 1, 32 + 32 + 20 bytes, end.
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0], ":020000040000FA");
    EXPECT_EQ(lines[2], ":020000040001F9");
    EXPECT_EQ(lines.back(), ":00000001FF");
    int nData = 0;
    for (const std::string& line : lines) {
        ASSERT_EQ(line[0], ':');
        std::vector<int> bytes = recordBytes(line);
        ASSERT_EQ(bytes.size(), static_cast<size_t>(bytes[0] + 5)) << line;
        int nSum = 0;
        for (int byte : bytes)
            nSum += byte;
        EXPECT_EQ(nSum & 0xFF, 0) << line;
        if (bytes[3] == 0)
            nData += bytes[0];
    }
    EXPECT_EQ(nData, 100);
    EXPECT_EQ(recordBytes(lines[1])[0], 16);
    EXPECT_EQ(lines[1].substr(3, 4), "FFF0");
    EXPECT_EQ(lines[3].substr(3, 4), "0000");
}

}  // namespace
