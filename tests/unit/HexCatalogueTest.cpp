// The firmware catalogue: reading file names, discovering the files of a
// folder, fitting entries to device keys and the selection operations.
#include "wizard/HexCatalogue.h"

#include "EngineSource/devidCountry.h"
#include "model/ModelDb.h"
#include "support/ModelKeys.h"
#include "support/TempDir.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <vector>

using ::testing::ElementsAre;

namespace {

class HexCatalogueTest : public ::testing::Test {
protected:
    // The sample database plus AB7700, whose build 7 may only be loaded
    // with build 8 files.
    void SetUp() override
    {
        ModelDb_Clear();
        ASSERT_EQ(ModelDb_LoadFile(NORVANE_DATA_DIR "/Models.ini"), 0);
        ModelEntry entry;
        ModelDb_ParseLine("20, AB7700, AB, NEWMODEMS", &entry);
        entry.locks = {ModelLock{7, {8}}, ModelLock{8, {8}}};
        ModelDb_Add(entry);
    }
    void TearDown() override { ModelDb_Clear(); }

    static int32_t country(const char* pszCode)
    {
        int32_t nIndex = Country_kUnknown;
        EXPECT_EQ(Country_FromCode(pszCode, &nIndex), 1) << pszCode;
        return nIndex;
    }

    // The entry of a usable name (the test fails for an unusable one).
    static HexFileEntry parsed(const std::string& sName, const char* pszExtension = HexCatalogue_kExtension)
    {
        HexFileEntry entry;
        EXPECT_TRUE(HexCatalogue::ParseName(&entry, pszExtension, sName)) << sName;
        return entry;
    }

    static bool usable(const std::string& sName, const char* pszExtension = HexCatalogue_kExtension)
    {
        HexFileEntry entry;
        bool bUsable = HexCatalogue::ParseName(&entry, pszExtension, sName);
        // A refused name leaves the entry as it was.
        EXPECT_TRUE(bUsable || (entry.path.empty() && entry.key.id == 0 && entry.country == Country_kUnknown))
            << sName;
        return bUsable;
    }

    // The catalogue's paths in order.
    static std::vector<std::string> paths(const HexCatalogue& catalogue)
    {
        std::vector<std::string> result;
        for (int32_t n = 0; n < catalogue.GetCount(); ++n)
            result.push_back(catalogue.GetEntry(static_cast<size_t>(n))->path);
        return result;
    }

    // A catalogue with the entries of the names, in order.
    static HexCatalogue catalogueOf(const std::vector<std::string>& names)
    {
        HexCatalogue catalogue;
        for (const std::string& sName : names)
            catalogue.Append(parsed(sName));
        return catalogue;
    }
};

TEST_F(HexCatalogueTest, ANameGivesModelCountryAndBuild)
{
    HexFileEntry entry = parsed("KZGB0310.HEX");
    EXPECT_EQ(entry.path, "KZGB0310.HEX");
    EXPECT_EQ(entry.fileName, "KZGB0310.HEX");
    EXPECT_EQ(entry.key.name, "KV5120ZA");
    EXPECT_EQ(entry.country, country("GB"));
    EXPECT_EQ(entry.build.major, 3);
    EXPECT_EQ(entry.build.minor, 10);
    // KV5120ZA has a lock for build 3: the key takes it with its upgrades.
    EXPECT_EQ(entry.key.build, 3);
    EXPECT_THAT(entry.key.upgrades, ElementsAre(3, 4));
    EXPECT_EQ(entry.selected, 0);

    // A major without a lock leaves the key's build at -1.
    entry = parsed("KZDE0512.HEX");
    EXPECT_EQ(entry.build.major, 5);
    EXPECT_EQ(entry.key.build, -1);
    EXPECT_EQ(entry.country, country("DE"));

    // Rockwell names carry only the minor; the major is the model's.
    entry = parsed("RSGB17.HEX");
    EXPECT_EQ(entry.key.name, "RW3360-SP");
    EXPECT_EQ(entry.build.text, "2.17 ");
    EXPECT_EQ(entry.key.build, 2);
}

TEST_F(HexCatalogueTest, NamesAreReadInUpperCaseAndKeepTheirRealName)
{
    HexFileEntry entry = parsed("kzgb0310.hex");
    EXPECT_EQ(entry.path, "KZGB0310.HEX");
    EXPECT_EQ(entry.fileName, "kzgb0310.hex");
    EXPECT_EQ(entry.key.name, "KV5120ZA");
    // The extension is compared without regard to case too.
    EXPECT_TRUE(usable("KZGB0310.Hex", "hex"));
}

TEST_F(HexCatalogueTest, NamesBreakingARuleAreRefused)
{
    EXPECT_FALSE(usable("KZG10310.HEX"));     // character 3 not a letter
    EXPECT_FALSE(usable("KZGB.HEX"));         // base name of 4
    EXPECT_FALSE(usable("KZGB0310.OLD.HEX")); // a further "." before the extension
    EXPECT_FALSE(usable("KZGB0310"));         // no "."
    EXPECT_FALSE(usable("KZGB0310.HEXX"));    // more after the extension
    EXPECT_FALSE(usable("KZGB0310.HXB"));     // the other extension
    EXPECT_FALSE(usable("ZZGB0310.HEX"));     // no model with the code ZZ
    EXPECT_FALSE(usable("KZZZ0310.HEX"));     // no country with the code ZZ
    EXPECT_FALSE(usable(".HEX"));
    EXPECT_TRUE(usable("KZGB0310.HXB", HexCatalogue_kBootExtension));
}

TEST_F(HexCatalogueTest, BuildCodeIsUpToFourCharactersAfterTheCountry)
{
    // ABGB1 is usable; its build is read from the code "1".
    HexFileEntry entry = parsed("ABGB1.HEX");
    EXPECT_EQ(entry.build.major, 1);
    EXPECT_EQ(entry.build.minor, 0);
    // Characters after the eighth are ignored.
    entry = parsed("ABGB0812RELEASE.HEX");
    EXPECT_EQ(entry.build.major, 8);
    EXPECT_EQ(entry.build.minor, 12);
    EXPECT_EQ(entry.key.build, 8);
    // A three-character code is one major and two minor characters; a
    // trailing letter is the build's letter.
    entry = parsed("ABGB712.HEX");
    EXPECT_EQ(entry.build.major, 7);
    EXPECT_EQ(entry.build.minor, 12);
    entry = parsed("ABGB712b.HEX");
    EXPECT_EQ(entry.build.major, 7);
    EXPECT_EQ(entry.build.letter, 'B');
}

TEST_F(HexCatalogueTest, DiscoverListsTheUsableFilesOfAFolder)
{
    TempDir dir;
    for (const char* pszName : {"kzgb0310.hex", "ABG11234.HEX", "ABGB.HEX", "KZGB0310.OLD.HEX", "QADE0412.HEX",
                                "README.TXT", "KZGB0410.HXB", "ZZGB0310.HEX"})
        dir.write(pszName, ":00000001FF\r\n");
    ASSERT_EQ(mkdir(dir.file("KZDE0310.HEX").c_str(), 0700), 0);

    HexCatalogue catalogue;
    EXPECT_TRUE(catalogue.Discover(HexCatalogue_kExtension, dir.path()));
    EXPECT_THAT(paths(catalogue), ElementsAre("KZGB0310.HEX", "QADE0412.HEX"));
    // The name as found, in its folder, opens the file.
    EXPECT_EQ(catalogue.GetEntry(0)->fileName, dir.file("kzgb0310.hex"));

    HexCatalogue boot;
    boot.Discover(HexCatalogue_kBootExtension, dir.path());
    EXPECT_THAT(paths(boot), ElementsAre("KZGB0410.HXB"));

    // No hit, or no folder: the catalogue is left as it was.
    EXPECT_TRUE(boot.Discover("HXC", dir.path()));
    EXPECT_TRUE(boot.Discover(HexCatalogue_kExtension, dir.file("missing")));
    EXPECT_THAT(paths(boot), ElementsAre("KZGB0410.HXB"));

    // The working folder: names without a folder, appended after the others.
    ScopedChdir chdir(dir.path());
    boot.Discover(HexCatalogue_kExtension, ".");
    EXPECT_THAT(paths(boot), ElementsAre("KZGB0410.HXB", "KZGB0310.HEX", "QADE0412.HEX"));
    EXPECT_EQ(boot.GetEntry(1)->fileName, "kzgb0310.hex");
}

TEST_F(HexCatalogueTest, AnInternationalFileAlsoServesPolandAndTheEmirates)
{
    TempDir dir;
    for (const char* pszName : {"KZQY0310.HEX", "KZGB0310.HEX", "KZZA0310.HEX"})
        dir.write(pszName, "");
    HexCatalogue catalogue;
    catalogue.Discover(HexCatalogue_kExtension, dir.path());
    ASSERT_EQ(catalogue.GetCount(), 5);
    std::vector<int32_t> countries;
    for (size_t n = 0; n < 5; ++n)
        countries.push_back(catalogue.GetEntry(n)->country);
    EXPECT_THAT(countries, ElementsAre(country("GB"), country("QY"), country("PL"), country("AE"), country("ZA")));
    EXPECT_EQ(country("QY"), 47);
    for (size_t n = 1; n <= 3; ++n) {
        EXPECT_EQ(catalogue.GetEntry(n)->path, "KZQY0310.HEX");
        EXPECT_EQ(catalogue.GetEntry(n)->key.build, 3);
        EXPECT_EQ(catalogue.GetEntry(n)->build.text, "03.10 ");
    }
}

TEST_F(HexCatalogueTest, FitsBySameModelAndBuildOrUpgrade)
{
    HexFileEntry kz2 = parsed("KZGB0210.HEX");   // KV5120ZA build 2 (lock 2)
    HexFileEntry kz3 = parsed("KZGB0310.HEX");   // build 3 (lock 3)
    HexFileEntry kz4 = parsed("KZGB0400.HEX");   // build 4, no lock: key build -1
    HexFileEntry kz5 = parsed("KZGB0500.HEX");   // build 5, no lock
    HexFileEntry qa3 = parsed("QAGB0310.HEX");   // QBX7720 build 3

    // A device whose build was not identified takes every file of its model.
    ModelKey unknown = test_KeyOf("KV5120ZA", -1);
    for (const HexFileEntry* pEntry : {&kz2, &kz3, &kz4, &kz5})
        EXPECT_TRUE(HexCatalogue::Fits(*pEntry, unknown)) << pEntry->path;
    EXPECT_FALSE(HexCatalogue::Fits(qa3, unknown));

    // Build 2 takes the majors 2 to 4 of its upgrade list.
    ModelKey build2 = test_KeyOf("KV5120ZA", 2);
    EXPECT_TRUE(HexCatalogue::Fits(kz2, build2));
    EXPECT_TRUE(HexCatalogue::Fits(kz3, build2));
    EXPECT_TRUE(HexCatalogue::Fits(kz4, build2));
    EXPECT_FALSE(HexCatalogue::Fits(kz5, build2));
    EXPECT_FALSE(HexCatalogue::Fits(qa3, build2));

    // Build 3 takes 3 and 4, never an older file.
    ModelKey build3 = test_KeyOf("KV5120ZA", 3);
    EXPECT_FALSE(HexCatalogue::Fits(kz2, build3));
    EXPECT_TRUE(HexCatalogue::Fits(kz3, build3));
    EXPECT_TRUE(HexCatalogue::Fits(kz4, build3));

    // The file's own build fits even when it is not in the upgrade list.
    ModelKey ab7 = test_KeyOf("AB7700", 7);
    EXPECT_TRUE(HexCatalogue::Fits(parsed("ABGB0701.HEX"), ab7));
    EXPECT_TRUE(HexCatalogue::Fits(parsed("ABGB0801.HEX"), ab7));
    EXPECT_FALSE(HexCatalogue::Fits(parsed("ABGB0601.HEX"), ab7));
}

TEST_F(HexCatalogueTest, CountingSelectingAndDeselectingFittingEntries)
{
    HexCatalogue catalogue = catalogueOf({"KZGB0210.HEX", "QAGB0310.HEX", "KZDE0310.HEX", "KZGB0500.HEX"});
    ModelKey build3 = test_KeyOf("KV5120ZA", 3);
    ModelKey qa = test_KeyOf("QBX7720", -1);
    EXPECT_EQ(catalogue.CountFitting(build3), 1);
    EXPECT_EQ(catalogue.CountFitting(test_KeyOf("KV5120ZA", -1)), 3);
    EXPECT_EQ(catalogue.CountFitting(qa), 1);
    EXPECT_EQ(catalogue.CountFitting(test_KeyOf("KV3360", -1)), 0);

    HexFileEntry chosen = catalogue.SelectEntry(2);
    EXPECT_EQ(chosen.path, "KZDE0310.HEX");
    EXPECT_EQ(chosen.selected, 1);
    catalogue.SelectEntry(0);
    catalogue.SelectEntry(1);
    EXPECT_EQ(catalogue.CountSelectedFitting(build3), 1);
    EXPECT_EQ(catalogue.CountSelectedFitting(test_KeyOf("KV5120ZA", -1)), 2);
    EXPECT_EQ(catalogue.CountSelectedFitting(qa), 1);

    // Deselecting the unidentified KV5120ZA clears every KV5120ZA entry and
    // leaves the QBX7720 one.
    catalogue.DeselectFitting(test_KeyOf("KV5120ZA", -1));
    EXPECT_EQ(catalogue.CountSelectedFitting(test_KeyOf("KV5120ZA", -1)), 0);
    EXPECT_EQ(catalogue.CountSelectedFitting(qa), 1);
    catalogue.ClearSelection();
    EXPECT_EQ(catalogue.CountSelectedFitting(qa), 0);

    // A position outside the catalogue selects nothing.
    EXPECT_TRUE(catalogue.SelectEntry(4).path.empty());
    EXPECT_EQ(catalogue.GetEntry(4), nullptr);
    EXPECT_EQ(catalogue.CountSelectedFitting(test_KeyOf("KV5120ZA", -1)), 0);
}

}  // namespace
