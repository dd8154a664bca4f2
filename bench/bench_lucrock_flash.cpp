// How close the Lucent and Rockwell flash protocols come to the line rate.
// Runs at the real time scale against simulated devices that pace their
// output and their reading of the host's bytes to 115200 baud:
//   1. Lucent: the loader started with "AT&&FGO\r", then a 256 KiB image in
//      Intel HEX (32 data bytes per record), one "OK" per line. Reported:
//      the time against the line time of the bytes sent plus the fixed
//      settles (10 s + 2 s), and the share the replies take.
//   2. Rockwell: "AT**\r", ./BPFL24.s37 and the same image streamed under
//      flow control. Reported: the time against the line time of the bytes
//      sent (goal: within 3 %).
// Run it from the source folder (it reads data/BPFL24.s37), or give the
// data folder as its argument.
#include "EngineSource/LucFlsh.h"
#include "EngineSource/RockFlsh.h"
#include "sim/SimHexImage.h"
#include "sim/SimPortSet.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

namespace {

constexpr int32_t kBaud = 115200;
constexpr double kBitsPerByte = 10.0;
constexpr uint32_t kImageBytes = 256 * 1024;
constexpr uint32_t kBytesPerRecord = 32;
constexpr double kLucentSettleMs = 12000;   // 10 s after opening, 2 s before closing

double lineMs(size_t nBytes) { return static_cast<double>(nBytes) * kBitsPerByte * 1000.0 / kBaud; }

// Lines of CR LF text.
size_t lineCount(const std::string& text)
{
    size_t nLines = 0;
    for (size_t nAt = text.find("\r\n"); nAt != std::string::npos; nAt = text.find("\r\n", nAt + 2))
        ++nLines;
    return nLines;
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Adds a device with the given loader setting, paced to the line or not;
// exits when it cannot start.
SimDevice* addDevice(SimPortSet& ports, int nPort, const char* pszKey, const char* pszValue, bool bPaced = true)
{
    SimDeviceConfig config = sim_DeviceConfig(nPort);
    config.bEcho = false;
    config.bPacing = bPaced;
    config.bPaceInput = bPaced;
    std::string error;
    SimDevice* pDevice = nullptr;
    if (sim_ApplySetting(&config, pszKey, pszValue, &error))
        pDevice = ports.add(config, &error);
    if (pDevice == nullptr) {
        fprintf(stderr, "cannot start COM%d: %s\n", nPort, error.c_str());
        exit(1);
    }
    return pDevice;
}

int32_t countEvents(void* pCount, int32_t, int32_t, uint32_t)
{
    ++*static_cast<long*>(pCount);
    return 1;
}

// One Lucent run on COMn; returns its runtime-clock length in ms.
double runLucent(SimDevice* pDevice, int nPort)
{
    int32_t nBaud = kBaud;
    uint32_t nHighest = 0;
    char szVersion[flsh_kVersionSize] = "";
    long nEvents = 0;
    std::string port = "\\\\.\\COM" + std::to_string(nPort);
    int64_t nStart = os_ClockMs();
    int32_t nResult = LucFlsh_Program(port.c_str(), "image.hex", 0, 0, 1, &nBaud, &nHighest, szVersion, countEvents,
                                      &nEvents, 0, 0, 0);
    if (nResult != flsh_cSuccessful || pDevice->transcript().received().empty()) {
        fprintf(stderr, "Lucent run on COM%d failed: %d\n", nPort, nResult);
        exit(1);
    }
    return static_cast<double>(os_ClockMs() - nStart);
}

void benchLucent(SimPortSet& ports, const std::string& image)
{
    SimDevice* pDevice = addDevice(ports, 1, "lucentloader", "4.4");
    double dMs = runLucent(pDevice, 1);
    size_t nSent = pDevice->transcript().received().size();
    size_t nReplies = pDevice->transcript().sent().size();
    size_t nLines = lineCount(image);
    double dSentMs = lineMs(nSent);
    double dLimitMs = dSentMs + kLucentSettleMs;
    double dRepliesMs = dMs - dLimitMs;
    printf("Lucent: %zu lines, %zu bytes sent, %zu bytes of replies\n", nLines, nSent, nReplies);
    printf("  time %.1f s; line time of the bytes sent %.1f s + settles %.1f s = %.1f s (+%.1f %%)\n", dMs / 1000,
           dSentMs / 1000, kLucentSettleMs / 1000, dLimitMs / 1000, (dMs / dLimitMs - 1) * 100);
    printf("  replies take %.1f s (%.1f %% of the run; %.2f ms per line, of which %.2f ms is the reply's own "
           "line time)\n",
           dRepliesMs / 1000, dRepliesMs / dMs * 100, dRepliesMs / static_cast<double>(nLines),
           lineMs(nReplies) / static_cast<double>(nLines));

    // The same run on a device that neither paces nor delays: what is left
    // is the protocol's own turnaround per line.
    SimDevice* pFast = addDevice(ports, 3, "lucentloader", "4.4", false);
    double dFastMs = runLucent(pFast, 3) - kLucentSettleMs;
    printf("  unpaced device: %.1f s after the settles, %.3f ms per line (sending, reply wait, next line)\n",
           dFastMs / 1000, dFastMs / static_cast<double>(nLines));
}

void benchRockwell(SimPortSet& ports)
{
    SimDevice* pDevice = addDevice(ports, 2, "rockwellloader", "announce");
    int32_t nBaud = kBaud;
    uint32_t nHighest = 0;
    char szVersion[flsh_kVersionSize] = "";
    long nEvents = 0;
    int64_t nStart = os_ClockMs();
    int32_t nResult = RockFlsh_Program("\\\\.\\COM2", "image.hex", 0, 0, 1, &nBaud, &nHighest, szVersion, countEvents,
                                       &nEvents, 0, 0, 0);
    double dMs = static_cast<double>(os_ClockMs() - nStart);
    size_t nSent = pDevice->transcript().received().size();
    double dSentMs = lineMs(nSent);
    printf("Rockwell: result %d, %zu bytes sent, %ld progress reports\n", nResult, nSent, nEvents);
    printf("  time %.1f s; line time of the bytes sent %.1f s (+%.2f %%, goal < 3 %%)\n", dMs / 1000, dSentMs / 1000,
           (dMs / dSentMs - 1) * 100);
}

}  // namespace

int main(int argc, char** argv)
{
    std::string dataDir = argc > 1 ? argv[1] : "data";
    std::string bootLoader = readFile(dataDir + "/BPFL24.s37");
    if (bootLoader.empty()) {
        fprintf(stderr, "cannot read %s/BPFL24.s37 (run from the source folder or name the data folder)\n",
                dataDir.c_str());
        return 1;
    }
    char szDir[] = "/tmp/norvane-bench-XXXXXX";
    if (mkdtemp(szDir) == nullptr || chdir(szDir) != 0) {
        fprintf(stderr, "cannot make a working folder\n");
        return 1;
    }
    std::string image = sim_MakeIntelHex(0, kImageBytes, kBytesPerRecord, 0x5EED);
    writeFile("image.hex", image);
    writeFile("BPFL24.s37", bootLoader);
    printf("image: %u bytes in %zu bytes of Intel HEX; %d baud, real time\n", kImageBytes, image.size(), kBaud);

    os_SetTimeScale(1);
    SimPortSet ports;
    ports.exportPorts();
    benchRockwell(ports);
    benchLucent(ports, image);
    ports.stopAll();

    remove("image.hex");
    remove("BPFL24.s37");
    if (chdir("/") == 0)
        rmdir(szDir);
    return 0;
}
