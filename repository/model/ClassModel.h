#pragma once
// Answers the program's questions about the repository: which namespaces exist, what they hold,
// and the full definition of one class with inheritance, qualifier propagation, the synthesised
// CIMTYPE qualifier and, on request, amended qualifiers merged in.
#include "repository/core/ClassDef.h"
#include "repository/store/ClassStore.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace morrowlen::repo {

// Who is asking; namespace restrictions are checked against it.
struct Identity {
    std::string user;
    std::vector<std::string> groups;
    bool administrator = false;

    // The identity of this process (its effective user and groups; root is the administrator).
    static Identity current();
};

// Flag of Get that asks for amended (localisable) qualifiers.
inline constexpr std::int32_t UseAmendedQualifiers = 0x20000;
// The localised child namespace whose amendment classes are merged on request.
inline constexpr std::string_view AmendmentNamespace = "ms_409";

struct ResolvedQualifier : Qualifier {
    bool propagated = false; // came from a superclass (or, for a class, its superclass)
};

struct ResolvedFeature {
    std::string name;
    CimType type = CimType::String;
    bool isArray = false;
    std::int32_t arraySize = 0;
    std::string refClass;
    std::vector<ResolvedQualifier> qualifiers; // own, then propagated; CIMTYPE first for properties

    const ResolvedQualifier* qualifier(std::string_view name) const;
};

struct ResolvedProperty : ResolvedFeature {
    std::optional<Value> defaultValue;
    std::string classOrigin; // the class that first declared the property
};

struct ResolvedMethod {
    std::string name;
    CimType returnType = CimType::UInt32;
    bool returnIsArray = false;
    bool returnsVoid = false;
    std::string returnRefClass;
    std::vector<ResolvedFeature> parameters;
    std::vector<ResolvedQualifier> qualifiers;
    std::string classOrigin;
};

struct ResolvedClass {
    std::string name;
    std::string superclass;
    std::vector<std::string> derivation; // superclass first, up to the root class
    std::vector<ResolvedQualifier> qualifiers;
    std::vector<ResolvedProperty> properties; // alphabetical without regard to case
    std::vector<ResolvedMethod> methods;      // alphabetical without regard to case

    const ResolvedProperty* property(std::string_view name) const;
};

// The text of the CIMTYPE qualifier for a feature: "uint32", "ref:CIM_Foo", "object", ...
std::string cimTypeText(CimType type, std::string_view refClass);

class ClassModel {
  public:
    explicit ClassModel(const ClassStore& store, Identity identity = Identity::current());

    const ClassStore& store() const { return *m_store; }
    const Identity& identity() const { return m_identity; }

    // Resolves a namespace path for a connection: Error InvalidNamespace when there is none,
    // AccessDenied when the identity may not open it or one of its ancestors.
    NamespaceId openNamespace(std::string_view path) const;
    // Names of the direct children, in creation order.
    std::vector<std::string> childNamespaces(NamespaceId ns) const;
    // Every class of the namespace at every depth, the system classes first.
    std::vector<std::string> classNames(NamespaceId ns) const;
    // The full definition. Error NotFound when the namespace has no such class.
    ResolvedClass getClass(NamespaceId ns, std::string_view name, std::int32_t flags = 0) const;
    // The class's own definition as stored, looked up in the namespace and then among the
    // system classes; nullopt when neither has it.
    std::optional<ClassDef> findClassDef(NamespaceId ns, std::string_view name) const;
    // Whether findClassDef would find the class, without reading its definition.
    bool hasClass(NamespaceId ns, std::string_view name) const;

  private:
    // The class's own definition and its superclasses', the root first.
    std::vector<ClassDef> superclassChain(NamespaceId ns, std::string_view name) const;

    const ClassStore* m_store;
    Identity m_identity;
};

} // namespace morrowlen::repo
