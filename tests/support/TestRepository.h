#pragma once
// Builds real repository files in a temporary folder for tests, through the store's own API.
#include "repository/model/ClassModel.h"
#include "repository/store/ClassStore.h"

#include <filesystem>
#include <initializer_list>
#include <string>
#include <utility>

namespace morrowlen::test {

// A fresh temporary folder, removed with everything in it when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

  private:
    std::filesystem::path m_path;
};

// A qualifier with a string, integer or null value.
repo::Qualifier stringQualifier(std::string name, std::string value,
                                std::uint32_t flavors = repo::flavor::Default);
repo::Qualifier intQualifier(std::string name, std::int64_t value,
                             std::uint32_t flavors = repo::flavor::Default);
repo::Qualifier nullQualifier(std::string name, std::uint32_t flavors = repo::flavor::Default);

repo::PropertyDef property(std::string name, repo::CimType type,
                           std::vector<repo::Qualifier> qualifiers = {});
repo::ClassDef makeClass(std::string name, std::string superclass,
                         std::vector<repo::PropertyDef> properties = {},
                         std::vector<repo::Qualifier> qualifiers = {});

// Creates the namespace path (and its ancestors) and returns its id.
repo::NamespaceId ensureNamespace(repo::ClassStore& store, const std::string& path);

// A non-administrator identity for access tests (the suite may well run as root).
repo::Identity ordinaryUser(std::string name = "alice");

} // namespace morrowlen::test
