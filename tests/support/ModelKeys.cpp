#include "support/ModelKeys.h"

#include <gtest/gtest.h>

ModelKey test_KeyOf(const char* pszName, int32_t nBuild)
{
    ModelKey key;
    EXPECT_EQ(ModelKey_SetModelByName(&key, pszName), 1) << pszName;
    ModelKey_SelectBuild(&key, nBuild);
    return key;
}
