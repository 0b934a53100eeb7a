#include "tools/SchemaDiff.h"

#include "repository/core/Error.h"
#include "repository/file/RepositoryFile.h"
#include "repository/mof/Compiler.h"
#include "tools/DocSite.h"
#include "tools/MofFormat.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>

namespace morrowlen::tools {

namespace fs = std::filesystem;
using repo::equalsNoCase;
using repo::foldCase;
using repo::ResolvedQualifier;

namespace {

bool isSystemClass(std::string_view name) {
    return name.size() >= 2 && name[0] == '_' && name[1] == '_';
}

bool isOwn(const std::vector<ResolvedQualifier>& qs) {
    for (const auto& q : qs)
        if (!q.propagated && !equalsNoCase(q.name, "CIMTYPE")) return true;
    return false;
}

std::string typeText(repo::CimType type, bool isArray, const std::string& refClass) {
    return repo::cimTypeText(type, refClass) + (isArray ? "[]" : "");
}

// Collects the differences of one class; where says which member is being compared.
class ClassComparer {
  public:
    explicit ClassComparer(std::vector<Difference>& out) : m_out(out) {}

    void add(std::string kind, std::optional<std::string> before = {}, std::optional<std::string> after = {},
             std::string qualifier = {}) {
        m_out.push_back({std::move(kind), m_property, m_method, m_parameter, std::move(qualifier),
                         std::move(before), std::move(after)});
    }

    // Qualifiers that either side gives itself; one both inherit changed where it was given.
    void qualifiers(const std::vector<ResolvedQualifier>& a, const std::vector<ResolvedQualifier>& b) {
        std::map<std::string, std::pair<const ResolvedQualifier*, const ResolvedQualifier*>> byName;
        for (const auto& q : a)
            if (!equalsNoCase(q.name, "CIMTYPE")) byName[foldCase(q.name)].first = &q;
        for (const auto& q : b)
            if (!equalsNoCase(q.name, "CIMTYPE")) byName[foldCase(q.name)].second = &q;
        for (const auto& [name, pair] : byName) {
            const auto [qa, qb] = pair;
            if ((!qa || qa->propagated) && (!qb || qb->propagated)) continue;
            if (!qa)
                add("qualifierAdded", {}, mof::formatValueMof(qb->value, qb->type), qb->name);
            else if (!qb)
                add("qualifierRemoved", mof::formatValueMof(qa->value, qa->type), {}, qa->name);
            else if (!(qa->value == qb->value))
                add("qualifierChanged", mof::formatValueMof(qa->value, qa->type),
                    mof::formatValueMof(qb->value, qb->type), qb->name);
        }
    }

    void feature(const repo::ResolvedFeature& a, const repo::ResolvedFeature& b) {
        if (a.type != b.type)
            add("type", std::string(repo::cimTypeName(a.type)), std::string(repo::cimTypeName(b.type)));
        if (a.isArray != b.isArray) add("array", a.isArray ? "true" : "false", b.isArray ? "true" : "false");
        if (!equalsNoCase(a.refClass, b.refClass)) add("referenceClass", a.refClass, b.refClass);
    }

    void properties(const repo::ResolvedClass& a, const repo::ResolvedClass& b) {
        for (const auto& [name, pair] : concerned(a, b, &repo::ResolvedClass::properties)) {
            const auto [pa, pb] = pair;
            m_property = (pb ? pb : pa)->name;
            if (!pa)
                add("propertyAdded", {}, typeText(pb->type, pb->isArray, pb->refClass));
            else if (!pb)
                add("propertyRemoved", typeText(pa->type, pa->isArray, pa->refClass));
            else {
                feature(*pa, *pb);
                if (pa->defaultValue != pb->defaultValue)
                    add("default",
                        pa->defaultValue ? mof::formatValueMof(*pa->defaultValue, pa->type) : "NULL",
                        pb->defaultValue ? mof::formatValueMof(*pb->defaultValue, pb->type) : "NULL");
                qualifiers(pa->qualifiers, pb->qualifiers);
            }
        }
        m_property.clear();
    }

    void methods(const repo::ResolvedClass& a, const repo::ResolvedClass& b) {
        for (const auto& [name, pair] : concerned(a, b, &repo::ResolvedClass::methods)) {
            const auto [ma, mb] = pair;
            m_method = (mb ? mb : ma)->name;
            if (!ma)
                add("methodAdded", {}, returnText(*mb));
            else if (!mb)
                add("methodRemoved", returnText(*ma));
            else {
                if (returnText(*ma) != returnText(*mb)) add("returnType", returnText(*ma), returnText(*mb));
                qualifiers(ma->qualifiers, mb->qualifiers);
                parameters(*ma, *mb);
            }
        }
        m_method.clear();
    }

  private:
    static std::string returnText(const repo::ResolvedMethod& m) {
        return m.returnsVoid ? "void" : typeText(m.returnType, m.returnIsArray, m.returnRefClass);
    }

    void parameters(const repo::ResolvedMethod& a, const repo::ResolvedMethod& b) {
        std::map<std::string, std::pair<const repo::ResolvedFeature*, const repo::ResolvedFeature*>> byName;
        for (const auto& p : a.parameters)
            byName[foldCase(p.name)].first = &p;
        for (const auto& p : b.parameters)
            byName[foldCase(p.name)].second = &p;
        for (const auto& [name, pair] : byName) {
            const auto [pa, pb] = pair;
            m_parameter = (pb ? pb : pa)->name;
            if (!pa)
                add("parameterAdded", {}, typeText(pb->type, pb->isArray, pb->refClass));
            else if (!pb)
                add("parameterRemoved", typeText(pa->type, pa->isArray, pa->refClass));
            else {
                feature(*pa, *pb);
                qualifiers(pa->qualifiers, pb->qualifiers);
            }
        }
        m_parameter.clear();
    }

    // Members the class declares or overrides on either side, by folded name.
    template <typename Member>
    static std::map<std::string, std::pair<const Member*, const Member*>>
    concerned(const repo::ResolvedClass& a, const repo::ResolvedClass& b,
              std::vector<Member> repo::ResolvedClass::*list) {
        std::map<std::string, std::pair<const Member*, const Member*>> byName;
        for (const Member& m : a.*list)
            byName[foldCase(m.name)].first = &m;
        for (const Member& m : b.*list)
            byName[foldCase(m.name)].second = &m;
        auto mine = [](const Member* m, const repo::ResolvedClass& cls) {
            return m && (equalsNoCase(m->classOrigin, cls.name) || isOwn(m->qualifiers));
        };
        for (auto it = byName.begin(); it != byName.end();) {
            if (mine(it->second.first, a) || mine(it->second.second, b))
                ++it;
            else
                it = byName.erase(it);
        }
        return byName;
    }

    std::vector<Difference>& m_out;
    std::string m_property, m_method, m_parameter;
};

std::string location(const std::string& cls, const Difference& d) {
    if (!d.parameter.empty()) return cls + "." + d.method + "(" + d.parameter + ")";
    if (!d.method.empty()) return cls + "." + d.method + "()";
    if (!d.property.empty()) return cls + "." + d.property;
    return cls;
}

std::string describe(const Difference& d) {
    const std::string before = d.before.value_or(""), after = d.after.value_or("");
    if (d.kind == "qualifierAdded") return "qualifier " + d.qualifier + " added: " + after;
    if (d.kind == "qualifierRemoved") return "qualifier " + d.qualifier + " removed (was " + before + ")";
    if (d.kind == "qualifierChanged") return "qualifier " + d.qualifier + ": " + before + " -> " + after;
    if (d.kind.size() > 5 && d.kind.compare(d.kind.size() - 5, 5, "Added") == 0)
        return d.kind.substr(0, d.kind.size() - 5) + " added: " + after;
    if (d.kind.size() > 7 && d.kind.compare(d.kind.size() - 7, 7, "Removed") == 0)
        return d.kind.substr(0, d.kind.size() - 7) + " removed (was " + before + ")";
    const std::string shown = d.kind == "referenceClass" ? "reference class"
                              : d.kind == "returnType"   ? "return type"
                                                         : d.kind;
    return shown + ": " + (before.empty() ? "(none)" : before) + " -> " + (after.empty() ? "(none)" : after);
}

repo::ClassStore compileMof(const fs::path& path, const std::string& ns) {
    std::vector<std::string> files;
    mof::CompileOptions options;
    options.defaultNamespace = ns;
    if (fs::is_directory(path)) {
        for (const auto& e : fs::directory_iterator(path))
            if (e.is_regular_file() && equalsNoCase(e.path().extension().string(), ".mof"))
                files.push_back(e.path().string());
        std::sort(files.begin(), files.end());
        options.includeDirs.push_back(path.string());
        if (files.empty()) throw Error(wbem::NotFound, "no .mof file in " + path.string());
    } else {
        files.push_back(path.string());
        options.includeDirs.push_back(path.parent_path().empty() ? "." : path.parent_path().string());
    }
    repo::ClassStore store = repo::createInMemoryRepository();
    {
        mof::Compiler compiler(store, options);
        if (compiler.compileFiles(files) != mof::CompileStatus::Success)
            throw Error(wbem::InvalidSyntax, "the MOF of " + path.string() + " does not compile:\n" +
                                                 compiler.diagnostics().formatAll());
    }
    return store;
}

} // namespace

Schema readSchema(const repo::ClassSource& source, std::string_view ns, bool amended, std::string label) {
    Schema schema{std::move(label), {}};
    const repo::NamespaceHandle handle = source.openNamespace(ns);
    for (const std::string& name : source.classNames(handle))
        if (!isSystemClass(name))
            schema.classes.emplace(foldCase(name),
                                   source.getClass(handle, name, amended ? repo::UseAmendedQualifiers : 0));
    return schema;
}

SchemaDiff compareSchemas(const Schema& a, const Schema& b) {
    SchemaDiff diff{a.label, b.label, {}, {}, {}};
    for (const auto& [name, cls] : a.classes)
        if (!b.classes.count(name)) diff.removed.push_back(cls.name);
    for (const auto& [name, cb] : b.classes) {
        auto it = a.classes.find(name);
        if (it == a.classes.end()) {
            diff.added.push_back(cb.name);
            continue;
        }
        const repo::ResolvedClass& ca = it->second;
        ClassChange change{cb.name, {}};
        ClassComparer compare(change.differences);
        if (!equalsNoCase(ca.superclass, cb.superclass))
            compare.add("superclass", ca.superclass, cb.superclass);
        compare.qualifiers(ca.qualifiers, cb.qualifiers);
        compare.properties(ca, cb);
        compare.methods(ca, cb);
        if (!change.differences.empty()) diff.changed.push_back(std::move(change));
    }
    return diff;
}

std::string formatDiffText(const SchemaDiff& diff) {
    std::string out;
    for (const std::string& name : diff.removed)
        out += "- class " + name + "\n";
    for (const std::string& name : diff.added)
        out += "+ class " + name + "\n";
    for (const ClassChange& c : diff.changed)
        for (const Difference& d : c.differences)
            out += "~ " + location(c.className, d) + ": " + describe(d) + "\n";
    return out;
}

std::string formatDiffJson(const SchemaDiff& diff) {
    nlohmann::ordered_json changed = nlohmann::ordered_json::array();
    for (const ClassChange& c : diff.changed) {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const Difference& d : c.differences) {
            nlohmann::ordered_json j{{"kind", d.kind}};
            for (const auto& [key, value] :
                 {std::pair<const char*, const std::string*>{"property", &d.property},
                  {"method", &d.method},
                  {"parameter", &d.parameter},
                  {"qualifier", &d.qualifier}})
                if (!value->empty()) j[key] = *value;
            if (d.before) j["before"] = *d.before;
            if (d.after) j["after"] = *d.after;
            list.push_back(std::move(j));
        }
        changed.push_back({{"class", c.className}, {"differences", std::move(list)}});
    }
    const nlohmann::ordered_json j{{"a", diff.labelA},        {"b", diff.labelB},
                                   {"equal", diff.equal()},   {"added", diff.added},
                                   {"removed", diff.removed}, {"changed", std::move(changed)}};
    return j.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

void writeDiffHtml(report::LineWriter& out, const SchemaDiff& diff) {
    using report::escapeHtml;
    writeSitePageStart(out, diff.labelA + " - " + diff.labelB);
    out.writeLine("<TABLE Width = 100%>");
    out.writeLine("<TR><TD class=navbar colSpan=3>" + escapeHtml(diff.labelA) + " &rarr; " +
                  escapeHtml(diff.labelB) + "</TD></TR>");
    out.writeLine("<TR><TD class=subjectbar colSpan=3>" + std::to_string(diff.added.size()) + " added, " +
                  std::to_string(diff.removed.size()) + " removed, " + std::to_string(diff.changed.size()) +
                  " changed</TD></TR>");
    auto section = [&](const char* title, const std::vector<std::string>& names) {
        if (names.empty()) return;
        out.writeLine(std::string("<TR><TH class=headingbar align=left colSpan=3>") + title + "</TH></TR>");
        for (const std::string& n : names)
            out.writeLine("<TR><TD class=descbar colSpan=3>" + escapeHtml(n) + "</TD></TR>");
    };
    section("Removed classes", diff.removed);
    section("Added classes", diff.added);
    if (!diff.changed.empty()) {
        out.writeLine("<TR><TH class=headingbar align=left colSpan=3>Changed classes</TH></TR>");
        for (const ClassChange& c : diff.changed)
            for (const Difference& d : c.differences)
                out.writeLine("<TR><TD class=descbar valign=top>" + escapeHtml(location(c.className, d)) +
                              "</TD><TD class=descbar valign=top colSpan=2>" + escapeHtml(describe(d)) +
                              "</TD></TR>");
    }
    out.writeLine("</TABLE>");
    writeSitePageEnd(out);
}

std::string renderDiff(const SchemaDiff& diff, std::string_view format) {
    if (format == "json") return formatDiffJson(diff);
    if (format == "html") {
        PageBytes out;
        writeDiffHtml(out, diff);
        return out.bytes;
    }
    return formatDiffText(diff);
}

SchemaOperand::SchemaOperand(const std::function<const repo::ClassSource&()>& local, const std::string& spec)
    : m_label(spec) {
    // The longest prefix before a colon that names an existing file or folder is the file.
    fs::path file;
    std::string ns;
    std::error_code ec;
    if (fs::exists(spec, ec)) {
        file = spec;
    } else {
        for (std::size_t colon = spec.rfind(':'); colon != std::string::npos && colon > 0;
             colon = spec.rfind(':', colon - 1)) {
            if (fs::exists(spec.substr(0, colon), ec)) {
                file = spec.substr(0, colon);
                ns = spec.substr(colon + 1);
                break;
            }
        }
    }
    for (char& c : ns)
        if (c == '/') c = '\\';
    if (file.empty()) {
        m_source = &local();
        m_ns = spec;
        for (char& c : m_ns)
            if (c == '/') c = '\\';
        return;
    }
    if (fs::is_directory(file) || equalsNoCase(file.extension().string(), ".mof")) {
        m_ns = ns.empty() ? "root\\cimv2" : ns;
        m_store = std::make_unique<repo::ClassStore>(compileMof(file, m_ns));
    } else {
        if (ns.empty())
            throw Error(wbem::InvalidParameter,
                        "name the namespace of the repository file: " + spec + ":NAMESPACE");
        m_ns = ns;
        m_store = std::make_unique<repo::ClassStore>(
            repo::ClassStore::open(file.string(), repo::ClassStore::OpenMode::ReadOnly));
    }
    m_own = std::make_unique<repo::LocalRepository>(*m_store);
    m_source = m_own.get();
}

} // namespace morrowlen::tools
