// Flash identification without a device: hexadecimal codes, flash types,
// the identification in the head of a firmware file, its comparison with a
// device's, the check before flashing and the start mode of a job.
#include "EngineSource/devidFlashId.h"
#include "model/ModelDb.h"
#include "model/ModelKey.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

// Beside the record, where the test macros find them; internal to this test.
static bool operator==(const devid_FlashId& a, const devid_FlashId& b)
{
    return a.nSize == b.nSize && a.nType == b.nType && a.nCode == b.nCode;
}

static std::ostream& operator<<(std::ostream& out, const devid_FlashId& id)
{
    return out << "{size " << id.nSize << ", type " << id.nType << ", code 0x" << std::hex << id.nCode << std::dec
               << "}";
}

namespace {

// Two data records of an Intel HEX file whose characters 65 to 72 are the
// eight of pszSpan: the code's low byte, its high byte, the type number and
// the size, each as two characters.
std::string hexHead(const std::string& span)
{
    return ":100000000123456789ABCDEF0123456789ABCDEF78\r\n"
           ":1000100000112233445" + span + "66778899AABBC5A\r\n";
}

devid_FlashId flashId(int32_t nSize, int32_t nType, uint16_t nCode) { return devid_FlashId{nSize, nType, nCode}; }

class DevidFlashIdTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ModelDb_Clear();
        ASSERT_EQ(ModelDb_LoadFile(NORVANE_DATA_DIR "/Models.ini"), 0);
    }
    void TearDown() override { ModelDb_Clear(); }

    // A firmware-file entry of the model, its file named fileName in the
    // test's folder.
    HexFileEntry entry(const char* pszModel, const std::string& fileName)
    {
        HexFileEntry file;
        EXPECT_EQ(ModelKey_SetModelByName(&file.key, pszModel), 1) << pszModel;
        file.fileName = m_dir.file(fileName);
        file.flashId = flashId(-1, -1, 0x5555);
        return file;
    }

    // The flash identification read from a file with this head.
    devid_FlashId fromHead(const std::string& head)
    {
        m_dir.write("LVGB0123.HEX", head);
        HexFileEntry file = entry("LV5600", "LVGB0123.HEX");
        EXPECT_EQ(FlashId_FromHexFile(&file), 1) << head;
        return file.flashId;
    }

    TempDir m_dir;
};

TEST(DevidFlashCodes, HexToU16CountsOtherCharactersByTheirCode)
{
    EXPECT_EQ(devid_HexToU16("12AB"), 0x12AB);
    EXPECT_EQ(devid_HexToU16("00c7"), 0x00C7);
    EXPECT_EQ(devid_HexToU16("ffFF"), 0xFFFF);
    // g is 103: ((1 * 16 + 2) * 16 + 103) * 16 + 4.
    EXPECT_EQ(devid_HexToU16("12g4"), 6260);
    // Kept to 16 bits: 122 * 0x1111 is 533018, whose low 16 bits are 8730.
    EXPECT_EQ(devid_HexToU16("zzzz"), 8730);
    const char kHigh[] = {'\xFF', '0', '0', '0'};
    EXPECT_EQ(devid_HexToU16(kHigh), (255u * 4096u) & 0xFFFFu);
}

TEST(DevidFlashCodes, FlashTypeByLetterOrNumberRowByRow)
{
    struct Case {
        char cLetter;
        uint32_t nNumber;
        int32_t nType;
    };
    const Case kCases[] = {
        {'C', 0, 0},  {'c', 0, 0},  {'I', 0, 1},  {'i', 0, 1},  {'S', 0, 2},  {'s', 0, 2}, {'U', 0, 3},
        {'u', 0, 3},  {'P', 0, 4},  {'p', 0, 4},  {'X', 0, 5},  {'\0', 0, 5}, {'0', 43, 0}, {'0', 49, 1},
        {'0', 53, 2}, {'0', 55, 3}, {'0', 50, 4}, {'0', 42, 5}, {'0', 0, 5},
        // Rows are tried from the top: the number of row 0 wins over the
        // letter of row 1.
        {'I', 43, 0}, {'P', 55, 3},
    };
    for (const Case& test : kCases) {
        devid_FlashId id = flashId(7, -1, 9);
        devid_FlashTypeFromCode(test.cLetter, test.nNumber, &id);
        EXPECT_EQ(id, flashId(7, test.nType, 9)) << test.cLetter << " " << test.nNumber;
    }
}

TEST_F(DevidFlashIdTest, HeadOfAFileNamesTypeSizeAndCode)
{
    EXPECT_EQ(fromHead(hexHead("AB125540")), flashId(64, 3, 0x12AB));
    EXPECT_EQ(fromHead(hexHead("C7004310")), flashId(16, 0, 0x00C7));
    EXPECT_EQ(fromHead(hexHead("34125040")), flashId(64, 4, 0x1234));
    // 'F' at 69: no flash identification.
    EXPECT_EQ(fromHead(hexHead("AB12FF40")), flashId(0, 5, 0));
    EXPECT_EQ(fromHead(hexHead("AB12F540")), flashId(0, 5, 0));
    // Size "00": no code.
    EXPECT_EQ(fromHead(hexHead("AB124900")), flashId(0, 1, 0));
    EXPECT_EQ(fromHead(hexHead("AB129940")), flashId(64, 5, 0x12AB));
}

TEST_F(DevidFlashIdTest, HeadNotReadForOtherModelsShortOrMissingFiles)
{
    // Exactly 75 bytes are enough; 74 are not.
    std::string head = hexHead("AB125540");
    m_dir.write("SHORT.HEX", head.substr(0, 74));
    HexFileEntry file = entry("LV5600", "SHORT.HEX");
    EXPECT_EQ(FlashId_FromHexFile(&file), 0);
    EXPECT_EQ(file.flashId, flashId(-1, -1, 0x5555));
    m_dir.write("SHORT.HEX", head.substr(0, 75));
    EXPECT_EQ(FlashId_FromHexFile(&file), 1);
    EXPECT_EQ(file.flashId, flashId(64, 3, 0x12AB));

    HexFileEntry missing = entry("LV5600", "NONE.HEX");
    EXPECT_EQ(FlashId_FromHexFile(&missing), 0);
    EXPECT_EQ(missing.flashId, flashId(-1, -1, 0x5555));

    // Other models keep their entry as it is, file or not.
    HexFileEntry other = entry("KV3360", "NONE.HEX");
    EXPECT_EQ(FlashId_FromHexFile(&other), 1);
    EXPECT_EQ(other.flashId, flashId(-1, -1, 0x5555));
}

TEST_F(DevidFlashIdTest, FileIsOpenedByItsNameAsFoundElseByItsPath)
{
    m_dir.write("lvgb0123.hex", hexHead("C7004310"));
    m_dir.write("LVGB0123.HEX", hexHead("AB125540"));
    ScopedChdir inDir(m_dir.path());
    HexFileEntry file = entry("LV5600", "");
    file.fileName = "lvgb0123.hex";
    file.path = "LVGB0123.HEX";
    EXPECT_EQ(FlashId_FromHexFile(&file), 1);
    EXPECT_EQ(file.flashId, flashId(16, 0, 0x00C7));
    file.fileName.clear();
    EXPECT_EQ(FlashId_FromHexFile(&file), 1);
    EXPECT_EQ(file.flashId, flashId(64, 3, 0x12AB));
}

TEST(DevidFlashCompare, MismatchBits)
{
    struct Case {
        devid_FlashId file;
        devid_FlashId device;
        uint32_t nBits;
    };
    const Case kCases[] = {
        {flashId(64, 3, 0x12AB), flashId(64, 3, 0x12AB), 0},
        {flashId(64, 3, 0x12AB), flashId(64, 3, 0x00C7), devid_kCodesDiffer},
        {flashId(16, 3, 0x12AB), flashId(64, 3, 0x12AB), devid_kSizesDiffer},
        {flashId(16, 0, 0x12AB), flashId(64, 3, 0x00C7), devid_kSizesDiffer | devid_kCodesDiffer | devid_kTypesDiffer},
        {flashId(64, 0, 0x12AB), flashId(64, 3, 0x12AB), devid_kTypesDiffer},
        // A size of 0 on either side: only the types count.
        {flashId(0, 5, 0), flashId(64, 3, 0x12AB), devid_kTypesDiffer},
        {flashId(0, 3, 0), flashId(64, 3, 0x12AB), 0},
        {flashId(64, 3, 0x12AB), flashId(0, 3, 0), 0},
        {flashId(16, 2, 0x12AB), flashId(0, 3, 0x0001), devid_kTypesDiffer},
    };
    for (const Case& test : kCases)
        EXPECT_EQ(FlashId_Compare(test.file, test.device), test.nBits) << test.file << " vs " << test.device;
}

TEST_F(DevidFlashIdTest, CheckBeforeFlashingMaySetStartModeTwo)
{
    struct Case {
        const char* pszModel;
        devid_FlashId file;
        devid_FlashId device;
        int32_t nStartMode;      // before the check
        uint32_t nResult;
        int32_t nStartModeAfter;
    };
    const Case kCases[] = {
        {"LV5600", flashId(64, 3, 0x12AB), flashId(64, 3, 0x12AB), 1, 0, 1},
        // Same part, other code: flashed, loader downloaded first.
        {"LV5600", flashId(64, 3, 0x12AB), flashId(64, 3, 0x00C7), 0, 0, 2},
        {"LV5600", flashId(16, 3, 0x12AB), flashId(64, 3, 0x12AB), 1, devid_kSizesDiffer, 1},
        {"LV5600", flashId(16, 0, 0x12AB), flashId(64, 3, 0x12AB), 1, devid_kSizesDiffer | devid_kTypesDiffer, 1},
        {"LV5600", flashId(0, 5, 0), flashId(64, 3, 0x12AB), 0, devid_kTypesDiffer, 0},
        // A size one side did not report: start mode 1 becomes 2.
        {"LV5600", flashId(64, 3, 0x12AB), flashId(0, 3, 0), 1, 0, 2},
        {"LV5600", flashId(0, 3, 0), flashId(64, 3, 0x12AB), 1, 0, 2},
        {"LV5600", flashId(64, 3, 0x12AB), flashId(0, 3, 0), 0, 0, 0},
        // Other models are not checked.
        {"KV3360", flashId(16, 0, 0x12AB), flashId(64, 3, 0x12AB), 1, 0, 1},
        {"RW3360", flashId(0, 5, 0), flashId(64, 3, 0x12AB), 0, 0, 0},
    };
    for (const Case& test : kCases) {
        HexFileEntry file = entry(test.pszModel, "unused.hex");
        file.flashId = test.file;
        FlashJob job{};
        job.info.flashId = test.device;
        job.nStartMode = test.nStartMode;
        EXPECT_EQ(FlashId_CheckHexForDevice(file, &job), test.nResult) << test.pszModel << " " << test.file;
        EXPECT_EQ(job.nStartMode, test.nStartModeAfter) << test.pszModel << " " << test.file;
    }
}

TEST(DevidFlashStartMode, FromIdentificationStatus)
{
    const int32_t kModes[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 0};
    for (int32_t nStatus = 0; nStatus < 12; ++nStatus) {
        FlashJob job{};
        job.nStartMode = 7;
        devid_StartModeFromStatus(&job, nStatus);
        EXPECT_EQ(job.nStartMode, kModes[nStatus]) << nStatus;
    }
}

}  // namespace
