// norvane-cli as a process against simulated devices played by the
// norvane-sim program: listing, updating devices of every protocol with the
// JSON report read field by field, a failing device, a file chosen per
// type, plain progress lines when the output is no terminal, ports that
// cannot be opened (busy, no permission) with their reasons, and the port
// map.
#include "EngineSource/Urswin32.h"
#include "support/FlashRun.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

using nlohmann::json;

// The whole update runs five times as fast as the devices' real pace.
const char kScale[] = "0.2";

struct Result {
    int nExit = -1;          // exit code; -1 when the program did not end normally
    std::string output;      // standard output and error
};

// A working folder with the demo's firmware and loaders, a simulator
// playing devices in its ports folder, and norvane-cli run as a child.
class CliTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        chmod(m_dir.path().c_str(), 0755);
        for (const char* pszFile : {"demo/QAGB0502.HEX", "demo/QAGB0301.HEX", "demo/KZDE0401.HEX",
                                    "demo/TPGB0305.HEX", "demo/LVNL0601.HEX", "demo/RSGB17.HEX", "FlashLdr.hex",
                                    "BPFL24.s37"}) {
            std::string name = pszFile;
            m_dir.write(name.substr(name.find('/') + 1), dataFile(name));
        }
    }

    void TearDown() override
    {
        if (m_nSim > 0) {
            kill(m_nSim, SIGTERM);
            waitpid(m_nSim, nullptr, 0);
        }
    }

    std::string portsDir() const { return m_dir.file("ports"); }

    // Starts norvane-sim with the arguments (after --ports) and waits until
    // its devices are ready.
    void startSim(const std::vector<std::string>& args)
    {
        std::vector<std::string> argv = {NORVANE_SIM_PROGRAM, "--ports", portsDir()};
        argv.insert(argv.end(), args.begin(), args.end());
        m_nSim = spawn(argv, m_dir.file("sim.out"), -1);
        ASSERT_GT(m_nSim, 0);
        for (int n = 0; n < 200; ++n) {
            if (m_dir.read("sim.out").find("Ready") != std::string::npos)
                return;
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
        FAIL() << "the simulator did not start: " << m_dir.read("sim.out");
    }

    // Starts the demo's devices (every protocol, a type no file fits, a
    // silent port).
    void startDemoDevices() { startSim({"--config", std::string(NORVANE_DATA_DIR) + "/demo/devices.ini"}); }

    // Runs a program in the working folder with NORVANE_PORTS and the time
    // scale set, its output into outputPath; as user nUid when it is not -1.
    pid_t spawn(const std::vector<std::string>& args, const std::string& outputPath, int nUid)
    {
        pid_t nChild = fork();
        if (nChild != 0)
            return nChild;
        int fd = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || dup2(fd, 1) < 0 || dup2(fd, 2) < 0 || chdir(m_dir.path().c_str()) != 0)
            _exit(127);
        setenv("NORVANE_PORTS", portsDir().c_str(), 1);
        setenv("NORVANE_TIME_SCALE", kScale, 1);
        if (nUid != -1 && (setgroups(0, nullptr) != 0 || setgid(static_cast<gid_t>(nUid)) != 0 ||
                           setuid(static_cast<uid_t>(nUid)) != 0))
            _exit(126);
        std::vector<char*> argv;
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }

    // Runs norvane-cli with the arguments and waits for its end.
    Result cli(const std::vector<std::string>& args, int nUid = -1)
    {
        std::vector<std::string> argv = {NORVANE_CLI_PROGRAM};
        argv.insert(argv.end(), args.begin(), args.end());
        pid_t nChild = spawn(argv, m_dir.file("cli.out"), nUid);
        Result result;
        int nStatus = 0;
        if (nChild > 0 && waitpid(nChild, &nStatus, 0) == nChild && WIFEXITED(nStatus))
            result.nExit = WEXITSTATUS(nStatus);
        result.output = m_dir.read("cli.out");
        return result;
    }

    json report() { return json::parse(m_dir.read("report.json")); }

    TempDir m_dir;
    pid_t m_nSim = 0;
};

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

const json* portOf(const json& doc, const std::string& port)
{
    for (const json& entry : doc.at("ports")) {
        if (entry.at("port") == port)
            return &entry;
    }
    return nullptr;
}

TEST_F(CliTest, ListShowsEachTypeWithItsPortsAndFittingFilesAndFlashesNothing)
{
    ASSERT_NO_FATAL_FAILURE(startDemoDevices());
    Result result = cli({"--list", "--json", "report.json"});
    EXPECT_EQ(result.nExit, 0) << result.output;
    for (const char* pszLine : {"QBX7720 - Version 4.xx: 2 port(s): COM1 COM2\n    QAGB0502.HEX ",
                                "KV3360: 1 port(s): COM15\n    no firmware file fits\n",
                                "LV5600 - Version 5.xx: 1 port(s): COM9\n    LVNL0601.HEX ",
                                "RW3360: 1 port(s): COM12\n    RSGB17.HEX "})
        EXPECT_TRUE(contains(result.output, pszLine)) << pszLine << "\n" << result.output;
    EXPECT_FALSE(contains(result.output, "Updating"));
    json doc = report();
    EXPECT_EQ(doc.at("ports").size(), 7u);
    EXPECT_TRUE(doc.at("summary").is_null());
    for (const json& port : doc.at("ports"))
        EXPECT_FALSE(port.at("updated").get<bool>()) << port.dump();
}

TEST_F(CliTest, YesUpdatesDevicesOfEveryProtocolAndReportsEachPort)
{
    ASSERT_NO_FATAL_FAILURE(startDemoDevices());
    Result result = cli({"--yes", "--json", "report.json"});
    ASSERT_EQ(result.nExit, 0) << result.output;
    EXPECT_TRUE(contains(result.output, "\n6 of 6 devices were updated successfully\n")) << result.output;
    EXPECT_TRUE(contains(result.output, "Programming Complete\nPort   Model "));
    // Not a terminal: plain lines, one per change, never redrawn in place.
    EXPECT_FALSE(contains(result.output, "\033["));
    EXPECT_TRUE(contains(result.output, "\nCOM9   LV5600 - Version 5.xx     [####################] 100%  Successful\n"));

    json doc = report();
    // Port, model, version, country (as the device names it), file, type.
    const char* const kRows[][6] = {
        {"COM1", "QBX7720", "4.10", "", "QAGB0502.HEX", "QBX7720 - Version 4.xx"},
        {"COM4", "KV5120ZA", "3.05", "", "KZDE0401.HEX", "KV5120ZA - Version 3.xx"},
        {"COM6", "QBXHP-TA", "2.05", "Universal", "TPGB0305.HEX", "QBXHP-TA - Version 2.xx"},
        {"COM9", "LV5600", "5.20", "PTT HOLLAND", "LVNL0601.HEX", "LV5600 - Version 5.xx"},
        {"COM12", "", "", "NORTH AMERICAN", "RSGB17.HEX", "RW3360"},
    };
    for (const auto& row : kRows) {
        const json* pPort = portOf(doc, row[0]);
        ASSERT_NE(pPort, nullptr) << row[0];
        const json& port = *pPort;
        EXPECT_EQ(port.at("device").get<std::string>().compare(0, 9, "/dev/pts/"), 0) << port.dump();
        EXPECT_EQ(port.at("identification").at("status"), row[1] == std::string("LV5600") ? 9 : 0) << row[0];
        if (row[1][0] != '\0') {
            EXPECT_EQ(port.at("identification").at("model"), row[1]);
            EXPECT_EQ(port.at("identification").at("version"), row[2]);
        }
        EXPECT_EQ(port.at("identification").at("country"), row[3]) << row[0];
        EXPECT_EQ(port.at("identification").at("specialBuild"), "");
        EXPECT_EQ(port.at("type"), row[5]);
        EXPECT_TRUE(port.at("updated").get<bool>());
        EXPECT_EQ(port.at("file"), row[4]);
        EXPECT_EQ(port.at("result"), 0);
        EXPECT_EQ(port.at("resultText"), "Successful");
        std::string start = port.at("start");
        std::string end = port.at("end");
        EXPECT_EQ(start.size(), 24u) << start;
        EXPECT_EQ(start.back(), 'Z');
        EXPECT_LE(start, end);
    }
    const json* pSpare = portOf(doc, "COM15");
    ASSERT_NE(pSpare, nullptr);
    EXPECT_FALSE(pSpare->at("updated").get<bool>());
    EXPECT_TRUE(pSpare->at("file").is_null());
    EXPECT_EQ(portOf(doc, "COM20"), nullptr);
    EXPECT_TRUE(doc.at("unopened").empty());
    EXPECT_EQ(doc.at("summary"), "6 of 6 devices were updated successfully");
    EXPECT_EQ(doc.at("succeeded"), 6);
    EXPECT_EQ(doc.at("total"), 6);
    EXPECT_EQ(doc.at("errorCode"), 0);
    EXPECT_EQ(doc.at("errorText"), "No Error");
    EXPECT_EQ(doc.at("exitCode"), 0);
}

const char kQbx[] = "COM3:atmodem,reply.ATI=QBX7720 V.90 Data/Fax Modem\\nVersion 4.10,reply.ATI2=QBX7720,"
                    "reply.ATI1=4.10\\nChecksum 51C3\\nPTT BABT\\n,atboot=";

TEST_F(CliTest, AFailingDeviceGivesTheFailureExitCode)
{
    ASSERT_NO_FATAL_FAILURE(startSim({"--device", std::string(kQbx) + "silentafter=2"}));
    Result result = cli({"--yes", "--ports", "COM3", "--json", "report.json"});
    EXPECT_EQ(result.nExit, 10) << result.output;
    EXPECT_TRUE(contains(result.output, "\n0 of 1 devices were updated successfully\n")) << result.output;
    json doc = report();
    EXPECT_NE(doc.at("ports").at(0).at("result"), 0);
    EXPECT_EQ(doc.at("errorCode"), 0);
    EXPECT_EQ(doc.at("exitCode"), 10);
}

TEST_F(CliTest, TypeChoosesTheFileAndLeavesOtherTypesAlone)
{
    m_dir.write("QADE0501.HEX", m_dir.read("QAGB0502.HEX"));
    ASSERT_NO_FATAL_FAILURE(startSim({"--device", std::string(kQbx) + "on",
              "--device", "COM4:atmodem,reply.ATI=KV5120ZA V.34 Data/Fax Modem\\nVersion 3.05,reply.ATI2=KV5120ZA,atboot=on"}));
    // The row: --type value, exit code, file COM3 gets ("" when not updated).
    const char* const kRows[][3] = {
        {"qbx7720=qade0501.hex", "0", "QADE0501.HEX"},
        {"QBX7720 - Version 4.xx=QAGB0301.HEX", "100", ""},
        {"KV9999=KZDE0401.HEX", "101", ""},
    };
    for (const auto& row : kRows) {
        Result result = cli({"--type", row[0], "--ports", "COM3-4", "--json", "report.json"});
        EXPECT_EQ(result.nExit, atoi(row[1])) << row[0] << "\n" << result.output;
        json doc = report();
        const json* pQbx = portOf(doc, "COM3");
        const json* pKv = portOf(doc, "COM4");
        ASSERT_TRUE(pQbx != nullptr && pKv != nullptr) << doc.dump();
        EXPECT_FALSE(pKv->at("updated").get<bool>()) << row[0];
        EXPECT_EQ(pQbx->at("updated").get<bool>(), row[2][0] != '\0') << row[0];
        if (row[2][0] != '\0') {
            EXPECT_EQ(pQbx->at("file"), row[2]);
        }
    }
}

TEST_F(CliTest, PortsThatCannotBeOpenedAreReportedWithTheirReason)
{
    ASSERT_NO_FATAL_FAILURE(startSim({"--device", std::string(kQbx) + "on"}));
    std::string node;
    {
        // Busy: this process holds the port as another program would.
        setenv("NORVANE_PORTS", portsDir().c_str(), 1);
        urs_Port held = {};
        ASSERT_EQ(urs_OpenPort(&held, "\\\\.\\COM3"), urs_kOk);
        Result result = cli({"--list", "--ports", "COM3", "--json", "report.json"});
        urs_ClosePort(&held);
        unsetenv("NORVANE_PORTS");
        EXPECT_EQ(result.nExit, 3) << result.output;
        EXPECT_TRUE(contains(result.output, "ERROR: No valid devices detected\n  COM3: busy: another program holds "))
            << result.output;
        json doc = report();
        ASSERT_EQ(doc.at("unopened").size(), 1u);
        EXPECT_EQ(doc.at("unopened").at(0).at("port"), "COM3");
        EXPECT_TRUE(contains(doc.at("unopened").at(0).at("reason"), "ModemManager"));
        node = doc.at("unopened").at(0).at("device");
    }
    if (geteuid() != 0)
        GTEST_SKIP() << "dropping privileges needs root";
    // No permission: the port's node belongs to root and its group; the
    // program runs as nobody.
    struct stat info;
    ASSERT_EQ(stat(node.c_str(), &info), 0) << node;
    const group* pGroup = getgrgid(info.st_gid);
    ASSERT_NE(pGroup, nullptr);
    std::string groupName = pGroup->gr_name;
    chmod(portsDir().c_str(), 0755);
    Result result = cli({"--list", "--ports", "COM3"}, 65534);
    EXPECT_EQ(result.nExit, 3) << result.output;
    EXPECT_TRUE(contains(result.output, "ERROR: No valid devices detected\n  COM3: permission denied: you are not in "
                                        "the group \"" + groupName + "\" that owns " + node))
        << result.output;
}

TEST_F(CliTest, ListPortsHelpVersionAndAWrongCommandLine)
{
    ASSERT_NO_FATAL_FAILURE(startSim({"--device", std::string(kQbx) + "on"}));
    Result ports = cli({"--list-ports"});
    EXPECT_EQ(ports.nExit, 0);
    EXPECT_EQ(ports.output.compare(0, 16, "COM3   /dev/pts/"), 0) << ports.output;
    EXPECT_TRUE(contains(ports.output, portsDir() + "/COM3\n")) << ports.output;

    // The arguments, the exit code, a text of the output.
    const std::vector<std::pair<std::vector<std::string>, std::pair<int, std::string>>> kRows = {
        {{"--help"}, {0, "--type NAME=FILE"}},
        {{"--version"}, {0, "norvane-cli 0.1\n"}},
        {{"--bogus"}, {64, "unknown option --bogus"}},
        {{"--ports", "COM0"}, {64, "\"COM0\" is neither"}},
        {{"-d"}, {64, "nothing to do"}},
        {{"-p", "COM3", "--list"}, {64, "-p updates one port"}},
    };
    for (const auto& row : kRows) {
        Result result = cli(row.first);
        EXPECT_EQ(result.nExit, row.second.first) << row.first.at(0);
        EXPECT_TRUE(contains(result.output, row.second.second)) << result.output;
    }
}

}  // namespace
