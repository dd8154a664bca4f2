// The wizard's error code and its messages.
#include "wizard/ErrorTable.h"

#include <gtest/gtest.h>

namespace {

TEST(ErrorTableTest, EveryCodeHasItsMessage)
{
    const struct {
        int32_t nCode;
        const char* pszText;
    } kRows[] = {
        {0, "No Error"},
        {1, "ERROR: Program cancelled by user"},
        {2, "ERROR: No Hex Files Available for Update"},
        {3, "ERROR: No valid devices detected"},
        {4, "ERROR: Devices detected were not the correct model"},
        {5, "ERROR: Devices detected were not the same build"},
        {6, "ERROR: Devices detected were not the correct model and build"},
        {7, "ERROR: No hex files for given model"},
        {8, "ERROR: No hex files for given build"},
        {9, "ERROR: Timeout attempting to identify devices!!"},
        {100, "INTERNAL ERROR: No hex file available."},
        {101, "INTERNAL ERROR: No devices selected."},
    };
    ErrorTable table;
    EXPECT_EQ(table.GetError(), 0);
    for (const auto& row : kRows) {
        EXPECT_EQ(table.GetErrorText(row.nCode), row.pszText);
        EXPECT_EQ(table.GetError(), row.nCode);
    }
}

TEST(ErrorTableTest, OtherCodesAreUnknownAndStillBecomeCurrent)
{
    ErrorTable table;
    EXPECT_EQ(table.GetErrorText(42), "ERROR: Unknown error 42");
    EXPECT_EQ(table.GetError(), 42);
    EXPECT_EQ(table.GetErrorText(-1), "ERROR: Unknown error -1");
    EXPECT_EQ(table.GetErrorText(10), "ERROR: Unknown error 10");
    EXPECT_EQ(table.GetErrorText(INT32_MIN), "ERROR: Unknown error -2147483648");
    EXPECT_EQ(table.GetError(), INT32_MIN);

    // SetError changes the code without a message.
    table.SetError(err_kCancelled);
    EXPECT_EQ(table.GetError(), 1);
}

}  // namespace
