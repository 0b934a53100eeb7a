// The driver of a compile: reads the inputs and the files they include or that name a missing
// class, runs the declarations of each file in order, then the resolve phase, and commits.
#include "repository/mof/Compiler.h"

#include "repository/core/Error.h"
#include "repository/mof/CompileContext.h"
#include "repository/mof/Parser.h"

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

bool CompileContext::isStored(NamespaceId ns, std::string_view name) {
    auto [it, first] = stored.try_emplace(ns);
    if (first) {
        // Classes this compile has already written may be among them; they are in definedHere.
        for (const std::string& n : store.classNames(ns))
            it->second.insert(repo::foldCase(n));
    }
    return it->second.contains(fold(name));
}

const std::string& CompileContext::fold(std::string_view s) {
    folded.assign(s);
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return folded;
}

namespace {

// A large regular file that needs no decoding is read in place instead (mapped is set and the
// bytes returned are empty): memory then follows the part of it being compiled.
std::optional<std::string> readFile(CompileContext& cx, const std::string& path, std::string& problem,
                                    bool& pipe, std::optional<MappedText>& mapped) {
    // One open, one fstat and (for a regular file) one read per file, as a schema reads thousands.
    // A pipe (such as <(...) in a shell) is read to its end; a device or folder is no source file.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        problem = errno == ELOOP    ? "is a loop of symbolic links"
                  : errno == ENOENT ? "does not exist"
                                    : std::strerror(errno);
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
    pipe = S_ISFIFO(info.st_mode);
    if (!S_ISREG(info.st_mode) && !pipe) {
        problem = S_ISDIR(info.st_mode)                            ? "is a folder, not a file"
                  : S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode) ? "is a device, not a file"
                                                                   : "is not a regular file";
        return std::nullopt;
    }
    if (pipe) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    const std::size_t room =
        std::min(limits::MaxFileBytes, limits::MaxTotalSourceBytes - cx.sources.totalBytes());
    const auto tooLarge = [&](std::size_t size) {
        if (size <= room) return false;
        problem = size > limits::MaxFileBytes
                      ? "file larger than " + std::to_string(limits::MaxFileBytes >> 20) + " MiB"
                      : "the compile would read more than " +
                            std::to_string(limits::MaxTotalSourceBytes >> 20) + " MiB of sources";
        return true;
    };
    const auto size = static_cast<std::size_t>(std::max<off_t>(info.st_size, 0));
    if (tooLarge(size)) return std::nullopt;
    constexpr std::size_t MappedFileBytes = 1u << 20;
    if (!pipe && size >= MappedFileBytes && (mapped = MappedText::mapPlain(fd, size))) return std::string();
    // A regular file is read into a buffer of its size, a pipe in chunks until its end.
    std::string bytes(pipe ? 0 : size, '\0');
    std::size_t done = 0;
    for (;;) {
        if (done == bytes.size()) {
            if (!pipe) break;
            bytes.resize(done + 65536);
        }
        const ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            problem = std::string("reading failed: ") + std::strerror(errno);
            return std::nullopt;
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
        if (tooLarge(done)) return std::nullopt;
    }
    bytes.resize(done);
    return bytes;
}

// Finds a file: as given, else matching each path component without regard to case.
} // namespace

std::string fileKindProblem(const fs::path& path, bool pipeAllowed) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ELOOP) return "is a loop of symbolic links";
        if (errno == ENOENT) return "does not exist";
        return std::strerror(errno);
    }
    if (S_ISREG(st.st_mode) || (pipeAllowed && S_ISFIFO(st.st_mode))) return {};
    if (S_ISDIR(st.st_mode)) return "is a folder, not a file";
    if (S_ISFIFO(st.st_mode)) return "is a pipe, not a file";
    if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "is a device, not a file";
    return "is not a regular file";
}

namespace {
// A regular file's identity (see fileIdentity), or nothing for anything else.
std::optional<std::string> regularFileIdentity(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return std::to_string(info.st_dev) + ':' + std::to_string(info.st_ino);
}
} // namespace

std::optional<fs::path> findFile(const fs::path& folder, std::string name, std::string& identity) {
    for (char& c : name)
        if (c == '\\') c = '/';
    const fs::path wanted = fs::path(name).is_absolute() ? fs::path(name) : folder / name;
    std::error_code ec;
    if (auto found = regularFileIdentity(wanted)) {
        identity = std::move(*found);
        return wanted;
    }
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
    auto found = regularFileIdentity(current);
    if (!found) return std::nullopt;
    identity = std::move(*found);
    return current;
}

std::string fileIdentity(const fs::path& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0)
        return std::to_string(info.st_dev) + ':' + std::to_string(info.st_ino);
    std::error_code ec;
    return fs::weakly_canonical(path, ec).string();
}

namespace {

// rereadable: the text can be read again from its path (a regular file), so it is freed when done.
void compileSource(CompileContext& cx, FileId id, std::optional<Windows1252Fallback> fallback,
                   bool rereadable) {
    const std::string& path = cx.sources.file(id).path();
    if (fallback) {
        static constexpr char Hex[] = "0123456789ABCDEF";
        cx.diagnostics.warning(Location{id, fallback->offset}, 1,
                               std::string("the file is not valid UTF-8 (byte 0x") +
                                   Hex[fallback->byte >> 4] + Hex[fallback->byte & 15] +
                                   " here); it is read as Windows-1252");
    }
    ++cx.stats.files;
    FileState state;
    state.id = id;
    state.folder = path.empty() ? fs::current_path() : fs::path(path).parent_path();
    cx.files.push_back(std::move(state));
    {
        Parser parser(cx.sources.file(id), id, cx.diagnostics);
        while (!cx.diagnostics.limitReached() && !cx.aborted) {
            const std::optional<ast::Declaration> declaration = parser.nextDeclaration();
            if (!declaration) break;
            processDeclaration(cx, *declaration);
            cx.sources.doneBefore(id, parser.offset());
        }
    }
    cx.files.pop_back();
    // Nothing points into the text any more (the syntax trees are gone; the caches copy names).
    if (rereadable) cx.sources.release(id);
}

} // namespace

void compileFile(CompileContext& cx, const std::string& shownName, const fs::path& path,
                 Location includedAt) {
    if (cx.sources.size() >= limits::MaxFiles) {
        cx.diagnostics.error(Phase::Input, includedAt, 1,
                             "more than " + std::to_string(limits::MaxFiles) + " files in one compile");
        return;
    }
    if (cx.options.progress) cx.options.progress(shownName, cx.stats.files);
    std::string problem;
    bool pipe = false;
    std::optional<MappedText> mapped;
    auto bytes = readFile(cx, path.string(), problem, pipe, mapped);
    if (!bytes) {
        cx.diagnostics.error(Phase::Input, includedAt, 1, "cannot read '" + shownName + "': " + problem);
        return;
    }
    if (mapped) {
        compileSource(cx, cx.sources.add(shownName, path.string(), std::move(*mapped)), std::nullopt, true);
        return;
    }
    std::optional<Windows1252Fallback> fallback;
    auto text = decodeSource(std::move(*bytes), problem, &fallback);
    bytes.reset();
    if (!text) {
        cx.diagnostics.error(Phase::Input, includedAt, 1, "cannot read '" + shownName + "': " + problem);
        return;
    }
    compileSource(cx, cx.sources.add(shownName, path.string(), std::move(*text)), fallback, !pipe);
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
            if (name.size() > 4 &&
                repo::equalsNoCase(std::string_view(name).substr(name.size() - 4), ".mof") &&
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
                std::optional<Windows1252Fallback> fallback;
                auto text = decodeSource(std::string(*input.text), problem, &fallback);
                if (!text) {
                    d.diagnostics.error(Phase::Input, {}, 0, "cannot read '" + input.path + "': " + problem);
                    continue;
                }
                compileSource(d, d.sources.add(input.path, std::string(), std::move(*text)), fallback, false);
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
