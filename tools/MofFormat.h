#pragma once
// Writes definitions back out: a resolved class or a qualifier declaration as MOF that this
// compiler reads again to the same definition, and a resolved class as JSON (shape documented in
// morrowlen-repo(1); keep it stable).
#include "repository/model/ClassModel.h"

#include <functional>
#include <string>

namespace morrowlen::mof {

// Looks up the qualifier declaration that will apply when the MOF is compiled again; flavors are
// written only where they differ from it. May be empty (no declarations).
using DeclLookup = std::function<const repo::QualifierDecl*(std::string_view name)>;

std::string formatValueMof(const repo::Value& value, repo::CimType type);
std::string formatQualifierDeclMof(const repo::QualifierDecl& decl);
// Every property and method, inherited ones included; propagated qualifiers and CIMTYPE are left
// out because the repository derives them again.
std::string formatClassMof(const repo::ResolvedClass& cls, const DeclLookup& declOf = {});
std::string formatClassJson(const repo::ResolvedClass& cls);

} // namespace morrowlen::mof
