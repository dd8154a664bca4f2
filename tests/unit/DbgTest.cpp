// The debug log: the record frame, caller text never taken as a format,
// whole records from concurrent writers, and silence when off or closed.
#include "EngineSource/dbg.h"
#include "support/Faults.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <sstream>
#include <string>
#include <thread>

namespace {

TEST(DbgTest, WritesOneFramedRecordPerCall)
{
    TempDir dir;
    ScopedLogFile log(dir.file("log.txt"));
    dbg_Log(193, "EngineSource/Urswin32", "Port opened <%s>", "COM1");
    dbg_Log(7, "x", "Port closed");
    dbg_Log(8, "x", "%s|%d", "100% %s %n %x", 5);
    std::string longArg(1000, 'a'), longFormat = std::string(300, 'f') + "%s";
    dbg_Log(9, "x", longFormat.c_str(), longArg.c_str());
    EXPECT_EQ(log.text(), "[EngineSource/Urswin32 (193)]: Port opened <COM1>\n[x (7)]: Port closed\n"
                          "[x (8)]: 100% %s %n %x|5\n[x (9)]: " + std::string(300, 'f') + longArg + "\n");
}

TEST(DbgTest, ConcurrentRecordsStayWhole)
{
    TempDir dir;
    ScopedLogFile log(dir.file("log.txt"));
    auto writer = [](char c) {
        for (int i = 0; i < 2000; ++i)
            dbg_Log(i, "t", "%s", std::string(300, c).c_str());
    };
    std::thread first(writer, 'a'), second(writer, 'b');
    first.join();
    second.join();
    std::istringstream lines(log.text());
    int nCount[2] = {0, 0};
    for (std::string line; std::getline(lines, line);) {
        std::string body = line.substr(line.find("]: ") + 3);
        ASSERT_TRUE(body == std::string(300, 'a') || body == std::string(300, 'b')) << line;
        ++nCount[body[0] - 'a'];
    }
    EXPECT_TRUE(nCount[0] == 2000 && nCount[1] == 2000);
}

TEST(DbgTest, WritesNothingWhenOffOrClosed)
{
    TempDir dir;
    {
        ScopedChdir chdir(dir.path());
        dbg_OpenLog();
        dbg_Log(1, "x", "off");
        dbg_CloseLog();
    }
    EXPECT_NE(access(dir.file("log.txt").c_str(), F_OK), 0);
    ScopedLogFile log(dir.file("log.txt"));
    dbg_Log(1, "x", "kept");
    dbg_CloseLog();
    dbg_Log(2, "x", "after close");
    EXPECT_EQ(log.text(), "[x (1)]: kept\n");
    dbg_OpenLogPath(dir.file("missing/log.txt").c_str());    // no stream
    dbg_Log(3, "x", "dropped");
    dbg_FlushLog();
}

}  // namespace
