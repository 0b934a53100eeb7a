#include "repository/mof/SystemClasses.h"

#include "repository/core/Error.h"
#include "repository/mof/Compiler.h"

namespace morrowlen::mof {

namespace generated {
extern const char systemClassesMof[];
extern const std::size_t systemClassesMofSize;
} // namespace generated

std::string_view systemClassesMof() {
    return {generated::systemClassesMof, generated::systemClassesMofSize};
}

void installSystemClasses(repo::ClassStore& store) {
    CompileOptions options;
    options.systemClasses = true;
    Compiler compiler(store, options);
    if (compiler.compileText("SystemClasses.mof", std::string(systemClassesMof())) != CompileStatus::Success)
        throw Error(wbem::Failed,
                    "The system classes could not be installed:\n" + compiler.diagnostics().formatAll());
}

} // namespace morrowlen::mof
