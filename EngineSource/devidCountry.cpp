// Country codes: the number table that identification walks, the index
// table of display names, device country names and file codes, and the
// look-ups by device country name, by code and by index.
#include "EngineSource/devidCountry.h"

#include "EngineSource/OSWIN32.h"

namespace {

// One row of the index table; the row's position is its country index.
struct CountryIndexRow {
    const char* pszDisplayName;    // shown to the user
    const char* pszDeviceName;     // device country name (upper case)
    const char* pszCode;           // two-letter firmware-file code; null when none
};

// The index table, one row per country index 0 to 49. Every device country
// name and every code occurs once. The codes beginning with Q stand for
// regions rather than countries.
const CountryIndexRow kCountryIndexTable[Country_kCount] = {
    {"Australia", "PTT AUSTRALIA", "AU"},
    {"Austria", "PTT AUSTRIA", "AT"},
    {"Belgium", "PTT BELGIUM", "BE"},
    {"Czech Republic", "PTT CZECH", "CZ"},
    {"Denmark", "PTT DANISH", "DK"},
    {"Finland", "PTT FINLAND", "FI"},
    {"France", "PTT FRANCE", "FR"},
    {"Italy", "PTT ITALY", "IT"},
    {"Germany", "PTT GERMAN", "DE"},
    {"Netherlands", "PTT HOLLAND", "NL"},
    {"Norway", "PTT NORWAY", "NO"},
    {"New Zealand", "PTT NEW ZEALAND", "NZ"},
    {"Poland", "PTT POLAND", "PL"},
    {"South Africa", "PTT SOUTH AFRICA", "ZA"},
    {"Sweden", "PTT SWEDEN", "SE"},
    {"Switzerland", "PTT SWITZ", "CH"},
    {"Spain", "PTT SPAIN", "ES"},
    {"United Arab Emirates", "PTT UNITED ARAB EMIRATES", "AE"},
    {"United Kingdom", "PTT BABT", "GB"},
    {"Bulgaria", "BULGARIA", "BG"},
    {"Canada", "CANADA", "CA"},
    {"Chile", "CHILE", "CL"},
    {"China", "CHINA", nullptr},
    {"Greece", "GREECE", "GR"},
    {"HongKong", "HONGKONG", "HK"},
    {"Hungary", "HUNGARY", "HU"},
    {"India", "INDIA", "IN"},
    {"Indonesia", "INDONESIA", "ID"},
    {"Ireland", "IRELAND", "IE"},
    {"Isreal", "ISREAL", "IL"},
    {"Japan", "JAPAN", "JP"},
    {"Korea", "KOREA", "KP"},
    {"Luxembourg", "LUXEMBOURG", "LU"},
    {"Malaysia", "MALAYSIA", "MY"},
    {"Mexico", "MEXICO", "MX"},
    {"Europe/North America", "EUROPE/NORTH AMERICA", "QP"},
    {"Philippines", "PHILIPPINES", "PH"},
    {"Portugal", "PORTUGAL", "PT"},
    {"Russia", "RUSSIA", "RU"},
    {"Singapore", "SINGAPORE", "SG"},
    {"Slovak", "SLOVAK", "SK"},
    {"Slovenia", "SLOVENIA", "SI"},
    {"Taiwan", "TAIWAN", "TW"},
    {"Thailand", "THAILAND", "TH"},
    {"Turkey", "TURKEY", "TR"},
    {"Vietnam", "VIETNAM", "VN"},
    {"North America", "NORTH AMERICAN", "QX"},
    {"International PTT", "PTT", "QY"},
    {"Universal", "UNIVERSAL", "QU"},
    {"Global", "GLOBAL", "QG"},
};

// Upper-cased copy of a text (ASCII letters only).
std::string upperCopy(const std::string& sText)
{
    std::string sUpper(sText);
    for (char& c : sUpper)
        c = static_cast<char>(gn_ToUpper(c));
    return sUpper;
}

// The index whose field (selected by pField) equals sText after
// upper-casing, or -1.
int32_t findIndex(const std::string& sText, const char* CountryIndexRow::*pField)
{
    std::string sUpper = upperCopy(sText);
    for (int32_t i = 0; i < Country_kCount; ++i) {
        const char* pszValue = kCountryIndexTable[i].*pField;
        if (pszValue != nullptr && sUpper == pszValue)
            return i;
    }
    return -1;
}

// Stores a found index; 1 when found, else 0 and the index untouched.
int storeIndex(int32_t nFound, int32_t* pnIndex)
{
    os_mAssert(pnIndex != nullptr);
    if (nFound < 0 || pnIndex == nullptr)
        return 0;
    *pnIndex = nFound;
    return 1;
}

}  // namespace

// The devices' country numbers. A family that has no number for a country
// carries -1 there; rows are searched from the top, so a number or name
// that occurs twice (ATI5 43, ATI5 -1, ATI9 -1) always yields the upper row.
const devid_CountryNumber devid_CountryNumberTable[devid_kCountryNumberRows + 1] = {
    {1, "AUSTRALIA", 40, "PTT AUSTRALIA"},
    {2, "BELGIUM", 2, "PTT BELGIUM"},
    {3, "DENMARK", 3, "PTT DANISH"},
    {4, "FINLAND", 4, "PTT FINLAND"},
    {5, "FRANCE", 5, "PTT FRANCE"},
    {6, "GERMANY", 6, "PTT GERMAN"},
    {7, "HOLLAND", 10, "PTT HOLLAND"},
    {8, "ITALY", 8, "PTT ITALY"},
    {9, "NEW ZEALAND", 48, "PTT NEW ZEALAND"},
    {10, "NORWAY", 11, "PTT NORWAY"},
    {11, "SPAIN", 13, "PTT SPAIN"},
    {12, "SWEDEN", 14, "PTT SWEDEN"},
    {13, "SWITZERLAND", 15, "PTT SWITZ"},
    {14, "UNITED KINGDOM", 16, "PTT BABT"},
    {15, "AUSTRIA", 1, "PTT AUSTRIA"},
    {16, "JAPAN", 43, "JAPAN"},
    {17, "CHINA", 41, "CHINA"},
    {18, "KOREA", 44, "KOREA"},
    {19, "MALAYSIA", 49, "MALAYSIA"},
    {20, "SINGAPORE", 47, "SINGAPORE"},
    {21, "TAIWAN", 46, "TAIWAN"},
    {22, "THAILAND", -1, "THAILAND"},
    {23, "INDONESIA", -1, "INDONESIA"},
    {24, "PORTUGAL", 12, "PORTUGAL"},
    {25, "NORTH AMERICA", 22, "NORTH AMERICAN"},
    {26, "IRELAND", 7, "IRELAND"},
    {27, "HONG KONG", 42, "HONGKONG"},
    {28, "CANADA", 20, "CANADA"},
    {29, "MEXICO", 21, "MEXICO"},
    {30, "INDIA", 30, "INDIA"},
    {31, "VIETNAM", -1, "VIETNAM"},
    {32, "PHILIPPINES", 43, "PHILIPPINES"},
    {33, "GREECE", 17, "GREECE"},
    {34, "HUNGARY", 23, "HUNGARY"},
    {35, "TURKEY", -1, "TURKEY"},
    {36, "SOUTH AMERICA", -1, "PTT SOUTH AFRICA"},
    {37, "CZECH REPUBLIC", 19, "PTT CZECH"},
    {38, "POLAND", 24, "PTT POLAND"},
    {39, "ISREAL", 18, "ISREAL"},
    {40, "SLOVAK REPUBLIC", 26, "SLOVAK"},
    {41, "SLOVENIA", -1, "SLOVENIA"},
    {42, "CHILE", -1, "CHILE"},
    {43, "INTERNATIONAL", 99, "PTT"},
    {52, "PAN EUROPEAN", 98, "EUROPE/NORTH AMERICA"},
    {-1, "BULGARIA", 27, "BULGARIA"},
    {-1, "LUXEMBOURGH", 9, "LUXEMBOURG"},
    {-1, "RUSSIA", 25, "RUSSIA"},
    {-1, "", -1, ""},
};

int Country_FromDeviceName(const std::string& sName, int32_t* pnIndex)
{
    return storeIndex(findIndex(sName, &CountryIndexRow::pszDeviceName), pnIndex);
}

int Country_FromCode(const std::string& sCode, int32_t* pnIndex)
{
    return storeIndex(findIndex(sCode, &CountryIndexRow::pszCode), pnIndex);
}

const char* Country_DisplayName(int32_t nIndex)
{
    if (nIndex < 0 || nIndex >= Country_kCount)
        return "Unknown";
    return kCountryIndexTable[nIndex].pszDisplayName;
}
