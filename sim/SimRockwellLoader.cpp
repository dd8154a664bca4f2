// The simulated Rockwell boot loader: its protocol mode and its settings.
#include "sim/SimRockwellLoader.h"

#include <memory>
#include <utility>

namespace {

const char kInitiated[] = "Download initiated ..\r\n";
const char kFlashCode[] = "Download flash code ..\r\n";
const char kProgrammed[] = "Device successfully programmed\r\n";
// The Intel HEX end-of-file record, which ends the firmware.
const char kEndRecord[] = ":00000001";

// An S-record that ends a boot loader: S7, S8 or S9.
bool isTermination(const std::string& line)
{
    return line.size() >= 2 && line[0] == 'S' && line[1] >= '7' && line[1] <= '9';
}

}  // namespace

class SimRockwellMode : public SimProtocolMode {
public:
    explicit SimRockwellMode(std::shared_ptr<SimRockwellLoader> pLoader) : m_pLoader(std::move(pLoader)) {}

    void start(SimLink& link) override
    {
        ++m_pLoader->m_nDownloads;
        sim_SendAnswer(link, m_pLoader->settings.initiated, kInitiated, m_pLoader->settings.bNoise);
    }

    bool onByte(SimLink& link, uint8_t byte) override
    {
        std::string line;
        if (!m_splitter.add(byte, &line))
            return true;
        if (m_eStage == Stage::kBootLoader) {
            m_pLoader->m_bootLines.add(line);
            if (isTermination(line)) {
                sim_SendAnswer(link, m_pLoader->settings.flashCode, kFlashCode, m_pLoader->settings.bNoise);
                m_eStage = Stage::kFirmware;
            }
        } else {
            m_pLoader->m_firmwareLines.add(line);
            if (m_eStage == Stage::kFirmware && line.compare(0, sizeof kEndRecord - 1, kEndRecord) == 0) {
                sim_SendAnswer(link, m_pLoader->settings.programmed, kProgrammed, m_pLoader->settings.bNoise);
                m_eStage = Stage::kProgrammed;
            }
        }
        return true;
    }

private:
    enum class Stage {
        kBootLoader,    // boot-loader lines arrive
        kFirmware,      // firmware lines arrive
        kProgrammed,    // the end-of-file record has come
    };

    std::shared_ptr<SimRockwellLoader> m_pLoader;   // settings and record
    Stage m_eStage = Stage::kBootLoader;            // where the download is
    SimLineSplitter m_splitter;                     // the host's bytes into lines
};

bool sim_ApplyRockwellSetting(SimDeviceConfig* pConfig, const std::string& command, const std::string& value)
{
    if (pConfig->pRockwell == nullptr)
        pConfig->pRockwell = std::make_shared<SimRockwellLoader>();
    std::shared_ptr<SimRockwellLoader> pLoader = pConfig->pRockwell;
    SimRockwellSettings& settings = pLoader->settings;
    SimLoaderAnswer answer;
    bool bValid = true;
    if (command == "NOISE")
        bValid = sim_ParseOnOff(value, &settings.bNoise);
    else if (!sim_ParseLoaderAnswer(value, &answer))
        bValid = false;
    else if (command.empty())
        settings.initiated = settings.flashCode = settings.programmed = answer;
    else if (command == "INITIATED")
        settings.initiated = answer;
    else if (command == "FLASHCODE")
        settings.flashCode = answer;
    else if (command == "PROGRAMMED")
        settings.programmed = answer;
    else
        bValid = false;
    if (!bValid)
        return false;

    pConfig->protocols["AT**"] = [pLoader]() -> std::unique_ptr<SimProtocolMode> {
        return std::make_unique<SimRockwellMode>(pLoader);
    };
    pConfig->bPaceInput = true;
    return true;
}
