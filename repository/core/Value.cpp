#include "repository/core/Value.h"

#include "repository/core/Error.h"

#include <charconv>
#include <cmath>

namespace morrowlen::repo {

Value Value::scalar(Scalar s) {
    Value v;
    v.m_kind = Kind::Scalar;
    v.m_items.push_back(std::move(s));
    return v;
}

Value Value::array(std::vector<Scalar> items) {
    Value v;
    v.m_kind = Kind::Array;
    v.m_items = std::move(items);
    return v;
}

std::string scalarToText(const Scalar& s) {
    struct Visitor {
        std::string operator()(bool b) const { return b ? "True" : "False"; }
        std::string operator()(std::int64_t i) const { return std::to_string(i); }
        std::string operator()(std::uint64_t u) const { return std::to_string(u); }
        std::string operator()(double d) const {
            if (std::isnan(d)) return "NaN";
            if (std::isinf(d)) return d > 0 ? "Infinity" : "-Infinity";
            char buf[64];
            auto res = std::to_chars(buf, buf + sizeof buf, d);
            return std::string(buf, res.ptr);
        }
        std::string operator()(const std::string& s) const { return s; }
    };
    return std::visit(Visitor{}, s);
}

std::string Value::toText() const {
    switch (m_kind) {
    case Kind::Null:
        return {};
    case Kind::Scalar:
        return scalarToText(m_items.front());
    case Kind::Array:
        break;
    }
    throw Error(wbem::TypeMismatch, "Type mismatch: an array value has no text form");
}

} // namespace morrowlen::repo
