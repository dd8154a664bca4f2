// Flash identification, file side: the flash identification a Lucent
// firmware file names in its head (a fixed span of its first 75 bytes),
// its comparison with the identification a device reported, and the start
// mode of a flash job that follows from identification.
#include "EngineSource/devidFlashFile.h"

#include "EngineSource/OSWIN32.h"
#include "model/ModelDb.h"
#include "model/ModelKey.h"

namespace {

// The head of a firmware file that holds its flash identification.
constexpr uint32_t kHeadSize = 75;
constexpr size_t kCodeLowHigh = 65;   // the code's low byte (65, 66), then its high byte (67, 68)
constexpr size_t kTypeAt = 69;        // two decimal digits of the type number, or 'F' for none
constexpr size_t kSizeAt = 71;        // two decimal digits of the size, read as hexadecimal

bool isLucent(const ModelKey& key) { return (ModelKey_Flags(key) & ModelDb_kFlagLucent) != 0; }

// Reads the first kHeadSize bytes of the file; false when it cannot be
// opened or is shorter.
bool readHead(const char* pszPath, uint8_t* pHead)
{
    osfl_Handle hFile = osfl_Open(pszPath, osfl_kAccessRead);
    if (hFile == osfl_kInvalidHandle)
        return false;
    uint32_t nHave = 0;
    while (nHave < kHeadSize) {
        int32_t nRead = osfl_Read(hFile, pHead + nHave, kHeadSize - nHave);
        if (nRead <= 0)
            break;
        nHave += static_cast<uint32_t>(nRead);
    }
    osfl_Close(hFile);
    return nHave == kHeadSize;
}

}  // namespace

int FlashId_FromHexFile(HexFileEntry* pEntry)
{
    if (!isLucent(pEntry->key))
        return 1;
    const std::string& name = pEntry->fileName.empty() ? pEntry->path : pEntry->fileName;
    uint8_t head[kHeadSize];
    if (!readHead(name.c_str(), head))
        return 0;

    devid_FlashId& flashId = pEntry->flashId;
    if (head[kTypeAt] == 'F') {
        flashId = {0, 5, 0};
        return 1;
    }
    // Digits are read by their character codes: "43" is the number 43, the
    // size "40" is 0x40.
    int32_t nTypeNumber = (head[kTypeAt] - '0') * 10 + (head[kTypeAt + 1] - '0');
    devid_FlashTypeFromCode('0', static_cast<uint32_t>(nTypeNumber), &flashId);
    flashId.nSize = (head[kSizeAt] - '3') * 16 + head[kSizeAt + 1];
    if (flashId.nSize == 0) {
        flashId.nCode = 0;
        return 1;
    }
    const char code[4] = {static_cast<char>(head[kCodeLowHigh + 2]), static_cast<char>(head[kCodeLowHigh + 3]),
                          static_cast<char>(head[kCodeLowHigh]), static_cast<char>(head[kCodeLowHigh + 1])};
    flashId.nCode = devid_HexToU16(code);
    return 1;
}

uint32_t FlashId_Compare(const devid_FlashId& file, const devid_FlashId& device)
{
    uint32_t nBits = 0;
    if (file.nSize != device.nSize || file.nSize == 0)
        nBits |= devid_kSizesDiffer;
    if (file.nCode != device.nCode)
        nBits |= devid_kCodesDiffer;
    uint32_t nTypes = file.nType != device.nType ? devid_kTypesDiffer : 0;
    // Sizes and codes count only when both sides reported a size.
    if (file.nSize == 0 || device.nSize == 0)
        return nTypes;
    return nBits | nTypes;
}

uint32_t FlashId_CheckHexForDevice(const HexFileEntry& entry, FlashJob* pJob)
{
    if (!isLucent(entry.key))
        return 0;
    const devid_FlashId& device = pJob->info.flashId;
    uint32_t nBits = FlashId_Compare(entry.flashId, device);
    if (nBits & (devid_kSizesDiffer | devid_kTypesDiffer))
        return nBits;
    // Same part with another code, or a size one side did not report: the
    // loader is downloaded first.
    if (nBits == devid_kCodesDiffer) {
        pJob->nStartMode = flsh_kStartDownloadLoader;
        nBits = 0;
    }
    if ((entry.flashId.nSize == 0 || device.nSize == 0) && pJob->nStartMode == flsh_kStartIdentified) {
        pJob->nStartMode = flsh_kStartDownloadLoader;
        nBits = 0;
    }
    return nBits;
}

void devid_StartModeFromStatus(FlashJob* pJob, int32_t nStatus)
{
    if (nStatus == devid_kFlashIdRead)
        pJob->nStartMode = flsh_kStartIdentified;
    else if (nStatus == devid_kFlashIdRefused)
        pJob->nStartMode = flsh_kStartDownloadLoader;
    else
        pJob->nStartMode = flsh_kStartNormal;
}
