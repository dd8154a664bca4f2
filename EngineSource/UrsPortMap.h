// Serial layer, port map: which device node each of COM1 to COM36 stands
// for on this machine, and why a port could not be opened.
//
// Without a ports folder (NORVANE_PORTS), COMn is the n-th serial port
// present, in a stable order:
//   1. the built-in ports /dev/ttyS<k> that have a UART behind them (the
//      kernel reports a type other than 0, "unknown", in
//      /sys/class/tty/ttyS<k>/type), by k;
//   2. the USB and ACM ports, by their physical place: the names of their
//      links in /dev/serial/by-path, compared with digit runs as numbers,
//      so a hub socket keeps its number across reboots and plug order.
//      Ports udev has not linked there (no udev) follow, by their place in
//      the /sys device tree.
// At most urs_kMaxMappedPorts ports are mapped; the rest get no number.
//
// The map is read once per process, at the first COMn that needs it, and
// kept: a device identified as COM5 is flashed as COM5 even when another
// adapter is plugged in meanwhile. With a ports folder, COMn is the entry
// COMn of that folder, read at each open, as before.
//
// The /sys and /dev trees are read below a root folder, so that tests can
// point the map at a fake tree.
//
// Map of this header:
//   1. The map record       3. The map in use
//   2. Reading a map        4. Open failures in words
#ifndef NORVANE_ENGINESOURCE_URSPORTMAP_H
#define NORVANE_ENGINESOURCE_URSPORTMAP_H

#include "EngineSource/OSWIN32.h"

#include <cstddef>
#include <cstdint>

// ------------------------------------------------------- 1. The map record

// COM1 to COM36: the ports start-up watches.
constexpr int32_t urs_kMaxMappedPorts = 36;

// Error code (errno value) of an open of a COMn that the map does not name:
// no device node was touched.
constexpr int urs_kNotMapped = 19;  // ENODEV

struct urs_MappedPort {
    char szNode[os_kMaxPath];     // device node of the port, "/dev/ttyUSB3"; empty: not mapped
    char szPlace[os_kMaxPath];    // its /dev/serial/by-path name, else by-id name, else empty
};

// COMn is entries[n - 1].
struct urs_PortMap {
    int32_t nCount;                                 // mapped ports (non-empty szNode), 0 to 36
    urs_MappedPort entries[urs_kMaxMappedPorts];    // in COM order
};

// ------------------------------------------------------- 2. Reading a map

// Reads the machine's map from the tree below pszRoot ("" or "/" for the
// machine itself; a test folder holding sys/class/tty and dev otherwise).
// Node paths are given below the root. Missing folders count as no ports.
// Returns the number of ports mapped.
int32_t urs_ReadPortMap(urs_PortMap* pMap, const char* pszRoot);

// Reads the map a ports folder makes: COMn for every entry COMn (1 to 36)
// of pszFolder (other numbers stay empty); szNode is where a link points
// (made absolute), szPlace the entry's own path. Returns the number of
// entries found.
int32_t urs_ReadPortsFolder(urs_PortMap* pMap, const char* pszFolder);

// -------------------------------------------------------- 3. The map in use

// Makes *pMap the process's map (copied); null drops it, so the machine's
// map is read again at the next use. For tests and tools; call it while no
// port is being opened.
void urs_SetPortMap(const urs_PortMap* pMap);

// The device node of COMn (1 to 36) in the process's map, read from the
// machine at the first call. Writes it into pszNode (nSize bytes) and
// returns 1 (1 is success); returns 0 (pszNode empty) when the map has no COMn or the path
// does not fit. Thread-safe.
int urs_MapComPort(int32_t nCom, char* pszNode, size_t nSize);

// Resolves COMn for the serial layer: with a ports folder the entry COMn
// itself (any n), else the map's node for COM1 to COM36. Writes the path
// into pszPath (nSize bytes). Returns 1 (1 is success); 0 when the path does not fit; -1
// when nothing stands for COMn (no device node is touched). pszPath is
// empty unless 1 is returned.
int urs_ResolveComPort(uint32_t nCom, char* pszPath, size_t nSize);

// The device node that the device name pszDevice ("\\.\COM3", "COM3",
// "\\.\/dev/ttyUSB0") opens, for showing beside a port name: the ports
// folder's link target or the map's node. Writes it into pszNode (nSize
// bytes); returns 1 (1 is success), or 0 (pszNode empty) when no node stands for the name.
int urs_DeviceNode(const char* pszDevice, char* pszNode, size_t nSize);

// A copy of the map the serial layer uses now: the ports folder's when
// NORVANE_PORTS names one, else the process's map. Returns the count.
int32_t urs_GetPortMap(urs_PortMap* pMap);

// ------------------------------------------------ 4. Open failures in words

// Why the device name pszDevice could not be opened, given the error code
// (errno) of the failed open, written into pszText (nSize bytes, cut to
// fit):
//   EACCES, EPERM          "permission denied: ..." naming the group that
//                          owns the node when the user is not in it
//   EBUSY, EAGAIN          "busy: another program holds ..."
//   ENOENT, ENXIO          "missing: ..."
//   urs_kNotMapped         "no device: no serial port has this number"
//   any other              "cannot open ...: " and the system's text
// Returns 1 (1 is success), or 0 for an error code of 0 (pszText empty).
int urs_DescribeOpenError(const char* pszDevice, int nError, char* pszText, size_t nSize);

#endif
