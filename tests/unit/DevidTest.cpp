// Identification without a device, one division per area:
//   1. Country tables: look-ups by device country name and code, and the
//      number table identification walks.
//   2. Replies: the model (from the sample database), the version after
//      "Version" or the last space, and the country of an "ATI9" or "ATI5"
//      reply, all cut to the caller's field. The ordinary replies of each
//      family are read by the identification runs.
//   3. Flash identification: hexadecimal codes, flash types, the
//      identification in the head of a firmware file, and the check of a
//      file against a device before flashing.
#include "EngineSource/devid.h"
#include "EngineSource/devidCountry.h"
#include "EngineSource/devidFlashFile.h"
#include "model/ModelKey.h"
#include "support/TempDir.h"
#include "unit/SampleModels.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// "size type code" of a flash identification, the code in hexadecimal.
std::string shown(const devid_FlashId& id)
{
    char szShown[48];
    snprintf(szShown, sizeof szShown, "%d %d %X", id.nSize, id.nType, id.nCode);
    return szShown;
}

// The sample database and a folder for firmware files.
class DevidTest : public SampleModelsTest {
protected:
    // A firmware-file entry of the model, its file named fileName in the
    // test's folder, its identification 0 0 5555.
    HexFileEntry entry(const char* pszModel, const std::string& fileName)
    {
        HexFileEntry file;
        EXPECT_EQ(ModelKey_SetModelByName(&file.key, pszModel), 1) << pszModel;
        file.fileName = m_dir.file(fileName);
        file.flashId = devid_FlashId{0, 0, 0x5555};
        return file;
    }

    // "result: size type code" read from the file's head.
    static std::string read(HexFileEntry* pFile)
    {
        int nResult = FlashId_FromHexFile(pFile);
        return std::to_string(nResult) + ": " + shown(pFile->flashId);
    }

    // The same, read from a file of the model holding bytes.
    std::string fromFile(const char* pszModel, const std::string& bytes)
    {
        m_dir.write("LVGB0123.HEX", bytes);
        HexFileEntry file = entry(pszModel, "LVGB0123.HEX");
        return read(&file);
    }

    TempDir m_dir;
};

// ------------------------------------------------- 1. Country tables

TEST(CountryTest, LookUpsIgnoreLetterCaseOnlyAndEveryTableRowHasAnIndex)
{
    int32_t nIndex = -7;
    EXPECT_TRUE(Country_FromDeviceName("ptt german", &nIndex) == 1 && nIndex == 8);
    EXPECT_TRUE(Country_FromCode("ch", &nIndex) == 1 && nIndex == 15);
    for (const char* pszName : {"GERMANY", "PTT GERMAN ", "PTT GERMA", ""})
        EXPECT_EQ(Country_FromDeviceName(pszName, &nIndex), 0) << pszName;
    for (const char* pszCode : {"GBR", "G", ""})
        EXPECT_EQ(Country_FromCode(pszCode, &nIndex), 0) << pszCode;
    EXPECT_EQ(nIndex, 15);
    EXPECT_STREQ(Country_DisplayName(-1), "Unknown");
    for (size_t i = 0; i < devid_kCountryNumberRows; ++i)
        EXPECT_EQ(Country_FromDeviceName(devid_CountryNumberTable[i].pszDeviceCountry, &nIndex), 1) << i;
    EXPECT_STREQ(devid_CountryNumberTable[devid_kCountryNumberRows].pszDeviceCountry, "");
}

// -------------------------------------------------------- 2. Replies

TEST_F(DevidTest, ModelAndVersionAreCutToTheField)
{
    char szSmall[4];
    EXPECT_EQ(devid_GetModel(szSmall, sizeof szSmall, "QBXHP-TA ISDN\r\nLV5600\r\n"), 1);
    EXPECT_EQ(devid_GetModel(szSmall, sizeof szSmall, "KV33600\r\n"), 0);
    EXPECT_STREQ(szSmall, "LV5");

    const std::string longTail(120, 'x'), cutTail(devid_kTextSize - 1, 'x');
    // The character after the word is skipped, whatever it is; the word at
    // the very end gives an empty version, nothing read beyond. After the
    // last space inner line breaks stay; cut where the field ends, after the
    // leading white space has gone.
    const size_t kFull = devid_kTextSize;
    const struct {
        std::string reply;
        size_t nSize;
        std::string version;    // "<none>" when none is found
    } kCases[] = {
        {"Version:3.10 beta", kFull, "3.10"}, {"version 3.10 beta", kFull, "beta"}, {"Modem Version", kFull, ""},
        {"Version " + longTail, kFull, cutTail}, {"QBX7720 Data Modem 4.12\r\n\r\nOK", kFull, "4.12\r\n\r\nOK"},
        {"A  \t" + longTail, kFull, cutTail}, {"A " + longTail, 10, "xxxxxxxxx"}, {"RW3360\r\n\r\nOK", kFull, "<none>"},
    };
    for (const auto& test : kCases) {
        char szField[devid_kTextSize] = "<none>";
        EXPECT_EQ(devid_GetVersion(szField, test.nSize, test.reply.c_str()), test.version == "<none>" ? 0 : 1);
        EXPECT_EQ(szField, test.version) << test.reply;
    }
}

TEST(DevidReplyTest, CountryOfAnAti9OrAti5ReplyFirstRowWins)
{
    const struct {
        const char* pszReply;
        int nMode;              // 1 "ATI9", 2 "ATI5"
        const char* pszCountry;
    } kCases[] = {
        {"HOLLAND", 1, "PTT HOLLAND"}, {"South America", 1, "PTT SOUTH AFRICA"}, {"43", 1, "PTT"},
        {"LUXEMBOURGH", 1, "LUXEMBOURG"}, {"HOLLAND ", 1, ""}, {"0", 1, ""},
        // 43 is also the number of the Philippines, further down.
        {" 43\r\n", 2, "JAPAN"}, {"JAPAN", 2, ""}, {"", 2, ""}, {"7", 3, ""},
    };
    for (const auto& test : kCases) {
        char szField[devid_kTextSize] = "before";
        devid_GetCountry(test.pszReply, szField, sizeof szField, test.nMode);
        EXPECT_STREQ(szField, test.pszCountry) << test.pszReply << " mode " << test.nMode;
    }
    char szSmall[4];
    devid_GetCountry("7", szSmall, sizeof szSmall, 1);
    EXPECT_STREQ(szSmall, "PTT");
}

// ------------------------------------------- 3. Flash identification

TEST(DevidFlashCodes, HexToU16AndFlashTypesRowByRow)
{
    EXPECT_EQ(devid_HexToU16("00c7"), 0x00C7);
    // g is 103: ((1 * 16 + 2) * 16 + 103) * 16 + 4. Kept to 16 bits: 122 *
    // 0x1111 is 533018, whose low 16 bits are 8730.
    EXPECT_EQ(devid_HexToU16("12g4"), 6260);
    EXPECT_EQ(devid_HexToU16("zzzz"), 8730);
    const char kHigh[] = {'\xFF', '0', '0', '0'};
    EXPECT_EQ(devid_HexToU16(kHigh), (255u * 4096u) & 0xFFFFu);

    // Rows are tried from the top: the number of row 0 wins over the letter
    // of row 1. The other numbers are read from file heads below.
    const struct {
        char cLetter;
        uint32_t nNumber;
        int32_t nType;
    } kCases[] = {{'C', 0, 0}, {'i', 0, 1}, {'u', 0, 3}, {'\0', 0, 5}, {'0', 53, 2}, {'0', 42, 5}, {'I', 43, 0}, {'P', 55, 3}};
    for (const auto& test : kCases) {
        devid_FlashId id{7, -1, 9};
        devid_FlashTypeFromCode(test.cLetter, test.nNumber, &id);
        EXPECT_EQ(shown(id), "7 " + std::to_string(test.nType) + " 9") << test.cLetter << " " << test.nNumber;
    }
}

// Two data records of an Intel HEX file whose characters 65 to 72 are the
// eight of span: the code's low byte, its high byte, the type number and
// the size, each as two characters.
std::string hexHead(const std::string& span)
{
    return ":100000000123456789ABCDEF0123456789ABCDEF78\r\n"
           ":1000100000112233445" + span + "66778899AABBC5A\r\n";
}

TEST_F(DevidTest, HeadOfAFileNamesTypeSizeAndCode)
{
    const std::pair<const char*, const char*> kCases[] = {
        {"AB125540", "1: 64 3 12AB"}, {"C7004310", "1: 16 0 C7"}, {"34125040", "1: 64 4 1234"},
        // 'F' at 69: no flash identification; size "00": no code.
        {"AB12FF40", "1: 0 5 0"},     {"AB124900", "1: 0 1 0"},   {"AB129940", "1: 64 5 12AB"},
    };
    for (const auto& test : kCases)
        EXPECT_EQ(fromFile("LV5600", hexHead(test.first)), test.second) << test.first;
    // Exactly 75 bytes are enough; 74 are not. Other models keep their
    // entry as it is.
    EXPECT_EQ(fromFile("LV5600", hexHead("AB125540").substr(0, 75)), "1: 64 3 12AB");
    EXPECT_EQ(fromFile("LV5600", hexHead("AB125540").substr(0, 74)), "0: 0 0 5555");
    EXPECT_EQ(fromFile("KV3360", hexHead("AB125540")), "1: 0 0 5555");
    HexFileEntry missing = entry("LV5600", "NONE.HEX");
    EXPECT_EQ(read(&missing), "0: 0 0 5555");

    // The file is opened by its name as found, else by its path.
    m_dir.write("lvgb0123.hex", hexHead("C7004310"));
    m_dir.write("LVGB0123.HEX", hexHead("AB125540"));
    ScopedChdir inDir(m_dir.path());
    HexFileEntry file = entry("LV5600", "lvgb0123.hex");
    file.path = "LVGB0123.HEX";
    EXPECT_EQ(read(&file), "1: 16 0 C7");
    file.fileName.clear();
    EXPECT_EQ(read(&file), "1: 64 3 12AB");
}

// Sizes or types that differ alone are refused in the coordinator's tests.
TEST_F(DevidTest, CheckBeforeFlashingComparesAndMaySetStartModeTwo)
{
    const struct {
        const char* pszModel;
        devid_FlashId file, device;
        int32_t nStartMode;      // before the check
        uint32_t nResult;
        int32_t nStartModeAfter;
    } kCases[] = {
        // Same part, other code: flashed, loader downloaded first.
        {"LV5600", {64, 3, 0x12AB}, {64, 3, 0x00C7}, 0, 0, 2},
        {"LV5600", {16, 0, 0x12AB}, {64, 3, 0x00C7}, 1, devid_kSizesDiffer | devid_kTypesDiffer | devid_kCodesDiffer, 1},
        // A size of 0 on either side: only the types count, and start mode
        // 1 becomes 2.
        {"LV5600", {16, 2, 0x12AB}, {0, 3, 0x0001}, 1, devid_kTypesDiffer, 1},
        {"LV5600", {64, 3, 0x12AB}, {0, 3, 0}, 1, 0, 2},
        {"LV5600", {64, 3, 0x12AB}, {0, 3, 0}, 0, 0, 0},
        // Other models are not checked.
        {"KV3360", {16, 0, 0x12AB}, {64, 3, 0x12AB}, 1, 0, 1},
    };
    for (const auto& test : kCases) {
        SCOPED_TRACE(std::string(test.pszModel) + " " + shown(test.file) + " / " + shown(test.device));
        HexFileEntry file = entry(test.pszModel, "unused.hex");
        file.flashId = test.file;
        FlashJob job{};
        job.info.flashId = test.device;
        job.nStartMode = test.nStartMode;
        EXPECT_EQ(FlashId_CheckHexForDevice(file, &job), test.nResult);
        EXPECT_EQ(job.nStartMode, test.nStartModeAfter);
    }
}

}  // namespace
