#pragma once
// Where the operations get their classes from. The local repository file is one source; a
// repository compiled in memory from MOF files, or a remote machine, would be others. Every call
// fails with morrowlen::Error carrying the platform's number (InvalidNamespace, AccessDenied,
// NotFound, InvalidClass, ...).
#include "repository/core/ClassDef.h"
#include "repository/model/ClassModel.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morrowlen::repo {

// An opened namespace. Its meaning belongs to the source that handed it out.
using NamespaceHandle = std::int64_t;

// A class and its direct superclass ("" for a root class), names as declared.
struct ClassLink {
    std::string name;
    std::string superclass;
};

// What ClassSource::find looks for. Every criterion given must hold.
struct FindQuery {
    std::string nameGlob = "*";                // class names: * and ?, without regard to case
    std::optional<std::string> propertyGlob;   // property hits only: names (own or inherited)
    std::optional<std::string> qualifier;      // the class or property carries it (not as false)
    std::optional<std::string> qualifierValue; // ... with this value, as text without regard to case
    std::string text;                          // every word in the own description
    bool amended = false;                      // descriptions of the ms_409 amendments count too
};

// A class (property empty) or one of its properties found by ClassSource::find.
struct FindHit {
    std::string namespacePath; // as stored: root\cimv2
    std::string className;     // as declared
    std::string property;      // as declared; empty for a class hit
};

// Keeps a run of reads on one snapshot of a source while it lives (see ClassSource::holdReads).
class ReadScope {
  public:
    virtual ~ReadScope() = default;
};

class ClassSource {
  public:
    virtual ~ClassSource() = default;

    // Reads made while the returned scope lives see one snapshot and cost less (a walk over many
    // namespaces); null where a source has nothing to hold.
    virtual std::unique_ptr<ReadScope> holdReads() const { return nullptr; }

    // Opens a namespace by path ("root\cimv2") for the identity the source serves.
    virtual NamespaceHandle openNamespace(std::string_view path) const = 0;
    // The path of an opened namespace, with the names as stored.
    virtual std::string namespacePath(NamespaceHandle ns) const = 0;
    // Names of the direct child namespaces, in creation order.
    virtual std::vector<std::string> childNamespaces(NamespaceHandle ns) const = 0;
    // Every class of the namespace at every depth, the system classes first.
    virtual std::vector<std::string> classNames(NamespaceHandle ns) const = 0;
    // Every class defined in the namespace itself (not the system classes) with its superclass, in
    // creation order: the inheritance tree in one call.
    virtual std::vector<ClassLink> classLinks(NamespaceHandle ns) const = 0;
    virtual bool hasClass(NamespaceHandle ns, std::string_view className) const = 0;
    // The full definition (inheritance resolved); flags as Get takes them (UseAmendedQualifiers).
    virtual ResolvedClass getClass(NamespaceHandle ns, std::string_view className,
                                   std::int32_t flags) const = 0;
    // The Name property of every instance of the class (as InstancesOf reports them).
    virtual std::vector<std::string> instanceNames(NamespaceHandle ns, std::string_view className) const = 0;
    // The qualifier declaration in force for the namespace, if any (for writing MOF back).
    virtual std::optional<QualifierDecl> qualifierDecl(NamespaceHandle ns, std::string_view name) const = 0;
    // Classes and properties matching the query in the namespace and every namespace below it
    // that the identity may open, sorted by namespace, class and property (class hits first).
    // Without a property, qualifier or text criterion the hits are classes; with --property they
    // are properties; otherwise both. Namespaces refused to the identity are skipped and their
    // paths added to refused. System classes are not searched, nor ms_409 children below under
    // (they amend their parent's classes; query.amended lends their descriptions to those).
    virtual std::vector<FindHit> find(NamespaceHandle under, const FindQuery& query,
                                      std::vector<std::string>* refused = nullptr) const = 0;
};

// Whether text matches a glob of * and ? without regard to case (ASCII letters).
bool globMatchNoCase(std::string_view glob, std::string_view text);

} // namespace morrowlen::repo
