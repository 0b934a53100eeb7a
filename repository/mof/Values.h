#pragma once
// Value conversion: MOF literals to typed repository values, checked against the declared type.
// Needs no store; aliases are looked up through a callback.
#include "repository/core/ClassDef.h"
#include "repository/mof/Ast.h"
#include "repository/mof/Diagnostics.h"

#include <functional>
#include <string>
#include <string_view>
#include <utility>

namespace morrowlen::mof {

class ValueConverter {
  public:
    // Returns the object path an alias stands for, or nullptr when it is not defined (yet).
    using AliasLookup = std::function<const std::string*(std::string_view alias)>;

    ValueConverter(Diagnostics& diagnostics, AliasLookup aliases)
        : m_diagnostics(diagnostics), m_aliases(std::move(aliases)) {}

    bool convertScalar(const ast::ValueNode& v, repo::CimType type, repo::Scalar& out);
    // Converts a literal to the declared type. wrapScalar: Q("x") for an array qualifier.
    bool convertValue(const ast::ValueNode& v, repo::CimType type, bool isArray, bool wrapScalar,
                      repo::Value& out);

  private:
    void error(const ast::ValueNode& v, std::string message);

    Diagnostics& m_diagnostics;
    AliasLookup m_aliases;
};

// yyyymmddhhmmss.mmmmmmsutc, or an interval ddddddddhhmmss.mmmmmm:000; '*' for unknown digits.
bool isDateTime(std::string_view s);
// Why s is not a datetime or interval (its shape, or the first field out of range), or empty.
std::string dateTimeProblem(std::string_view s);
// A value as it appears in an object path: Class.Key="text",Num=5
std::string pathValue(const repo::Value& value, repo::CimType type);
// The type of an undeclared qualifier, taken from its value as the platform's compiler does.
std::pair<repo::CimType, bool> inferQualifierType(const std::optional<ast::ValueNode>& value);

} // namespace morrowlen::mof
