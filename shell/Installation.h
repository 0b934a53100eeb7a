#pragma once
// Where the program's own files are: an installed program's bin folder lies beside
// share/morrowlen; anywhere else it runs from a build tree.
#include <filesystem>

namespace morrowlen::shell {

struct Installation {
    bool installed = false;
    std::filesystem::path dataFolder; // share/morrowlen of an installed program, empty otherwise
};

Installation findInstallation(const std::filesystem::path& programFolder);

} // namespace morrowlen::shell
