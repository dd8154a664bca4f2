// Serial layer, port map: reads the serial ports of /sys and /dev (below a
// root folder), orders them, and keeps the process's map; also puts an open
// failure into words. Folders, links and files are read through the
// system-call table, like every other call of the platform modules.
//
// Map of this file:
//   1. Small helpers: paths, links, natural order
//   2. Reading a map
//   3. The map in use
//   4. Open failures in words
#include "EngineSource/UrsPortMap.h"

#include "EngineSource/OSSysCalls.h"
#include "EngineSource/Urswin32.h"

#include <dirent.h>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

static_assert(urs_kNotMapped == ENODEV, "an unmapped port fails as ENODEV");

// ------------------------------ 1. Small helpers: paths, links, natural order

namespace {

// The root as a prefix: "" for the machine itself, else without a trailing
// slash.
std::string rootPrefix(const char* pszRoot)
{
    std::string root = pszRoot != nullptr ? pszRoot : "";
    while (!root.empty() && root.back() == '/')
        root.pop_back();
    return root;
}

// The names in a folder ("." and ".." left out); none when it cannot be read.
std::vector<std::string> listFolder(const std::string& folder)
{
    std::vector<std::string> names;
    const os_SysCallTable& sys = os_SysCalls();
    DIR* pDir = sys.pOpendir(folder.c_str());
    if (pDir == nullptr)
        return names;
    while (const dirent* pEntry = sys.pReaddir(pDir)) {
        if (strcmp(pEntry->d_name, ".") != 0 && strcmp(pEntry->d_name, "..") != 0)
            names.push_back(pEntry->d_name);
    }
    sys.pClosedir(pDir);
    return names;
}

// Where a link points, as written in it; empty when path is no link.
std::string linkTarget(const std::string& path)
{
    char szTarget[os_kMaxPath];
    ssize_t nLength = os_SysCalls().pReadlink(path.c_str(), szTarget, sizeof szTarget - 1);
    if (nLength <= 0)
        return "";
    szTarget[nLength] = '\0';
    return szTarget;
}

std::string baseName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

// The first line of a small file, trimmed; empty when it cannot be read.
std::string firstLine(const std::string& path)
{
    std::string line;
    const os_SysCallTable& sys = os_SysCalls();
    if (FILE* pFile = sys.pFopen(path.c_str(), "r")) {
        char szLine[64];
        if (fgets(szLine, sizeof szLine, pFile) != nullptr)
            line = szLine;
        sys.pFclose(pFile);
    }
    while (!line.empty() && strchr(" \t\r\n", line.back()) != nullptr)
        line.pop_back();
    return line;
}

// a before b with runs of digits compared as numbers ("1.2" before "1.10").
bool naturalLess(const std::string& a, const std::string& b)
{
    size_t i = 0;
    size_t j = 0;
    while (i < a.size() && j < b.size()) {
        bool bDigitA = isdigit(static_cast<unsigned char>(a[i])) != 0;
        bool bDigitB = isdigit(static_cast<unsigned char>(b[j])) != 0;
        if (!bDigitA || !bDigitB) {
            if (a[i] != b[j])
                return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
            ++i;
            ++j;
            continue;
        }
        size_t nEndA = a.find_first_not_of("0123456789", i);
        size_t nEndB = b.find_first_not_of("0123456789", j);
        std::string runA = a.substr(i, nEndA == std::string::npos ? std::string::npos : nEndA - i);
        std::string runB = b.substr(j, nEndB == std::string::npos ? std::string::npos : nEndB - j);
        runA.erase(0, std::min(runA.find_first_not_of('0'), runA.size()));
        runB.erase(0, std::min(runB.find_first_not_of('0'), runB.size()));
        if (runA.size() != runB.size())
            return runA.size() < runB.size();
        if (runA != runB)
            return runA < runB;
        i = nEndA == std::string::npos ? a.size() : nEndA;
        j = nEndB == std::string::npos ? b.size() : nEndB;
    }
    return a.size() - i < b.size() - j;
}

// "ttyS12" gives 12; -1 for any other name.
long builtInNumber(const std::string& name)
{
    if (name.compare(0, 4, "ttyS") != 0 || name.size() == 4 || name.size() > 10 ||
        name.find_first_not_of("0123456789", 4) != std::string::npos)
        return -1;
    return strtol(name.c_str() + 4, nullptr, 10);
}

bool isUsbOrAcm(const std::string& name)
{
    return name.compare(0, 6, "ttyUSB") == 0 || name.compare(0, 6, "ttyACM") == 0;
}

// One port found while reading a map: kernel name, the key it is ordered
// by, and the name shown beside it.
struct FoundPort {
    std::string sKernelName;   // "ttyUSB3"
    std::string sOrder;        // by-path name, or the /sys device path
    std::string sPlace;        // by-path or by-id name; may be empty
};

void copyText(char* pszDest, size_t nSize, const std::string& text)
{
    gn_StrCopyN(pszDest, text.c_str(), static_cast<int>(nSize));
}

}  // namespace

// ----------------------------------------------------------- 2. Reading a map

int32_t urs_ReadPortMap(urs_PortMap* pMap, const char* pszRoot)
{
    memset(pMap, 0, sizeof *pMap);
    const std::string root = rootPrefix(pszRoot);
    const std::string classFolder = root + "/sys/class/tty";
    std::vector<std::string> ttys = listFolder(classFolder);

    // Built-in ports with a UART behind them, by number.
    std::vector<long> builtIn;
    for (const std::string& name : ttys) {
        long nNumber = builtInNumber(name);
        if (nNumber >= 0 && atol(firstLine(classFolder + "/" + name + "/type").c_str()) != 0)
            builtIn.push_back(nNumber);
    }
    std::sort(builtIn.begin(), builtIn.end());

    // USB and ACM ports by physical place: their by-path names first (one
    // per port: the first name in order), then those udev did not link, by
    // their /sys device path.
    std::vector<std::string> byId = listFolder(root + "/dev/serial/by-id");
    auto idOf = [&](const std::string& kernelName) {
        for (const std::string& name : byId) {
            if (baseName(linkTarget(root + "/dev/serial/by-id/" + name)) == kernelName)
                return name;
        }
        return std::string();
    };
    std::vector<FoundPort> placed;
    for (const std::string& name : listFolder(root + "/dev/serial/by-path")) {
        std::string kernelName = baseName(linkTarget(root + "/dev/serial/by-path/" + name));
        if (!kernelName.empty() && builtInNumber(kernelName) < 0)
            placed.push_back({kernelName, name, name});
    }
    std::sort(placed.begin(), placed.end(),
              [](const FoundPort& a, const FoundPort& b) { return naturalLess(a.sOrder, b.sOrder); });
    std::vector<FoundPort> ordered;
    for (const FoundPort& port : placed) {
        bool bSeen = std::any_of(ordered.begin(), ordered.end(),
                                 [&](const FoundPort& seen) { return seen.sKernelName == port.sKernelName; });
        if (!bSeen)
            ordered.push_back(port);
    }
    std::vector<FoundPort> unlinked;
    for (const std::string& name : ttys) {
        bool bLinked = std::any_of(ordered.begin(), ordered.end(),
                                   [&](const FoundPort& seen) { return seen.sKernelName == name; });
        if (isUsbOrAcm(name) && !bLinked) {
            std::string devicePath = linkTarget(classFolder + "/" + name);
            unlinked.push_back({name, devicePath.empty() ? name : devicePath, idOf(name)});
        }
    }
    std::sort(unlinked.begin(), unlinked.end(),
              [](const FoundPort& a, const FoundPort& b) { return naturalLess(a.sOrder, b.sOrder); });

    std::vector<FoundPort> all;
    for (long nNumber : builtIn)
        all.push_back({"ttyS" + std::to_string(nNumber), "", ""});
    all.insert(all.end(), ordered.begin(), ordered.end());
    all.insert(all.end(), unlinked.begin(), unlinked.end());
    for (const FoundPort& port : all) {
        if (pMap->nCount == urs_kMaxMappedPorts)
            break;
        urs_MappedPort& entry = pMap->entries[pMap->nCount++];
        copyText(entry.szNode, sizeof entry.szNode, root + "/dev/" + port.sKernelName);
        copyText(entry.szPlace, sizeof entry.szPlace, port.sPlace);
    }
    return pMap->nCount;
}

namespace {

// The entry COMn of a ports folder: *pPath is the entry's path, *pNode where
// it points (made absolute; the path itself when it is no link). False when
// the folder has no such entry.
bool folderEntry(const std::string& folder, uint32_t nCom, std::string* pPath, std::string* pNode)
{
    *pPath = folder + "/COM" + std::to_string(nCom);
    struct stat info;
    if (os_SysCalls().pLstat(pPath->c_str(), &info) != 0)
        return false;
    *pNode = linkTarget(*pPath);
    if (pNode->empty())
        *pNode = *pPath;
    else if ((*pNode)[0] != '/')
        *pNode = folder + "/" + *pNode;
    return true;
}

}  // namespace

int32_t urs_ReadPortsFolder(urs_PortMap* pMap, const char* pszFolder)
{
    memset(pMap, 0, sizeof *pMap);
    const std::string folder = pszFolder != nullptr ? pszFolder : "";
    for (int32_t nCom = 1; nCom <= urs_kMaxMappedPorts; ++nCom) {
        std::string path;
        std::string node;
        if (!folderEntry(folder, static_cast<uint32_t>(nCom), &path, &node))
            continue;
        urs_MappedPort& entry = pMap->entries[nCom - 1];
        copyText(entry.szNode, sizeof entry.szNode, node);
        copyText(entry.szPlace, sizeof entry.szPlace, path);
        ++pMap->nCount;
    }
    return pMap->nCount;
}

// ---------------------------------------------------------- 3. The map in use

namespace {

// The process's map: read from the machine at its first use, then kept.
struct ProcessMap {
    std::mutex lock;      // guards both fields
    bool bRead = false;   // map holds the map in use
    urs_PortMap map;      // COM1 to COM36
};

ProcessMap& processMap()
{
    static ProcessMap* s_pMap = new ProcessMap();
    return *s_pMap;
}

const char* portsFolder()
{
    const char* pszFolder = getenv("NORVANE_PORTS");
    return pszFolder != nullptr && pszFolder[0] != '\0' ? pszFolder : nullptr;
}

// "COMn" (any letter case, after an optional "\\.\") with n from 1 to 36
// gives n; 0 for any other name.
int32_t comNumber(const char* pszDevice)
{
    const char* pszName = strncmp(pszDevice, "\\\\.\\", 4) == 0 ? pszDevice + 4 : pszDevice;
    if (gn_StrniCmp(pszName, "COM", 3) != 0)
        return 0;
    const char* pszDigits = pszName + 3;
    size_t nDigits = strspn(pszDigits, "0123456789");
    if (nDigits == 0 || nDigits > 2 || pszDigits[nDigits] != '\0')
        return 0;
    int32_t nCom = static_cast<int32_t>(strtol(pszDigits, nullptr, 10));
    return nCom >= 1 && nCom <= urs_kMaxMappedPorts ? nCom : 0;
}

// The process's map, read from the machine when nobody has read or set it
// yet. The caller holds the lock.
const urs_PortMap& mapInUse(ProcessMap& process)
{
    if (!process.bRead) {
        urs_ReadPortMap(&process.map, "/");
        process.bRead = true;
    }
    return process.map;
}

// The map's node of COMn into pszNode (nSize bytes, non-zero): 1; 0 when
// it does not fit; -1 when COMn is not mapped. pszNode is empty unless 1.
int lookUp(int32_t nCom, char* pszNode, size_t nSize)
{
    pszNode[0] = '\0';
    if (nCom < 1 || nCom > urs_kMaxMappedPorts)
        return -1;
    ProcessMap& process = processMap();
    std::lock_guard<std::mutex> guard(process.lock);
    const char* pszMapped = mapInUse(process).entries[nCom - 1].szNode;
    if (pszMapped[0] == '\0')
        return -1;
    if (strlen(pszMapped) >= nSize)
        return 0;
    gn_StrCopyN(pszNode, pszMapped, static_cast<int>(nSize));
    return 1;
}

}  // namespace

void urs_SetPortMap(const urs_PortMap* pMap)
{
    ProcessMap& process = processMap();
    std::lock_guard<std::mutex> guard(process.lock);
    process.bRead = pMap != nullptr;
    if (pMap != nullptr)
        process.map = *pMap;
}

int urs_MapComPort(int32_t nCom, char* pszNode, size_t nSize)
{
    if (pszNode == nullptr || nSize == 0)
        return 0;
    return lookUp(nCom, pszNode, nSize) == 1 ? 1 : 0;
}

int urs_ResolveComPort(uint32_t nCom, char* pszPath, size_t nSize)
{
    if (pszPath == nullptr || nSize == 0)
        return 0;
    pszPath[0] = '\0';
    if (const char* pszFolder = portsFolder()) {
        std::string path;
        std::string node;
        if (!folderEntry(pszFolder, nCom, &path, &node))
            return -1;
        if (path.size() >= nSize)
            return 0;
        gn_StrCopyN(pszPath, path.c_str(), static_cast<int>(nSize));
        return 1;
    }
    if (nCom > static_cast<uint32_t>(urs_kMaxMappedPorts))
        return -1;
    return lookUp(static_cast<int32_t>(nCom), pszPath, nSize);
}

int urs_DeviceNode(const char* pszDevice, char* pszNode, size_t nSize)
{
    if (pszNode == nullptr || nSize == 0)
        return 0;
    pszNode[0] = '\0';
    if (pszDevice == nullptr)
        return 0;
    int32_t nCom = comNumber(pszDevice);
    if (nCom != 0 && portsFolder() != nullptr) {
        std::string path;
        std::string node;
        if (!folderEntry(portsFolder(), static_cast<uint32_t>(nCom), &path, &node) || node.size() >= nSize)
            return 0;
        gn_StrCopyN(pszNode, node.c_str(), static_cast<int>(nSize));
        return 1;
    }
    if (nCom != 0)
        return urs_MapComPort(nCom, pszNode, nSize);
    return urs_ResolveDevice(pszDevice, pszNode, nSize) == 1 ? 1 : 0;
}

int32_t urs_GetPortMap(urs_PortMap* pMap)
{
    if (const char* pszFolder = portsFolder())
        return urs_ReadPortsFolder(pMap, pszFolder);
    ProcessMap& process = processMap();
    std::lock_guard<std::mutex> guard(process.lock);
    *pMap = mapInUse(process);
    return pMap->nCount;
}

// -------------------------------------------------- 4. Open failures in words

namespace {

// The name of the group that owns pszNode; empty when it cannot be told.
std::string owningGroup(const char* pszNode, gid_t* pnGroup)
{
    struct stat info;
    if (os_SysCalls().pStat(pszNode, &info) != 0)
        return "";
    *pnGroup = info.st_gid;
    group entry;
    group* pEntry = nullptr;
    std::vector<char> buffer(16384);
    if (os_SysCalls().pGetgrgidR(info.st_gid, &entry, buffer.data(), buffer.size(), &pEntry) != 0 || pEntry == nullptr)
        return std::to_string(info.st_gid);
    return pEntry->gr_name;
}

// True when the process holds the group.
bool processInGroup(gid_t nGroup)
{
    const os_SysCallTable& sys = os_SysCalls();
    if (sys.pGetegid() == nGroup)
        return true;
    int nCount = sys.pGetgroups(0, nullptr);
    if (nCount <= 0)
        return false;
    std::vector<gid_t> groups(static_cast<size_t>(nCount));
    nCount = sys.pGetgroups(nCount, groups.data());
    return nCount > 0 && std::find(groups.begin(), groups.begin() + nCount, nGroup) != groups.begin() + nCount;
}

}  // namespace

int urs_DescribeOpenError(const char* pszDevice, int nError, char* pszText, size_t nSize)
{
    if (pszText == nullptr || nSize == 0)
        return 0;
    pszText[0] = '\0';
    if (nError == 0)
        return 0;
    char szNode[os_kMaxPath];
    if (pszDevice == nullptr || !urs_DeviceNode(pszDevice, szNode, sizeof szNode))
        gn_StrCopyN(szNode, pszDevice != nullptr ? pszDevice : "", static_cast<int>(sizeof szNode));

    std::string text;
    switch (nError) {
    case EACCES:
    case EPERM: {
        gid_t nGroup = 0;
        std::string group = owningGroup(szNode, &nGroup);
        if (!group.empty() && !processInGroup(nGroup))
            text = "permission denied: you are not in the group \"" + group + "\" that owns " + szNode +
                   " (add yourself with \"sudo usermod -aG " + group + " $USER\", then log in again)";
        else
            text = std::string("permission denied: ") + szNode + " does not allow you to read and write it";
        break;
    }
    case EBUSY:
    case EAGAIN:
        text = std::string("busy: another program holds ") + szNode +
               " (ModemManager probes modems when they are plugged in)";
        break;
    case ENOENT:
    case ENXIO:
        text = std::string("missing: ") + szNode + " has no device";
        break;
    case urs_kNotMapped:
        text = "no device: no serial port has this number";
        break;
    default:
        text = std::string("cannot open ") + szNode + ": " + strerror(nError);
        break;
    }
    gn_StrCopyN(pszText, text.c_str(), static_cast<int>(nSize));
    return 1;
}
