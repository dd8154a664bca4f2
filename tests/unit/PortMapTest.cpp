// The port map: which device node each COMn stands for, read from fake /sys
// and /dev trees; how the serial layer resolves COMn with it and with a
// ports folder; an unmapped COMn identified as "no device" without an open;
// open failures in words.
#include "EngineSource/UrsPortMap.h"
#include "EngineSource/Urswin32.h"
#include "EngineSource/devid.h"
#include "support/SysCallFaults.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

// A fake machine: /sys/class/tty entries and /dev/serial links below a
// temporary root.
class FakeTree {
public:
    FakeTree()
    {
        for (const char* pszFolder : {"/sys", "/sys/class", "/sys/class/tty", "/dev", "/dev/serial",
                                      "/dev/serial/by-path", "/dev/serial/by-id"})
            mkdir((m_dir.path() + pszFolder).c_str(), 0755);
    }
    const std::string& root() const { return m_dir.path(); }

    // A built-in port ttyS<n> whose UART type the kernel reports (0: none).
    void builtIn(int n, int nType) const
    {
        std::string folder = "/sys/class/tty/ttyS" + std::to_string(n);
        mkdir((root() + folder).c_str(), 0755);
        m_dir.write(folder.substr(1) + "/type", std::to_string(nType) + "\n");
    }
    // A USB or ACM port that udev linked in by-path (and by-id when given).
    void linked(const std::string& kernelName, const std::string& byPath, const std::string& byId = "") const
    {
        mkdir((root() + "/sys/class/tty/" + kernelName).c_str(), 0755);
        symlink(("../../" + kernelName).c_str(), (root() + "/dev/serial/by-path/" + byPath).c_str());
        if (!byId.empty())
            symlink(("../../" + kernelName).c_str(), (root() + "/dev/serial/by-id/" + byId).c_str());
    }
    // A USB or ACM port without udev links; its /sys entry points into the
    // device tree at devicePath.
    void unlinked(const std::string& kernelName, const std::string& devicePath) const
    {
        symlink(devicePath.c_str(), (root() + "/sys/class/tty/" + kernelName).c_str());
    }

private:
    TempDir m_dir;
};

typedef std::vector<std::pair<std::string, std::string>> Rows;

// COMn's node below the root and its place, one row per mapped port.
Rows readMap(const FakeTree& tree)
{
    std::unique_ptr<urs_PortMap> pMap(new urs_PortMap);
    urs_ReadPortMap(pMap.get(), tree.root().c_str());
    Rows rows;
    for (int32_t n = 0; n < pMap->nCount; ++n) {
        std::string node = pMap->entries[n].szNode;
        EXPECT_EQ(node.compare(0, tree.root().size(), tree.root()), 0) << node;
        rows.emplace_back(node.substr(tree.root().size()), pMap->entries[n].szPlace);
    }
    return rows;
}

const char kHub[] = "pci-0000:00:14.0-usb-0:1.";

// A hub of USB adapters and an ACM modem on sockets 1.2, 1.3 and 1.10, a
// second name of socket 1.2 (newer udev links "usbv2" too), phantom ttyS
// entries besides two real UARTs, and an adapter udev did not link.
void buildBench(const FakeTree& tree)
{
    for (int n = 0; n < 32; ++n)
        tree.builtIn(n, n == 0 || n == 10 ? 4 : 0);
    tree.linked("ttyUSB0", std::string(kHub) + "10:1.0-port0", "usb-FTDI_FT232R_A10-if00-port0");
    tree.linked("ttyUSB1", std::string(kHub) + "2:1.0-port0");
    symlink("../../ttyUSB1", (tree.root() + "/dev/serial/by-path/pci-0000:00:14.0-usbv2-0:1.2:1.0-port0").c_str());
    tree.linked("ttyACM0", std::string(kHub) + "3:1.0");
    tree.unlinked("ttyUSB5", "../../devices/pci0000:00/0000:00:1d.0/usb2/2-1/2-1:1.0/ttyUSB5/tty/ttyUSB5");
}

TEST(PortMap, BuiltInUartsFirstThenUsbAndAcmByPlace)
{
    FakeTree tree;
    buildBench(tree);
    Rows expected = {
        {"/dev/ttyS0", ""},
        {"/dev/ttyS10", ""},
        {"/dev/ttyUSB1", std::string(kHub) + "2:1.0-port0"},
        {"/dev/ttyACM0", std::string(kHub) + "3:1.0"},
        {"/dev/ttyUSB0", std::string(kHub) + "10:1.0-port0"},
        {"/dev/ttyUSB5", ""},
    };
    EXPECT_EQ(readMap(tree), expected);
}

TEST(PortMap, SocketsKeepTheirNumbersWhateverThePlugOrderAndWhenAPortIsAdded)
{
    // The same sockets, plugged in the other order: the kernel names swap,
    // the COM numbers stay with the sockets.
    FakeTree first;
    first.linked("ttyUSB0", std::string(kHub) + "2:1.0-port0");
    first.linked("ttyUSB1", std::string(kHub) + "4:1.0-port0");
    FakeTree swapped;
    swapped.linked("ttyUSB1", std::string(kHub) + "2:1.0-port0");
    swapped.linked("ttyUSB0", std::string(kHub) + "4:1.0-port0");
    Rows a = readMap(first);
    Rows b = readMap(swapped);
    ASSERT_EQ(a.size(), 2u);
    ASSERT_EQ(b.size(), 2u);
    for (size_t n = 0; n < a.size(); ++n)
        EXPECT_EQ(a[n].second, b[n].second);
    EXPECT_EQ(b[0].first, "/dev/ttyUSB1");

    // An adapter added on a later socket takes the next number.
    first.linked("ttyUSB2", std::string(kHub) + "7:1.0-port0");
    Rows added = readMap(first);
    ASSERT_EQ(added.size(), 3u);
    EXPECT_EQ(Rows(added.begin(), added.begin() + 2), a);
    EXPECT_EQ(added[2].first, "/dev/ttyUSB2");
}

TEST(PortMap, AtMost36PortsAndNoneOnAMachineWithout)
{
    FakeTree many;
    for (int n = 0; n < 30; ++n)
        many.builtIn(n, 4);
    for (int n = 0; n < 10; ++n)
        many.linked("ttyUSB" + std::to_string(n), std::string(kHub) + std::to_string(n + 1) + ":1.0-port0");
    Rows rows = readMap(many);
    ASSERT_EQ(rows.size(), 36u);
    EXPECT_EQ(rows[29].first, "/dev/ttyS29");
    EXPECT_EQ(rows[35].first, "/dev/ttyUSB5");

    FakeTree phantoms;
    for (int n = 0; n < 4; ++n)
        phantoms.builtIn(n, 0);
    EXPECT_TRUE(readMap(phantoms).empty());
    TempDir bare;
    urs_PortMap map;
    EXPECT_EQ(urs_ReadPortMap(&map, bare.path().c_str()), 0);
}

// The bench's map in use and a ports folder that links COM2 to /dev/pts/7
// and COM30 to pts9 beside it; the process's map and NORVANE_PORTS are put
// back at the end.
class MapInUse : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* pszPorts = getenv("NORVANE_PORTS");
        m_bHadPorts = pszPorts != nullptr;
        m_savedPorts = m_bHadPorts ? pszPorts : "";
        unsetenv("NORVANE_PORTS");
        buildBench(m_tree);
        std::unique_ptr<urs_PortMap> pMap(new urs_PortMap);
        urs_ReadPortMap(pMap.get(), m_tree.root().c_str());
        urs_SetPortMap(pMap.get());
        symlink("/dev/pts/7", m_folder.file("COM2").c_str());
        symlink("pts9", m_folder.file("COM30").c_str());
    }
    void TearDown() override
    {
        urs_SetPortMap(nullptr);
        m_bHadPorts ? setenv("NORVANE_PORTS", m_savedPorts.c_str(), 1) : unsetenv("NORVANE_PORTS");
    }

    FakeTree m_tree;
    TempDir m_folder;

private:
    bool m_bHadPorts = false;
    std::string m_savedPorts;
};

TEST_F(MapInUse, ComNamesResolveThroughTheMapOrThePortsFolder)
{
    const std::string root = m_tree.root(), folder = m_folder.path();
    // The ports folder (none when null), the name, the result, the path.
    struct Row {
        const char* pszFolder;
        const char* pszName;
        int nResult;
        std::string path;
    };
    const Row kRows[] = {
        {nullptr, "\\\\.\\COM1", 1, root + "/dev/ttyS0"},
        {nullptr, "\\\\.\\com3", 1, root + "/dev/ttyUSB1"},
        {nullptr, "COM6", 1, root + "/dev/ttyUSB5"},
        {nullptr, "\\\\.\\COM7", -1, ""},
        {nullptr, "\\\\.\\COM36", -1, ""},
        {nullptr, "\\\\.\\COM37", 1, "/dev/COM37"},
        {nullptr, "\\\\.\\COM0", 1, "/dev/COM0"},
        {nullptr, "\\\\.\\/dev/serial/by-id/usb-modem", 1, "/dev/serial/by-id/usb-modem"},
        {nullptr, "\\\\.\\ttyACM0", 1, "/dev/ttyACM0"},
        {"", "\\\\.\\COM1", 1, root + "/dev/ttyS0"},
        {folder.c_str(), "\\\\.\\COM2", 1, m_folder.file("COM2")},
        {folder.c_str(), "\\\\.\\com30", 1, m_folder.file("COM30")},
        {folder.c_str(), "\\\\.\\COM1", -1, ""},
        {folder.c_str(), "\\\\.\\COMX", 1, "/dev/COMX"},
    };
    char szPath[256];
    for (const Row& row : kRows) {
        row.pszFolder != nullptr ? setenv("NORVANE_PORTS", row.pszFolder, 1) : unsetenv("NORVANE_PORTS");
        EXPECT_EQ(urs_ResolveDevice(row.pszName, szPath, sizeof szPath), row.nResult) << row.pszName;
        EXPECT_EQ(szPath, row.path) << row.pszName;
    }
    unsetenv("NORVANE_PORTS");
    EXPECT_EQ(urs_ResolveDevice("\\\\.\\COM1", szPath, root.size() + 5), 0);
    EXPECT_STREQ(szPath, "");
}

TEST_F(MapInUse, DeviceNodesAndTheMapInUseFollowThePortsFolderWhenThereIsOne)
{
    char szNode[256];
    EXPECT_EQ(urs_DeviceNode("\\\\.\\COM4", szNode, sizeof szNode), 1);
    EXPECT_EQ(szNode, m_tree.root() + "/dev/ttyACM0");
    EXPECT_EQ(urs_DeviceNode("\\\\.\\COM9", szNode, sizeof szNode), 0);
    urs_PortMap map;
    EXPECT_EQ(urs_GetPortMap(&map), 6);

    setenv("NORVANE_PORTS", m_folder.path().c_str(), 1);
    EXPECT_EQ(urs_DeviceNode("\\\\.\\COM2", szNode, sizeof szNode), 1);
    EXPECT_STREQ(szNode, "/dev/pts/7");
    EXPECT_EQ(urs_DeviceNode("COM30", szNode, sizeof szNode), 1);
    EXPECT_EQ(szNode, m_folder.file("pts9"));
    EXPECT_EQ(urs_DeviceNode("\\\\.\\COM4", szNode, sizeof szNode), 0);
    EXPECT_EQ(urs_DeviceNode("\\\\.\\/dev/ttyUSB0", szNode, sizeof szNode), 1);
    EXPECT_STREQ(szNode, "/dev/ttyUSB0");

    ASSERT_EQ(urs_GetPortMap(&map), 2);
    EXPECT_STREQ(map.entries[1].szNode, "/dev/pts/7");
    EXPECT_EQ(map.entries[1].szPlace, m_folder.file("COM2"));
    EXPECT_EQ(map.entries[29].szNode, m_folder.file("pts9"));
    EXPECT_STREQ(map.entries[0].szNode, "");
}

TEST_F(MapInUse, AnUnmappedComPortIsNoDeviceWithoutAnyOpen)
{
    SysCallFaults calls;
    devid_DeviceInfo info = {};
    EXPECT_EQ(devid_Identify(&info, "\\\\.\\COM7", nullptr, nullptr), 1);
    EXPECT_EQ(info.nOpenError, urs_kNotMapped);
    EXPECT_EQ(calls.count(SysCall::kOpen), 0);

    // A mapped port whose node is gone is opened, and fails as missing.
    EXPECT_EQ(devid_Identify(&info, "\\\\.\\COM1", nullptr, nullptr), 1);
    EXPECT_EQ(info.nOpenError, ENOENT);
    EXPECT_EQ(calls.count(SysCall::kOpen), 1);
}

TEST(PortMapOpenError, ReasonsInWords)
{
    TempDir dir;
    dir.write("node", "");
    std::string node = dir.file("node");
    std::string device = "\\\\.\\" + node;
    // The error code, the start of the text.
    const std::pair<int, std::string> kRows[] = {
        {EBUSY, "busy: another program holds " + node + " (ModemManager probes modems"},
        {EAGAIN, "busy: another program holds " + node},
        {ENOENT, "missing: " + node + " has no device"},
        {ENXIO, "missing: " + node},
        {urs_kNotMapped, "no device: no serial port has this number"},
        {EIO, "cannot open " + node + ": Input/output error"},
    };
    char szText[1024];
    for (const auto& row : kRows) {
        EXPECT_EQ(urs_DescribeOpenError(device.c_str(), row.first, szText, sizeof szText), 1);
        EXPECT_EQ(std::string(szText).compare(0, row.second.size(), row.second), 0) << szText;
    }
    EXPECT_EQ(urs_DescribeOpenError(device.c_str(), 0, szText, sizeof szText), 0);
    EXPECT_STREQ(szText, "");
    EXPECT_EQ(urs_DescribeOpenError(device.c_str(), EBUSY, szText, 10), 1);
    EXPECT_STREQ(szText, "busy: ano");
}

TEST(PortMapOpenError, PermissionDeniedNamesTheGroupTheUserLacks)
{
    const group* pDialout = getgrnam("dialout");
    if (geteuid() != 0 || pDialout == nullptr)
        GTEST_SKIP() << "needs root (to give a file to a group) and a dialout group";
    TempDir dir;
    dir.write("ttyUSB0", "");
    std::string node = dir.file("ttyUSB0");
    ASSERT_EQ(chown(node.c_str(), static_cast<uid_t>(-1), pDialout->gr_gid), 0);
    char szText[1024];
    urs_DescribeOpenError(node.c_str(), EACCES, szText, sizeof szText);
    EXPECT_EQ(std::string(szText), "permission denied: you are not in the group \"dialout\" that owns " + node +
                                       " (add yourself with \"sudo usermod -aG dialout $USER\", then log in again)");
    // A node of the user's own group: no group to name.
    ASSERT_EQ(chown(node.c_str(), static_cast<uid_t>(-1), getegid()), 0);
    urs_DescribeOpenError(node.c_str(), EPERM, szText, sizeof szText);
    EXPECT_EQ(std::string(szText), "permission denied: " + node + " does not allow you to read and write it");
}

}  // namespace
