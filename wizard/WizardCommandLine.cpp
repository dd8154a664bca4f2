#include "wizard/WizardCommandLine.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

namespace {

// True when psz is exactly the letter c in either case.
bool isOption(const char* psz, char c)
{
    return psz[0] != '\0' && psz[1] == '\0' &&
           (psz[0] == c || psz[0] == static_cast<char>(tolower(static_cast<unsigned char>(c))));
}

void takeValue(CWizardCommandLineInfo* pInfo, const char* pszValue)
{
    switch (pInfo->m_nPending) {
    case cmd_kPendingModel:
        ModelKey_SetModelByName(&pInfo->m_Model, pszValue);
        break;
    case cmd_kPendingPort:
        pInfo->m_strPort = pszValue;
        break;
    case cmd_kPendingHexFile:
        pInfo->m_strHexFile = pszValue;
        break;
    case cmd_kPendingBaud:
        pInfo->m_nBaud = ModelDb_Atoi(pszValue);
        break;
    default:
        break;
    }
    pInfo->m_nPending = cmd_kPendingNone;
}

}  // namespace

void CWizardCommandLineInfo::ParseParam(const char* pszParam, bool bFlag, bool /*bLast*/)
{
    if (pszParam == nullptr)
        return;
    if (m_nPending != cmd_kPendingNone)
        takeValue(this, pszParam);
    if (!bFlag)
        return;
    // A value written as a flag ("-p -d") is the port "d" and then the flag D.
    m_nPending = cmd_kPendingNone;
    if (isOption(pszParam, 'B'))
        m_nBootCode = 1;
    else if (isOption(pszParam, 'C'))
        m_bForceLoader = true;
    else if (isOption(pszParam, 'D'))
        m_bLog = true;
    else if (isOption(pszParam, 'F'))
        m_nPending = cmd_kPendingHexFile;
    else if (isOption(pszParam, 'H'))
        m_bForceBoot = true;
    else if (isOption(pszParam, 'M'))
        m_nPending = cmd_kPendingModel;
    else if (isOption(pszParam, 'P'))
        m_nPending = cmd_kPendingPort;
    else if (isOption(pszParam, 'R'))
        m_nPending = cmd_kPendingBaud;
    else if (isOption(pszParam, 'S'))
        m_bShowResults = true;
    else if (isOption(pszParam, 'V'))
        m_bDevelopers = !m_bDevelopers;
    else if (isOption(pszParam, 'W'))
        m_bCountryChoice = true;
}

void WizardCommandLine_Parse(CWizardCommandLineInfo* pInfo, int argc, const char* const* argv)
{
    for (int i = 1; i < argc; i++) {
        const char* psz = argv[i];
        bool bFlag = false;
        if (psz[0] == '-') {
            bFlag = true;
            psz++;
        } else if (psz[0] == '/' && isalpha(static_cast<unsigned char>(psz[1])) && psz[2] == '\0') {
            bFlag = true;
            psz++;
        }
        pInfo->ParseParam(psz, bFlag, i == argc - 1);
    }
}
