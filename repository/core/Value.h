#pragma once
// A CIM value: null, one scalar, or an array of scalars.
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace morrowlen::repo {

using Scalar = std::variant<bool, std::int64_t, std::uint64_t, double, std::string>;

class Value {
  public:
    Value() = default; // null
    static Value scalar(Scalar s);
    static Value array(std::vector<Scalar> items);
    static Value string(std::string s) { return scalar(Scalar{std::move(s)}); }
    static Value boolean(bool b) { return scalar(Scalar{b}); }
    static Value sint(std::int64_t v) { return scalar(Scalar{v}); }
    static Value uint(std::uint64_t v) { return scalar(Scalar{v}); }
    static Value real(double v) { return scalar(Scalar{v}); }

    bool isNull() const { return m_kind == Kind::Null; }
    bool isArray() const { return m_kind == Kind::Array; }
    // The scalar, or the elements of an array.
    const std::vector<Scalar>& items() const { return m_items; }
    const Scalar& scalarValue() const { return m_items.front(); }

    // Text as the program's ordinary conversion gives it: decimal numbers, "True"/"False", null as "".
    // Throws Error(TypeMismatch) for an array, which has no text form.
    std::string toText() const;

    bool operator==(const Value&) const = default;

  private:
    enum class Kind : std::uint8_t { Null, Scalar, Array };
    Kind m_kind = Kind::Null;
    std::vector<Scalar> m_items;
};

std::string scalarToText(const Scalar& s);

} // namespace morrowlen::repo
