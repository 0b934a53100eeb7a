#include "tests/support/TestRepository.h"

#include <random>

namespace morrowlen::test {

TempDir::TempDir() {
    std::random_device rd;
    m_path = std::filesystem::temp_directory_path() /
             ("morrowlen-test-" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(m_path);
}

TempDir::~TempDir() {
    std::error_code ec;
    // Restore write permission on anything a test made read-only, so it can be removed.
    for (auto it = std::filesystem::recursive_directory_iterator(m_path, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

repo::Qualifier stringQualifier(std::string name, std::string value, std::uint32_t flavors) {
    repo::Qualifier q;
    q.name = std::move(name);
    q.type = repo::CimType::String;
    q.value = repo::Value::string(std::move(value));
    q.flavors = flavors;
    return q;
}

repo::Qualifier intQualifier(std::string name, std::int64_t value, std::uint32_t flavors) {
    repo::Qualifier q;
    q.name = std::move(name);
    q.type = repo::CimType::SInt32;
    q.value = repo::Value::sint(value);
    q.flavors = flavors;
    return q;
}

repo::Qualifier nullQualifier(std::string name, std::uint32_t flavors) {
    repo::Qualifier q;
    q.name = std::move(name);
    q.type = repo::CimType::SInt32;
    q.flavors = flavors;
    return q;
}

repo::PropertyDef property(std::string name, repo::CimType type, std::vector<repo::Qualifier> qualifiers) {
    repo::PropertyDef p;
    p.name = std::move(name);
    p.type = type;
    p.qualifiers = std::move(qualifiers);
    return p;
}

repo::ClassDef makeClass(std::string name, std::string superclass, std::vector<repo::PropertyDef> properties,
                         std::vector<repo::Qualifier> qualifiers) {
    repo::ClassDef c;
    c.name = std::move(name);
    c.superclass = std::move(superclass);
    c.properties = std::move(properties);
    c.qualifiers = std::move(qualifiers);
    return c;
}

repo::NamespaceId ensureNamespace(repo::ClassStore& store, const std::string& path) {
    repo::NamespaceId ns = store.rootNamespace();
    std::size_t start = path.find('\\');
    while (start != std::string::npos) {
        std::size_t next = path.find('\\', start + 1);
        ns = store.createNamespace(
            ns, path.substr(start + 1, next == std::string::npos ? std::string::npos : next - start - 1));
        start = next;
    }
    return ns;
}

repo::Identity ordinaryUser(std::string name) {
    repo::Identity id;
    id.user = std::move(name);
    id.groups = {"users"};
    id.administrator = false;
    return id;
}

} // namespace morrowlen::test
