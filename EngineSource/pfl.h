// Profile parser: reads an INI-style file of bracketed section headers and
// "name = value" entry lines into a list of sections, each with its list of
// entries, and looks values up in it.
//
// Accepted syntax: lines end only at CR LF and are read in pieces of at most
// 132 bytes (a longer line goes on as a line of its own); a Ctrl-Z ends the
// file at the start of a line and the line elsewhere. A line is split into
// tokens at '=', CR and LF: a token starting with ';' makes the rest of the
// line a comment; a token starting with '[' and ending with ']' opens a
// section (name kept with its brackets, cut to 39 characters); any other
// token names an entry of the open section (cut to 39 characters) whose
// value is the rest of the line after that token's delimiter, up to the next
// CR or LF (cut to 159 characters), both trimmed. Tokens before the first
// section are skipped. Look-ups ignore letter case; the first section and
// the first entry of a name win.
#ifndef NORVANE_ENGINESOURCE_PFL_H
#define NORVANE_ENGINESOURCE_PFL_H

#include "EngineSource/OSWIN32.h"
#include "EngineSource/ll.h"

#include <cstring>

constexpr int pfl_kSectionNameLen = 40;    // a stored section name is shorter
constexpr int pfl_kEntryLen = 40;          // a stored entry name is shorter
constexpr int pfl_kValueLen = 160;         // a stored value is shorter
constexpr int pfl_kLineLen = 132;          // bytes of a line read at once

// True when psz starts with '[' and ends with ']'.
#define pfl_mIsaSection(psz) ((psz)[0] == '[' && (psz)[strlen(psz) - 1] == ']')

struct pfl_Entry {
    char szEntry[pfl_kEntryLen + 1];    // the entry name, trimmed
    char szValue[pfl_kValueLen + 1];    // the value, trimmed; empty when none
};

struct pfl_Section {
    char szSectionName[pfl_kSectionNameLen + 1];    // header token, brackets kept
    ll_List entryList;                              // data list of pfl_Entry, file order
};

// A parsed profile file.
struct pfl_Profile {
    ll_List sectionList;    // data list of pfl_Section, file order
};

// Parses the file szFileName into a new profile, owned by the caller (free
// it with pfl_FreeProfile). A profile passed in is returned unchanged and
// the file is not read. A missing file is created empty and yields an empty
// profile; so does a file that can be neither read nor created (the failure
// is reported through os_Assert), and an existing file is never truncated.
// Null only when szFileName is null or memory runs out.
pfl_Profile* pfl_ReadProfile(pfl_Profile* pProfile, const char* szFileName);

// Copies the value of pszEntry in section pszSection (given without
// brackets) into pszValue (nSize bytes) with gn_StrCopyN. Returns its count
// (nSize when the value was cut), or 0 with pszValue empty when the section
// or entry is missing or the value is empty. Names longer than a stored
// name are compared as cut to the stored length.
int pfl_GetEntry(pfl_Profile* pProfileList, const char* pszSection, const char* pszEntry,
                 char* pszValue, int nSize);

// Frees every section's entry list, the section list and the profile.
// Returns 1.
int pfl_FreeProfile(pfl_Profile* pProfileList);

#endif
