#pragma once
// The byte form in which the store keeps a definition. Compact and versioned with the schema;
// decoding checks every length, so a damaged row is reported, never read past its end.
#include "repository/core/ClassDef.h"

#include <string>
#include <string_view>

namespace morrowlen::repo::codec {

std::string encode(const ClassDef& cls);
std::string encode(const QualifierDecl& decl);
std::string encode(const InstanceDef& instance);

// Throw Error(Failed) naming `what` when the bytes are not a valid encoding.
ClassDef decodeClass(std::string_view bytes, std::string_view what);
QualifierDecl decodeQualifierDecl(std::string_view bytes, std::string_view what);
InstanceDef decodeInstance(std::string_view bytes, std::string_view what);

} // namespace morrowlen::repo::codec
