#include "navigation/WmiOperations.h"

#include "repository/model/LocalRepository.h"

namespace morrowlen::nav {

using repo::equalsNoCase;

QualifierObject PropertyObject::Qualifiers_(std::string_view name) const {
    if (const auto* q = m_property.qualifier(name)) return QualifierObject(q->value);
    throw Error(wbem::NotFound,
                "Not found: the property " + m_property.name + " has no qualifier " + std::string(name));
}

ClassObject::ClassObject(repo::ResolvedClass cls) : m_class(std::move(cls)) {
    m_properties.reserve(m_class.properties.size());
    for (const auto& p : m_class.properties)
        m_properties.emplace_back(p);
}

Locator::Locator(const repo::ClassStore& store, repo::Identity identity)
    : m_local(std::make_shared<repo::LocalRepository>(store, std::move(identity))) {}

const repo::ClassSource& Locator::source(std::string_view host) const {
    if (host != ".")
        throw Error(HostUnavailable, "The computer \"" + std::string(host) +
                                         "\" cannot be reached: only the local computer \".\" is served");
    return *m_local;
}

std::vector<NamespaceInstance> Services::InstancesOf(std::string_view className) const {
    if (!m_source->hasClass(m_ns, className))
        throw Error(wbem::InvalidClass,
                    "Invalid class: " + std::string(className) + " in namespace " + m_path);
    std::vector<NamespaceInstance> out;
    auto names = equalsNoCase(className, "__NAMESPACE") ? m_source->childNamespaces(m_ns)
                                                        : m_source->instanceNames(m_ns, className);
    out.reserve(names.size());
    for (auto& name : names)
        out.push_back({std::move(name)});
    return out;
}

std::vector<ClassItem> Services::SubclassesOf() const {
    std::vector<ClassItem> out;
    auto names = m_source->classNames(m_ns);
    out.reserve(names.size());
    for (auto& name : names)
        out.push_back(ClassItem{ObjectPath{std::move(name)}});
    return out;
}

ClassObject Services::Get(std::string_view className, std::int32_t flags) const {
    return ClassObject(m_source->getClass(m_ns, className, flags));
}

Services connectMoniker(const Locator& locator, std::string_view moniker) {
    constexpr std::string_view scheme = "winmgmts:";
    if (moniker.size() < scheme.size() || !equalsNoCase(moniker.substr(0, scheme.size()), scheme))
        throw Error(MonikerSyntaxError,
                    "Invalid syntax: " + std::string(moniker) + " is not a management moniker");
    std::string_view rest = moniker.substr(scheme.size());
    std::string path;
    std::string_view host = ".";
    if (rest.starts_with("\\\\") || rest.starts_with("//")) {
        rest.remove_prefix(2);
        std::size_t sep = rest.find_first_of("\\/");
        host = rest.substr(0, sep);
        rest = sep == std::string_view::npos ? std::string_view() : rest.substr(sep + 1);
    }
    const repo::ClassSource& source = locator.source(host);
    path.assign(rest);
    for (char& c : path)
        if (c == '/') c = '\\';
    const repo::NamespaceHandle ns = source.openNamespace(path);
    return Services(source, ns, path);
}

} // namespace morrowlen::nav
