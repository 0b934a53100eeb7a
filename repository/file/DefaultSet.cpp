#include "repository/file/DefaultSet.h"

#include "repository/core/Error.h"
#include "repository/mof/Compiler.h"

namespace morrowlen::repo {

void compileDefaultSet(ClassStore& store) {
    std::vector<mof::CompileInput> inputs;
    for (const DefaultSetFile& file : defaultSetFiles())
        inputs.push_back(
            mof::CompileInput{"default-repository/" + std::string(file.name), std::string(file.text)});
    mof::Compiler compiler(store);
    if (compiler.compile(inputs) != mof::CompileStatus::Success)
        throw Error(wbem::Failed, "The embedded default repository does not compile:\n" +
                                      compiler.diagnostics().formatAll());
}

} // namespace morrowlen::repo
