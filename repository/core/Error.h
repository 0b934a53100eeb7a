#pragma once
// Errors of the management repository, numbered as the platform's management service numbers them.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace morrowlen {

namespace wbem {
inline constexpr std::uint32_t Failed = 0x80041001;       // generic failure
inline constexpr std::uint32_t NotFound = 0x80041002;     // object not found
inline constexpr std::uint32_t AccessDenied = 0x80041003; // current user may not do this
inline constexpr std::uint32_t InvalidParameter = 0x80041008;
inline constexpr std::uint32_t InvalidNamespace = 0x8004100E;
inline constexpr std::uint32_t InvalidClass = 0x80041010;
inline constexpr std::uint32_t TypeMismatch = 0x80041005;
inline constexpr std::uint32_t InvalidSyntax = 0x80041021;
} // namespace wbem

// Errors of files, settings and memory, numbered as the program's own runtime numbers them.
namespace runtime {
inline constexpr std::uint32_t OutOfMemory = 7;
inline constexpr std::uint32_t DiskFull = 61;
inline constexpr std::uint32_t PermissionDenied = 70;
inline constexpr std::uint32_t PathFileAccessError = 75;
inline constexpr std::uint32_t PathNotFound = 76;
} // namespace runtime

// An error with a number and a description, as every failing operation of the program reports it.
class Error : public std::runtime_error {
  public:
    Error(std::uint32_t number, std::string description)
        : std::runtime_error(description), m_number(number), m_description(std::move(description)) {}

    std::uint32_t number() const noexcept { return m_number; }
    const std::string& description() const noexcept { return m_description; }

  private:
    std::uint32_t m_number;
    std::string m_description;
};

} // namespace morrowlen
