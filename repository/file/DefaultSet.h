#pragma once
// The embedded default repository: MOF files written for this project that model a typical
// desktop machine, compiled into every repository that is created.
#include <string_view>
#include <vector>

namespace morrowlen::repo {

struct DefaultSetFile {
    std::string_view name; // file name in data/default-repository
    std::string_view text;
};

// The files in the order in which default.mof includes them.
const std::vector<DefaultSetFile>& defaultSetFiles();

} // namespace morrowlen::repo

namespace morrowlen::repo {
class ClassStore;
// Compiles the default set into the store (which holds the system classes already), in one
// transaction. Throws Error with the compiler's diagnostics should the embedded text not compile.
void compileDefaultSet(ClassStore& store);

// The bytes of a repository file holding the system classes and the default set, made from the
// files above when the program is built (a normal repository, journal mode DELETE).
std::string_view defaultRepositoryImage();
// The same for a repository of the system classes alone.
std::string_view systemRepositoryImage();
} // namespace morrowlen::repo
