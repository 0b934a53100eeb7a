#include "repository/model/LocalRepository.h"

#include "repository/core/Error.h"

#include <algorithm>

namespace morrowlen::repo {

bool globMatchNoCase(std::string_view glob, std::string_view text) {
    // Iterative matching with one backtrack point: linear for the patterns people type.
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    std::size_t g = 0, t = 0, star = std::string_view::npos, resume = 0;
    while (t < text.size()) {
        if (g < glob.size() && (glob[g] == '?' || lower(glob[g]) == lower(text[t]))) {
            ++g;
            ++t;
        } else if (g < glob.size() && glob[g] == '*') {
            star = g++;
            resume = t;
        } else if (star != std::string_view::npos) {
            g = star + 1;
            t = ++resume;
        } else {
            return false;
        }
    }
    while (g < glob.size() && glob[g] == '*') ++g;
    return g == glob.size();
}

NamespaceHandle LocalRepository::openNamespace(std::string_view path) const { return m_model.openNamespace(path); }

std::string LocalRepository::namespacePath(NamespaceHandle ns) const { return m_model.store().namespacePath(ns); }

std::vector<std::string> LocalRepository::childNamespaces(NamespaceHandle ns) const {
    return m_model.childNamespaces(ns);
}

std::vector<std::string> LocalRepository::classNames(NamespaceHandle ns) const { return m_model.classNames(ns); }

bool LocalRepository::hasClass(NamespaceHandle ns, std::string_view className) const {
    return m_model.hasClass(ns, className);
}

ResolvedClass LocalRepository::getClass(NamespaceHandle ns, std::string_view className, std::int32_t flags) const {
    return m_model.getClass(ns, className, flags);
}

std::vector<std::string> LocalRepository::instanceNames(NamespaceHandle ns, std::string_view className) const {
    std::vector<std::string> out;
    for (const auto& inst : m_model.store().instancesOf(ns, className)) {
        std::string name;
        for (const auto& p : inst.properties)
            if (equalsNoCase(p.name, "Name") && !p.value.isArray()) name = p.value.toText();
        out.push_back(std::move(name));
    }
    return out;
}

std::optional<QualifierDecl> LocalRepository::qualifierDecl(NamespaceHandle ns, std::string_view name) const {
    return m_model.store().getQualifierDecl(ns, name);
}

std::vector<ClassMatch> LocalRepository::findClasses(NamespaceHandle under, std::string_view nameGlob,
                                                     std::vector<std::string>* refused) const {
    const ClassStore& store = m_model.store();
    std::vector<ClassMatch> out;
    std::vector<NamespaceId> pending{under};
    while (!pending.empty()) {
        const NamespaceId ns = pending.back();
        pending.pop_back();
        const std::string path = store.namespacePath(ns);
        try {
            m_model.openNamespace(path);
        } catch (const Error& e) {
            if (e.number() != wbem::AccessDenied) throw;
            if (refused) refused->push_back(path);
            continue;
        }
        for (const std::string& name : store.classNames(ns))
            if (globMatchNoCase(nameGlob, name)) out.push_back({path, name});
        for (const auto& child : store.childNamespaces(ns)) pending.push_back(child.first);
    }
    std::sort(out.begin(), out.end(), [](const ClassMatch& a, const ClassMatch& b) {
        const std::string nsA = foldCase(a.namespacePath), nsB = foldCase(b.namespacePath);
        return nsA != nsB ? nsA < nsB : foldCase(a.className) < foldCase(b.className);
    });
    return out;
}

} // namespace morrowlen::repo
