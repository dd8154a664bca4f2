// norvane-demo: one whole update as the wizard runs it, on simulated devices
// and without a display. It plays the devices of demo-data/devices.ini on
// pseudo-terminals linked as COMn in a private ports folder, copies the demo
// firmware and the two loader images into a fresh working folder, and then
// drives the update coordinator through the wizard's steps: firmware files,
// identification of COM1..COM36 (once a second, at most 20 times), device
// types, one firmware file per type (the newest that fits), flashing every
// device with progress once a second, and the results list.
//
// The exit code is the coordinator's error code, as the wizard's is.
#include "EngineSource/OSWIN32.h"
#include "EngineSource/dbg.h"
#include "EngineSource/devidCountry.h"
#include "model/ModelDb.h"
#include "sim/SimConfig.h"
#include "sim/SimPortSet.h"
#include "wizard/UpdateCoordinator.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kPortCount = 36;            // COM1 .. COM36, as start-up watches them
constexpr int32_t kBaud = 38400;          // the default update baud rate
constexpr uint32_t kTickMs = 1000;        // the pages poll once a second
constexpr int kIdentifyTicks = 20;        // the detection page's limit

struct Options {
    double dScale = 1;        // runtime time scale
    bool bLog = false;        // write log.txt in the working folder
    bool bKeep = false;       // keep the working folder
};

void usage()
{
    printf("usage: norvane-demo [--scale X] [--log] [--keep]\n"
           "  --scale X  run the clock X times as slow (0.2: five times as fast)\n"
           "  --log      write the debug log log.txt in the working folder\n"
           "  --keep     keep the working folder (firmware, loaders, log)\n");
}

bool parseOptions(int argc, char** argv, Options* pOptions)
{
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--scale" && i + 1 < argc) {
            char* pEnd = nullptr;
            pOptions->dScale = strtod(argv[++i], &pEnd);
            if (pEnd == argv[i] || !(pOptions->dScale > 0))
                return false;
        } else if (arg == "--log") {
            pOptions->bLog = true;
        } else if (arg == "--keep") {
            pOptions->bKeep = true;
        } else {
            return false;
        }
    }
    return true;
}

// Copies every file of the demo data except the device list into the
// working folder, where the engine looks for firmware and loaders.
bool copyDemoFiles(const fs::path& dataDir, const fs::path& workDir)
{
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(dataDir, ec)) {
        if (!entry.is_regular_file() || entry.path().filename() == "devices.ini")
            continue;
        fs::copy_file(entry.path(), workDir / entry.path().filename(), ec);
        if (ec)
            return false;
    }
    return !ec;
}

// The newest catalogue entry that fits the key; -1 when none does.
int newestFitting(const HexCatalogue& catalogue, const ModelKey& key)
{
    int nBest = -1;
    for (int32_t i = 0; i < catalogue.GetCount(); ++i) {
        const HexFileEntry* pEntry = catalogue.GetEntry(static_cast<size_t>(i));
        if (!HexCatalogue::Fits(*pEntry, key))
            continue;
        if (nBest < 0 || FirmwareBuild_Less(catalogue.GetEntry(static_cast<size_t>(nBest))->build, pEntry->build))
            nBest = i;
    }
    return nBest;
}

// Ends the run with an error of the table, as the wizard's error pages do.
int fail(UpdateCoordinator* pCoordinator, int32_t nCode)
{
    printf("%s\n", pCoordinator->GetErrorTable().GetErrorText(nCode).c_str());
    return pCoordinator->GetErrorTable().GetError();
}

int countFinished(UpdateCoordinator* pCoordinator)
{
    int nFinished = 0;
    for (int32_t i = 0; i < pCoordinator->GetDeviceCount(); ++i)
        nFinished += GetResult(&pCoordinator->GetDevice(static_cast<size_t>(i))->job) != -1 ? 1 : 0;
    return nFinished;
}

bool identify(UpdateCoordinator* pCoordinator)
{
    printf("Identifying the devices on COM1..COM%d\n", kPortCount);
    pCoordinator->StartIdentification();
    for (int nTick = 1; nTick <= kIdentifyTicks; ++nTick) {
        os_SleepMs(kTickMs);
        int nFinished = countFinished(pCoordinator);
        if (pCoordinator->IdentificationDone(false)) {
            printf("  %2d s  all %d ports done; %d device(s) answered\n", nTick, nFinished,
                   pCoordinator->GetDeviceCount());
            return true;
        }
        printf("  %2d s  %d of %d ports done\n", nTick, nFinished, kPortCount);
        fflush(stdout);
    }
    pCoordinator->StopIdentification();
    return false;
}

// Chooses every device type and, for each, the newest firmware that fits
// it, as a user would on the detection and model pages.
void chooseFirmware(UpdateCoordinator* pCoordinator)
{
    ModelKeyList& types = pCoordinator->GetDeviceTypes();
    for (size_t i = 0; i < types.keys.size(); ++i)
        ModelKey_Select(&types, i);
    pCoordinator->ApplyTypeSelection();

    HexCatalogue& catalogue = pCoordinator->GetCatalogue();
    for (const std::unique_ptr<ModelKey>& pType : types.keys) {
        int nEntry = newestFitting(catalogue, *pType);
        HexFileEntry entry = catalogue.SelectEntry(static_cast<size_t>(nEntry));
        printf("  %-28s %d port(s)  firmware %s (%s, %s)\n", ModelKey_DisplayName(*pType).c_str(), pType->count,
               entry.path.c_str(), FirmwareBuild_Text(entry.build).c_str(), Country_DisplayName(entry.country));
        for (int32_t nDevice = 0; nDevice < pCoordinator->GetDeviceCount(); ++nDevice) {
            DeviceRecord* pDevice = pCoordinator->GetDevice(static_cast<size_t>(nDevice));
            if (ModelKey_Equals(pDevice->key, *pType) && !pCoordinator->AssignHexFile(static_cast<size_t>(nDevice), entry))
                printf("  %-6s still busy; left out of the update\n", pDevice->PortName());
        }
    }
}

int countSelected(UpdateCoordinator* pCoordinator)
{
    int nSelected = 0;
    for (int32_t i = 0; i < pCoordinator->GetDeviceCount(); ++i)
        nSelected += pCoordinator->GetDevice(static_cast<size_t>(i))->bSelected ? 1 : 0;
    return nSelected;
}

void flash(UpdateCoordinator* pCoordinator)
{
    printf("Updating %d device(s)\n", countSelected(pCoordinator));
    pCoordinator->StartFlashing(0, false);
    // The slowest running job's percentage and text, once a second; a line
    // is printed when either changes.
    int32_t nPercent = 0;
    std::string text;
    std::string shown;
    for (int nTick = 0; !pCoordinator->FlashingDone(&nPercent, &text); ++nTick) {
        std::string line = std::to_string(nPercent) + "%  " + text;
        if (line != shown) {
            printf("  %3d s  %3d%%  %s\n", nTick, nPercent, text.c_str());
            fflush(stdout);
            shown = line;
        }
        text.clear();
        os_SleepMs(kTickMs);
    }
    printf("  Programming Complete\n");
}

int report(UpdateCoordinator* pCoordinator)
{
    int nSuccessful = 0;
    printf("Results\n");
    for (int32_t i = 0; i < pCoordinator->GetDeviceCount(); ++i) {
        DeviceRecord* pDevice = pCoordinator->GetDevice(static_cast<size_t>(i));
        if (!pDevice->bSelected)
            continue;
        if (pDevice->GetFlashResult() == flsh_cSuccessful)
            ++nSuccessful;
        printf("  %-6s %-28s %-14s %s\n", pDevice->PortName(), ModelKey_DisplayName(pDevice->key).c_str(),
               pDevice->hexFile.path.c_str(), pDevice->GetFlashResultText());
    }
    printf("%d of %d devices were updated successfully\n", nSuccessful, countSelected(pCoordinator));
    return pCoordinator->GetErrorTable().GetError();
}

int runUpdate(UpdateCoordinator* pCoordinator, const fs::path& dataDir)
{
    std::vector<SimDeviceConfig> configs;
    std::string error;
    if (!sim_LoadConfig((dataDir / "devices.ini").string(), &configs, &error)) {
        fprintf(stderr, "norvane-demo: %s\n", error.c_str());
        return 1;
    }
    SimPortSet ports;
    for (const SimDeviceConfig& config : configs) {
        if (ports.add(config, &error) == nullptr) {
            fprintf(stderr, "norvane-demo: COM%d: %s\n", config.nPort, error.c_str());
            return 1;
        }
        printf("Simulated %-9s on COM%d\n", config.family.c_str(), config.nPort);
    }
    ports.exportPorts();

    char szDevice[32];
    for (int n = 1; n <= kPortCount; ++n) {
        snprintf(szDevice, sizeof szDevice, "\\\\.\\COM%d", n);
        pCoordinator->AddDevice(szDevice, kBaud);
    }

    int32_t nFiles = pCoordinator->FindHexFiles(0);
    printf("%d firmware file(s) in the working folder\n", nFiles);
    if (nFiles == 0)
        return fail(pCoordinator, 2);
    if (!identify(pCoordinator))
        return fail(pCoordinator, 9);

    pCoordinator->BuildDeviceTypes();
    std::string names;
    if (pCoordinator->RemoveTypesWithoutHexFiles(&names) > 0)
        printf("No firmware for: %s\n", names.c_str());
    if (pCoordinator->GetDeviceTypes().keys.empty())
        return fail(pCoordinator, 3);
    printf("Device types\n");
    chooseFirmware(pCoordinator);
    flash(pCoordinator);
    return report(pCoordinator);
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!parseOptions(argc, argv, &options)) {
        usage();
        return 2;
    }
    os_SetTimeScale(options.dScale);

    char szExeDir[os_kMaxPath];
    if (!os_GetExeDir(szExeDir, sizeof szExeDir)) {
        fprintf(stderr, "norvane-demo: cannot find the program's folder\n");
        return 1;
    }
    fs::path dataDir = fs::path(szExeDir) / "demo-data";

    int nLoad = ModelDb_Load();
    if (nLoad == 1) {
        printf("Unable to find \"Models.ini\".\n\n\"Models.ini\" is required by Norvane.\n");
        return 1;
    }
    if (nLoad == 2) {
        printf("The version of \"Models.ini\" is invalid with this version of Norvane.\n");
        return 1;
    }

    std::string workTemplate = (fs::temp_directory_path() / "norvane-demo-XXXXXX").string();
    if (mkdtemp(workTemplate.data()) == nullptr) {
        fprintf(stderr, "norvane-demo: cannot make a working folder\n");
        return 1;
    }
    fs::path workDir = workTemplate;
    if (!copyDemoFiles(dataDir, workDir) || chdir(workDir.c_str()) != 0) {
        fprintf(stderr, "norvane-demo: cannot prepare the working folder %s\n", workDir.c_str());
        return 1;
    }
    printf("Working folder %s\n", workDir.c_str());
    if (options.bLog) {
        dbg_SetLogging(true);
        dbg_OpenLog();
    }

    UpdateCoordinator coordinator;
    int nExit = runUpdate(&coordinator, dataDir);

    dbg_CloseLog();
    // Identification workers that outlived the time limit still read the
    // model database; it is emptied only when none runs.
    if (!coordinator.AnyWorkerRuns())
        ModelDb_Clear();
    if (!options.bKeep) {
        std::error_code ec;
        fs::remove_all(workDir, ec);
    } else {
        printf("Kept %s\n", workDir.c_str());
    }
    return nExit;
}
