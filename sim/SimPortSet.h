// A set of simulated devices in one ports folder: the C++ API tests, benches
// and the program use. It makes a private ports folder (or uses a given
// one), starts one SimDevice per COMn, can point NORVANE_PORTS at the
// folder, and stops every device and removes what it made when it ends.
//
//     SimPortSet ports;                       // private temporary folder
//     SimDevice* pModem = ports.add(sim_DeviceConfig(3));
//     ports.exportPorts();                    // NORVANE_PORTS = the folder
//     ... urs_OpenPort(&port, "\\\\.\\COM3") ...
//     pModem->transcript().received();
#ifndef NORVANE_SIM_SIMPORTSET_H
#define NORVANE_SIM_SIMPORTSET_H

#include "sim/SimConfig.h"
#include "sim/SimDevice.h"

#include <memory>
#include <string>
#include <vector>

class SimPortSet {
public:
    // Makes a private temporary ports folder, removed at the end.
    SimPortSet();
    // Uses an existing folder; only the links it made are removed.
    explicit SimPortSet(const std::string& dir);
    // Stops every device, puts NORVANE_PORTS back as it was when
    // exportPorts changed it, removes the links (and the folder it made).
    ~SimPortSet();
    SimPortSet(const SimPortSet&) = delete;
    SimPortSet& operator=(const SimPortSet&) = delete;

    // Starts a device on COMn of the folder (config.nPort). Returns it (owned
    // by the set), or null with *pError set when it cannot be started or the
    // port is taken.
    SimDevice* add(const SimDeviceConfig& config, std::string* pError = nullptr);
    // Starts plain modems on COM<first> .. COM<first + count - 1>.
    bool addModems(int nFirst, int nCount, std::string* pError = nullptr);
    // The device on COMn, or null.
    SimDevice* device(int nPort) const;
    const std::vector<std::unique_ptr<SimDevice>>& devices() const { return m_devices; }

    // The ports folder; empty when it could not be made.
    const std::string& dir() const { return m_dir; }
    // Sets NORVANE_PORTS to the folder (call before worker threads start).
    void exportPorts();
    // Stops every device now.
    void stopAll();

private:
    std::string m_dir;                                  // the ports folder
    bool m_bOwnDir = false;                             // made here, removed at the end
    bool m_bExported = false;                           // NORVANE_PORTS was changed
    bool m_bHadPorts = false;                           // it had a value before
    std::string m_previousPorts;                        // that value
    std::vector<std::unique_ptr<SimDevice>> m_devices;  // in the order added
};

#endif
