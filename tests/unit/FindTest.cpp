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

class FindTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* pszName : {"Zeta.hex", "alpha.hex", "ALPHA.hex", "abgb1234.HEX", "beta.txt", "noext"})
            m_dir.write(pszName, "");
        mkdir(m_dir.file("sub.hex").c_str(), 0700);
        symlink("sub.hex", m_dir.file("link.HEX").c_str());
    }
    TempDir m_dir;
};

TEST_F(FindTest, MatchesWithoutCaseAndSortsWithoutCase)
{
    const std::vector<std::string> expected = {"abgb1234.HEX", "ALPHA.hex", "alpha.hex", "link.HEX/", "sub.hex/", "Zeta.hex"};
    EXPECT_EQ(search(m_dir.path().c_str(), "*.HEX"), expected);
    EXPECT_EQ(search(m_dir.path().c_str(), "?ETA.*"), (std::vector<std::string>{"beta.txt", "Zeta.hex"}));
    EXPECT_EQ(search(m_dir.path().c_str(), "a*b*.hex"), (std::vector<std::string>{"abgb1234.HEX"}));
    EXPECT_EQ(search(m_dir.path().c_str(), "*"), (std::vector<std::string>{"abgb1234.HEX", "ALPHA.hex", "alpha.hex", "beta.txt", "link.HEX/", "noext", "sub.hex/", "Zeta.hex"}));
    EXPECT_TRUE(search(m_dir.path().c_str(), "*.bin").empty());
    EXPECT_TRUE(search(m_dir.file("missing").c_str(), "*").empty());
}

TEST_F(FindTest, JoinsFolderAndPatternWithOneSeparator)
{
    const std::vector<std::string> expected = {"beta.txt"};
    EXPECT_EQ(search(m_dir.path().c_str(), "*.txt"), expected);
    EXPECT_EQ(search((m_dir.path() + "/").c_str(), "*.txt"), expected);
    {
        ScopedChdir chdir(m_dir.path());
        EXPECT_EQ(search("", "*.txt"), expected);
    }
    m_dir.write("sub.hex/inner.txt", "");
    EXPECT_EQ(search(m_dir.path().c_str(), "sub.hex/*.TXT"), (std::vector<std::string>{"inner.txt"}));
    EXPECT_TRUE(search(std::string(os_kMaxPath, 'd').c_str(), "*").empty());
}

}  // namespace
