// libFuzzer target for the parsers of the model database: model lines,
// upgrade lists, firmware builds from version texts and from file codes,
// and the search for a model name in a device reply.
//
// The input is cut at its first newline into two texts: a (the model line,
// upgrade list, version text, build code and reply) and b (the model code).
// A small database in memory, with a Rockwell model whose extra field is a
// number, lets the Rockwell rules run too.
#include "model/ModelDb.h"
#include "model/ModelKey.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

// Fills the database once: one AT-protocol model and one Rockwell model.
ModelKey makeKeys(ModelKey* pRockwell)
{
    for (const char* pszLine : {"1, KV5120ZA, KZ, QBXMODEMS, \"\"", "2, RW3360-SP, RS, ROCKWELL, 2"}) {
        ModelEntry entry;
        ModelDb_ParseLine(pszLine, &entry);
        ModelDb_Add(entry);
    }
    ModelKey_SetModelByCode(pRockwell, "RS");
    ModelKey plain;
    ModelKey_SetModelByCode(&plain, "KZ");
    return plain;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize)
{
    static ModelKey rockwell;
    static ModelKey plain = makeKeys(&rockwell);

    std::string sInput(reinterpret_cast<const char*>(pData), nSize);
    size_t nBreak = sInput.find('\n');
    std::string sText = sInput.substr(0, nBreak);
    std::string sModelCode = nBreak == std::string::npos ? std::string() : sInput.substr(nBreak + 1);
    // The C-string parsers see the text up to its first NUL, as they would
    // in the program.
    const char* pszText = sText.c_str();

    ModelEntry entry;
    ModelDb_ParseLine(pszText, &entry);
    std::vector<int32_t> upgrades;
    ModelDb_ParseUpgrades(pszText, &upgrades);
    char szName[ModelDb_kNameSize];
    ModelDb_FindInText(pszText, szName, sizeof szName);

    // A key of no model (id 0) as well, as a device of an unknown model has.
    for (ModelKey key : {plain, rockwell, ModelKey()}) {
        FirmwareBuild build;
        FirmwareBuild_FromVersion(&build, key, sText);
        FirmwareBuild_FromCode(&build, sText, sModelCode, key);
        ModelKey_SelectBuild(&key, build.major);
    }
    return 0;
}
