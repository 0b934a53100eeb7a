#pragma once
// The MOF compiler: reads files (following #pragma include), checks them against the repository
// and writes classes, qualifier declarations, instances and namespaces through the ClassStore in
// one transaction. Nothing is written unless the whole compile succeeds. MOF input never throws:
// every problem is a diagnostic.
#include "repository/mof/Diagnostics.h"
#include "repository/mof/Limits.h"
#include "repository/store/ClassStore.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace morrowlen::mof {

// Class flags, with the numbers the platform's compiler accepts in #pragma classflags(n).
namespace classflags {
inline constexpr std::uint32_t UpdateOnly = 0x1;
inline constexpr std::uint32_t CreateOnly = 0x2;
inline constexpr std::uint32_t SafeUpdate = 0x20;
inline constexpr std::uint32_t ForceUpdate = 0x40;
} // namespace classflags

// Instance flags, as #pragma instanceflags(n) numbers them; without either an instance with the
// keys of an existing one replaces it.
namespace instanceflags {
inline constexpr std::uint32_t UpdateOnly = 0x1;
inline constexpr std::uint32_t CreateOnly = 0x2;
} // namespace instanceflags

// Exit statuses of a compile, as the platform's compiler has them (2, a bad command line, is the
// tool's own).
enum class CompileStatus : int { Success = 0, SemanticError = 1, BadCommandLine = 2, SyntaxError = 3 };

struct CompileOptions {
    std::string defaultNamespace = "root\\default"; // where declarations go before any #pragma namespace
    // Searched after the including file's folder, and (recursively) for "<Class>.mof" when a
    // superclass, reference class or embedded-object class is unknown.
    std::vector<std::string> includeDirs;
    std::uint32_t classFlags = 0; // until a #pragma classflags changes them
    // DSP0221 requires every qualifier to be declared; the platform's compiler does not.
    bool strictQualifiers = false;
    // A reference or embedded object of a class defined nowhere is a warning, as on the platform;
    // strict makes it an error.
    bool strictReferences = false;
    // #pragma namespace to a namespace that does not exist creates it with a warning, as the
    // platform creates it; strict makes it an error.
    bool strictNamespaces = false;
    // Compiles into the system namespace: names starting with "__" are allowed, #pragma namespace not.
    bool systemClasses = false;
    std::size_t maxErrors = limits::DefaultMaxErrors;
    bool readIncludes = true; // off when fuzzing, so input cannot name arbitrary files
    // Off for a check: classes are checked as in a real compile, but not encoded and stored (the
    // compile keeps what it needs of them itself).
    bool writeClasses = true;
    // Called before each file is read, with the files read so far.
    std::function<void(const std::string& file, std::size_t filesRead)> progress;
};

// What a successful compile wrote.
struct CompileStats {
    std::size_t files = 0;
    std::size_t namespaces = 0; // created
    std::size_t classes = 0;    // created or updated
    std::size_t instances = 0;
    std::size_t qualifierDecls = 0;
    std::size_t deletedClasses = 0;
    std::size_t deletedInstances = 0;
    std::vector<std::string> pulledIn; // class files read because a class was missing, in order
};

// One input: a file on disk, or text held in memory (name is then what diagnostics show).
struct CompileInput {
    std::string path;
    std::optional<std::string> text;
};

class Compiler {
  public:
    explicit Compiler(repo::ClassStore& store, CompileOptions options = {});
    ~Compiler();
    Compiler(const Compiler&) = delete;
    Compiler& operator=(const Compiler&) = delete;

    // Compiles the inputs in order as one unit and commits only if there was no error.
    CompileStatus compile(const std::vector<CompileInput>& inputs);
    CompileStatus compileFiles(const std::vector<std::string>& paths);
    CompileStatus compileText(std::string name, std::string text);

    const Diagnostics& diagnostics() const;
    const SourceManager& sources() const;
    const CompileStats& stats() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace morrowlen::mof
