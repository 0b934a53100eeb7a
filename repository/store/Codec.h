#pragma once
// The byte form in which the store keeps a definition. Compact and versioned with the schema;
// decoding checks every length, so a damaged row is reported, never read past its end.
#include "repository/core/ClassDef.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace morrowlen::repo::codec {

// A qualifier whose value (a description) the store keeps apart, as the text at index among the
// class's texts: the encoding holds only that index.
struct TextApart {
    const Qualifier* qualifier;
    std::uint32_t index;
};

// apart: in the order encoding meets them (the class's qualifiers, then each property's).
std::string encode(const ClassDef& cls, std::span<const TextApart> apart = {});
std::string encode(const QualifierDecl& decl);
std::string encode(const InstanceDef& instance);

// Throw Error(Failed) naming `what` when the bytes are not a valid encoding.
// texts: the class's texts kept apart, in order; needed when textsApart(bytes). Those the definition
// refers to are moved into it.
ClassDef decodeClass(std::string_view bytes, std::string_view what, std::span<std::string> texts = {});
bool textsApart(std::string_view classBytes);
QualifierDecl decodeQualifierDecl(std::string_view bytes, std::string_view what);
InstanceDef decodeInstance(std::string_view bytes, std::string_view what);

} // namespace morrowlen::repo::codec
