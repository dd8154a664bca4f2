// The simulator's AT-protocol boot code as configured: the words of its key.
#include "sim/SimAtBoot.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

TEST(SimAtBootTest, ParsesTheWordsOfTheKey)
{
    SimAtBootConfig c;
    std::string error;
    ASSERT_TRUE(sim_ParseAtBoot("version=1.07 speed=K wake=none baud=ERROR echo=0 dpoff=none n=ERROR "
                                "bootonly=1 pace=0 errorblock=2 errors=3 nogo=4 silentafter=5 dropafter=6 image=/x.hex",
                                &c, &error))
        << error;
    EXPECT_EQ(std::make_tuple(c.version, c.cSpeed, c.cWake, c.baudResult, c.bEcho, c.dpOffResult, c.nResult),
              std::make_tuple(std::string("1.07"), 'K', '\0', std::string("ERROR"), false, std::string(),
                              std::string("ERROR")));
    EXPECT_EQ(std::make_tuple(c.bBootOnly, c.bPaceInput, c.nErrorBlock, c.nErrorTimes, c.nNoGoBlock, c.nSilentAfter,
                              c.nDropAfter, c.imagePath),
              std::make_tuple(true, false, 2, 3, 4, 5, 6, std::string("/x.hex")));
    for (const char* pszBad : {"speed=KM", "bogus=1", "errors=-1", "pace=2", "version=", "nogo"}) {
        EXPECT_FALSE(sim_ParseAtBoot(pszBad, &c, &error)) << pszBad;
        EXPECT_NE(error.find("atboot"), std::string::npos) << pszBad;
    }
}

}  // namespace
