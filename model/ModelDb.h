// Model database: the models of Models.ini, loaded once at start-up through
// the cached profile reader (os_GetPPS / os_GetPPint) and read-only for the
// rest of the run, and the queries the rest of the program asks of it.
//
// Map of this header:
//   1. Controller flags and widths    3. Loading and emptying
//   2. Records                        4. Queries
//
// The database is one process-wide list of owned ModelEntry records in
// ascending order of name, compared without regard to ASCII letter case.
// Every query walks it in that order and the first matching model wins.
// Loading and emptying happen while no other thread uses the database; the
// queries change nothing and may run in any number of threads at once.
#ifndef NORVANE_MODEL_MODELDB_H
#define NORVANE_MODEL_MODELDB_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// ------------------------------------------ 1. Controller flags and widths

// Controller flags: the bit set of a model's controller family. Bits 0x001
// to 0x080 tune the AT flash protocol; 0x100 and 0x200 choose the protocol.
constexpr uint32_t ModelDb_kFlagPatchResetVector = 0x001;  // AT: block at 0 starts 0xC3 0x00 0x01
constexpr uint32_t ModelDb_kFlagFastStart = 0x002;         // AT: "AT*FS\r" at 115200 instead of 19200
constexpr uint32_t ModelDb_kFlagFastProbe = 0x004;         // AT: wake-up probe every 10 ms, not 300
constexpr uint32_t ModelDb_kFlagUnread = 0x008;            // read by no part of the engine
constexpr uint32_t ModelDb_kFlagSendDpOff = 0x010;         // AT: "ATDPOFF\r" when the boot code is updated
constexpr uint32_t ModelDb_kFlagSendN = 0x020;             // AT: "ATN\r" when the boot code is updated
constexpr uint32_t ModelDb_kFlagPieces256 = 0x040;         // AT: blocks in pieces of 256 bytes
constexpr uint32_t ModelDb_kFlagPieces128 = 0x080;         // AT: blocks in pieces of 128 bytes (wins)
// The device is flashed with the Lucent protocol (checked first) and its
// flash memory is identified before flashing.
constexpr uint32_t ModelDb_kFlagLucent = 0x100;
// The device is flashed with the Rockwell protocol (when not Lucent);
// Rockwell rules apply to its identification and build numbers.
constexpr uint32_t ModelDb_kFlagRockwell = 0x200;
// The device is an ISDN terminal adapter.
constexpr uint32_t ModelDb_kFlagTerminalAdapter = 0x400;

// Flags of a family name that is not in the controller table, and of an id
// that no model has.
constexpr uint32_t ModelDb_kFlagsUnknown = ModelDb_kFlagPatchResetVector | ModelDb_kFlagFastProbe;

// Stored widths, terminator included: a longer text is cut to width - 1.
constexpr size_t ModelDb_kNameSize = 40;
constexpr size_t ModelDb_kCodeSize = 8;
constexpr size_t ModelDb_kExtraSize = 4;

// Read buffers, terminator included: the model line, an upgrade list and
// the version text are cut to size - 1 characters when read.
constexpr int ModelDb_kLineSize = 200;
constexpr int ModelDb_kUpgradeSize = 50;
constexpr int ModelDb_kVersionSize = 20;

// The oldest Models.ini layout this program reads.
constexpr double ModelDb_kMinVersion = 1.04;

// Bounds on the counts a file may claim: NumModels and NumLocks beyond them
// are read as these, so a wrong count cannot exhaust memory.
constexpr int32_t ModelDb_kMaxModels = 1000;
constexpr int32_t ModelDb_kMaxLocks = 100;

// Greatest build number an upgrade list may name (the least is 1).
constexpr int32_t ModelDb_kMaxUpgrade = 99;

// ------------------------------------------------------------- 2. Records

// One lock entry of a model: a firmware major version a device may run and
// the majors that may be loaded onto such a device.
struct ModelLock {
    int32_t build = -1;                // value of LockN; -1 when missing or empty
    std::vector<int32_t> upgrades;     // values of UpgradeN in reading order, duplicates kept
};

// One model line of Models.ini with the model's lock entries.
struct ModelEntry {
    int32_t id = 0;                                 // field 1 (read like atoi)
    char name[ModelDb_kNameSize] = {};              // field 2: name in replies and section name
    char code[ModelDb_kCodeSize] = {};              // field 3: code in firmware file names
    uint32_t flags = ModelDb_kFlagsUnknown;         // controller flags of field 4
    char extra[ModelDb_kExtraSize] = {};            // field 5: Rockwell firmware major; "" for none
    std::vector<ModelLock> locks;                   // lock entries in file order (Lock1 first)
};

// References to a model's lock entries. They point into the database and
// stay valid until ModelDb_Clear.
typedef std::vector<const ModelLock*> ModelLockRefs;

// Controller flags of a controller family name, compared after upper-casing
// (ASCII letters only): OLDMODEMS 0x005, NEWMODEMS 0x024, TA 0x414, QBXHITA
// 0x454, QBXHPTA 0x494, QBXMODEMS 0x065, LUCENT 0x100, ROCKWELL 0x200; any
// other text ModelDb_kFlagsUnknown.
uint32_t Controller_Flags(const std::string& sFamily);

// Reads a decimal number as atoi does (leading white space, an optional
// sign, digits up to the first non-digit; 0 when there are none), except
// that a value beyond the 32-bit range is clamped to it instead of being
// undefined.
int32_t ModelDb_Atoi(const char* psz);

// Splits a model line into its fields and fills id, name, code, flags and
// extra of *pEntry (its locks are left alone). Fields are separated by any
// run of ",", "{" and "}", and trimmed of spaces, tabs, CR and LF; fields
// beyond the fifth are ignored. Texts longer than their stored widths are
// cut. A missing field leaves its default: id 0, empty name, code and
// extra, flags ModelDb_kFlagsUnknown. A fifth field of exactly two double
// quotes is an empty extra. Returns the number of fields found (0 to 5).
int ModelDb_ParseLine(const char* pszLine, ModelEntry* pEntry);

// Parses an upgrade list into *pUpgrades (replacing its contents). Items
// are separated by runs of ","; an item is a number n (valid 1 to 99) or a
// range a-b (valid when 1 <= a <= b <= 99, standing for a to b), each
// number read like ModelDb_Atoi. The first invalid item ends the list; the
// values before it stay. Returns the number of values stored.
int ModelDb_ParseUpgrades(const char* pszList, std::vector<int32_t>* pUpgrades);

// -------------------------------------------- 3. Loading and emptying

// Results of ModelDb_Load and ModelDb_LoadFile.
constexpr int ModelDb_kLoaded = 0;         // the models were loaded
constexpr int ModelDb_kNoModels = 1;       // no file, or no models in it
constexpr int ModelDb_kWrongVersion = 2;   // the file's version is missing or too old

// Loads Models.ini from the folder of the running executable (os_GetExeDir)
// with ModelDb_LoadFile; when there is none there (or only an empty one)
// but the installed ../share/norvane/Models.ini beside that folder has
// content, that one. Results as there; ModelDb_kNoModels also when the
// folder of the executable cannot be found.
int ModelDb_Load();

// Loads the models of the profile file pszPath into the database (which is
// not emptied first), reading it only through os_GetPPint / os_GetPPS, and
// drops the cached profile afterwards on every path. A missing file is
// created empty by the profile reader.
// Returns ModelDb_kLoaded when the models were loaded. Returns
// ModelDb_kNoModels when the file is missing or unreadable, or NumModels is
// missing, 0 or not a positive number. Returns ModelDb_kWrongVersion when
// the version of section Version is missing, not a number or below
// ModelDb_kMinVersion (tested only when there are models). The database is
// unchanged on both failures.
int ModelDb_LoadFile(const char* pszPath);

// Adds entry (with its locks) to the database at its place in name order,
// after the models whose names equal it without regard to case. The loader
// adds every model line through here; the database owns the entry from now.
void ModelDb_Add(ModelEntry entry);

// Deletes every model with its locks; the database is empty afterwards and
// every lock reference handed out before is void.
void ModelDb_Clear();

// ------------------------------------------------------------- 4. Queries

// Finds the first model (in name order) whose name occurs in pszText as a
// word end: the name's first occurrence, letter case as stored, must be
// followed by a space, CR, LF or the end of the text. Only the first
// occurrence of each name is tested, and what precedes it is not, so a
// name also matches at the end of a longer word. A model with an empty
// name never matches. Returns 1 (1 is success) and copies the name into pszName (nSize
// bytes, at least ModelDb_kNameSize to hold every name uncut), or 0.
int ModelDb_FindInText(const char* pszText, char* pszName, size_t nSize);

// Finds the first model whose name equals pszName without regard to ASCII
// letter case. Returns 1 (1 is success) with its id in *pnId and references to its locks
// in *pLocks (either may be null), or 0 with both untouched.
int ModelDb_FindByName(const char* pszName, int32_t* pnId, ModelLockRefs* pLocks);

// Finds the first model whose code equals pszCode exactly (letter case
// counts). Returns 1 (1 is success) with its id, its name as stored and references to its
// locks (any out-pointer may be null), or 0 with all of them untouched.
int ModelDb_FindByCode(const char* pszCode, int32_t* pnId, std::string* pName, ModelLockRefs* pLocks);

// The controller flags of the first model with this id;
// ModelDb_kFlagsUnknown when no model has it.
uint32_t ModelDb_FlagsById(int32_t nId);

// The model at position nIndex (from 0) of the name order: returns 1 (1 is success) with
// its name copied into pszName (nSize bytes) and its flags in *pnFlags
// (may be null), or 0 for a position outside the database.
int ModelDb_GetByIndex(int32_t nIndex, char* pszName, size_t nSize, uint32_t* pnFlags);

// The extra field (Rockwell firmware major) of the first model whose code
// equals sCode exactly; empty when no model has this code.
std::string ModelDb_ExtraByCode(const std::string& sCode);

#endif
