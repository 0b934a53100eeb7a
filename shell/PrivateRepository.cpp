#include "PrivateRepository.h"

#include "repository/file/RepositoryFile.h"
#include "repository/mof/Compiler.h"

namespace morrowlen::shell {

PrivateRepository compilePrivateRepository(const StartOptions& options) {
    PrivateRepository result;
    repo::ClassStore store =
        options.repository
            ? repo::openRepositoryForReading(*options.repository, false).copyInMemory()
            : repo::createInMemoryRepository(options.defaultSet ? repo::NewRepository::DefaultSet
                                                                : repo::NewRepository::SystemClassesOnly);
    // As the platform's compiler: declarations before any #pragma namespace go to root\default.
    mof::Compiler compiler(store);
    const mof::CompileStatus status = compiler.compileFiles(options.mofFiles);
    const mof::Diagnostics& diagnostics = compiler.diagnostics();
    for (const mof::Diagnostic& d : diagnostics.all())
        result.diagnostics.push_back(diagnostics.formatLine(d));
    if (diagnostics.limitReached())
        result.diagnostics.push_back("error: too many errors; the compile stopped after " +
                                     std::to_string(diagnostics.errorCount()));
    result.errors = diagnostics.errorCount();
    result.warnings = diagnostics.warningCount();
    if (status == mof::CompileStatus::Success) result.store.emplace(std::move(store));
    return result;
}

} // namespace morrowlen::shell
