#pragma once
#include <string>

namespace morrowlen::repo {

// Where the repository lives: $MORROWLEN_REPOSITORY when set, otherwise
// $XDG_DATA_HOME/morrowlen/repository.sqlite (~/.local/share/morrowlen/repository.sqlite).
std::string defaultRepositoryPath();

} // namespace morrowlen::repo
