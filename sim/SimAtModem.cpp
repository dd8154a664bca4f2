// AT command layer of a simulated device.
#include "sim/SimAtModem.h"

#include "sim/SimText.h"

namespace {

// A command line longer than this is thrown away, as a modem's buffer would.
constexpr size_t kMaxLine = 256;

struct ResultCode {
    const char* pszVerbose;    // the V1 text
    const char* pszNumeric;    // the V0 digits
};

const ResultCode kResultCodes[] = {
    {"OK", "0"},         {"CONNECT", "1"}, {"RING", "2"}, {"NO CARRIER", "3"},
    {"ERROR", "4"},      {"NO DIALTONE", "6"}, {"BUSY", "7"}, {"NO ANSWER", "8"},
};

}  // namespace

SimAtModem::SimAtModem(const SimDeviceConfig& config) : m_config(config), m_bEcho(config.bEcho) {}

bool SimAtModem::answering() const
{
    const SimMisbehaviour& misbehaviour = m_config.misbehaviour;
    if (misbehaviour.bSilent)
        return false;
    return misbehaviour.nStopAfter < 0 || m_nCommands < misbehaviour.nStopAfter;
}

void SimAtModem::onByte(SimLink& link, uint8_t byte)
{
    if (m_pMode != nullptr) {
        if (!m_pMode->onByte(link, byte))
            m_pMode.reset();
        return;
    }
    if (!answering())
        return;
    if (m_bEcho)
        link.send(std::string(1, static_cast<char>(byte)));
    if (byte == '\r') {
        std::string line;
        line.swap(m_line);
        runCommand(link, line);
    } else if (byte == '\b') {
        if (!m_line.empty())
            m_line.pop_back();
    } else if (byte != '\n') {
        m_line += static_cast<char>(byte);
        if (m_line.size() > kMaxLine)
            m_line.clear();
    }
}

void SimAtModem::onClosed()
{
    m_line.clear();
    if (m_pMode != nullptr) {
        m_pMode->onClosed();
        m_pMode.reset();
    }
}

std::string SimAtModem::noise(int nCount)
{
    std::string bytes;
    for (int i = 0; i < nCount; ++i) {
        m_nNoiseState ^= m_nNoiseState << 13;
        m_nNoiseState ^= m_nNoiseState >> 17;
        m_nNoiseState ^= m_nNoiseState << 5;
        bytes += static_cast<char>(m_nNoiseState & 0xFF);
    }
    return bytes;
}

void SimAtModem::runCommand(SimLink& link, const std::string& line)
{
    // A modem looks for "AT" and takes the command from there: "AAAAT"
    // is the command "AT".
    std::string upper = sim_Upper(line);
    size_t nAt = upper.find("AT");
    if (nAt == std::string::npos)
        return;
    std::string command = upper.substr(nAt);
    ++m_nCommands;

    const SimMisbehaviour& misbehaviour = m_config.misbehaviour;
    if (misbehaviour.nDropAfter >= 0 && m_nCommands > misbehaviour.nDropAfter) {
        link.hangUp();
        return;
    }

    bool bSettings = applySettings(command.substr(2));
    bool bPrefix = false;
    const SimProtocolFactory* pFactory = findProtocol(command, &bPrefix);
    if (pFactory != nullptr) {
        m_pMode = (*pFactory)();
        m_pMode->start(link);
        // A prefix trigger's line is data for the mode: it gets the line.
        std::string data = bPrefix ? line.substr(nAt) + "\r" : std::string();
        for (size_t i = 0; i < data.size() && m_pMode != nullptr; ++i) {
            if (!m_pMode->onByte(link, static_cast<uint8_t>(data[i])))
                m_pMode.reset();
        }
        return;
    }
    std::string reply;
    auto configured = m_config.replies.find(command);
    if (configured != m_config.replies.end())
        reply = formatReply(configured->second);
    else
        reply = formatResult(bSettings ? "OK" : "ERROR");
    reply = noise(misbehaviour.nGarbage) + std::string(static_cast<size_t>(misbehaviour.nFfBytes), '\xFF') + reply;
    if (misbehaviour.nLateMs > 0)
        link.sendAfter(misbehaviour.nLateMs, reply);
    else
        link.send(reply);
}

const SimProtocolFactory* SimAtModem::findProtocol(const std::string& command, bool* pbPrefix) const
{
    *pbPrefix = false;
    auto exact = m_config.protocols.find(command);
    if (exact != m_config.protocols.end())
        return &exact->second;
    for (const auto& entry : m_config.protocols) {
        const std::string& key = entry.first;
        if (!key.empty() && key.back() == '*' && command.compare(0, key.size() - 1, key, 0, key.size() - 1) == 0) {
            *pbPrefix = true;
            return &entry.second;
        }
    }
    return nullptr;
}

bool SimAtModem::applySettings(const std::string& body)
{
    bool bEcho = m_bEcho, bVerbose = m_bVerbose, bQuiet = m_bQuiet;
    for (size_t i = 0; i < body.size();) {
        char letter = body[i++];
        int nValue = 0;
        while (i < body.size() && body[i] >= '0' && body[i] <= '9')
            nValue = nValue * 10 + (body[i++] - '0');
        if ((letter == 'E' || letter == 'V' || letter == 'Q') && nValue > 1)
            return false;
        if (letter == 'E')
            bEcho = nValue == 1;
        else if (letter == 'V')
            bVerbose = nValue == 1;
        else if (letter == 'Q')
            bQuiet = nValue == 1;
        else if (letter == 'Z' && nValue == 0) {
            bEcho = m_config.bEcho;
            bVerbose = true;
            bQuiet = false;
        } else if (letter != ' ')
            return false;
    }
    m_bEcho = bEcho;
    m_bVerbose = bVerbose;
    m_bQuiet = bQuiet;
    return true;
}

std::string SimAtModem::formatResult(const std::string& result) const
{
    if (m_bQuiet || result.empty())
        return std::string();
    if (m_bVerbose)
        return "\r\n" + result + "\r\n";
    for (const ResultCode& code : kResultCodes) {
        if (result == code.pszVerbose)
            return std::string(code.pszNumeric) + "\r";
    }
    return result + "\r";
}

std::string SimAtModem::formatReply(const SimReply& reply) const
{
    if (reply.bRaw)
        return reply.raw;
    std::string text;
    for (size_t i = 0; i < reply.lines.size(); ++i)
        text += (i == 0 && m_bVerbose ? "\r\n" : "") + reply.lines[i] + "\r\n";
    return text + formatResult(reply.result);
}
