// The firmware catalogue: reading file names, discovering the files of a
// folder, fitting entries to device keys and the selection operations.
#include "wizard/HexCatalogue.h"

#include "EngineSource/devidCountry.h"
#include "model/ModelDb.h"
#include "support/ModelKeys.h"
#include "support/TempDir.h"
#include "unit/SampleModels.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

using ::testing::ElementsAre;

namespace {

class HexCatalogueTest : public SampleModelsTest {
protected:
    // The sample database plus AB7700, whose build 7 may only be loaded
    // with build 8 files.
    void SetUp() override
    {
        SampleModelsTest::SetUp();
        ModelEntry entry;
        ModelDb_ParseLine("20, AB7700, AB, NEWMODEMS", &entry);
        entry.locks = {ModelLock{7, {8}}, ModelLock{8, {8}}};
        ModelDb_Add(entry);
    }

    // "path fileName model country major.minor.letter key-build" of a name
    // read with the extension, or "refused" (the entry then left as it was).
    static std::string read(const std::string& sName, const char* pszExtension = HexCatalogue_kExtension)
    {
        HexFileEntry entry;
        if (!HexCatalogue::ParseName(&entry, pszExtension, sName))
            return entry.path.empty() && entry.key.id == 0 && entry.country == Country_kUnknown ? "refused" : "changed";
        char szRead[160];
        snprintf(szRead, sizeof szRead, "%s %s %s %s %d.%d.%c %d", entry.path.c_str(), entry.fileName.c_str(),
                 entry.key.name.c_str(), Country_DisplayName(entry.country), entry.build.major, entry.build.minor,
                 static_cast<char>(entry.build.letter), entry.key.build);
        return szRead;
    }

    static HexFileEntry parsed(const std::string& sName)
    {
        HexFileEntry entry;
        EXPECT_TRUE(HexCatalogue::ParseName(&entry, HexCatalogue_kExtension, sName)) << sName;
        return entry;
    }

    // "path country" of the catalogue's entries in order.
    static std::vector<std::string> entries(const HexCatalogue& catalogue)
    {
        std::vector<std::string> result;
        for (int32_t n = 0; n < catalogue.GetCount(); ++n) {
            const HexFileEntry& entry = *catalogue.GetEntry(static_cast<size_t>(n));
            result.push_back(entry.path + " " + Country_DisplayName(entry.country));
        }
        return result;
    }
};

TEST_F(HexCatalogueTest, NamesGiveModelCountryAndBuildOrAreRefused)
{
    const std::pair<const char*, const char*> kCases[] = {
        // KV5120ZA has a lock for build 3, not for 5: the key's build is -1.
        {"KZGB0310.HEX", "KZGB0310.HEX KZGB0310.HEX KV5120ZA United Kingdom 3.10.  3"},
        {"KZDE0512.HEX", "KZDE0512.HEX KZDE0512.HEX KV5120ZA Germany 5.12.  -1"},
        // Read in upper case; the name as found is kept.
        {"kzgb0310.hex", "KZGB0310.HEX kzgb0310.hex KV5120ZA United Kingdom 3.10.  3"},
        // Rockwell names carry only the minor; the major is the model's.
        {"RSGB17.HEX", "RSGB17.HEX RSGB17.HEX RW3360-SP United Kingdom 2.17.  2"},
        // Build codes of one to four characters; characters after the
        // eighth are ignored; a trailing letter is the build's letter.
        {"ABGB1.HEX", "ABGB1.HEX ABGB1.HEX AB7700 United Kingdom 1.0.  -1"},
        {"ABGB0812RELEASE.HEX", "ABGB0812RELEASE.HEX ABGB0812RELEASE.HEX AB7700 United Kingdom 8.12.  8"},
        {"ABGB712b.HEX", "ABGB712B.HEX ABGB712b.HEX AB7700 United Kingdom 7.12.B 7"},
    };
    for (const auto& test : kCases)
        EXPECT_EQ(read(test.first), test.second) << test.first;
    // Character 3 not a letter, a base name of 4, a further "." before the
    // extension, more after it, no model or no country with the code ZZ.
    for (const char* pszName : {"KZG10310.HEX", "KZGB.HEX", "KZGB0310.OLD.HEX", "KZGB0310.HEXX", "ZZGB0310.HEX",
                                "KZZZ0310.HEX", ".HEX"})
        EXPECT_EQ(read(pszName), "refused") << pszName;
    // The extension is compared without regard to case too.
    EXPECT_EQ(read("KZGB0310.Hxb", HexCatalogue_kBootExtension).substr(0, 12), "KZGB0310.HXB");
}

TEST_F(HexCatalogueTest, DiscoverListsTheUsableFilesOfAFolder)
{
    TempDir dir;
    for (const char* pszName : {"kzgb0310.hex", "KZQY0310.HEX", "KZGB0310.OLD.HEX", "QADE0412.HEX", "README.TXT",
                                "KZGB0410.HXB", "ZZGB0310.HEX"})
        dir.write(pszName, ":00000001FF\r\n");
    ASSERT_EQ(mkdir(dir.file("KZDE0310.HEX").c_str(), 0700), 0);

    // An international file also serves Poland and the Emirates.
    HexCatalogue catalogue;
    EXPECT_TRUE(catalogue.Discover(HexCatalogue_kExtension, dir.path()));
    EXPECT_THAT(entries(catalogue),
                ElementsAre("KZGB0310.HEX United Kingdom", "KZQY0310.HEX International PTT", "KZQY0310.HEX Poland",
                            "KZQY0310.HEX United Arab Emirates", "QADE0412.HEX Germany"));
    // The name as found, in its folder, opens the file.
    EXPECT_EQ(catalogue.GetEntry(0)->fileName, dir.file("kzgb0310.hex"));

    // No hit, or no folder: the catalogue is left as it was.
    HexCatalogue boot;
    boot.Discover(HexCatalogue_kBootExtension, dir.path());
    EXPECT_TRUE(boot.Discover("HXC", dir.path()) && boot.Discover(HexCatalogue_kExtension, dir.file("missing")));
    EXPECT_THAT(entries(boot), ElementsAre("KZGB0410.HXB United Kingdom"));

    // The working folder: names without a folder, appended after the others.
    ScopedChdir chdir(dir.path());
    boot.Discover(HexCatalogue_kExtension, ".");
    EXPECT_EQ(boot.GetCount(), 6);
    EXPECT_EQ(boot.GetEntry(1)->fileName, "kzgb0310.hex");
}

TEST_F(HexCatalogueTest, FitsBySameModelAndBuildOrUpgrade)
{
    // KV5120ZA: build 2 takes the majors 2 to 4, build 3 takes 3 and 4;
    // a device whose build was not identified takes every file of its
    // model. AB7700 build 7 takes its own build even though its upgrade
    // list names only 8.
    const struct {
        const char* pszModel;
        int32_t nBuild;
        const char* pszFits;    // of the files below, those that fit
    } kCases[] = {{"KV5120ZA", -1, "KZGB0210 KZGB0310 KZGB0400 KZGB0500 "}, {"KV5120ZA", 2, "KZGB0210 KZGB0310 KZGB0400 "},
                  {"KV5120ZA", 3, "KZGB0310 KZGB0400 "},                    {"AB7700", 7, "ABGB0701 ABGB0801 "}};
    const char* const kFiles[] = {"KZGB0210", "KZGB0310", "KZGB0400", "KZGB0500", "QAGB0310",
                                  "ABGB0601", "ABGB0701", "ABGB0801"};
    for (const auto& test : kCases) {
        std::string sFits;
        for (const char* pszFile : kFiles) {
            if (HexCatalogue::Fits(parsed(std::string(pszFile) + ".HEX"), test_KeyOf(test.pszModel, test.nBuild)))
                sFits += std::string(pszFile) + " ";
        }
        EXPECT_EQ(sFits, test.pszFits) << test.pszModel << " " << test.nBuild;
    }
}

// Counting and selecting entries is shown by the coordinator's tests.
TEST_F(HexCatalogueTest, DeselectingAnUnidentifiedModelClearsAllItsEntries)
{
    HexCatalogue catalogue;
    for (const char* pszName : {"KZGB0210.HEX", "QAGB0310.HEX", "KZDE0310.HEX", "KZGB0500.HEX"})
        catalogue.SelectEntry(catalogue.Append(parsed(pszName)));
    const ModelKey anyKz = test_KeyOf("KV5120ZA", -1);
    EXPECT_EQ(catalogue.CountSelectedFitting(test_KeyOf("KV5120ZA", 3)), 1);
    EXPECT_EQ(catalogue.CountSelectedFitting(anyKz), 3);
    catalogue.DeselectFitting(anyKz);
    EXPECT_EQ(catalogue.CountSelectedFitting(anyKz), 0);
    EXPECT_EQ(catalogue.CountSelectedFitting(test_KeyOf("QBX7720", -1)), 1);
    // A position outside the catalogue selects nothing.
    EXPECT_TRUE(catalogue.SelectEntry(4).path.empty());
    EXPECT_EQ(catalogue.GetEntry(4), nullptr);
}

}  // namespace
