// Cached profile (INI) look-ups: os_GetPPS and os_GetPPint read a value of a
// profile file through a process-wide cache of parsed files, keyed by path
// without regard to letter case. A file is parsed once and stays cached
// until os_FreeReadProfile drops it. A missing profile file is created empty
// (and so yields every default).
#ifndef NORVANE_ENGINESOURCE_OSPFL_H
#define NORVANE_ENGINESOURCE_OSPFL_H

#include <cstdint>

// A parsed profile file (see pfl.h).
struct pfl_Profile;

// Creates the empty cache and the profile lock; start-up calls it first.
// Calling it again is harmless.
void os_InitReadProfiles();

// The value of pszEntry in section pszSection (given without brackets),
// copied with gn_StrCopyN into pszBuffer (nSize bytes), or pszDefault when
// the entry is missing or empty. Returns the characters placed.
int os_GetPPS(const char* pszSection, const char* pszEntry, const char* pszDefault,
              char* pszBuffer, int nSize, const char* pszFilePath);

// The entry's value read with gn_StrToInt, or nDefault when os_GetPPS yields
// no characters.
int32_t os_GetPPint(const char* pszSection, const char* pszEntry, int32_t nDefault,
                    const char* pszFilePath);

// Frees the cached profile of a path and removes it from the cache; nothing
// when the path is not cached.
void os_FreeReadProfile(const char* pszFilePath);

// The cached profile of the path, reading and caching the file on first use.
pfl_Profile* os_GetReadProfile(const char* pszFilePath);
// The cached profile of the path, or null.
pfl_Profile* os_FindReadProfile(const char* pszFilePath);
// Appends a cache record for the path (copied).
void os_AddReadProfile(const char* pszFilePath, pfl_Profile* pProfile);

#endif
