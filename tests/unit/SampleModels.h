// A fixture for tests over the sample model database shipped in data/: it
// is loaded afresh for each test and cleared at its end.
#ifndef NORVANE_TESTS_UNIT_SAMPLEMODELS_H
#define NORVANE_TESTS_UNIT_SAMPLEMODELS_H

#include "model/ModelDb.h"

#include <gtest/gtest.h>

class SampleModelsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ModelDb_Clear();
        ASSERT_EQ(ModelDb_LoadFile(NORVANE_DATA_DIR "/Models.ini"), 0);
    }
    void TearDown() override { ModelDb_Clear(); }
};

#endif
