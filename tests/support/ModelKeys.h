// Model keys for tests over a loaded model database.
#ifndef NORVANE_TESTS_SUPPORT_MODELKEYS_H
#define NORVANE_TESTS_SUPPORT_MODELKEYS_H

#include "model/ModelKey.h"

#include <cstdint>

// The key of the model named pszName with nBuild selected (-1 or a build
// without a lock: no build). The calling test fails when the database has
// no such model.
ModelKey test_KeyOf(const char* pszName, int32_t nBuild);

#endif
