#pragma once
// MOF files opened in the program: compiled into a repository that lives in memory for one run, so
// that browsing an export or a vendor's MOF changes nothing on disk.
#include "CommandLine.h"
#include "repository/store/ClassStore.h"

#include <optional>
#include <string>
#include <vector>

namespace morrowlen::shell {

struct PrivateRepository {
    std::optional<repo::ClassStore> store; // empty when the files did not compile
    std::vector<std::string> diagnostics;  // "file:line:col: error: message", in the compiler's order
    std::size_t errors = 0;
    std::size_t warnings = 0;
};

// Compiles options.mofFiles, as one unit, into a repository in memory: a copy of the repository file
// options.repository names, else the system classes with (unless options.defaultSet is off) the
// default set. Throws morrowlen::Error only when that base cannot be opened.
PrivateRepository compilePrivateRepository(const StartOptions& options);

} // namespace morrowlen::shell
