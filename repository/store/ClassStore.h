#pragma once
// The class store: one SQLite file holding the namespace tree, and per namespace its classes,
// qualifier declarations and instances. Classes are kept as the definitions their MOF declared
// (own members only); ClassModel resolves inheritance.
#include "repository/core/ClassDef.h"
#include "repository/store/Database.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morrowlen::repo {

using NamespaceId = std::int64_t;

// One description that holds every word of a text search: a class's own (property empty) or one
// of its own properties'.
struct DescriptionHit {
    NamespaceId ns;
    std::string className;
    std::string property;
};

class ClassStore {
  public:
    // The schema version this code writes. A file with a newer one is refused, an older one migrated.
    static constexpr int SchemaVersion = 5;
    // Marks a file as a Morrowlen repository (SQLite's application_id: "MRLN").
    static constexpr std::int32_t ApplicationId = 0x4D524C4E;

    enum class OpenMode {
        OpenExisting, // the file must exist and be a repository
        Create,       // creates the file when missing; an existing one must be a repository
        ReadOnly,     // as OpenExisting, and never written (no migration either)
        JustWritten,  // as OpenExisting, for a file this process has just written whole: not checked
    };

    // Opens or creates a repository file. Anything that is not a repository of this or an older
    // schema version is refused with an Error, and the file is left untouched.
    static ClassStore open(const std::string& path, OpenMode mode);
    // A repository that lives in memory only (tests, fuzzing, --check).
    static ClassStore openInMemory();
    // A repository in memory that starts as a copy of a repository file's bytes (the default
    // repository built with the program). Refused like open() when the bytes are not a repository.
    static ClassStore openImage(std::string_view fileBytes);
    // A copy of this repository's whole content in memory, page by page.
    ClassStore copyInMemory() const;
    // The bytes of a repository file with this repository's content (what openImage() reads).
    std::string image() const;

    ClassStore(ClassStore&&) noexcept;
    ClassStore& operator=(ClassStore&&) noexcept;
    ~ClassStore();

    // True when open() created the file (it was missing or empty): the caller may fill it.
    bool wasCreated() const { return m_created; }
    // For code that builds a new repository under another name and then moves it into place.
    void markCreated() { m_created = true; }
    const std::string& path() const;
    Database& database();

    // --- namespaces. Names compare without regard to case and are kept as first created.
    // The tree starts at "root", which always exists. Paths are names joined by single backslashes.
    NamespaceId rootNamespace() const;
    std::optional<NamespaceId> findNamespace(std::string_view path) const;
    std::optional<NamespaceId> findChild(NamespaceId parent, std::string_view name) const;
    // Creates the child (or returns the existing one).
    NamespaceId createNamespace(NamespaceId parent, std::string_view name);
    // Direct children, in creation order, with their names as created.
    std::vector<std::pair<NamespaceId, std::string>> childNamespaces(NamespaceId ns) const;
    std::string namespaceName(NamespaceId ns) const;
    std::optional<NamespaceId> parentNamespace(NamespaceId ns) const;
    std::string namespacePath(NamespaceId ns) const;
    // Who may connect: nullopt means everybody; otherwise the listed users ("name") and groups
    // ("@name"), plus administrators always. An empty list means administrators only.
    void setNamespaceAccess(NamespaceId ns, std::optional<std::vector<std::string>> allowed);
    std::optional<std::vector<std::string>> namespaceAccess(NamespaceId ns) const;
    // The namespace that holds the system classes shared by every namespace; not part of the tree.
    NamespaceId systemNamespace() const;

    // --- classes
    std::optional<ClassDef> getClass(NamespaceId ns, std::string_view name) const;
    bool hasClass(NamespaceId ns, std::string_view name) const;
    // Inserts or replaces the class of that name.
    void putClass(NamespaceId ns, const ClassDef& cls);
    // Removes the class and its instances (returns how many instances went); its subclasses must
    // have been removed first (see subclassNames).
    std::size_t deleteClass(NamespaceId ns, std::string_view name);
    // Names of the classes defined in the namespace itself, in creation order.
    std::vector<std::string> classNames(NamespaceId ns) const;
    // Every class defined in the namespace with the folded name of its superclass ("" for a root
    // class), in creation order.
    std::vector<std::pair<std::string, std::string>> classesWithSuperclass(NamespaceId ns) const;
    // Names of the direct subclasses defined in the namespace.
    std::vector<std::string> subclassNames(NamespaceId ns, std::string_view superclass) const;

    // Descriptions (own Description qualifiers of classes and properties, in every namespace) that
    // hold all the words, whole and without regard to case; a full-text index answers it.
    std::vector<DescriptionHit> searchDescriptions(std::string_view words) const;

    // --- qualifier declarations
    std::optional<QualifierDecl> getQualifierDecl(NamespaceId ns, std::string_view name) const;
    void putQualifierDecl(NamespaceId ns, const QualifierDecl& decl);
    std::vector<QualifierDecl> qualifierDecls(NamespaceId ns) const;

    // --- instances (__NAMESPACE instances are the namespace tree itself and are not stored here)
    void putInstance(NamespaceId ns, const InstanceDef& instance);
    std::vector<InstanceDef> instancesOf(NamespaceId ns, std::string_view className) const;
    // Removes the instances of the class for which match is true; returns how many went.
    std::size_t deleteInstances(NamespaceId ns, std::string_view className,
                                const std::function<bool(const InstanceDef&)>& match);

    // One snapshot for a run of reads (see ReadSnapshot); nothing to do inside a transaction.
    std::unique_ptr<ReadSnapshot> holdReads() const;

    // One transaction over everything written through this store; rolls back unless committed.
    Transaction transaction();

  private:
    struct Impl;
    explicit ClassStore(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
    bool m_created = false;
};

} // namespace morrowlen::repo
