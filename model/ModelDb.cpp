// Model database in memory: the controller table, the parsers of model
// lines and upgrade lists, the one process-wide list of ModelEntry records
// sorted by name without regard to case, and the queries by text, name,
// code, id and position. Reading Models.ini is in ModelDbLoad.cpp.
//
// Map of this file:
//   1. Text helpers and the controller table
//   2. Model lines and upgrade lists
//   3. The database: adding and emptying
//   4. Queries
#include "model/ModelDb.h"

#include "EngineSource/OSWIN32.h"

#include <algorithm>
#include <cstring>
#include <memory>

// ------------------------------- 1. Text helpers and the controller table

namespace {

// One row of the controller table.
struct ControllerFamily {
    const char* pszName;    // family name as written in field 4, upper case
    uint32_t nFlags;        // its controller flags
};

// The AT protocol's settings shared by the terminal adapters.
constexpr uint32_t kTaFlags = ModelDb_kFlagTerminalAdapter | ModelDb_kFlagSendDpOff | ModelDb_kFlagFastProbe;

const ControllerFamily kControllerTable[] = {
    {"OLDMODEMS", ModelDb_kFlagPatchResetVector | ModelDb_kFlagFastProbe},
    {"NEWMODEMS", ModelDb_kFlagSendN | ModelDb_kFlagFastProbe},
    {"TA", kTaFlags},
    {"QBXHITA", kTaFlags | ModelDb_kFlagPieces256},
    {"QBXHPTA", kTaFlags | ModelDb_kFlagPieces128},
    {"QBXMODEMS", ModelDb_kFlagPieces256 | ModelDb_kFlagSendN | ModelDb_kFlagFastProbe | ModelDb_kFlagPatchResetVector},
    {"LUCENT", ModelDb_kFlagLucent},
    {"ROCKWELL", ModelDb_kFlagRockwell},
};

// The white space of atoi.
bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Separators between the fields of a model line.
bool isFieldSeparator(char c) { return c == ',' || c == '{' || c == '}'; }

// Separator between the items of an upgrade list.
bool isItemSeparator(char c) { return c == ','; }

// Splits pszText into the runs of characters between separators (a run of
// separators counts as one, so no piece is empty); at most nMax pieces.
template <typename IsSeparator>
std::vector<std::string> splitRuns(const char* pszText, IsSeparator isSeparator, size_t nMax)
{
    std::vector<std::string> pieces;
    const char* p = pszText;
    while (p != nullptr && *p != '\0' && pieces.size() < nMax) {
        while (*p != '\0' && isSeparator(*p))
            ++p;
        const char* pStart = p;
        while (*p != '\0' && !isSeparator(*p))
            ++p;
        if (p != pStart)
            pieces.emplace_back(pStart, p);
    }
    return pieces;
}

}  // namespace

uint32_t Controller_Flags(const std::string& sFamily)
{
    std::string sUpper(sFamily);
    for (char& c : sUpper)
        c = static_cast<char>(gn_ToUpper(c));
    for (const ControllerFamily& family : kControllerTable) {
        if (sUpper == family.pszName)
            return family.nFlags;
    }
    return ModelDb_kFlagsUnknown;
}

int32_t ModelDb_Atoi(const char* psz)
{
    if (psz == nullptr)
        return 0;
    while (isSpace(*psz))
        ++psz;
    bool bNegative = *psz == '-';
    if (*psz == '-' || *psz == '+')
        ++psz;
    int64_t nValue = 0;
    for (; *psz >= '0' && *psz <= '9'; ++psz) {
        nValue = nValue * 10 + (*psz - '0');
        if (nValue > INT32_MAX)
            return bNegative ? INT32_MIN : INT32_MAX;
    }
    return static_cast<int32_t>(bNegative ? -nValue : nValue);
}

// ------------------------------------------ 2. Model lines and upgrade lists

int ModelDb_ParseLine(const char* pszLine, ModelEntry* pEntry)
{
    os_mAssert(pEntry != nullptr);
    if (pEntry == nullptr)
        return 0;
    std::vector<std::string> fields = splitRuns(pszLine, isFieldSeparator, 5);
    // Each field trimmed; a missing one reads as empty.
    char szField[5][ModelDb_kLineSize] = {};
    for (size_t i = 0; i < fields.size(); ++i)
        gn_TrimCopy(szField[i], fields[i].c_str(), ModelDb_kLineSize);

    pEntry->id = ModelDb_Atoi(szField[0]);
    gn_TrimCopy(pEntry->name, szField[1], ModelDb_kNameSize);
    gn_TrimCopy(pEntry->code, szField[2], ModelDb_kCodeSize);
    pEntry->flags = Controller_Flags(szField[3]);
    bool bNoExtra = strcmp(szField[4], "\"\"") == 0;
    gn_TrimCopy(pEntry->extra, bNoExtra ? "" : szField[4], ModelDb_kExtraSize);
    return static_cast<int>(fields.size());
}

int ModelDb_ParseUpgrades(const char* pszList, std::vector<int32_t>* pUpgrades)
{
    os_mAssert(pUpgrades != nullptr);
    if (pUpgrades == nullptr)
        return 0;
    pUpgrades->clear();
    for (const std::string& sItem : splitRuns(pszList, isItemSeparator, SIZE_MAX)) {
        int32_t nFirst = ModelDb_Atoi(sItem.c_str());
        int32_t nLast = nFirst;
        size_t nDash = sItem.find('-');
        if (nDash != std::string::npos)
            nLast = ModelDb_Atoi(sItem.c_str() + nDash + 1);
        if (nFirst < 1 || nFirst > nLast || nLast > ModelDb_kMaxUpgrade)
            break;
        for (int32_t n = nFirst; n <= nLast; ++n)
            pUpgrades->push_back(n);
    }
    return static_cast<int>(pUpgrades->size());
}

// ------------------------------------------ 3. The database: adding and emptying

namespace {

// The process-wide database: owned entries in name order. Entries are held
// by pointer so that lock references stay valid while entries are added.
struct ModelDb {
    std::vector<std::unique_ptr<ModelEntry>> entries;    // models in ascending order of name, case aside
};

ModelDb& theDb()
{
    static ModelDb db;
    return db;
}

}  // namespace

void ModelDb_Add(ModelEntry entry)
{
    std::vector<std::unique_ptr<ModelEntry>>& entries = theDb().entries;
    auto itPlace = std::upper_bound(entries.begin(), entries.end(), entry.name,
                                    [](const char* pszName, const std::unique_ptr<ModelEntry>& pEntry) {
                                        return gn_StriCmp(pszName, pEntry->name) < 0;
                                    });
    entries.insert(itPlace, std::make_unique<ModelEntry>(std::move(entry)));
}

void ModelDb_Clear()
{
    theDb().entries.clear();
}

// ---------------------------------------------------------------- 4. Queries

namespace {

// The first model in name order that satisfies isMatch, or null.
template <typename IsMatch>
const ModelEntry* findFirst(IsMatch isMatch)
{
    for (const std::unique_ptr<ModelEntry>& pEntry : theDb().entries) {
        if (isMatch(*pEntry))
            return pEntry.get();
    }
    return nullptr;
}

// Hands out what a look-up found: 1 with id, name and lock references in
// the out-pointers that are not null, or 0 with all of them untouched.
int giveModel(const ModelEntry* pFound, int32_t* pnId, std::string* pName, ModelLockRefs* pLocks)
{
    if (pFound == nullptr)
        return 0;
    if (pnId != nullptr)
        *pnId = pFound->id;
    if (pName != nullptr)
        *pName = pFound->name;
    if (pLocks != nullptr) {
        pLocks->clear();
        for (const ModelLock& lock : pFound->locks)
            pLocks->push_back(&lock);
    }
    return 1;
}

// Copies a name into a caller's buffer of nSize bytes.
void copyName(char* pszName, size_t nSize, const char* pszSource)
{
    os_mAssert(pszName != nullptr && nSize > 0);
    if (pszName != nullptr && nSize > 0)
        gn_StrCopyN(pszName, pszSource, static_cast<int>(std::min<size_t>(nSize, INT32_MAX)));
}

}  // namespace

int ModelDb_FindInText(const char* pszText, char* pszName, size_t nSize)
{
    if (pszText == nullptr)
        return 0;
    const ModelEntry* pFound = findFirst([pszText](const ModelEntry& entry) {
        size_t nLength = strlen(entry.name);
        const char* pOccurrence = nLength > 0 ? strstr(pszText, entry.name) : nullptr;
        return pOccurrence != nullptr && strcspn(pOccurrence, " \r\n") == nLength;
    });
    if (pFound == nullptr)
        return 0;
    copyName(pszName, nSize, pFound->name);
    return 1;
}

int ModelDb_FindByName(const char* pszName, int32_t* pnId, ModelLockRefs* pLocks)
{
    if (pszName == nullptr)
        return 0;
    const ModelEntry* pFound =
        findFirst([pszName](const ModelEntry& entry) { return gn_StriCmp(entry.name, pszName) == 0; });
    return giveModel(pFound, pnId, nullptr, pLocks);
}

int ModelDb_FindByCode(const char* pszCode, int32_t* pnId, std::string* pName, ModelLockRefs* pLocks)
{
    if (pszCode == nullptr)
        return 0;
    const ModelEntry* pFound =
        findFirst([pszCode](const ModelEntry& entry) { return strcmp(entry.code, pszCode) == 0; });
    return giveModel(pFound, pnId, pName, pLocks);
}

uint32_t ModelDb_FlagsById(int32_t nId)
{
    const ModelEntry* pFound = findFirst([nId](const ModelEntry& entry) { return entry.id == nId; });
    return pFound != nullptr ? pFound->flags : ModelDb_kFlagsUnknown;
}

int ModelDb_GetByIndex(int32_t nIndex, char* pszName, size_t nSize, uint32_t* pnFlags)
{
    const std::vector<std::unique_ptr<ModelEntry>>& entries = theDb().entries;
    if (nIndex < 0 || static_cast<size_t>(nIndex) >= entries.size())
        return 0;
    const ModelEntry& entry = *entries[static_cast<size_t>(nIndex)];
    copyName(pszName, nSize, entry.name);
    if (pnFlags != nullptr)
        *pnFlags = entry.flags;
    return 1;
}

std::string ModelDb_ExtraByCode(const std::string& sCode)
{
    const ModelEntry* pFound =
        findFirst([&sCode](const ModelEntry& entry) { return sCode == entry.code; });
    return pFound != nullptr ? std::string(pFound->extra) : std::string();
}
