#pragma once
// Repositories for the tests of doc and diff: MOF text compiled in memory, and the DMTF schema
// compiled once per run.
#include "repository/store/ClassStore.h"

#include <filesystem>
#include <string>
#include <vector>

namespace morrowlen::test {

inline constexpr const char* TestNamespace = "root\\test";

// The MOF compiled into root\test of a fresh in-memory repository; a failed compile fails the test.
repo::ClassStore compileMof(const std::string& mof);

// The DMTF CIM schema 2.49.0 compiled into root\cimv2, or nullptr when the corpus is absent.
const repo::ClassStore* dmtfSchema();

// Every href and src of the site's pages that does not name an existing file, as "page: target".
std::vector<std::string> brokenLinks(const std::filesystem::path& site);

} // namespace morrowlen::test
