// morrowlen-mofcomp: compiles MOF files into the local repository.
#include "repository/core/Error.h"
#include "repository/core/Unicode.h"
#include "repository/file/Location.h"
#include "repository/file/RepositoryFile.h"
#include "repository/mof/Compiler.h"
#include "tools/CommandLine.h"
#include "tools/Heap.h"

#include <CLI/CLI.hpp>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

using namespace morrowlen;

namespace {

constexpr const char* Usage = R"(Usage: morrowlen-mofcomp [options] FILE...
Compiles MOF files into the local management repository, all of them in one transaction.

Options:
  -N:NS, --namespace NS     namespace for declarations before any #pragma namespace
                            (default root\default)
  -class:FLAG, --class FLAG createonly, updateonly, safeupdate or forceupdate
  -I DIR, --include-dir DIR also look for #pragma include files in DIR (repeatable), and
                            for CLASS.mof (in DIR and below) when a class is missing
  -check, --check           parse and check against a copy in memory; write nothing
  --strict                  every qualifier must be declared, every class a reference
                            or embedded object names must exist, and so must every
                            namespace #pragma namespace names
  --no-default-set          when the repository does not exist yet, create it with the
                            system classes only (otherwise it gets the default repository)
  --max-errors N            stop after N errors (default 100)
  --repository PATH         repository file (default $MORROWLEN_REPOSITORY, else
                            $XDG_DATA_HOME/morrowlen/repository.sqlite)
  -h, --help                show this help
  --version                 show the version
Exit status: 0 success, 1 semantic or repository error, 2 bad command line, 3 syntax error.
)";

struct Options {
    std::vector<std::string> files;
    std::optional<std::string> repository;
    mof::CompileOptions compile;
    bool check = false;
    bool defaultSet = true;
};

int badUsage(const std::string& message) {
    std::cerr << "morrowlen-mofcomp: " << message << "\nTry 'morrowlen-mofcomp --help'.\n";
    return static_cast<int>(mof::CompileStatus::BadCommandLine);
}

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && repo::equalsNoCase(text.substr(0, prefix.size()), prefix);
}

std::optional<std::uint32_t> classFlag(std::string_view word) {
    if (repo::equalsNoCase(word, "createonly")) return mof::classflags::CreateOnly;
    if (repo::equalsNoCase(word, "updateonly")) return mof::classflags::UpdateOnly;
    if (repo::equalsNoCase(word, "safeupdate")) return mof::classflags::SafeUpdate;
    if (repo::equalsNoCase(word, "forceupdate")) return mof::classflags::ForceUpdate;
    return std::nullopt;
}

// CLI11 reads --name VALUE, --name=VALUE, -N VALUE and -NVALUE; the platform compiler's switches
// (-N:NS, -class:FLAG, -I:DIR, -check in any case, -?) are spelt that way before it sees them.
std::vector<std::string> withLongSwitches(int argc, char** argv) {
    std::vector<std::string> out;
    bool onlyFiles = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const auto valued = [&](const char* name, std::size_t prefix) {
            out.push_back(name);
            out.push_back(arg.substr(prefix));
        };
        if (onlyFiles)
            out.push_back(arg);
        else if (repo::equalsNoCase(arg, "-check"))
            out.push_back("--check");
        else if (arg == "-?")
            out.push_back("--help");
        else if (startsWithNoCase(arg, "-N:"))
            valued("--namespace", 3);
        else if (startsWithNoCase(arg, "-class:"))
            valued("--class", 7);
        else if (arg.rfind("-I:", 0) == 0)
            valued("--include-dir", 3);
        else
            out.push_back(arg);
        onlyFiles = onlyFiles || arg == "--";
    }
    return out;
}

// Returns an exit status when the command line ends the run (help, version, a mistake).
std::optional<int> parseArguments(int argc, char** argv, Options& o) {
    CLI::App app;
    app.set_help_flag(); // Usage above, in our own words
    app.allow_extras();  // unknown options are told in our words
    // The last of a repeated option counts; a flag given a value other than true is refused.
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast)->disable_flag_override();
    const CLI::Option* help = app.add_flag("-h,--help");
    const CLI::Option* version = app.add_flag("--version");
    std::vector<std::string> classWords;
    std::string maxErrors, repository;
    const CLI::Option* namespaceOption = app.add_option("-N,--namespace", o.compile.defaultNamespace);
    const CLI::Option* classOption =
        app.add_option("--class", classWords)->take_all()->expected(1)->allow_extra_args(false);
    const CLI::Option* includeOption = app.add_option("-I,--include-dir", o.compile.includeDirs)
                                           ->take_all()
                                           ->expected(1)
                                           ->allow_extra_args(false);
    const CLI::Option* repositoryOption = app.add_option("--repository", repository);
    const CLI::Option* maxErrorsOption = app.add_option("--max-errors", maxErrors);
    app.add_flag("--check", o.check);
    bool strict = false, noDefaultSet = false;
    app.add_flag("--strict", strict);
    app.add_flag("--no-default-set", noDefaultSet);
    app.add_option("files", o.files)->take_all();

    std::vector<std::string> args = withLongSwitches(argc, argv);
    try {
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::ParseError& e) {
        if (!help->count() && !version->count()) {
            if (const auto flag = tools::flagGivenAValue(app, args))
                return badUsage("unknown option '" + *flag + "'");
            // A value is missing only when its option ends the command line.
            const std::string last =
                args.empty() ? std::string() : args.back().substr(0, args.back().find('='));
            const CLI::Option* option =
                last.size() > 1 && last[0] == '-' ? app.get_option_no_throw(last) : nullptr;
            if (!dynamic_cast<const CLI::ArgumentMismatch*>(&e) || !option) return badUsage(e.what());
            if (option == namespaceOption) return badUsage(last + " needs a namespace");
            if (option == classOption)
                return badUsage("-class: takes createonly, updateonly, safeupdate or forceupdate");
            if (option == includeOption) return badUsage(last + " needs a folder");
            if (option == repositoryOption) return badUsage("--repository needs a path");
            if (option == maxErrorsOption) return badUsage("--max-errors needs a positive number");
            return badUsage(last + " needs a value");
        }
    }
    if (help->count()) {
        std::cout << Usage;
        return 0;
    }
    if (version->count()) {
        std::cout << "morrowlen-mofcomp " MORROWLEN_VERSION "\n";
        return 0;
    }
    for (const std::string& extra : app.remaining())
        if (extra != "--") return badUsage("unknown option '" + extra + "'");
    for (const std::string& word : classWords) {
        const auto flag = classFlag(word);
        if (!flag) return badUsage("-class: takes createonly, updateonly, safeupdate or forceupdate");
        o.compile.classFlags |= *flag;
    }
    if (repositoryOption->count()) o.repository = repository;
    if (maxErrorsOption->count()) {
        const unsigned long long n = std::strtoull(maxErrors.c_str(), nullptr, 10);
        if (maxErrors.find_first_not_of("0123456789") != std::string::npos || n == 0)
            return badUsage("--max-errors needs a positive number");
        o.compile.maxErrors = n;
    }
    if (strict) {
        o.compile.strictQualifiers = true;
        o.compile.strictReferences = true;
        o.compile.strictNamespaces = true;
    }
    o.defaultSet = !noDefaultSet;
    const std::uint32_t f = o.compile.classFlags;
    if ((f & mof::classflags::CreateOnly) && (f & mof::classflags::UpdateOnly))
        return badUsage("createonly and updateonly contradict each other");
    if ((f & mof::classflags::SafeUpdate) && (f & mof::classflags::ForceUpdate))
        return badUsage("safeupdate and forceupdate contradict each other");
    if (o.files.empty()) return badUsage("no MOF file given");
    return std::nullopt;
}

// A progress line on a terminal, shown only once a compile has taken more than a second.
class Progress {
  public:
    Progress() : m_enabled(isatty(STDERR_FILENO) != 0), m_start(std::chrono::steady_clock::now()) {}
    void update(const std::string& file, std::size_t filesRead) {
        if (!m_enabled) return;
        const auto now = std::chrono::steady_clock::now();
        if (now - m_start < std::chrono::seconds(1) || now - m_last < std::chrono::milliseconds(100)) return;
        m_last = now;
        std::string shown =
            repo::escapeControls(file.size() > 60 ? "..." + file.substr(file.size() - 57) : file);
        std::fprintf(stderr, "\r\033[K%zu files: %s", filesRead, shown.c_str());
        m_shown = true;
    }
    void clear() {
        if (m_shown) std::fprintf(stderr, "\r\033[K");
        m_shown = false;
    }
    double seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    }

  private:
    bool m_enabled;
    bool m_shown = false;
    std::chrono::steady_clock::time_point m_start, m_last;
};

} // namespace

int main(int argc, char** argv) {
    tools::tuneHeapForCompiling();
    Options o;
    if (auto status = parseArguments(argc, argv, o)) return *status;
    for (char& c : o.compile.defaultNamespace)
        if (c == '/') c = '\\';

    Progress progress;
    o.compile.progress = [&](const std::string& file, std::size_t n) { progress.update(file, n); };
    const std::string path = o.repository ? *o.repository : repo::defaultRepositoryPath();
    try {
        std::optional<repo::ClassStore> store;
        const repo::NewRepository contents =
            o.defaultSet ? repo::NewRepository::DefaultSet : repo::NewRepository::SystemClassesOnly;
        if (o.check) {
            o.compile.writeClasses = false;
            std::error_code ec;
            if (std::filesystem::exists(path, ec)) {
                const repo::ClassStore existing =
                    repo::ClassStore::open(path, repo::ClassStore::OpenMode::ReadOnly);
                store.emplace(existing.copyInMemory());
            } else {
                store.emplace(repo::createInMemoryRepository(contents));
            }
        } else {
            store.emplace(repo::openOrCreateRepository(path, contents));
        }
        // The compiler's caches are left to the end of the process: freeing their many small
        // objects one by one costs a tenth of a whole compile. (Held by a static, so leak checkers
        // see it as reachable.)
        static mof::Compiler* const kept = new mof::Compiler(*store, o.compile);
        mof::Compiler& compiler = *kept;
        const mof::CompileStatus status = compiler.compileFiles(o.files);
        progress.clear();
        std::cerr << compiler.diagnostics().formatAll();
        const mof::Diagnostics& diags = compiler.diagnostics();
        if (status != mof::CompileStatus::Success) {
            std::fprintf(stderr, "morrowlen-mofcomp: %zu error%s, %zu warning%s; %s\n", diags.errorCount(),
                         diags.errorCount() == 1 ? "" : "s", diags.warningCount(),
                         diags.warningCount() == 1 ? "" : "s",
                         o.check ? "the check failed" : "nothing was written to the repository");
            return static_cast<int>(status);
        }
        const mof::CompileStats& s = compiler.stats();
        if (!s.pulledIn.empty()) {
            std::printf("read %zu class file%s for missing classes:\n", s.pulledIn.size(),
                        s.pulledIn.size() == 1 ? "" : "s");
            for (const std::string& file : s.pulledIn)
                std::printf("  %s\n", repo::escapeControls(file).c_str());
        }
        std::printf(
            "%s %zu file%s: %zu namespaces, %zu classes, %zu instances, %zu qualifier declarations"
            "%s in %.2f s%s\n",
            o.check ? "checked" : "compiled", s.files, s.files == 1 ? "" : "s", s.namespaces, s.classes,
            s.instances, s.qualifierDecls,
            (std::string(s.deletedClasses ? ", " + std::to_string(s.deletedClasses) + " classes deleted"
                                          : "") +
             (s.deletedInstances ? ", " + std::to_string(s.deletedInstances) + " instances deleted" : ""))
                .c_str(),
            progress.seconds(), o.check ? " (nothing written)" : "");
        return 0;
    } catch (const Error& e) {
        progress.clear();
        std::fprintf(stderr, "morrowlen-mofcomp: error 0x%08X: %s\n", e.number(),
                     repo::escapeControls(e.description(), "\n").c_str());
        return static_cast<int>(mof::CompileStatus::SemanticError);
    }
}
