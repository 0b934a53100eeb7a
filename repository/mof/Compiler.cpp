#include "repository/mof/Compiler.h"

#include "repository/mof/Parser.h"
#include "repository/core/Error.h"

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unordered_map>
#include <unordered_set>

namespace morrowlen::mof {

namespace {

namespace fs = std::filesystem;
using repo::CimType;
using repo::NamespaceId;

// What the compiler knows of a class beyond its own definition: the members it inherits, the
// qualifiers a subclass may not change, and whether it is an association or an indication.
struct Member {
    std::string name; // as first declared
    CimType type = CimType::String;
    bool isArray = false;
    bool isMethod = false;
    bool key = false;
    bool broken = false;   // its declaration had an error; values for it are not checked
    bool embedded = false; // a string made an object by EmbeddedInstance or EmbeddedObject
    std::string refClass;
    std::vector<const repo::Qualifier*> locked; // DisableOverride qualifiers reaching subclasses
    const repo::MethodDef* method = nullptr;    // the nearest declaration, for a method
};

struct ClassEntry {
    repo::ClassDef def;
    NamespaceId ns = 0;
    Location location; // where this compile defined it; NoFile when read from the store
    bool association = false;
    bool indication = false;
    std::vector<const repo::Qualifier*> locked;
    std::unordered_map<std::string, Member> members; // by folded name, inherited ones included
    std::vector<std::string> keys;                   // folded names of key properties, in order
};

struct AliasEntry {
    std::string path; // object path of the aliased instance, which is what a reference holds
    Location location;
};

// Per-file state: where the file lives and the flavors set by "Qualifier X : flavors;".
struct FileState {
    FileId id = NoFile;
    fs::path folder;
    std::unordered_map<std::string, std::uint32_t> flavorDefaults;
};

bool truthy(const repo::Qualifier& q) {
    if (q.value.isNull()) return false;
    const auto* b = std::get_if<bool>(&q.value.scalarValue());
    return b && *b;
}

std::uint32_t scopeBit(std::string_view keyword) {
    using namespace repo::scope;
    static constexpr std::pair<std::string_view, std::uint32_t> table[] = {{"class", Class},
                                                                           {"association", Association},
                                                                           {"indication", Indication},
                                                                           {"property", Property},
                                                                           {"reference", Reference},
                                                                           {"method", Method},
                                                                           {"parameter", Parameter},
                                                                           {"qualifier", Qualifier},
                                                                           {"schema", Schema},
                                                                           {"instance", Instance},
                                                                           {"any", Any}};
    for (const auto& [name, bit] : table)
        if (repo::equalsNoCase(name, keyword)) return bit;
    return 0;
}

std::string scopeNames(std::uint32_t scopes) {
    if ((scopes & repo::scope::Any) == repo::scope::Any) return "any";
    static constexpr std::string_view names[] = {"class",     "association", "indication", "property",
                                                 "reference", "method",      "parameter",  "qualifier",
                                                 "schema",    "instance"};
    std::string out;
    for (std::size_t i = 0; i < std::size(names); ++i)
        if (scopes & (1u << i)) out += (out.empty() ? "" : ", ") + std::string(names[i]);
    return out.empty() ? "none" : out;
}

std::string_view scopeName(std::uint32_t bit) {
    switch (bit) {
    case repo::scope::Class:
        return "a class";
    case repo::scope::Association:
        return "an association";
    case repo::scope::Indication:
        return "an indication";
    case repo::scope::Property:
        return "a property";
    case repo::scope::Reference:
        return "a reference";
    case repo::scope::Method:
        return "a method";
    case repo::scope::Parameter:
        return "a parameter";
    default:
        return "this element";
    }
}

std::string_view flavorName(ast::Flavor::Kind kind) {
    using F = ast::Flavor::Kind;
    switch (kind) {
    case F::EnableOverride:
        return "EnableOverride";
    case F::DisableOverride:
        return "DisableOverride";
    case F::ToSubclass:
        return "ToSubclass";
    case F::NotToSubclass:
        return "NotToSubclass";
    case F::Restricted:
        return "Restricted";
    case F::ToInstance:
        return "ToInstance";
    case F::NotToInstance:
        return "NotToInstance";
    case F::Amended:
        return "Amended";
    case F::Translatable:
        return "Translatable";
    }
    return "?";
}

bool isDateTime(std::string_view s) {
    if (s.size() != 25 || s[14] != '.') return false;
    const auto digits = [&](std::size_t from, std::size_t to) {
        for (std::size_t i = from; i < to; ++i)
            if (!((s[i] >= '0' && s[i] <= '9') || s[i] == '*')) return false;
        return true;
    };
    if (!digits(0, 14) || !digits(15, 21) || !digits(22, 25)) return false;
    return s[21] == '+' || s[21] == '-' || s[21] == ':';
}

// A value as it appears in an object path: Class.Key="text",Num=5
std::string pathValue(const repo::Value& value, CimType type) {
    if (value.isNull() || value.isArray()) return "NULL";
    const repo::Scalar& s = value.scalarValue();
    if (const auto* b = std::get_if<bool>(&s)) return *b ? "TRUE" : "FALSE";
    if (type == CimType::Char16) {
        std::string out = "'";
        if (const auto* u = std::get_if<std::uint64_t>(&s)) appendUtf8(out, static_cast<std::uint32_t>(*u));
        return out + "'";
    }
    if (const auto* str = std::get_if<std::string>(&s)) {
        std::string out = "\"";
        for (const char c : *str) {
            if (c == '"' || c == '\\') out += '\\';
            out += c;
        }
        return out + "\"";
    }
    return repo::scalarToText(s);
}

} // namespace

struct Compiler::Impl {
    repo::ClassStore& store;
    CompileOptions options;
    SourceManager sources;
    Diagnostics diagnostics;
    CompileStats stats;

    std::string currentNamespace;                  // path, "root\\x"
    std::optional<NamespaceId> currentNamespaceId; // resolved on first use
    std::uint32_t classFlags = 0;
    std::vector<FileState> files;          // the include stack
    std::vector<std::string> includeStack; // canonical paths, to refuse cycles
    bool aborted = false;                  // after a repository failure

    // Caches keyed by namespace and folded name; the store is asked once per name.
    std::unordered_map<NamespaceId, std::unordered_map<std::string, ClassEntry*>> classes;
    std::vector<std::unique_ptr<ClassEntry>> entries; // owns every entry ever made (pointers stay)
    std::unordered_map<NamespaceId, std::unordered_map<std::string, std::optional<repo::QualifierDecl>>>
        qualifierDecls;
    std::unordered_map<NamespaceId, std::unordered_map<std::string, Location>> definedHere;
    std::unordered_map<std::string, AliasEntry> aliases;
    std::string folded; // scratch buffer for lookups

    Impl(repo::ClassStore& s, CompileOptions o)
        : store(s), options(std::move(o)), diagnostics(sources, options.maxErrors) {
        currentNamespace = options.defaultNamespace;
        classFlags = options.classFlags;
        if (options.systemClasses) currentNamespaceId = store.systemNamespace();
    }

    const std::string& fold(std::string_view s) {
        folded.assign(s);
        for (char& c : folded)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        return folded;
    }

    bool canWrite() const { return !diagnostics.hasErrors() && !aborted; }

    void error(Location at, std::uint32_t length, std::string message) {
        diagnostics.error(Phase::Semantic, at, length, std::move(message));
    }
    void error(const ast::Name& name, std::string message) {
        error(name.location, static_cast<std::uint32_t>(name.text.size()), std::move(message));
    }

    // ------------------------------------------------------------------------------------------
    // Files

    std::optional<std::string> readFile(const std::string& path, std::string& problem) {
        std::error_code ec;
        if (fs::is_directory(path, ec)) {
            problem = "is a folder";
            return std::nullopt;
        }
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            problem = std::strerror(errno);
            return std::nullopt;
        }
        in.seekg(0, std::ios::end);
        const auto size = static_cast<std::size_t>(std::max<std::streamoff>(in.tellg(), 0));
        if (size > limits::MaxFileBytes) {
            problem = "file larger than " + std::to_string(limits::MaxFileBytes >> 20) + " MiB";
            return std::nullopt;
        }
        if (sources.totalBytes() + size > limits::MaxTotalSourceBytes) {
            problem = "the compile would read more than " +
                      std::to_string(limits::MaxTotalSourceBytes >> 20) + " MiB of sources";
            return std::nullopt;
        }
        std::string bytes(size, '\0');
        in.seekg(0);
        in.read(bytes.data(), static_cast<std::streamsize>(size));
        if (!in) {
            problem = "read failed";
            return std::nullopt;
        }
        return bytes;
    }

    // Finds a file: as given, else matching each path component without regard to case.
    static std::optional<fs::path> findFile(const fs::path& folder, std::string name) {
        for (char& c : name)
            if (c == '\\') c = '/';
        const fs::path wanted = fs::path(name).is_absolute() ? fs::path(name) : folder / name;
        std::error_code ec;
        if (fs::is_regular_file(wanted, ec)) return wanted;
        fs::path current = wanted.is_absolute() ? wanted.root_path() : fs::path();
        for (const fs::path& part : wanted.relative_path()) {
            const fs::path exact = current / part;
            if (fs::exists(exact, ec)) {
                current = exact;
                continue;
            }
            bool found = false;
            for (fs::directory_iterator it(current.empty() ? "." : current, ec), end; !ec && it != end;
                 it.increment(ec)) {
                if (repo::equalsNoCase(it->path().filename().string(), part.string())) {
                    current = current / it->path().filename();
                    found = true;
                    break;
                }
            }
            if (!found) return std::nullopt;
        }
        if (fs::is_regular_file(current, ec)) return current;
        return std::nullopt;
    }

    void compileSource(std::string name, std::string path, std::string text) {
        const FileId id = sources.add(std::move(name), path, std::move(text));
        ++stats.files;
        FileState state;
        state.id = id;
        state.folder = path.empty() ? fs::current_path() : fs::path(path).parent_path();
        files.push_back(std::move(state));
        Parser parser(sources.file(id), id, diagnostics);
        ast::File file = parser.parseFile();
        for (const ast::Declaration& decl : file.declarations) {
            if (diagnostics.limitReached() || aborted) break;
            processDeclaration(decl);
        }
        files.pop_back();
    }

    void compileFile(const std::string& shownName, const fs::path& path, Location includedAt) {
        if (sources.size() >= limits::MaxFiles) {
            diagnostics.error(Phase::Input, includedAt, 1,
                              "more than " + std::to_string(limits::MaxFiles) + " files in one compile");
            return;
        }
        if (options.progress) options.progress(shownName, stats.files);
        std::string problem;
        auto bytes = readFile(path.string(), problem);
        if (!bytes) {
            diagnostics.error(Phase::Input, includedAt, 1, "cannot read '" + shownName + "': " + problem);
            return;
        }
        auto text = decodeSource(*bytes, problem);
        bytes.reset();
        if (!text) {
            diagnostics.error(Phase::Input, includedAt, 1, "cannot read '" + shownName + "': " + problem);
            return;
        }
        compileSource(shownName, path.string(), std::move(*text));
    }

    // ------------------------------------------------------------------------------------------
    // Namespaces

    // Turns a #pragma namespace argument into an absolute path such as "root\\cimv2".
    std::optional<std::string> resolveNamespacePath(std::string_view text, std::string& problem) const {
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
        if (!absolute && repo::equalsNoCase(parts[0], "root")) absolute = true;
        std::string path = absolute ? std::string() : currentNamespace;
        for (const std::string& part : parts)
            path += (path.empty() ? "" : "\\") + part;
        const std::size_t first = path.find('\\');
        if (!repo::equalsNoCase(path.substr(0, first), "root")) {
            problem = "namespace paths start at 'root'";
            return std::nullopt;
        }
        if (static_cast<std::size_t>(std::count(path.begin(), path.end(), '\\')) >=
            limits::MaxNamespaceDepth) {
            problem =
                "namespace path nested more than " + std::to_string(limits::MaxNamespaceDepth) + " deep";
            return std::nullopt;
        }
        return path;
    }

    // The current namespace, created (with its parents) on first use.
    NamespaceId currentNs() {
        if (currentNamespaceId) return *currentNamespaceId;
        NamespaceId id = store.rootNamespace();
        std::size_t start = currentNamespace.find('\\');
        while (start != std::string::npos) {
            std::size_t end = currentNamespace.find('\\', start + 1);
            const std::string_view part =
                std::string_view(currentNamespace)
                    .substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
            if (auto child = store.findChild(id, part)) {
                id = *child;
            } else {
                id = store.createNamespace(id, part);
                ++stats.namespaces;
            }
            start = end;
        }
        currentNamespaceId = id;
        return id;
    }

    // ------------------------------------------------------------------------------------------
    // Lookups

    ClassEntry* findClass(NamespaceId ns, std::string_view name, std::size_t depth = 0) {
        if (depth > limits::MaxInheritanceDepth) return nullptr;
        for (const NamespaceId where : {ns, store.systemNamespace()}) {
            auto& map = classes[where];
            const std::string key = fold(name);
            if (auto it = map.find(key); it != map.end()) {
                if (it->second) return it->second;
                continue;
            }
            std::optional<repo::ClassDef> def = store.getClass(where, name);
            if (!def) {
                map.emplace(key, nullptr);
                continue;
            }
            ClassEntry* super = nullptr;
            if (!def->superclass.empty()) {
                map.emplace(key, nullptr); // a cycle in a damaged store ends here
                super = findClass(where, def->superclass, depth + 1);
            }
            auto entry = std::make_unique<ClassEntry>();
            entry->def = std::move(*def);
            entry->ns = where;
            deriveView(*entry, super);
            ClassEntry* raw = entry.get();
            entries.push_back(std::move(entry));
            classes[where][key] = raw;
            return raw;
        }
        return nullptr;
    }

    static void lockQualifiers(std::vector<const repo::Qualifier*>& locked,
                               const std::vector<repo::Qualifier>& own) {
        for (const repo::Qualifier& q : own) {
            const bool already = std::any_of(locked.begin(), locked.end(), [&](const repo::Qualifier* l) {
                return repo::equalsNoCase(l->name, q.name);
            });
            if (!already && (q.flavors & repo::flavor::DisableOverride) &&
                (q.flavors & repo::flavor::ToSubclass))
                locked.push_back(&q);
        }
    }

    // Computes what a class inherits and passes on.
    void deriveView(ClassEntry& entry, const ClassEntry* super) {
        if (super) {
            entry.association = super->association;
            entry.indication = super->indication;
            entry.locked = super->locked;
            entry.members = super->members;
            entry.keys = super->keys;
        }
        for (const repo::Qualifier& q : entry.def.qualifiers) {
            if (repo::equalsNoCase(q.name, "Association")) entry.association = truthy(q);
            if (repo::equalsNoCase(q.name, "Indication")) entry.indication = truthy(q);
        }
        lockQualifiers(entry.locked, entry.def.qualifiers);
        const auto addMember = [&](const std::string& name, CimType type, bool isArray, bool isMethod,
                                   const std::string& refClass, const std::vector<repo::Qualifier>& quals) {
            const std::string key = fold(name);
            auto [it, isNew] = entry.members.try_emplace(key);
            Member& m = it->second;
            if (isNew) m.name = name;
            m.type = type;
            m.isArray = isArray;
            m.isMethod = isMethod;
            m.refClass = refClass;
            lockQualifiers(m.locked, quals);
            if (const repo::Qualifier* k = repo::findQualifier(quals, "Key")) m.key = truthy(*k);
            if (repo::findQualifier(quals, "EmbeddedInstance") ||
                repo::findQualifier(quals, "EmbeddedObject"))
                m.embedded = true;
            const auto pos = std::find(entry.keys.begin(), entry.keys.end(), key);
            if (m.key && pos == entry.keys.end()) entry.keys.push_back(key);
            if (!m.key && pos != entry.keys.end()) entry.keys.erase(pos);
        };
        for (const repo::PropertyDef& p : entry.def.properties)
            addMember(p.name, p.type, p.isArray, false, p.refClass, p.qualifiers);
        for (const repo::MethodDef& m : entry.def.methods) {
            addMember(m.name, m.returnType, m.returnIsArray, true, m.returnRefClass, m.qualifiers);
            entry.members[fold(m.name)].method = &m;
        }
    }

    const repo::QualifierDecl* findQualifierDecl(NamespaceId ns, std::string_view name) {
        auto& map = qualifierDecls[ns];
        const std::string& key = fold(name);
        auto it = map.find(key);
        if (it == map.end()) it = map.emplace(key, store.getQualifierDecl(ns, name)).first;
        return it->second ? &*it->second : nullptr;
    }

    // ------------------------------------------------------------------------------------------
    // Values

    bool convertScalar(const ast::ValueNode& v, CimType type, repo::Scalar& out) {
        using K = ast::ValueNode::Kind;
        const auto mismatch = [&](std::string_view what) {
            error(v.location, v.length,
                  std::string(what) + " is not a valid " + std::string(repo::cimTypeName(type)) + " value");
            return false;
        };
        switch (v.kind) {
        case K::Integer: {
            if (repo::isInteger(type)) {
                static constexpr int bits[] = {0, 8, 8, 16, 16, 32, 32, 64, 64};
                const int width = bits[static_cast<int>(type)];
                const std::uint64_t umax = width == 64 ? UINT64_MAX : (std::uint64_t{1} << width) - 1;
                const std::string shown = (v.negative ? "-" : "") + std::to_string(v.magnitude);
                if (repo::isUnsignedInteger(type)) {
                    if (v.negative || v.magnitude > umax) {
                        error(v.location, v.length,
                              shown + " is out of range for " + std::string(repo::cimTypeName(type)));
                        return false;
                    }
                    out = v.magnitude;
                    return true;
                }
                const std::uint64_t smax = umax >> 1;
                if (v.negative && v.magnitude <= smax + 1) {
                    out = v.magnitude == smax + 1 ? -static_cast<std::int64_t>(smax) - 1
                                                  : -static_cast<std::int64_t>(v.magnitude);
                    return true;
                }
                if (!v.negative && v.magnitude <= smax) {
                    out = static_cast<std::int64_t>(v.magnitude);
                    return true;
                }
                if (!v.negative && v.base != 10 && v.magnitude <= umax) {
                    // A hexadecimal, octal or binary constant gives the bit pattern.
                    out = width == 64
                              ? static_cast<std::int64_t>(v.magnitude)
                              : static_cast<std::int64_t>(v.magnitude) - static_cast<std::int64_t>(umax) - 1;
                    return true;
                }
                error(v.location, v.length,
                      shown + " is out of range for " + std::string(repo::cimTypeName(type)));
                return false;
            }
            if (repo::isReal(type)) {
                const double d = static_cast<double>(v.magnitude);
                out = v.negative ? -d : d;
                return true;
            }
            if (type == CimType::Char16 && !v.negative && v.magnitude <= 0xFFFF) {
                out = v.magnitude;
                return true;
            }
            return mismatch("an integer");
        }
        case K::Real:
            if (!repo::isReal(type)) return mismatch("a real number");
            if (type == CimType::Real32) {
                if (std::isfinite(v.real) && std::fabs(v.real) > FLT_MAX) {
                    error(v.location, v.length, "value is out of range for real32");
                    return false;
                }
                out = static_cast<double>(static_cast<float>(v.real));
            } else {
                out = v.real;
            }
            return true;
        case K::String:
            if (type == CimType::String || type == CimType::Reference || type == CimType::Object) {
                out = v.text;
                return true;
            }
            if (type == CimType::DateTime) {
                if (!isDateTime(v.text)) {
                    error(v.location, v.length,
                          "\"" + v.text +
                              "\" is not a datetime (yyyymmddhhmmss.mmmmmmsutc, or ddddddddhhmmss.mmmmmm:000 "
                              "for an "
                              "interval)");
                    return false;
                }
                out = v.text;
                return true;
            }
            return mismatch("a string");
        case K::Char:
            if (type == CimType::Char16) {
                out = v.magnitude;
                return true;
            }
            if (type == CimType::String) {
                std::string s;
                appendUtf8(s, static_cast<std::uint32_t>(v.magnitude));
                out = std::move(s);
                return true;
            }
            return mismatch("a character");
        case K::Boolean:
            if (type != CimType::Boolean) return mismatch(v.boolean ? "TRUE" : "FALSE");
            out = v.boolean;
            return true;
        case K::Alias: {
            if (type != CimType::Reference && type != CimType::Object) return mismatch("an alias");
            auto it = aliases.find(fold(v.text));
            if (it == aliases.end()) {
                error(v.location, v.length,
                      "unknown alias '$" + v.text + "' (an alias must be defined before use)");
                return false;
            }
            out = it->second.path;
            return true;
        }
        case K::Null:
            error(v.location, v.length, "NULL is not allowed as an array element");
            return false;
        case K::Array:
            break;
        }
        error(v.location, v.length, "an array is not allowed here");
        return false;
    }

    // Converts a literal to the declared type. wrapScalar: Q("x") for an array qualifier.
    bool convertValue(const ast::ValueNode& v, CimType type, bool isArray, bool wrapScalar,
                      repo::Value& out) {
        if (v.kind == ast::ValueNode::Kind::Null) {
            out = repo::Value();
            return true;
        }
        if (v.kind == ast::ValueNode::Kind::Array) {
            if (!isArray) {
                error(v.location, v.length,
                      "an array value for a scalar of type " + std::string(repo::cimTypeName(type)));
                return false;
            }
            std::vector<repo::Scalar> items;
            items.reserve(v.items.size());
            bool ok = true;
            for (const ast::ValueNode& item : v.items) {
                repo::Scalar s;
                if (convertScalar(item, type, s))
                    items.push_back(std::move(s));
                else
                    ok = false;
            }
            if (ok) out = repo::Value::array(std::move(items));
            return ok;
        }
        repo::Scalar s;
        if (isArray && !wrapScalar) {
            error(v.location, v.length, "a single value for an array; write it as {value}");
            return false;
        }
        if (!convertScalar(v, type, s)) return false;
        out = isArray ? repo::Value::array({std::move(s)}) : repo::Value::scalar(std::move(s));
        return true;
    }

    // Flavors of the standard qualifiers when a file uses them without declaring them, as the
    // platform's compiler knows them: Abstract, Override and the like stay with their class.
    static std::uint32_t wellKnownFlavors(std::string_view name) {
        using namespace repo::flavor;
        struct Known {
            std::string_view name;
            std::uint32_t flavors;
        };
        static constexpr Known known[] = {
            {"abstract", 0},
            {"amendment", 0},
            {"deprecated", 0},
            {"experimental", 0},
            {"override", 0},
            {"umlpackagepath", 0},
            {"uuid", 0},
            {"version", Translatable},
            {"aggregate", ToSubclass | DisableOverride},
            {"aggregation", ToSubclass | DisableOverride},
            {"association", ToSubclass | DisableOverride},
            {"composition", ToSubclass | DisableOverride},
            {"exception", ToSubclass | DisableOverride},
            {"indication", ToSubclass | DisableOverride},
            {"key", ToSubclass | DisableOverride},
            {"propagated", ToSubclass | DisableOverride},
            {"weak", ToSubclass | DisableOverride},
        };
        for (const Known& k : known)
            if (repo::equalsNoCase(k.name, name)) return k.flavors;
        return repo::flavor::Default;
    }

    // The type of an undeclared qualifier, taken from its value as the platform's compiler does.
    static std::pair<CimType, bool> inferType(const std::optional<ast::ValueNode>& value) {
        using K = ast::ValueNode::Kind;
        if (!value) return {CimType::Boolean, false};
        const bool isArray = value->kind == K::Array;
        const ast::ValueNode* sample = isArray ? nullptr : &*value;
        if (isArray)
            for (const ast::ValueNode& item : value->items)
                if (item.kind != K::Null) {
                    sample = &item;
                    break;
                }
        if (!sample) return {CimType::String, isArray};
        switch (sample->kind) {
        case K::Boolean:
            return {CimType::Boolean, isArray};
        case K::Integer: {
            bool fits32 = true, fitsSigned = true;
            if (isArray) {
                for (const ast::ValueNode& item : value->items) {
                    fits32 &= item.magnitude <= (item.negative ? 0x80000000ull : 0x7FFFFFFFull);
                    fitsSigned &= item.negative || item.magnitude <= static_cast<std::uint64_t>(INT64_MAX);
                }
            } else {
                fits32 = sample->magnitude <= (sample->negative ? 0x80000000ull : 0x7FFFFFFFull);
                fitsSigned = sample->negative || sample->magnitude <= static_cast<std::uint64_t>(INT64_MAX);
            }
            return {fits32 ? CimType::SInt32 : fitsSigned ? CimType::SInt64 : CimType::UInt64, isArray};
        }
        case K::Real:
            return {CimType::Real64, isArray};
        case K::Char:
            return {CimType::Char16, isArray};
        default:
            return {CimType::String, isArray};
        }
    }

    // ------------------------------------------------------------------------------------------
    // Qualifiers

    // Applies written flavors over defaults; conflicting ones are an error.
    bool applyFlavors(const std::vector<ast::Flavor>& flavors, std::uint32_t& bits) {
        using F = ast::Flavor::Kind;
        bool ok = true;
        const auto conflict = [&](F a, F b) {
            const ast::Flavor* first = nullptr;
            for (const ast::Flavor& f : flavors) {
                if (f.kind != a && f.kind != b) continue;
                if (first && first->kind != f.kind) {
                    error(f.location, static_cast<std::uint32_t>(flavorName(f.kind).size()),
                          "flavor " + std::string(flavorName(f.kind)) + " conflicts with " +
                              std::string(flavorName(first->kind)));
                    ok = false;
                    return;
                }
                if (!first) first = &f;
            }
        };
        conflict(F::EnableOverride, F::DisableOverride);
        conflict(F::ToSubclass, F::Restricted);
        conflict(F::ToSubclass, F::NotToSubclass);
        conflict(F::ToInstance, F::NotToInstance);
        if (!ok) return false;
        for (const ast::Flavor& f : flavors) {
            using namespace repo::flavor;
            switch (f.kind) {
            case F::EnableOverride:
                bits &= ~DisableOverride;
                break;
            case F::DisableOverride:
                bits |= DisableOverride;
                break;
            case F::ToSubclass:
                bits |= ToSubclass;
                break;
            case F::NotToSubclass:
            case F::Restricted:
                bits &= ~ToSubclass;
                break;
            case F::ToInstance:
                bits |= ToInstance;
                break;
            case F::NotToInstance:
                bits &= ~ToInstance;
                break;
            case F::Amended:
                bits |= Amended;
                break;
            case F::Translatable:
                bits |= Translatable;
                break;
            }
        }
        return true;
    }

    // Resolves the qualifiers of one element; scope 0 skips the scope check (instances).
    bool resolveQualifiers(const std::vector<ast::QualifierNode>& nodes, NamespaceId ns, std::uint32_t scope,
                           std::vector<repo::Qualifier>& out) {
        bool ok = true;
        out.reserve(nodes.size());
        for (const ast::QualifierNode& node : nodes) {
            if (repo::equalsNoCase(node.name.text, "CIMTYPE")) {
                error(node.name, "the CIMTYPE qualifier is given by the repository from the declared type; "
                                 "remove it");
                ok = false;
                continue;
            }
            if (repo::findQualifier(out, node.name.text)) {
                error(node.name, "qualifier '" + std::string(node.name.text) + "' is given twice");
                ok = false;
                continue;
            }
            repo::Qualifier q;
            q.name = std::string(node.name.text);
            const repo::QualifierDecl* decl = findQualifierDecl(ns, node.name.text);
            if (decl) {
                if (scope != 0 && (decl->scopes & scope) == 0) {
                    error(node.name, "qualifier '" + q.name + "' may not be used on " +
                                         std::string(scopeName(scope)) +
                                         " (its scope: " + scopeNames(decl->scopes) + ")");
                    ok = false;
                    continue;
                }
                q.type = decl->type;
                q.isArray = decl->isArray;
                q.flavors = decl->flavors;
            } else {
                if (options.strictQualifiers) {
                    error(node.name, "qualifier '" + q.name + "' is not declared");
                    ok = false;
                    continue;
                }
                std::tie(q.type, q.isArray) = inferType(node.value);
                q.flavors = wellKnownFlavors(q.name);
            }
            if (!files.empty()) {
                const auto& defaults = files.back().flavorDefaults;
                if (auto it = defaults.find(fold(q.name)); it != defaults.end()) q.flavors = it->second;
            }
            if (!applyFlavors(node.flavors, q.flavors)) {
                ok = false;
                continue;
            }
            if (!node.value) {
                if (q.type == CimType::Boolean && !q.isArray) q.value = repo::Value::boolean(true);
            } else if (!convertValue(*node.value, q.type, q.isArray, node.valueInParens, q.value)) {
                ok = false;
                continue;
            }
            out.push_back(std::move(q));
        }
        return ok;
    }

    // A subclass may repeat a DisableOverride qualifier but not change its value.
    bool checkLocked(const std::vector<const repo::Qualifier*>& locked,
                     const std::vector<repo::Qualifier>& own, const std::vector<ast::QualifierNode>& nodes,
                     std::string_view from) {
        bool ok = true;
        for (const repo::Qualifier* l : locked) {
            const repo::Qualifier* q = repo::findQualifier(own, l->name);
            if (!q || q->value == l->value) continue;
            const auto node = std::find_if(nodes.begin(), nodes.end(), [&](const ast::QualifierNode& n) {
                return repo::equalsNoCase(n.name.text, l->name);
            });
            error(node->name, "qualifier '" + q->name + "' cannot be overridden with another value: " +
                                  std::string(from) + " gives it the DisableOverride flavor");
            ok = false;
        }
        return ok;
    }

    // ------------------------------------------------------------------------------------------
    // Declarations

    void processDeclaration(const ast::Declaration& decl) {
        try {
            if (const auto* p = std::get_if<ast::PragmaNode>(&decl))
                processPragma(*p);
            else if (const auto* q = std::get_if<ast::QualifierDeclNode>(&decl))
                processQualifierDecl(*q);
            else if (const auto* c = std::get_if<ast::ClassNode>(&decl))
                processClass(*c);
            else
                processInstance(std::get<ast::InstanceNode>(decl));
        } catch (const Error& e) {
            const Location at = std::visit([](const auto& d) { return d.location; }, decl);
            diagnostics.error(Phase::Repository, at, 1, "repository failure: " + e.description());
            aborted = true;
        }
    }

    // Resolves a written type to a CIM type and class name; false after an error.
    bool resolveType(const ast::TypeNode& type, NamespaceId ns, std::string_view self, CimType& out,
                     std::string& refClass) {
        if (type.kind == ast::TypeNode::Kind::Intrinsic) {
            if (repo::equalsNoCase(type.name.text, "object"))
                out = CimType::Object;
            else
                out = *repo::intrinsicTypeFromName(type.name.text);
            return true;
        }
        out = type.kind == ast::TypeNode::Kind::Reference ? CimType::Reference : CimType::Object;
        if (repo::equalsNoCase(type.name.text, self)) {
            refClass = std::string(self);
            return true;
        }
        const ClassEntry* target = findClass(ns, type.name.text);
        if (!target) {
            error(type.name,
                  std::string(type.kind == ast::TypeNode::Kind::Reference ? "reference to unknown class '"
                                                                          : "unknown type or class '") +
                      std::string(type.name.text) + "'");
            return false;
        }
        refClass = target->def.name;
        return true;
    }

    // [EmbeddedObject] string X and [EmbeddedInstance("C")] string X hold objects.
    static void applyEmbedding(CimType& type, std::string& refClass,
                               const std::vector<repo::Qualifier>& quals) {
        if (type != CimType::String) return;
        if (const repo::Qualifier* q = repo::findQualifier(quals, "EmbeddedInstance")) {
            type = CimType::Object;
            if (!q->value.isNull() && !q->value.isArray())
                if (const auto* s = std::get_if<std::string>(&q->value.scalarValue())) refClass = *s;
        } else if (const repo::Qualifier* e = repo::findQualifier(quals, "EmbeddedObject"); e && truthy(*e)) {
            type = CimType::Object;
        }
    }

    void processClass(const ast::ClassNode& node) {
        const NamespaceId ns = currentNs();
        bool ok = true;
        const std::string name(node.name.text);
        if (name.rfind("__", 0) == 0 && !options.systemClasses) {
            error(node.name, "class names starting with '__' are reserved for system classes");
            ok = false;
        }
        const bool amendment = std::any_of(node.qualifiers.begin(), node.qualifiers.end(), [](const auto& q) {
            return repo::equalsNoCase(q.name.text, "Amendment") &&
                   !(q.value && q.value->kind == ast::ValueNode::Kind::Boolean && !q.value->boolean);
        });

        ClassEntry* super = nullptr;
        if (node.superclass) {
            super = findClass(ns, node.superclass->text);
            if (!super && !amendment) {
                error(*node.superclass, "unknown superclass '" + std::string(node.superclass->text) + "'");
                ok = false;
            }
            std::size_t depth = 0;
            for (const ClassEntry* up = super; up;
                 up = up->def.superclass.empty() ? nullptr : findClass(up->ns, up->def.superclass)) {
                if (repo::equalsNoCase(up->def.name, name) && up->ns == ns) {
                    error(*node.superclass, "class '" + name + "' would be its own superclass");
                    ok = false;
                    super = nullptr;
                    break;
                }
                if (++depth > limits::MaxInheritanceDepth) {
                    error(*node.superclass, "more than " + std::to_string(limits::MaxInheritanceDepth) +
                                                " superclasses above class '" + name + "'");
                    ok = false;
                    super = nullptr;
                    break;
                }
            }
        }

        auto entry = std::make_unique<ClassEntry>();
        entry->ns = ns;
        entry->location = node.location;
        repo::ClassDef& def = entry->def;
        def.name = name;
        // A refused superclass is not recorded, so no chain in the caches can loop.
        if (node.superclass &&
            (super || (amendment && ok && !repo::equalsNoCase(node.superclass->text, name))))
            def.superclass = super ? super->def.name : std::string(node.superclass->text);

        // Whether this class is an association decides which qualifier scope applies.
        bool association = super && super->association, indication = super && super->indication;
        for (const ast::QualifierNode& q : node.qualifiers) {
            const bool on = !(q.value && q.value->kind == ast::ValueNode::Kind::Boolean && !q.value->boolean);
            if (repo::equalsNoCase(q.name.text, "Association")) association = on;
            if (repo::equalsNoCase(q.name.text, "Indication")) indication = on;
        }
        const std::uint32_t classScope = association  ? repo::scope::Association
                                         : indication ? repo::scope::Indication
                                                      : repo::scope::Class;
        ok &= resolveQualifiers(node.qualifiers, ns, classScope, def.qualifiers);
        if (super)
            ok &=
                checkLocked(super->locked, def.qualifiers, node.qualifiers, "superclass " + super->def.name);

        std::unordered_map<std::string, const ast::Name*> seen;
        std::vector<const ast::FeatureNode*> broken;
        def.properties.reserve(node.features.size());
        for (const ast::FeatureNode& f : node.features) {
            if (!seen.emplace(fold(f.name.text), &f.name).second) {
                error(f.name, "'" + std::string(f.name.text) + "' is declared twice in class " + name);
                ok = false;
                continue;
            }
            const Member* inherited = nullptr;
            if (super)
                if (auto it = super->members.find(fold(f.name.text)); it != super->members.end())
                    inherited = &it->second;
            const bool fine = f.kind == ast::FeatureNode::Kind::Property
                                  ? processProperty(f, ns, name, inherited, def)
                                  : processMethod(f, ns, name, inherited, def);
            if (!fine) broken.push_back(&f);
            ok &= fine;
        }

        ok &= checkClassFlags(node, ns, name);
        deriveView(*entry, super);
        for (const ast::FeatureNode* f : broken) {
            // Keep the member known, so that instances do not report it missing as well.
            auto [it, isNew] = entry->members.try_emplace(fold(f->name.text));
            if (isNew) it->second.name = std::string(f->name.text);
            it->second.isMethod = f->kind == ast::FeatureNode::Kind::Method;
            it->second.broken = true;
        }
        ClassEntry* raw = entry.get();
        entries.push_back(std::move(entry));
        classes[ns][fold(name)] = raw;
        definedHere[ns].try_emplace(fold(name), node.name.location);
        if (ok && canWrite()) {
            store.putClass(ns, raw->def);
            ++stats.classes;
        }
    }

    bool processProperty(const ast::FeatureNode& f, NamespaceId ns, const std::string& self,
                         const Member* inherited, repo::ClassDef& def) {
        repo::PropertyDef p;
        p.name = std::string(f.name.text);
        bool ok = resolveType(f.type, ns, self, p.type, p.refClass);
        const std::uint32_t scope =
            p.type == CimType::Reference ? repo::scope::Reference : repo::scope::Property;
        ok &= resolveQualifiers(f.qualifiers, ns, scope, p.qualifiers);
        if (!ok) return false;
        applyEmbedding(p.type, p.refClass, p.qualifiers);
        if (inherited && inherited->embedded && p.type == CimType::String) {
            // The embedding qualifier reaches the redeclaration from the superclass.
            p.type = inherited->type;
            if (p.refClass.empty()) p.refClass = inherited->refClass;
        }
        p.isArray = f.array != ast::ArrayKind::None;
        p.arraySize = static_cast<std::int32_t>(f.arraySize);
        if (inherited) {
            if (inherited->isMethod) {
                error(f.name, "property '" + p.name + "' has the name of an inherited method");
                return false;
            }
            if (inherited->type != p.type || inherited->isArray != p.isArray) {
                error(f.name, "property '" + p.name + "' is redeclared as " + typeText(p.type, p.isArray) +
                                  "; the superclass declares it " +
                                  typeText(inherited->type, inherited->isArray));
                return false;
            }
            ok &= checkLocked(inherited->locked, p.qualifiers, f.qualifiers, "the superclass's property");
        }
        if (f.defaultValue) {
            repo::Value v;
            if (!convertValue(*f.defaultValue, p.type, p.isArray, false, v)) return false;
            if (p.arraySize > 0 && v.isArray() && v.items().size() > static_cast<std::size_t>(p.arraySize)) {
                error(f.defaultValue->location, 1,
                      "the array holds at most " + std::to_string(p.arraySize) + " elements");
                return false;
            }
            p.defaultValue = std::move(v);
        }
        if (ok) def.properties.push_back(std::move(p));
        return ok;
    }

    static std::string typeText(CimType type, bool isArray) {
        return std::string(repo::cimTypeName(type)) + (isArray ? "[]" : "");
    }

    bool processMethod(const ast::FeatureNode& f, NamespaceId ns, const std::string& self,
                       const Member* inherited, repo::ClassDef& def) {
        repo::MethodDef m;
        m.name = std::string(f.name.text);
        bool ok = resolveType(f.type, ns, self, m.returnType, m.returnRefClass);
        ok &= resolveQualifiers(f.qualifiers, ns, repo::scope::Method, m.qualifiers);
        if (inherited && !inherited->isMethod) {
            error(f.name, "method '" + m.name + "' has the name of an inherited property");
            return false;
        }
        if (ok && inherited)
            ok &= checkLocked(inherited->locked, m.qualifiers, f.qualifiers, "the superclass's method");
        std::unordered_set<std::string> names;
        for (const ast::ParameterNode& pn : f.parameters) {
            repo::ParameterDef p;
            p.name = std::string(pn.name.text);
            if (!names.insert(fold(p.name)).second) {
                error(pn.name, "parameter '" + p.name + "' is declared twice");
                ok = false;
                continue;
            }
            bool pok = resolveType(pn.type, ns, self, p.type, p.refClass);
            pok &= resolveQualifiers(pn.qualifiers, ns, repo::scope::Parameter, p.qualifiers);
            if (!pok) {
                ok = false;
                continue;
            }
            applyEmbedding(p.type, p.refClass, p.qualifiers);
            if (inherited && inherited->method && p.type == CimType::String) {
                // An embedded object parameter stays one when a subclass redeclares the method.
                for (const repo::ParameterDef& old : inherited->method->parameters)
                    if (repo::equalsNoCase(old.name, p.name) && old.type == CimType::Object) {
                        p.type = CimType::Object;
                        p.refClass = old.refClass;
                    }
            }
            p.isArray = pn.array != ast::ArrayKind::None;
            p.arraySize = static_cast<std::int32_t>(pn.arraySize);
            m.parameters.push_back(std::move(p));
        }
        if (ok) def.methods.push_back(std::move(m));
        return ok;
    }

    bool checkClassFlags(const ast::ClassNode& node, NamespaceId ns, const std::string& name) {
        if (options.systemClasses) return true;
        const auto& here = definedHere[ns];
        const auto earlier = here.find(fold(name));
        const bool inCompile = earlier != here.end();
        const bool inStore = !inCompile && store.hasClass(ns, name);
        const std::uint32_t flags = classFlags;
        if ((flags & classflags::CreateOnly) && (inStore || inCompile)) {
            error(node.name, "class '" + name + "' already exists (classflags createonly)");
            return false;
        }
        if ((flags & classflags::UpdateOnly) && !inStore && !inCompile) {
            error(node.name, "class '" + name + "' does not exist (classflags updateonly)");
            return false;
        }
        if (inCompile &&
            !(flags & (classflags::ForceUpdate | classflags::SafeUpdate | classflags::UpdateOnly))) {
            error(node.name, "class '" + name + "' is defined twice in this compile");
            diagnostics.note(earlier->second, static_cast<std::uint32_t>(name.size()), "first defined here");
            return false;
        }
        if (inStore && !(flags & classflags::ForceUpdate)) {
            // Changing a class that has subclasses must not take away what they build on.
            const auto subclasses = store.subclassNames(ns, name);
            if (subclasses.empty()) return true;
            const ClassEntry* old = findClass(ns, name);
            std::string conflict;
            if (old && node.superclass && !repo::equalsNoCase(old->def.superclass, node.superclass->text))
                conflict = "its superclass changes";
            if (old && conflict.empty()) {
                for (const repo::PropertyDef& p : old->def.properties) {
                    const auto f =
                        std::find_if(node.features.begin(), node.features.end(),
                                     [&](const auto& n) { return repo::equalsNoCase(n.name.text, p.name); });
                    if (f == node.features.end()) {
                        conflict = "property '" + p.name + "' is removed";
                        break;
                    }
                }
            }
            if (!conflict.empty()) {
                error(node.name, "updating class '" + name + "' would conflict with its subclass '" +
                                     subclasses.front() + "': " + conflict +
                                     " (classflags forceupdate allows it)");
                return false;
            }
        }
        return true;
    }

    void processInstance(const ast::InstanceNode& node) {
        const NamespaceId ns = currentNs();
        ClassEntry* cls = findClass(ns, node.className.text);
        repo::InstanceDef inst;
        bool ok = true;
        if (!cls) {
            error(node.className, "instance of unknown class '" + std::string(node.className.text) + "'");
            ok = false;
        } else {
            inst.className = cls->def.name;
        }
        ok &= resolveQualifiers(node.qualifiers, ns, 0, inst.qualifiers);
        std::unordered_set<std::string> seen;
        std::unordered_map<std::string, std::pair<repo::Value, CimType>> byName;
        for (const ast::PropertyValueNode& pv : node.properties) {
            if (!seen.insert(fold(pv.name.text)).second) {
                error(pv.name, "property '" + std::string(pv.name.text) + "' is given twice");
                ok = false;
                continue;
            }
            if (!cls) {
                checkAliases(pv.value);
                continue;
            }
            const auto it = cls->members.find(fold(pv.name.text));
            if (it == cls->members.end() || it->second.isMethod) {
                error(pv.name,
                      "class '" + cls->def.name + "' has no property '" + std::string(pv.name.text) + "'");
                ok = false;
                continue;
            }
            const Member& m = it->second;
            if (m.broken) continue;
            repo::PropertyValue out;
            out.name = m.name;
            if (!convertValue(pv.value, m.type, m.isArray, false, out.value) ||
                !resolveQualifiers(pv.qualifiers, ns, 0, out.qualifiers)) {
                ok = false;
                continue;
            }
            byName.emplace(it->first, std::make_pair(out.value, m.type));
            inst.properties.push_back(std::move(out));
        }
        if (node.alias) {
            std::string path = inst.className.empty() ? std::string(node.className.text) : inst.className;
            if (cls && !cls->keys.empty()) {
                char sep = '.';
                for (const std::string& key : cls->keys) {
                    const auto it = byName.find(key);
                    if (it == byName.end()) continue;
                    path += sep + cls->members.at(key).name + "=" +
                            pathValue(it->second.first, it->second.second);
                    sep = ',';
                }
            } else {
                path += "=@";
            }
            const std::string aliasName(node.alias->text.substr(1));
            auto [it, added] = aliases.try_emplace(fold(aliasName), AliasEntry{path, node.alias->location});
            if (!added) {
                error(*node.alias, "alias '" + std::string(node.alias->text) + "' is already defined");
                diagnostics.note(it->second.location, 1, "first defined here");
                ok = false;
            }
        }
        if (!ok || !cls) return;
        if (repo::equalsNoCase(cls->def.name, "__NAMESPACE")) {
            createNamespaceInstance(node, inst, ns);
            return;
        }
        if (canWrite()) {
            store.putInstance(ns, inst);
            ++stats.instances;
        }
    }

    // Reports unknown aliases in a value whose type is unknown.
    void checkAliases(const ast::ValueNode& v) {
        if (v.kind == ast::ValueNode::Kind::Alias && !aliases.count(fold(v.text)))
            error(v.location, v.length,
                  "unknown alias '$" + v.text + "' (an alias must be defined before use)");
        for (const ast::ValueNode& item : v.items)
            checkAliases(item);
    }

    void createNamespaceInstance(const ast::InstanceNode& node, const repo::InstanceDef& inst,
                                 NamespaceId ns) {
        const repo::PropertyValue* nameValue = nullptr;
        for (const auto& p : inst.properties)
            if (repo::equalsNoCase(p.name, "Name")) nameValue = &p;
        const std::string* text = nullptr;
        if (nameValue && !nameValue->value.isNull() && !nameValue->value.isArray())
            text = std::get_if<std::string>(&nameValue->value.scalarValue());
        if (!text || text->empty() || text->find_first_of("\\/") != std::string::npos) {
            error(node.className, "an instance of __NAMESPACE needs a Name without '\\' or '/'");
            return;
        }
        if (!canWrite()) return;
        if (!store.findChild(ns, *text)) {
            store.createNamespace(ns, *text);
            ++stats.namespaces;
        }
    }

    void processQualifierDecl(const ast::QualifierDeclNode& node) {
        std::uint32_t flavors = repo::flavor::Default;
        if (!node.type) {
            // "Qualifier Description : ToSubclass Amended;" sets defaults for the rest of this file.
            if (applyFlavors(node.flavors, flavors) && !files.empty())
                files.back().flavorDefaults[fold(node.name.text)] = flavors;
            return;
        }
        const NamespaceId ns = currentNs();
        repo::QualifierDecl decl;
        decl.name = std::string(node.name.text);
        bool ok = true;
        if (repo::equalsNoCase(node.type->name.text, "object")) {
            error(node.type->name, "a qualifier cannot have the type object");
            return;
        }
        decl.type = *repo::intrinsicTypeFromName(node.type->name.text);
        decl.isArray = node.array != ast::ArrayKind::None;
        decl.arraySize = static_cast<std::int32_t>(node.arraySize);
        if (node.defaultValue) {
            repo::Value v;
            if (convertValue(*node.defaultValue, decl.type, decl.isArray, false, v))
                decl.defaultValue = std::move(v);
            else
                ok = false;
        }
        decl.scopes = 0;
        for (const ast::Name& s : node.scopes)
            decl.scopes |= scopeBit(s.text);
        ok &= applyFlavors(node.flavors, flavors);
        decl.flavors = flavors;
        if (!ok) return;
        qualifierDecls[ns][fold(decl.name)] = decl;
        if (canWrite()) {
            store.putQualifierDecl(ns, decl);
            ++stats.qualifierDecls;
        }
    }

    // ------------------------------------------------------------------------------------------
    // Pragmas

    const ast::ValueNode* stringArgument(const ast::PragmaNode& p) {
        if (p.arguments.empty() || p.arguments[0].kind != ast::ValueNode::Kind::String) {
            error(p.name, "#pragma " + std::string(p.name.text) + " needs a string argument");
            return nullptr;
        }
        return &p.arguments[0];
    }

    void processPragma(const ast::PragmaNode& p) {
        const std::string name = fold(p.name.text);
        if (name == "include") return pragmaInclude(p);
        if (name == "namespace") return pragmaNamespace(p);
        if (name == "classflags") return pragmaClassFlags(p);
        if (name == "deleteclass") return pragmaDeleteClass(p);
        if (name == "restrict") return pragmaRestrict(p);
        if (name == "locale") {
            if (const ast::ValueNode* arg = stringArgument(p)) {
                const std::string& v = arg->text;
                const bool named = v.size() >= 5 && (v[2] == '_' || v[2] == '-');
                const bool numbered =
                    (v.rfind("ms_", 0) == 0 || v.rfind("MS_", 0) == 0 || v.rfind("0x", 0) == 0) &&
                    v.size() > 3;
                if (!named && !numbered)
                    diagnostics.warning(arg->location, arg->length,
                                        "unrecognised locale \"" + v + "\" ignored");
            }
            return;
        }
        if (name == "autorecover" || name == "amendment") return; // nothing to do without the service
        if (name == "instanceflags" || name == "deleteinstance") {
            diagnostics.warning(p.name.location, static_cast<std::uint32_t>(p.name.text.size()),
                                "#pragma " + std::string(p.name.text) + " is not supported and is ignored");
            return;
        }
        diagnostics.warning(p.name.location, static_cast<std::uint32_t>(p.name.text.size()),
                            "unknown pragma '" + std::string(p.name.text) + "' ignored");
    }

    void pragmaInclude(const ast::PragmaNode& p) {
        const ast::ValueNode* arg = stringArgument(p);
        if (!arg) return;
        if (!options.readIncludes) {
            diagnostics.error(Phase::Input, arg->location, arg->length,
                              "includes are not read in this compile");
            return;
        }
        if (files.size() >= limits::MaxIncludeDepth) {
            diagnostics.error(Phase::Input, arg->location, arg->length,
                              "includes nested more than " + std::to_string(limits::MaxIncludeDepth) +
                                  " deep");
            return;
        }
        std::optional<fs::path> found = findFile(files.back().folder, arg->text);
        for (std::size_t i = 0; !found && i < options.includeDirs.size(); ++i)
            found = findFile(options.includeDirs[i], arg->text);
        if (!found) {
            diagnostics.error(Phase::Input, arg->location, arg->length,
                              "cannot find include file \"" + arg->text + "\"");
            return;
        }
        std::error_code ec;
        const std::string canonical = fs::weakly_canonical(*found, ec).string();
        if (std::find(includeStack.begin(), includeStack.end(), canonical) != includeStack.end()) {
            diagnostics.error(Phase::Input, arg->location, arg->length,
                              "\"" + arg->text + "\" includes itself (directly or through other files)");
            return;
        }
        includeStack.push_back(canonical);
        // Diagnostics name an included file relative to how its includer was named.
        std::string shown = found->string();
        const fs::path rel = found->lexically_relative(files.back().folder);
        if (!rel.empty() && *rel.begin() != "..")
            shown = (fs::path(sources.file(files.back().id).name()).parent_path() / rel).string();
        compileFile(shown, *found, arg->location);
        includeStack.pop_back();
    }

    void pragmaNamespace(const ast::PragmaNode& p) {
        const ast::ValueNode* arg = stringArgument(p);
        if (!arg) return;
        if (options.systemClasses) {
            error(arg->location, arg->length, "system classes are compiled into the system namespace only");
            return;
        }
        std::string problem;
        auto path = resolveNamespacePath(arg->text, problem);
        if (!path) {
            error(arg->location, arg->length, problem);
            return;
        }
        if (*path != currentNamespace) {
            currentNamespace = *path;
            currentNamespaceId.reset();
        }
    }

    void pragmaClassFlags(const ast::PragmaNode& p) {
        std::uint32_t flags = 0;
        bool ok = !p.arguments.empty();
        for (const ast::ValueNode& arg : p.arguments) {
            if (arg.kind == ast::ValueNode::Kind::Integer && !arg.negative && arg.magnitude <= 0xFFFFFFFF) {
                flags |= static_cast<std::uint32_t>(arg.magnitude);
                continue;
            }
            if (arg.kind != ast::ValueNode::Kind::String) {
                error(arg.location, arg.length, "classflags takes flag names or a number");
                return;
            }
            // One string may hold several flags: "updateonly, forceupdate".
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
                if (repo::equalsNoCase(word, "createonly"))
                    flags |= classflags::CreateOnly;
                else if (repo::equalsNoCase(word, "updateonly"))
                    flags |= classflags::UpdateOnly;
                else if (repo::equalsNoCase(word, "safeupdate"))
                    flags |= classflags::SafeUpdate;
                else if (repo::equalsNoCase(word, "forceupdate"))
                    flags |= classflags::ForceUpdate;
                else {
                    error(arg.location, arg.length,
                          "unknown class flag '" + std::string(word) +
                              "' (createonly, updateonly, safeupdate or forceupdate)");
                    ok = false;
                }
            }
        }
        if (!ok) {
            if (p.arguments.empty()) error(p.name, "#pragma classflags needs at least one flag");
            return;
        }
        if ((flags & classflags::CreateOnly) && (flags & classflags::UpdateOnly)) {
            error(p.name, "classflags createonly and updateonly contradict each other");
            return;
        }
        if ((flags & classflags::SafeUpdate) && (flags & classflags::ForceUpdate)) {
            error(p.name, "classflags safeupdate and forceupdate contradict each other");
            return;
        }
        classFlags = flags;
    }

    void pragmaDeleteClass(const ast::PragmaNode& p) {
        const ast::ValueNode* arg = stringArgument(p);
        if (!arg) return;
        bool fail = true;
        if (p.arguments.size() > 1) {
            const ast::ValueNode& mode = p.arguments[1];
            if (mode.kind == ast::ValueNode::Kind::String && repo::equalsNoCase(mode.text, "NOFAIL"))
                fail = false;
            else if (!(mode.kind == ast::ValueNode::Kind::String && repo::equalsNoCase(mode.text, "FAIL"))) {
                error(mode.location, mode.length, "deleteclass takes FAIL or NOFAIL");
                return;
            }
        }
        const NamespaceId ns = currentNs();
        const ClassEntry* cls = findClass(ns, arg->text);
        if (!cls || cls->ns != ns) {
            if (fail)
                error(arg->location, arg->length, "cannot delete class '" + arg->text + "': no such class");
            return;
        }
        deleteClassTree(ns, cls->def.name);
    }

    void deleteClassTree(NamespaceId ns, const std::string& name) {
        // Subclasses first: the store removes one class at a time.
        std::vector<std::string> order{name};
        for (std::size_t i = 0; i < order.size() && order.size() < 100000; ++i)
            for (std::string& sub : store.subclassNames(ns, order[i]))
                order.push_back(std::move(sub));
        for (auto it = order.rbegin(); it != order.rend(); ++it) {
            if (canWrite()) store.deleteClass(ns, *it);
            classes[ns][fold(*it)] = nullptr;
            definedHere[ns].erase(fold(*it));
            ++stats.deletedClasses;
        }
    }

    void pragmaRestrict(const ast::PragmaNode& p) {
        const ast::ValueNode* arg = stringArgument(p);
        if (!arg) return;
        std::vector<std::string> allowed;
        for (const ast::ValueNode& a : p.arguments) {
            if (a.kind != ast::ValueNode::Kind::String) {
                error(a.location, a.length, "#pragma restrict takes user and group names (\"name,@group\")");
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
                    error(a.location, a.length, "'@' must be followed by a group name");
                    return;
                }
                if (!item.empty()) allowed.emplace_back(item);
            }
        }
        const NamespaceId ns = currentNs();
        if (canWrite()) store.setNamespaceAccess(ns, std::move(allowed));
    }
};

Compiler::Compiler(repo::ClassStore& store, CompileOptions options)
    : m_impl(std::make_unique<Impl>(store, std::move(options))) {}

Compiler::~Compiler() = default;

const Diagnostics& Compiler::diagnostics() const {
    return m_impl->diagnostics;
}
const SourceManager& Compiler::sources() const {
    return m_impl->sources;
}
const CompileStats& Compiler::stats() const {
    return m_impl->stats;
}

CompileStatus Compiler::compile(const std::vector<CompileInput>& inputs) {
    Impl& d = *m_impl;
    try {
        repo::Transaction tx = d.store.transaction();
        for (const CompileInput& input : inputs) {
            if (d.diagnostics.limitReached() || d.aborted) break;
            if (input.text) {
                std::string problem;
                auto text = decodeSource(*input.text, problem);
                if (!text) {
                    d.diagnostics.error(Phase::Input, {}, 0, "cannot read '" + input.path + "': " + problem);
                    continue;
                }
                d.compileSource(input.path, std::string(), std::move(*text));
            } else {
                std::error_code ec;
                const std::string canonical = fs::weakly_canonical(input.path, ec).string();
                d.includeStack.push_back(canonical);
                d.compileFile(input.path, input.path, {});
                d.includeStack.pop_back();
            }
        }
        if (d.diagnostics.hasErrors()) {
            d.stats = CompileStats{.files = d.stats.files};
        } else {
            tx.commit();
        }
    } catch (const Error& e) {
        d.diagnostics.error(Phase::Repository, {}, 0, "repository failure: " + e.description());
        d.stats = CompileStats{.files = d.stats.files};
    } catch (const std::exception& e) {
        d.diagnostics.error(Phase::Repository, {}, 0, std::string("internal failure: ") + e.what());
        d.stats = CompileStats{.files = d.stats.files};
    }
    if (d.diagnostics.hasErrorIn(Phase::Syntax)) return CompileStatus::SyntaxError;
    if (d.diagnostics.hasErrors()) return CompileStatus::SemanticError;
    return CompileStatus::Success;
}

CompileStatus Compiler::compileFiles(const std::vector<std::string>& paths) {
    std::vector<CompileInput> inputs;
    for (const std::string& p : paths)
        inputs.push_back({p, std::nullopt});
    return compile(inputs);
}

CompileStatus Compiler::compileText(std::string name, std::string text) {
    return compile({CompileInput{std::move(name), std::move(text)}});
}

} // namespace morrowlen::mof
