#include "repository/mof/CompileContext.h"
#include "repository/store/ClassStore.h"

#include <algorithm>
#include <span>
#include <unordered_set>

namespace morrowlen::mof::detail {

namespace fs = std::filesystem;

namespace {

void deleteClassTree(CompileContext& cx, NamespaceId ns, const std::string& name);

const ast::ValueNode* stringArgument(CompileContext& cx, const ast::PragmaNode& p) {
    if (p.arguments.empty() || p.arguments[0].kind != ast::ValueNode::Kind::String) {
        cx.error(p.name, "#pragma " + std::string(p.name.text) + " needs a string argument");
        return nullptr;
    }
    return &p.arguments[0];
}

void pragmaInclude(CompileContext& cx, const ast::PragmaNode& p) {
    const ast::ValueNode* arg = stringArgument(cx, p);
    if (!arg) return;
    if (!cx.options.readIncludes) {
        cx.diagnostics.error(Phase::Input, arg->location, arg->length,
                             "includes are not read in this compile");
        return;
    }
    if (cx.files.size() >= limits::MaxIncludeDepth) {
        cx.diagnostics.error(Phase::Input, arg->location, arg->length,
                             "includes nested more than " + std::to_string(limits::MaxIncludeDepth) +
                                 " deep");
        return;
    }
    std::string identity;
    std::optional<fs::path> found = findFile(cx.files.back().folder, arg->text, identity);
    for (std::size_t i = 0; !found && i < cx.options.includeDirs.size(); ++i)
        found = findFile(cx.options.includeDirs[i], arg->text, identity);
    if (!found) {
        // Something that is not a file may stand at the name itself: say what it is.
        std::string name = arg->text;
        std::replace(name.begin(), name.end(), '\\', '/');
        const fs::path there = fs::path(name).is_absolute() ? fs::path(name) : cx.files.back().folder / name;
        const std::string problem = fileKindProblem(there, false);
        cx.diagnostics.error(Phase::Input, arg->location, arg->length,
                             problem.empty() || problem == "does not exist"
                                 ? "cannot find include file \"" + arg->text + "\""
                                 : "include file \"" + arg->text + "\" " + problem);
        return;
    }
    if (std::find(cx.includeStack.begin(), cx.includeStack.end(), identity) != cx.includeStack.end()) {
        cx.diagnostics.error(Phase::Input, arg->location, arg->length,
                             "\"" + arg->text + "\" includes itself (directly or through other files)");
        return;
    }
    cx.includeStack.push_back(identity);
    // Diagnostics name an included file relative to how its includer was named.
    std::string shown = found->string();
    const fs::path rel = found->lexically_relative(cx.files.back().folder);
    if (!rel.empty() && *rel.begin() != "..")
        shown = (fs::path(cx.sources.file(cx.files.back().id).name()).parent_path() / rel).string();
    compileFile(cx, shown, *found, arg->location);
    cx.includeStack.pop_back();
}

void pragmaNamespace(CompileContext& cx, const ast::PragmaNode& p) {
    const ast::ValueNode* arg = stringArgument(cx, p);
    if (!arg) return;
    if (cx.options.systemClasses) {
        cx.error(arg->location, arg->length, "system classes are compiled into the system namespace only");
        return;
    }
    std::string problem;
    auto path = resolveNamespacePath(cx, arg->text, problem);
    if (!path) {
        cx.error(arg->location, arg->length, problem);
        return;
    }
    if (*path != cx.currentNamespace) {
        // Files written for the platform may rely on a namespace being created this way, but a
        // mistyped name should not pass unseen.
        std::string existing = "root";
        std::optional<repo::NamespaceId> id = cx.store.rootNamespace();
        for (std::size_t start = path->find('\\'); id && start != std::string::npos;) {
            const std::size_t end = path->find('\\', start + 1);
            const std::string part =
                path->substr(start + 1, end == std::string::npos ? end : end - start - 1);
            id = cx.store.findChild(*id, part);
            if (id) existing += "\\" + part;
            start = end;
        }
        if (!id) {
            std::string message =
                "namespace '" + *path + "' does not exist; the nearest existing one is '" + existing + "'";
            if (cx.options.strictNamespaces)
                cx.error(arg->location, arg->length, message);
            else
                cx.diagnostics.warning(arg->location, arg->length, message + "; it is created");
        }
        cx.currentNamespace = *path;
        cx.currentNamespaceId.reset();
    }
}

struct FlagWord {
    std::string_view name;
    std::uint32_t bit;
};

// Flags as names ("updateonly, forceupdate", one or several strings) or numbers; nullopt after an error.
std::optional<std::uint32_t> parseFlags(CompileContext& cx, const ast::PragmaNode& p,
                                        std::span<const FlagWord> words) {
    std::string known;
    for (std::size_t i = 0; i < words.size(); ++i)
        known += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + std::string(words[i].name);
    if (p.arguments.empty()) {
        cx.error(p.name, "#pragma " + std::string(p.name.text) + " needs at least one flag");
        return std::nullopt;
    }
    std::uint32_t flags = 0;
    bool ok = true;
    for (const ast::ValueNode& arg : p.arguments) {
        if (arg.kind == ast::ValueNode::Kind::Integer && !arg.negative && arg.magnitude <= 0xFFFFFFFF) {
            flags |= static_cast<std::uint32_t>(arg.magnitude);
            continue;
        }
        if (arg.kind != ast::ValueNode::Kind::String) {
            cx.error(arg.location, arg.length, std::string(p.name.text) + " takes flag names or a number");
            return std::nullopt;
        }
        std::string_view rest = arg.text;
        while (!rest.empty()) {
            const std::size_t comma = rest.find(',');
            std::string_view word = rest.substr(0, comma);
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
            while (!word.empty() && word.front() == ' ')
                word.remove_prefix(1);
            while (!word.empty() && word.back() == ' ')
                word.remove_suffix(1);
            if (word.empty()) continue;
            const auto it = std::find_if(words.begin(), words.end(),
                                         [&](const FlagWord& w) { return repo::equalsNoCase(w.name, word); });
            if (it != words.end()) {
                flags |= it->bit;
                continue;
            }
            cx.error(arg.location, arg.length,
                     "unknown " +
                         std::string(repo::equalsNoCase(p.name.text, "classflags") ? "class" : "instance") +
                         " flag '" + std::string(word) + "' (" + known + ")");
            ok = false;
        }
    }
    if (!ok) return std::nullopt;
    return flags;
}

void pragmaClassFlags(CompileContext& cx, const ast::PragmaNode& p) {
    static constexpr FlagWord words[] = {{"createonly", classflags::CreateOnly},
                                         {"updateonly", classflags::UpdateOnly},
                                         {"safeupdate", classflags::SafeUpdate},
                                         {"forceupdate", classflags::ForceUpdate}};
    const auto flags = parseFlags(cx, p, words);
    if (!flags) return;
    if ((*flags & classflags::CreateOnly) && (*flags & classflags::UpdateOnly)) {
        cx.error(p.name, "classflags createonly and updateonly contradict each other");
        return;
    }
    if ((*flags & classflags::SafeUpdate) && (*flags & classflags::ForceUpdate)) {
        cx.error(p.name, "classflags safeupdate and forceupdate contradict each other");
        return;
    }
    cx.classFlags = *flags;
}

// Instances after this pragma must exist already (updateonly) or must not (createonly).
void pragmaInstanceFlags(CompileContext& cx, const ast::PragmaNode& p) {
    static constexpr FlagWord words[] = {{"createonly", instanceflags::CreateOnly},
                                         {"updateonly", instanceflags::UpdateOnly}};
    const auto flags = parseFlags(cx, p, words);
    if (!flags) return;
    if ((*flags & instanceflags::CreateOnly) && (*flags & instanceflags::UpdateOnly)) {
        cx.error(p.name, "instanceflags createonly and updateonly contradict each other");
        return;
    }
    cx.instanceFlags = *flags;
}

// FAIL (the default) or NOFAIL as the second argument of deleteclass and deleteinstance.
std::optional<bool> failMode(CompileContext& cx, const ast::PragmaNode& p) {
    if (p.arguments.size() < 2) return true;
    const ast::ValueNode& mode = p.arguments[1];
    if (mode.kind == ast::ValueNode::Kind::String && repo::equalsNoCase(mode.text, "NOFAIL")) return false;
    if (mode.kind == ast::ValueNode::Kind::String && repo::equalsNoCase(mode.text, "FAIL")) return true;
    cx.error(mode.location, mode.length, std::string(p.name.text) + " takes FAIL or NOFAIL");
    return std::nullopt;
}

void pragmaDeleteClass(CompileContext& cx, const ast::PragmaNode& p) {
    const ast::ValueNode* arg = stringArgument(cx, p);
    if (!arg) return;
    const auto fail = failMode(cx, p);
    if (!fail) return;
    const NamespaceId ns = currentNs(cx);
    const ClassEntry* cls = findClass(cx, ns, arg->text);
    if (!cls || cls->ns != ns) {
        if (*fail)
            cx.error(arg->location, arg->length, "cannot delete class '" + arg->text + "': no such class");
        return;
    }
    deleteClassTree(cx, ns, cls->def.name);
}

void deleteClassTree(CompileContext& cx, NamespaceId ns, const std::string& name) {
    // The whole tree, however large, subclasses first; the compile's one transaction makes it all or
    // nothing. The set guards against a loop of superclasses in a damaged file.
    std::vector<std::string> order{name};
    std::unordered_set<std::string> listed{cx.fold(name)};
    for (std::size_t i = 0; i < order.size(); ++i) {
        for (std::string& sub : cx.store.subclassNames(ns, order[i]))
            if (listed.insert(cx.fold(sub)).second) order.push_back(std::move(sub));
        if (cx.options.writeClasses) continue;
        // Classes of this compile are not in the store when they are not written.
        for (const auto& [key, at] : cx.definedHere[ns]) {
            const ClassEntry* c = cx.classes[ns][key];
            if (c && repo::equalsNoCase(c->def.superclass, order[i]) && listed.insert(key).second)
                order.push_back(c->def.name);
        }
    }
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        if (cx.canWrite()) cx.stats.deletedInstances += cx.store.deleteClass(ns, *it);
        cx.classes[ns][cx.fold(*it)] = nullptr;
        cx.definedHere[ns].erase(cx.fold(*it));
        if (const auto names = cx.stored.find(ns); names != cx.stored.end())
            names->second.erase(cx.fold(*it));
        cx.instancePaths.erase(std::to_string(ns) + ':' + cx.fold(*it));
        ++cx.stats.deletedClasses;
    }
}

// An object path as #pragma deleteinstance names it: Class.Key="v",Other=5 or Class=@.
struct ObjectPath {
    std::string className;
    std::vector<std::pair<std::string, std::string>> keys; // name, value as text (strings unquoted)
};

std::optional<ObjectPath> parseObjectPath(std::string_view text) {
    ObjectPath out;
    const std::size_t colon = text.find(':'); // a namespace before the class is ignored
    if (colon != std::string_view::npos && colon < text.find_first_of(".=")) text.remove_prefix(colon + 1);
    const std::size_t dot = text.find_first_of(".=");
    out.className = std::string(text.substr(0, dot));
    if (out.className.empty()) return std::nullopt;
    if (dot == std::string_view::npos) return out;
    if (text[dot] == '=') return text.substr(dot) == "=@" ? std::optional(out) : std::nullopt;
    std::size_t i = dot + 1;
    while (i < text.size()) {
        const std::size_t eq = text.find('=', i);
        if (eq == std::string_view::npos) return std::nullopt;
        std::string name(text.substr(i, eq - i));
        std::string value;
        i = eq + 1;
        if (i < text.size() && text[i] == '"') {
            for (++i; i < text.size() && text[i] != '"'; ++i) {
                if (text[i] == '\\' && i + 1 < text.size()) ++i;
                value += text[i];
            }
            if (i >= text.size()) return std::nullopt;
            ++i;
        } else {
            const std::size_t end = std::min(text.find(',', i), text.size());
            value = std::string(text.substr(i, end - i));
            i = end;
        }
        if (name.empty()) return std::nullopt;
        out.keys.emplace_back(std::move(name), std::move(value));
        if (i < text.size() && text[i] != ',') return std::nullopt;
        if (i < text.size()) ++i;
    }
    return out;
}

bool matchesPath(const ObjectPath& path, const repo::InstanceDef& inst) {
    for (const auto& key : path.keys) {
        const std::string& name = key.first;
        const std::string& value = key.second;
        const auto it =
            std::find_if(inst.properties.begin(), inst.properties.end(),
                         [&](const repo::PropertyValue& v) { return repo::equalsNoCase(v.name, name); });
        if (it == inst.properties.end() || it->value.isNull() || it->value.isArray()) return false;
        const repo::Scalar& s = it->value.scalarValue();
        const std::string* text = std::get_if<std::string>(&s);
        if (!(text ? *text == value : repo::equalsNoCase(repo::scalarToText(s), value))) return false;
    }
    return true;
}

void pragmaDeleteInstance(CompileContext& cx, const ast::PragmaNode& p) {
    const ast::ValueNode* arg = stringArgument(cx, p);
    if (!arg) return;
    const auto fail = failMode(cx, p);
    if (!fail) return;
    const auto path = parseObjectPath(arg->text);
    if (!path) {
        cx.error(arg->location, arg->length,
                 "\"" + arg->text + "\" is not an object path (Class.Key=\"value\")");
        return;
    }
    const NamespaceId ns = currentNs(cx);
    const ClassEntry* cls = findClass(cx, ns, path->className);
    std::size_t deleted = 0;
    if (cls && cx.canWrite()) {
        deleted = cx.store.deleteInstances(
            ns, cls->def.name, [&](const repo::InstanceDef& inst) { return matchesPath(*path, inst); });
        cx.instancePaths.erase(std::to_string(ns) + ':' + cx.fold(cls->def.name));
    } else if (cls) {
        return; // the compile already failed; nothing is written
    }
    cx.stats.deletedInstances += deleted;
    if (deleted == 0 && *fail)
        cx.error(arg->location, arg->length, "cannot delete instance " + arg->text + ": no such instance");
}

void pragmaRestrict(CompileContext& cx, const ast::PragmaNode& p) {
    const ast::ValueNode* arg = stringArgument(cx, p);
    if (!arg) return;
    std::vector<std::string> allowed;
    for (const ast::ValueNode& a : p.arguments) {
        if (a.kind != ast::ValueNode::Kind::String) {
            cx.error(a.location, a.length, "#pragma restrict takes user and group names (\"name,@group\")");
            return;
        }
        std::string_view rest = a.text;
        while (!rest.empty()) {
            const std::size_t comma = rest.find(',');
            std::string_view item = rest.substr(0, comma);
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
            while (!item.empty() && item.front() == ' ')
                item.remove_prefix(1);
            while (!item.empty() && item.back() == ' ')
                item.remove_suffix(1);
            if (item == "@") {
                cx.error(a.location, a.length, "'@' must be followed by a group name");
                return;
            }
            if (!item.empty()) allowed.emplace_back(item);
        }
    }
    const NamespaceId ns = currentNs(cx);
    if (cx.canWrite()) cx.store.setNamespaceAccess(ns, std::move(allowed));
}

void pragmaLocale(CompileContext& cx, const ast::PragmaNode& p) {
    if (const ast::ValueNode* arg = stringArgument(cx, p)) {
        const std::string& v = arg->text;
        const bool named = v.size() >= 5 && (v[2] == '_' || v[2] == '-');
        const bool numbered =
            (v.rfind("ms_", 0) == 0 || v.rfind("MS_", 0) == 0 || v.rfind("0x", 0) == 0) && v.size() > 3;
        if (!named && !numbered)
            cx.diagnostics.warning(arg->location, arg->length, "unrecognised locale \"" + v + "\" ignored");
    }
}

// Nothing to do without the service.
void pragmaIgnored(CompileContext&, const ast::PragmaNode&) {}

using Handler = void (*)(CompileContext&, const ast::PragmaNode&);

struct PragmaEntry {
    std::string_view name;
    Handler handler;
};

constexpr PragmaEntry pragmas[] = {
    {"include", pragmaInclude},         {"namespace", pragmaNamespace},
    {"classflags", pragmaClassFlags},   {"instanceflags", pragmaInstanceFlags},
    {"deleteclass", pragmaDeleteClass}, {"deleteinstance", pragmaDeleteInstance},
    {"restrict", pragmaRestrict},       {"locale", pragmaLocale},
    {"autorecover", pragmaIgnored},     {"amendment", pragmaIgnored},
};

} // namespace

void processPragma(CompileContext& cx, const ast::PragmaNode& p) {
    for (const PragmaEntry& e : pragmas)
        if (repo::equalsNoCase(e.name, p.name.text)) return e.handler(cx, p);
    cx.diagnostics.warning(p.name.location, static_cast<std::uint32_t>(p.name.text.size()),
                           "unknown pragma '" + std::string(p.name.text) + "' ignored");
}

} // namespace morrowlen::mof::detail
