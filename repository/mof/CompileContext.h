#pragma once
// State shared by the phases of one compile (driver, class cache, declarations, pragmas). The
// phases are free functions over this one context; value conversion and flavors need none of it.
#include "repository/mof/Ast.h"
#include "repository/mof/Compiler.h"
#include "repository/mof/Values.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace morrowlen::mof::detail {

using repo::CimType;
using repo::NamespaceId;

// What the compiler knows of a class beyond its own definition: the members it inherits, the
// qualifiers a subclass may not change, and whether it is an association or an indication.
// Properties and methods are looked up separately, as the platform does.
struct Member {
    std::string name; // as first declared
    CimType type = CimType::String;
    bool isArray = false;
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
    const ClassEntry* super = nullptr;
    bool association = false;
    bool indication = false;
    std::vector<const repo::Qualifier*> locked;
    // The members the class declares itself (a redeclared one starts as the inherited one), by
    // folded name; inherited ones are looked up through super rather than copied into every class.
    std::unordered_map<std::string, Member> ownProperties;
    std::unordered_map<std::string, Member> ownMethods;
    std::vector<std::string> keys; // folded names of key properties, in order

    const Member* property(const std::string& folded) const {
        return find(&ClassEntry::ownProperties, folded);
    }
    const Member* method(const std::string& folded) const { return find(&ClassEntry::ownMethods, folded); }

  private:
    const Member* find(std::unordered_map<std::string, Member> ClassEntry::*members,
                       const std::string& folded) const {
        for (const ClassEntry* c = this; c; c = c->super)
            if (const auto it = (c->*members).find(folded); it != (c->*members).end()) return &it->second;
        return nullptr;
    }
};

struct AliasEntry {
    std::string path; // object path of the aliased instance, which is what a reference holds
    Location location;
};

// Per-file state: where the file lives and the flavors set by "Qualifier X : flavors;".
struct FileState {
    FileId id = NoFile;
    std::filesystem::path folder;
    std::unordered_map<std::string, std::uint32_t> flavorDefaults;
};

// A reference or embedded-object class named before (or without) its definition; checked once the
// whole compile has been read.
struct PendingClass {
    NamespaceId ns = 0;
    std::string namespacePath;
    std::string name; // as written
    Location location;
    std::uint32_t length = 0;
    bool reference = false; // else an embedded object
};

struct CompileContext {
    CompileContext(repo::ClassStore& s, CompileOptions o);

    repo::ClassStore& store;
    CompileOptions options;
    SourceManager sources;
    Diagnostics diagnostics;
    ValueConverter converter; // aliases from this compile
    CompileStats stats;

    std::string currentNamespace;                  // path, "root\\x"
    std::optional<NamespaceId> currentNamespaceId; // resolved on first use
    std::uint32_t classFlags = 0;
    std::uint32_t instanceFlags = 0;
    std::vector<FileState> files;          // the include stack
    std::vector<std::string> includeStack; // file identities, to refuse cycles
    bool aborted = false;                  // after a repository failure

    // Caches keyed by namespace and folded name; the store is asked once per name.
    std::unordered_map<NamespaceId, std::unordered_map<std::string, ClassEntry*>> classes;
    std::vector<std::unique_ptr<ClassEntry>> entries; // owns every entry ever made (pointers stay)
    std::unordered_map<NamespaceId, std::unordered_map<std::string, std::optional<repo::QualifierDecl>>>
        qualifierDecls;
    std::unordered_map<NamespaceId, std::unordered_map<std::string, Location>> definedHere;
    // Folded names of the classes in the store, read once per namespace (rather than a look-up per
    // class): it answers for every name not in definedHere, and a class this compile deletes
    // leaves both.
    std::unordered_map<NamespaceId, std::unordered_set<std::string>> stored;
    std::unordered_map<std::string, AliasEntry> aliases;

    // Object paths of the stored instances of a class, by namespace and folded class name.
    std::unordered_map<std::string, std::unordered_set<std::string>> instancePaths;

    std::vector<PendingClass> pending;
    // Class files found by name in the include folders: folded "name.mof" -> path, built on first need.
    std::optional<std::unordered_map<std::string, std::filesystem::path>> classFiles;
    std::unordered_set<std::string> classFilesRead; // file identities
    std::vector<std::string> pulling;               // folded class names being pulled in, innermost last

    std::string folded; // scratch buffer for lookups

    // Whether the store has the class, for a name this compile has not defined.
    bool isStored(NamespaceId ns, std::string_view name);

    const std::string& fold(std::string_view s);
    bool canWrite() const { return !diagnostics.hasErrors() && !aborted; }
    void error(Location at, std::uint32_t length, std::string message) {
        diagnostics.error(Phase::Semantic, at, length, std::move(message));
    }
    void error(const ast::Name& name, std::string message) {
        error(name.location, static_cast<std::uint32_t>(name.text.size()), std::move(message));
    }
    void warning(const ast::Name& name, std::string message) {
        diagnostics.warning(name.location, static_cast<std::uint32_t>(name.text.size()), std::move(message));
    }
};

// --- driver (Compiler.cpp): files and includes
void compileFile(CompileContext& cx, const std::string& shownName, const std::filesystem::path& path,
                 Location includedAt);
// Looks for "<name>.mof" in the include folders and compiles it into the namespace ns; true when a
// file was found and read.
bool pullInClassFile(CompileContext& cx, NamespaceId ns, const std::string& namespacePath,
                     std::string_view className, Location at);
// Names a file by device and inode, so that two spellings of one file compare equal (one stat,
// where resolving the path would look at every folder on the way).
std::string fileIdentity(const std::filesystem::path& path);
// Finds a regular file: as given, else matching each path component without regard to case; sets
// identity (see fileIdentity) from the same look.
std::optional<std::filesystem::path> findFile(const std::filesystem::path& folder, std::string name,
                                              std::string& identity);

// --- name resolution and the class cache (ClassCache.cpp)
NamespaceId currentNs(CompileContext& cx);
// Why a namespace name cannot be used (empty, blank, "." or "..", a control character or a
// separator), or an empty string when it can.
std::string namespaceNameProblem(std::string_view name);
// Why the path cannot be read as a source file ("does not exist", "is a folder, not a file", ...),
// or empty when it can.
std::string fileKindProblem(const std::filesystem::path& path, bool pipeAllowed);
std::optional<std::string> resolveNamespacePath(const CompileContext& cx, std::string_view text,
                                                std::string& problem);
ClassEntry* findClass(CompileContext& cx, NamespaceId ns, std::string_view name, std::size_t depth = 0);
void deriveView(CompileContext& cx, ClassEntry& entry, const ClassEntry* super);
// Drops from a definition what no later check reads (descriptions, default values and other
// qualifiers: most of a schema's bytes), before deriveView points into it. The store has it all.
void keepCheckedParts(repo::ClassDef& def);
const repo::QualifierDecl* findQualifierDecl(CompileContext& cx, NamespaceId ns, std::string_view name);
// The resolve phase: every class named before its definition must exist by now.
void resolvePending(CompileContext& cx);

// --- declarations (Declarations.cpp)
void processDeclaration(CompileContext& cx, const ast::Declaration& decl);

// --- pragmas (Pragmas.cpp)
void processPragma(CompileContext& cx, const ast::PragmaNode& p);

} // namespace morrowlen::mof::detail
