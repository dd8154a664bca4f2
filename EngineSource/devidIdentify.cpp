// Device identification: opens a port, asks the device what it is with AT
// commands and fills a devid_DeviceInfo with status, model, version,
// country and special build. The model's controller flags (from the model
// database) choose the extra steps for terminal adapters, Lucent-based and
// Rockwell-based devices.
//
// Map of this file:
//   1. Reply areas, time-outs and small functions
//   2. Reading model, version and country from replies
//   3. The command sequence (devid_QueryDevice)
//   4. The operations that own their port: devid_Identify and the
//      stand-alone flash identification devid_ReadFlashId
//
// Every text copied into a caller's field is cut to the field's size.
#include "EngineSource/devid.h"

#include "EngineSource/OSWIN32.h"
#include "EngineSource/dbg.h"
#include "EngineSource/devidCountry.h"
#include "model/ModelDb.h"

#include <cstdio>
#include <cstring>
#include <initializer_list>

static const char kDbgModule[] = "EngineSource/devid";

// ------------------------------ 1. Reply areas, time-outs and small functions

namespace {

// Capacities of the reply areas the sequence passes, terminator included.
constexpr uint32_t kAtSize = 20;        // "AT\r" and "ATE1V1Q0\r"
constexpr uint32_t kAtiSize = 244;      // "ATI\r"
constexpr uint32_t kAti2Size = 84;      // "ATI2\r"
constexpr uint32_t kPercentISize = 8;   // "AT%I\r"
constexpr uint32_t kAti9And5Size = 84;  // "ATI9\r" and "ATI5\r"

constexpr uint32_t kCommandSeconds = 5;   // time-out of every command
constexpr uint32_t kPauseSeconds = 2;     // pause after opening the port
constexpr uint32_t kBaud = 38400;

constexpr uint32_t kFlashIdSeconds = 10;  // stand-alone flash identification
constexpr uint32_t kFlashIdBaud = 115200;

// Progress stages the sequence itself reports (the exchange reports 1 and 4).
constexpr int32_t kStageStart = 0;
constexpr int32_t kStageModel = 2;
constexpr int32_t kStageModelAgain = 3;
constexpr int32_t kStageVersion = 5;

// Terminal adapters that are asked "AT%I\r".
const char* const kPercentIModels[] = {"QBXHI-TA", "QBXHP-TA"};

// Copies at most nCount characters of pszSource into pszDest (nSize bytes),
// cut to fit, and terminates.
void copyCut(char* pszDest, size_t nSize, const char* pszSource, size_t nCount)
{
    if (nSize == 0)
        return;
    size_t nCopy = nCount < nSize - 1 ? nCount : nSize - 1;
    memcpy(pszDest, pszSource, nCopy);
    pszDest[nCopy] = '\0';
}

bool needsPercentI(const char* pszModel)
{
    for (const char* pszName : kPercentIModels) {
        if (gn_StriCmp(pszModel, pszName) == 0)
            return true;
    }
    return false;
}

// Controller flags of the model named in the field; a name the database
// does not know selects no family step.
uint32_t flagsOfModel(const char* pszModel)
{
    int32_t nId = 0;
    if (ModelDb_FindByName(pszModel, &nId, nullptr) == 0)
        return ModelDb_kFlagsUnknown;
    return ModelDb_FlagsById(nId);
}

// Starts an operation that owns its port: status devid_kIdentified, the
// port opened and set to nBaud, 8N1, no flow control. False with status
// devid_kPortNotOpened when it cannot be opened, the open's error code kept in nOpenError.
bool openForIdentification(devid_DeviceInfo* pInfo, urs_Port* pPort, const char* pszDevice, uint32_t nBaud)
{
    pInfo->nStatus = devid_kIdentified;
    pInfo->nOpenError = 0;
    if (urs_OpenPort(pPort, pszDevice) != urs_kOk) {
        pInfo->nStatus = devid_kPortNotOpened;
        pInfo->nOpenError = pPort->nOpenError;
        return false;
    }
    // A line left at another rate shows as a device that does not answer.
    (void)urs_SetUart(pPort, nBaud, urs_kDataBits8, urs_kParityNone, urs_kStopBits1, urs_kFlowNone);
    return true;
}

}  // namespace

// ------------------------ 2. Reading model, version and country from replies

int devid_GetModel(char* pszModel, size_t nSize, const char* pszReply)
{
    char szName[ModelDb_kNameSize];
    if (ModelDb_FindInText(pszReply, szName, sizeof szName) == 0)
        return 0;
    copyCut(pszModel, nSize, szName, strlen(szName));
    return 1;
}

int devid_GetVersion(char* pszVersion, size_t nSize, const char* pszReply)
{
    static const char kWord[] = "Version";
    const char* pszFound = strstr(pszReply, kWord);
    if (pszFound != nullptr) {
        // Skip the word and the character after it (normally a blank), but
        // never the end of the text.
        const char* pszStart = pszFound + strlen(kWord);
        if (*pszStart != '\0')
            ++pszStart;
        copyCut(pszVersion, nSize, pszStart, strcspn(pszStart, " \r\n"));
        return 1;
    }
    const char* pszLastSpace = strrchr(pszReply, ' ');
    if (pszLastSpace == nullptr) {
        DBG_LOG("[devid_GetVersion] return FALSE");
        return 0;
    }
    // Leading white space goes before the cut, so the field keeps as much
    // of the version as fits.
    gn_TrimCopy(pszVersion, pszLastSpace, static_cast<int>(nSize));
    return 1;
}

void devid_GetCountry(const char* pszReply, char* pszCountry, size_t nSize, int nMode)
{
    int32_t nNumber = ModelDb_Atoi(pszReply);
    const char* pszFound = "";
    for (const devid_CountryNumber* pRow = devid_CountryNumberTable; pRow->pszDeviceCountry[0] != '\0'; ++pRow) {
        bool bMatch = false;
        if (nMode == devid_kCountryFromAti9 && nNumber != 0)
            bMatch = pRow->nAti9 == nNumber;
        else if (nMode == devid_kCountryFromAti9)
            bMatch = gn_StriCmp(pRow->pszCountry, pszReply) == 0;
        else if (nMode == devid_kCountryFromAti5)
            bMatch = pRow->nAti5 == nNumber;
        if (bMatch) {
            pszFound = pRow->pszDeviceCountry;
            break;
        }
    }
    snprintf(pszCountry, nSize, "%s", pszFound);
}

// ---------------------------------- 3. The command sequence (devid_QueryDevice)

int32_t devid_QueryDevice(urs_Port* pPort, char* pszModel, char* pszVersion, char* pszCountry,
                          char* pszSpecialBuild, devid_FlashId* pFlashId, uint32_t nTimeout,
                          devid_ProgressFn pfnProgress, void* pArg, int32_t* pnFlashCmdVariant)
{
    char szAt[kAtSize];
    char szAti[kAtiSize];
    char szAti2[kAti2Size];
    char szPercentI[kPercentISize];
    char szAti9And5[kAti9And5Size];
    int32_t nStatus = devid_kIdentified;

    auto send = [&](char* pszReply, uint32_t nSize, const char* pszCommand, uint32_t bFirstLine) {
        return devid_SendCommand(pPort, pszReply, nSize, nTimeout, pfnProgress, pArg, pszCommand, bFirstLine);
    };

    if (!devid_Report(pfnProgress, pArg, kStageStart))
        return devid_kStopped;
    send(szAt, sizeof szAt, "AT\r", 1);
    if (!send(szAt, sizeof szAt, "ATE1V1Q0\r", 1))
        return devid_kNoEchoSetting;
    if (!send(szAti, sizeof szAti, "ATI\r", 0))
        nStatus = devid_kAtiFailed;

    if (!devid_GetModel(pszModel, devid_kTextSize, szAti)) {
        if (!send(szAti2, sizeof szAti2, "ATI2\r", 1))
            return devid_kNoModel;
        if (!devid_GetModel(pszModel, devid_kTextSize, szAti2))
            return devid_kNoModel;
        nStatus = devid_kIdentified;
    }
    // Both stages are asked; only a callback that refuses both stops here.
    bool bModelGoesOn = devid_Report(pfnProgress, pArg, kStageModel);
    bool bModelAgainGoesOn = devid_Report(pfnProgress, pArg, kStageModelAgain);
    if (!bModelGoesOn && !bModelAgainGoesOn)
        return devid_kStopped;

    if (!devid_GetVersion(pszVersion, devid_kTextSize, szAti) &&
        !devid_ReadATI1(pPort, pszVersion, devid_kTextSize, pszCountry, devid_kTextSize, pszSpecialBuild,
                        devid_kTextSize, nTimeout, pfnProgress, pArg))
        return devid_kNoVersion;
    if (!devid_Report(pfnProgress, pArg, kStageVersion))
        return devid_kStopped;

    uint32_t nFlags = flagsOfModel(pszModel);
    if (nFlags & ModelDb_kFlagTerminalAdapter) {
        snprintf(pszCountry, devid_kTextSize, "%s", "Universal");
        if (needsPercentI(pszModel)) {
            if (!send(szPercentI, sizeof szPercentI, "AT%I\r", 1))
                nStatus = devid_kPercentIFailed;
            else
                nStatus = ModelDb_Atoi(szPercentI) != 0 ? devid_kPercentINonZero : devid_kIdentified;
        }
    }
    if (nFlags & ModelDb_kFlagLucent) {
        nStatus = devid_GetFlashId(pPort, pFlashId, nTimeout, pfnProgress, pArg, pnFlashCmdVariant);
        send(szAti9And5, sizeof szAti9And5, "ATI9\r", 1);
        devid_GetCountry(szAti9And5, pszCountry, devid_kTextSize, devid_kCountryFromAti9);
    }
    if (nFlags & ModelDb_kFlagRockwell) {
        if (!send(pszVersion, devid_kTextSize, "ATI3\r", 1)) {
            nStatus = devid_kNoVersion;
        } else if (char* pszDash = strchr(pszVersion, '-')) {
            // The suffix names the variant: "2.17-SP" makes the model
            // "<model>-SP" and the version "2.17". It is cut where the
            // model field ends.
            size_t nModel = strlen(pszModel);
            copyCut(pszModel + nModel, devid_kTextSize - nModel, pszDash, strlen(pszDash));
            *pszDash = '\0';
        }
        send(szAti9And5, sizeof szAti9And5, "ATI5\r", 1);
        devid_GetCountry(szAti9And5, pszCountry, devid_kTextSize, devid_kCountryFromAti5);
    }
    return nStatus;
}

// ------------------------------- 4. The operations that own their port

int32_t devid_Identify(devid_DeviceInfo* pInfo, const char* pszDevice, devid_ProgressFn pfnProgress, void* pArg)
{
    urs_Port port;
    if (!openForIdentification(pInfo, &port, pszDevice, kBaud))
        return devid_kPortNotOpened;
    urs_Sleep(kPauseSeconds);
    pInfo->nStatus = devid_QueryDevice(&port, pInfo->szModel, pInfo->szVersion, pInfo->szCountry,
                                       pInfo->szSpecialBuild, &pInfo->flashId, kCommandSeconds, pfnProgress, pArg,
                                       &pInfo->nFlashCmdVariant);
    // Fields no step set keep the caller's contents; their last byte ends
    // them, so the summary never reads past a field.
    for (char* pszField : {pInfo->szModel, pInfo->szVersion, pInfo->szCountry, pInfo->szSpecialBuild})
        pszField[devid_kTextSize - 1] = '\0';
    DBG_LOG("<%s>  Model %s Version %s  Country %s, SpecialBuild %s", port.szName, pInfo->szModel,
            pInfo->szVersion, pInfo->szCountry, pInfo->szSpecialBuild);
    urs_ClosePort(&port);
    return pInfo->nStatus;
}

int32_t devid_ReadFlashId(devid_DeviceInfo* pInfo, const char* pszDevice)
{
    urs_Port port;
    if (!openForIdentification(pInfo, &port, pszDevice, kFlashIdBaud))
        return devid_kPortNotOpened;
    pInfo->nStatus = devid_GetFlashId(&port, &pInfo->flashId, kFlashIdSeconds, nullptr, nullptr,
                                      &pInfo->nFlashCmdVariant);
    urs_ClosePort(&port);
    return pInfo->nStatus;
}
