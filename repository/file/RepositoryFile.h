#pragma once
// Opening the repository the tools and the program work on. This is the one place that decides what
// a newly created repository holds.
#include "repository/store/ClassStore.h"

#include <string>

namespace morrowlen::repo {

// What a repository holds when it is created.
enum class NewRepository {
    DefaultSet,        // the system classes and the embedded default repository
    SystemClassesOnly, // the system classes alone
};

// Opens the repository file, creating it (and its folder) when missing. A new repository is built
// completely beside its final name and then moved there, so an interrupted creation leaves nothing
// half filled; an existing repository is never overwritten. Throws morrowlen::Error when the file
// cannot be opened or is not a repository.
repo::ClassStore openOrCreateRepository(const std::string& path,
                                        NewRepository contents = NewRepository::DefaultSet);

// Opens the repository for browsing: read-only, never written, so that a read-only file or a file
// in a read-only folder can be browsed. A missing file is created first (as above) only when
// createWhenMissing is true (the default location); otherwise its absence is the error.
repo::ClassStore openRepositoryForReading(const std::string& path, bool createWhenMissing);

// A repository in memory with the system classes installed (tests, fuzzing, checks), and the default
// set when asked for.
repo::ClassStore createInMemoryRepository(NewRepository contents = NewRepository::SystemClassesOnly);

} // namespace morrowlen::repo
