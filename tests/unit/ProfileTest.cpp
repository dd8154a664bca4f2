// Profile files: the accepted syntax and its limits (pfl_) and the cached
// look-ups os_GetPPS / os_GetPPint.
#include "EngineSource/ospfl.h"
#include "EngineSource/pfl.h"
#include "support/Faults.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>
#include <vector>

namespace {

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

TEST(ProfileTest, ParsesSectionsEntriesCommentsAndLimits)
{
    TempDir dir;
    dir.write("Models.ini", kModels);
    EXPECT_EQ(parse(dir.file("Models.ini")), (std::vector<std::string>{
        "[Models]", "NumModels=3", "Key=a=b", "Bare=", ";indented comment=", "[A] ;not a header=", "Split=v",
        "Spaced=padded value", "[Version]", "Version=1.04", "[models]", "NumModels=9", "Extra=second"}));
    // A line of 150 characters goes on at its 133rd as a line of its own.
    dir.write("long.ini", "[" + std::string(60, 'S') + "]\r\n" + std::string(45, 'e') + " = x\r\nLong=" +
                              std::string(127, 'v') + "Tail=" + std::string(13, 't') + "\r\n");
    EXPECT_EQ(parse(dir.file("long.ini")), (std::vector<std::string>{
        "[" + std::string(38, 'S'), std::string(39, 'e') + "=x", "Long=" + std::string(127, 'v'), "Tail=" + std::string(13, 't')}));
    // Overlong names are compared as cut, never written past the name buffers.
    EXPECT_EQ(pps(std::string(60, 'S').c_str(), std::string(45, 'E').c_str(), dir.file("long.ini")), "x");
    EXPECT_EQ(pps(std::string(300, 'Q').c_str(), "Long", dir.file("long.ini")), "<default>");
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
        ScopedSysCallFault fault(ScopedSysCallFault::kOpen, 1, EACCES);
        EXPECT_TRUE(parse(dir.file("locked.ini")).empty());
    }
    EXPECT_EQ(dir.read("locked.ini"), kModels);
    EXPECT_TRUE(parse(dir.file("no/folder.ini")).empty());
    EXPECT_EQ(asserts.texts(), (std::vector<std::string>(2, "hFile != osfl_kInvalidHandle")));
}

TEST(ProfileTest, LooksUpTheFirstSectionAndEntryWithoutCase)
{
    TempDir dir;
    dir.write("Models.ini", kModels);
    std::string path = dir.file("Models.ini");
    EXPECT_EQ(os_GetPPint("Models", "NumModels", -1, path.c_str()), 3);
    EXPECT_EQ(os_GetPPint("models", "NUMMODELS", -1, path.c_str()), 3);
    EXPECT_EQ(pps("Models", "Key", path), "a=b");
    EXPECT_EQ(pps("Version", "Version", path), "1.04");
    for (const char* pszMissing : {"Bare", "Extra", "Hidden", "After"})
        EXPECT_EQ(pps("Models", pszMissing, path), "<default>") << pszMissing;
    dir.write("n.ini", "[N]\r\nhex=0x1F\r\nmixed=12abc\r\nneg=-1\r\nword=abc\r\nnone=\r\nlong=123456789012345678901234567890\r\n");
    std::string numbers = dir.file("n.ini");
    for (auto value : {std::make_pair("hex", 31), {"mixed", 12}, {"neg", 0}, {"word", 0}, {"none", 77}, {"missing", 77}})
        EXPECT_EQ(os_GetPPint("N", value.first, 77, numbers.c_str()), value.second) << value.first;
    char szValue[20];
    EXPECT_EQ(os_GetPPS("N", "long", "", szValue, 20, numbers.c_str()), 20);
    EXPECT_STREQ(szValue, "1234567890123456789");
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
