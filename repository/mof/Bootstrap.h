#pragma once
// Opening the repository the tools and the program work on. This is the one place that decides what
// a newly created repository holds.
#include "repository/store/ClassStore.h"

#include <string>

namespace morrowlen::mof {

// Opens the repository file, creating it (and its folder) when missing; a new repository gets the
// system classes. Throws morrowlen::Error when the file cannot be opened or is not a repository.
repo::ClassStore openOrCreateRepository(const std::string& path);

// A repository in memory with the system classes installed (tests, fuzzing, checks).
repo::ClassStore createInMemoryRepository();

// Copies every namespace, qualifier declaration, class, instance and namespace restriction of
// from into to, which must be new. Used to check a compile against a repository without writing it.
void copyRepository(const repo::ClassStore& from, repo::ClassStore& to);

} // namespace morrowlen::mof
