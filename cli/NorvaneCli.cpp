// norvane-cli: the firmware update without a display, on the same update
// coordinator as the wizard. It takes the wizard's one-letter options and
// long options of its own (see usage()), identifies the devices of the
// watched ports, lists them or updates the chosen device types, shows each
// port's progress live, ends with the results table and the summary line of
// the status page, and can write a JSON report.
//
// Exit code: the wizard's error code (0 no error, 1 cancelled, 2 no
// firmware files, 3 no valid devices, 9 identification time-out, 100 no
// fitting file for a type, 101 no device selected); 10 when the update ran
// and a device failed; 64 for a wrong command line; 74 when the JSON report
// cannot be written; 78 when Models.ini is missing or of a wrong version.
#include "EngineSource/OSWIN32.h"
#include "EngineSource/UrsPortMap.h"
#include "EngineSource/dbg.h"
#include "EngineSource/devidCountry.h"
#include "cli/CliOptions.h"
#include "cli/CliReport.h"
#include "model/ModelDb.h"
#include "wizard/UpdateCoordinator.h"
#include "wizard/WizardCommandLine.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kPortCount = 36;              // COM1 .. COM36, as start-up watches them
constexpr int64_t kIdentifyLimitMs = 20000; // the detection page's 20 ticks of a second
constexpr uint32_t kPollMs = 200;           // how often progress is looked at

volatile sig_atomic_t g_bInterrupted = 0;

void onInterrupt(int) { g_bInterrupted = 1; }

void usage(FILE* pOut)
{
    fprintf(pOut,
            "usage: norvane-cli [options] --list | --yes | --type NAME=FILE... | --list-ports\n"
            "Updates the firmware of the modems and terminal adapters on this machine's\n"
            "serial ports, without a display. Firmware files (*.HEX), FlashLdr.hex and\n"
            "BPFL24.s37 are read from the working folder.\n"
            "\n"
            "  --list             identify the devices; print each device type with its\n"
            "                     ports and the firmware files that fit it; flash nothing\n"
            "  --yes              update every device type with its newest fitting file\n"
            "  --type NAME=FILE   update the device type NAME (as --list shows it, or its\n"
            "                     model name) with FILE; types not named are left alone\n"
            "  --ports LIST       watch only these ports: COM1,COM3-6 or device paths\n"
            "                     such as /dev/ttyUSB0 (default: COM1 to COM36)\n"
            "  --list-ports       print which device node each COMn stands for\n"
            "  --json FILE        write a report of the run as JSON\n"
            "  --help, --version\n"
            "\n"
            "The wizard's options (after - or /, either letter case):\n"
            "  -d            write the debug log log.txt in the working folder\n"
            "  -r BAUD       baud rate of the update (default 38400)\n"
            "  -b            update the boot code too (*.HXB files)\n"
            "  -c            always download the flash loader first (Lucent)\n"
            "  -h            treat every device as running only its boot code\n"
            "  -p PORT       single-port mode: update PORT with -f FILE as model -m NAME,\n"
            "                without identification (with --yes)\n"
            "  -f FILE, -m NAME   the file and model of single-port mode\n"
            "  -s, -v, -w    choose wizard pages; nothing changes here\n"
            "\n"
            "Exit code: 0 no error, 1 cancelled, 2 no firmware files, 3 no valid devices,\n"
            "9 identification time-out, 10 the update ran and a device failed,\n"
            "100 no fitting file for a type, 101 no device selected, 64 wrong command\n"
            "line, 74 report not written, 78 Models.ini missing or invalid.\n"
            "Ctrl-C stops identification; once devices are being flashed the update\n"
            "cannot be cancelled.\n");
}

int64_t wallClockMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// The run: the coordinator, the options and what the report needs.
struct Run {
    CliOptions options;
    CWizardCommandLineInfo wizard;
    UpdateCoordinator coordinator;
    CliReport report;
    bool bTerminal = false;                    // stdout is a terminal: redraw lines in place
    std::map<size_t, int64_t> startMs;         // device position: update start (wall clock)
    std::map<size_t, int64_t> endMs;           // device position: when its end was seen
};

ErrorTable& errors(Run* pRun) { return pRun->coordinator.GetErrorTable(); }

// Ends with an error of the table, as the wizard's error pages do; the
// ports that could not be opened follow with their reasons.
int fail(Run* pRun, int32_t nCode)
{
    printf("%s\n", errors(pRun).GetErrorText(nCode).c_str());
    for (const PortProblem& problem : pRun->coordinator.GetPortProblems())
        printf("  %s: %s\n", problem.sPort.c_str(), problem.sReason.c_str());
    return errors(pRun).GetError();
}

void printProblems(const Run& run)
{
    const std::vector<PortProblem>& problems = run.coordinator.GetPortProblems();
    if (problems.empty())
        return;
    printf("Ports that could not be opened:\n");
    for (const PortProblem& problem : problems)
        printf("  %s: %s\n", problem.sPort.c_str(), problem.sReason.c_str());
}

int listPorts()
{
    std::unique_ptr<urs_PortMap> pMap(new urs_PortMap);
    if (urs_GetPortMap(pMap.get()) == 0) {
        printf("No serial ports found.\n");
        return 0;
    }
    for (int n = 0; n < urs_kMaxMappedPorts; ++n) {
        const urs_MappedPort& entry = pMap->entries[n];
        if (entry.szNode[0] == '\0')
            continue;
        std::string port = "COM" + std::to_string(n + 1);
        printf("%-6s %-20s %s\n", port.c_str(), entry.szNode, entry.szPlace);
    }
    return 0;
}

void addPorts(Run* pRun)
{
    std::vector<std::string> ports = pRun->options.ports;
    for (int n = 1; ports.empty() && n <= kPortCount; ++n)
        pRun->coordinator.AddDevice(("\\\\.\\COM" + std::to_string(n)).c_str(), pRun->wizard.m_nBaud);
    for (const std::string& port : ports)
        pRun->coordinator.AddDevice(("\\\\.\\" + port).c_str(), pRun->wizard.m_nBaud);
}

// Identification of every watched port at once; false on the time limit or
// Ctrl-C (identification is then stopped).
bool identify(Run* pRun, int32_t* pnError)
{
    UpdateCoordinator& coordinator = pRun->coordinator;
    int32_t nPorts = coordinator.GetDeviceCount();
    printf("Identifying the devices on %d port(s)\n", static_cast<int>(nPorts));
    fflush(stdout);
    coordinator.StartIdentification();
    int64_t nEnd = os_ClockMs() + kIdentifyLimitMs;
    while (!coordinator.IdentificationDone(pRun->wizard.m_bForceBoot)) {
        if (g_bInterrupted) {
            coordinator.StopIdentification();
            *pnError = err_kCancelled;
            return false;
        }
        if (os_ClockMs() >= nEnd) {
            coordinator.StopIdentification();
            *pnError = err_kIdentifyTimeout;
            return false;
        }
        os_SleepMs(kPollMs);
    }
    printf("%d device(s) answered\n", static_cast<int>(coordinator.GetDeviceCount()));
    return true;
}

// A firmware build as shown, without the blank of an empty letter.
std::string buildText(const FirmwareBuild& build)
{
    std::string text = FirmwareBuild_Text(build);
    return text.substr(0, text.find_last_not_of(' ') + 1);
}

// The identified devices and the device types with their ports and fitting
// files, newest first.
void printList(Run* pRun)
{
    UpdateCoordinator& coordinator = pRun->coordinator;
    for (int32_t n = 0; n < coordinator.GetDeviceCount(); ++n) {
        const DeviceRecord& record = *coordinator.GetDevice(static_cast<size_t>(n));
        const devid_DeviceInfo& info = record.job.info;
        printf("%-6s %-20s model %s, version %s, country %s%s%s\n", record.PortName(), record.DeviceNode().c_str(),
               info.szModel, info.szVersion, Country_DisplayName(record.nCountry),
               info.szSpecialBuild[0] != '\0' ? ", special build " : "", info.szSpecialBuild);
    }
    const HexCatalogue& catalogue = coordinator.GetCatalogue();
    if (!coordinator.GetDeviceTypes().keys.empty())
        printf("Device types\n");
    for (const std::unique_ptr<ModelKey>& pType : coordinator.GetDeviceTypes().keys) {
        std::string ports;
        for (int32_t n = 0; n < coordinator.GetDeviceCount(); ++n) {
            const DeviceRecord& record = *coordinator.GetDevice(static_cast<size_t>(n));
            if (ModelKey_Equals(record.key, *pType))
                ports += std::string(" ") + record.PortName();
        }
        printf("  %s: %d port(s):%s\n", ModelKey_DisplayName(*pType).c_str(), pType->count, ports.c_str());
        std::vector<const HexFileEntry*> fitting;
        for (int32_t n = 0; n < catalogue.GetCount(); ++n) {
            const HexFileEntry* pEntry = catalogue.GetEntry(static_cast<size_t>(n));
            if (HexCatalogue::Fits(*pEntry, *pType))
                fitting.push_back(pEntry);
        }
        std::stable_sort(fitting.begin(), fitting.end(), [](const HexFileEntry* a, const HexFileEntry* b) {
            return FirmwareBuild_Less(b->build, a->build);
        });
        if (fitting.empty())
            printf("    no firmware file fits\n");
        for (const HexFileEntry* pEntry : fitting)
            printf("    %-14s %-8s %s\n", pEntry->path.c_str(), buildText(pEntry->build).c_str(),
                   Country_DisplayName(pEntry->country));
    }
}

// The position of the newest catalogue entry that fits the key; -1 when
// none does.
int newestFitting(const HexCatalogue& catalogue, const ModelKey& key)
{
    int nBest = -1;
    for (int32_t n = 0; n < catalogue.GetCount(); ++n) {
        const HexFileEntry* pEntry = catalogue.GetEntry(static_cast<size_t>(n));
        if (!HexCatalogue::Fits(*pEntry, key))
            continue;
        if (nBest < 0 || FirmwareBuild_Less(catalogue.GetEntry(static_cast<size_t>(nBest))->build, pEntry->build))
            nBest = static_cast<int>(n);
    }
    return nBest;
}

// The catalogue entry named FILE (letter case aside) that fits the key; -1
// when there is none.
int namedFitting(const HexCatalogue& catalogue, const ModelKey& key, const std::string& file)
{
    for (int32_t n = 0; n < catalogue.GetCount(); ++n) {
        const HexFileEntry* pEntry = catalogue.GetEntry(static_cast<size_t>(n));
        if (gn_StriCmp(pEntry->path.c_str(), file.c_str()) == 0 && HexCatalogue::Fits(*pEntry, key))
            return static_cast<int>(n);
    }
    return -1;
}

// True when NAME names the type: its display name or its model name,
// letter case aside.
bool namesType(const std::string& name, const ModelKey& type)
{
    return gn_StriCmp(name.c_str(), ModelKey_DisplayName(type).c_str()) == 0 ||
           gn_StriCmp(name.c_str(), type.name.c_str()) == 0;
}

// The user's choice, as the detection and model pages take it: the types to
// update and one file for each. Returns 0, or the error code.
int32_t choose(Run* pRun)
{
    UpdateCoordinator& coordinator = pRun->coordinator;
    ModelKeyList& types = coordinator.GetDeviceTypes();
    HexCatalogue& catalogue = coordinator.GetCatalogue();
    std::vector<int> files(types.keys.size(), -1);
    for (size_t n = 0; n < types.keys.size(); ++n) {
        if (pRun->options.bYes)
            files[n] = newestFitting(catalogue, *types.keys[n]);
    }
    for (const auto& named : pRun->options.types) {
        bool bFound = false;
        for (size_t n = 0; n < types.keys.size(); ++n) {
            if (!namesType(named.first, *types.keys[n]))
                continue;
            bFound = true;
            files[n] = namedFitting(catalogue, *types.keys[n], named.second);
            if (files[n] < 0) {
                printf("%s does not fit %s or is not in the working folder\n", named.second.c_str(),
                       ModelKey_DisplayName(*types.keys[n]).c_str());
                return err_kNoHexFile;
            }
        }
        if (!bFound)
            printf("No device of the type %s was found; it is left alone\n", named.first.c_str());
    }
    for (size_t n = 0; n < types.keys.size(); ++n) {
        if (files[n] >= 0)
            ModelKey_Select(&types, n);
    }
    coordinator.ApplyTypeSelection();
    bool bAny = false;
    for (size_t n = 0; n < types.keys.size(); ++n) {
        if (files[n] < 0)
            continue;
        HexFileEntry entry = catalogue.SelectEntry(static_cast<size_t>(files[n]));
        printf("  %s: %s (%s, %s)\n", ModelKey_DisplayName(*types.keys[n]).c_str(), entry.path.c_str(),
               buildText(entry.build).c_str(), Country_DisplayName(entry.country));
        for (int32_t nDevice = 0; nDevice < coordinator.GetDeviceCount(); ++nDevice) {
            if (ModelKey_Equals(coordinator.GetDevice(static_cast<size_t>(nDevice))->key, *types.keys[n])) {
                coordinator.AssignHexFile(static_cast<size_t>(nDevice), entry);
                bAny = true;
            }
        }
    }
    return bAny ? err_kNone : err_kNoDeviceSelected;
}

std::vector<size_t> selectedPositions(UpdateCoordinator& coordinator)
{
    std::vector<size_t> positions;
    for (int32_t n = 0; n < coordinator.GetDeviceCount(); ++n) {
        if (coordinator.GetDevice(static_cast<size_t>(n))->bSelected != 0)
            positions.push_back(static_cast<size_t>(n));
    }
    return positions;
}

// One port's line now: its progress while it runs, its result text once
// it has ended.
std::string portLine(DeviceRecord* pRecord)
{
    int32_t nPercent = 0;
    char szText[flsh_kStatusTextSize];
    GetJobStatus(&pRecord->job, &nPercent, szText, sizeof szText);
    int32_t nResult = pRecord->GetFlashResult();
    std::string text = nResult == flsh_cRunning ? szText : pRecord->GetFlashResultText();
    if (nResult == flsh_cSuccessful)
        nPercent = 100;
    return Cli_ProgressLine(pRecord->PortName(), ModelKey_DisplayName(pRecord->key), nPercent, text);
}

// Flashes the selected devices and shows each port's progress until all
// have ended: on a terminal one line per port redrawn in place, otherwise a
// plain line whenever a port's line changes. Ctrl-C does not stop it: a
// device left half-programmed may not start again.
void flash(Run* pRun)
{
    UpdateCoordinator& coordinator = pRun->coordinator;
    std::vector<size_t> positions = selectedPositions(coordinator);
    printf("Updating %d device(s)\n", static_cast<int>(positions.size()));
    fflush(stdout);
    int64_t nStart = wallClockMs();
    coordinator.StartFlashing(pRun->wizard.m_nBootCode, pRun->wizard.m_bForceLoader);
    for (size_t nPosition : positions)
        pRun->startMs[nPosition] = nStart;

    std::vector<std::string> shown(positions.size());
    bool bWarned = false;
    for (bool bDrawn = false;; bDrawn = true) {
        int32_t nPercent = 0;
        std::string text;
        bool bDone = coordinator.FlashingDone(&nPercent, &text);
        if (pRun->bTerminal && bDrawn)
            printf("\033[%dA", static_cast<int>(positions.size()));
        for (size_t n = 0; n < positions.size(); ++n) {
            DeviceRecord* pRecord = coordinator.GetDevice(positions[n]);
            if (pRecord->GetFlashResult() != flsh_cRunning && pRun->endMs.count(positions[n]) == 0)
                pRun->endMs[positions[n]] = wallClockMs();
            std::string line = portLine(pRecord);
            if (pRun->bTerminal)
                printf("\r\033[K%s\n", line.c_str());
            else if (line != shown[n])
                printf("%s\n", line.c_str());
            shown[n] = line;
        }
        fflush(stdout);
        if (bDone)
            break;
        if (g_bInterrupted && !bWarned) {
            fprintf(stderr, "The update cannot be cancelled: stopping now may leave devices inoperable.\n");
            bWarned = true;
        }
        os_SleepMs(kPollMs);
    }
    printf("Programming Complete\n");
}

// The results table and summary line of the status page. Returns true when
// every updated device succeeded.
bool showResults(Run* pRun)
{
    UpdateCoordinator& coordinator = pRun->coordinator;
    std::vector<std::vector<std::string>> rows;
    int32_t nSucceeded = 0;
    for (size_t nPosition : selectedPositions(coordinator)) {
        DeviceRecord* pRecord = coordinator.GetDevice(nPosition);
        rows.push_back({pRecord->PortName(), ModelKey_DisplayName(pRecord->key), pRecord->GetFlashResultText()});
        nSucceeded += pRecord->GetFlashResult() == flsh_cSuccessful ? 1 : 0;
    }
    printf("%s", Cli_ResultsTable(rows).c_str());
    printf("%s\n", Cli_Summary(nSucceeded, static_cast<int32_t>(rows.size())).c_str());
    pRun->report.bUpdated = true;
    pRun->report.nSucceeded = nSucceeded;
    pRun->report.nTotal = static_cast<int32_t>(rows.size());
    return nSucceeded == static_cast<int32_t>(rows.size());
}

// An identification text without the blanks around it (a field no answer
// filled holds blanks).
std::string trimmed(const char* pszText)
{
    std::string text = pszText;
    size_t nFirst = text.find_first_not_of(" \t\r\n");
    return nFirst == std::string::npos ? "" : text.substr(nFirst, text.find_last_not_of(" \t\r\n") - nFirst + 1);
}

// Fills the report's ports from the device records.
void collectReport(Run* pRun)
{
    UpdateCoordinator& coordinator = pRun->coordinator;
    for (int32_t n = 0; n < coordinator.GetDeviceCount(); ++n) {
        size_t nPosition = static_cast<size_t>(n);
        DeviceRecord* pRecord = coordinator.GetDevice(nPosition);
        const devid_DeviceInfo& info = pRecord->job.info;
        CliPortReport port;
        port.sPort = pRecord->PortName();
        port.sNode = pRecord->DeviceNode();
        port.nStatus = info.nStatus;
        port.sModel = trimmed(info.szModel);
        port.sVersion = trimmed(info.szVersion);
        port.sCountry = trimmed(info.szCountry);
        port.sSpecialBuild = trimmed(info.szSpecialBuild);
        port.sType = ModelKey_DisplayName(pRecord->key);
        port.bUpdated = pRun->startMs.count(nPosition) != 0;
        if (port.bUpdated) {
            port.sFile = pRecord->hexFile.path;
            port.nResult = pRecord->GetFlashResult();
            port.sResultText = pRecord->GetFlashResultText();
            port.sStart = Cli_Iso8601(pRun->startMs[nPosition]);
            port.sEnd = Cli_Iso8601(pRun->endMs.count(nPosition) != 0 ? pRun->endMs[nPosition] : wallClockMs());
        }
        pRun->report.ports.push_back(port);
    }
    pRun->report.problems = coordinator.GetPortProblems();
}

// The update of the watched ports, from the firmware files to the results.
// Returns the exit code.
int runUpdate(Run* pRun)
{
    UpdateCoordinator& coordinator = pRun->coordinator;
    CWizardCommandLineInfo& wizard = pRun->wizard;
    if (!wizard.m_strPort.empty()) {
        // Single-port mode: the named port, file and model, no identification.
        if (!pRun->options.types.empty() || !pRun->options.ports.empty() || !pRun->options.bYes) {
            fprintf(stderr, "norvane-cli: -p updates one port with -f and -m; give --yes, not --list, --type or --ports\n");
            return cli_kExitUsage;
        }
        coordinator.AddDevice(("\\\\.\\" + wizard.m_strPort).c_str(), wizard.m_nBaud);
        coordinator.AddHexFile(wizard.m_strHexFile);
        coordinator.PrepareSinglePort(wizard.m_bForceBoot, wizard.m_Model);
        flash(pRun);
        return showResults(pRun) ? errors(pRun).GetError() : cli_kExitDevicesFailed;
    }

    addPorts(pRun);
    int32_t nFiles = coordinator.FindHexFiles(wizard.m_nBootCode);
    printf("%d firmware file(s) in the working folder\n", static_cast<int>(nFiles));
    if (nFiles == 0 && !pRun->options.bList)
        return fail(pRun, err_kNoHexFiles);
    int32_t nError = err_kNone;
    if (!identify(pRun, &nError))
        return fail(pRun, nError);
    coordinator.BuildDeviceTypes();

    if (pRun->options.bList) {
        printList(pRun);
        if (nFiles == 0)
            return fail(pRun, err_kNoHexFiles);
        std::string names;
        coordinator.RemoveTypesWithoutHexFiles(&names);
        if (coordinator.GetDeviceTypes().keys.empty())
            return fail(pRun, err_kNoDevices);
        printProblems(*pRun);
        return errors(pRun).GetError();
    }

    std::string names;
    if (coordinator.RemoveTypesWithoutHexFiles(&names) > 0)
        printf("No firmware for: %s\n", names.c_str());
    if (coordinator.GetDeviceCount() == 0 || coordinator.GetDeviceTypes().keys.empty())
        return fail(pRun, err_kNoDevices);
    printProblems(*pRun);
    printf("Device types\n");
    int32_t nChoice = choose(pRun);
    if (nChoice != err_kNone)
        return fail(pRun, nChoice);
    flash(pRun);
    return showResults(pRun) ? errors(pRun).GetError() : cli_kExitDevicesFailed;
}

bool writeJson(const std::string& path, const CliReport& report)
{
    FILE* pFile = fopen(path.c_str(), "w");
    if (pFile == nullptr)
        return false;
    std::string json = Cli_ReportJson(report);
    bool bWritten = fwrite(json.data(), 1, json.size(), pFile) == json.size();
    return fclose(pFile) == 0 && bWritten;
}

}  // namespace

int main(int argc, char** argv)
{
    std::unique_ptr<Run> pRun(new Run);
    Run& run = *pRun;
    std::string error = Cli_ParseOptions(argc, argv, &run.options);
    if (!error.empty()) {
        fprintf(stderr, "norvane-cli: %s\n", error.c_str());
        usage(stderr);
        return cli_kExitUsage;
    }
    if (run.options.bHelp) {
        usage(stdout);
        return 0;
    }
    if (run.options.bVersion) {
        printf("norvane-cli %s\n", NORVANE_VERSION);
        return 0;
    }
    if (run.options.bListPorts)
        return listPorts();
    if (!run.options.bList && !run.options.bYes && run.options.types.empty()) {
        fprintf(stderr, "norvane-cli: nothing to do: --list shows the devices, --yes updates them\n");
        usage(stderr);
        return cli_kExitUsage;
    }
    run.bTerminal = isatty(STDOUT_FILENO) != 0;
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = onInterrupt;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    int nLoad = ModelDb_Load();
    if (nLoad == ModelDb_kNoModels) {
        printf("Unable to find \"Models.ini\".\n\n\"Models.ini\" is required by Norvane.\n");
        return cli_kExitModels;
    }
    if (nLoad == ModelDb_kWrongVersion) {
        printf("The version of \"Models.ini\" is invalid with this version of Norvane.\n");
        return cli_kExitModels;
    }
    ModelKey_SetModelByName(&run.wizard.m_Model, cmd_kDefaultModel);
    std::vector<const char*> wizardArgv = {argv[0]};
    for (const std::string& arg : run.options.wizardArgs)
        wizardArgv.push_back(arg.c_str());
    WizardCommandLine_Parse(&run.wizard, static_cast<int>(wizardArgv.size()), wizardArgv.data());
    if (run.wizard.m_bLog) {
        dbg_SetLogging(true);
        dbg_OpenLog();
    }

    int nExit = runUpdate(&run);
    collectReport(&run);
    run.report.nError = errors(&run).GetError();
    run.report.sErrorText = errors(&run).GetErrorText(run.report.nError);
    run.report.nExit = nExit;
    if (!run.options.jsonPath.empty() && !writeJson(run.options.jsonPath, run.report)) {
        fprintf(stderr, "norvane-cli: cannot write %s\n", run.options.jsonPath.c_str());
        nExit = cli_kExitReport;
    }
    dbg_CloseLog();
    // Identification workers that outlived the time limit still read the
    // model database; it is emptied only when none runs.
    if (!run.coordinator.AnyWorkerRuns())
        ModelDb_Clear();
    return nExit;
}
