// Flash identification on the file side: the flash identification a
// Lucent firmware file names in its head, its comparison with a device's,
// and the start mode of a flash job derived from identification.
#ifndef NORVANE_ENGINESOURCE_DEVIDFLASHFILE_H
#define NORVANE_ENGINESOURCE_DEVIDFLASHFILE_H

#include "EngineSource/FlashInfo.h"
#include "EngineSource/devid.h"
#include "EngineSource/HexFileEntry.h"

#include <cstdint>

// Mismatch bits of FlashId_Compare.
constexpr uint32_t devid_kSizesDiffer = 1;
constexpr uint32_t devid_kCodesDiffer = 2;
constexpr uint32_t devid_kTypesDiffer = 4;

// Reads the flash identification from the head of the entry's file (opened
// by its name as found, fileName, or by path when that is empty, relative
// to the working folder) into pEntry->flashId, for a model with controller
// flag 0x100; other models are left unchanged. Of the first 75 bytes, an
// 'F' at 69 means none (type 5, size 0, code 0); else 69-70 are the type
// number, 71-72 the size as hexadecimal digits ("40" 64, "10" 16) and
// 67, 68, 65, 66 the code (0 when the size is 0). Returns 1 (success; also when
// nothing had to be read), 0 when the file cannot be opened or is shorter
// than 75 bytes (flashId unchanged).
int FlashId_FromHexFile(HexFileEntry* pEntry);

// Mismatch bits between a file's and a device's flash identification:
// devid_kTypesDiffer when the types differ; when both sizes are non-zero
// also devid_kSizesDiffer (sizes differ) and devid_kCodesDiffer (codes
// differ).
uint32_t FlashId_Compare(const devid_FlashId& file, const devid_FlashId& device);

// 0 when the entry's file may be flashed onto the job's device (always for
// models without controller flag 0x100), else the mismatch bits, among them
// devid_kSizesDiffer or devid_kTypesDiffer. Sets the job's start mode to
// flsh_kStartDownloadLoader when only the codes differ, or when a size is 0
// on either side and the start mode was flsh_kStartIdentified.
uint32_t FlashId_CheckHexForDevice(const HexFileEntry& entry, FlashJob* pJob);

// Sets the job's start mode from an identification status:
// devid_kFlashIdRead gives flsh_kStartIdentified, devid_kFlashIdRefused
// gives flsh_kStartDownloadLoader, every other status flsh_kStartNormal.
void devid_StartModeFromStatus(FlashJob* pJob, int32_t nStatus);

#endif
