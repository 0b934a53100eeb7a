#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace morrowlen::repo {

// The intrinsic types of CIM; Reference and Object carry a class name beside them where declared.
enum class CimType : std::uint8_t {
    Boolean,
    SInt8,
    UInt8,
    SInt16,
    UInt16,
    SInt32,
    UInt32,
    SInt64,
    UInt64,
    Real32,
    Real64,
    Char16,
    String,
    DateTime,
    Reference,
    Object,
};

// The lower-case name used in MOF and in the CIMTYPE qualifier ("uint32", "datetime", "ref", "object").
std::string_view cimTypeName(CimType type);
// Case-insensitive inverse of cimTypeName for the intrinsic types (not "ref"/"object").
std::optional<CimType> intrinsicTypeFromName(std::string_view name);

bool isSignedInteger(CimType type);
bool isUnsignedInteger(CimType type);
inline bool isInteger(CimType type) {
    return isSignedInteger(type) || isUnsignedInteger(type);
}
inline bool isReal(CimType type) {
    return type == CimType::Real32 || type == CimType::Real64;
}

} // namespace morrowlen::repo
