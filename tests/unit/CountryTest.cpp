// Country tables: look-ups by device country name, code and index, and the
// number table that identification walks (which row wins is shown by the
// reply tests).
#include "EngineSource/devidCountry.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

TEST(CountryTest, LookUpsIgnoreLetterCaseOnlyAndEveryTableRowHasAnIndex)
{
    int32_t nIndex = -7;
    EXPECT_TRUE(Country_FromDeviceName("ptt german", &nIndex) == 1 && nIndex == 8);
    EXPECT_TRUE(Country_FromCode("gb", &nIndex) == 1 && nIndex == 18);
    EXPECT_TRUE(Country_FromCode("CH", &nIndex) == 1 && nIndex == 15);
    for (const char* pszName : {"GERMANY", "PTT GERMAN ", "PTT GERMA", ""})
        EXPECT_EQ(Country_FromDeviceName(pszName, &nIndex), 0) << pszName;
    for (const char* pszCode : {"GBR", "G", ""})
        EXPECT_EQ(Country_FromCode(pszCode, &nIndex), 0) << pszCode;
    EXPECT_EQ(nIndex, 15);
    EXPECT_STREQ(Country_DisplayName(Country_kUnknown), "Unknown");
    EXPECT_STREQ(Country_DisplayName(-1), "Unknown");
    std::set<std::string> names;
    for (int32_t i = 0; i < Country_kCount; ++i)
        names.insert(Country_DisplayName(i));
    EXPECT_EQ(names.size(), static_cast<size_t>(Country_kCount));
    EXPECT_EQ(names.count("Unknown"), 0u);

    for (size_t i = 0; i < devid_kCountryNumberRows; ++i)
        EXPECT_EQ(Country_FromDeviceName(devid_CountryNumberTable[i].pszDeviceCountry, &nIndex), 1) << i;
    EXPECT_STREQ(devid_CountryNumberTable[devid_kCountryNumberRows].pszDeviceCountry, "");
}

}  // namespace
