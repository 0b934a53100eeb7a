// morrowlen-repo: looks into the local repository: its namespaces, their classes, one class. It
// reads through the same operations as the window.
#include "navigation/WmiOperations.h"
#include "report/ProfilePage.h"
#include "repository/core/Error.h"
#include "repository/core/Unicode.h"
#include "repository/file/Location.h"
#include "repository/file/RepositoryFile.h"
#include "tools/ClassTree.h"
#include "tools/CommandLine.h"
#include "tools/DocSite.h"
#include "tools/Heap.h"
#include "tools/JsonLayout.h"
#include "tools/MofFormat.h"
#include "tools/SchemaDiff.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

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

// What the command line gave; each subcommand declares the options it takes.
struct Arguments {
    std::vector<std::string> positional;
    std::string format, output, under = "root", property, qualifier, text, depth, associations;
    bool amended = false, recursive = false, force = false;
    const CLI::App* command = nullptr;
    bool given(const std::string& option) const { return command->count(option) > 0; }
};

// The repository is opened when a command first asks for it: diff of two MOF files needs none.
class Context {
  public:
    Context(std::optional<std::string> repository, const Arguments& arguments)
        : args(arguments), m_repository(std::move(repository)) {}

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

    const Arguments& args;

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
    // Binds the subcommand's options (both --name VALUE and --name=VALUE) to the arguments.
    void (*declare)(CLI::App&, Arguments&);
    // Said of an argument the subcommand does not take; empty: "unknown option".
    const char* extraMessage = "";
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
    if (!c.args.positional.empty()) return badUsage("'namespaces' takes no arguments");
    const std::string root = c.source().namespacePath(c.source().openNamespace("root"));
    printTree(c.source(), root, root, 0);
    return Ok;
}

nav::Services connect(Context& c, const std::string& ns) {
    return nav::connectMoniker(c.locator(), "winmgmts:\\\\.\\" + namespacePath(ns));
}

int runClasses(Context& c) {
    if (c.args.positional.size() != 1) return badUsage("usage: morrowlen-repo classes NAMESPACE");
    for (const nav::ClassItem& item : connect(c, c.args.positional[0]).SubclassesOf())
        std::cout << repo::escapeControls(item.Path_.Class) << '\n';
    return Ok;
}

int runShow(Context& c) {
    const std::vector<std::string>& positional = c.args.positional;
    if (positional.size() != 2)
        return badUsage("usage: morrowlen-repo show NAMESPACE CLASS [--amended] [--format mof|json]");
    const std::string format = c.args.given("--format") ? c.args.format : "mof";
    if (format != "mof" && format != "json") return badUsage("--format takes mof or json");
    const repo::NamespaceHandle ns = c.source().openNamespace(namespacePath(positional[0]));
    const repo::ResolvedClass cls =
        c.source().getClass(ns, positional[1], c.args.amended ? repo::UseAmendedQualifiers : 0);
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
    const std::vector<std::string>& positional = c.args.positional;
    if (positional.size() != 2) return badUsage("usage: morrowlen-repo profile NAMESPACE CLASS [-o FILE]");
    const nav::ClassObject cls = connect(c, positional[0]).Get(positional[1], repo::UseAmendedQualifiers);
    if (c.args.given("--output") && c.args.output != "-") {
        report::PageFile file(c.args.output);
        report::writeProfile(file, cls, positional[1]);
        file.commit();
    } else {
        StdoutWriter out;
        report::writeProfile(out, cls, positional[1]);
    }
    return Ok;
}

int runFind(Context& c) {
    repo::FindQuery query;
    query.amended = c.args.amended;
    if (c.args.given("--property")) query.propertyGlob = c.args.property;
    if (c.args.given("--text")) query.text = c.args.text;
    if (c.args.given("--qualifier")) {
        const std::string& v = c.args.qualifier;
        const std::size_t eq = v.find('=');
        query.qualifier = v.substr(0, eq);
        if (eq != std::string::npos) query.qualifierValue = v.substr(eq + 1);
        if (query.qualifier->empty()) return badUsage("--qualifier needs a name");
    }
    if (c.args.positional.size() != 1) return badUsage("usage: morrowlen-repo " + std::string(FindUsage));
    const std::string format = c.args.given("--format") ? c.args.format : "text";
    if (format != "text" && format != "json") return badUsage("--format takes text or json");
    query.nameGlob = c.args.positional[0];

    std::vector<std::string> refused;
    const std::vector<repo::FindHit> hits =
        c.source().find(c.source().openNamespace(namespacePath(c.args.under)), query, &refused);
    for (const std::string& ns : refused)
        std::cerr << "morrowlen-repo: skipped namespace " << ns << ": access denied\n";
    if (format == "json") {
        nlohmann::ordered_json list = nlohmann::ordered_json::array();
        for (const repo::FindHit& h : hits)
            list.push_back({{"namespace", h.namespacePath},
                            {"class", h.className},
                            {"property", h.property.empty() ? nlohmann::ordered_json()
                                                            : nlohmann::ordered_json(h.property)}});
        std::cout << tools::dumpJson({{"hits", std::move(list)}, {"skipped", refused}},
                                     {{"hits"}, {}, false});
    } else {
        for (const repo::FindHit& h : hits)
            std::cout << h.namespacePath << ':' << h.className << (h.property.empty() ? "" : ".")
                      << h.property << '\n';
    }
    return hits.empty() ? Failed : Ok;
}

int runTree(Context& c) {
    const std::vector<std::string>& positional = c.args.positional;
    const bool associations = c.args.given("--associations");
    int depth = -1;
    if (c.args.given("--depth")) {
        const std::string& v = c.args.depth;
        if (v.empty() || v.size() > 6 || v.find_first_not_of("0123456789") != std::string::npos)
            return badUsage("--depth takes a number of levels (0 or more)");
        depth = std::stoi(v);
    }
    if (positional.empty() || positional.size() > (associations ? 1u : 2u))
        return badUsage("usage: morrowlen-repo " + std::string(TreeUsage));
    const std::string format = c.args.given("--format") ? c.args.format : "text";
    if (format != "text" && format != "json") return badUsage("--format takes text or json");
    const repo::NamespaceHandle ns = c.source().openNamespace(namespacePath(positional[0]));
    if (associations) {
        const std::string& target = c.args.associations;
        const auto roles = tools::associationsOf(c.source(), ns, target);
        std::cout << (format == "json"
                          ? tools::formatAssociationsJson(c.source().namespacePath(ns),
                                                          c.source().getClass(ns, target, 0).name, roles)
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
    if (c.args.positional.size() != 1 || !c.args.given("--output"))
        return badUsage("usage: morrowlen-repo doc NAMESPACE -o DIR [--amended] [--recursive] [--force]");
    tools::DocOptions options;
    options.amended = c.args.amended;
    options.recursive = c.args.recursive;
    options.force = c.args.force;
    tools::TerminalProgress progress("class pages");
    options.progress = [&](std::size_t done, std::size_t total) { progress.update(done, total); };
    const tools::DocResult result =
        tools::writeDocSite(c.source(), namespacePath(c.args.positional[0]), c.args.output, options);
    progress.clear();
    std::cout << result.classPages << " class pages in " << result.namespaces
              << (result.namespaces == 1 ? " namespace" : " namespaces") << " written to " << c.args.output
              << '\n';
    return Ok;
}

// Exit status as diff has it: 0 equal, 1 different, 2 trouble.
int runDiff(Context& c) {
    const std::vector<std::string>& positional = c.args.positional;
    if (positional.size() != 2)
        return badUsage("usage: morrowlen-repo diff A B [--format text|json|html] [-o FILE] [--amended]");
    const std::string format = c.args.given("--format") ? c.args.format : "text";
    if (format != "text" && format != "json" && format != "html")
        return badUsage("--format takes text, json or html");
    try {
        const auto local = [&c]() -> const repo::ClassSource& { return c.source(); };
        const tools::SchemaOperand a(local, positional[0]), b(local, positional[1]);
        const tools::SchemaDiff diff =
            tools::compareSchemas(tools::readSchema(a.source(), a.ns(), c.args.amended, a.label()),
                                  tools::readSchema(b.source(), b.ns(), c.args.amended, b.label()));
        const std::string bytes = tools::renderDiff(diff, format);
        if (c.args.given("--output"))
            tools::writeFileAtomically(c.args.output, bytes);
        else
            std::cout << bytes;
        return diff.equal() ? Ok : Failed;
    } catch (const Error& e) {
        std::fprintf(stderr, "morrowlen-repo: error 0x%08X: %s\n", e.number(), e.description().c_str());
        return BadUsage;
    }
}

void amendedOption(CLI::App& app, Arguments& a) {
    app.add_flag("--amended", a.amended);
}
void formatOption(CLI::App& app, Arguments& a) {
    app.add_option("--format", a.format);
}
void outputOption(CLI::App& app, Arguments& a) {
    app.add_option("-o,--output", a.output);
}

// New subcommands go here, with the options they take.
const Subcommand Subcommands[] = {
    {"namespaces", "namespaces", runNamespaces, [](CLI::App&, Arguments&) {},
     "'namespaces' takes no arguments"},
    {"classes", "classes NAMESPACE", runClasses, [](CLI::App&, Arguments&) {},
     "usage: morrowlen-repo classes NAMESPACE"},
    {"show", "show NAMESPACE CLASS [--amended] [--format mof|json]", runShow,
     [](CLI::App& app, Arguments& a) {
         amendedOption(app, a);
         formatOption(app, a);
     }},
    {"profile", "profile NAMESPACE CLASS [-o FILE|-]", runProfile, outputOption},
    {"find", FindUsage, runFind,
     [](CLI::App& app, Arguments& a) {
         app.add_option("--namespace", a.under);
         app.add_option("--property", a.property);
         app.add_option("--qualifier", a.qualifier);
         app.add_option("--text", a.text);
         amendedOption(app, a);
         formatOption(app, a);
     }},
    {"tree", TreeUsage, runTree,
     [](CLI::App& app, Arguments& a) {
         app.add_option("--depth", a.depth);
         app.add_option("--associations", a.associations);
         formatOption(app, a);
     }},
    {"doc", "doc NAMESPACE -o DIR [--amended] [--recursive] [--force]", runDoc,
     [](CLI::App& app, Arguments& a) {
         outputOption(app, a);
         amendedOption(app, a);
         app.add_flag("--recursive", a.recursive);
         app.add_flag("--force", a.force);
     }},
    {"diff", "diff A B [--format text|json|html] [-o FILE] [--amended]", runDiff,
     [](CLI::App& app, Arguments& a) {
         formatOption(app, a);
         outputOption(app, a);
         amendedOption(app, a);
     }},
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

// Our wording for what CLI11 refused. It stops at a missing value only when the option ends the
// command line.
std::string parseProblem(const CLI::ParseError& e, const CLI::App* command,
                         const std::vector<std::string>& args) {
    if (command)
        if (const auto arg = tools::flagGivenAValue(*command, args))
            return "unknown option '" + *arg + "' for '" + command->get_name() + "'";
    const std::string last = args.empty() ? std::string() : args.back();
    const std::string lastName = last.substr(0, last.find('='));
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&e) && last.size() > 1 && last[0] == '-') {
        if (lastName == "--repository") return "--repository needs a path";
        if (command && command->get_name() == "profile")
            return "option '" + lastName + "' needs a file name (- for standard output)";
        return lastName + " needs a value";
    }
    return e.what();
}

} // namespace

int main(int argc, char** argv) {
    tools::tuneHeapForCompiling(); // diff compiles two schemas; doc and find read whole namespaces
    std::optional<std::string> repository;
    std::string repositoryText;
    Arguments arguments;
    CLI::App app;
    app.set_help_flag(); // the help below, in our own words
    app.allow_extras();  // unknown commands and options are told in our words
    app.require_subcommand(0, 1);
    // The last of a repeated option counts; a flag given a value other than true is refused.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)->disable_flag_override();
    const CLI::Option* help = app.add_flag("-h,--help");
    const CLI::Option* version = app.add_flag("--version");
    app.add_option("--repository", repositoryText);
    std::map<const CLI::App*, const Subcommand*> commands;
    for (const Subcommand& s : Subcommands) {
        CLI::App* sub = app.add_subcommand(s.name);
        sub->add_option("--repository", repositoryText); // also after the subcommand
        sub->add_option("arguments", arguments.positional)->take_all();
        s.declare(*sub, arguments);
        commands[sub] = &s;
    }
    const std::vector<std::string> args(argv + 1, argv + argc);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (!help->count() && !version->count()) {
            const auto parsed = app.get_subcommands();
            return badUsage(parseProblem(e, parsed.empty() ? nullptr : parsed.front(), args));
        }
    }
    if (help->count()) {
        printHelp();
        return Ok;
    }
    if (version->count()) {
        std::cout << "morrowlen-repo " MORROWLEN_VERSION "\n";
        return Ok;
    }
    if (!app.remaining().empty()) return badUsage("unknown command '" + app.remaining().front() + "'");
    const auto parsed = app.get_subcommands();
    if (parsed.empty()) return badUsage("no command given");
    const Subcommand& command = *commands.at(parsed.front());
    arguments.command = parsed.front();
    if (const auto extra = parsed.front()->remaining(); !extra.empty())
        return badUsage(*command.extraMessage
                            ? std::string(command.extraMessage)
                            : "unknown option '" + extra.front() + "' for '" + command.name + "'");
    if (app.count("--repository") || parsed.front()->count("--repository")) repository = repositoryText;
    try {
        Context context(repository, arguments);
        return command.run(context);
    } catch (const Error& e) {
        std::fprintf(stderr, "morrowlen-repo: error 0x%08X: %s\n", e.number(),
                     repo::escapeControls(e.description(), "\n").c_str());
        return Failed;
    }
}
