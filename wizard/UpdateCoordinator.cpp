// The update coordinator over the engine's flash jobs. Records are owned
// through unique pointers in a vector; removal during a walk erases at the
// current index and goes on there. A record leaves a list only through
// retire(), which frees it when no worker can touch it any more and parks
// it otherwise (see the header).
//
// Map of this file:
//   1. Record lifetime: DeviceRecord, retiring and parking
//   2. Set-up
//   3. Identification and device types
//   4. Selection
//   5. Flashing
//   6. Access and release
#include "wizard/UpdateCoordinator.h"

#include "EngineSource/OSWIN32.h"
#include "EngineSource/UrsPortMap.h"
#include "EngineSource/dbg.h"
#include "EngineSource/devid.h"
#include "EngineSource/devidCountry.h"
#include "EngineSource/devidFlashFile.h"

#include <cstring>

static const char kDbgModule[] = "wizard/UpdateCoordinator";

namespace {

// Model texts of a device that runs only its boot code, and the model each
// stands for.
struct BootCodeModel {
    const char* pszModelText;   // the model text identification reports
    const char* pszModel;       // the model's name in the database
};
const BootCodeModel kBootCodeModels[] = {
    {"BOOTCODE", "QBX7720"},
    {"100 000 000 000 000 000 000 000", "KV5120ZA"},
};

// Identification statuses of a device that answered: identified, and a
// Lucent device whose flash identification was read or refused.
bool answered(int32_t nStatus)
{
    return nStatus == devid_kIdentified || nStatus == devid_kFlashIdRead || nStatus == devid_kFlashIdRefused;
}

}  // namespace

// ------------------------------ 1. Record lifetime: retiring and parking

DeviceRecord::DeviceRecord(const char* pszDevice, int32_t nBaud) { InitFlashJob(&job, pszDevice, nBaud); }

DeviceRecord::~DeviceRecord()
{
    if (WorkerMayRun()) {
        DBG_LOG("<%s> Record released while its worker runs; its mutex is left to the worker", PortName());
        return;
    }
    DeleteFlashJob(&job);
}

bool DeviceRecord::WorkerMayRun() const { return bJobStarted && GetResult(&job) == flsh_cRunning; }

int32_t DeviceRecord::GetFlashResult() const { return bPassedOver ? DeviceRecord_kPassedOver : GetResult(&job); }

const char* DeviceRecord::GetFlashResultText() const { return FlashResultText(GetFlashResult()); }

const char* DeviceRecord::PortName() const
{
    // "\\.\" takes four characters; a shorter path has no name left.
    size_t nLength = strnlen(job.szPort, sizeof job.szPort);
    return nLength >= 4 ? job.szPort + 4 : job.szPort + nLength;
}

std::string DeviceRecord::DeviceNode() const
{
    char szNode[os_kMaxPath];
    return urs_DeviceNode(job.szPort, szNode, sizeof szNode) ? szNode : "";
}

std::string DeviceRecord::OpenFailure() const
{
    // The worker writes the identification block; it is read only once the
    // worker has stored its result.
    if (WorkerMayRun())
        return "";
    int32_t nError = job.info.nOpenError;
    if (job.info.nStatus != devid_kPortNotOpened || nError == 0 || nError == urs_kNotMapped)
        return "";
    char szReason[os_kMaxPath + 200];
    urs_DescribeOpenError(job.szPort, nError, szReason, sizeof szReason);
    return szReason;
}

namespace {

typedef std::vector<std::unique_ptr<DeviceRecord>> RecordList;

// Records that left a device list while their workers still ran. Allocated
// once and never destroyed, so that no destructor at process exit frees a
// record a detached worker still uses.
RecordList& parkedRecords()
{
    static RecordList* s_pParked = new RecordList();
    return *s_pParked;
}

// Frees the parked records whose workers have ended.
void reclaimParked()
{
    RecordList& parked = parkedRecords();
    for (size_t n = 0; n < parked.size();) {
        if (parked[n]->WorkerMayRun())
            ++n;
        else
            parked.erase(parked.begin() + static_cast<std::ptrdiff_t>(n));
    }
}

// Takes a record out of the caller's hands: freed when no worker can touch
// it any more, else parked until its worker has ended.
void retire(std::unique_ptr<DeviceRecord> pRecord)
{
    reclaimParked();
    if (pRecord->WorkerMayRun()) {
        DBG_LOG("<%s> Worker still running; record kept until it ends", pRecord->PortName());
        parkedRecords().push_back(std::move(pRecord));
    }
}

// True when a worker still runs on the record: a second worker on the same
// job and port is never started.
bool busy(const DeviceRecord& record)
{
    if (!record.WorkerMayRun())
        return false;
    DBG_LOG("<%s> Worker still running; no new job started", record.PortName());
    return true;
}

}  // namespace

// ------------------------------------------------------------- 2. Set-up

void UpdateCoordinator::AddDevice(const char* pszDevice, int32_t nBaud)
{
    m_devices.push_back(std::make_unique<DeviceRecord>(pszDevice, nBaud));
}

void UpdateCoordinator::AddHexFile(const std::string& sPath)
{
    HexFileEntry entry;
    entry.path = sPath;
    entry.fileName = sPath;
    m_catalogue.Append(entry);
}

int UpdateCoordinator::PrepareSinglePort(bool bForceBoot, const ModelKey& model)
{
    HexFileEntry* pEntry = m_catalogue.GetEntry(0);
    if (pEntry == nullptr || m_devices.empty()) {
        DBG_LOG("Single port: no device or no hex file");
        return 0;
    }
    pEntry->selected = 1;
    pEntry->key = model;
    return PrepareDevice(0, model, ModelKey_Flags(model), bForceBoot, *pEntry);
}

int UpdateCoordinator::PrepareDevice(size_t nPosition, const ModelKey& model, uint32_t nFlags, bool bBootCode,
                                     const HexFileEntry& entry)
{
    DeviceRecord* pRecord = GetDevice(nPosition);
    os_mAssert(pRecord != nullptr);
    if (pRecord == nullptr || pRecord->WorkerMayRun())
        return 0;
    pRecord->key = model;
    pRecord->nFlags = nFlags;
    pRecord->bBootCode = bBootCode;
    pRecord->bSelected = 1;
    pRecord->hexFile = entry;
    pRecord->hexFile.selected = 1;
    pRecord->hexFile.key = model;
    if ((nFlags & ModelDb_kFlagLucent) != 0) {
        int32_t nStatus = devid_ReadFlashId(&pRecord->job.info, pRecord->job.szPort);
        devid_StartModeFromStatus(&pRecord->job, nStatus);
    }
    return 1;
}

int UpdateCoordinator::SetUpdateBaud(size_t nPosition, int32_t nBaud)
{
    DeviceRecord* pRecord = GetDevice(nPosition);
    os_mAssert(pRecord != nullptr && nBaud > 0);
    // A running worker reads nBaud and, on the AT protocol, writes it back.
    if (pRecord == nullptr || nBaud <= 0 || pRecord->WorkerMayRun())
        return 0;
    pRecord->job.nBaud = nBaud;
    return 1;
}

// --------------------------------------- 3. Identification and device types

int32_t UpdateCoordinator::FindHexFiles(int32_t nBootCode)
{
    m_catalogue.Discover(nBootCode ? HexCatalogue_kBootExtension : HexCatalogue_kExtension, ".");
    return m_catalogue.GetCount();
}

void UpdateCoordinator::StartIdentification()
{
    m_problems.clear();
    for (std::unique_ptr<DeviceRecord>& pRecord : m_devices) {
        if (busy(*pRecord))
            continue;
        pRecord->bJobStarted = true;
        StartIdentifyJob(&pRecord->job);
    }
}

void UpdateCoordinator::StopIdentification()
{
    if (!m_devices.empty())
        AbortAllJobs();
}

bool UpdateCoordinator::IdentificationDone(bool bForceBoot)
{
    bool bDone = true;
    for (const std::unique_ptr<DeviceRecord>& pRecord : m_devices) {
        int32_t nResult = GetResult(&pRecord->job);
        if (nResult == flsh_cRunning)
            bDone = false;
        DBG_LOG("<%s> Status %d", pRecord->PortName(), static_cast<int>(nResult));
    }
    DBG_LOG("bDone %d\n", bDone ? 1 : 0);
    if (bDone)
        FinishIdentification(bForceBoot);
    return bDone;
}

void UpdateCoordinator::FinishIdentification(bool bForceBoot)
{
    for (size_t n = 0; n < m_devices.size();) {
        DeviceRecord& record = *m_devices[n];
        // A worker that still runs has not answered: the device is dropped
        // like a silent one, without reading what the worker writes.
        if (record.WorkerMayRun() || !answered(record.job.info.nStatus)) {
            std::string sReason = record.OpenFailure();
            if (!sReason.empty()) {
                DBG_LOG("<%s> %s", record.PortName(), sReason.c_str());
                m_problems.push_back({record.PortName(), record.DeviceNode(), record.job.info.nOpenError, sReason});
            }
            std::unique_ptr<DeviceRecord> pDropped = std::move(m_devices[n]);
            m_devices.erase(m_devices.begin() + static_cast<std::ptrdiff_t>(n));
            retire(std::move(pDropped));
            continue;
        }
        const devid_DeviceInfo& info = record.job.info;
        Country_FromDeviceName(info.szCountry, &record.nCountry);
        OemBuild_FromName(info.szSpecialBuild, &record.nOemBuild);

        std::string sModel = info.szModel;
        record.bBootCode = bForceBoot;
        for (const BootCodeModel& boot : kBootCodeModels) {
            if (gn_StriCmp(info.szModel, boot.pszModelText) == 0) {
                sModel = boot.pszModel;
                record.bBootCode = true;
            }
        }
        ModelKey_SetModelByName(&record.key, sModel);
        record.nFlags = ModelKey_Flags(record.key);
        FirmwareBuild_FromVersion(&record.build, record.key, info.szVersion);
        devid_StartModeFromStatus(&record.job, info.nStatus);
        ModelKey_SelectBuild(&record.key, record.build.major);
        ++n;
    }
}

void UpdateCoordinator::BuildDeviceTypes()
{
    for (const std::unique_ptr<DeviceRecord>& pRecord : m_devices) {
        if (!ModelKeyList_AddDevice(&m_types, pRecord->key)) {
            ModelKey type = pRecord->key;
            type.count = 1;
            ModelKeyList_Append(&m_types, type);
        }
    }
}

int32_t UpdateCoordinator::RemoveTypesWithoutHexFiles(std::string* pNames)
{
    os_mAssert(pNames != nullptr);
    std::vector<std::string> names;
    int32_t nRemoved = RemoveTypesWithoutHexFiles(&names);
    for (const std::string& sName : names) {
        if (pNames != nullptr)
            *pNames += sName + " ";
    }
    return nRemoved;
}

int32_t UpdateCoordinator::RemoveTypesWithoutHexFiles(std::vector<std::string>* pNames)
{
    os_mAssert(pNames != nullptr);
    std::string sJoined;
    int32_t nRemoved = 0;
    std::vector<std::unique_ptr<ModelKey>>& types = m_types.keys;
    for (size_t n = 0; n < types.size();) {
        const ModelKey& type = *types[n];
        if (m_catalogue.CountFitting(type) > 0) {
            ++n;
            continue;
        }
        std::string sName = type.name;
        if ((ModelKey_Flags(type) & ModelDb_kFlagRockwell) != 0)
            sName = sName.substr(0, sName.find('-'));
        sJoined += sName + " ";
        if (pNames != nullptr)
            pNames->push_back(sName);
        ++nRemoved;
        types.erase(types.begin() + static_cast<std::ptrdiff_t>(n));
    }
    if (nRemoved > 0)
        DBG_LOG("No hex files for: %s", sJoined.c_str());
    return nRemoved;
}

// ---------------------------------------------------------- 4. Selection

namespace {

bool anySelectedTypeEquals(const ModelKeyList& types, const ModelKey& key)
{
    for (const std::unique_ptr<ModelKey>& pType : types.keys) {
        if (pType->selected != 0 && ModelKey_Equals(*pType, key))
            return true;
    }
    return false;
}

}  // namespace

void UpdateCoordinator::ResetSelection()
{
    for (std::unique_ptr<DeviceRecord>& pRecord : m_devices)
        pRecord->bSelected = 0;
    for (std::unique_ptr<ModelKey>& pType : m_types.keys) {
        pType->selected = 0;
        pType->done = 0;
    }
    m_catalogue.ClearSelection();
}

void UpdateCoordinator::ApplyTypeSelection()
{
    for (std::unique_ptr<DeviceRecord>& pRecord : m_devices)
        pRecord->bSelected = anySelectedTypeEquals(m_types, pRecord->key) ? 1 : 0;
    for (int32_t n = 0; n < m_catalogue.GetCount(); ++n) {
        HexFileEntry* pEntry = m_catalogue.GetEntry(static_cast<size_t>(n));
        pEntry->selected = anySelectedTypeEquals(m_types, pEntry->key) ? 1 : 0;
    }
}

void UpdateCoordinator::DeselectType(ModelKey key)
{
    m_catalogue.DeselectFitting(key);
    for (std::unique_ptr<DeviceRecord>& pRecord : m_devices) {
        if (ModelKey_Equals(pRecord->key, key))
            pRecord->bSelected = 0;
    }
}

int UpdateCoordinator::AssignHexFile(size_t nPosition, HexFileEntry entry)
{
    DeviceRecord* pRecord = GetDevice(nPosition);
    os_mAssert(pRecord != nullptr);
    if (pRecord == nullptr || busy(*pRecord))
        return 0;
    pRecord->bSelected = 1;
    pRecord->hexFile = std::move(entry);
    return 1;
}

int32_t UpdateCoordinator::CountSelectedDevices(ModelKey key) const
{
    int32_t nCount = 0;
    for (const std::unique_ptr<DeviceRecord>& pRecord : m_devices)
        nCount += pRecord->bSelected != 0 && ModelKey_Equals(pRecord->key, key) ? 1 : 0;
    return nCount;
}

int32_t UpdateCoordinator::CountDevices(ModelKey key) const
{
    int32_t nCount = 0;
    for (const std::unique_ptr<DeviceRecord>& pRecord : m_devices)
        nCount += ModelKey_Equals(pRecord->key, key) ? 1 : 0;
    return nCount;
}

int32_t UpdateCoordinator::RemoveUnselectedDevices()
{
    for (size_t n = 0; n < m_devices.size();) {
        if (m_devices[n]->bSelected != 0) {
            ++n;
            continue;
        }
        std::unique_ptr<DeviceRecord> pRemoved = std::move(m_devices[n]);
        m_devices.erase(m_devices.begin() + static_cast<std::ptrdiff_t>(n));
        retire(std::move(pRemoved));
    }
    return GetDeviceCount();
}

int32_t UpdateCoordinator::AssignHexFileToPorts(ModelKey key, size_t nEntry, const std::vector<size_t>& ports)
{
    DeselectType(key);
    HexFileEntry entry = m_catalogue.SelectEntry(nEntry);
    int32_t nAssigned = 0;
    for (size_t nPosition : ports) {
        DeviceRecord* pRecord = GetDevice(nPosition);
        if (pRecord == nullptr || !ModelKey_Equals(pRecord->key, key))
            continue;
        AssignHexFile(nPosition, entry);
        ++nAssigned;
    }
    return nAssigned;
}

int32_t UpdateCoordinator::AssignCountryToType(ModelKey key, int32_t nCountry)
{
    m_catalogue.SelectCountry(nCountry);
    if (m_catalogue.CountSelectedFitting(key) != 1)
        return 0;
    const HexFileEntry* pChosen = nullptr;
    for (int32_t n = 0; pChosen == nullptr && n < m_catalogue.GetCount(); ++n) {
        const HexFileEntry* pEntry = m_catalogue.GetEntry(static_cast<size_t>(n));
        if (pEntry->selected != 0 && HexCatalogue::Fits(*pEntry, key))
            pChosen = pEntry;
    }
    int32_t nAssigned = 0;
    for (size_t n = 0; n < m_devices.size(); ++n) {
        if (m_devices[n]->bSelected != 0 && ModelKey_Equals(m_devices[n]->key, key)) {
            AssignHexFile(n, *pChosen);
            ++nAssigned;
        }
    }
    return nAssigned;
}

// ----------------------------------------------------------- 5. Flashing

void UpdateCoordinator::StartFlashing(int32_t bUpdateBootCode, bool bForceLoader)
{
    for (std::unique_ptr<DeviceRecord>& pRecord : m_devices) {
        DeviceRecord& record = *pRecord;
        // The mark is the GUI thread's own: the job's result belongs to the
        // worker that still runs and is not written here.
        record.bPassedOver = record.bSelected != 0 && busy(record);
        if (record.bSelected == 0 || record.bPassedOver)
            continue;
        FlashId_FromHexFile(&record.hexFile);
        uint32_t nCheck = 0;
        if (bForceLoader)
            record.job.nStartMode = flsh_kStartDownloadLoader;
        else
            nCheck = FlashId_CheckHexForDevice(record.hexFile, &record.job);
        if (nCheck != 0) {
            // Refused without a worker: sizes first, any other mismatch is
            // one of types.
            record.job.nResult = (nCheck & devid_kSizesDiffer) != 0 ? flsh_cSectorSizes : flsh_cTypes;
            DBG_LOG("<%s> Flash check refused the file: %u", record.PortName(), static_cast<unsigned>(nCheck));
            continue;
        }
        const std::string& sFile = record.hexFile.fileName.empty() ? record.hexFile.path : record.hexFile.fileName;
        record.bJobStarted = true;
        StartFlashJob(&record.job, sFile.c_str(), record.nFlags, 0, bUpdateBootCode, record.bBootCode ? 1 : 0,
                      record.job.nStartMode);
    }
}

void UpdateCoordinator::StopFlashing()
{
    if (!m_devices.empty())
        AbortAllJobs();
    while (AnyWorkerRuns())
        os_SleepMs(UpdateCoordinator_kPollMs);
}

bool UpdateCoordinator::FlashingDone(int32_t* pnPercent, std::string* pText)
{
    os_mAssert(pnPercent != nullptr && pText != nullptr);
    int32_t nLowest = 100;
    bool bDone = true;
    for (std::unique_ptr<DeviceRecord>& pRecord : m_devices) {
        if (pRecord->bSelected == 0)
            continue;
        int32_t nPercent = 0;
        char szText[flsh_kStatusTextSize];
        GetJobStatus(&pRecord->job, &nPercent, szText, sizeof szText);
        bool bRunning = pRecord->GetFlashResult() == flsh_cRunning;
        if (nPercent > nLowest || !bRunning) {
            bDone = bDone && !bRunning;
            continue;
        }
        nLowest = nPercent;
        if (pText != nullptr)
            *pText = szText;
        bDone = false;
    }
    if (pnPercent != nullptr)
        *pnPercent = nLowest;
    return bDone;
}

// ------------------------------------------------- 6. Access and release

UpdateCoordinator::UpdateCoordinator() { ResetAbortFlag(); }

UpdateCoordinator::~UpdateCoordinator()
{
    if (AnyWorkerRuns()) {
        DBG_LOG("Workers still running at the end; stopping them");
        AbortAllJobs();
        WaitForJobs(UpdateCoordinator_kReleaseWaitMs);
    }
    ReleaseDevices();
}

DeviceRecord* UpdateCoordinator::GetDevice(size_t nPosition)
{
    return nPosition < m_devices.size() ? m_devices[nPosition].get() : nullptr;
}

const DeviceRecord* UpdateCoordinator::GetDevice(size_t nPosition) const
{
    return nPosition < m_devices.size() ? m_devices[nPosition].get() : nullptr;
}

bool UpdateCoordinator::AnyWorkerRuns() const
{
    for (const std::unique_ptr<DeviceRecord>& pRecord : m_devices) {
        if (pRecord->WorkerMayRun())
            return true;
    }
    return false;
}

bool UpdateCoordinator::WaitForJobs(uint32_t nTimeoutMs) const
{
    int64_t nDeadline = os_ClockMs() + nTimeoutMs;
    while (AnyWorkerRuns()) {
        if (os_ClockMs() >= nDeadline)
            return false;
        os_SleepMs(UpdateCoordinator_kPollMs);
    }
    return true;
}

void UpdateCoordinator::ReleaseDevices()
{
    for (std::unique_ptr<DeviceRecord>& pRecord : m_devices)
        retire(std::move(pRecord));
    m_devices.clear();
    reclaimParked();
}

size_t UpdateCoordinator::ParkedRecordCount() { return parkedRecords().size(); }
