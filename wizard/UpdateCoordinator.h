// The update coordinator: the one object the wizard pages (and a headless
// front end) share. It holds one device record per watched port, the
// firmware catalogue, the list of device types found by identification and
// the wizard's error code. It starts, stops and polls the identification
// and flash jobs of all records at once, turns identification answers into
// model, build, country and boot-code flag, groups equal devices into
// device types, drops the types no firmware file fits, and carries the
// user's choices (types, ports, one file per type) down to the records and
// catalogue entries.
//
// Map of this header:
//   1. DeviceRecord                 3. Identification and device types
//   2. UpdateCoordinator: set-up    4. Selection
//                                   5. Flashing
//                                   6. Access and release
//
// Threads: every operation runs on one thread (the GUI thread). Each record
// embeds a FlashJob that at most one worker thread uses at a time; the
// coordinator reads a job's status only under the job's mutex and its
// result as an atomic.
//
// Record lifetime: a record whose worker may still run (a job was started
// and its result is still -1) is never freed. Where such a record leaves
// the device list (a dropped device, the coordinator's end) it is parked in
// a process-wide list and freed by a later release once its worker has
// ended; the coordinator's destructor first stops the jobs and waits for
// them up to UpdateCoordinator_kReleaseWaitMs.
#ifndef NORVANE_WIZARD_UPDATECOORDINATOR_H
#define NORVANE_WIZARD_UPDATECOORDINATOR_H

#include "EngineSource/FlashInfo.h"
#include "EngineSource/HexFileEntry.h"
#include "model/ModelKey.h"
#include "wizard/ErrorTable.h"
#include "wizard/HexCatalogue.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// ----------------------------------------------------------- 1. DeviceRecord

// Controller flags of a record before identification has read its model's
// (0x01A).
constexpr uint32_t DeviceRecord_kInitialFlags = ModelDb_kFlagFastStart | ModelDb_kFlagUnread | ModelDb_kFlagSendDpOff;

// One watched port: the device found there and the job that serves it.
struct DeviceRecord {
    // Builds the record and its job (InitFlashJob with the device path, such
    // as "\\.\COM3", and the baud rate of the update).
    DeviceRecord(const char* pszDevice, int32_t nBaud);
    // Releases the job's mutex, unless a worker may still run on the job
    // (then the mutex is left to it and the fact is logged).
    ~DeviceRecord();
    DeviceRecord(const DeviceRecord&) = delete;
    DeviceRecord& operator=(const DeviceRecord&) = delete;

    // True when a job was started on the record and has not stored its
    // result yet.
    bool WorkerMayRun() const;
    // The port's name for log lines and lists: the device path without its
    // first four characters ("COM3").
    const char* PortName() const;
    // The device node the port stands for ("/dev/ttyUSB0", or where a ports
    // folder's link points); empty when nothing stands for it.
    std::string DeviceNode() const;
    // Why identification could not open the port, in words (after the
    // identification status 1, from the open's error code); empty when the
    // port was opened, or when nothing stands for the port name (no device
    // node, nothing to report).
    std::string OpenFailure() const;
    // The result of the record's part in the last StartFlashing, for the
    // status list and the count of updated devices: DeviceRecord_kPassedOver
    // when StartFlashing gave it no worker because one still ran on it
    // (that worker's result is not this update's), else the job's result
    // (-1 while its flash worker runs).
    int32_t GetFlashResult() const;
    // The text of GetFlashResult ("Unable to open port" for a record passed
    // over).
    const char* GetFlashResultText() const;

    ModelKey key;                                 // model and build once identified
    FirmwareBuild build;                          // build read from the version text
    int32_t nOemBuild = 0;                        // 0 standard, 1-5 the special builds "PELLAM n"
    HexFileEntry hexFile;                         // copy of the catalogue entry chosen for it
    int32_t nCountry = Country_kUnknown;          // country index; 50 until identified
    FlashJob job;                                 // identification block, status and results
    bool bBootCode = false;                       // the device runs only its boot code
    uint32_t nFlags = DeviceRecord_kInitialFlags; // controller flags of its model
    int32_t bSelected = 0;                        // the device takes part in the update
    bool bJobStarted = false;                     // a worker was started on the job
    bool bPassedOver = false;                     // the last StartFlashing gave it no worker
};

// A watched port that identification could not open (no permission, held
// by another program, gone): dropped like a silent one, but with a reason.
struct PortProblem {
    std::string sPort;      // port name, "COM3"
    std::string sNode;      // device node it stands for; may be empty
    int32_t nError;         // error code (errno) of the failed open
    std::string sReason;    // DeviceRecord::OpenFailure
};
// Result of a selected record that StartFlashing passed over: the port is
// still held by the worker that runs on it.
constexpr int32_t DeviceRecord_kPassedOver = flsh_cPortOpen;

// Longest wait (runtime-clock milliseconds) of the coordinator's destructor
// for the workers of its records; identification of a port that answers
// each command at its last moment lasts less than this.
constexpr uint32_t UpdateCoordinator_kReleaseWaitMs = 60000;

// Pause (runtime-clock milliseconds) between two looks at the jobs while
// waiting for them to end.
constexpr uint32_t UpdateCoordinator_kPollMs = 100;

class UpdateCoordinator {
public:
    // An empty coordinator. It clears the process-wide abort flag: a run
    // starts uncancelled even when an earlier one in the same process (a
    // tool or test running several) was cancelled; the earlier coordinator
    // stopped and waited for its workers when it ended.
    UpdateCoordinator();
    // Stops the jobs that still run (AbortAllJobs), waits for them up to
    // UpdateCoordinator_kReleaseWaitMs and releases every record
    // (ReleaseDevices).
    ~UpdateCoordinator();
    UpdateCoordinator(const UpdateCoordinator&) = delete;
    UpdateCoordinator& operator=(const UpdateCoordinator&) = delete;

    // ---------------------------------------------------- 2. Set-up

    // Appends a record for the device path pszDevice ("\\.\COM3") whose
    // flash job gets the baud rate nBaud.
    void AddDevice(const char* pszDevice, int32_t nBaud);
    // Appends a catalogue entry with path and fileName sPath (unchanged, not
    // upper-cased) and no model.
    void AddHexFile(const std::string& sPath);
    // Prepares the first record for a direct update with the first catalogue
    // entry (single-port mode): PrepareDevice with the key, the key's
    // controller flags, bForceBoot and that entry; the catalogue entry itself
    // becomes selected and gets the key. Returns 1 (1 is success), or 0 (nothing changed)
    // when the device list or the catalogue is empty.
    int PrepareSinglePort(bool bForceBoot, const ModelKey& model);
    // Prepares the record at nPosition for an update without identification:
    // key = model, controller flags = nFlags, boot-code flag = bBootCode,
    // selected, hex file = a copy of entry with selected set and the key
    // taken over. For flags with the Lucent bit the device's flash memory is
    // identified now (devid_ReadFlashId; blocks while the device answers)
    // and the job's start mode set from the status. Returns 1 (1 is success), or 0 for a
    // position outside the list or a record whose worker still runs.
    int PrepareDevice(size_t nPosition, const ModelKey& model, uint32_t nFlags, bool bBootCode,
                      const HexFileEntry& entry);
    // Sets the baud rate the update of the record at nPosition asks for
    // (its flash job's nBaud). Returns 1 (1 is success), or 0 (nothing changed) for a
    // position outside the list, a rate not above 0, or a record whose
    // worker still runs.
    int SetUpdateBaud(size_t nPosition, int32_t nBaud);

    // ------------------------------- 3. Identification and device types

    // Fills the catalogue from the working folder "." with the files of the
    // extension "HEX", or "HXB" when nBootCode is set. Returns the number of
    // catalogue entries.
    int32_t FindHexFiles(int32_t nBootCode);
    // Starts an identification worker on every record, in list order; a
    // record whose worker still runs is passed over. Forgets the port
    // problems of an earlier identification.
    void StartIdentification();
    // Sets the abort flag once per record (identification itself runs to
    // its end; flash workers stop at their next report).
    void StopIdentification();
    // Polls the identification jobs: logs "<port> Status <result>" per
    // record and "bDone <0|1>"; when none has the result -1 any more, runs
    // FinishIdentification(bForceBoot). Returns true when all have ended.
    bool IdentificationDone(bool bForceBoot);
    // Turns identification answers into records, walking the list in order:
    // a record whose status is not 0, 9 or 10 (or whose worker still runs)
    // is dropped (one that could not be opened, with a reason, is kept in
    // the port problems); the others get country, OEM build, model ("BOOTCODE" is a
    // QBX7720 and "100 000 000 000 000 000 000 000" a KV5120ZA running only
    // its boot code; any other model text is the model's name), boot-code
    // flag (those two texts, or bForceBoot), controller flags, build, the
    // job's start mode and the key's build and upgrades.
    void FinishIdentification(bool bForceBoot);
    // Appends one device type per distinct key (model and build) of the
    // records, in the order of their first devices; a type's count is the
    // number of its devices.
    void BuildDeviceTypes();
    // Removes the device types that no catalogue entry fits. For each one
    // appends its name and one space to *pNames (a Rockwell model's name up
    // to its first "-"). Returns the number of types removed.
    int32_t RemoveTypesWithoutHexFiles(std::string* pNames);
    // The same, giving the removed types' names as a list in list order,
    // so that a name with a space, or the empty name of an unknown model,
    // stays one name; the space-joined string goes to the log.
    int32_t RemoveTypesWithoutHexFiles(std::vector<std::string>* pNames);

    // ----------------------------------------------------- 4. Selection

    // Clears the selected flag of every record and catalogue entry and the
    // selected and done flags of every device type.
    void ResetSelection();
    // Selects exactly the records and catalogue entries whose key equals a
    // selected device type.
    void ApplyTypeSelection();
    // Deselects the catalogue entries that fit the key and the records whose
    // key equals it.
    void DeselectType(ModelKey key);
    // Selects the record at nPosition and gives it a copy of entry as its
    // hex file. Returns 1 (1 is success), or 0 (nothing changed) for a position outside
    // the list or a record whose worker still runs: a flash worker reads
    // the file's path from the record.
    int AssignHexFile(size_t nPosition, HexFileEntry entry);
    // Number of selected records whose key equals key.
    int32_t CountSelectedDevices(ModelKey key) const;
    // Number of records whose key equals key.
    int32_t CountDevices(ModelKey key) const;
    // Removes (and releases) every record that is not selected. Returns the
    // number of records left.
    int32_t RemoveUnselectedDevices();
    // The model page's choice for the device type key: DeselectType(key),
    // then the catalogue entry at nEntry becomes selected (SelectEntry) and
    // each record at the positions of ports is given a copy of it
    // (AssignHexFile). Returns the number of records assigned; positions
    // outside the list, or of records of another type, are passed over.
    int32_t AssignHexFileToPorts(ModelKey key, size_t nEntry, const std::vector<size_t>& ports);
    // The model page's country choice for the device type key: the catalogue
    // entries of the country nCountry become selected and every other one
    // unselected (HexCatalogue::SelectCountry). When exactly one selected
    // entry then fits the key, each selected record of the type is given a
    // copy of it, so that the update has a file for it. Returns the number
    // of records assigned.
    int32_t AssignCountryToType(ModelKey key, int32_t nCountry);

    // ------------------------------------------------------ 5. Flashing

    // For every selected record, in list order. A record whose worker still
    // runs is passed over and marked so (GetFlashResult gives
    // DeviceRecord_kPassedOver). The others: reads the flash
    // identification of its file (Lucent models); with bForceLoader the
    // start mode becomes 2 and the file is not checked, otherwise the file
    // is checked against the device (FlashId_CheckHexForDevice). A device
    // that passes gets a flash worker (its file, controller flags,
    // bUpdateBootCode, boot-code flag, start mode); one that fails gets the
    // result 8 (sector sizes differ) or 9 (types differ) and no worker.
    void StartFlashing(int32_t bUpdateBootCode, bool bForceLoader);
    // Sets the abort flag once per record, then looks at the jobs every
    // UpdateCoordinator_kPollMs and returns when no worker runs any more.
    void StopFlashing();
    // Progress of the selected jobs: *pnPercent becomes the lowest percent
    // among those still running (100 when none runs) and *pText that job's
    // status text (of the later one in list order on a tie; unchanged when
    // none runs). Finished jobs, and records StartFlashing passed over, are
    // left out. Returns true when every selected job has ended.
    bool FlashingDone(int32_t* pnPercent, std::string* pText);

    // ---------------------------------------------- 6. Access and release

    // Number of records.
    int32_t GetDeviceCount() const { return static_cast<int32_t>(m_devices.size()); }
    // The record at nPosition, or null. The pointer stays valid until the
    // record leaves the list.
    DeviceRecord* GetDevice(size_t nPosition);
    const DeviceRecord* GetDevice(size_t nPosition) const;
    ModelKeyList& GetDeviceTypes() { return m_types; }
    const ModelKeyList& GetDeviceTypes() const { return m_types; }
    HexCatalogue& GetCatalogue() { return m_catalogue; }
    const HexCatalogue& GetCatalogue() const { return m_catalogue; }
    // The ports the last identification could not open, in list order.
    const std::vector<PortProblem>& GetPortProblems() const { return m_problems; }
    ErrorTable& GetErrorTable() { return m_errors; }
    const ErrorTable& GetErrorTable() const { return m_errors; }

    // True when a worker may still run on some record.
    bool AnyWorkerRuns() const;
    // Looks at the jobs every UpdateCoordinator_kPollMs until no worker runs
    // or nTimeoutMs (runtime clock) have passed; 0 looks once. Returns true
    // when no worker runs.
    bool WaitForJobs(uint32_t nTimeoutMs) const;
    // Empties the device list: records whose workers have ended are freed,
    // the others parked until theirs end. Parked records of earlier
    // releases whose workers have ended are freed too.
    void ReleaseDevices();
    // Number of records parked process-wide because their workers still
    // ran when they left a device list.
    static size_t ParkedRecordCount();

private:
    std::vector<std::unique_ptr<DeviceRecord>> m_devices;  // one record per watched port, in order
    HexCatalogue m_catalogue;                              // firmware files of the working folder
    ModelKeyList m_types;                                  // device types found by identification
    ErrorTable m_errors;                                   // the wizard's error code
    std::vector<PortProblem> m_problems;                   // ports identification could not open
};

#endif
