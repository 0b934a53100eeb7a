// Feeds arbitrary bytes through the whole compiler into an in-memory repository. Any crash, hang,
// leak or sanitizer report is a bug: MOF input must only ever produce diagnostics.
#include "repository/file/RepositoryFile.h"
#include "repository/mof/Compiler.h"

#include <cstddef>
#include <cstdint>
#include <string>

using namespace morrowlen;

namespace {
// The system classes are installed once; each input compiles inside a transaction that is rolled
// back unless it succeeds, and successful inputs are few and small.
repo::ClassStore& store() {
    static repo::ClassStore s = repo::createInMemoryRepository();
    return s;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (1u << 16)) return 0;
    mof::CompileOptions options;
    options.maxErrors = 20;
    options.readIncludes = false;
    mof::Compiler compiler(store(), options);
    compiler.compileText("fuzz.mof", std::string(reinterpret_cast<const char*>(data), size));
    (void)compiler.diagnostics().formatAll();
    return 0;
}
