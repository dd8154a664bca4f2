// Profile files: the accepted syntax and its limits (pfl_) and the cached
// look-ups os_GetPPS / os_GetPPint.
#include "EngineSource/ospfl.h"
#include "EngineSource/pfl.h"
#include "support/Faults.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <thread>
#include <vector>

namespace {

const char kModels[] =
    "; leading comment\r\n"
    "Orphan = before any section\r\n"
    "[Models]\r\n"
    "NumModels = 3\r\n"
    "Key = a=b\r\n"
    "Bare\r\n"
    "  ;indented comment\r\n"
    "[A] ;not a header\r\n"
    "Split = v\nHidden = w\r\n"
    "Spaced   =   padded value   \r\n"
    "[Version]\r\n"
    "Version=1.04\r\n"
    "[models]\r\n"
    "NumModels = 9\r\n"
    "Extra = only in the second\r\n"
    "\x1A" "After = ctrl-z\r\n";

// "[section]" followed by "name=value" of each of its entries, in order.
std::vector<std::string> dump(pfl_Profile* pProfile)
{
    std::vector<std::string> lines;
    ll_Iterator itSection;
    ll_CreateIterator(&itSection, &pProfile->sectionList);
    for (auto* pSection = static_cast<pfl_Section*>(ll_First(&itSection)); pSection != nullptr;
         pSection = static_cast<pfl_Section*>(ll_Next(&itSection))) {
        lines.push_back(pSection->szSectionName);
        ll_Iterator itEntry;
        ll_CreateIterator(&itEntry, &pSection->entryList);
        for (auto* pEntry = static_cast<pfl_Entry*>(ll_First(&itEntry)); pEntry != nullptr;
             pEntry = static_cast<pfl_Entry*>(ll_Next(&itEntry)))
            lines.push_back(std::string(pEntry->szEntry) + "=" + pEntry->szValue);
    }
    return lines;
}

std::string pps(const char* pszSection, const char* pszEntry, const std::string& path, int nSize = 200)
{
    std::vector<char> buffer(static_cast<size_t>(nSize));
    os_GetPPS(pszSection, pszEntry, "<default>", buffer.data(), nSize, path.c_str());
    return buffer.data();
}

TEST(ProfileTest, ParsesSectionsEntriesAndComments)
{
    TempDir dir;
    dir.write("Models.ini", kModels);
    pfl_Profile* pProfile = pfl_ReadProfile(nullptr, dir.file("Models.ini").c_str());
    EXPECT_EQ(dump(pProfile), (std::vector<std::string>{
        "[Models]", "NumModels=3", "Key=a=b", "Bare=", ";indented comment=", "[A] ;not a header=",
        "Split=v", "Spaced=padded value", "[Version]", "Version=1.04", "[models]", "NumModels=9",
        "Extra=only in the second"}));
    EXPECT_EQ(pfl_ReadProfile(pProfile, "unused"), pProfile);
    EXPECT_EQ(pfl_FreeProfile(pProfile), 1);
}

TEST(ProfileTest, CutsLongLinesNamesAndValues)
{
    TempDir dir;
    std::string longSection(60, 'S');
    std::string text = "[" + longSection + "]\r\n" + std::string(45, 'e') + " = x\r\n";
    // 150 characters: the second piece starts at the 133rd.
    text += "Long=" + std::string(127, 'v') + "Tail=" + std::string(13, 't') + "\r\n";
    dir.write("long.ini", text);
    pfl_Profile* pProfile = pfl_ReadProfile(nullptr, dir.file("long.ini").c_str());
    EXPECT_EQ(dump(pProfile), (std::vector<std::string>{
        "[" + longSection.substr(0, 38), std::string(39, 'e') + "=x", "Long=" + std::string(127, 'v'),
        "Tail=" + std::string(13, 't')}));
    char szValue[8];
    // Overlong names are compared as cut, never written past the name buffers.
    EXPECT_EQ(pfl_GetEntry(pProfile, longSection.c_str(), std::string(45, 'E').c_str(), szValue, sizeof szValue), 1);
    EXPECT_EQ(pfl_GetEntry(pProfile, std::string(300, 'Q').c_str(), "Long", szValue, sizeof szValue), 0);
    EXPECT_EQ(pfl_GetEntry(pProfile, longSection.c_str(), "long", szValue, sizeof szValue), 8);
    EXPECT_STREQ(szValue, "vvvvvvv");
    pfl_FreeProfile(pProfile);
}

TEST(ProfileTest, MissingFilesAreCreatedEmptyExistingOnesNeverTruncated)
{
    TempDir dir;
    ScopedAssertCapture asserts;
    pfl_Profile* pProfile = pfl_ReadProfile(nullptr, dir.file("new.ini").c_str());
    EXPECT_TRUE(dump(pProfile).empty());
    EXPECT_EQ(dir.read("new.ini"), "");
    EXPECT_EQ(access(dir.file("new.ini").c_str(), F_OK), 0);
    pfl_FreeProfile(pProfile);
    EXPECT_TRUE(asserts.texts().empty());

    dir.write("locked.ini", kModels);
    {
        // The file cannot be opened for reading (as without read permission).
        ScopedSysCallFault fault(ScopedSysCallFault::kOpen, 1, EACCES);
        pProfile = pfl_ReadProfile(nullptr, dir.file("locked.ini").c_str());
    }
    EXPECT_TRUE(dump(pProfile).empty());
    EXPECT_EQ(dir.read("locked.ini"), kModels);
    pfl_FreeProfile(pProfile);
    pProfile = pfl_ReadProfile(nullptr, dir.file("no/such/folder.ini").c_str());
    EXPECT_TRUE(dump(pProfile).empty());
    pfl_FreeProfile(pProfile);
    EXPECT_EQ(asserts.texts(), (std::vector<std::string>{"hFile != osfl_kInvalidHandle", "hFile != osfl_kInvalidHandle"}));
}

TEST(ProfileTest, LooksUpTheFirstSectionAndEntryWithoutCase)
{
    TempDir dir;
    dir.write("Models.ini", kModels);
    std::string path = dir.file("Models.ini");
    EXPECT_EQ(os_GetPPint("Models", "NumModels", -1, path.c_str()), 3);
    EXPECT_EQ(os_GetPPint("models", "NUMMODELS", -1, path.c_str()), 3);
    EXPECT_EQ(pps("Models", "Key", path), "a=b");
    EXPECT_EQ(pps("Models", "Bare", path), "<default>");
    EXPECT_EQ(pps("Models", "Extra", path), "<default>");
    EXPECT_EQ(pps("Models", "Hidden", path), "<default>");
    EXPECT_EQ(pps("Missing", "Key", path), "<default>");
    EXPECT_EQ(pps("Version", "Version", path), "1.04");
    EXPECT_EQ(pps("Version", "After", path), "<default>");
    char szValue[20];
    EXPECT_EQ(os_GetPPS("Models", "Extra", "", szValue, 20, path.c_str()), 0);

    dir.write("numbers.ini", "[N]\r\nhex=0x1F\r\nmixed=12abc\r\nneg=-1\r\nword=abc\r\nnone=\r\n"
                             "long=123456789012345678901234567890\r\n");
    std::string numbers = dir.file("numbers.ini");
    const std::pair<const char*, int32_t> kValues[] = {{"hex", 31}, {"mixed", 12}, {"neg", 0}, {"word", 0}, {"none", 77}, {"missing", 77}};
    for (const auto& value : kValues)
        EXPECT_EQ(os_GetPPint("N", value.first, 77, numbers.c_str()), value.second) << value.first;
    EXPECT_EQ(os_GetPPS("N", "long", "", szValue, 20, numbers.c_str()), 20);
    EXPECT_STREQ(szValue, "1234567890123456789");
}

TEST(ProfileTest, ReportsBadArguments)
{
    TempDir dir;
    dir.write("a.ini", "[S]\r\nK=v\r\n");
    std::string path = dir.file("a.ini");
    ScopedAssertCapture asserts;
    char szValue[8] = "x";
    EXPECT_EQ(pfl_GetEntry(os_GetReadProfile(path.c_str()), "[S]", "K", szValue, 8), 0);
    EXPECT_EQ(pfl_GetEntry(nullptr, "S", nullptr, szValue, 8), 0);
    EXPECT_EQ(os_GetPPS("S", "K", nullptr, szValue, 0, path.c_str()), 0);
    EXPECT_EQ(os_GetPPint("S", "K", 5, nullptr), 5);
    EXPECT_EQ(pps("S", std::string(os_kMaxPath, 'p').c_str(), std::string(os_kMaxPath, 'p')), "<default>");
    EXPECT_EQ(asserts.texts(), (std::vector<std::string>{"!pfl_mIsaSection (pszSection)", "pszEntry", "pProfileList",
                                                         "pszDefault", "nSize > 0", "pszFilePath"}));
    os_FreeReadProfile(path.c_str());
}

TEST(ProfileCacheTest, ReadsAFileOnceUntilFreedWhateverTheCase)
{
    TempDir dir;
    dir.write("Cache.ini", "[S]\r\nK=old\r\n");
    std::string path = dir.file("Cache.ini");
    std::string upper = dir.path() + "/CACHE.INI";
    EXPECT_EQ(os_FindReadProfile(path.c_str()), nullptr);
    EXPECT_EQ(pps("S", "K", path), "old");
    dir.write("Cache.ini", "[S]\r\nK=new\r\n");
    EXPECT_EQ(pps("S", "K", upper), "old");
    EXPECT_NE(access(upper.c_str(), F_OK), 0);    // served from the cache
    os_InitReadProfiles();
    os_InitReadProfiles();
    EXPECT_EQ(os_FindReadProfile(upper.c_str()), os_GetReadProfile(path.c_str()));
    os_FreeReadProfile(upper.c_str());
    EXPECT_EQ(os_FindReadProfile(path.c_str()), nullptr);
    os_FreeReadProfile(upper.c_str());
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
    std::thread first(reader);
    std::thread second(reader);
    first.join();
    second.join();
    os_FreeReadProfile(path.c_str());
}

}  // namespace
