#pragma once
// Syntax tree of one MOF file. Names are views into the file's text (the SourceManager keeps it
// alive); literal values are decoded by the parser, so the compiler never looks at token text.
#include "repository/mof/Source.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace morrowlen::mof::ast {

// A name as written, with its place.
struct Name {
    std::string_view text;
    Location location;
};

struct ValueNode {
    enum class Kind : std::uint8_t { Null, Boolean, Integer, Real, String, Char, Alias, Array };
    Kind kind = Kind::Null;
    Location location;
    std::uint32_t length = 0; // characters of the first token, for diagnostics
    bool boolean = false;
    bool negative = false;       // integer: the sign; magnitude holds the absolute value
    std::uint8_t base = 10;      // integer: 16, 8 or 2 let a signed type take the bit pattern
    std::uint64_t magnitude = 0; // integer magnitude, or char code point
    double real = 0;
    std::string text;             // string (escapes decoded, adjacent literals joined) or alias name
    std::vector<ValueNode> items; // array elements (never arrays themselves)
};

// One flavor keyword as written.
struct Flavor {
    enum class Kind : std::uint8_t {
        EnableOverride,
        DisableOverride,
        ToSubclass,
        NotToSubclass,
        Restricted,
        ToInstance,
        NotToInstance,
        Amended,
        Translatable
    };
    Kind kind;
    Location location;
};

struct QualifierNode {
    Name name;
    std::optional<ValueNode> value; // absent for [Key]
    bool valueInParens = false;     // Q(v) rather than Q{...}
    std::vector<Flavor> flavors;    // after a colon
};

enum class ArrayKind : std::uint8_t { None, Unbounded, Fixed };

// A data type as written: an intrinsic type keyword, "ClassName ref", or a class name.
struct TypeNode {
    enum class Kind : std::uint8_t { Intrinsic, Reference, ClassName };
    Kind kind = Kind::Intrinsic;
    Name name; // the keyword or the class name
};

struct ParameterNode {
    std::vector<QualifierNode> qualifiers;
    TypeNode type;
    Name name;
    ArrayKind array = ArrayKind::None;
    std::int64_t arraySize = 0;
    std::optional<ValueNode> defaultValue; // accepted and ignored, as older files write them
};

struct FeatureNode {
    enum class Kind : std::uint8_t { Property, Method };
    Kind kind = Kind::Property;
    std::vector<QualifierNode> qualifiers;
    TypeNode type; // a method's return type
    Name name;
    ArrayKind array = ArrayKind::None;
    std::int64_t arraySize = 0;
    std::optional<ValueNode> defaultValue;
    std::vector<ParameterNode> parameters;
};

struct ClassNode {
    Location location; // the keyword "class"
    std::vector<QualifierNode> qualifiers;
    Name name;
    std::optional<Name> superclass;
    std::optional<Name> alias;
    std::vector<FeatureNode> features;
};

struct PropertyValueNode {
    std::vector<QualifierNode> qualifiers;
    Name name;
    ValueNode value;
    bool hasValue = true; // false for "[Dynamic, ...] Name;", a value its provider supplies
};

struct InstanceNode {
    Location location; // the keyword "instance"
    std::vector<QualifierNode> qualifiers;
    Name className;
    std::optional<Name> alias;
    std::vector<PropertyValueNode> properties;
};

struct QualifierDeclNode {
    Location location;
    Name name;
    // Absent for the flavor-only form "Qualifier Description : Amended;".
    std::optional<TypeNode> type;
    ArrayKind array = ArrayKind::None;
    std::int64_t arraySize = 0;
    std::optional<ValueNode> defaultValue;
    std::vector<Name> scopes; // "any" included as written
    std::vector<Flavor> flavors;
};

struct PragmaNode {
    Location location; // the '#'
    Name name;
    std::vector<ValueNode> arguments; // strings, integers, and bare words as String values
};

using Declaration = std::variant<PragmaNode, QualifierDeclNode, ClassNode, InstanceNode>;

struct File {
    FileId id = NoFile;
    std::vector<Declaration> declarations;
};

} // namespace morrowlen::mof::ast
