// The runtime services the engine writes its trace and reads its
// configuration through, one division per area:
//   1. The debug log: the record frame, caller text never taken as a
//      format, whole records from concurrent writers, silence when off or
//      closed.
//   2. Lists: inserts with no current link, concurrent appends and the
//      precondition reports.
//   3. Profile files: the accepted syntax and its limits (pfl_) and the
//      cached look-ups os_GetPPS / os_GetPPint.
#include "EngineSource/dbg.h"
#include "EngineSource/ll.h"
#include "EngineSource/ospfl.h"
#include "EngineSource/pfl.h"
#include "support/Faults.h"
#include "support/SysCallFaults.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

// -------------------------------------------------- 1. The debug log


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
    EXPECT_EQ(nCount[0], 2000);
    EXPECT_EQ(nCount[1], 2000);
}

TEST(DbgTest, WritesOneFramedRecordPerCallAndNothingWhenOffOrClosed)
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
    dbg_Log(193, "EngineSource/Urswin32", "Port opened <%s>", "COM1");
    dbg_Log(8, "x", "%s|%d", "100% %s %n %x", 5);
    std::string longArg(1000, 'a'), longFormat = std::string(300, 'f') + "%s";
    dbg_Log(9, "x", longFormat.c_str(), longArg.c_str());
    dbg_CloseLog();
    dbg_Log(2, "x", "after close");
    EXPECT_EQ(log.text(), "[EngineSource/Urswin32 (193)]: Port opened <COM1>\n[x (8)]: 100% %s %n %x|5\n[x (9)]: " +
                              std::string(300, 'f') + longArg + "\n");
}

// A log file that cannot be cut to empty, or not put behind a stream once
// cut, stays closed: nothing is written to it.
TEST(DbgTest, StaysClosedWhenTheFileCannotBeReplaced)
{
    const std::pair<SysCall, const char*> cases[] = {{SysCall::kFtruncate, "old\n"}, {SysCall::kFopen, ""}};
    for (const auto& [eCall, pszLeft] : cases) {
        TempDir dir;
        dir.write("log.txt", "old\n");
        {
            SysCallFaults faults;
            faults.fail(eCall, 1, EIO);
            ScopedLogFile log(dir.file("log.txt"));
            dbg_Log(1, "x", "lost");
            dbg_CloseLog();
            EXPECT_EQ(faults.count(eCall), 1);
        }
        EXPECT_EQ(dir.read("log.txt"), pszLeft);
    }
}

// ---------------------------------------------------------- 2. Lists

void* insert(ll_Iterator* pIt, int nType, int n) { return ll_Insert(pIt, nType, &n, sizeof n); }

// The values walked forwards, once the backward links, the tail, the count
// and bInLock have been checked against the walk.
std::vector<int> walk(ll_List* pList)
{
    std::vector<int> values;
    ll_Iterator it;
    ll_CreateIterator(&it, pList);
    ll_Link* pPrev = nullptr;
    for (void* p = ll_First(&it); p != nullptr; pPrev = it.pCurrent, p = ll_Next(&it)) {
        EXPECT_EQ(it.pCurrent->pPrev, pPrev);
        values.push_back(*static_cast<int*>(p));
    }
    EXPECT_TRUE(pList->pTail == pPrev && pList->nCount == static_cast<int32_t>(values.size()) && pList->bInLock == 0);
    return values;
}

class ListTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ll_CreateList(&m_list, ll_kDataList);
        ll_CreateIterator(&m_it, &m_list);
    }
    void TearDown() override { ll_DestroyList(&m_list); }
    ll_List m_list;
    ll_Iterator m_it;
};

TEST_F(ListTest, InsertingWithoutACurrentLinkKeepsEveryLinkAndReportsIt)
{
    for (int n : {1, 2})
        ll_AddTail(&m_list, &n, sizeof n);    // a copy, never the loop's variable
    ScopedAssertCapture asserts;
    // An iterator without a link on a list that has links meanwhile adds at
    // the named end instead of dropping them.
    m_it.pCurrent = nullptr;
    insert(&m_it, ll_kAfter, 3);
    insert(&m_it, ll_kBefore, 0);
    EXPECT_EQ(walk(&m_list), (std::vector<int>{0, 1, 2, 3}));
    int n = 1;
    ll_AddTail(nullptr, &n, sizeof n);
    ll_DeleteCurrent(nullptr);
    EXPECT_EQ(asserts.texts(), (std::vector<std::string>{"ll_IsEmpty( pIt->pList )", "ll_IsEmpty( pIt->pList )",
                                                         "pList != NULL", "pIt != NULL"}));
}

TEST_F(ListTest, DeletingMovesToTheFollowingLinkOrElseThePrecedingOne)
{
    struct Case {
        int nLinks;          // list 1..nLinks
        int nSteps;          // ll_Next calls after ll_First (past the end stays on the last)
        int nNewCurrent;     // data of the new current link; 0 when the list became empty
        std::vector<int> left;
    };
    const Case kCases[] = {
        {4, 0, 2, {2, 3, 4}},
        {4, 1, 3, {1, 3, 4}},
        {4, 3, 3, {1, 2, 3}},
        {4, 4, 3, {1, 2, 3}},
        {1, 0, 0, {}},
    };
    for (const Case& test : kCases) {
        SCOPED_TRACE(std::to_string(test.nLinks) + " links, " + std::to_string(test.nSteps) + " steps");
        ll_DestroyList(&m_list);
        ll_CreateList(&m_list, ll_kDataList);
        for (int n = 1; n <= test.nLinks; ++n)
            ll_AddTail(&m_list, &n, sizeof n);
        ll_First(&m_it);
        for (int nStep = 0; nStep < test.nSteps; ++nStep)
            ll_Next(&m_it);
        void* pNew = ll_DeleteCurrent(&m_it);
        EXPECT_EQ(pNew != nullptr ? *static_cast<int*>(pNew) : 0, test.nNewCurrent);
        // The iterator stands there: the next step goes on from it.
        auto nextOf = std::find(test.left.begin(), test.left.end(), test.nNewCurrent);
        int nAfter = nextOf != test.left.end() && nextOf + 1 != test.left.end() ? nextOf[1] : 0;
        void* pAfter = ll_Next(&m_it);
        EXPECT_EQ(pAfter != nullptr ? *static_cast<int*>(pAfter) : 0, nAfter);
        EXPECT_EQ(walk(&m_list), test.left);
    }
}

TEST_F(ListTest, ConcurrentAppendsKeepTheLinksWhole)
{
    auto append = [this] {
        for (int n = 0; n < 1000; ++n)
            ll_AddTail(&m_list, &n, sizeof n);
    };
    std::thread first(append), second(append);
    first.join();
    second.join();
    EXPECT_EQ(walk(&m_list).size(), 2000u);
}

// -------------------------------------------------- 3. Profile files

const char kModels[] =
    "; leading comment\r\nOrphan = before any section\r\n[Models]\r\nNumModels = 3\r\nKey = a=b\r\nBare\r\n"
    "  ;indented comment\r\n[A] ;not a header\r\nSplit = v\nHidden = w\r\nSpaced   =   padded value   \r\n"
    "[Version]\r\nVersion=1.04\r\n[models]\r\nNumModels = 9\r\nExtra = second\r\n\x1A" "After = end\r\n";

// The file parsed: each "[section]" followed by its "name=value" entries.
std::vector<std::string> parse(const std::string& path)
{
    std::vector<std::string> lines;
    pfl_Profile* pProfile = pfl_ReadProfile(nullptr, path.c_str());
    ll_Iterator itSection, itEntry;
    ll_CreateIterator(&itSection, &pProfile->sectionList);
    for (auto* pSection = static_cast<pfl_Section*>(ll_First(&itSection)); pSection != nullptr;
         pSection = static_cast<pfl_Section*>(ll_Next(&itSection))) {
        lines.push_back(pSection->szSectionName);
        ll_CreateIterator(&itEntry, &pSection->entryList);
        for (auto* pEntry = static_cast<pfl_Entry*>(ll_First(&itEntry)); pEntry != nullptr;
             pEntry = static_cast<pfl_Entry*>(ll_Next(&itEntry)))
            lines.push_back(std::string(pEntry->szEntry) + "=" + pEntry->szValue);
    }
    EXPECT_EQ(pfl_ReadProfile(pProfile, "unused"), pProfile);
    EXPECT_EQ(pfl_FreeProfile(pProfile), 1);
    return lines;
}

std::string pps(const char* pszSection, const char* pszEntry, const std::string& path)
{
    char szValue[200];
    os_GetPPS(pszSection, pszEntry, "<default>", szValue, sizeof szValue, path.c_str());
    return szValue;
}

TEST(ProfileTest, ParsesSectionsEntriesCommentsAndLimitsAndLooksUpWithoutCase)
{
    TempDir dir;
    dir.write("Models.ini", kModels);
    const std::string path = dir.file("Models.ini");
    // The first section and entry of a name count.
    EXPECT_EQ(os_GetPPint("models", "NUMMODELS", -1, path.c_str()), 3);
    EXPECT_EQ(pps("Models", "Key", path), "a=b");
    EXPECT_EQ(pps("Models", "Hidden", path), "w");
    for (const char* pszMissing : {"Bare", "Extra", "After"})
        EXPECT_EQ(pps("Models", pszMissing, path), "<default>") << pszMissing;
    EXPECT_EQ(parse(dir.file("Models.ini")), (std::vector<std::string>{
        "[Models]", "NumModels=3", "Key=a=b", "Bare=", ";indented comment=", "[A] ;not a header=", "Split=v",
        "Hidden=w", "Spaced=padded value", "[Version]", "Version=1.04", "[models]", "NumModels=9", "Extra=second"}));
    // The same profile with LF line ends reads the same.
    std::string lf = kModels;
    for (size_t n = lf.find("\r\n"); n != std::string::npos; n = lf.find("\r\n", n))
        lf.erase(n, 1);
    dir.write("lf.ini", lf);
    EXPECT_EQ(parse(dir.file("lf.ini")), parse(dir.file("Models.ini")));
    // A line of 150 characters goes on at its 133rd as a line of its own.
    dir.write("long.ini", "[" + std::string(60, 'S') + "]\r\n" + std::string(45, 'e') + " = x\r\nLong=" +
                              std::string(127, 'v') + "Tail=" + std::string(13, 't') + "\r\n");
    EXPECT_EQ(parse(dir.file("long.ini")), (std::vector<std::string>{
        "[" + std::string(38, 'S'), std::string(39, 'e') + "=x", "Long=" + std::string(127, 'v'), "Tail=" + std::string(13, 't')}));
    // Overlong names are compared as cut, never written past the name buffers.
    EXPECT_EQ(pps(std::string(60, 'S').c_str(), std::string(45, 'E').c_str(), dir.file("long.ini")), "x");
    EXPECT_EQ(pps(std::string(300, 'Q').c_str(), "Long", dir.file("long.ini")), "<default>");
    // Numbers, and values cut to the caller's buffer.
    dir.write("n.ini", "[N]\r\nhex=0x1F\r\nword=abc\r\nnone=\r\nlong=123456789012345678901234567890\r\n");
    std::string numbers = dir.file("n.ini");
    for (auto value : {std::make_pair("hex", 31), {"word", 0}, {"none", 77}, {"missing", 77}})
        EXPECT_EQ(os_GetPPint("N", value.first, 77, numbers.c_str()), value.second) << value.first;
    char szValue[20];
    EXPECT_EQ(os_GetPPS("N", "long", "", szValue, 20, numbers.c_str()), 20);
    EXPECT_STREQ(szValue, "1234567890123456789");
}

TEST(ProfileTest, MissingFilesAreCreatedEmptyExistingOnesNeverTruncated)
{
    TempDir dir;
    ScopedAssertCapture asserts;
    EXPECT_TRUE(parse(dir.file("new.ini")).empty());
    EXPECT_EQ(access(dir.file("new.ini").c_str(), F_OK), 0);
    EXPECT_TRUE(asserts.texts().empty());
    dir.write("locked.ini", kModels);
    {
        // Opening for reading fails, as without read permission.
        SysCallFaults faults;
        faults.fail(SysCall::kOpen, 1, EACCES);
        EXPECT_TRUE(parse(dir.file("locked.ini")).empty());
    }
    EXPECT_EQ(dir.read("locked.ini"), kModels);
    EXPECT_TRUE(parse(dir.file("no/folder.ini")).empty());
    EXPECT_EQ(asserts.texts(), (std::vector<std::string>(2, "hFile != osfl_kInvalidHandle")));
}

TEST(ProfileTest, ReportsBadArguments)
{
    TempDir dir;
    std::string path = dir.file("a.ini");
    ScopedAssertCapture asserts;
    char szValue[8] = "x";
    EXPECT_EQ(pfl_GetEntry(os_GetReadProfile(path.c_str()), "[S]", "K", szValue, 8), 0);
    EXPECT_EQ(pfl_GetEntry(nullptr, "S", nullptr, szValue, 8), 0);
    EXPECT_EQ(os_GetPPS("S", "K", nullptr, szValue, 0, path.c_str()), 0);
    EXPECT_EQ(os_GetPPint("S", "K", 5, nullptr), 5);
    EXPECT_EQ(pps("S", "K", std::string(os_kMaxPath, 'p')), "<default>");
    EXPECT_EQ(asserts.texts(), (std::vector<std::string>{
        "!pfl_mIsaSection (pszSection)", "pszEntry", "pProfileList", "pszDefault", "nSize > 0", "pszFilePath"}));
    os_FreeReadProfile(path.c_str());
}

TEST(ProfileCacheTest, ReadsAFileOnceUntilFreedWhateverTheCase)
{
    TempDir dir;
    dir.write("Cache.ini", "[S]\r\nK=old\r\n");
    std::string path = dir.file("Cache.ini"), upper = dir.path() + "/CACHE.INI";
    EXPECT_EQ(os_FindReadProfile(path.c_str()), nullptr);
    EXPECT_EQ(pps("S", "K", path), "old");
    dir.write("Cache.ini", "[S]\r\nK=new\r\n");
    EXPECT_EQ(pps("S", "K", upper), "old");
    EXPECT_NE(access(upper.c_str(), F_OK), 0);    // served from the cache
    os_InitReadProfiles();    // harmless once made
    EXPECT_EQ(os_FindReadProfile(upper.c_str()), os_GetReadProfile(path.c_str()));
    os_FreeReadProfile(upper.c_str());
    EXPECT_EQ(os_FindReadProfile(path.c_str()), nullptr);
    EXPECT_EQ(pps("S", "K", path), "new");
    os_FreeReadProfile(path.c_str());
}

TEST(ProfileCacheTest, LookupsAndFreesFromSeveralThreads)
{
    TempDir dir;
    dir.write("Shared.ini", "[S]\r\nK=value\r\n");
    std::string path = dir.file("Shared.ini");
    auto reader = [&path] {
        for (int i = 0; i < 300; ++i) {
            ASSERT_EQ(pps("S", "K", path), "value");
            if (i % 3 == 0)
                os_FreeReadProfile(path.c_str());
        }
    };
    std::thread first(reader), second(reader);
    first.join();
    second.join();
    os_FreeReadProfile(path.c_str());
}

}  // namespace
