// Directory search: case-insensitive patterns, a case-insensitive total
// order, real names, folders marked, and the folder/pattern joining rule.
#include "EngineSource/OSWIN32.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

// "name" for files, "name/" for folders, in the order found.
std::vector<std::string> search(const char* pszDirectory, const char* pszPattern)
{
    std::vector<std::string> hits;
    os_FindRecord find;
    for (int bFound = os_FindFirst(pszDirectory, pszPattern, &find); bFound; bFound = os_FindNext(&find)) {
        char szName[os_kFindNameSize];
        os_FindName(szName, &find);
        hits.push_back(std::string(szName) + ((os_FindAttributes(&find) & os_kAttrDirectory) ? "/" : ""));
    }
    os_FindClose(&find);
    return hits;
}

TEST(FindTest, MatchesAndSortsWithoutCaseMarksFoldersAndJoinsWithOneSeparator)
{
    TempDir dir;
    for (const char* pszName : {"Zeta.hex", "alpha.hex", "ALPHA.hex", "abgb1234.HEX", "beta.txt", "noext"})
        dir.write(pszName, "");
    mkdir(dir.file("sub.hex").c_str(), 0700);
    symlink("sub.hex", dir.file("link.HEX").c_str());
    dir.write("sub.hex/inner.txt", "");
    const char* pszDir = dir.path().c_str();
    EXPECT_EQ(search(pszDir, "*"), (std::vector<std::string>{"abgb1234.HEX", "ALPHA.hex", "alpha.hex", "beta.txt",
                                                             "link.HEX/", "noext", "sub.hex/", "Zeta.hex"}));
    EXPECT_EQ(search(pszDir, "?ETA.*"), (std::vector<std::string>{"beta.txt", "Zeta.hex"}));
    EXPECT_EQ(search(pszDir, "a*b*.hex"), (std::vector<std::string>{"abgb1234.HEX"}));
    EXPECT_TRUE(search(pszDir, "*.bin").empty());
    EXPECT_TRUE(search(dir.file("missing").c_str(), "*").empty());

    const std::vector<std::string> expected = {"beta.txt"};
    EXPECT_EQ(search((dir.path() + "/").c_str(), "*.txt"), expected);
    EXPECT_EQ(search(pszDir, "sub.hex/*.TXT"), (std::vector<std::string>{"inner.txt"}));
    EXPECT_TRUE(search(std::string(os_kMaxPath, 'd').c_str(), "*").empty());
    ScopedChdir chdir(dir.path());
    EXPECT_EQ(search("", "*.txt"), expected);
}

}  // namespace
