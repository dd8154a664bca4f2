// How long identifying a full set of ports takes, and what it costs. Runs at
// the real time scale with output paced to the line: 36 simulated devices
// of the four identification families (atmodem, ta, lucent, rockwell) are
// identified at once, one worker per port started with os_CreateThread as
// the identification jobs are. Reports:
//   - the wall time from starting the workers to the last one ending, beside
//     the fixed 2-second pause plus the line time of the bytes exchanged on
//     the busiest port at 38400 baud (10 bits a byte); goal: within 0.5 s.
//     Only the device's bytes are paced (the host's cross the
//     pseudo-terminal at once), so their share is shown as well;
//   - the processor time of the whole process meanwhile; goal: under 0.2 s.
//
//     bench_identify [Models.ini]    (default: data/Models.ini of the source)
#include "EngineSource/devid.h"
#include "model/ModelDb.h"
#include "sim/SimPortSet.h"

#include <sys/resource.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr int kPorts = 36;
constexpr double kPauseSeconds = 2.0;
constexpr double kBaud = 38400.0;
constexpr double kBitsPerByte = 10.0;
constexpr uint32_t kWorkerStack = 12000;

const char* const kFamilies[] = {"atmodem", "ta", "lucent", "rockwell"};

// What each family's device is identified as.
struct Expected {
    int32_t nStatus;          // identification status
    const char* pszModel;     // model field
};
const Expected kExpected[] = {{0, "KV3360"}, {0, "QBXHP-TA"}, {9, "LV5600"}, {0, "RW3360-SP"}};

// Counts the workers that have ended; the main thread waits on it.
struct Finish {
    std::mutex lock;                 // guards nDone
    std::condition_variable ended;   // signalled by every worker at its end
    int nDone = 0;                   // workers ended
};

struct Job {
    devid_DeviceInfo info;      // filled by devid_Identify
    std::string device;         // "\\.\COMn"
    Finish* pFinish;            // shared end counter
};

double processCpuSeconds()
{
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

int32_t goOn(void*, int32_t) { return 1; }

uint32_t identifyWorker(void* pArg)
{
    Job* pJob = static_cast<Job*>(pArg);
    devid_Identify(&pJob->info, pJob->device.c_str(), goOn, nullptr);
    std::lock_guard<std::mutex> guard(pJob->pFinish->lock);
    ++pJob->pFinish->nDone;
    pJob->pFinish->ended.notify_one();
    return 0;
}

std::string defaultModels()
{
    std::string source = __FILE__;
    size_t nSlash = source.rfind("/bench/");
    return nSlash == std::string::npos ? "data/Models.ini" : source.substr(0, nSlash) + "/data/Models.ini";
}

}  // namespace

int main(int argc, char** argv)
{
    std::string models = argc > 1 ? argv[1] : defaultModels();
    if (ModelDb_LoadFile(models.c_str()) != 0) {
        fprintf(stderr, "cannot load %s\n", models.c_str());
        return 1;
    }
    os_SetTimeScale(1);
    SimPortSet ports;
    ports.exportPorts();
    for (int i = 0; i < kPorts; ++i) {
        std::string error;
        if (ports.add(sim_DeviceConfig(i + 1, kFamilies[i % 4]), &error) == nullptr) {
            fprintf(stderr, "cannot start COM%d: %s\n", i + 1, error.c_str());
            return 1;
        }
    }

    Finish finish;
    std::vector<Job> jobs(kPorts);
    double dCpuStart = processCpuSeconds();
    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kPorts; ++i) {
        jobs[i].info = devid_DeviceInfo{};
        jobs[i].device = "\\\\.\\COM" + std::to_string(i + 1);
        jobs[i].pFinish = &finish;
        os_Thread hThread = 0;
        if (!os_CreateThread(&hThread, identifyWorker, kWorkerStack, &jobs[i])) {
            fprintf(stderr, "cannot start worker %d\n", i + 1);
            return 1;
        }
    }
    {
        std::unique_lock<std::mutex> guard(finish.lock);
        finish.ended.wait(guard, [&finish] { return finish.nDone == kPorts; });
    }
    double dWall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double dCpu = processCpuSeconds() - dCpuStart;

    int nWrong = 0;
    size_t nMostBytes = 0;
    size_t nMostSent = 0;
    size_t nAllBytes = 0;
    for (int i = 0; i < kPorts; ++i) {
        const Expected& expected = kExpected[i % 4];
        const devid_DeviceInfo& info = jobs[i].info;
        if (info.nStatus != expected.nStatus || std::string(info.szModel) != expected.pszModel) {
            fprintf(stderr, "COM%d (%s): status %d, model %s\n", i + 1, kFamilies[i % 4], info.nStatus, info.szModel);
            ++nWrong;
        }
        SimTranscript& transcript = ports.device(i + 1)->transcript();
        size_t nSent = transcript.sent().size();
        size_t nBytes = transcript.received().size() + nSent;
        nAllBytes += nBytes;
        if (nBytes > nMostBytes) {
            nMostBytes = nBytes;
            nMostSent = nSent;
        }
    }
    ports.stopAll();
    ModelDb_Clear();

    double dLine = static_cast<double>(nMostBytes) * kBitsPerByte / kBaud;
    double dDeviceLine = static_cast<double>(nMostSent) * kBitsPerByte / kBaud;
    printf("%d ports identified at once, %d wrong\n", kPorts, nWrong);
    printf("bytes exchanged: %zu on the busiest port (%zu from the device), %zu in all\n", nMostBytes, nMostSent,
           nAllBytes);
    printf("line time of the busiest port at 38400 baud: %.3f s (the device's bytes alone: %.3f s)\n", dLine,
           dDeviceLine);
    printf("wall time: %.3f s = pause %.1f s + line time %.3f s + %.4f s (goal: within 0.5 s)\n", dWall,
           kPauseSeconds, dLine, dWall - kPauseSeconds - dLine);
    printf("processor time of the process: %.3f s (goal < 0.2 s)\n", dCpu);
    return nWrong == 0 ? 0 : 1;
}
