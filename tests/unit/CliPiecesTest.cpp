// norvane-cli's pieces without devices: long options, port lists, JSON
// quoting, progress lines; and the coordinator keeping the ports that
// identification could not open.
#include "cli/CliOptions.h"
#include "cli/CliReport.h"
#include "wizard/UpdateCoordinator.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace {

// COM0's refusal is shown by the runs of norvane-cli.
TEST(CliPortList, ExpandsNamesRangesAndPathsOnceEachOrRefuses)
{
    // The list, the ports (empty when refused), the start of the error.
    const struct {
        const char* pszList;
        std::vector<std::string> ports;
        const char* pszError;
    } kRows[] = {
        {"COM1,COM3-5", {"COM1", "COM3", "COM4", "COM5"}, ""},
        {"com36, COM2-COM3 ,/dev/ttyUSB0", {"COM36", "COM2", "COM3", "/dev/ttyUSB0"}, ""},
        {"COM4,COM3-4,4", {"COM4", "COM3"}, ""},
        {"COM37", {}, "\"COM37\" is neither"},
        {"COM6-3", {}, "the range \"COM6-3\" runs backwards"},
        {"COM1,,COM2", {}, "empty item"},
        {"ttyUSB0", {}, "\"ttyUSB0\" is neither"},
        {"COM3-", {}, "\"COM3-\" is neither"},
    };
    for (const auto& row : kRows) {
        std::vector<std::string> ports;
        std::string error = Cli_ParsePortList(row.pszList, &ports);
        EXPECT_EQ(error.compare(0, strlen(row.pszError), row.pszError), 0) << row.pszList << ": " << error;
        if (row.pszError[0] == '\0') {
            EXPECT_EQ(ports, row.ports) << row.pszList;
        }
    }
}

TEST(CliOptionsParse, LongOptionsAreReadAndEverythingElseGoesToTheWizardsParser)
{
    const char* const argv[] = {"norvane-cli", "-d",           "--yes", "--type", "QBX7720=QAGB0502.HEX", "-r",
                                "115200",      "--ports=COM2", "/c",    "--json", "out.json",
                                "--type=KV5120ZA - Version 3.xx = KZDE0401.HEX"};
    CliOptions options;
    EXPECT_EQ(Cli_ParseOptions(12, argv, &options), "");
    EXPECT_TRUE(options.bYes);
    EXPECT_FALSE(options.bList);
    EXPECT_EQ(options.jsonPath, "out.json");
    EXPECT_EQ(options.ports, std::vector<std::string>({"COM2"}));
    ASSERT_EQ(options.types.size(), 2u);
    EXPECT_EQ(options.types[0], std::make_pair(std::string("QBX7720"), std::string("QAGB0502.HEX")));
    EXPECT_EQ(options.types[1], std::make_pair(std::string("KV5120ZA - Version 3.xx"), std::string("KZDE0401.HEX")));
    EXPECT_EQ(options.wizardArgs, std::vector<std::string>({"-d", "-r", "115200", "/c"}));

    // The arguments after the program name, the start of the error.
    const std::vector<std::pair<std::vector<const char*>, std::string>> kWrong = {
        {{"--type", "QBX7720"}, "--type needs NAME=FILE"},
        {{"--type", "=A.HEX"}, "--type needs NAME=FILE"},
        {{"--json"}, "--json needs a value"},
        {{"--json="}, "--json needs a file name"},
        {{"--yes=1"}, "--yes takes no value"},
        {{"--list-all"}, "unknown option --list-all"},
        {{"--ports", "COM9-2"}, "the range"},
    };
    for (const auto& row : kWrong) {
        std::vector<const char*> args = {"norvane-cli"};
        args.insert(args.end(), row.first.begin(), row.first.end());
        CliOptions wrong;
        std::string error = Cli_ParseOptions(static_cast<int>(args.size()), args.data(), &wrong);
        EXPECT_EQ(error.compare(0, row.second.size(), row.second), 0) << error;
    }
}

// The summary line is shown by the runs of norvane-cli.
TEST(CliReportText, JsonQuotingTimesAndProgressLines)
{
    EXPECT_EQ(Cli_JsonQuote("a\"b\\c\r\n\t\x01\xE9"), "\"a\\\"b\\\\c\\r\\n\\t\\u0001\\u00e9\"");
    EXPECT_EQ(Cli_Iso8601(0), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(Cli_Iso8601(1700000000123), "2023-11-14T22:13:20.123Z");

    // Percent given, the bar and percentage shown.
    const std::pair<int32_t, const char*> kBars[] = {
        {0, "[....................]   0%"}, {42, "[########............]  42%"},
        {100, "[####################] 100%"}, {140, "[####################] 100%"},
        {-5, "[....................]   0%"},
    };
    for (const auto& bar : kBars) {
        std::string line = Cli_ProgressLine("COM12", "RW3360", bar.first, "Programming");
        EXPECT_EQ(line, std::string("COM12  RW3360                    ") + bar.second + "  Programming");
    }
    EXPECT_EQ(Cli_ResultsTable({{"COM3", "QBX7720 - Version 4.xx", "Successful"}, {"COM12", "RW3360", "Handshake failure"}}),
              "Port   Model                   Status\n"
              "COM3   QBX7720 - Version 4.xx  Successful\n"
              "COM12  RW3360                  Handshake failure\n");
}

TEST(CliReportText, JsonReportHoldsNullsForPortsNotUpdated)
{
    CliReport report;
    CliPortReport port;
    port.sPort = "COM3";
    port.sModel = "QBX7720";
    report.ports.push_back(port);
    report.problems.push_back({"COM5", "/dev/ttyUSB1", EBUSY, "busy: x"});
    report.nError = 3;
    report.sErrorText = "ERROR: No valid devices detected";
    report.nExit = 3;
    std::string json = Cli_ReportJson(report);
    for (const char* pszPart :
         {"\"port\": \"COM3\"", "\"model\": \"QBX7720\"", "\"updated\": false", "\"file\": null, \"result\": null",
          "\"start\": null, \"end\": null", "{\"port\": \"COM5\", \"device\": \"/dev/ttyUSB1\", \"errno\": 16",
          "\"summary\": null", "\"errorCode\": 3, \"errorText\": \"ERROR: No valid devices detected\"",
          "\"exitCode\": 3"})
        EXPECT_NE(json.find(pszPart), std::string::npos) << pszPart << "\n" << json;
}

TEST(CoordinatorPortProblems, PortsThatCouldNotBeOpenedAreKeptWithTheirReason)
{
    UpdateCoordinator coordinator;
    // The device, its identification status and open error; the reason kept
    // ("" for none).
    const struct {
        const char* pszDevice;
        int32_t nStatus;
        int32_t nError;
        const char* pszReason;
    } kRows[] = {
        {"\\\\.\\/dev/norvane-none-1", 1, EBUSY, "busy: another program holds /dev/norvane-none-1"},
        {"\\\\.\\/dev/norvane-none-2", 1, ENOENT, "missing: /dev/norvane-none-2 has no device"},
        {"\\\\.\\COM7", 1, 19, ""},
        {"\\\\.\\/dev/norvane-none-3", 2, 0, ""},
        {"\\\\.\\/dev/norvane-none-4", 1, 0, ""},
    };
    for (const auto& row : kRows) {
        coordinator.AddDevice(row.pszDevice, 38400);
        DeviceRecord* pRecord = coordinator.GetDevice(static_cast<size_t>(coordinator.GetDeviceCount() - 1));
        pRecord->job.info.nStatus = row.nStatus;
        pRecord->job.info.nOpenError = row.nError;
        EXPECT_EQ(pRecord->OpenFailure().compare(0, strlen(row.pszReason), row.pszReason), 0) << row.pszDevice;
        EXPECT_EQ(pRecord->OpenFailure().empty(), row.pszReason[0] == '\0') << row.pszDevice;
    }
    coordinator.FinishIdentification(false);
    EXPECT_EQ(coordinator.GetDeviceCount(), 0);
    const std::vector<PortProblem>& problems = coordinator.GetPortProblems();
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_EQ(problems[0].sPort, "/dev/norvane-none-1");
    EXPECT_EQ(problems[0].sNode, "/dev/norvane-none-1");
    EXPECT_EQ(problems[0].nError, EBUSY);
    EXPECT_EQ(problems[1].nError, ENOENT);
}

}  // namespace
