// The boot code of an AT-protocol modem as a protocol mode of the simulator.
#include "sim/SimAtBoot.h"

#include "EngineSource/OSWIN32.h"
#include "sim/SimHex.h"
#include "sim/SimLoaderParts.h"
#include "sim/SimText.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <sstream>

namespace {

// The boot code listens at this rate after "AT*FS\r".
constexpr uint32_t kBootBaud = 19200;
// Bits on the line per byte: start bit, 8 data bits, stop bit.
constexpr double kBitsPerByte = 10.0;
// Largest block the boot code takes.
constexpr uint32_t kMaxBlock = 4096;
// A command line longer than this is thrown away.
constexpr size_t kMaxLine = 64;

const char kOkReply[] = "\r\nOK\r\n";
const char kErrorReply[] = "\r\nERROR\r\n";

struct RateLetter {
    char cLetter;      // the letter of speed replies and baud codes
    uint32_t nBaud;    // its rate
};

const RateLetter kRateLetters[] = {
    {'I', 9600}, {'J', 19200}, {'K', 38400}, {'L', 57600}, {'M', 115200},
};

uint32_t rateOfLetter(char cLetter)
{
    for (const RateLetter& entry : kRateLetters) {
        if (entry.cLetter == cLetter)
            return entry.nBaud;
    }
    return 0;
}

}  // namespace

struct SimAtBoot::State {
    explicit State(const SimAtBootConfig& settings) : config(settings) {}

    const SimAtBootConfig config;                                  // behaviour and faults
    mutable std::mutex lock;                                       // guards everything below
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> writes; // accepted blocks, in order
    int nRefusals = 0;                                             // blocks answered "ERROR"
    int nRateErrors = 0;                                           // bytes lost to a rate mismatch
    uint32_t nRate = 0;                                            // rate the boot code listens at
    int nFinished = 0;                                             // "ATFLEND" runs
};

namespace {

// Every byte of every accepted block, later blocks over earlier ones.
std::map<uint32_t, uint8_t> imageOf(const SimAtBoot::State& state)
{
    std::map<uint32_t, uint8_t> image;
    std::lock_guard<std::mutex> guard(state.lock);
    for (const auto& write : state.writes) {
        for (size_t i = 0; i < write.second.size(); ++i)
            image[write.first + static_cast<uint32_t>(i)] = write.second[i];
    }
    return image;
}

// Writes the image as an Intel HEX file, whole or not at all: it is written
// under another name and renamed, so a reader never sees half a file.
// False when that fails.
bool writeImageOf(const SimAtBoot::State& state, const std::string& path)
{
    std::string fresh = path + ".new";
    {
        std::ofstream out(fresh, std::ios::binary | std::ios::trunc);
        out << sim_HexImage(imageOf(state));
        if (!out)
            return false;
    }
    return rename(fresh.c_str(), path.c_str()) == 0;
}

// One run of the boot code, from its trigger to "ATFLEND\r" or the end of
// the line.
class AtBootMode : public SimProtocolMode {
public:
    AtBootMode(std::shared_ptr<SimAtBoot::State> pState, std::string trigger)
        : m_pState(std::move(pState)), m_trigger(std::move(trigger)), m_config(m_pState->config)
    {
    }

    void start(SimLink& link) override
    {
        if (m_trigger == "AT*FS") {
            setRate(kBootBaud);
            return;
        }
        // A device that runs only its boot code takes the trigger as its
        // own command at whatever rate the host uses.
        setRate(0);
        m_nHostBaud = link.hostBaud();
        runCommand(link, m_trigger);
    }

    bool onByte(SimLink& link, uint8_t byte) override;

private:
    enum class Phase { kCommand, kBaudCode, kHeader, kData, kChecksum, kSilent };

    void setRate(uint32_t nRate)
    {
        m_nRate = nRate;
        std::lock_guard<std::mutex> guard(m_pState->lock);
        m_pState->nRate = nRate;
    }

    // Sends a reply no earlier than the bytes before it have crossed the
    // line (input pacing), always through the link's schedule so that
    // replies keep their order. With noise on, a reply that begins an answer
    // (bNoisy) is preceded by line noise; the one-byte speed answer and the
    // echo within a line are not, since the host reads them as single bytes
    // or as one text.
    void reply(SimLink& link, const std::string& bytes, bool bNoisy = true)
    {
        double dDelay = m_config.bPaceInput ? m_dInputFreeMs - static_cast<double>(os_ClockMs()) : 0.0;
        link.sendAfter(dDelay > 0 ? static_cast<int64_t>(std::ceil(dDelay)) : 0,
                       bNoisy && m_config.bNoise ? sim_NoiseBytes() + bytes : bytes);
    }

    void replyResult(SimLink& link, const std::string& result)
    {
        if (!result.empty())
            reply(link, "\r\n" + result + "\r\n");
    }

    bool onCommandByte(SimLink& link, uint8_t byte);
    bool runCommand(SimLink& link, const std::string& line);
    void answerSpeed(SimLink& link);
    void takeBaudCode(SimLink& link, uint8_t byte);
    void endBlock(SimLink& link, uint8_t nChecksum);

    std::shared_ptr<SimAtBoot::State> m_pState;   // the device's flash and counters
    const std::string m_trigger;                  // the command that started the mode
    const SimAtBootConfig& m_config;              // behaviour and faults
    Phase m_ePhase = Phase::kCommand;             // what the next byte is
    bool m_bAwake = false;                        // a probe has been answered
    uint32_t m_nRate = 0;                         // rate the boot code listens at; 0 any
    uint32_t m_nHostBaud = 0;                     // the host's rate, read at each command byte
    double m_dInputFreeMs = 0;                    // runtime clock when the last byte has arrived
    std::string m_line;                           // command line being typed
    uint8_t m_header[5] = {};                     // block header being received
    size_t m_nHeader = 0;                         // header bytes received
    std::vector<uint8_t> m_data;                  // block data being received
    uint32_t m_nLength = 0;                       // block length from the header
    uint32_t m_nAddress = 0;                      // block address from the header
    int m_nAccepted = 0;                          // blocks accepted in this run
    int m_nRefusedHere = 0;                       // refusals of the current block
};

bool AtBootMode::onByte(SimLink& link, uint8_t byte)
{
    if (m_ePhase == Phase::kSilent)
        return true;
    // The host's rate is read while commands are typed; it does not change
    // within a block.
    bool bInBlock = m_ePhase == Phase::kHeader || m_ePhase == Phase::kData || m_ePhase == Phase::kChecksum;
    if (!bInBlock)
        m_nHostBaud = link.hostBaud();
    if (m_nRate != 0 && m_nHostBaud != 0 && m_nHostBaud != m_nRate) {
        std::lock_guard<std::mutex> guard(m_pState->lock);
        ++m_pState->nRateErrors;
        return true;
    }
    double dByteMs = m_nHostBaud > 0 ? kBitsPerByte * 1000.0 / m_nHostBaud : 0.0;
    m_dInputFreeMs = std::max(m_dInputFreeMs, static_cast<double>(os_ClockMs())) + dByteMs;

    switch (m_ePhase) {
    case Phase::kHeader:
        m_header[m_nHeader++] = byte;
        if (m_nHeader < sizeof m_header)
            return true;
        m_nLength = (static_cast<uint32_t>(m_header[0]) << 8) | m_header[1];
        m_nAddress = (static_cast<uint32_t>(m_header[2]) << 16) | (static_cast<uint32_t>(m_header[3]) << 8) | m_header[4];
        m_data.clear();
        if (m_nLength == 0 || m_nLength > kMaxBlock) {
            reply(link, kErrorReply);
            m_ePhase = Phase::kCommand;
        } else {
            m_ePhase = Phase::kData;
        }
        return true;
    case Phase::kData:
        m_data.push_back(byte);
        if (m_data.size() == m_nLength)
            m_ePhase = Phase::kChecksum;
        return true;
    case Phase::kChecksum:
        endBlock(link, byte);
        return true;
    case Phase::kBaudCode:
        if (byte == 'D')
            answerSpeed(link);
        else
            takeBaudCode(link, byte);
        return true;
    default:
        return onCommandByte(link, byte);
    }
}

bool AtBootMode::onCommandByte(SimLink& link, uint8_t byte)
{
    // "M" and "D" on their own are the wake-up probe and the speed query;
    // anything else is a command line, echoed as it is typed. Once awake the
    // boot code ignores further probes: those the host sent while it was
    // still starting would otherwise answer the speed queries.
    if (m_line.empty() && byte == 'M') {
        if (m_config.cWake != 0 && !m_bAwake)
            reply(link, std::string(1, m_config.cWake));
        m_bAwake = true;
        return true;
    }
    if (m_line.empty() && byte == 'D') {
        answerSpeed(link);
        return true;
    }
    if (m_config.bEcho)
        reply(link, std::string(1, static_cast<char>(byte)), m_line.empty());
    if (byte == '\r') {
        std::string line;
        line.swap(m_line);
        return runCommand(link, sim_Upper(line));
    }
    if (byte != '\n') {
        m_line += static_cast<char>(byte);
        if (m_line.size() > kMaxLine)
            m_line.clear();
    }
    return true;
}

bool AtBootMode::runCommand(SimLink& link, const std::string& line)
{
    if (line.empty())
        return true;
    if (line == "ATI1") {
        if (m_config.version == "ERROR")
            reply(link, kErrorReply);
        else
            reply(link, "\r\n" + m_config.version + "\r\n" + (m_config.bVersionOk ? kOkReply : ""));
    } else if (line == "ATDPOFF") {
        replyResult(link, m_config.dpOffResult);
    } else if (line == "ATN") {
        replyResult(link, m_config.nResult);
    } else if (line == "ATFLP") {
        if (m_nAccepted + 1 == m_config.nNoGoBlock)
            return true;
        reply(link, "G");
        m_nHeader = 0;
        m_ePhase = Phase::kHeader;
    } else if (line == "ATFLEND") {
        reply(link, kOkReply);
        {
            std::lock_guard<std::mutex> guard(m_pState->lock);
            ++m_pState->nFinished;
        }
        if (!m_config.imagePath.empty())
            writeImageOf(*m_pState, m_config.imagePath);
        return false;
    } else {
        reply(link, kErrorReply);
    }
    return true;
}

void AtBootMode::answerSpeed(SimLink& link)
{
    if (m_config.cSpeed == 0)
        return;
    reply(link, std::string(1, m_config.cSpeed), false);
    m_ePhase = Phase::kBaudCode;
}

void AtBootMode::takeBaudCode(SimLink& link, uint8_t byte)
{
    m_ePhase = Phase::kCommand;
    uint32_t nRate = rateOfLetter(static_cast<char>(byte));
    uint32_t nMax = rateOfLetter(m_config.cSpeed);
    if (nRate == 0 || (nMax != 0 && nRate > nMax)) {
        reply(link, kErrorReply);
        return;
    }
    replyResult(link, m_config.baudResult);
    if (m_config.baudResult == "OK")
        setRate(nRate);
}

void AtBootMode::endBlock(SimLink& link, uint8_t nChecksum)
{
    m_ePhase = Phase::kCommand;
    int nBlock = m_nAccepted + 1;
    if (nBlock == m_config.nDropAfter) {
        m_ePhase = Phase::kSilent;
        link.hangUp();
        return;
    }
    if (nBlock == m_config.nSilentAfter) {
        m_ePhase = Phase::kSilent;
        return;
    }
    uint8_t nXor = 0;
    for (uint8_t byte : m_data)
        nXor ^= byte;
    bool bRefuse = nXor != nChecksum || (nBlock == m_config.nErrorBlock && m_nRefusedHere < m_config.nErrorTimes);
    std::lock_guard<std::mutex> guard(m_pState->lock);
    if (bRefuse) {
        ++m_nRefusedHere;
        ++m_pState->nRefusals;
        reply(link, kErrorReply);
        return;
    }
    m_pState->writes.emplace_back(m_nAddress, m_data);
    ++m_nAccepted;
    m_nRefusedHere = 0;
    reply(link, kOkReply);
}

// Reads a count word value; false when it is not a number from 0 up.
bool parseCount(const std::string& value, int* pn)
{
    char* pEnd = nullptr;
    errno = 0;
    long n = strtol(value.c_str(), &pEnd, 10);
    if (value.empty() || *pEnd != '\0' || errno != 0 || n < 0 || n > 1000000L)
        return false;
    *pn = static_cast<int>(n);
    return true;
}

// A one-letter answer, or "none" for no answer.
bool parseLetter(const std::string& value, char* pc)
{
    if (sim_Upper(value) == "NONE") {
        *pc = 0;
        return true;
    }
    if (value.size() != 1)
        return false;
    *pc = value[0];
    return true;
}

bool parseResult(const std::string& value, std::string* pResult)
{
    std::string upper = sim_Upper(value);
    if (upper != "OK" && upper != "ERROR" && upper != "NONE")
        return false;
    *pResult = upper == "NONE" ? std::string() : upper;
    return true;
}

bool parseSwitch(const std::string& value, bool* pb)
{
    if (value != "0" && value != "1")
        return false;
    *pb = value == "1";
    return true;
}

bool applyWord(SimAtBootConfig* pConfig, const std::string& name, const std::string& value)
{
    if (name == "version") {
        pConfig->version = value;
        return !value.empty();
    }
    if (name == "speed")
        return parseLetter(value, &pConfig->cSpeed);
    if (name == "wake")
        return parseLetter(value, &pConfig->cWake);
    if (name == "baud")
        return parseResult(value, &pConfig->baudResult);
    if (name == "echo")
        return parseSwitch(value, &pConfig->bEcho);
    if (name == "versionok")
        return parseSwitch(value, &pConfig->bVersionOk);
    if (name == "dpoff")
        return parseResult(value, &pConfig->dpOffResult);
    if (name == "n")
        return parseResult(value, &pConfig->nResult);
    if (name == "bootonly")
        return parseSwitch(value, &pConfig->bBootOnly);
    if (name == "pace")
        return parseSwitch(value, &pConfig->bPaceInput);
    if (name == "noise")
        return parseSwitch(value, &pConfig->bNoise);
    if (name == "errorblock")
        return parseCount(value, &pConfig->nErrorBlock);
    if (name == "errors")
        return parseCount(value, &pConfig->nErrorTimes);
    if (name == "nogo")
        return parseCount(value, &pConfig->nNoGoBlock);
    if (name == "silentafter")
        return parseCount(value, &pConfig->nSilentAfter);
    if (name == "dropafter")
        return parseCount(value, &pConfig->nDropAfter);
    if (name == "image") {
        pConfig->imagePath = value;
        return !value.empty();
    }
    return false;
}

}  // namespace

bool sim_ParseAtBoot(const std::string& value, SimAtBootConfig* pConfig, std::string* pError)
{
    SimAtBootConfig config;
    std::string upper = sim_Upper(sim_Trim(value));
    if (upper != "ON" && upper != "1") {
        std::istringstream in(value);
        std::string word;
        while (in >> word) {
            size_t nEquals = word.find('=');
            if (nEquals == std::string::npos || !applyWord(&config, word.substr(0, nEquals), word.substr(nEquals + 1))) {
                if (pError != nullptr)
                    *pError = "invalid atboot word " + word;
                return false;
            }
        }
    }
    *pConfig = config;
    return true;
}

SimAtBoot::SimAtBoot(const SimAtBootConfig& config) : m_pState(std::make_shared<State>(config)) {}

void SimAtBoot::install(SimDeviceConfig* pConfig) const
{
    std::vector<std::string> triggers = {"AT*FS"};
    if (m_pState->config.bBootOnly)
        triggers.insert(triggers.end(), {"ATFLP", "ATDPOFF", "ATN"});
    std::shared_ptr<State> pState = m_pState;
    for (const std::string& trigger : triggers)
        pConfig->protocols[trigger] = [pState, trigger]() { return std::make_unique<AtBootMode>(pState, trigger); };
}

template <class T>
T SimAtBoot::read(T State::*pField) const
{
    std::lock_guard<std::mutex> guard(m_pState->lock);
    return (*m_pState).*pField;
}

std::map<uint32_t, uint8_t> SimAtBoot::image() const { return imageOf(*m_pState); }

bool SimAtBoot::writeImage(const std::string& path) const { return writeImageOf(*m_pState, path); }

std::vector<std::pair<uint32_t, uint32_t>> SimAtBoot::blocks() const
{
    std::vector<std::pair<uint32_t, uint32_t>> blocks;
    std::lock_guard<std::mutex> guard(m_pState->lock);
    for (const auto& write : m_pState->writes)
        blocks.emplace_back(write.first, static_cast<uint32_t>(write.second.size()));
    return blocks;
}

int SimAtBoot::refusals() const { return read(&State::nRefusals); }

int SimAtBoot::rateErrors() const { return read(&State::nRateErrors); }

uint32_t SimAtBoot::lineRate() const { return read(&State::nRate); }

int SimAtBoot::finishedRuns() const { return read(&State::nFinished); }

bool sim_ApplyAtBoot(SimDeviceConfig* pConfig, const std::string& value, std::string* pError)
{
    SimAtBootConfig config;
    if (!sim_ParseAtBoot(value, &config, pError))
        return false;
    SimAtBoot(config).install(pConfig);
    return true;
}
