// Model keys, device-type lists, firmware builds and OEM builds over the
// model database. Letter tests and upper-casing touch ASCII letters only,
// so the results do not depend on the process locale.
//
// Map of this file:
//   1. Text helpers        3. ModelKeyList
//   2. ModelKey            4. FirmwareBuild and OEM builds
#include "model/ModelKey.h"

#include "EngineSource/OSWIN32.h"

#include <algorithm>

// ---------------------------------------------------------- 1. Text helpers

namespace {

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

std::string upperCopy(std::string sText)
{
    for (char& c : sText)
        c = static_cast<char>(gn_ToUpper(c));
    return sText;
}

// The letter field's value for a character: its upper-case code, 0 to 255.
int32_t letterCode(char c) { return static_cast<unsigned char>(gn_ToUpper(c)); }

// Fills a build from its major and minor texts and its letter.
void fillBuild(FirmwareBuild* pBuild, const std::string& sMajor, const std::string& sMinor, int32_t nLetter)
{
    pBuild->major = ModelDb_Atoi(sMajor.c_str());
    pBuild->minor = ModelDb_Atoi(sMinor.c_str());
    pBuild->letter = nLetter;
    pBuild->text = sMajor + "." + sMinor;
    pBuild->text += static_cast<char>(nLetter);
}

}  // namespace

// -------------------------------------------------------------- 2. ModelKey

int ModelKey_SetModelByName(ModelKey* pKey, const std::string& sName)
{
    os_mAssert(pKey != nullptr);
    std::string sUpper = upperCopy(sName);
    int32_t nId = 0;
    ModelLockRefs locks;
    if (pKey == nullptr || ModelDb_FindByName(sUpper.c_str(), &nId, &locks) == 0)
        return 0;
    pKey->id = nId;
    pKey->locks = std::move(locks);
    pKey->name = std::move(sUpper);
    return 1;
}

int ModelKey_SetModelByCode(ModelKey* pKey, const std::string& sCode)
{
    os_mAssert(pKey != nullptr);
    int32_t nId = 0;
    std::string sName;
    ModelLockRefs locks;
    if (pKey == nullptr || ModelDb_FindByCode(upperCopy(sCode).c_str(), &nId, &sName, &locks) == 0)
        return 0;
    pKey->id = nId;
    pKey->name = std::move(sName);
    pKey->locks = std::move(locks);
    return 1;
}

void ModelKey_SelectBuild(ModelKey* pKey, int32_t nBuild)
{
    os_mAssert(pKey != nullptr);
    if (pKey == nullptr)
        return;
    for (const ModelLock* pLock : pKey->locks) {
        if (pLock->build == nBuild) {
            pKey->build = nBuild;
            pKey->upgrades = pLock->upgrades;
            return;
        }
    }
    pKey->build = -1;
}

uint32_t ModelKey_Flags(const ModelKey& key) { return ModelDb_FlagsById(key.id); }

bool ModelKey_HasUpgrade(const ModelKey& key, int32_t nBuild)
{
    return std::find(key.upgrades.begin(), key.upgrades.end(), nBuild) != key.upgrades.end();
}

std::string ModelKey_DisplayName(const ModelKey& key)
{
    if ((ModelKey_Flags(key) & ModelDb_kFlagRockwell) != 0)
        return key.name.substr(0, key.name.find('-'));
    if (key.build == -1)
        return key.name;
    return key.name + " - Version " + std::to_string(key.build) + ".xx";
}

bool ModelKey_Equals(const ModelKey& a, const ModelKey& b) { return a.id == b.id && a.build == b.build; }

bool ModelKey_SameModel(const ModelKey& a, const ModelKey& b) { return a.id == b.id; }

// ---------------------------------------------------------- 3. ModelKeyList

namespace {

// The first key of the list equal to key, or null.
ModelKey* findEqual(ModelKeyList* pList, const ModelKey& key)
{
    for (std::unique_ptr<ModelKey>& pEntry : pList->keys) {
        if (ModelKey_Equals(*pEntry, key))
            return pEntry.get();
    }
    return nullptr;
}

}  // namespace

int ModelKeyList_AddDevice(ModelKeyList* pList, const ModelKey& key)
{
    os_mAssert(pList != nullptr);
    ModelKey* pEqual = pList != nullptr ? findEqual(pList, key) : nullptr;
    if (pEqual == nullptr)
        return 0;
    ++pEqual->count;
    return 1;
}

size_t ModelKeyList_Append(ModelKeyList* pList, const ModelKey& key)
{
    pList->keys.push_back(std::make_unique<ModelKey>(key));
    return pList->keys.size() - 1;
}

void ModelKeyList_MarkDone(ModelKeyList* pList, const ModelKey& key)
{
    os_mAssert(pList != nullptr);
    ModelKey* pEqual = pList != nullptr ? findEqual(pList, key) : nullptr;
    if (pEqual != nullptr)
        pEqual->done = 1;
}

const ModelKey* ModelKeyList_NextSelected(const ModelKeyList& list)
{
    for (const std::unique_ptr<ModelKey>& pEntry : list.keys) {
        if (pEntry->selected != 0 && pEntry->done == 0)
            return pEntry.get();
    }
    return nullptr;
}

void ModelKey_Select(ModelKeyList* pList, size_t nPosition)
{
    os_mAssert(pList != nullptr);
    if (pList != nullptr && nPosition < pList->keys.size())
        pList->keys[nPosition]->selected = 1;
}

void ModelKeyList_Clear(ModelKeyList* pList)
{
    os_mAssert(pList != nullptr);
    if (pList != nullptr)
        pList->keys.clear();
}

// ------------------------------------------- 4. FirmwareBuild and OEM builds

int FirmwareBuild_FromVersion(FirmwareBuild* pBuild, const ModelKey& key, const std::string& sVersion)
{
    os_mAssert(pBuild != nullptr);
    if (pBuild == nullptr)
        return 1;
    size_t nDot = sVersion.find('.');
    if (nDot == std::string::npos) {
        std::string sCode = sVersion.empty() ? std::string() : sVersion.substr(1);
        return FirmwareBuild_FromCode(pBuild, sCode, std::string(), key);
    }
    std::string sMajor;
    std::string sMinor;
    int32_t nLetter = ' ';
    if (isAsciiLetter(sVersion[0])) {
        // "V3.100B": the letter sits at position 6 or is taken as missing.
        sMajor = sVersion.substr(1, nDot - 1);
        sMinor = sVersion.substr(nDot + 1, 3);
        if (sVersion.size() > 6 && isAsciiLetter(sVersion[6]))
            nLetter = letterCode(sVersion[6]);
    } else {
        // "3.10a": a fifth character is the letter, whatever it is, unless
        // the major has two digits.
        sMajor = sVersion.substr(0, nDot);
        sMinor = sVersion.substr(nDot + 1, 2);
        if (sVersion.size() == 5 && nDot != 2)
            nLetter = letterCode(sVersion[4]);
    }
    fillBuild(pBuild, sMajor, sMinor, nLetter);
    return 1;
}

int FirmwareBuild_FromCode(FirmwareBuild* pBuild, const std::string& sCode, const std::string& sModelCode,
                           const ModelKey& key)
{
    os_mAssert(pBuild != nullptr);
    if (pBuild == nullptr)
        return 1;
    std::string sDigits(sCode);
    int32_t nLetter = ' ';
    if (!sDigits.empty() && isAsciiLetter(sDigits.back())) {
        nLetter = letterCode(sDigits.back());
        sDigits.pop_back();
    }
    std::string sMajor;
    std::string sMinor;
    if ((ModelKey_Flags(key) & ModelDb_kFlagRockwell) != 0) {
        // Rockwell file names carry only the minor; the major is the model's.
        sMajor = sModelCode.empty() ? std::string("2") : ModelDb_ExtraByCode(sModelCode);
        sMinor = sDigits;
    } else {
        size_t nMajorLength = sDigits.size() == 3 ? 1 : std::min<size_t>(2, sDigits.size());
        sMajor = sDigits.substr(0, nMajorLength);
        sMinor = sDigits.substr(nMajorLength);
    }
    fillBuild(pBuild, sMajor, sMinor, nLetter);
    return 1;
}

bool FirmwareBuild_Less(const FirmwareBuild& a, const FirmwareBuild& b)
{
    if (a.major != b.major)
        return a.major < b.major;
    if (a.minor != b.minor)
        return a.minor < b.minor;
    return a.letter < b.letter;
}

std::string FirmwareBuild_Text(const FirmwareBuild& build) { return build.text; }

int OemBuild_FromName(const std::string& sName, int32_t* pnOem)
{
    os_mAssert(pnOem != nullptr);
    std::string sUpper = upperCopy(sName);
    int32_t nOem = -1;
    if (sUpper.empty())
        nOem = 0;
    for (int32_t n = 1; n <= OemBuild_kCount; ++n) {
        if (sUpper == "PELLAM " + std::to_string(n))
            nOem = n;
    }
    if (nOem < 0 || pnOem == nullptr)
        return 0;
    *pnOem = nOem;
    return 1;
}
