#include "repository/model/LocalRepository.h"

#include "repository/core/Error.h"

#include <algorithm>
#include <map>
#include <tuple>

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
    while (g < glob.size() && glob[g] == '*')
        ++g;
    return g == glob.size();
}

namespace {
struct SnapshotScope : ReadScope {
    explicit SnapshotScope(std::unique_ptr<ReadSnapshot> s) : snapshot(std::move(s)) {}
    std::unique_ptr<ReadSnapshot> snapshot;
};
} // namespace

std::unique_ptr<ReadScope> LocalRepository::holdReads() const {
    return std::make_unique<SnapshotScope>(m_model.store().holdReads());
}

NamespaceHandle LocalRepository::openNamespace(std::string_view path) const {
    return m_model.openNamespace(path);
}

std::string LocalRepository::namespacePath(NamespaceHandle ns) const {
    return m_model.store().namespacePath(ns);
}

std::vector<std::string> LocalRepository::childNamespaces(NamespaceHandle ns) const {
    return m_model.childNamespaces(ns);
}

std::vector<std::string> LocalRepository::classNames(NamespaceHandle ns) const {
    return m_model.classNames(ns);
}

std::vector<ClassLink> LocalRepository::classLinks(NamespaceHandle ns) const {
    const auto rows = m_model.store().classesWithSuperclass(ns);
    std::map<std::string, std::string, std::less<>> declared; // folded -> as declared
    for (const auto& row : rows)
        declared.emplace(foldCase(row.first), row.first);
    std::vector<ClassLink> out;
    out.reserve(rows.size());
    for (const auto& [name, superKey] : rows) {
        std::string superclass;
        if (auto it = declared.find(superKey); it != declared.end())
            superclass = it->second;
        else if (!superKey.empty())
            superclass =
                m_model.findClassDef(ns, superKey) ? m_model.findClassDef(ns, superKey)->name : superKey;
        out.push_back({name, std::move(superclass)});
    }
    return out;
}

bool LocalRepository::hasClass(NamespaceHandle ns, std::string_view className) const {
    return m_model.hasClass(ns, className);
}

ResolvedClass LocalRepository::getClass(NamespaceHandle ns, std::string_view className,
                                        std::int32_t flags) const {
    return m_model.getClass(ns, className, flags);
}

std::vector<std::string> LocalRepository::instanceNames(NamespaceHandle ns,
                                                        std::string_view className) const {
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

namespace {

bool carries(const std::vector<ResolvedQualifier>& qualifiers, const FindQuery& query) {
    for (const ResolvedQualifier& q : qualifiers) {
        if (!equalsNoCase(q.name, *query.qualifier)) continue;
        if (query.qualifierValue) {
            if (q.value.isArray()) {
                for (const Scalar& item : q.value.items())
                    if (equalsNoCase(scalarToText(item), *query.qualifierValue)) return true;
                return false;
            }
            return equalsNoCase(q.value.toText(), *query.qualifierValue);
        }
        return !(q.value == Value::boolean(false));
    }
    return false;
}

} // namespace

std::vector<FindHit> LocalRepository::find(NamespaceHandle under, const FindQuery& query,
                                           std::vector<std::string>* refused) const {
    const ClassStore& store = m_model.store();
    const std::int32_t flags = query.amended ? UseAmendedQualifiers : 0;

    // The namespaces searched: under and its descendants, less those refused (and what lies below).
    // The ms_409 children hold amendments of their parent's classes, not classes of their own: they
    // are searched only when named as under, and otherwise lend their descriptions on --amended.
    std::map<NamespaceId, std::string> searched;
    std::map<NamespaceId, NamespaceId> amendments; // ms_409 child -> parent
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
        if (ns != under && equalsNoCase(store.namespaceName(ns), AmendmentNamespace))
            amendments.emplace(ns, *store.parentNamespace(ns));
        else
            searched.emplace(ns, path);
        for (const auto& child : store.childNamespaces(ns))
            pending.push_back(child.first);
    }
    if (refused) std::sort(refused->begin(), refused->end());

    // Candidates before the property and qualifier criteria: (namespace, class, property or "").
    std::vector<std::tuple<NamespaceId, std::string, std::string>> candidates;
    if (!query.text.empty()) {
        for (DescriptionHit& hit : store.searchDescriptions(query.text)) {
            NamespaceId ns = hit.ns;
            if (const auto a = amendments.find(ns);
                a != amendments.end() && query.amended && store.hasClass(a->second, hit.className))
                ns = a->second;
            if (searched.count(ns) && globMatchNoCase(query.nameGlob, hit.className))
                candidates.emplace_back(ns, std::move(hit.className), std::move(hit.property));
        }
    } else {
        for (const auto& [ns, path] : searched)
            for (std::string& name : store.classNames(ns))
                if (globMatchNoCase(query.nameGlob, name)) candidates.emplace_back(ns, std::move(name), "");
    }

    std::vector<FindHit> out;
    const bool resolve = query.propertyGlob || query.qualifier;
    for (const auto& [ns, className, property] : candidates) {
        if (!resolve) {
            out.push_back({searched[ns], className, property});
            continue;
        }
        const ResolvedClass cls = m_model.getClass(ns, className, flags);
        if (!query.text.empty()) {
            // A text hit stands for itself: the class, or the property whose description matched.
            if (property.empty()) {
                if (!query.propertyGlob && carries(cls.qualifiers, query))
                    out.push_back({searched[ns], cls.name, ""});
            } else if (const ResolvedProperty* p = cls.property(property)) {
                if ((!query.propertyGlob || globMatchNoCase(*query.propertyGlob, p->name)) &&
                    (!query.qualifier || carries(p->qualifiers, query)))
                    out.push_back({searched[ns], cls.name, p->name});
            }
            continue;
        }
        if (!query.propertyGlob && carries(cls.qualifiers, query))
            out.push_back({searched[ns], cls.name, ""});
        for (const ResolvedProperty& p : cls.properties)
            if ((!query.propertyGlob || globMatchNoCase(*query.propertyGlob, p.name)) &&
                (!query.qualifier || carries(p.qualifiers, query)))
                out.push_back({searched[ns], cls.name, p.name});
    }

    std::vector<std::pair<std::string, FindHit>> keyed;
    keyed.reserve(out.size());
    for (FindHit& hit : out) {
        std::string key =
            foldCase(hit.namespacePath) + '\x01' + foldCase(hit.className) + '\x01' + foldCase(hit.property);
        keyed.emplace_back(std::move(key), std::move(hit));
    }
    std::sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    keyed.erase(std::unique(keyed.begin(), keyed.end(),
                            [](const auto& a, const auto& b) { return a.first == b.first; }),
                keyed.end());
    out.clear();
    for (auto& k : keyed)
        out.push_back(std::move(k.second));
    return out;
}

} // namespace morrowlen::repo
