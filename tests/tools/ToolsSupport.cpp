#include "tests/tools/ToolsSupport.h"

#include "repository/file/RepositoryFile.h"
#include "repository/mof/Compiler.h"
#include "tests/support/Golden.h"

#include <gtest/gtest.h>

#include <memory>
#include <regex>

namespace morrowlen::test {

namespace fs = std::filesystem;

repo::ClassStore compileMof(const std::string& mof) {
    repo::ClassStore store = repo::createInMemoryRepository();
    {
        mof::CompileOptions options;
        options.defaultNamespace = TestNamespace;
        mof::Compiler compiler(store, options);
        EXPECT_EQ(compiler.compileText("test.mof", mof), mof::CompileStatus::Success)
            << compiler.diagnostics().formatAll();
    }
    return store;
}

const repo::ClassStore* dmtfSchema() {
    static std::unique_ptr<repo::ClassStore> store = [] {
        const fs::path schema =
            fs::path(MORROWLEN_CORPORA_DIR) / "dmtf-cim-schema-2.49.0" / "cim_schema_2.49.0.mof";
        if (!fs::exists(schema)) return std::unique_ptr<repo::ClassStore>();
        auto s = std::make_unique<repo::ClassStore>(repo::createInMemoryRepository());
        mof::CompileOptions options;
        options.defaultNamespace = "root\\cimv2";
        mof::Compiler compiler(*s, options);
        EXPECT_EQ(compiler.compileFiles({schema.string()}), mof::CompileStatus::Success);
        return s;
    }();
    return store.get();
}

std::vector<std::string> brokenLinks(const fs::path& site) {
    static const std::regex link(R"re((?:href|src)="([^"]*)")re", std::regex::icase);
    std::vector<std::string> broken;
    for (const auto& entry : fs::recursive_directory_iterator(site)) {
        if (entry.path().extension() != ".html") continue;
        const std::string page = readFile(entry.path());
        for (std::sregex_iterator it(page.begin(), page.end(), link), end; it != end; ++it) {
            const std::string target = (*it)[1];
            if (target.empty() || target.find(':') != std::string::npos ||
                !fs::is_regular_file(entry.path().parent_path() / target))
                broken.push_back(fs::relative(entry.path(), site).string() + ": " + target);
        }
    }
    return broken;
}

} // namespace morrowlen::test
