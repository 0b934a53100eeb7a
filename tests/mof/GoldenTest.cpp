// Golden diagnostics: every golden/NAME.mof is compiled into a new repository and what the compiler
// prints must equal golden/NAME.expected byte for byte. MORROWLEN_UPDATE_GOLDEN=1 rewrites them.
#include "repository/file/RepositoryFile.h"
#include "tests/mof/MofTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace morrowlen;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> goldenCases() {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(MORROWLEN_MOF_GOLDEN_DIR))
        if (entry.path().extension() == ".mof") names.push_back(entry.path().stem().string());
    std::sort(names.begin(), names.end());
    return names;
}

class Golden : public ::testing::TestWithParam<std::string> {};

TEST_P(Golden, DiagnosticsMatchTheExpectedFile) {
    const fs::path dir = MORROWLEN_MOF_GOLDEN_DIR;
    const fs::path mof = dir / (GetParam() + ".mof");
    const fs::path expectedFile = dir / (GetParam() + ".expected");

    repo::ClassStore store = repo::createInMemoryRepository();
    mof::Compiler compiler(store);
    const mof::CompileStatus status = compiler.compileFiles({mof.string()});
    std::string actual = compiler.diagnostics().formatAll();
    // Paths are shown relative to the golden folder, so the files do not depend on the checkout.
    const std::string prefix = dir.string() + "/";
    for (std::size_t at; (at = actual.find(prefix)) != std::string::npos;)
        actual.erase(at, prefix.size());
    actual += "exit status " + std::to_string(static_cast<int>(status)) + "\n";

    test::expectGolden(expectedFile, actual);
}

INSTANTIATE_TEST_SUITE_P(Cases, Golden, ::testing::ValuesIn(goldenCases()),
                         [](const auto& info) { return info.param; });

} // namespace
