// norvane-sim: plays simulated devices on pseudo-terminals until SIGINT or
// SIGTERM, each linked as COMn in a ports folder (point NORVANE_PORTS at it).
//
//   norvane-sim --ports DIR [--config FILE] [--device COMn:family[,key=value...]]...
//               [--transcript FILE] [--no-pacing]
#include "sim/SimConfig.h"
#include "sim/SimPortSet.h"
#include "sim/SimText.h"

#include <signal.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

void usage(FILE* pOut)
{
    fprintf(pOut,
            "usage: norvane-sim --ports DIR [--config FILE] [--device COMn:family[,key=value...]]...\n"
            "                   [--transcript FILE] [--no-pacing]\n"
            "Plays simulated devices on pseudo-terminals linked as DIR/COMn until\n"
            "interrupted. Families:");
    for (const std::string& family : sim_FamilyNames())
        fprintf(pOut, " %s", family.c_str());
    fprintf(pOut, "\nDevice settings: echo, pacing, inputpacing, silent, late, garbage, ff, stopafter,\n"
                  "dropafter, reply.<command>, result.<command>, raw.<command>, atboot,\n"
                  "lucentloader[.start, .line<n>, .loader<n>], rockwellloader[.initiated,\n"
                  ".flashcode, .programmed] (see sim/SimConfig.h).\n");
}

struct Options {
    std::string portsDir;                    // --ports
    std::string transcriptPath;              // --transcript
    bool bNoPacing = false;                  // --no-pacing
    std::vector<SimDeviceConfig> devices;    // --config and --device
};

// Parses the command line; returns 0 to run, else the exit code.
int parseOptions(int argc, char** argv, Options* pOptions)
{
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        bool bHasValue = i + 1 < argc;
        std::string error;
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 2;
        } else if (arg == "--no-pacing") {
            pOptions->bNoPacing = true;
        } else if (!bHasValue) {
            fprintf(stderr, "norvane-sim: %s needs a value\n", arg.c_str());
            return 2;
        } else if (arg == "--ports") {
            pOptions->portsDir = argv[++i];
        } else if (arg == "--transcript") {
            pOptions->transcriptPath = argv[++i];
        } else if (arg == "--config") {
            if (!sim_LoadConfig(argv[++i], &pOptions->devices, &error)) {
                fprintf(stderr, "norvane-sim: %s: %s\n", argv[i], error.c_str());
                return 2;
            }
        } else if (arg == "--device") {
            SimDeviceConfig config;
            if (!sim_ParseDeviceSpec(argv[++i], &config, &error)) {
                fprintf(stderr, "norvane-sim: %s\n", error.c_str());
                return 2;
            }
            pOptions->devices.push_back(config);
        } else {
            usage(stderr);
            return 2;
        }
    }
    if (pOptions->portsDir.empty() || pOptions->devices.empty()) {
        usage(stderr);
        return 2;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    int nExit = parseOptions(argc, argv, &options);
    if (nExit != 0)
        return nExit;
    if (mkdir(options.portsDir.c_str(), 0755) != 0 && errno != EEXIST) {
        fprintf(stderr, "norvane-sim: cannot make %s: %s\n", options.portsDir.c_str(), strerror(errno));
        return 1;
    }
    FILE* pTranscript = nullptr;
    if (!options.transcriptPath.empty()) {
        pTranscript = fopen(options.transcriptPath.c_str(), "w");
        if (pTranscript == nullptr) {
            fprintf(stderr, "norvane-sim: cannot write %s\n", options.transcriptPath.c_str());
            return 1;
        }
    }

    // The signals are taken by sigwait below; the device threads inherit
    // the blocked mask.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    std::mutex transcriptLock;
    {
        SimPortSet ports(options.portsDir);
        for (SimDeviceConfig config : options.devices) {
            if (options.bNoPacing)
                config.bPacing = false;
            std::string error;
            SimDevice* pDevice = ports.add(config, &error);
            if (pDevice == nullptr) {
                fprintf(stderr, "norvane-sim: COM%d: %s\n", config.nPort, error.c_str());
                return 1;
            }
            if (pTranscript != nullptr) {
                std::string prefix = "COM" + std::to_string(config.nPort) + " ";
                pDevice->transcript().setListener([&, prefix](const SimTranscriptEntry& entry) {
                    std::lock_guard<std::mutex> guard(transcriptLock);
                    fputs((prefix + SimTranscript::renderEntry(entry)).c_str(), pTranscript);
                    fflush(pTranscript);
                });
            }
            printf("COM%d (%s) linked as %s\n", config.nPort, config.family.c_str(), pDevice->linkPath().c_str());
        }
        printf("Ready: set NORVANE_PORTS=%s; Ctrl-C stops.\n", options.portsDir.c_str());
        fflush(stdout);

        int nSignal = 0;
        sigwait(&stopSignals, &nSignal);
        ports.stopAll();
    }
    if (pTranscript != nullptr)
        fclose(pTranscript);
    printf("Stopped; links removed.\n");
    return 0;
}
