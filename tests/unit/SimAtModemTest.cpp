// The simulator's pure pieces: the AT command layer over a recording link,
// its configuration (files, one-off specifications) and the escapes.
#include "sim/SimAtModem.h"
#include "sim/SimConfig.h"
#include "sim/SimText.h"

#include <gtest/gtest.h>

#include <algorithm>
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

TEST(SimAtModem, EchoVerboseAndQuietAsAModemFramesThem)
{
    SimAtModem modem(sim_DeviceConfig(1));
    RecordingLink link;
    EXPECT_EQ(type(modem, link, "AT\r"), "AT\r\r\nOK\r\n");
    EXPECT_EQ(type(modem, link, "ATI\r"), "ATI\r\r\nNorvane simulated modem\r\n\r\nOK\r\n");
    EXPECT_EQ(type(modem, link, "ATE0\r"), "ATE0\r\r\nOK\r\n");
    EXPECT_FALSE(modem.echo());
    EXPECT_EQ(type(modem, link, "ATV0\r"), "0\r");
    EXPECT_EQ(type(modem, link, "ATI\r"), "Norvane simulated modem\r\n0\r");
    EXPECT_EQ(type(modem, link, "ATI9\r"), "4\r");
    EXPECT_EQ(type(modem, link, "ATQ1\r"), "");
    EXPECT_TRUE(modem.quiet());
    // The compound command sets all three at once.
    EXPECT_EQ(type(modem, link, "ATE1V1Q0\r"), "\r\nOK\r\n");
    EXPECT_TRUE(modem.echo() && modem.verbose() && !modem.quiet());
    EXPECT_EQ(type(modem, link, "ate0v0\r"), "ate0v0\r0\r");
    EXPECT_EQ(type(modem, link, "ATZ\r"), "\r\nOK\r\n");
    EXPECT_EQ(type(modem, link, "AT\r"), "AT\r\r\nOK\r\n");
    EXPECT_EQ(type(modem, link, "ATE2\r"), "ATE2\r\r\nERROR\r\n");
    EXPECT_EQ(modem.commandCount(), 12);
}

TEST(SimAtModem, FindsTheCommandAfterNoiseAndIgnoresOtherLines)
{
    SimDeviceConfig config = sim_DeviceConfig(1);
    config.bEcho = false;
    SimAtModem modem(config);
    RecordingLink link;
    EXPECT_EQ(type(modem, link, "AAAAT\r"), "\r\nOK\r\n");
    EXPECT_EQ(type(modem, link, "hello\r\n"), "");
    EXPECT_EQ(type(modem, link, "ATX\bI\r"), "\r\nNorvane simulated modem\r\n\r\nOK\r\n");
    // An overlong line is thrown away.
    EXPECT_EQ(type(modem, link, std::string(250, 'x') + "AT" + std::string(10, 'x') + "\r"), "");
    EXPECT_EQ(modem.commandCount(), 2);
}

TEST(SimAtModem, ConfiguredRepliesAndMisbehaviour)
{
    SimDeviceConfig config = sim_DeviceConfig(1);
    config.bEcho = false;
    std::string error;
    ASSERT_TRUE(sim_ApplySetting(&config, "reply.ATI1", "1.07\\nskip\\nGERMANY", &error)) << error;
    ASSERT_TRUE(sim_ApplySetting(&config, "result.AT&&F", "ERROR", &error));
    ASSERT_TRUE(sim_ApplySetting(&config, "raw.ATI9", "\\r\\n7\\xff\\r\\n", &error));
    ASSERT_TRUE(sim_ApplySetting(&config, "ff", "2", &error));
    ASSERT_TRUE(sim_ApplySetting(&config, "stopafter", "3", &error));
    SimAtModem modem(config);
    RecordingLink link;
    EXPECT_EQ(type(modem, link, "ATI1\r"), "\xFF\xFF\r\n1.07\r\nskip\r\nGERMANY\r\n\r\nOK\r\n");
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

// A protocol mode that adds one to every byte until "Q".
class PlusOne : public SimProtocolMode {
public:
    void start(SimLink& link) override { link.send("GO"); }
    bool onByte(SimLink& link, uint8_t byte) override
    {
        if (byte == 'Q')
            return false;
        link.send(std::string(1, static_cast<char>(byte + 1)));
        return true;
    }
};

TEST(SimAtModem, ProtocolModeOwnsTheStreamUntilItHandsItBack)
{
    SimDeviceConfig config = sim_DeviceConfig(1);
    config.protocols["AT*FS"] = [] { return std::make_unique<PlusOne>(); };
    SimAtModem modem(config);
    RecordingLink link;
    EXPECT_EQ(type(modem, link, "at*fs\r"), "at*fs\rGO");
    EXPECT_TRUE(modem.inProtocol());
    EXPECT_EQ(type(modem, link, "HAL\r"), "IBM\x0e");
    EXPECT_EQ(type(modem, link, "QAT\r"), "AT\r\r\nOK\r\n");
    EXPECT_FALSE(modem.inProtocol());
    type(modem, link, "AT*FS\r");
    modem.onClosed();
    EXPECT_FALSE(modem.inProtocol());
}

TEST(SimConfig, ParsesSectionsSettingsAndEscapes)
{
    std::vector<SimDeviceConfig> devices;
    std::string error;
    ASSERT_TRUE(sim_ParseConfig("# two devices\n"
                                "[COM3]\n"
                                "family = modem\n"
                                "echo = off\n"
                                "reply.ATI = Line one\\nLine two\r\n"
                                "result.ATI = none\n"
                                "late = 120\n"
                                "\n"
                                "[com12]\n"
                                "raw.AT = \\x41\\r\n"
                                "silent = yes\n"
                                "dropafter = 2\n",
                                &devices, &error))
        << error;
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].nPort, 3);
    EXPECT_FALSE(devices[0].bEcho);
    EXPECT_EQ(devices[0].replies["ATI"].lines, (std::vector<std::string>{"Line one", "Line two"}));
    EXPECT_EQ(devices[0].replies["ATI"].result, "");
    EXPECT_EQ(devices[0].misbehaviour.nLateMs, 120);
    EXPECT_EQ(devices[1].nPort, 12);
    EXPECT_TRUE(devices[1].replies["AT"].bRaw);
    EXPECT_EQ(devices[1].replies["AT"].raw, "A\r");
    EXPECT_TRUE(devices[1].misbehaviour.bSilent);
    EXPECT_EQ(devices[1].misbehaviour.nDropAfter, 2);
    // The family's own reply stays where the file set none.
    EXPECT_EQ(devices[1].replies["ATI"].lines, (std::vector<std::string>{"Norvane simulated modem"}));
}

TEST(SimConfig, ReportsTheLineOfAnError)
{
    const char* kBad[][2] = {
        {"echo = 1\n", "line 1"},
        {"[COM3]\nlate = soon\n", "line 2"},
        {"[COM3]\n\nfamily = toaster\n", "line 3"},
        {"[LPT1]\n", "line 1"},
        {"[COM3]\nnonsense\n", "line 2"},
        {"[COM3]\nlate.ATI = 5\n", "line 2"},
    };
    for (const auto& bad : kBad) {
        std::vector<SimDeviceConfig> devices;
        std::string error;
        EXPECT_FALSE(sim_ParseConfig(bad[0], &devices, &error)) << bad[0];
        EXPECT_EQ(error.rfind(bad[1], 0), 0u) << error;
        EXPECT_TRUE(devices.empty());
    }
}

TEST(SimConfig, OneOffDeviceSpecifications)
{
    SimDeviceConfig config;
    std::string error;
    ASSERT_TRUE(sim_ParseDeviceSpec("COM7:modem,late=200,echo=0,reply.ATI3=V1\\x2c2", &config, &error)) << error;
    EXPECT_EQ(config.nPort, 7);
    EXPECT_EQ(config.family, "modem");
    EXPECT_EQ(config.misbehaviour.nLateMs, 200);
    EXPECT_FALSE(config.bEcho);
    EXPECT_EQ(config.replies["ATI3"].lines, std::vector<std::string>{"V1,2"});
    ASSERT_TRUE(sim_ParseDeviceSpec("COM2", &config, &error));
    EXPECT_EQ(config.nPort, 2);
    EXPECT_FALSE(sim_ParseDeviceSpec("COM:modem", &config, &error));
    EXPECT_FALSE(sim_ParseDeviceSpec("COM4:fax", &config, &error));
    EXPECT_FALSE(sim_ParseDeviceSpec("COM4:modem,late", &config, &error));
}

TEST(SimFamilies, IdentificationRepliesFramedAsDevicesFrameThem)
{
    struct Case {
        const char* pszFamily;
        const char* pszCommand;
        const char* pszReply;
    };
    const Case kCases[] = {
        {"atmodem", "ATI\r", "ATI\r\r\nKV3360 V.34 Data/Fax Modem\r\nVersion 3.10\r\n\r\nOK\r\n"},
        {"atmodem", "ATI1\r", "ATI1\r\r\n3.10\r\nChecksum 8E41\r\nPTT GERMAN\r\n\r\n\r\nOK\r\n"},
        {"ta", "AT%I\r", "AT%I\r\r\n0\r\n\r\nOK\r\n"},
        {"lucent", "AAAAT\r", "AAAAT\r\r\nOK\r\n"},
        {"lucent", "AT&&F\r", "AT&&F\r\r\nOK\r\n"},
        {"lucent", "ATI5\r", "ATI5\r\r\nU 05 RRFL,40,12AB\r\n\r\nOK\r\n"},
        {"lucent", "AT&&WFL\r", "AT&&WFL\r\r\n12AB,40,\r\n\r\nOK\r\n"},
        {"lucent", "ATI9\r", "ATI9\r\r\n7\r\n\r\nOK\r\n"},
        {"rockwell", "ATI\r", "ATI\r\r\nRW3360\r\n\r\nOK\r\n"},
        {"rockwell", "ATI3\r", "ATI3\r\r\n2.17-SP\r\n\r\nOK\r\n"},
        {"rockwell", "ATI5\r", "ATI5\r\r\n22\r\n\r\nOK\r\n"},
        // "AT&&F" is one command, never settings: a family without it refuses it.
        {"modem", "AT&&F\r", "AT&&F\r\r\nERROR\r\n"},
        {"rockwell", "AT&&FFL\r", "AT&&FFL\r\r\nERROR\r\n"},
        {"atmodem", "AT%I\r", "AT%I\r\r\nERROR\r\n"},
    };
    for (const Case& test : kCases) {
        SimAtModem modem(sim_DeviceConfig(1, test.pszFamily));
        RecordingLink link;
        EXPECT_EQ(type(modem, link, test.pszCommand), test.pszReply) << test.pszFamily << " " << test.pszCommand;
    }
    std::vector<std::string> names = sim_FamilyNames();
    for (const char* pszFamily : {"modem", "atmodem", "ta", "lucent", "rockwell"})
        EXPECT_NE(std::find(names.begin(), names.end(), pszFamily), names.end()) << pszFamily;
}

TEST(SimFamilies, SettingsTuneAFamilyInAnyOrder)
{
    SimDeviceConfig config;
    std::string error;
    ASSERT_TRUE(sim_ParseDeviceSpec("COM3:lucent,result.AT&&F=ERROR,reply.ATI5=C 2.30", &config, &error)) << error;
    // The family's defaults replace the modem's a specification starts from.
    EXPECT_EQ(config.replies["ATI"].lines, (std::vector<std::string>{"LV5600 V.90 Data/Fax Modem", "Version 1.23"}));
    EXPECT_EQ(config.replies["AT&&F"].result, "ERROR");
    EXPECT_EQ(config.replies["ATI5"].lines, std::vector<std::string>{"C 2.30"});
    EXPECT_EQ(config.replies["AT&&W"].result, "OK");

    std::vector<SimDeviceConfig> devices;
    ASSERT_TRUE(sim_ParseConfig("[COM4]\nreply.ATI5 = 43\nreply.ATI = RW3360 custom\nfamily = rockwell\n"
                                "[COM5]\nfamily = rockwell\nfamily = ta\n",
                                &devices, &error))
        << error;
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0].replies["ATI5"].lines, std::vector<std::string>{"43"});
    EXPECT_EQ(devices[0].replies["ATI"].lines, std::vector<std::string>{"RW3360 custom"});
    EXPECT_EQ(devices[0].replies["ATI3"].lines, std::vector<std::string>{"2.17-SP"});
    // Switching family drops the defaults of the one before.
    EXPECT_EQ(devices[1].family, "ta");
    EXPECT_EQ(devices[1].replies.count("ATI3"), 0u);
    EXPECT_EQ(devices[1].replies["ATI2"].lines, std::vector<std::string>{"QBXHP-TA"});

    SimDeviceConfig before = sim_DeviceConfig(6, "lucent");
    SimDeviceConfig after = before;
    EXPECT_FALSE(sim_ApplySetting(&after, "family", "toaster", &error));
    EXPECT_EQ(after.family, "lucent");
    EXPECT_EQ(after.replies.size(), before.replies.size());
}

TEST(SimText, EscapesRoundTrip)
{
    std::string bytes("AT\r\n\t\\\x00\xc8~", 9);
    EXPECT_EQ(sim_Escape(bytes), "AT\\r\\n\\t\\\\\\x00\\xc8~");
    EXPECT_EQ(sim_Unescape(sim_Escape(bytes)), bytes);
    EXPECT_EQ(sim_Unescape("\\q\\x4"), "\\q\\x4");
    EXPECT_EQ(sim_Trim(" \t a b \t"), "a b");
    EXPECT_EQ(sim_Upper("at&&f"), "AT&&F");
}

}  // namespace
