#include "WmiOperations.h"

namespace morrowlen::nav {

using repo::equalsNoCase;

QualifierObject PropertyObject::Qualifiers_(std::string_view name) const {
    if (const auto* q = m_property.qualifier(name)) return QualifierObject(q->value);
    throw Error(wbem::NotFound, "Not found: the property " + m_property.name + " has no qualifier " +
                                    std::string(name));
}

ClassObject::ClassObject(repo::ResolvedClass cls) : m_class(std::move(cls)) {
    m_properties.reserve(m_class.properties.size());
    for (const auto& p : m_class.properties) m_properties.emplace_back(p);
}

std::vector<NamespaceInstance> Services::InstancesOf(std::string_view className) const {
    const auto& model = m_locator->model();
    if (!model.hasClass(m_ns, className))
        throw Error(wbem::InvalidClass, "Invalid class: " + std::string(className) + " in namespace " + m_path);
    std::vector<NamespaceInstance> out;
    if (equalsNoCase(className, "__NAMESPACE")) {
        for (auto& name : model.childNamespaces(m_ns)) out.push_back({std::move(name)});
        return out;
    }
    for (const auto& inst : model.store().instancesOf(m_ns, className)) {
        NamespaceInstance item;
        for (const auto& p : inst.properties)
            if (equalsNoCase(p.name, "Name") && !p.value.isArray()) item.Name = p.value.toText();
        out.push_back(std::move(item));
    }
    return out;
}

std::vector<ClassItem> Services::SubclassesOf() const {
    std::vector<ClassItem> out;
    auto names = m_locator->model().classNames(m_ns);
    out.reserve(names.size());
    for (auto& name : names) out.push_back(ClassItem{ObjectPath{std::move(name)}});
    return out;
}

ClassObject Services::Get(std::string_view className, std::int32_t flags) const {
    return ClassObject(m_locator->model().getClass(m_ns, className, flags));
}

Services connectMoniker(const Locator& locator, std::string_view moniker) {
    constexpr std::string_view scheme = "winmgmts:";
    if (moniker.size() < scheme.size() || !equalsNoCase(moniker.substr(0, scheme.size()), scheme))
        throw Error(MonikerSyntaxError, "Invalid syntax: " + std::string(moniker) + " is not a management moniker");
    std::string_view rest = moniker.substr(scheme.size());
    std::string path;
    if (rest.starts_with("\\\\") || rest.starts_with("//")) {
        rest.remove_prefix(2);
        std::size_t sep = rest.find_first_of("\\/");
        std::string_view host = rest.substr(0, sep);
        if (host != ".")
            throw Error(HostUnavailable, "The computer \"" + std::string(host) +
                                             "\" cannot be reached: only the local computer \".\" is served");
        rest = sep == std::string_view::npos ? std::string_view() : rest.substr(sep + 1);
    }
    path.assign(rest);
    for (char& c : path)
        if (c == '/') c = '\\';
    repo::NamespaceId ns = locator.model().openNamespace(path);
    return Services(locator, ns, path);
}

} // namespace morrowlen::nav
