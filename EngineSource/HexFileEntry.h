// One firmware file of the working folder, as the catalogue knows it: the
// model, country and build its name encodes, and (for Lucent-based models)
// the flash identification its head names.
#ifndef NORVANE_ENGINESOURCE_HEXFILEENTRY_H
#define NORVANE_ENGINESOURCE_HEXFILEENTRY_H

#include "EngineSource/devid.h"
#include "EngineSource/devidCountry.h"
#include "model/ModelKey.h"

#include <cstdint>
#include <string>

struct HexFileEntry {
    std::string path;                       // the name as found, upper-cased, without folder
    std::string fileName;                   // the name as found on disk; files are opened by it
    ModelKey key;                           // model of the file; build = its major when locked
    int32_t country = Country_kUnknown;     // country index the file is built for
    FirmwareBuild build;                    // the build the name encodes
    devid_FlashId flashId = {0, 0, 0};      // flash identification from the file's head (Lucent)
    int32_t selected = 0;                   // the file chosen for its device type
};

#endif
