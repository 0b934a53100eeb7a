// Feeds arbitrary bytes through the whole compiler into an in-memory repository. Any crash, hang,
// leak or sanitizer report is a bug: MOF input must only ever produce diagnostics.
#include "repository/file/RepositoryFile.h"
#include "repository/mof/Compiler.h"

#include <cstddef>
#include <cstdint>
#include <string>

using namespace morrowlen;

namespace {
// The system classes are compiled once; every input gets its own copy of that repository, so a
// saved input reproduces alone, whatever ran before it.
const repo::ClassStore& pristine() {
    static const repo::ClassStore s = repo::createInMemoryRepository();
    return s;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > (1u << 16)) return 0;
    mof::CompileOptions options;
    options.maxErrors = 20;
    options.readIncludes = false;
    repo::ClassStore store = pristine().copyInMemory();
    mof::Compiler compiler(store, options);
    compiler.compileText("fuzz.mof", std::string(reinterpret_cast<const char*>(data), size));
    (void)compiler.diagnostics().formatAll();
    return 0;
}
