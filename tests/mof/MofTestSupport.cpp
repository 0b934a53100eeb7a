#include "tests/mof/MofTestSupport.h"

#include <fstream>
#include <iterator>

namespace morrowlen::test {

std::optional<std::filesystem::path> corpus(const std::string& relative) {
    const std::filesystem::path p = std::filesystem::path(MORROWLEN_CORPORA_DIR) / relative;
    std::error_code ec;
    if (!std::filesystem::exists(p, ec)) return std::nullopt;
    return p;
}

namespace {
Compiled finish(mof::Compiler& compiler, mof::CompileStatus status) {
    return {status, compiler.diagnostics().formatAll(), compiler.diagnostics().all(), compiler.stats()};
}
} // namespace

Compiled compileText(repo::ClassStore& store, const std::string& text, mof::CompileOptions options) {
    mof::Compiler compiler(store, std::move(options));
    const auto status = compiler.compileText("test.mof", text);
    return finish(compiler, status);
}

Compiled compileFile(repo::ClassStore& store, const std::filesystem::path& file,
                     mof::CompileOptions options) {
    mof::Compiler compiler(store, std::move(options));
    const auto status = compiler.compileFiles({file.string()});
    return finish(compiler, status);
}

std::vector<std::uint32_t> errorLines(const mof::Compiler& compiler) {
    std::vector<std::uint32_t> lines;
    for (const mof::Diagnostic& d : compiler.diagnostics().all())
        if (d.severity == mof::Severity::Error && d.location.file != mof::NoFile)
            lines.push_back(compiler.sources().file(d.location.file).position(d.location.offset).line);
    return lines;
}

} // namespace morrowlen::test
