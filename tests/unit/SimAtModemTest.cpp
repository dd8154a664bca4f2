// The simulator's pure pieces: the AT command layer's reply framing over a
// recording link, and the configuration file's error lines.
#include "sim/SimAtModem.h"
#include "sim/SimConfig.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

// Records what the command layer sends.
class RecordingLink : public SimLink {
public:
    void send(const std::string& bytes) override { sent += bytes; }
    void sendAfter(int64_t, const std::string& bytes) override { sent += bytes; }
    uint32_t hostBaud() const override { return 38400; }
    void hangUp() override {}

    std::string sent;   // every byte sent
};

TEST(SimAtModem, FramesRepliesAsAModemDoesAndFindsCommandsAfterNoise)
{
    SimAtModem modem(sim_DeviceConfig(1));
    RecordingLink link;
    const std::pair<std::string, std::string> kSteps[] = {
        {"ATI\r", "ATI\r\r\nNorvane simulated modem\r\n\r\nOK\r\n"}, {"ATE0V0\r", "ATE0V0\r0\r"},
        {"ATI\r", "Norvane simulated modem\r\n0\r"},                  {"ATQ1\r", ""},
        {"ATE1V1Q0\r", "\r\nOK\r\n"},                                 {"ATE2\r", "ATE2\r\r\nERROR\r\n"},
        {"ATE0\r", "ATE0\r\r\nOK\r\n"},                               {"AAAAT\r", "\r\nOK\r\n"},
        {"hello\r\n", ""},                                            {"ATX\bI\r", "\r\nNorvane simulated modem\r\n\r\nOK\r\n"},
    };
    for (const auto& step : kSteps) {
        link.sent.clear();
        for (char c : step.first)
            modem.onByte(link, static_cast<uint8_t>(c));
        EXPECT_EQ(link.sent, step.second) << step.first;
    }
}

TEST(SimConfig, ParsesAFileAndReportsTheLineOfAnError)
{
    std::vector<SimDeviceConfig> devices;
    std::string error;
    ASSERT_TRUE(sim_ParseConfig("# one device\n[com12]\nfamily = rockwell\necho = off\nlate = 120\n", &devices, &error))
        << error;
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0].nPort, 12);
    EXPECT_FALSE(devices[0].bEcho);
    EXPECT_EQ(devices[0].misbehaviour.nLateMs, 120);
    const char* kBad[][2] = {
        {"echo = 1\n", "line 1"},         {"[COM3]\nlate = soon\n", "line 2"},           {"[LPT1]\n", "line 1"},
        {"[COM3]\nnonsense\n", "line 2"}, {"[COM3]\n\nfamily = toaster\n", "line 3"},
    };
    for (const auto& bad : kBad) {
        devices.clear();
        EXPECT_FALSE(sim_ParseConfig(bad[0], &devices, &error)) << bad[0];
        EXPECT_EQ(error.rfind(bad[1], 0), 0u) << error;
        EXPECT_TRUE(devices.empty());
    }
}

}  // namespace
