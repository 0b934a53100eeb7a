#pragma once
// Qualifiers and flavors. The flavor rules need no store; resolving the qualifiers of an element
// against the declarations of its namespace works on the compile's context.
#include "repository/core/ClassDef.h"
#include "repository/mof/Ast.h"
#include "repository/mof/Diagnostics.h"
#include "repository/store/ClassStore.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace morrowlen::mof {

// Applies written flavors over defaults; conflicting ones are an error.
bool applyFlavors(const std::vector<ast::Flavor>& flavors, std::uint32_t& bits, Diagnostics& diagnostics);
// Flavors of the standard qualifiers when a file uses them without declaring them.
std::uint32_t wellKnownFlavors(std::string_view name);
std::string_view flavorName(ast::Flavor::Kind kind);

// The scope bit of a scope keyword ("class", "reference", "any"); 0 for an unknown word.
std::uint32_t scopeBit(std::string_view keyword);
std::string scopeNames(std::uint32_t scopes);

namespace detail {
struct CompileContext;

// Resolves the qualifiers of one element; scope 0 skips the scope check (instances).
bool resolveQualifiers(CompileContext& cx, const std::vector<ast::QualifierNode>& nodes, repo::NamespaceId ns,
                       std::uint32_t scope, std::vector<repo::Qualifier>& out);
// A subclass may repeat a DisableOverride qualifier but not change its value.
bool checkLocked(CompileContext& cx, const std::vector<const repo::Qualifier*>& locked,
                 const std::vector<repo::Qualifier>& own, const std::vector<ast::QualifierNode>& nodes,
                 std::string_view from);
// Adds the qualifiers of own that reach subclasses and may not be overridden.
void lockQualifiers(std::vector<const repo::Qualifier*>& locked, const std::vector<repo::Qualifier>& own);
} // namespace detail

} // namespace morrowlen::mof
