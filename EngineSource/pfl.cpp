// Profile parser over the OS layer's files and the list library. A file is
// read once, byte by byte (gn_ReadString), into a data list of sections; a
// section record carries its own data list of entries, which the section
// list owns once the record has been copied into it.
#include "EngineSource/pfl.h"

#include <cstdio>
#include <new>

namespace {

bool isDelimiter(char c) { return c == '=' || c == '\r' || c == '\n'; }

// The section being filled while a file is parsed.
struct OpenSection {
    bool bOpen;             // a header has been seen
    pfl_Section section;    // its record, appended when the next one opens
};

void closeSection(pfl_Profile* pProfile, OpenSection* pOpen)
{
    if (pOpen->bOpen)
        ll_AddTail(&pProfile->sectionList, &pOpen->section, static_cast<int32_t>(sizeof pOpen->section));
    pOpen->bOpen = false;
}

void openSection(pfl_Profile* pProfile, OpenSection* pOpen, const char* pszToken)
{
    closeSection(pProfile, pOpen);
    gn_TrimCopy(pOpen->section.szSectionName, pszToken, pfl_kSectionNameLen);
    ll_CreateList(&pOpen->section.entryList, ll_kDataList);
    pOpen->bOpen = true;
}

// Parses one line (modified in place) into the profile.
void parseLine(char* pszLine, pfl_Profile* pProfile, OpenSection* pOpen)
{
    char* p = pszLine;
    for (;;) {
        while (*p != '\0' && isDelimiter(*p))
            ++p;
        if (*p == '\0')
            return;
        char* pszToken = p;
        while (*p != '\0' && !isDelimiter(*p))
            ++p;
        char* pszRest = *p != '\0' ? p + 1 : p;
        *p = '\0';
        if (pszToken[0] == ';')
            return;
        if (pfl_mIsaSection(pszToken)) {
            openSection(pProfile, pOpen, pszToken);
        } else if (pOpen->bOpen) {
            // The value runs to the line end, '=' included.
            pszRest[strcspn(pszRest, "\r\n")] = '\0';
            pfl_Entry entry{};
            gn_TrimCopy(entry.szEntry, pszToken, pfl_kEntryLen);
            gn_TrimCopy(entry.szValue, pszRest, pfl_kValueLen);
            ll_AddTail(&pOpen->section.entryList, &entry, static_cast<int32_t>(sizeof entry));
            return;
        }
        p = pszRest;
    }
}

// The file opened for reading; a missing file is first created empty. A file
// that exists but cannot be read is left as it is (creating would truncate
// it): the probe for write access tells it from a missing one.
osfl_Handle openProfileFile(const char* szFileName)
{
    osfl_Handle hFile = osfl_Open(szFileName, osfl_kAccessRead);
    if (hFile != osfl_kInvalidHandle)
        return hFile;
    hFile = osfl_Open(szFileName, osfl_kAccessWrite);
    if (hFile != osfl_kInvalidHandle) {
        osfl_Close(hFile);
        return osfl_kInvalidHandle;
    }
    osfl_Close(osfl_Create(szFileName, osfl_kAttrNormal));
    return osfl_Open(szFileName, osfl_kAccessReadWrite);
}

}  // namespace

pfl_Profile* pfl_ReadProfile(pfl_Profile* pProfile, const char* szFileName)
{
    os_mAssert(szFileName);
    if (pProfile != nullptr || szFileName == nullptr)
        return pProfile;

    pProfile = new (std::nothrow) pfl_Profile;
    if (pProfile == nullptr)
        return nullptr;
    ll_CreateList(&pProfile->sectionList, ll_kDataList);

    osfl_Handle hFile = openProfileFile(szFileName);
    os_mAssert(hFile != osfl_kInvalidHandle);
    if (hFile == osfl_kInvalidHandle)
        return pProfile;

    OpenSection open{};
    char szLine[pfl_kLineLen + 1];
    while (gn_ReadString(hFile, szLine, pfl_kLineLen))
        parseLine(szLine, pProfile, &open);
    closeSection(pProfile, &open);
    osfl_Close(hFile);
    return pProfile;
}

int pfl_GetEntry(pfl_Profile* pProfileList, const char* pszSection, const char* pszEntry,
                 char* pszValue, int nSize)
{
    os_mAssert(pszSection);
    os_mAssert(pszEntry);
    os_mAssert(pszValue);
    os_mAssert(pProfileList);
    if (pszValue == nullptr || nSize <= 0)
        return 0;
    pszValue[0] = '\0';
    if (pszSection == nullptr || pszEntry == nullptr || pProfileList == nullptr)
        return 0;
    os_mAssert(!pfl_mIsaSection (pszSection));

    // Both names are cut as stored names are, so an overlong one neither
    // overruns these buffers nor misses a section stored under its cut form.
    char szSection[pfl_kSectionNameLen];
    snprintf(szSection, sizeof szSection, "[%s]", pszSection);
    char szEntry[pfl_kEntryLen];
    gn_StrCopyN(szEntry, pszEntry, pfl_kEntryLen);

    int nCopied = 0;
    ll_Iterator itSection;
    ll_CreateIterator(&itSection, &pProfileList->sectionList);
    for (auto* pSection = static_cast<pfl_Section*>(ll_First(&itSection)); pSection != nullptr;
         pSection = static_cast<pfl_Section*>(ll_Next(&itSection))) {
        if (gn_StriCmp(pSection->szSectionName, szSection) != 0)
            continue;
        ll_Iterator itEntry;
        ll_CreateIterator(&itEntry, &pSection->entryList);
        for (auto* pEntry = static_cast<pfl_Entry*>(ll_First(&itEntry)); pEntry != nullptr;
             pEntry = static_cast<pfl_Entry*>(ll_Next(&itEntry))) {
            if (gn_StriCmp(pEntry->szEntry, szEntry) == 0) {
                nCopied = gn_StrCopyN(pszValue, pEntry->szValue, nSize);
                break;
            }
        }
        ll_DestroyIterator(&itEntry);
        break;
    }
    ll_DestroyIterator(&itSection);
    return nCopied;
}

int pfl_FreeProfile(pfl_Profile* pProfileList)
{
    os_mAssert(pProfileList);
    if (pProfileList == nullptr)
        return 1;
    ll_Iterator it;
    ll_CreateIterator(&it, &pProfileList->sectionList);
    for (auto* pSection = static_cast<pfl_Section*>(ll_First(&it)); pSection != nullptr;
         pSection = static_cast<pfl_Section*>(ll_Next(&it)))
        ll_DestroyList(&pSection->entryList);
    ll_DestroyIterator(&it);
    ll_DestroyList(&pProfileList->sectionList);
    delete pProfileList;
    return 1;
}
