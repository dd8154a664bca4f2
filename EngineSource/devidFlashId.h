// Flash identification on the file side: the flash identification a
// Lucent firmware file names in its head, its comparison with a device's,
// and the start mode of a flash job derived from identification.
#ifndef NORVANE_ENGINESOURCE_DEVIDFLASHID_H
#define NORVANE_ENGINESOURCE_DEVIDFLASHID_H

#include "EngineSource/FlashInfo.h"
#include "EngineSource/devid.h"
#include "model/HexFileEntry.h"

#include <cstdint>

// Mismatch bits of FlashId_Compare.
constexpr uint32_t devid_kSizesDiffer = 1;
constexpr uint32_t devid_kCodesDiffer = 2;
constexpr uint32_t devid_kTypesDiffer = 4;

// Reads the flash identification from the head of the entry's file (opened
// by its name as found, relative to the working folder) into
// pEntry->flashId, for a model with controller flag 0x100; other models are
// left unchanged. Returns 1 (also when nothing had to be read), 0 when the
// file cannot be opened or is shorter than 75 bytes (flashId unchanged).
int FlashId_FromHexFile(HexFileEntry* pEntry);

// Mismatch bits between a file's and a device's flash identification.
uint32_t FlashId_Compare(const devid_FlashId& file, const devid_FlashId& device);

// 0 when the entry's file may be flashed onto the job's device, else the
// mismatch bits; may set the job's start mode to 2.
uint32_t FlashId_CheckHexForDevice(const HexFileEntry& entry, FlashJob* pJob);

// Sets the job's start mode from an identification status: 9 gives 1, 10
// gives 2, every other status 0.
void devid_StartModeFromStatus(FlashJob* pJob, int32_t nStatus);

#endif
