// Country codes: the fixed tables that bring the three ways of naming a
// country to one program-wide country index (0 to 49, 50 unknown), and the
// look-ups over them.
//
// - devid_CountryNumberTable: what devices answer to "ATI9\r" (number or
//   country name) and "ATI5\r" (number), mapped to a device country name.
//   Identification walks it row by row; the first matching row wins.
// - The index table (private to devidCountry.cpp): per index a display
//   name, a device country name and a two-letter firmware-file code.
//
// Every text is spelled exactly as devices send it and firmware files name
// it ("ISREAL", "HONGKONG", "PTT SWITZ", "PTT BABT", "KP" for Korea), since
// it is compared with their texts. The tables are constant data; every
// look-up may run in any thread.
#ifndef NORVANE_ENGINESOURCE_DEVIDCOUNTRY_H
#define NORVANE_ENGINESOURCE_DEVIDCOUNTRY_H

#include <cstddef>
#include <cstdint>
#include <string>

// Number of countries with an index: 0 to Country_kCount - 1.
constexpr int32_t Country_kCount = 50;
// The index of a device whose country has none (any other value outside
// 0 to 49 is treated alike).
constexpr int32_t Country_kUnknown = 50;

// One row of devid_CountryNumberTable.
struct devid_CountryNumber {
    int32_t nAti9;                   // number in an "ATI9\r" reply; -1 when the family has none
    const char* pszCountry;          // country name in an "ATI9\r" reply (upper case, at most 83 characters)
    int32_t nAti5;                   // number in an "ATI5\r" reply; -1 when the family has none
    const char* pszDeviceCountry;    // device country name the row stands for (at most 83 characters)
};

// Rows of devid_CountryNumberTable before its terminating row.
constexpr size_t devid_kCountryNumberRows = 47;

// The number table: devid_kCountryNumberRows rows in their fixed order,
// then one row whose device country name is empty (and whose numbers are
// -1 and country name empty), which ends the table.
extern const devid_CountryNumber devid_CountryNumberTable[devid_kCountryNumberRows + 1];

// Sets *pnIndex to the index whose device country name equals sName, letter
// case aside (ASCII letters only; white space counts, no prefix matching).
// Returns 1 (1 is success) when found, else 0 with *pnIndex unchanged.
int Country_FromDeviceName(const std::string& sName, int32_t* pnIndex);

// Sets *pnIndex to the index whose two-letter code equals sCode, letter case
// aside. China has no code. Returns 1 (1 is success) when found, else 0 with *pnIndex
// unchanged.
int Country_FromCode(const std::string& sCode, int32_t* pnIndex);

// The display name of a country index (static text); "Unknown" for any
// value outside 0 to 49.
const char* Country_DisplayName(int32_t nIndex);

#endif
