#include "repository/model/ClassModel.h"

#include "repository/core/Error.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <unordered_map>

namespace morrowlen::repo {

namespace {

constexpr std::size_t MaxDepth = 256; // a longer chain can only be a cycle

struct NoCaseLess {
    bool operator()(const std::string& a, const std::string& b) const { return foldCase(a) < foldCase(b); }
};

void overrideQualifiers(std::vector<ResolvedQualifier>& into, const std::vector<Qualifier>& own) {
    for (const auto& q : own) {
        auto it = std::find_if(into.begin(), into.end(),
                               [&](const ResolvedQualifier& r) { return equalsNoCase(r.name, q.name); });
        ResolvedQualifier rq;
        static_cast<Qualifier&>(rq) = q;
        if (it != into.end())
            *it = std::move(rq);
        else
            into.push_back(std::move(rq));
    }
}

std::vector<ResolvedQualifier> inherited(const std::vector<ResolvedQualifier>& from) {
    std::vector<ResolvedQualifier> out;
    for (const auto& q : from) {
        if (!(q.flavors & flavor::ToSubclass)) continue;
        out.push_back(q);
        out.back().propagated = true;
    }
    return out;
}

void dropAmended(std::vector<ResolvedQualifier>& qs) {
    std::erase_if(qs, [](const ResolvedQualifier& q) { return (q.flavors & flavor::Amended) != 0; });
}

ResolvedQualifier cimTypeQualifier(const ResolvedFeature& f) {
    ResolvedQualifier q;
    q.name = "CIMTYPE";
    q.type = CimType::String;
    q.value = Value::string(cimTypeText(f.type, f.refClass));
    q.flavors = flavor::ToSubclass | flavor::ToInstance;
    return q;
}

void setFeature(ResolvedFeature& r, const Feature& f) {
    r.name = f.name;
    r.type = f.type;
    r.isArray = f.isArray;
    r.arraySize = f.arraySize;
    r.refClass = f.refClass;
}

template <typename T> T* findByName(std::vector<T>& items, std::string_view name) {
    for (auto& item : items)
        if (equalsNoCase(item.name, name)) return &item;
    return nullptr;
}

template <typename T> void sortByName(std::vector<T>& items) {
    std::stable_sort(items.begin(), items.end(),
                     [](const T& a, const T& b) { return foldCase(a.name) < foldCase(b.name); });
}

} // namespace

Identity Identity::current() {
    Identity id;
    uid_t uid = geteuid();
    id.administrator = (uid == 0);
    if (const passwd* pw = getpwuid(uid))
        id.user = pw->pw_name;
    else
        id.user = std::to_string(uid);
    int n = getgroups(0, nullptr);
    std::vector<gid_t> gids(static_cast<std::size_t>(std::max(n, 0)) + 1);
    n = getgroups(static_cast<int>(gids.size()) - 1, gids.data());
    gids.resize(static_cast<std::size_t>(std::max(n, 0)));
    gids.push_back(getegid());
    for (gid_t g : gids)
        if (const group* gr = getgrgid(g)) id.groups.emplace_back(gr->gr_name);
    return id;
}

const ResolvedQualifier* ResolvedFeature::qualifier(std::string_view qname) const {
    for (const auto& q : qualifiers)
        if (equalsNoCase(q.name, qname)) return &q;
    return nullptr;
}

const ResolvedProperty* ResolvedClass::property(std::string_view pname) const {
    for (const auto& p : properties)
        if (equalsNoCase(p.name, pname)) return &p;
    return nullptr;
}

std::string cimTypeText(CimType type, std::string_view refClass) {
    std::string text(cimTypeName(type));
    if ((type == CimType::Reference || type == CimType::Object) && !refClass.empty()) {
        text += ':';
        text += refClass;
    }
    return text;
}

ClassModel::ClassModel(const ClassStore& store, Identity identity)
    : m_store(&store), m_identity(std::move(identity)) {}

NamespaceId ClassModel::openNamespace(std::string_view path) const {
    auto ns = m_store->findNamespace(path);
    if (!ns) throw Error(wbem::InvalidNamespace, "Invalid namespace: " + std::string(path));
    if (m_identity.administrator) return *ns;
    for (std::optional<NamespaceId> n = ns; n; n = m_store->parentNamespace(*n)) {
        auto allowed = m_store->namespaceAccess(*n);
        if (!allowed) continue;
        bool ok = std::any_of(allowed->begin(), allowed->end(), [&](const std::string& entry) {
            if (!entry.empty() && entry[0] == '@')
                return std::find(m_identity.groups.begin(), m_identity.groups.end(), entry.substr(1)) !=
                       m_identity.groups.end();
            return entry == m_identity.user;
        });
        if (!ok)
            throw Error(wbem::AccessDenied, "Access denied: user " + m_identity.user +
                                                " may not open namespace " + std::string(path));
    }
    return *ns;
}

std::vector<std::string> ClassModel::childNamespaces(NamespaceId ns) const {
    std::vector<std::string> out;
    for (auto& [id, name] : m_store->childNamespaces(ns))
        out.push_back(std::move(name));
    return out;
}

std::vector<std::string> ClassModel::classNames(NamespaceId ns) const {
    std::vector<std::string> out = m_store->classNames(m_store->systemNamespace());
    std::vector<std::string> own = m_store->classNames(ns);
    out.insert(out.end(), std::make_move_iterator(own.begin()), std::make_move_iterator(own.end()));
    return out;
}

std::optional<ClassDef> ClassModel::findClassDef(NamespaceId ns, std::string_view name) const {
    if (auto def = m_store->getClass(ns, name)) return def;
    return m_store->getClass(m_store->systemNamespace(), name);
}

bool ClassModel::hasClass(NamespaceId ns, std::string_view name) const {
    return m_store->hasClass(ns, name) || m_store->hasClass(m_store->systemNamespace(), name);
}

namespace {

// Lays one level of the chain over what its superclasses gave: qualifiers propagate, the level's
// own declarations override, new members keep the level as their origin.
void mergeLevel(ResolvedClass& rc, const ClassDef& cls) {
    rc.qualifiers = inherited(rc.qualifiers);
    overrideQualifiers(rc.qualifiers, cls.qualifiers);

    for (auto& p : rc.properties)
        p.qualifiers = inherited(p.qualifiers);
    for (const PropertyDef& p : cls.properties) {
        ResolvedProperty* rp = findByName(rc.properties, p.name);
        if (!rp) {
            rp = &rc.properties.emplace_back();
            rp->classOrigin = cls.name;
        }
        setFeature(*rp, p);
        if (p.defaultValue) rp->defaultValue = p.defaultValue;
        overrideQualifiers(rp->qualifiers, p.qualifiers);
    }

    for (auto& m : rc.methods) {
        m.qualifiers = inherited(m.qualifiers);
        for (auto& prm : m.parameters)
            prm.qualifiers = inherited(prm.qualifiers);
    }
    for (const MethodDef& m : cls.methods) {
        ResolvedMethod* rm = findByName(rc.methods, m.name);
        if (!rm) {
            rm = &rc.methods.emplace_back();
            rm->classOrigin = cls.name;
        }
        rm->name = m.name;
        rm->returnType = m.returnType;
        rm->returnIsArray = m.returnIsArray;
        rm->returnsVoid = m.returnsVoid;
        rm->returnRefClass = m.returnRefClass;
        overrideQualifiers(rm->qualifiers, m.qualifiers);
        std::vector<ResolvedFeature> params;
        for (const ParameterDef& prm : m.parameters) {
            ResolvedFeature rf;
            if (ResolvedFeature* old = findByName(rm->parameters, prm.name)) rf.qualifiers = old->qualifiers;
            setFeature(rf, prm);
            overrideQualifiers(rf.qualifiers, prm.qualifiers);
            params.push_back(std::move(rf));
        }
        rm->parameters = std::move(params);
    }
}

// Lays the amendment of one level (its localised qualifiers) over the members it names.
void mergeAmendment(ResolvedClass& rc, ClassDef amendment) {
    // The marker that makes a class an amendment is not part of what it amends.
    std::erase_if(amendment.qualifiers, [](const Qualifier& q) { return equalsNoCase(q.name, "AMENDMENT"); });
    overrideQualifiers(rc.qualifiers, amendment.qualifiers);
    for (const PropertyDef& ap : amendment.properties)
        if (ResolvedProperty* rp = findByName(rc.properties, ap.name))
            overrideQualifiers(rp->qualifiers, ap.qualifiers);
    for (const MethodDef& am : amendment.methods) {
        ResolvedMethod* rm = findByName(rc.methods, am.name);
        if (!rm) continue;
        overrideQualifiers(rm->qualifiers, am.qualifiers);
        for (const ParameterDef& ap : am.parameters)
            if (ResolvedFeature* rf = findByName(rm->parameters, ap.name))
                overrideQualifiers(rf->qualifiers, ap.qualifiers);
    }
}

// Drops amended qualifiers unless asked for and puts the synthesised CIMTYPE first.
void finishFeature(ResolvedFeature& f, bool amended) {
    if (!amended) dropAmended(f.qualifiers);
    std::erase_if(f.qualifiers, [](const ResolvedQualifier& q) { return equalsNoCase(q.name, "CIMTYPE"); });
    f.qualifiers.insert(f.qualifiers.begin(), cimTypeQualifier(f));
}

} // namespace

std::vector<ClassDef> ClassModel::superclassChain(NamespaceId ns, std::string_view name) const {
    std::vector<ClassDef> chain;
    auto def = findClassDef(ns, name);
    if (!def)
        throw Error(wbem::NotFound, "Not found: the namespace " + m_store->namespacePath(ns) +
                                        " has no class " + std::string(name));
    chain.push_back(std::move(*def));
    while (!chain.back().superclass.empty()) {
        if (chain.size() > MaxDepth)
            throw Error(wbem::Failed,
                        "The class " + std::string(name) + " has a superclass chain that never ends");
        auto super = findClassDef(ns, chain.back().superclass);
        if (!super)
            throw Error(wbem::InvalidClass, "The superclass " + chain.back().superclass + " of " +
                                                chain.back().name + " is missing from the repository");
        chain.push_back(std::move(*super));
    }
    std::reverse(chain.begin(), chain.end());
    return chain;
}

ResolvedClass ClassModel::getClass(NamespaceId ns, std::string_view name, std::int32_t flags) const {
    const std::vector<ClassDef> chain = superclassChain(ns, name);
    const bool amended = (flags & UseAmendedQualifiers) != 0;
    const std::optional<NamespaceId> amendNs =
        amended ? m_store->findChild(ns, AmendmentNamespace) : std::optional<NamespaceId>();

    ResolvedClass rc;
    for (const ClassDef& cls : chain) {
        mergeLevel(rc, cls);
        if (amendNs)
            if (auto amendment = m_store->getClass(*amendNs, cls.name))
                mergeAmendment(rc, std::move(*amendment));
    }

    const ClassDef& self = chain.back();
    rc.name = self.name;
    rc.superclass = self.superclass;
    for (auto it = chain.rbegin() + 1; it != chain.rend(); ++it)
        rc.derivation.push_back(it->name);

    if (!amended) dropAmended(rc.qualifiers);
    for (auto& p : rc.properties)
        finishFeature(p, amended);
    for (auto& m : rc.methods) {
        if (!amended) dropAmended(m.qualifiers);
        for (auto& prm : m.parameters)
            finishFeature(prm, amended);
    }
    sortByName(rc.properties);
    sortByName(rc.methods);
    return rc;
}

} // namespace morrowlen::repo
