#pragma once
// Every bound the MOF compiler places on its input, in one place, so that no file can crash,
// hang or exhaust memory. Tests exercise each at its limit.
#include <cstddef>
#include <cstdint>

namespace morrowlen::mof::limits {

inline constexpr std::size_t MaxFileBytes = 64u << 20;         // one source file, before decoding
inline constexpr std::size_t MaxTotalSourceBytes = 512u << 20; // all files of one compile
inline constexpr std::size_t MaxIncludeDepth = 32;             // nested #pragma include
inline constexpr std::size_t MaxFiles = 20000;                 // files read by one compile
inline constexpr std::size_t MaxIdentifierLength = 1024;
inline constexpr std::size_t MaxStringLength = 1u << 20; // one literal after joining
inline constexpr std::size_t MaxArrayElements = 1u << 16;
inline constexpr std::size_t MaxQualifiersPerElement = 256;
inline constexpr std::size_t MaxFeaturesPerClass = 4096; // properties and methods together
inline constexpr std::size_t MaxParameters = 256;
inline constexpr std::int64_t MaxFixedArraySize = 1 << 24;
inline constexpr std::size_t MaxInheritanceDepth = 256;
inline constexpr std::size_t MaxNamespaceDepth = 64;
inline constexpr std::size_t DefaultMaxErrors = 100;

} // namespace morrowlen::mof::limits
