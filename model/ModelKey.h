// Model keys, device-type lists, firmware builds and OEM builds: the values
// by which the coordinator, the firmware catalogue and the wizard pages
// describe a device or a firmware file, built from the model database.
//
// Map of this header:
//   1. ModelKey and its operations    3. FirmwareBuild
//   2. ModelKeyList                   4. OEM builds
//
// Keys, builds and lists are plain values owned by whoever holds them and
// used by one thread at a time; the look-ups they make only read the
// database.
#ifndef NORVANE_MODEL_MODELKEY_H
#define NORVANE_MODEL_MODELKEY_H

#include "model/ModelDb.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// --------------------------------------------- 1. ModelKey and its operations

// A model with a build number and the builds that may be loaded onto it.
// Copies copy every field.
struct ModelKey {
    int32_t id = 0;                     // the model's id (field 1 of its model line)
    int32_t count = 1;                  // devices grouped under this key (device-type list)
    int32_t build = -1;                 // firmware major version; -1 when none was selected
    std::vector<int32_t> upgrades;      // builds that may be loaded onto this build
    ModelLockRefs locks;                // the model's lock entries (owned by the database)
    int32_t done = 0;                   // the model page has dealt with this key
    int32_t selected = 0;               // the user chose this key on the detection page
    std::string name;                   // the model's name
};

// Looks the model up by name (upper-cased, ModelDb_FindByName). Returns 1
// with id and locks set and the name set to the upper-cased name, or 0 with
// the key unchanged.
int ModelKey_SetModelByName(ModelKey* pKey, const std::string& sName);

// Looks the model up by code (upper-cased, ModelDb_FindByCode). Returns 1
// with id, name (as stored) and locks set, or 0 with the key unchanged.
int ModelKey_SetModelByCode(ModelKey* pKey, const std::string& sCode);

// At the key's first lock whose build is nBuild: sets the build to nBuild
// and the upgrades to that lock's. When no lock has it (or the key has no
// locks): build -1, upgrades left as they were.
void ModelKey_SelectBuild(ModelKey* pKey, int32_t nBuild);

// The controller flags of the key's model (ModelDb_FlagsById of its id).
uint32_t ModelKey_Flags(const ModelKey& key);

// True when nBuild is in the key's upgrades.
bool ModelKey_HasUpgrade(const ModelKey& key, int32_t nBuild);

// The text shown for the key: for a Rockwell model the name up to its first
// "-"; else the name when the build is -1; else
// "<name> - Version <build>.xx".
std::string ModelKey_DisplayName(const ModelKey& key);

// True when ids and builds are equal (nothing else counts).
bool ModelKey_Equals(const ModelKey& a, const ModelKey& b);

// True when the ids are equal.
bool ModelKey_SameModel(const ModelKey& a, const ModelKey& b);

// --------------------------------------------------------- 2. ModelKeyList

// An ordered list of owned keys. A key's position (index) and its address
// stay valid while keys are appended; erasing a key moves the positions
// after it.
struct ModelKeyList {
    std::vector<std::unique_ptr<ModelKey>> keys;    // the keys in order of appending
};

// Counts a device under the first key equal to key (ModelKey_Equals):
// returns 1 (1 is success) with that key's count grown by one, or 0 when none is equal (the
// caller then appends a copy of key with ModelKeyList_Append).
int ModelKeyList_AddDevice(ModelKeyList* pList, const ModelKey& key);

// Appends a copy of key; returns its position.
size_t ModelKeyList_Append(ModelKeyList* pList, const ModelKey& key);

// Sets done on the first key equal to key; nothing when there is none.
void ModelKeyList_MarkDone(ModelKeyList* pList, const ModelKey& key);

// The first key with selected set and done clear, or null. The pointer
// stays valid until the key is erased or the list cleared.
const ModelKey* ModelKeyList_NextSelected(const ModelKeyList& list);

// Sets selected on the key at nPosition; nothing for a position outside
// the list.
void ModelKey_Select(ModelKeyList* pList, size_t nPosition);

// Deletes every key; the list is empty afterwards.
void ModelKeyList_Clear(ModelKeyList* pList);

// -------------------------------------------------------- 3. FirmwareBuild

// A firmware version. Builds are ordered by major, minor, then letter.
struct FirmwareBuild {
    int32_t major = -1;       // major version: the build number of a ModelKey
    int32_t minor = -1;       // minor version
    int32_t letter = ' ';     // character code (0 to 255) after the minor; a blank when none
    std::string text;         // major text "." minor text letter, as shown to the user
};

// Fills *pBuild from a device's version text (positions from 0):
// - no ".": as FirmwareBuild_FromCode of the text without its first
//   character, an empty model code and key;
// - first character an ASCII letter: major = characters 1 up to the ".",
//   minor = at most three characters after it, letter = the character at
//   position 6 upper-cased when there is one and it is a letter;
// - otherwise: major = everything before the ".", minor = at most two
//   characters after it, letter = the character at position 4 upper-cased
//   when the text is exactly 5 long and the "." is not at position 2.
// Major and minor are their texts read like atoi; the text is major text,
// ".", minor text and the letter (a blank when none). Accepts any text;
// always returns 1.
int FirmwareBuild_FromVersion(FirmwareBuild* pBuild, const ModelKey& key, const std::string& sVersion);

// Fills *pBuild from a build code (such as the characters of a firmware
// file name after model and country) and a model code. A trailing ASCII
// letter is the letter (upper-cased) and is taken off. For a Rockwell key
// the major text is "2" when sModelCode is empty, else ModelDb_ExtraByCode
// of it, and the minor text is the whole code. Otherwise a code of exactly
// 3 characters is one major and two minor characters; any other code is
// two major characters (fewer when shorter) and the rest minor. Empty texts
// read as 0. Accepts any text; always returns 1.
int FirmwareBuild_FromCode(FirmwareBuild* pBuild, const std::string& sCode, const std::string& sModelCode,
                           const ModelKey& key);

// True when a is ordered before b (major, then minor, then letter).
bool FirmwareBuild_Less(const FirmwareBuild& a, const FirmwareBuild& b);

// The build's text.
std::string FirmwareBuild_Text(const FirmwareBuild& build);

// ----------------------------------------------------------- 4. OEM builds

// Number of the special builds "PELLAM 1" to "PELLAM 5"; 0 for a standard
// device.
constexpr int32_t OemBuild_kCount = 5;

// Reads a special-build text, letter case aside: empty gives 0, "PELLAM 1"
// to "PELLAM 5" give 1 to 5; returns 1 (1 is success) with *pnOem set. Any other text
// returns 0 with *pnOem unchanged.
int OemBuild_FromName(const std::string& sName, int32_t* pnOem);

#endif
