// Shared pieces of the simulated flash loaders.
#include "sim/SimLoaderParts.h"

#include "sim/SimText.h"

#include <cerrno>
#include <cstdlib>

namespace {

struct AnswerName {
    const char* pszName;     // the name in configurations (upper case)
    SimAnswerKind eKind;     // the answer
    const char* pszText;     // the text sent, without CR LF
};

const AnswerName kAnswers[] = {
    {"OK", SimAnswerKind::kOk, "OK"},           {"NOK1", SimAnswerKind::kNok1, "NOK1"},
    {"NOK2", SimAnswerKind::kNok2, "NOK2"},     {"NOK3", SimAnswerKind::kNok3, "NOK3"},
    {"NOK4", SimAnswerKind::kNok4, "NOK4"},     {"ERROR", SimAnswerKind::kError, "ERROR"},
    {"NONE", SimAnswerKind::kNone, ""},         {"ANNOUNCE", SimAnswerKind::kAnnounce, ""},
};

// A decimal count from 0 to 1e9; false when the text is not one.
bool parseNumber(const std::string& text, int* pn)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 10)
        return false;
    errno = 0;
    long n = strtol(text.c_str(), nullptr, 10);
    if (errno != 0 || n > 1000000000L)
        return false;
    *pn = static_cast<int>(n);
    return true;
}

}  // namespace

bool sim_ParseLoaderAnswer(const std::string& text, SimLoaderAnswer* pAnswer)
{
    std::string upper = sim_Upper(sim_Trim(text));
    SimLoaderAnswer answer;
    size_t nStar = upper.find('*');
    if (nStar != std::string::npos && (!parseNumber(upper.substr(nStar + 1), &answer.nTimes) || answer.nTimes < 1))
        return false;
    upper = upper.substr(0, nStar);
    size_t nAt = upper.find('@');
    if (nAt != std::string::npos && !parseNumber(upper.substr(nAt + 1), &answer.nLateMs))
        return false;
    upper = upper.substr(0, nAt);
    for (const AnswerName& name : kAnswers) {
        if (upper == name.pszName) {
            answer.eKind = name.eKind;
            *pAnswer = answer;
            return true;
        }
    }
    return false;
}

const std::string& sim_NoiseBytes()
{
    static const std::string s_noise = [] {
        std::string bytes;
        for (int nByte = 0x80; nByte <= 0xFF; ++nByte)
            bytes += static_cast<char>(nByte);
        return bytes;
    }();
    return s_noise;
}

bool sim_ParseOnOff(const std::string& text, bool* pb)
{
    std::string upper = sim_Upper(sim_Trim(text));
    if (upper == "1" || upper == "ON")
        *pb = true;
    else if (upper == "0" || upper == "OFF")
        *pb = false;
    else
        return false;
    return true;
}

void sim_SendAnswer(SimLink& link, const SimLoaderAnswer& answer, const std::string& announcement, bool bNoise)
{
    std::string bytes;
    for (const AnswerName& name : kAnswers) {
        if (name.eKind == answer.eKind && name.pszText[0] != '\0')
            bytes = std::string(name.pszText) + "\r\n";
    }
    if (answer.eKind == SimAnswerKind::kAnnounce)
        bytes = announcement;
    if (bytes.empty())
        return;
    if (bNoise)
        bytes = sim_NoiseBytes() + bytes;
    if (answer.nLateMs > 0)
        link.sendAfter(answer.nLateMs, bytes);
    else
        link.send(bytes);
}

bool SimLineSplitter::add(uint8_t byte, std::string* pLine)
{
    m_line += static_cast<char>(byte);
    if (byte != '\n')
        return false;
    pLine->swap(m_line);
    m_line.clear();
    return true;
}

void SimLineRecord::add(const std::string& line)
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_lines.push_back(line);
}

std::vector<std::string> SimLineRecord::lines() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_lines;
}

void SimLineRecord::clear()
{
    std::lock_guard<std::mutex> guard(m_lock);
    m_lines.clear();
}
