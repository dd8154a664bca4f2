// What an AT flash run of a 256 KiB image costs, at the real time scale,
// against simulated boot code on pseudo-terminals:
//   (a) unpaced line: the engine's programming throughput (bytes of the
//       image per second from "Programming" to "Programming Done"; goal: at
//       least 20 x 11,520 B/s, twenty times what 115200 baud carries) and
//       the processor time of the worker thread for the whole run;
//   (b) the simulator paced to the line rate (both directions, 10 bits a
//       byte): the run's time beside the line time of the bytes exchanged
//       after the wake-up (19200 baud until the switch, 115200 after it) plus
//       the protocol's fixed pauses; goal: within 3 %;
//   (c) 8 devices at once, paced, started as flash jobs: the time until the
//       last job ends beside (b); goal: within 10 %.
//
//     bench_at_flash [a|b|c]...     (default: all three)
#include "EngineSource/AtFlsh.h"
#include "EngineSource/FlashInfo.h"
#include "sim/SimAtBoot.h"
#include "sim/SimHex.h"
#include "sim/SimPortSet.h"

#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr uint32_t kImageBytes = 256 * 1024;
constexpr double kBitsPerByte = 10.0;
constexpr double kLineBytesPerSecond = 115200.0 / kBitsPerByte;
constexpr int kDevices = 8;
constexpr uint32_t kWorkerStack = 18000;

// The handshake's fixed pauses with flags 0 when the first probe wakes the
// boot code: settling at 19200, after "AT*FS\r", after the switch to the
// boot code's rate, one probe, settling at the agreed rate.
constexpr double kPauseSeconds = (2000 + 30 + 100 + 300 + 2000) / 1000.0;

double seconds(std::chrono::steady_clock::time_point since)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double threadCpuSeconds()
{
    timespec now;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Writes the image: every byte of 0..256 KiB from a simple generator.
std::map<uint32_t, uint8_t> writeImage(const std::string& path)
{
    std::map<uint32_t, uint8_t> image;
    uint32_t nState = 12345;
    for (uint32_t nAddress = 0; nAddress < kImageBytes; ++nAddress) {
        nState = nState * 1103515245u + 12345u;
        image[nAddress] = static_cast<uint8_t>(nState >> 16);
    }
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << sim_HexImage(image);
    return image;
}

// One AT flash run on a thread of its own, timed from inside.
struct TimedRun {
    std::string device;                                 // "\\.\COMn"
    std::string hexPath;                                // the image file
    FlashJob job;                                       // receives the progress
    std::chrono::steady_clock::time_point start;        // run started
    std::chrono::steady_clock::time_point programming;  // event 5
    std::chrono::steady_clock::time_point done;         // event 9
    double dCpu = 0;                                    // worker's processor time
    int32_t nResult = -1;                               // the protocol's result
    std::atomic<bool> bEnded{false};                    // set last
};

int32_t timedProgress(void* pContext, int32_t nEvent, int32_t a, uint32_t b)
{
    TimedRun* pRun = static_cast<TimedRun*>(pContext);
    if (nEvent == flsh_cEventProgramStart)
        pRun->programming = std::chrono::steady_clock::now();
    if (nEvent == flsh_cProgramDone)
        pRun->done = std::chrono::steady_clock::now();
    return FlashProgress(&pRun->job, nEvent, a, b);
}

uint32_t timedWorker(void* pArg)
{
    TimedRun* pRun = static_cast<TimedRun*>(pArg);
    double dCpuStart = threadCpuSeconds();
    pRun->start = std::chrono::steady_clock::now();
    pRun->nResult = AtFlsh_Program(pRun->device.c_str(), pRun->hexPath.c_str(), 0, 0, 1, &pRun->job.nBaud,
                                   &pRun->job.nHighestDataAddress, pRun->job.szBootCodeVersion, timedProgress, pRun,
                                   0, 0, 0);
    pRun->dCpu = threadCpuSeconds() - dCpuStart;
    pRun->bEnded = true;
    return 0;
}

// Starts boot code on COMn into *pBoot; false when it cannot start.
bool addBoot(SimPortSet* pPorts, int nPort, bool bPaced, SimAtBoot* pBoot)
{
    SimAtBootConfig config;
    config.bPaceInput = bPaced;
    *pBoot = SimAtBoot(config);
    SimDeviceConfig device = sim_DeviceConfig(nPort);
    device.bPacing = bPaced;
    pBoot->install(&device);
    std::string error;
    if (pPorts->add(device, &error) == nullptr) {
        fprintf(stderr, "cannot start COM%d: %s\n", nPort, error.c_str());
        return false;
    }
    return true;
}

bool runTimed(TimedRun* pRun, int nPort, const std::string& hexPath)
{
    pRun->device = "\\\\.\\COM" + std::to_string(nPort);
    pRun->hexPath = hexPath;
    InitFlashJob(&pRun->job, pRun->device.c_str(), 115200);
    os_Thread hThread = 0;
    if (!os_CreateThread(&hThread, timedWorker, kWorkerStack, pRun))
        return false;
    while (!pRun->bEnded)
        usleep(2000);
    DeleteFlashJob(&pRun->job);
    return pRun->nResult == flsh_cSuccessful;
}

bool sameImage(const SimAtBoot& boot, const std::map<uint32_t, uint8_t>& image)
{
    return boot.image() == image;
}

// Line time of the bytes exchanged after the wake-up: from the speed query
// to the switch at 19200 baud, from "ATI1\r" on at 115200.
double lineSeconds(const SimTranscript& transcript)
{
    std::string toDevice = transcript.received(), toHost = transcript.sent();
    size_t nQuery = toDevice.find('D'), nVersion = toDevice.find("ATI1\r");
    size_t nSpeed = toHost.find('U') + 1, nEcho = toHost.find("ATI1\r");
    if (nQuery == std::string::npos || nVersion == std::string::npos || nEcho == std::string::npos)
        return 0;
    double dSlow = static_cast<double>((nVersion - nQuery) + (nEcho - nSpeed));
    double dFast = static_cast<double>((toDevice.size() - nVersion) + (toHost.size() - nEcho));
    return (dSlow * kBitsPerByte / 19200.0) + (dFast * kBitsPerByte / 115200.0);
}

// Flashes the image onto one device, paced or not; false when the run
// fails or the device holds another image. *pdLine: the line time of the
// bytes exchanged (see lineSeconds).
bool runSingle(bool bPaced, const std::string& hexPath, const std::map<uint32_t, uint8_t>& image, TimedRun* pRun,
               double* pdLine)
{
    SimPortSet ports;
    ports.exportPorts();
    SimAtBoot boot;
    if (!addBoot(&ports, 1, bPaced, &boot) || !runTimed(pRun, 1, hexPath) || !sameImage(boot, image)) {
        fprintf(stderr, "the run failed: result %d\n", pRun->nResult);
        return false;
    }
    *pdLine = lineSeconds(ports.device(1)->transcript());
    return true;
}

bool benchUnpaced(const std::string& hexPath, const std::map<uint32_t, uint8_t>& image)
{
    TimedRun run;
    double dLine = 0;
    if (!runSingle(false, hexPath, image, &run, &dLine))
        return false;
    double dProgramming = std::chrono::duration<double>(run.done - run.programming).count();
    double dThroughput = kImageBytes / dProgramming;
    printf("(a) unpaced: %u bytes programmed in %.3f s: %.0f B/s = %.1f x 11,520 B/s (goal >= 20 x)\n", kImageBytes,
           dProgramming, dThroughput, dThroughput / kLineBytesPerSecond);
    printf("    whole run %.3f s (fixed pauses %.2f s); worker processor time %.3f s\n",
           std::chrono::duration<double>(run.done - run.start).count(), kPauseSeconds, run.dCpu);
    return true;
}

bool benchPaced(const std::string& hexPath, const std::map<uint32_t, uint8_t>& image, double* pdSingle)
{
    TimedRun run;
    double dLine = 0;
    if (!runSingle(true, hexPath, image, &run, &dLine))
        return false;
    double dRun = std::chrono::duration<double>(run.done - run.start).count();
    double dLimit = dLine + kPauseSeconds;
    *pdSingle = dRun;
    printf("(b) paced to 115200: run %.3f s; line time %.3f s + pauses %.2f s = %.3f s; over by %.2f %% (goal <= 3 %%)\n",
           dRun, dLine, kPauseSeconds, dLimit, (dRun / dLimit - 1) * 100);
    printf("    worker processor time %.3f s\n", run.dCpu);
    return true;
}

bool benchEight(const std::string& hexPath, const std::map<uint32_t, uint8_t>& image, double dSingle)
{
    SimPortSet ports;
    ports.exportPorts();
    std::vector<SimAtBoot> boots(kDevices);
    for (int i = 0; i < kDevices; ++i) {
        if (!addBoot(&ports, i + 1, true, &boots[i]))
            return false;
    }
    std::vector<FlashJob> jobs(kDevices);
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kDevices; ++i) {
        InitFlashJob(&jobs[i], ("\\\\.\\COM" + std::to_string(i + 1)).c_str(), 115200);
        StartFlashJob(&jobs[i], hexPath.c_str(), 0, 0, 0, 0, 0);
    }
    bool bRunning = true;
    while (bRunning) {
        usleep(2000);
        bRunning = false;
        for (const FlashJob& job : jobs)
            bRunning = bRunning || GetResult(&job) == -1;
    }
    double dAll = seconds(start);
    int nWrong = 0;
    for (int i = 0; i < kDevices; ++i) {
        if (GetResult(&jobs[i]) != flsh_cSuccessful || !sameImage(boots[i], image))
            ++nWrong;
        DeleteFlashJob(&jobs[i]);
    }
    printf("(c) %d devices at once, paced: %.3f s against %.3f s for one: %+.2f %% (goal <= 10 %%), %d wrong\n",
           kDevices, dAll, dSingle, (dAll / dSingle - 1) * 100, nWrong);
    return nWrong == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string parts = "abc";
    if (argc > 1) {
        parts.clear();
        for (int i = 1; i < argc; ++i)
            parts += argv[i];
    }
    os_SetTimeScale(1);
    char szDir[] = "/tmp/norvane-bench-XXXXXX";
    if (mkdtemp(szDir) == nullptr) {
        fprintf(stderr, "cannot make a folder\n");
        return 1;
    }
    std::string hexPath = std::string(szDir) + "/image.hex";
    std::map<uint32_t, uint8_t> image = writeImage(hexPath);

    bool bOk = true;
    double dSingle = 0;
    if (parts.find('a') != std::string::npos)
        bOk = benchUnpaced(hexPath, image) && bOk;
    if (parts.find_first_of("bc") != std::string::npos)
        bOk = benchPaced(hexPath, image, &dSingle) && bOk;
    if (parts.find('c') != std::string::npos && dSingle > 0)
        bOk = benchEight(hexPath, image, dSingle) && bOk;
    unlink(hexPath.c_str());
    rmdir(szDir);
    return bOk ? 0 : 1;
}
