// Profile cache: one process-wide data list of (path, parsed profile)
// records and the profile lock, made on first use (os_InitReadProfiles, or
// whichever call comes first) and kept for the life of the process.
//
// Every call holds the profile lock while it works, os_FreeReadProfile too,
// so a profile is never freed while another thread reads it. The lock is
// recursive: os_GetPPS holds it across os_GetReadProfile.
#include "EngineSource/ospfl.h"

#include "EngineSource/OSWIN32.h"
#include "EngineSource/ll.h"
#include "EngineSource/pfl.h"

#include <cstring>

namespace {

// One cached file.
struct os_ReadProfile {
    pfl_Profile* pProfile;            // the parsed file, owned by the cache
    char szFilePath[os_kMaxPath];     // the path it was read under
};

struct ProfileCache {
    ll_List list;       // data list of os_ReadProfile
    os_Mutex lock;      // the profile lock
};

ProfileCache& cache()
{
    // Made once, thread-safely, and never destroyed: records may be looked
    // up until the process ends.
    static ProfileCache* s_pCache = [] {
        ProfileCache* pCache = new ProfileCache;
        ll_CreateList(&pCache->list, ll_kDataList);
        os_CreateMutex(&pCache->lock);
        return pCache;
    }();
    return *s_pCache;
}

// Holds the profile lock for a scope.
class ProfileLock {
public:
    ProfileLock() : m_pCache(&cache()) { os_LockMutex(&m_pCache->lock); }
    ~ProfileLock() { os_UnlockMutex(&m_pCache->lock); }
    ProfileLock(const ProfileLock&) = delete;
    ProfileLock& operator=(const ProfileLock&) = delete;

private:
    ProfileCache* m_pCache;    // whose lock is held
};

// A path longer than a record holds can be neither cached nor opened.
bool pathFits(const char* pszFilePath) { return strlen(pszFilePath) < os_kMaxPath; }

// Walks the cache to the first record of the path (any letter case); the
// iterator is left on it. Null when the path is not cached. The caller holds
// the profile lock.
os_ReadProfile* findRecord(ll_Iterator* pIt, const char* pszFilePath)
{
    ll_CreateIterator(pIt, &cache().list);
    for (auto* pRecord = static_cast<os_ReadProfile*>(ll_First(pIt)); pRecord != nullptr;
         pRecord = static_cast<os_ReadProfile*>(ll_Next(pIt))) {
        if (gn_StriCmp(pRecord->szFilePath, pszFilePath) == 0)
            return pRecord;
    }
    return nullptr;
}

}  // namespace

void os_InitReadProfiles() { cache(); }

pfl_Profile* os_FindReadProfile(const char* pszFilePath)
{
    os_mAssert(pszFilePath);
    if (pszFilePath == nullptr)
        return nullptr;
    ProfileLock lock;
    ll_Iterator it;
    os_ReadProfile* pRecord = findRecord(&it, pszFilePath);
    ll_DestroyIterator(&it);
    return pRecord != nullptr ? pRecord->pProfile : nullptr;
}

void os_AddReadProfile(const char* pszFilePath, pfl_Profile* pProfile)
{
    os_mAssert(pszFilePath);
    if (pszFilePath == nullptr)
        return;
    os_mAssert(pathFits(pszFilePath));
    if (!pathFits(pszFilePath))
        return;
    ProfileLock lock;
    os_ReadProfile record{};
    record.pProfile = pProfile;
    gn_StrCopyN(record.szFilePath, pszFilePath, static_cast<int>(sizeof record.szFilePath));
    ll_AddTail(&cache().list, &record, static_cast<int32_t>(sizeof record));
}

pfl_Profile* os_GetReadProfile(const char* pszFilePath)
{
    os_mAssert(pszFilePath);
    if (pszFilePath == nullptr || !pathFits(pszFilePath))
        return nullptr;
    ProfileLock lock;
    pfl_Profile* pProfile = os_FindReadProfile(pszFilePath);
    if (pProfile == nullptr) {
        pProfile = pfl_ReadProfile(nullptr, pszFilePath);
        if (pProfile != nullptr)
            os_AddReadProfile(pszFilePath, pProfile);
    }
    return pProfile;
}

void os_FreeReadProfile(const char* pszFilePath)
{
    if (pszFilePath == nullptr)
        return;
    ProfileLock lock;
    ll_Iterator it;
    os_ReadProfile* pRecord = findRecord(&it, pszFilePath);
    if (pRecord != nullptr) {
        pfl_FreeProfile(pRecord->pProfile);
        ll_DeleteCurrent(&it);
    }
    ll_DestroyIterator(&it);
}

int os_GetPPS(const char* pszSection, const char* pszEntry, const char* pszDefault,
              char* pszBuffer, int nSize, const char* pszFilePath)
{
    os_mAssert(pszSection);
    os_mAssert(pszEntry);
    os_mAssert(pszDefault);
    os_mAssert(pszBuffer);
    os_mAssert(nSize > 0);
    os_mAssert(pszFilePath);
    if (pszBuffer == nullptr || nSize <= 0)
        return 0;
    ProfileLock lock;
    int nCount = 0;
    if (pszSection != nullptr && pszEntry != nullptr && pszFilePath != nullptr) {
        pfl_Profile* pProfile = os_GetReadProfile(pszFilePath);
        if (pProfile != nullptr)
            nCount = pfl_GetEntry(pProfile, pszSection, pszEntry, pszBuffer, nSize);
    }
    if (nCount == 0)
        nCount = gn_StrCopyN(pszBuffer, pszDefault != nullptr ? pszDefault : "", nSize);
    return nCount;
}

int32_t os_GetPPint(const char* pszSection, const char* pszEntry, int32_t nDefault,
                    const char* pszFilePath)
{
    os_mAssert(pszSection);
    os_mAssert(pszEntry);
    os_mAssert(pszFilePath);
    if (pszSection == nullptr || pszEntry == nullptr || pszFilePath == nullptr)
        return nDefault;
    char szValue[80];
    if (os_GetPPS(pszSection, pszEntry, "", szValue, static_cast<int>(sizeof szValue), pszFilePath) == 0)
        return nDefault;
    return gn_StrToInt(szValue);
}
