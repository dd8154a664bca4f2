// The simulator's configuration file: the line an error is reported on.
#include "sim/SimConfig.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(SimConfig, ReportsTheLineOfAnError)
{
    std::vector<SimDeviceConfig> devices;
    std::string error;
    const char* kBad[][2] = {
        {"echo = 1\n", "line 1"},         {"[COM3]\nlate = soon\n", "line 2"},           {"[LPT1]\n", "line 1"},
        {"[COM3]\nnonsense\n", "line 2"}, {"[COM3]\n\nfamily = toaster\n", "line 3"},
    };
    for (const auto& bad : kBad) {
        devices.clear();
        EXPECT_FALSE(sim_ParseConfig(bad[0], &devices, &error)) << bad[0];
        EXPECT_EQ(error.rfind(bad[1], 0), 0u) << error;
        EXPECT_TRUE(devices.empty());
    }
}

}  // namespace
