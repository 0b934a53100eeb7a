// morrowlen-repo: looks into the local repository: its namespaces, their classes, one class. It
// reads through the same operations as the window.
#include "navigation/WmiOperations.h"
#include "report/ProfilePage.h"
#include "repository/core/Error.h"
#include "repository/core/Unicode.h"
#include "repository/file/Location.h"
#include "repository/file/RepositoryFile.h"
#include "tools/ClassTree.h"
#include "tools/DocSite.h"
#include "tools/MofFormat.h"
#include "tools/SchemaDiff.h"

#include <iostream>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

using namespace morrowlen;

namespace {

constexpr int Ok = 0, Failed = 1, BadUsage = 2;

// The repository is opened when a command first asks for it: diff of two MOF files needs none.
class Context {
  public:
    Context(std::optional<std::string> repository, std::vector<std::string> arguments)
        : args(std::move(arguments)), m_repository(std::move(repository)) {}

    const nav::Locator& locator() {
        if (!m_locator) {
            // Only the default location is created on first use: a mistyped path is an error.
            m_store.emplace(repo::openRepositoryForReading(
                m_repository ? *m_repository : repo::defaultRepositoryPath(), !m_repository));
            m_locator.emplace(*m_store);
        }
        return *m_locator;
    }
    // The local computer's classes.
    const repo::ClassSource& source() { return locator().local(); }

    std::vector<std::string> args; // after the subcommand's name

  private:
    std::optional<std::string> m_repository;
    std::optional<repo::ClassStore> m_store;
    std::optional<nav::Locator> m_locator;
};

using Handler = int (*)(Context&);

constexpr const char* FindUsage =
    "find PATTERN [--namespace NS] [--property PATTERN] [--qualifier NAME[=VALUE]]\n"
    "       [--text WORDS] [--amended] [--format text|json]";
constexpr const char* TreeUsage = "tree NAMESPACE [CLASS] [--depth N] [--format text|json]\n"
                                  "  tree NAMESPACE --associations CLASS [--format text|json]";

struct Subcommand {
    const char* name;
    const char* usage;
    Handler run;
};

int badUsage(const std::string& message) {
    std::cerr << "morrowlen-repo: " << message << "\nTry 'morrowlen-repo --help'.\n";
    return BadUsage;
}

std::string namespacePath(std::string text) {
    for (char& c : text)
        if (c == '/') c = '\\';
    return text;
}

// Prints the namespace and those below it; a namespace the user may not open is listed without
// what lies below it, as the window lists it.
void printTree(const repo::ClassSource& source, const std::string& path, const std::string& name, int depth) {
    std::cout << std::string(static_cast<std::size_t>(depth) * 2, ' ') << repo::escapeControls(name) << '\n';
    std::vector<std::string> children;
    try {
        children = source.childNamespaces(source.openNamespace(path));
    } catch (const Error& e) {
        if (e.number() != wbem::AccessDenied) throw;
    }
    for (const std::string& child : children)
        printTree(source, path + "\\" + child, child, depth + 1);
}

int runNamespaces(Context& c) {
    if (!c.args.empty()) return badUsage("'namespaces' takes no arguments");
    const std::string root = c.source().namespacePath(c.source().openNamespace("root"));
    printTree(c.source(), root, root, 0);
    return Ok;
}

nav::Services connect(Context& c, const std::string& ns) {
    return nav::connectMoniker(c.locator(), "winmgmts:\\\\.\\" + namespacePath(ns));
}

int runClasses(Context& c) {
    if (c.args.size() != 1) return badUsage("usage: morrowlen-repo classes NAMESPACE");
    for (const nav::ClassItem& item : connect(c, c.args[0]).SubclassesOf())
        std::cout << repo::escapeControls(item.Path_.Class) << '\n';
    return Ok;
}

int runShow(Context& c) {
    std::vector<std::string> positional;
    bool amended = false;
    std::string format = "mof";
    for (std::size_t i = 0; i < c.args.size(); ++i) {
        const std::string& a = c.args[i];
        if (a == "--amended")
            amended = true;
        else if (a == "--format" && i + 1 < c.args.size())
            format = c.args[++i];
        else if (a.rfind("--format=", 0) == 0)
            format = a.substr(9);
        else if (!a.empty() && a[0] == '-')
            return badUsage("unknown option '" + a + "' for 'show'");
        else
            positional.push_back(a);
    }
    if (positional.size() != 2)
        return badUsage("usage: morrowlen-repo show NAMESPACE CLASS [--amended] [--format mof|json]");
    if (format != "mof" && format != "json") return badUsage("--format takes mof or json");
    const repo::NamespaceHandle ns = c.source().openNamespace(namespacePath(positional[0]));
    const repo::ResolvedClass cls =
        c.source().getClass(ns, positional[1], amended ? repo::UseAmendedQualifiers : 0);
    if (format == "json") {
        std::cout << mof::formatClassJson(cls);
        return Ok;
    }
    std::map<std::string, std::optional<repo::QualifierDecl>> decls;
    const mof::DeclLookup declOf = [&](std::string_view name) -> const repo::QualifierDecl* {
        auto [it, isNew] = decls.try_emplace(repo::foldCase(name));
        if (isNew) it->second = c.source().qualifierDecl(ns, name);
        return it->second ? &*it->second : nullptr;
    };
    std::cout << repo::escapeControls(mof::formatClassMof(cls, declOf), "\n");
    return Ok;
}

// Writes the page bytes to standard output, as the page file would hold them.
class StdoutWriter : public report::LineWriter {
  public:
    void writeLine(std::string_view text) override { std::cout << report::toWindows1252(text) << "\r\n"; }
};

int runProfile(Context& c) {
    std::vector<std::string> positional;
    std::optional<std::string> output;
    for (std::size_t i = 0; i < c.args.size(); ++i) {
        const std::string& a = c.args[i];
        if (a == "-o" || a == "--output") {
            if (i + 1 >= c.args.size())
                return badUsage("option '" + a + "' needs a file name (- for standard output)");
            output = c.args[++i];
        } else if (!a.empty() && a[0] == '-')
            return badUsage("unknown option '" + a + "' for 'profile'");
        else
            positional.push_back(a);
    }
    if (positional.size() != 2) return badUsage("usage: morrowlen-repo profile NAMESPACE CLASS [-o FILE]");
    const nav::ClassObject cls = connect(c, positional[0]).Get(positional[1], repo::UseAmendedQualifiers);
    if (output && *output != "-") {
        report::PageFile file(*output);
        report::writeProfile(file, cls, positional[1]);
        file.commit();
    } else {
        StdoutWriter out;
        report::writeProfile(out, cls, positional[1]);
    }
    return Ok;
}

// Splits "--name=value" into name and value; value stays empty without '='.
std::pair<std::string, std::optional<std::string>> splitOption(const std::string& arg) {
    const std::size_t eq = arg.find('=');
    if (eq == std::string::npos || arg.rfind("--", 0) != 0) return {arg, std::nullopt};
    return {arg.substr(0, eq), arg.substr(eq + 1)};
}

int runFind(Context& c) {
    repo::FindQuery query;
    std::vector<std::string> positional;
    std::string under = "root", format = "text";
    for (std::size_t i = 0; i < c.args.size(); ++i) {
        auto [name, inlineValue] = splitOption(c.args[i]);
        auto value = [&, &name = name, &inlineValue = inlineValue]() -> std::optional<std::string> {
            if (inlineValue) return inlineValue;
            if (i + 1 < c.args.size()) return c.args[++i];
            return std::nullopt;
        };
        if (name == "--amended" && !inlineValue) {
            query.amended = true;
            continue;
        }
        if (name.size() < 2 || name[0] != '-') {
            positional.push_back(c.args[i]);
            continue;
        }
        if (name != "--namespace" && name != "--property" && name != "--qualifier" && name != "--text" &&
            name != "--format")
            return badUsage("unknown option '" + c.args[i] + "' for 'find'");
        const std::optional<std::string> v = value();
        if (!v) return badUsage(name + " needs a value");
        if (name == "--namespace") {
            under = namespacePath(*v);
        } else if (name == "--property") {
            query.propertyGlob = *v;
        } else if (name == "--qualifier") {
            const std::size_t eq = v->find('=');
            query.qualifier = v->substr(0, eq);
            if (eq != std::string::npos) query.qualifierValue = v->substr(eq + 1);
            if (query.qualifier->empty()) return badUsage("--qualifier needs a name");
        } else if (name == "--text") {
            query.text = *v;
        } else {
            format = *v;
        }
    }
    if (positional.size() != 1) return badUsage("usage: morrowlen-repo " + std::string(FindUsage));
    if (format != "text" && format != "json") return badUsage("--format takes text or json");
    query.nameGlob = positional[0];

    std::vector<std::string> refused;
    const std::vector<repo::FindHit> hits = c.source().find(c.source().openNamespace(under), query, &refused);
    for (const std::string& ns : refused)
        std::cerr << "morrowlen-repo: skipped namespace " << ns << ": access denied\n";
    if (format == "json") {
        std::string out = "{\"hits\": [";
        for (std::size_t i = 0; i < hits.size(); ++i) {
            out += i ? ",\n  " : "\n  ";
            out += "{\"namespace\": " + mof::formatJsonString(hits[i].namespacePath) +
                   ", \"class\": " + mof::formatJsonString(hits[i].className) + ", \"property\": " +
                   (hits[i].property.empty() ? "null" : mof::formatJsonString(hits[i].property)) + "}";
        }
        out += hits.empty() ? "], \"skipped\": [" : "\n], \"skipped\": [";
        for (std::size_t i = 0; i < refused.size(); ++i)
            out += (i ? ", " : "") + mof::formatJsonString(refused[i]);
        std::cout << out << "]}\n";
    } else {
        for (const repo::FindHit& h : hits)
            std::cout << h.namespacePath << ':' << h.className << (h.property.empty() ? "" : ".")
                      << h.property << '\n';
    }
    return hits.empty() ? Failed : Ok;
}

int runTree(Context& c) {
    std::vector<std::string> positional;
    std::string format = "text";
    std::optional<std::string> associations;
    int depth = -1;
    for (std::size_t i = 0; i < c.args.size(); ++i) {
        auto [name, inlineValue] = splitOption(c.args[i]);
        if (name.size() < 2 || name[0] != '-') {
            positional.push_back(c.args[i]);
            continue;
        }
        if (name != "--depth" && name != "--format" && name != "--associations")
            return badUsage("unknown option '" + c.args[i] + "' for 'tree'");
        if (!inlineValue && i + 1 < c.args.size()) inlineValue = c.args[++i];
        if (!inlineValue) return badUsage(name + " needs a value");
        if (name == "--depth") {
            const std::string& v = *inlineValue;
            if (v.empty() || v.size() > 6 || v.find_first_not_of("0123456789") != std::string::npos)
                return badUsage("--depth takes a number of levels (0 or more)");
            depth = std::stoi(v);
        } else if (name == "--format") {
            format = *inlineValue;
        } else {
            associations = *inlineValue;
        }
    }
    if (positional.empty() || positional.size() > (associations ? 1u : 2u))
        return badUsage("usage: morrowlen-repo " + std::string(TreeUsage));
    if (format != "text" && format != "json") return badUsage("--format takes text or json");
    const repo::NamespaceHandle ns = c.source().openNamespace(namespacePath(positional[0]));
    if (associations) {
        const auto roles = tools::associationsOf(c.source(), ns, *associations);
        std::cout << (format == "json" ? tools::formatAssociationsJson(
                                             c.source().namespacePath(ns),
                                             c.source().getClass(ns, *associations, 0).name, roles)
                                       : tools::formatAssociationsText(roles));
        return roles.empty() ? Failed : Ok;
    }
    const tools::ClassTree tree =
        tools::buildClassTree(c.source(), ns, positional.size() == 2 ? positional[1] : std::string(), depth);
    std::cout << (format == "json" ? tools::formatTreeJson(tree)
                                   : tools::formatTreeText(tree, isatty(STDOUT_FILENO)));
    return Ok;
}

int runDoc(Context& c) {
    std::vector<std::string> positional;
    std::optional<std::string> output;
    tools::DocOptions options;
    for (std::size_t i = 0; i < c.args.size(); ++i) {
        const std::string& a = c.args[i];
        if ((a == "-o" || a == "--output") && i + 1 < c.args.size())
            output = c.args[++i];
        else if (a == "--amended")
            options.amended = true;
        else if (a == "--recursive")
            options.recursive = true;
        else if (a == "--force")
            options.force = true;
        else if (!a.empty() && a[0] == '-')
            return badUsage("unknown option '" + a + "' for 'doc'");
        else
            positional.push_back(a);
    }
    if (positional.size() != 1 || !output)
        return badUsage("usage: morrowlen-repo doc NAMESPACE -o DIR [--amended] [--recursive] [--force]");
    tools::TerminalProgress progress("class pages");
    options.progress = [&](std::size_t done, std::size_t total) { progress.update(done, total); };
    const tools::DocResult result =
        tools::writeDocSite(c.source(), namespacePath(positional[0]), *output, options);
    progress.clear();
    std::cout << result.classPages << " class pages in " << result.namespaces
              << (result.namespaces == 1 ? " namespace" : " namespaces") << " written to " << *output << '\n';
    return Ok;
}

// Exit status as diff has it: 0 equal, 1 different, 2 trouble.
int runDiff(Context& c) {
    std::vector<std::string> positional;
    std::optional<std::string> output;
    std::string format = "text";
    bool amended = false;
    for (std::size_t i = 0; i < c.args.size(); ++i) {
        const std::string& a = c.args[i];
        if ((a == "-o" || a == "--output") && i + 1 < c.args.size())
            output = c.args[++i];
        else if (a == "--format" && i + 1 < c.args.size())
            format = c.args[++i];
        else if (a.rfind("--format=", 0) == 0)
            format = a.substr(9);
        else if (a == "--amended")
            amended = true;
        else if (!a.empty() && a[0] == '-')
            return badUsage("unknown option '" + a + "' for 'diff'");
        else
            positional.push_back(a);
    }
    if (positional.size() != 2)
        return badUsage("usage: morrowlen-repo diff A B [--format text|json|html] [-o FILE] [--amended]");
    if (format != "text" && format != "json" && format != "html")
        return badUsage("--format takes text, json or html");
    try {
        const auto local = [&c]() -> const repo::ClassSource& { return c.source(); };
        const tools::SchemaOperand a(local, positional[0]), b(local, positional[1]);
        const tools::SchemaDiff diff =
            tools::compareSchemas(tools::readSchema(a.source(), a.ns(), amended, a.label()),
                                  tools::readSchema(b.source(), b.ns(), amended, b.label()));
        const std::string bytes = tools::renderDiff(diff, format);
        if (output)
            tools::writeFileAtomically(*output, bytes);
        else
            std::cout << bytes;
        return diff.equal() ? Ok : Failed;
    } catch (const Error& e) {
        std::fprintf(stderr, "morrowlen-repo: error 0x%08X: %s\n", e.number(), e.description().c_str());
        return BadUsage;
    }
}

// New subcommands go here; each parses its own arguments.
constexpr Subcommand Subcommands[] = {
    {"namespaces", "namespaces", runNamespaces},
    {"classes", "classes NAMESPACE", runClasses},
    {"show", "show NAMESPACE CLASS [--amended] [--format mof|json]", runShow},
    {"profile", "profile NAMESPACE CLASS [-o FILE|-]", runProfile},
    {"find", FindUsage, runFind},
    {"tree", TreeUsage, runTree},
    {"doc", "doc NAMESPACE -o DIR [--amended] [--recursive] [--force]", runDoc},
    {"diff", "diff A B [--format text|json|html] [-o FILE] [--amended]", runDiff},
};

void printHelp() {
    std::cout << "Usage: morrowlen-repo [--repository PATH] COMMAND [ARGUMENTS]\n"
                 "Shows what the local management repository holds.\n\nCommands:\n";
    for (const Subcommand& s : Subcommands)
        std::cout << "  " << s.usage << '\n';
    std::cout << "\nOptions:\n"
                 "  --repository PATH  repository file (default $MORROWLEN_REPOSITORY, else\n"
                 "                     $XDG_DATA_HOME/morrowlen/repository.sqlite)\n"
                 "  -h, --help         show this help\n"
                 "  --version          show the version\n"
                 "Namespaces are written root\\cimv2 or root/cimv2.\n";
}

} // namespace

int main(int argc, char** argv) {
    std::optional<std::string> repository;
    const Subcommand* command = nullptr;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (command) {
            if (arg == "--repository" && i + 1 < argc)
                repository = argv[++i];
            else
                args.push_back(arg);
        } else if (arg == "-h" || arg == "--help") {
            printHelp();
            return Ok;
        } else if (arg == "--version") {
            std::cout << "morrowlen-repo " MORROWLEN_VERSION "\n";
            return Ok;
        } else if (arg == "--repository") {
            if (i + 1 >= argc) return badUsage("--repository needs a path");
            repository = argv[++i];
        } else {
            for (const Subcommand& s : Subcommands)
                if (arg == s.name) command = &s;
            if (!command) return badUsage("unknown command '" + arg + "'");
        }
    }
    if (!command) return badUsage("no command given");
    try {
        Context context(repository, std::move(args));
        return command->run(context);
    } catch (const Error& e) {
        std::fprintf(stderr, "morrowlen-repo: error 0x%08X: %s\n", e.number(),
                     repo::escapeControls(e.description(), "\n").c_str());
        return Failed;
    }
}
