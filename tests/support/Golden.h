#pragma once
// Golden files: expected output kept beside the tests and compared byte for byte.
// MORROWLEN_UPDATE_GOLDEN=1 rewrites them from what the code produces now.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace morrowlen::test {

inline std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline bool updatingGolden() {
    const char* update = std::getenv("MORROWLEN_UPDATE_GOLDEN");
    return update && std::string(update) == "1";
}

// Expects actual to equal the golden file, or rewrites the file when updating.
inline void expectGolden(const std::filesystem::path& golden, const std::string& actual) {
    if (updatingGolden()) {
        writeFile(golden, actual);
        return;
    }
    ASSERT_TRUE(std::filesystem::exists(golden))
        << golden << " is missing; run with MORROWLEN_UPDATE_GOLDEN=1";
    EXPECT_TRUE(readFile(golden) == actual)
        << "output differs from " << golden
        << "; if the change is intended, run with MORROWLEN_UPDATE_GOLDEN=1";
}

} // namespace morrowlen::test
