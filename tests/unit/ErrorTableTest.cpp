// The wizard's error code and its messages.
#include "wizard/ErrorTable.h"

#include <gtest/gtest.h>

namespace {

TEST(ErrorTableTest, EveryCodeHasItsMessageOthersAreUnknownAndAllBecomeCurrent)
{
    const char* const kTexts[] = {"No Error",
                                  "ERROR: Program cancelled by user",
                                  "ERROR: No Hex Files Available for Update",
                                  "ERROR: No valid devices detected",
                                  "ERROR: Devices detected were not the correct model",
                                  "ERROR: Devices detected were not the same build",
                                  "ERROR: Devices detected were not the correct model and build",
                                  "ERROR: No hex files for given model",
                                  "ERROR: No hex files for given build",
                                  "ERROR: Timeout attempting to identify devices!!"};
    ErrorTable table;
    EXPECT_EQ(table.GetError(), 0);
    for (int32_t nCode = 0; nCode < 10; ++nCode)
        EXPECT_EQ(table.GetErrorText(nCode), kTexts[nCode]);
    EXPECT_EQ(table.GetErrorText(100), "INTERNAL ERROR: No hex file available.");
    EXPECT_EQ(table.GetErrorText(101), "INTERNAL ERROR: No devices selected.");
    EXPECT_EQ(table.GetError(), 101);

    EXPECT_EQ(table.GetErrorText(10), "ERROR: Unknown error 10");
    EXPECT_EQ(table.GetErrorText(-1), "ERROR: Unknown error -1");
    EXPECT_EQ(table.GetErrorText(INT32_MIN), "ERROR: Unknown error -2147483648");
    EXPECT_EQ(table.GetError(), INT32_MIN);
    // SetError changes the code without a message.
    table.SetError(err_kCancelled);
    EXPECT_EQ(table.GetError(), 1);
}

}  // namespace
