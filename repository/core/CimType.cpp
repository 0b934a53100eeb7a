#include "repository/core/CimType.h"

#include "repository/core/ClassDef.h"

#include <array>

namespace morrowlen::repo {

namespace {
constexpr std::array<std::string_view, 16> Names = {
    "boolean", "sint8",  "uint8",  "sint16", "uint16", "sint32",   "uint32", "sint64",
    "uint64",  "real32", "real64", "char16", "string", "datetime", "ref",    "object",
};
}

std::string_view cimTypeName(CimType type) {
    return Names[static_cast<std::size_t>(type)];
}

std::optional<CimType> intrinsicTypeFromName(std::string_view name) {
    for (std::size_t i = 0; i < static_cast<std::size_t>(CimType::Reference); ++i)
        if (equalsNoCase(Names[i], name)) return static_cast<CimType>(i);
    return std::nullopt;
}

bool isSignedInteger(CimType type) {
    return type == CimType::SInt8 || type == CimType::SInt16 || type == CimType::SInt32 ||
           type == CimType::SInt64;
}

bool isUnsignedInteger(CimType type) {
    return type == CimType::UInt8 || type == CimType::UInt16 || type == CimType::UInt32 ||
           type == CimType::UInt64;
}

} // namespace morrowlen::repo
