#pragma once

#include <cstdlib>
#include <filesystem>

namespace testsupport {

// The test's source folder: ctest names it in QUORVEX_TEST_DATA; run by hand, the test
// program knows it from the build.
inline std::filesystem::path TestDataFolder() {
    if (const char* dir = std::getenv("QUORVEX_TEST_DATA"); dir != nullptr && *dir != '\0')
        return dir;
    return QUORVEX_TEST_SOURCE_DIR;
}

} // namespace testsupport
