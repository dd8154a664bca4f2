// Reading Models.ini on this platform: the file lies in the folder of the
// executable (the folder of /proc/self/exe) and is read only through the
// engine's cached profile reader (os_GetPPint, os_GetPPS), whose cached copy
// is dropped once loading is over. Each model line becomes a ModelEntry
// with the lock entries of the model's own section, added to the database
// in name order.
#include "model/ModelDb.h"

#include "EngineSource/OSWIN32.h"
#include "EngineSource/dbg.h"
#include "EngineSource/ospfl.h"

#include <charconv>
#include <cstring>
#include <string>

static const char kDbgModule[] = "model/ModelDbLoad";

namespace {

// The profile reader keeps section names of at most 39 characters with
// their brackets, so a model whose name is longer than this has no section
// that can be found (and the reader is never asked for one).
constexpr size_t kMaxSectionName = 37;

// The version text read like atof in the C locale, whatever locale the
// process runs in (a decimal comma would otherwise turn "1.04" into 1);
// 0 when it does not start with a number.
double readVersion(const char* pszText)
{
    const char* p = pszText;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    if (*p == '+')
        ++p;
    double dValue = 0;
    if (std::from_chars(p, p + strlen(p), dValue).ec != std::errc())
        return 0;
    return dValue;
}

// The entry name pszPrefix followed by the decimal number n ("Lock2").
std::string numbered(const char* pszPrefix, int32_t n) { return pszPrefix + std::to_string(n); }

// Reads the lock entries of the model's own section into pEntry->locks.
void readLocks(const char* pszPath, ModelEntry* pEntry)
{
    if (strlen(pEntry->name) > kMaxSectionName) {
        DBG_LOG("model %s: name too long for a section, no locks read", pEntry->name);
        return;
    }
    int32_t nLocks = os_GetPPint(pEntry->name, "NumLocks", 0, pszPath);
    if (nLocks > ModelDb_kMaxLocks) {
        DBG_LOG("model %s: NumLocks %d read as %d", pEntry->name, nLocks, ModelDb_kMaxLocks);
        nLocks = ModelDb_kMaxLocks;
    }
    for (int32_t j = 1; j <= nLocks; ++j) {
        char szList[ModelDb_kUpgradeSize];
        ModelLock lock;
        lock.build = os_GetPPint(pEntry->name, numbered("Lock", j).c_str(), -1, pszPath);
        os_GetPPS(pEntry->name, numbered("Upgrade", j).c_str(), "", szList, sizeof szList, pszPath);
        ModelDb_ParseUpgrades(szList, &lock.upgrades);
        pEntry->locks.push_back(std::move(lock));
    }
}

// The checks and the models of the profile pszPath; the caller drops the
// cached profile.
int loadModels(const char* pszPath)
{
    int32_t nModels = os_GetPPint("Models", "NumModels", 0, pszPath);
    if (nModels < 1) {
        DBG_LOG("%s: no models (NumModels %d)", pszPath, nModels);
        return ModelDb_kNoModels;
    }
    char szVersion[ModelDb_kVersionSize];
    os_GetPPS("Version", "Version", "", szVersion, sizeof szVersion, pszPath);
    // Negated so that a version that reads as no number (NaN) fails too.
    if (!(readVersion(szVersion) >= ModelDb_kMinVersion)) {
        DBG_LOG("%s: version \"%s\" is missing or below %.2f", pszPath, szVersion, ModelDb_kMinVersion);
        return ModelDb_kWrongVersion;
    }
    if (nModels > ModelDb_kMaxModels) {
        DBG_LOG("%s: NumModels %d read as %d", pszPath, nModels, ModelDb_kMaxModels);
        nModels = ModelDb_kMaxModels;
    }
    for (int32_t i = 1; i <= nModels; ++i) {
        char szLine[ModelDb_kLineSize];
        ModelEntry entry;
        os_GetPPS("Models", numbered("MODEL", i).c_str(), "", szLine, sizeof szLine, pszPath);
        ModelDb_ParseLine(szLine, &entry);
        readLocks(pszPath, &entry);
        ModelDb_Add(std::move(entry));
    }
    DBG_LOG("%s: %d models loaded", pszPath, nModels);
    return ModelDb_kLoaded;
}

}  // namespace

namespace {

// True when sPath is a file with something in it. An empty Models.ini is
// what a run without one leaves behind (the profile reader creates the file
// it misses); it must not hide the installed copy from later runs.
bool fileHasContent(const std::string& sPath)
{
    osfl_Handle hFile = osfl_Open(sPath.c_str(), osfl_kAccessRead);
    if (hFile == osfl_kInvalidHandle)
        return false;
    int32_t nLength = osfl_Length(hFile);
    osfl_Close(hFile);
    return nLength > 0;
}

}  // namespace

int ModelDb_Load()
{
    char szDir[os_kMaxPath];
    if (os_GetExeDir(szDir, sizeof szDir) == 0) {
        DBG_LOG("the folder of the executable is unknown");
        return ModelDb_kNoModels;
    }
    // Beside the executable, as the program has always kept it; an installed
    // program (bin/) finds it in share/norvane/ beside its folder.
    std::string sPath = std::string(szDir) + "Models.ini";
    std::string sInstalled = std::string(szDir) + "../share/norvane/Models.ini";
    if (!fileHasContent(sPath) && fileHasContent(sInstalled))
        sPath = sInstalled;
    return ModelDb_LoadFile(sPath.c_str());
}

int ModelDb_LoadFile(const char* pszPath)
{
    os_mAssert(pszPath != nullptr);
    if (pszPath == nullptr)
        return ModelDb_kNoModels;
    int nResult = loadModels(pszPath);
    os_FreeReadProfile(pszPath);
    return nResult;
}
