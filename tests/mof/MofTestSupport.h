#pragma once
// Helpers shared by the MOF compiler tests.
#include "repository/mof/Compiler.h"
#include "repository/store/ClassStore.h"
#include "tests/support/Golden.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace morrowlen::test {

// The corpus folder (../shared/corpora beside the project), or nullopt when it is absent.
std::optional<std::filesystem::path> corpus(const std::string& relative);

// Result of compiling MOF text into a store.
struct Compiled {
    mof::CompileStatus status;
    std::string diagnostics; // formatted, as the tool prints them
    std::vector<mof::Diagnostic> list;
    mof::CompileStats stats;
};

Compiled compileText(repo::ClassStore& store, const std::string& text, mof::CompileOptions options = {});
Compiled compileFile(repo::ClassStore& store, const std::filesystem::path& file,
                     mof::CompileOptions options = {});

// Lines (1-based) of the errors in a result.
std::vector<std::uint32_t> errorLines(const mof::Compiler& compiler);

} // namespace morrowlen::test
