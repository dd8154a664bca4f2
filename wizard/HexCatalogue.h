// The firmware catalogue: the firmware files of the working folder that can
// be offered to the user. Each usable file name gives one entry with the
// model, country and build the name encodes; the files themselves are not
// read here (the flashing engine opens the chosen one later). The catalogue
// answers which entries fit a device type, how many of those are selected,
// and which one the user chose.
//
// Names are matched without regard to letter case; an entry keeps both the
// upper-cased name (path) and the name as found on disk (fileName), by
// which the file is opened.
//
// The catalogue is used by one thread at a time (the GUI thread); its
// look-ups only read the model database.
#ifndef NORVANE_WIZARD_HEXCATALOGUE_H
#define NORVANE_WIZARD_HEXCATALOGUE_H

#include "EngineSource/HexFileEntry.h"
#include "model/ModelKey.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Extensions of firmware files: "HEX" normally, "HXB" when the boot code is
// updated too.
extern const char HexCatalogue_kExtension[];
extern const char HexCatalogue_kBootExtension[];

class HexCatalogue {
public:
    // Searches sFolder for "*." + sExtension (any letter case) and appends
    // an entry for every usable file name, in the order the directory search
    // returns them (sorted by name, letter case aside). Folders are passed
    // over, unusable names left out without a message. A file of the
    // country "QY" is followed by two copies of its entry with the
    // countries "PL" and "AE". An entry's fileName is the name as found,
    // preceded by sFolder and "/" unless sFolder is "" or ".". Returns true
    // (also when nothing was found).
    bool Discover(const std::string& sExtension, const std::string& sFolder);

    // Reads a firmware file name (without folder): upper-cased, it must be
    // a base name of at least 5 characters, one ".", and the extension
    // (sExtension, letter case aside). Characters 0-1 of the base name are a
    // model code of the database, 2-3 a country code of the country table
    // (character 3 a letter), 4-7 the build code (fewer when the base name
    // is shorter; the rest is ignored). Returns true with the entry's path
    // (the upper-cased name), fileName (sName unchanged), key (model and,
    // when the model has a lock for the build's major, that build and its
    // upgrades), country and build filled; false with the entry unchanged.
    static bool ParseName(HexFileEntry* pEntry, const std::string& sExtension, const std::string& sName);

    // True when the entry may be loaded onto a device of the key: same model,
    // and the key's build is -1 (not identified), or equals the entry's
    // (ModelKey_Equals), or the entry's build major is among the key's
    // upgrades. The country takes no part.
    static bool Fits(const HexFileEntry& entry, const ModelKey& key);

    // Number of entries that fit the key.
    int32_t CountFitting(const ModelKey& key) const;
    // Number of selected entries that fit the key.
    int32_t CountSelectedFitting(const ModelKey& key) const;
    // Clears the selected flag of every entry that fits the key.
    void DeselectFitting(const ModelKey& key);
    // Sets the selected flag of the entry at nPosition and returns a copy of
    // it. A position outside the catalogue changes nothing and returns an
    // empty entry.
    HexFileEntry SelectEntry(size_t nPosition);
    // The country indexes of the entries that fit the key, each once, in
    // catalogue order (the country choice of the model page).
    std::vector<int32_t> FittingCountries(const ModelKey& key) const;
    // Selects exactly the entries of the country index nCountry, whatever
    // their model; every other entry becomes unselected.
    void SelectCountry(int32_t nCountry);

    // Appends a copy of the entry; returns its position.
    size_t Append(const HexFileEntry& entry);
    // Clears the selected flag of every entry.
    void ClearSelection();

    // Number of entries.
    int32_t GetCount() const { return static_cast<int32_t>(m_entries.size()); }
    // The entry at nPosition, or null outside the catalogue. The pointer
    // stays valid while entries are appended.
    HexFileEntry* GetEntry(size_t nPosition);
    const HexFileEntry* GetEntry(size_t nPosition) const;

private:
    std::vector<std::unique_ptr<HexFileEntry>> m_entries;   // owned entries in catalogue order
};

#endif
