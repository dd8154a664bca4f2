// The simulator's pure pieces: the AT command layer over a recording link,
// its configuration (files, one-off specifications) and the escapes.
#include "sim/SimAtModem.h"
#include "sim/SimConfig.h"
#include "sim/SimText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records what the command layer sends.
class RecordingLink : public SimLink {
public:
    void send(const std::string& bytes) override { sent += bytes; }
    void sendAfter(int64_t nDelayMs, const std::string& bytes) override
    {
        delays.push_back(nDelayMs);
        sent += bytes;
    }
    uint32_t hostBaud() const override { return 38400; }
    void hangUp() override { ++nHangUps; }

    std::string sent;              // every byte sent
    std::vector<int64_t> delays;   // delays asked for
    int nHangUps = 0;              // hang-ups asked for
};

std::string type(SimAtModem& modem, RecordingLink& link, const std::string& bytes)
{
    link.sent.clear();
    for (char c : bytes)
        modem.onByte(link, static_cast<uint8_t>(c));
    return link.sent;
}

TEST(SimAtModem, FramesRepliesAsAModemDoesAndFindsCommandsAfterNoise)
{
    SimAtModem modem(sim_DeviceConfig(1));
    RecordingLink link;
    const std::pair<std::string, std::string> kSteps[] = {
        {"ATI\r", "ATI\r\r\nNorvane simulated modem\r\n\r\nOK\r\n"},
        {"ATE0V0\r", "ATE0V0\r0\r"},
        {"ATI\r", "Norvane simulated modem\r\n0\r"},
        {"ATQ1\r", ""},
        {"ATE1V1Q0\r", "\r\nOK\r\n"},
        {"ATE2\r", "ATE2\r\r\nERROR\r\n"},
        {"ATE0\r", "ATE0\r\r\nOK\r\n"},
        {"AAAAT\r", "\r\nOK\r\n"},
        {"hello\r\n", ""},
        {"ATX\bI\r", "\r\nNorvane simulated modem\r\n\r\nOK\r\n"},
        // An overlong line is thrown away.
        {std::string(250, 'x') + "AT" + std::string(10, 'x') + "\r", ""},
        // The reset brings the echo back, after its own result.
        {"ATZ\r", "\r\nOK\r\n"},
        {"AT\r", "AT\r\r\nOK\r\n"},
    };
    for (const auto& step : kSteps)
        EXPECT_EQ(type(modem, link, step.first), step.second) << step.first;
    EXPECT_EQ(modem.commandCount(), 11);
}

TEST(SimAtModem, ConfiguredRepliesAndMisbehaviour)
{
    SimDeviceConfig config = sim_DeviceConfig(1);
    config.bEcho = false;
    std::string error;
    for (const auto& setting : {std::make_pair("reply.ATI1", "1.07\\nGERMANY"), {"result.AT&&F", "ERROR"},
                                {"raw.ATI9", "\\r\\n7\\xff\\r\\n"}, {"ff", "2"}, {"stopafter", "3"}})
        ASSERT_TRUE(sim_ApplySetting(&config, setting.first, setting.second, &error)) << error;
    SimAtModem modem(config);
    RecordingLink link;
    EXPECT_EQ(type(modem, link, "ATI1\r"), "\xFF\xFF\r\n1.07\r\nGERMANY\r\n\r\nOK\r\n");
    EXPECT_EQ(type(modem, link, "at&&f\r"), "\xFF\xFF\r\nERROR\r\n");
    EXPECT_EQ(type(modem, link, "ATI9\r"), std::string("\xFF\xFF\r\n7\xFF\r\n"));
    EXPECT_EQ(type(modem, link, "AT\r"), "");

    modem.config().misbehaviour = SimMisbehaviour{false, 250, 4, 0, -1, 4};
    link.delays.clear();
    std::string noisy = type(modem, link, "ATE1\r");
    EXPECT_EQ(noisy.size(), 4u + 6u);
    EXPECT_EQ(noisy.substr(4), "\r\nOK\r\n");
    EXPECT_EQ(link.delays, std::vector<int64_t>{250});
    // The fifth command only gets its echo: the line drops.
    EXPECT_EQ(type(modem, link, "AT\r"), "AT\r");
    EXPECT_EQ(link.nHangUps, 1);
}

TEST(SimConfig, ParsesSectionsSettingsFamiliesAndEscapes)
{
    std::vector<SimDeviceConfig> devices;
    std::string error;
    ASSERT_TRUE(sim_ParseConfig("# two devices\n[COM3]\nreply.ATI5 = 43\nfamily = rockwell\necho = off\n"
                                "reply.ATI = Line one\\nLine two\r\nresult.ATI = none\nlate = 120\n\n"
                                "[com12]\nfamily = rockwell\nfamily = ta\nraw.AT = \\x41\\r\n",
                                &devices, &error))
        << error;
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].nPort, 3);
    EXPECT_FALSE(devices[0].bEcho);
    EXPECT_EQ(devices[0].misbehaviour.nLateMs, 120);
    // Settings before the family line stay; the family fills in the rest.
    EXPECT_EQ(devices[0].replies["ATI5"].lines, std::vector<std::string>{"43"});
    EXPECT_EQ(devices[0].replies["ATI3"].lines, std::vector<std::string>{"2.17-SP"});
    EXPECT_EQ(devices[0].replies["ATI"].lines, (std::vector<std::string>{"Line one", "Line two"}));
    EXPECT_EQ(devices[0].replies["ATI"].result, "");
    // Switching family drops the defaults of the one before.
    EXPECT_EQ(devices[1].nPort, 12);
    EXPECT_EQ(devices[1].replies.count("ATI3"), 0u);
    EXPECT_EQ(devices[1].replies["ATI2"].lines, std::vector<std::string>{"QBXHP-TA"});
    EXPECT_EQ(devices[1].replies["AT"].raw, "A\r");

    SimDeviceConfig config;
    ASSERT_TRUE(sim_ParseDeviceSpec("COM7:lucent,reply.ATI3=V1\\x2c2", &config, &error)) << error;
    EXPECT_EQ(config.nPort, 7);
    EXPECT_EQ(config.replies["ATI3"].lines, std::vector<std::string>{"V1,2"});
    EXPECT_EQ(config.replies["AT&&W"].result, "OK");
    for (const char* pszBad : {"COM:modem", "COM4:fax", "COM4:modem,late"})
        EXPECT_FALSE(sim_ParseDeviceSpec(pszBad, &config, &error)) << pszBad;

    std::string bytes("AT\r\n\t\\\x00\xc8~", 9);
    EXPECT_EQ(sim_Escape(bytes), "AT\\r\\n\\t\\\\\\x00\\xc8~");
    EXPECT_EQ(sim_Unescape(sim_Escape(bytes)), bytes);
    EXPECT_EQ(sim_Unescape("\\q\\x4"), "\\q\\x4");
}

TEST(SimConfig, ReportsTheLineOfAnError)
{
    const char* kBad[][2] = {
        {"echo = 1\n", "line 1"},       {"[COM3]\nlate = soon\n", "line 2"},    {"[LPT1]\n", "line 1"},
        {"[COM3]\nnonsense\n", "line 2"}, {"[COM3]\n\nfamily = toaster\n", "line 3"},
    };
    for (const auto& bad : kBad) {
        std::vector<SimDeviceConfig> devices;
        std::string error;
        EXPECT_FALSE(sim_ParseConfig(bad[0], &devices, &error)) << bad[0];
        EXPECT_EQ(error.rfind(bad[1], 0), 0u) << error;
        EXPECT_TRUE(devices.empty());
    }
}

}  // namespace
