#pragma once
// Errors of files, settings and memory, numbered as the program's own runtime numbers them.
#include <cstdint>

namespace morrowlen::shell::runtime {

inline constexpr std::uint32_t OutOfMemory = 7;
inline constexpr std::uint32_t PathFileAccessError = 75;

} // namespace morrowlen::shell::runtime
