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
// Calling it again is harmless, and the other calls make the cache on first
// use when nobody did.
void os_InitReadProfiles();

// The value of pszEntry in section pszSection (given without brackets),
// copied with gn_StrCopyN into pszBuffer (nSize bytes), or pszDefault when
// the entry is missing or empty. Returns the characters placed, or nSize
// when the text was cut to nSize - 1 characters; 0 when pszBuffer is null or
// nSize is not positive. Reads and caches the file on first use (see
// os_GetReadProfile). Holds the profile lock throughout.
int os_GetPPS(const char* pszSection, const char* pszEntry, const char* pszDefault,
              char* pszBuffer, int nSize, const char* pszFilePath);

// The entry's value read with gn_StrToInt (hexadecimal after "0x", else
// leading decimal digits, else 0), or nDefault when the entry is missing or
// empty.
int32_t os_GetPPint(const char* pszSection, const char* pszEntry, int32_t nDefault,
                    const char* pszFilePath);

// Frees the cached profile of a path and removes it from the cache; nothing
// when the path is not cached.
void os_FreeReadProfile(const char* pszFilePath);

// The cached profile of the path, reading and caching the file on first use
// (pfl_ReadProfile: a missing file is created empty). Later changes to the
// file are not seen until os_FreeReadProfile. Null for a path of
// os_kMaxPath characters or more. The profile stays owned by the cache.
pfl_Profile* os_GetReadProfile(const char* pszFilePath);
// The cached profile of the path, or null.
pfl_Profile* os_FindReadProfile(const char* pszFilePath);
// Appends a cache record for the path (copied), which takes ownership of the
// profile. A path of os_kMaxPath characters or more is refused.
void os_AddReadProfile(const char* pszFilePath, pfl_Profile* pProfile);

#endif
