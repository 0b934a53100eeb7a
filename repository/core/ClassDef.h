#pragma once
// Definitions as they are stored: each class holds only what it declares itself.
#include "repository/core/CimType.h"
#include "repository/core/Value.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morrowlen::repo {

// Qualifier flavors as a bit set. The DMTF default is ToSubclass with EnableOverride.
namespace flavor {
inline constexpr std::uint32_t ToSubclass = 1u << 0;      // reaches subclasses (Restricted clears it)
inline constexpr std::uint32_t ToInstance = 1u << 1;      // reaches instances
inline constexpr std::uint32_t DisableOverride = 1u << 2; // subclasses may not change the value
inline constexpr std::uint32_t Amended = 1u << 3;         // localisable: only served on request
inline constexpr std::uint32_t Translatable = 1u << 4;    // may be given per locale
inline constexpr std::uint32_t Default = ToSubclass;
} // namespace flavor

// Scopes of a qualifier declaration, as a bit set.
namespace scope {
inline constexpr std::uint32_t Class = 1u << 0;
inline constexpr std::uint32_t Association = 1u << 1;
inline constexpr std::uint32_t Indication = 1u << 2;
inline constexpr std::uint32_t Property = 1u << 3;
inline constexpr std::uint32_t Reference = 1u << 4;
inline constexpr std::uint32_t Method = 1u << 5;
inline constexpr std::uint32_t Parameter = 1u << 6;
inline constexpr std::uint32_t Qualifier = 1u << 7;
inline constexpr std::uint32_t Schema = 1u << 8;
inline constexpr std::uint32_t Instance = 1u << 9;
inline constexpr std::uint32_t Any = 0x3FF;
} // namespace scope

struct Qualifier {
    std::string name;               // as written
    CimType type = CimType::String; // type of the value (elements, for an array)
    bool isArray = false;
    Value value; // may be null
    std::uint32_t flavors = flavor::Default;
};

// Typed element shared by properties and parameters.
struct Feature {
    std::string name;
    CimType type = CimType::String;
    bool isArray = false;
    std::int32_t arraySize = 0; // fixed size of x[N]; 0 for unbounded or scalar
    std::string refClass;       // class of a reference or embedded object; may be empty
    std::vector<Qualifier> qualifiers;
};

struct PropertyDef : Feature {
    std::optional<Value> defaultValue; // absent when the declaration gives none
};

struct ParameterDef : Feature {};

struct MethodDef {
    std::string name;
    CimType returnType = CimType::UInt32;
    bool returnIsArray = false;
    bool returnsVoid = false; // declared "void": no return value at all
    std::string returnRefClass;
    std::vector<ParameterDef> parameters; // in declaration order
    std::vector<Qualifier> qualifiers;
};

struct ClassDef {
    std::string name;
    std::string superclass; // empty for a root class
    std::vector<Qualifier> qualifiers;
    std::vector<PropertyDef> properties; // in declaration order
    std::vector<MethodDef> methods;
};

struct QualifierDecl {
    std::string name;
    CimType type = CimType::Boolean;
    bool isArray = false;
    std::int32_t arraySize = 0;
    std::optional<Value> defaultValue;
    std::uint32_t scopes = scope::Any;
    std::uint32_t flavors = flavor::Default;
};

struct PropertyValue {
    std::string name;
    Value value;
    std::vector<Qualifier> qualifiers;
};

struct InstanceDef {
    std::string className;
    std::vector<Qualifier> qualifiers;
    std::vector<PropertyValue> properties; // in the order given
};

// ASCII case folding, as names of namespaces, classes, properties and qualifiers are compared.
std::string foldCase(std::string_view s);
bool equalsNoCase(std::string_view a, std::string_view b);
// Finds a qualifier by name, without regard to case; nullptr when absent.
const Qualifier* findQualifier(const std::vector<Qualifier>& qualifiers, std::string_view name);
Qualifier* findQualifier(std::vector<Qualifier>& qualifiers, std::string_view name);

} // namespace morrowlen::repo
