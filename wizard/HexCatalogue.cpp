// The firmware catalogue on Linux: the directory search of the runtime
// (case-insensitive match, names sorted without regard to case) lists the
// candidates; each name is read by its fixed positions; entries are owned
// by the catalogue and handed out as copies.
#include "wizard/HexCatalogue.h"

#include "EngineSource/OSWIN32.h"
#include "EngineSource/devidCountry.h"

#include <algorithm>

const char HexCatalogue_kExtension[] = "HEX";
const char HexCatalogue_kBootExtension[] = "HXB";

namespace {

// The shortest base name: model code, country code and at least one
// character of the build code.
constexpr size_t kMinBaseLength = 5;
constexpr size_t kModelCodeAt = 0;
constexpr size_t kCountryAt = 2;
constexpr size_t kCodeLength = 2;
constexpr size_t kBuildAt = 4;
constexpr size_t kMaxBuildLength = 4;

// A file built for "QY" (international PTT) also serves these countries; its
// entry is followed by one copy per country, in this order.
const char kSharedCountryCode[] = "QY";
const char* const kSharingCountryCodes[] = {"PL", "AE"};

std::string upperCopy(std::string sText)
{
    for (char& c : sText)
        c = static_cast<char>(gn_ToUpper(c));
    return sText;
}

bool isUpperLetter(char c) { return c >= 'A' && c <= 'Z'; }

// The country index of a code of the table (known to be there).
int32_t countryOf(const char* pszCode)
{
    int32_t nIndex = Country_kUnknown;
    Country_FromCode(pszCode, &nIndex);
    return nIndex;
}

}  // namespace

bool HexCatalogue::Discover(const std::string& sExtension, const std::string& sFolder)
{
    std::string sPattern = "*." + sExtension;
    std::string sPrefix = sFolder.empty() || sFolder == "." ? std::string() : sFolder + "/";
    const int32_t nShared = countryOf(kSharedCountryCode);

    os_FindRecord find;
    int bFound = os_FindFirst(sFolder.c_str(), sPattern.c_str(), &find);
    for (; bFound; bFound = os_FindNext(&find)) {
        // Only regular files are firmware: a FIFO or device node named like
        // one would block whoever opens it.
        if ((os_FindAttributes(&find) & (os_kAttrDirectory | os_kAttrDevice)) != 0)
            continue;
        char szName[os_kFindNameSize];
        os_FindName(szName, &find);
        HexFileEntry entry;
        if (!ParseName(&entry, sExtension, szName))
            continue;
        entry.fileName = sPrefix + entry.fileName;
        Append(entry);
        if (entry.country != nShared)
            continue;
        for (const char* pszCode : kSharingCountryCodes) {
            entry.country = countryOf(pszCode);
            Append(entry);
        }
    }
    os_FindClose(&find);
    return true;
}

bool HexCatalogue::ParseName(HexFileEntry* pEntry, const std::string& sExtension, const std::string& sName)
{
    os_mAssert(pEntry != nullptr);
    std::string sUpper = upperCopy(sName);
    size_t nDot = sUpper.find('.');
    if (pEntry == nullptr || nDot == std::string::npos)
        return false;
    if (sUpper.compare(nDot + 1, std::string::npos, upperCopy(sExtension)) != 0)
        return false;
    if (nDot < kMinBaseLength || !isUpperLetter(sUpper[kCountryAt + 1]))
        return false;

    std::string sModelCode = sUpper.substr(kModelCodeAt, kCodeLength);
    std::string sBuildCode = sUpper.substr(kBuildAt, std::min(kMaxBuildLength, nDot - kBuildAt));
    int32_t nCountry = Country_kUnknown;
    if (!Country_FromCode(sUpper.substr(kCountryAt, kCodeLength), &nCountry))
        return false;
    ModelKey key;
    if (!ModelKey_SetModelByCode(&key, sModelCode))
        return false;
    FirmwareBuild build;
    FirmwareBuild_FromCode(&build, sBuildCode, sModelCode, key);
    ModelKey_SelectBuild(&key, build.major);

    pEntry->path = sUpper;
    pEntry->fileName = sName;
    pEntry->key = key;
    pEntry->country = nCountry;
    pEntry->build = build;
    return true;
}

bool HexCatalogue::Fits(const HexFileEntry& entry, const ModelKey& key)
{
    if (!ModelKey_SameModel(entry.key, key))
        return false;
    return key.build == -1 || ModelKey_Equals(entry.key, key) || ModelKey_HasUpgrade(key, entry.build.major);
}

int32_t HexCatalogue::CountFitting(const ModelKey& key) const
{
    int32_t nCount = 0;
    for (const std::unique_ptr<HexFileEntry>& pEntry : m_entries)
        nCount += Fits(*pEntry, key) ? 1 : 0;
    return nCount;
}

int32_t HexCatalogue::CountSelectedFitting(const ModelKey& key) const
{
    int32_t nCount = 0;
    for (const std::unique_ptr<HexFileEntry>& pEntry : m_entries)
        nCount += pEntry->selected != 0 && Fits(*pEntry, key) ? 1 : 0;
    return nCount;
}

void HexCatalogue::DeselectFitting(const ModelKey& key)
{
    for (std::unique_ptr<HexFileEntry>& pEntry : m_entries) {
        if (Fits(*pEntry, key))
            pEntry->selected = 0;
    }
}

HexFileEntry HexCatalogue::SelectEntry(size_t nPosition)
{
    HexFileEntry* pEntry = GetEntry(nPosition);
    os_mAssert(pEntry != nullptr);
    if (pEntry == nullptr)
        return HexFileEntry();
    pEntry->selected = 1;
    return *pEntry;
}

std::vector<int32_t> HexCatalogue::FittingCountries(const ModelKey& key) const
{
    std::vector<int32_t> countries;
    for (const std::unique_ptr<HexFileEntry>& pEntry : m_entries) {
        if (Fits(*pEntry, key) && std::find(countries.begin(), countries.end(), pEntry->country) == countries.end())
            countries.push_back(pEntry->country);
    }
    return countries;
}

void HexCatalogue::SelectCountry(int32_t nCountry)
{
    for (std::unique_ptr<HexFileEntry>& pEntry : m_entries)
        pEntry->selected = pEntry->country == nCountry ? 1 : 0;
}

size_t HexCatalogue::Append(const HexFileEntry& entry)
{
    m_entries.push_back(std::make_unique<HexFileEntry>(entry));
    return m_entries.size() - 1;
}

void HexCatalogue::ClearSelection()
{
    for (std::unique_ptr<HexFileEntry>& pEntry : m_entries)
        pEntry->selected = 0;
}

HexFileEntry* HexCatalogue::GetEntry(size_t nPosition)
{
    return nPosition < m_entries.size() ? m_entries[nPosition].get() : nullptr;
}

const HexFileEntry* HexCatalogue::GetEntry(size_t nPosition) const
{
    return nPosition < m_entries.size() ? m_entries[nPosition].get() : nullptr;
}
