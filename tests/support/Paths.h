#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

// Where tests find their data and the programs under test.
namespace testpaths {

// The project's own test data (tests/data).
inline std::filesystem::path Data(const std::string& name = {}) {
    return std::filesystem::path(BRIMLOW_TEST_DATA_DIR) / name;
}

// The shared fixtures that stay outside the project; $BRIMLOW_SHARED_FIXTURES overrides.
inline std::filesystem::path SharedFixtures(const std::string& name = {}) {
    const char* env = std::getenv("BRIMLOW_SHARED_FIXTURES");
    return std::filesystem::path(env && *env ? env : BRIMLOW_SHARED_FIXTURES_DIR) / name;
}

// Why a test that needs a shared fixture skips: where it looked, and how to point elsewhere.
inline std::string MissingSharedFixture(const std::string& name) {
    return SharedFixtures(name).lexically_normal().string() +
           " is not here: the shared fixtures stay outside the project; set "
           "BRIMLOW_SHARED_FIXTURES to their folder to run this test";
}

inline std::filesystem::path Source(const std::string& name = {}) {
    return std::filesystem::path(BRIMLOW_SOURCE_DIR) / name;
}

// The build tree: brimlow, brimlow-migrate and brimlow-vet live at its top.
inline std::filesystem::path Build(const std::string& name = {}) {
    return std::filesystem::path(BRIMLOW_BINARY_DIR) / name;
}

}  // namespace testpaths
