// The driver of a compile: reads the inputs and the files they include or that name a missing
// class, runs the declarations of each file in order, then the resolve phase, and commits.
#include "repository/mof/Compiler.h"

#include "repository/mof/CompileContext.h"
#include "repository/mof/Parser.h"
#include "repository/core/Error.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morrowlen::mof {

namespace detail {

namespace fs = std::filesystem;

CompileContext::CompileContext(repo::ClassStore& s, CompileOptions o)
    : store(s), options(std::move(o)), diagnostics(sources, options.maxErrors),
      converter(diagnostics, [this](std::string_view alias) -> const std::string* {
          const auto it = aliases.find(fold(alias));
          return it == aliases.end() ? nullptr : &it->second.path;
      }) {
    currentNamespace = options.defaultNamespace;
    classFlags = options.classFlags;
    if (options.systemClasses) currentNamespaceId = store.systemNamespace();
}

const std::string& CompileContext::fold(std::string_view s) {
    folded.assign(s);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return folded;
}

namespace {

std::optional<std::string> readFile(CompileContext& cx, const std::string& path, std::string& problem) {
    // Plain POSIX calls: one open, one fstat and one read per file, as a schema reads thousands.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        problem = std::strerror(errno);
        return std::nullopt;
    }
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        problem = std::strerror(errno);
        return std::nullopt;
    }
    if (S_ISDIR(info.st_mode)) {
        problem = "is a folder";
        return std::nullopt;
    }
    const auto size = static_cast<std::size_t>(std::max<off_t>(info.st_size, 0));
    if (size > limits::MaxFileBytes) {
        problem = "file larger than " + std::to_string(limits::MaxFileBytes >> 20) + " MiB";
        return std::nullopt;
    }
    if (cx.sources.totalBytes() + size > limits::MaxTotalSourceBytes) {
        problem = "the compile would read more than " +
                  std::to_string(limits::MaxTotalSourceBytes >> 20) + " MiB of sources";
        return std::nullopt;
    }
    std::string bytes(size, '\0');
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, bytes.data() + done, size - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    if (done != size) {
        problem = "read failed";
        return std::nullopt;
    }
    return bytes;
}

// Finds a file: as given, else matching each path component without regard to case.
} // namespace

std::optional<fs::path> findFile(const fs::path& folder, std::string name) {
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

std::string fileIdentity(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0)
        return std::to_string(info.st_dev) + ':' + std::to_string(info.st_ino);
    std::error_code ec;
    return fs::weakly_canonical(path, ec).string();
}

namespace {

void compileSource(CompileContext& cx, std::string name, std::string path, std::string text) {
    const FileId id = cx.sources.add(std::move(name), path, std::move(text));
    ++cx.stats.files;
    FileState state;
    state.id = id;
    state.folder = path.empty() ? fs::current_path() : fs::path(path).parent_path();
    cx.files.push_back(std::move(state));
    Parser parser(cx.sources.file(id), id, cx.diagnostics);
    ast::File file = parser.parseFile();
    for (const ast::Declaration& decl : file.declarations) {
        if (cx.diagnostics.limitReached() || cx.aborted) break;
        processDeclaration(cx, decl);
    }
    cx.files.pop_back();
}

} // namespace

void compileFile(CompileContext& cx, const std::string& shownName, const fs::path& path, Location includedAt) {
    if (cx.sources.size() >= limits::MaxFiles) {
        cx.diagnostics.error(Phase::Input, includedAt, 1,
                          "more than " + std::to_string(limits::MaxFiles) + " files in one compile");
        return;
    }
    if (cx.options.progress) cx.options.progress(shownName, cx.stats.files);
    std::string problem;
    auto bytes = readFile(cx, path.string(), problem);
    if (!bytes) {
        cx.diagnostics.error(Phase::Input, includedAt, 1, "cannot read '" + shownName + "': " + problem);
        return;
    }
    auto text = decodeSource(std::move(*bytes), problem);
    bytes.reset();
    if (!text) {
        cx.diagnostics.error(Phase::Input, includedAt, 1, "cannot read '" + shownName + "': " + problem);
        return;
    }
    compileSource(cx, shownName, path.string(), std::move(*text));
}


namespace {

// Every "*.mof" below the include folders, by folded file name; the first folder named wins.
const std::unordered_map<std::string, fs::path>& classFileIndex(CompileContext& cx) {
    if (cx.classFiles) return *cx.classFiles;
    auto& index = cx.classFiles.emplace();
    for (const std::string& dir : cx.options.includeDirs) {
        std::error_code ec;
        for (fs::recursive_directory_iterator it(dir, fs::directory_options::skip_permission_denied, ec), end;
             !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (name.size() > 4 && repo::equalsNoCase(std::string_view(name).substr(name.size() - 4), ".mof") &&
                it->is_regular_file(ec))
                index.try_emplace(repo::foldCase(name), it->path());
        }
    }
    return index;
}

} // namespace

bool pullInClassFile(CompileContext& cx, NamespaceId ns, const std::string& namespacePath,
                     std::string_view className, Location at) {
    if (cx.options.includeDirs.empty() || !cx.options.readIncludes) return false;
    if (cx.files.size() >= limits::MaxIncludeDepth) return false;
    const auto& index = classFileIndex(cx);
    const auto found = index.find(repo::foldCase(className) + ".mof");
    if (found == index.end()) return false;
    const std::string identity = fileIdentity(found->second);
    if (std::find(cx.includeStack.begin(), cx.includeStack.end(), identity) != cx.includeStack.end() ||
        !cx.classFilesRead.insert(identity).second)
        return false;
    // The file is compiled where the class is needed; the state of the file that needed it stays.
    const std::string savedNamespace = cx.currentNamespace;
    const std::optional<NamespaceId> savedNamespaceId = cx.currentNamespaceId;
    const std::uint32_t savedClassFlags = cx.classFlags, savedInstanceFlags = cx.instanceFlags;
    cx.currentNamespace = namespacePath;
    cx.currentNamespaceId = ns;
    cx.classFlags = cx.options.classFlags;
    cx.instanceFlags = 0;
    cx.pulling.push_back(repo::foldCase(className));
    cx.includeStack.push_back(identity);
    const std::string shown = found->second.string();
    cx.stats.pulledIn.push_back(shown);
    compileFile(cx, shown, found->second, at);
    cx.includeStack.pop_back();
    cx.pulling.pop_back();
    cx.currentNamespace = savedNamespace;
    cx.currentNamespaceId = savedNamespaceId;
    cx.classFlags = savedClassFlags;
    cx.instanceFlags = savedInstanceFlags;
    return true;
}

} // namespace detail

struct Compiler::Impl {
    Impl(repo::ClassStore& store, CompileOptions options) : cx(store, std::move(options)) {}
    detail::CompileContext cx;
};

using namespace detail;

Compiler::Compiler(repo::ClassStore& store, CompileOptions options)
    : m_impl(std::make_unique<Impl>(store, std::move(options))) {}

Compiler::~Compiler() = default;

const Diagnostics& Compiler::diagnostics() const {
    return m_impl->cx.diagnostics;
}
const SourceManager& Compiler::sources() const {
    return m_impl->cx.sources;
}
const CompileStats& Compiler::stats() const {
    return m_impl->cx.stats;
}

CompileStatus Compiler::compile(const std::vector<CompileInput>& inputs) {
    detail::CompileContext& d = m_impl->cx;
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
                compileSource(d, input.path, std::string(), std::move(*text));
            } else {
                d.includeStack.push_back(fileIdentity(input.path));
                compileFile(d, input.path, input.path, {});
                d.includeStack.pop_back();
            }
        }
        if (!d.diagnostics.limitReached() && !d.aborted) resolvePending(d);
        if (d.diagnostics.hasErrors()) {
            d.stats = CompileStats{.files = d.stats.files, .pulledIn = std::move(d.stats.pulledIn)};
        } else {
            tx.commit();
        }
    } catch (const Error& e) {
        d.diagnostics.error(Phase::Repository, {}, 0, "repository failure: " + e.description());
        d.stats = CompileStats{.files = d.stats.files, .pulledIn = std::move(d.stats.pulledIn)};
    } catch (const std::exception& e) {
        d.diagnostics.error(Phase::Repository, {}, 0, std::string("internal failure: ") + e.what());
        d.stats = CompileStats{.files = d.stats.files, .pulledIn = std::move(d.stats.pulledIn)};
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
