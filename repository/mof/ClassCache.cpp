#include "repository/mof/CompileContext.h"
#include "repository/mof/Qualifiers.h"
#include "repository/store/ClassStore.h"

#include <algorithm>

namespace morrowlen::mof::detail {

std::string namespaceNameProblem(std::string_view name) {
    if (name.find_first_not_of(" \t") == std::string_view::npos)
        return "a namespace name cannot be empty or blank";
    if (name == "." || name == "..") return "'" + std::string(name) + "' is not a namespace name";
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            return "the namespace name '" + repo::escapeControls(name) + "' holds a control character";
        if (c == '\\' || c == '/') return "a namespace name cannot hold '\\' or '/'";
    }
    return {};
}

// Turns a #pragma namespace argument into an absolute path such as "root\\cimv2".
std::optional<std::string> resolveNamespacePath(const CompileContext& cx, std::string_view text,
                                                std::string& problem) {
    std::string s(text);
    for (char& c : s)
        if (c == '/') c = '\\';
    bool absolute = false;
    if (s.rfind("\\\\", 0) == 0) {
        const std::size_t end = s.find('\\', 2);
        const std::string host = s.substr(2, end == std::string::npos ? std::string::npos : end - 2);
        if (host != "." && !repo::equalsNoCase(host, "localhost")) {
            problem = "namespaces of other computers ('" + host + "') cannot be compiled into";
            return std::nullopt;
        }
        s = end == std::string::npos ? std::string() : s.substr(end + 1);
        absolute = true;
    } else if (!s.empty() && s[0] == '\\') {
        absolute = true;
    }
    std::vector<std::string> parts;
    for (std::size_t start = 0; start <= s.size();) {
        std::size_t end = s.find('\\', start);
        if (end == std::string::npos) end = s.size();
        if (end > start) parts.push_back(s.substr(start, end - start));
        start = end + 1;
    }
    if (parts.empty()) {
        problem = "the namespace path is empty";
        return std::nullopt;
    }
    for (const std::string& part : parts) {
        problem = namespaceNameProblem(part);
        if (!problem.empty()) return std::nullopt;
    }
    if (!absolute && repo::equalsNoCase(parts[0], "root")) absolute = true;
    std::string path = absolute ? std::string() : cx.currentNamespace;
    for (const std::string& part : parts)
        path += (path.empty() ? "" : "\\") + part;
    const std::size_t first = path.find('\\');
    if (!repo::equalsNoCase(path.substr(0, first), "root")) {
        problem = "namespace paths start at 'root'";
        return std::nullopt;
    }
    if (static_cast<std::size_t>(std::count(path.begin(), path.end(), '\\')) >= limits::MaxNamespaceDepth) {
        problem = "namespace path nested more than " + std::to_string(limits::MaxNamespaceDepth) + " deep";
        return std::nullopt;
    }
    return path;
}

// The current namespace, created (with its parents) on first use.
NamespaceId currentNs(CompileContext& cx) {
    if (cx.currentNamespaceId) return *cx.currentNamespaceId;
    NamespaceId id = cx.store.rootNamespace();
    std::size_t start = cx.currentNamespace.find('\\');
    while (start != std::string::npos) {
        std::size_t end = cx.currentNamespace.find('\\', start + 1);
        const std::string_view part =
            std::string_view(cx.currentNamespace)
                .substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
        if (auto child = cx.store.findChild(id, part)) {
            id = *child;
        } else {
            id = cx.store.createNamespace(id, part);
            ++cx.stats.namespaces;
        }
        start = end;
    }
    cx.currentNamespaceId = id;
    return id;
}

ClassEntry* findClass(CompileContext& cx, NamespaceId ns, std::string_view name, std::size_t depth) {
    if (depth > limits::MaxInheritanceDepth) return nullptr;
    for (const NamespaceId where : {ns, cx.store.systemNamespace()}) {
        auto& map = cx.classes[where];
        const std::string key = cx.fold(name);
        if (auto it = map.find(key); it != map.end()) {
            if (it->second) return it->second;
            continue;
        }
        std::optional<repo::ClassDef> def = cx.store.getClass(where, name);
        if (!def) {
            map.emplace(key, nullptr);
            continue;
        }
        ClassEntry* super = nullptr;
        if (!def->superclass.empty()) {
            map.emplace(key, nullptr); // a cycle in a damaged store ends here
            super = findClass(cx, where, def->superclass, depth + 1);
        }
        auto entry = std::make_unique<ClassEntry>();
        entry->def = std::move(*def);
        entry->ns = where;
        keepCheckedParts(entry->def);
        deriveView(cx, *entry, super);
        ClassEntry* raw = entry.get();
        cx.entries.push_back(std::move(entry));
        cx.classes[where][key] = raw;
        return raw;
    }
    return nullptr;
}

const repo::QualifierDecl* findQualifierDecl(CompileContext& cx, NamespaceId ns, std::string_view name) {
    auto& map = cx.qualifierDecls[ns];
    const std::string& key = cx.fold(name);
    auto it = map.find(key);
    if (it == map.end()) it = map.emplace(key, cx.store.getQualifierDecl(ns, name)).first;
    return it->second ? &*it->second : nullptr;
}

namespace {

bool truthy(const repo::Qualifier& q) {
    if (q.value.isNull()) return false;
    const auto* b = std::get_if<bool>(&q.value.scalarValue());
    return b && *b;
}

Member& addMember(std::unordered_map<std::string, Member>& into, const Member* inherited, std::string key,
                  const std::string& name, CimType type, bool isArray, const std::string& refClass,
                  const std::vector<repo::Qualifier>& quals) {
    auto [it, isNew] = into.try_emplace(std::move(key));
    Member& m = it->second;
    if (isNew && inherited)
        m = *inherited;
    else if (isNew)
        m.name = name;
    m.type = type;
    m.isArray = isArray;
    m.refClass = refClass;
    lockQualifiers(m.locked, quals);
    if (const repo::Qualifier* k = repo::findQualifier(quals, "Key")) m.key = truthy(*k);
    if (repo::findQualifier(quals, "EmbeddedInstance") || repo::findQualifier(quals, "EmbeddedObject"))
        m.embedded = true;
    return m;
}

// The qualifiers the caches must keep: those that reach subclasses locked, and those deriveView
// and addMember read.
void keepCheckedQualifiers(std::vector<repo::Qualifier>& qualifiers) {
    static constexpr std::string_view read[] = {"Key", "Association", "Indication", "EmbeddedInstance",
                                                "EmbeddedObject"};
    std::erase_if(qualifiers, [](const repo::Qualifier& q) {
        const bool locked =
            (q.flavors & repo::flavor::DisableOverride) && (q.flavors & repo::flavor::ToSubclass);
        return !locked && std::none_of(std::begin(read), std::end(read), [&](std::string_view name) {
            return repo::equalsNoCase(q.name, name);
        });
    });
    qualifiers.shrink_to_fit();
}

} // namespace

void keepCheckedParts(repo::ClassDef& def) {
    keepCheckedQualifiers(def.qualifiers);
    for (repo::PropertyDef& p : def.properties) {
        keepCheckedQualifiers(p.qualifiers);
        p.defaultValue = repo::Value();
    }
    for (repo::MethodDef& m : def.methods) {
        keepCheckedQualifiers(m.qualifiers);
        for (repo::ParameterDef& p : m.parameters)
            keepCheckedQualifiers(p.qualifiers);
    }
}

// Computes what a class inherits and passes on.
void deriveView(CompileContext& cx, ClassEntry& entry, const ClassEntry* super) {
    entry.super = super;
    if (super) {
        entry.association = super->association;
        entry.indication = super->indication;
        entry.locked = super->locked;
        entry.keys = super->keys;
    }
    for (const repo::Qualifier& q : entry.def.qualifiers) {
        if (repo::equalsNoCase(q.name, "Association")) entry.association = truthy(q);
        if (repo::equalsNoCase(q.name, "Indication")) entry.indication = truthy(q);
    }
    lockQualifiers(entry.locked, entry.def.qualifiers);
    for (const repo::PropertyDef& p : entry.def.properties) {
        std::string key = cx.fold(p.name);
        const Member& m = addMember(entry.ownProperties, super ? super->property(key) : nullptr, key, p.name,
                                    p.type, p.isArray, p.refClass, p.qualifiers);
        const auto pos = std::find(entry.keys.begin(), entry.keys.end(), key);
        if (m.key && pos == entry.keys.end()) entry.keys.push_back(std::move(key));
        if (!m.key && pos != entry.keys.end()) entry.keys.erase(pos);
    }
    for (const repo::MethodDef& m : entry.def.methods) {
        const std::string& key = cx.fold(m.name);
        addMember(entry.ownMethods, super ? super->method(key) : nullptr, key, m.name, m.returnType,
                  m.returnIsArray, m.returnRefClass, m.qualifiers)
            .method = &m;
    }
}

void resolvePending(CompileContext& cx) {
    // Pulling in a class file may add more names; the list is walked once, each name looked up
    // in the caches (hash maps), so the phase stays linear in the number of uses.
    std::unordered_set<std::string> pulled;
    for (std::size_t i = 0; i < cx.pending.size(); ++i) {
        if (cx.diagnostics.limitReached() || cx.aborted) return;
        const PendingClass use = cx.pending[i];
        if (findClass(cx, use.ns, use.name)) continue;
        if (!cx.options.includeDirs.empty() && cx.options.readIncludes &&
            pulled.insert(std::to_string(use.ns) + ':' + cx.fold(use.name)).second &&
            pullInClassFile(cx, use.ns, use.namespacePath, use.name, use.location) &&
            findClass(cx, use.ns, use.name))
            continue;
        const std::string message = std::string(use.reference ? "reference to" : "embedded object of") +
                                    " class '" + use.name + "', which is not defined";
        if (cx.options.strictReferences)
            cx.error(use.location, use.length, message);
        else
            cx.diagnostics.warning(use.location, use.length, message + "; kept as written");
    }
    cx.pending.clear();
}

} // namespace morrowlen::mof::detail
