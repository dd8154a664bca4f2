// The simulated Lucent flash loader: its protocol mode and its settings.
#include "sim/SimLucentLoader.h"

#include "sim/SimText.h"

#include <cstdlib>
#include <utility>

namespace {

// The prefix of a downloaded loader line ("at&&f" or "at&&w").
constexpr size_t kLoaderPrefixLength = 5;
// The Intel HEX end-of-file record, which runs a downloaded loader.
const char kEndRecord[] = ":00000001";

// Numbers the lines of one stage from 1; a line equal to the one before it
// is the same line sent again.
class LineCounter {
public:
    void next(const std::string& line)
    {
        if (m_nNumber > 0 && line == m_last) {
            ++m_nReceptions;
            return;
        }
        m_last = line;
        ++m_nNumber;
        m_nReceptions = 1;
    }
    // The answer the current reception gets: the answers of its line in
    // turn, each for its nTimes receptions, then "OK".
    SimLoaderAnswer answer(const std::map<int, std::vector<SimLoaderAnswer>>& answers) const
    {
        auto found = answers.find(m_nNumber);
        if (found == answers.end())
            return SimLoaderAnswer();
        int nReception = m_nReceptions;
        for (const SimLoaderAnswer& answer : found->second) {
            if (nReception <= answer.nTimes)
                return answer;
            nReception -= answer.nTimes;
        }
        return SimLoaderAnswer();
    }
    // The stray reply due after the current reception's answer, if any.
    bool stray(const std::map<int, SimLoaderAnswer>& replies, SimLoaderAnswer* pReply) const
    {
        auto found = replies.find(m_nNumber);
        if (found == replies.end() || m_nReceptions != 1)
            return false;
        *pReply = found->second;
        return true;
    }

private:
    std::string m_last;        // the last line received
    int m_nNumber = 0;         // its number
    int m_nReceptions = 0;     // times it came so far
};

}  // namespace

class SimLucentMode : public SimProtocolMode {
public:
    SimLucentMode(std::shared_ptr<SimLucentLoader> pLoader, bool bDownload)
        : m_pLoader(std::move(pLoader)), m_eStage(bDownload ? Stage::kLoader : Stage::kStarting)
    {
    }

    void start(SimLink& link) override
    {
        if (m_eStage != Stage::kStarting)
            return;
        const SimLoaderAnswer& answer = m_pLoader->settings.start;
        if (answer.eKind != SimAnswerKind::kOk) {
            sim_SendAnswer(link, answer, std::string(), m_pLoader->settings.bNoise);
            m_eStage = Stage::kRefused;
            return;
        }
        run(link, answer.nLateMs);
    }

    bool onByte(SimLink& link, uint8_t byte) override
    {
        std::string line;
        if (!m_splitter.add(byte, &line))
            return true;
        if (m_eStage == Stage::kLoader)
            onLoaderLine(link, line);
        else if (m_eStage == Stage::kFirmware)
            onFirmwareLine(link, line);
        return true;
    }

private:
    enum class Stage {
        kStarting,    // the start command has arrived
        kRefused,     // the start command was refused; lines are ignored
        kLoader,      // loader lines arrive
        kFirmware,    // the loader runs: firmware lines arrive
    };

    // The loader begins to run: version and "OK", late when asked.
    void run(SimLink& link, int nLateMs)
    {
        const std::string& version = m_pLoader->settings.version;
        SimLoaderAnswer announce;
        announce.eKind = SimAnswerKind::kAnnounce;
        announce.nLateMs = nLateMs;
        sim_SendAnswer(link, announce, (version.empty() ? std::string() : "Ver:" + version + "\r\n") + "OK\r\n",
                       m_pLoader->settings.bNoise);
        m_eStage = Stage::kFirmware;
        ++m_pLoader->m_nRuns;
    }

    void onLoaderLine(SimLink& link, const std::string& line)
    {
        m_pLoader->m_loaderLines.add(line);
        m_loaderCount.next(line);
        SimLoaderAnswer answer = m_loaderCount.answer(m_pLoader->settings.loaderAnswers);
        bool bEnd = line.size() > kLoaderPrefixLength &&
                    line.compare(kLoaderPrefixLength, sizeof kEndRecord - 1, kEndRecord) == 0;
        if (bEnd && answer.eKind == SimAnswerKind::kOk)
            run(link, answer.nLateMs);
        else
            sim_SendAnswer(link, answer, std::string(), m_pLoader->settings.bNoise);
    }

    void onFirmwareLine(SimLink& link, const std::string& line)
    {
        m_pLoader->m_firmwareLines.add(line);
        m_firmwareCount.next(line);
        const SimLucentSettings& settings = m_pLoader->settings;
        sim_SendAnswer(link, m_firmwareCount.answer(settings.lineAnswers), std::string(), settings.bNoise);
        SimLoaderAnswer stray;
        if (m_firmwareCount.stray(settings.strayReplies, &stray))
            sim_SendAnswer(link, stray, std::string(), settings.bNoise);
    }

    std::shared_ptr<SimLucentLoader> m_pLoader;   // settings and record
    Stage m_eStage;                  // where the run is
    SimLineSplitter m_splitter;      // the host's bytes into lines
    LineCounter m_loaderCount;       // numbers of the loader lines
    LineCounter m_firmwareCount;     // numbers of the firmware lines
};

namespace {

// "LINE3" -> 3 with the prefix "LINE"; 0 when the command is not prefix and
// a number from 1.
int lineNumber(const std::string& command, const std::string& prefix)
{
    if (command.compare(0, prefix.size(), prefix) != 0 || command.size() == prefix.size() || command.size() > prefix.size() + 6)
        return 0;
    std::string digits = command.substr(prefix.size());
    if (digits.find_first_not_of("0123456789") != std::string::npos)
        return 0;
    return atoi(digits.c_str());
}

bool parseLucentAnswer(const std::string& value, SimLoaderAnswer* pAnswer)
{
    return sim_ParseLoaderAnswer(value, pAnswer) && pAnswer->eKind != SimAnswerKind::kAnnounce;
}

// Answers in turn: "nok2,none*4".
bool parseLucentAnswers(const std::string& value, std::vector<SimLoaderAnswer>* pAnswers)
{
    std::vector<SimLoaderAnswer> answers;
    size_t nStart = 0;
    for (;;) {
        size_t nComma = value.find(',', nStart);
        SimLoaderAnswer answer;
        if (!parseLucentAnswer(value.substr(nStart, nComma == std::string::npos ? std::string::npos : nComma - nStart),
                               &answer))
            return false;
        answers.push_back(answer);
        if (nComma == std::string::npos)
            break;
        nStart = nComma + 1;
    }
    *pAnswers = answers;
    return true;
}

}  // namespace

bool sim_ApplyLucentSetting(SimDeviceConfig* pConfig, const std::string& command, const std::string& value)
{
    if (pConfig->pLucent == nullptr)
        pConfig->pLucent = std::make_shared<SimLucentLoader>();
    std::shared_ptr<SimLucentLoader> pLoader = pConfig->pLucent;
    SimLucentSettings& settings = pLoader->settings;
    int nLoaderLine = lineNumber(command, "LOADER");
    int nFirmwareLine = lineNumber(command, "LINE");
    int nStrayLine = lineNumber(command, "STRAY");
    SimLoaderAnswer answer;
    std::vector<SimLoaderAnswer> answers;
    if (command.empty())
        settings.version = sim_Upper(sim_Trim(value)) == "NONE" ? std::string() : sim_Trim(value);
    else if (command == "START" && parseLucentAnswer(value, &answer))
        settings.start = answer;
    else if (nLoaderLine > 0 && parseLucentAnswers(value, &answers))
        settings.loaderAnswers[nLoaderLine] = answers;
    else if (nFirmwareLine > 0 && parseLucentAnswers(value, &answers))
        settings.lineAnswers[nFirmwareLine] = answers;
    else if (nStrayLine > 0 && parseLucentAnswer(value, &answer))
        settings.strayReplies[nStrayLine] = answer;
    else if (command != "NOISE" || !sim_ParseOnOff(value, &settings.bNoise))
        return false;

    auto started = [pLoader]() -> std::unique_ptr<SimProtocolMode> {
        return std::make_unique<SimLucentMode>(pLoader, false);
    };
    auto downloaded = [pLoader]() -> std::unique_ptr<SimProtocolMode> {
        return std::make_unique<SimLucentMode>(pLoader, true);
    };
    pConfig->protocols["AT&&FGO"] = started;
    pConfig->protocols["AT&&WGO"] = started;
    pConfig->protocols["AT&&F:*"] = downloaded;
    pConfig->protocols["AT&&W:*"] = downloaded;
    return true;
}
