// How idle the AT exchange's wait loops are, and how quickly they see a
// reply. Runs at the real time scale:
//   1. 36 concurrent devid_SendCommand waits on 36 silent simulated ports
//      for 5 s: the process's processor time (goal: under 0.1 s in all);
//   2. a device that replies 200 ms late, 25 times: the time from the
//      reply's last byte leaving the device to the call's return (goal:
//      median under 5 ms).
#include "EngineSource/devid.h"
#include "sim/SimPortSet.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kPorts = 36;
constexpr uint32_t kWaitSeconds = 5;
constexpr int kLatencyRounds = 25;
constexpr int kReplyDelayMs = 200;

double processCpuSeconds()
{
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string comName(int nPort) { return "\\\\.\\COM" + std::to_string(nPort); }

// Opens a port and sets 38400 baud; exits the program when it cannot.
void openOrDie(urs_Port* pPort, int nPort)
{
    if (urs_OpenPort(pPort, comName(nPort).c_str()) != urs_kOk || urs_SetUart(pPort, 38400, urs_kDataBits8, urs_kParityNone, urs_kStopBits1, urs_kFlowNone) != urs_kOk) {
        fprintf(stderr, "cannot open COM%d\n", nPort);
        exit(1);
    }
}

double silentWaitCpu(SimPortSet& ports)
{
    SimDeviceConfig config = sim_DeviceConfig(0);
    config.misbehaviour.bSilent = true;
    for (int nPort = 1; nPort <= kPorts; ++nPort) {
        config.nPort = nPort;
        if (ports.add(config) == nullptr) {
            fprintf(stderr, "cannot start COM%d\n", nPort);
            exit(1);
        }
    }
    std::vector<urs_Port> portRecords(kPorts);
    for (int i = 0; i < kPorts; ++i)
        openOrDie(&portRecords[i], i + 1);

    double dStart = processCpuSeconds();
    std::vector<std::thread> workers;
    for (int i = 0; i < kPorts; ++i) {
        workers.emplace_back([&portRecords, i] {
            char szReply[20];
            devid_SendCommand(&portRecords[i], szReply, sizeof szReply, kWaitSeconds, nullptr, nullptr, "AT\r", 1);
        });
    }
    for (std::thread& worker : workers)
        worker.join();
    double dCpu = processCpuSeconds() - dStart;
    for (urs_Port& port : portRecords)
        urs_ClosePort(&port);
    ports.stopAll();
    return dCpu;
}

std::vector<int64_t> replyLatencies(SimPortSet& ports)
{
    SimDeviceConfig config = sim_DeviceConfig(1);
    config.misbehaviour.nLateMs = kReplyDelayMs;
    SimDevice* pDevice = ports.add(config);
    if (pDevice == nullptr)
        exit(1);
    urs_Port port;
    openOrDie(&port, 1);
    std::vector<int64_t> latencies;
    for (int i = 0; i < kLatencyRounds; ++i) {
        char szReply[20];
        if (devid_SendCommand(&port, szReply, sizeof szReply, 5, nullptr, nullptr, "AT\r", 1) != 1) {
            fprintf(stderr, "no reply in round %d\n", i);
            exit(1);
        }
        int64_t nReturned = os_ClockMs();
        // The device records its bytes right after handing them over.
        std::string expected;
        for (int j = 0; j <= i; ++j)
            expected += "AT\r\r\nOK\r\n";
        pDevice->transcript().waitSent(expected, 1000);
        latencies.push_back(nReturned - pDevice->transcript().lastSentMs());
    }
    urs_ClosePort(&port);
    ports.stopAll();
    std::sort(latencies.begin(), latencies.end());
    return latencies;
}

}  // namespace

int main()
{
    os_SetTimeScale(1);
    SimPortSet ports;
    ports.exportPorts();

    double dCpu = silentWaitCpu(ports);
    printf("%d silent ports, %u s waits: %.3f s of processor time (goal < 0.1 s)\n", kPorts, kWaitSeconds, dCpu);

    std::vector<int64_t> latencies = replyLatencies(ports);
    printf("reply's last byte to return over %d rounds: median %lld ms, max %lld ms (goal: median < 5 ms)\n",
           kLatencyRounds, static_cast<long long>(latencies[latencies.size() / 2]),
           static_cast<long long>(latencies.back()));
    return 0;
}
