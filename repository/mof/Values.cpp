#include "repository/mof/Values.h"

#include <cfloat>
#include <cmath>

namespace morrowlen::mof {

using repo::CimType;

void ValueConverter::error(const ast::ValueNode& v, std::string message) {
    m_diagnostics.error(Phase::Semantic, v.location, v.length, std::move(message));
}

bool ValueConverter::convertScalar(const ast::ValueNode& v, CimType type, repo::Scalar& out) {
    using K = ast::ValueNode::Kind;
    const auto mismatch = [&](std::string_view what) {
        error(v, std::string(what) + " is not a valid " + std::string(repo::cimTypeName(type)) + " value");
        return false;
    };
    switch (v.kind) {
    case K::Integer: {
        if (repo::isInteger(type)) {
            static constexpr int bits[] = {0, 8, 8, 16, 16, 32, 32, 64, 64};
            const int width = bits[static_cast<int>(type)];
            const std::uint64_t umax = width == 64 ? UINT64_MAX : (std::uint64_t{1} << width) - 1;
            const std::string shown = (v.negative ? "-" : "") + std::to_string(v.magnitude);
            if (repo::isUnsignedInteger(type)) {
                if (v.negative || v.magnitude > umax) {
                    error(v, shown + " is out of range for " + std::string(repo::cimTypeName(type)));
                    return false;
                }
                out = v.magnitude;
                return true;
            }
            const std::uint64_t smax = umax >> 1;
            if (v.negative && v.magnitude <= smax + 1) {
                out = v.magnitude == smax + 1 ? -static_cast<std::int64_t>(smax) - 1
                                              : -static_cast<std::int64_t>(v.magnitude);
                return true;
            }
            if (!v.negative && v.magnitude <= smax) {
                out = static_cast<std::int64_t>(v.magnitude);
                return true;
            }
            if (!v.negative && v.base != 10 && v.magnitude <= umax) {
                // A hexadecimal, octal or binary constant gives the bit pattern.
                out = width == 64
                          ? static_cast<std::int64_t>(v.magnitude)
                          : static_cast<std::int64_t>(v.magnitude) - static_cast<std::int64_t>(umax) - 1;
                return true;
            }
            error(v, shown + " is out of range for " + std::string(repo::cimTypeName(type)));
            return false;
        }
        if (repo::isReal(type)) {
            const double d = static_cast<double>(v.magnitude);
            out = v.negative ? -d : d;
            return true;
        }
        if (type == CimType::Char16 && !v.negative && v.magnitude <= 0xFFFF) {
            out = v.magnitude;
            return true;
        }
        return mismatch("an integer");
    }
    case K::Real:
        if (!repo::isReal(type)) return mismatch("a real number");
        if (type == CimType::Real32) {
            if (std::isfinite(v.real) && std::fabs(v.real) > FLT_MAX) {
                error(v, "value is out of range for real32");
                return false;
            }
            out = static_cast<double>(static_cast<float>(v.real));
        } else {
            out = v.real;
        }
        return true;
    case K::String:
        if (type == CimType::String || type == CimType::Reference || type == CimType::Object) {
            out = v.text;
            return true;
        }
        if (type == CimType::DateTime) {
            if (const std::string problem = dateTimeProblem(v.text); !problem.empty()) {
                const bool shape = problem.rfind("not a datetime", 0) == 0;
                error(v, "\"" + v.text + (shape ? "\" is " : "\" is not a valid datetime: ") + problem);
                return false;
            }
            out = v.text;
            return true;
        }
        return mismatch("a string");
    case K::Char:
        if (type == CimType::Char16) {
            out = v.magnitude;
            return true;
        }
        if (type == CimType::String) {
            std::string s;
            appendUtf8(s, static_cast<std::uint32_t>(v.magnitude));
            out = std::move(s);
            return true;
        }
        return mismatch("a character");
    case K::Boolean:
        if (type != CimType::Boolean) return mismatch(v.boolean ? "TRUE" : "FALSE");
        out = v.boolean;
        return true;
    case K::Alias: {
        if (type != CimType::Reference && type != CimType::Object) return mismatch("an alias");
        const std::string* path = m_aliases ? m_aliases(v.text) : nullptr;
        if (!path) {
            error(v, "unknown alias '$" + v.text + "' (an alias must be defined before use)");
            return false;
        }
        out = *path;
        return true;
    }
    case K::Null:
        error(v, "NULL is not allowed as an array element");
        return false;
    case K::Array:
        break;
    }
    error(v, "an array is not allowed here");
    return false;
}

// Converts a literal to the declared type. wrapScalar: Q("x") for an array qualifier.
bool ValueConverter::convertValue(const ast::ValueNode& v, CimType type, bool isArray, bool wrapScalar,
                                  repo::Value& out) {
    if (v.kind == ast::ValueNode::Kind::Null) {
        out = repo::Value();
        return true;
    }
    if (v.kind == ast::ValueNode::Kind::Array) {
        if (!isArray) {
            error(v, "an array value for a scalar of type " + std::string(repo::cimTypeName(type)));
            return false;
        }
        std::vector<repo::Scalar> items;
        items.reserve(v.items.size());
        bool ok = true;
        for (const ast::ValueNode& item : v.items) {
            repo::Scalar s;
            if (convertScalar(item, type, s))
                items.push_back(std::move(s));
            else
                ok = false;
        }
        if (ok) out = repo::Value::array(std::move(items));
        return ok;
    }
    repo::Scalar s;
    if (isArray && !wrapScalar) {
        error(v, "a single value for an array; write it as {value}");
        return false;
    }
    if (!convertScalar(v, type, s)) return false;
    out = isArray ? repo::Value::array({std::move(s)}) : repo::Value::scalar(std::move(s));
    return true;
}

std::string dateTimeProblem(std::string_view s) {
    const char* const shape =
        "not a datetime (yyyymmddhhmmss.mmmmmmsutc, or ddddddddhhmmss.mmmmmm:000 for an interval)";
    if (s.size() != 25 || s[14] != '.' || (s[21] != '+' && s[21] != '-' && s[21] != ':')) return shape;
    for (std::size_t i = 0; i < 25; ++i)
        if (i != 14 && i != 21 && !((s[i] >= '0' && s[i] <= '9') || s[i] == '*')) return shape;
    // A field of asterisks is left open; any other field must hold a number in its range.
    const auto field = [&](std::size_t from, std::size_t n) -> std::optional<int> {
        int v = 0;
        for (std::size_t i = from; i < from + n; ++i) {
            if (s[i] == '*') return std::nullopt;
            v = v * 10 + (s[i] - '0');
        }
        return v;
    };
    const auto outside = [&](const char* name, std::size_t from, std::size_t n, int low,
                             int high) -> std::string {
        const auto v = field(from, n);
        if (!v || (*v >= low && *v <= high)) return {};
        return std::string(name) + " " + std::string(s.substr(from, n)) + " is out of range (" +
               std::to_string(low) + " to " + std::to_string(high) + ")";
    };
    std::string problem;
    const auto check = [&](const char* name, std::size_t from, std::size_t n, int low, int high) {
        if (problem.empty()) problem = outside(name, from, n, low, high);
    };
    if (s[21] == ':') {
        if (s.substr(22) != "000") return "an interval ends in ':000'";
        check("hour", 8, 2, 0, 23);
    } else {
        check("month", 4, 2, 1, 12);
        const auto year = field(0, 4), month = field(4, 2);
        int days = 31;
        if (month && (*month == 4 || *month == 6 || *month == 9 || *month == 11)) days = 30;
        if (month && *month == 2)
            days = year && !(*year % 4 == 0 && (*year % 100 != 0 || *year % 400 == 0)) ? 28 : 29;
        check("day", 6, 2, 1, days);
        check("hour", 8, 2, 0, 23);
    }
    check("minute", 10, 2, 0, 59);
    check("second", 12, 2, 0, 59);
    return problem;
}

bool isDateTime(std::string_view s) {
    return dateTimeProblem(s).empty();
}

// A value as it appears in an object path: Class.Key="text",Num=5
std::string pathValue(const repo::Value& value, CimType type) {
    if (value.isNull() || value.isArray()) return "NULL";
    const repo::Scalar& s = value.scalarValue();
    if (const auto* b = std::get_if<bool>(&s)) return *b ? "TRUE" : "FALSE";
    if (type == CimType::Char16) {
        std::string out = "'";
        if (const auto* u = std::get_if<std::uint64_t>(&s)) appendUtf8(out, static_cast<std::uint32_t>(*u));
        return out + "'";
    }
    if (const auto* str = std::get_if<std::string>(&s)) {
        std::string out = "\"";
        for (const char c : *str) {
            if (c == '"' || c == '\\') out += '\\';
            out += c;
        }
        return out + "\"";
    }
    return repo::scalarToText(s);
}

// The type of an undeclared qualifier, taken from its value as the platform's compiler does.
std::pair<CimType, bool> inferQualifierType(const std::optional<ast::ValueNode>& value) {
    using K = ast::ValueNode::Kind;
    if (!value) return {CimType::Boolean, false};
    const bool isArray = value->kind == K::Array;
    const ast::ValueNode* sample = isArray ? nullptr : &*value;
    if (isArray)
        for (const ast::ValueNode& item : value->items)
            if (item.kind != K::Null) {
                sample = &item;
                break;
            }
    if (!sample) return {CimType::String, isArray};
    switch (sample->kind) {
    case K::Boolean:
        return {CimType::Boolean, isArray};
    case K::Integer: {
        bool fits32 = true, fitsSigned = true;
        if (isArray) {
            for (const ast::ValueNode& item : value->items) {
                fits32 &= item.magnitude <= (item.negative ? 0x80000000ull : 0x7FFFFFFFull);
                fitsSigned &= item.negative || item.magnitude <= static_cast<std::uint64_t>(INT64_MAX);
            }
        } else {
            fits32 = sample->magnitude <= (sample->negative ? 0x80000000ull : 0x7FFFFFFFull);
            fitsSigned = sample->negative || sample->magnitude <= static_cast<std::uint64_t>(INT64_MAX);
        }
        return {fits32 ? CimType::SInt32 : fitsSigned ? CimType::SInt64 : CimType::UInt64, isArray};
    }
    case K::Real:
        return {CimType::Real64, isArray};
    case K::Char:
        return {CimType::Char16, isArray};
    default:
        return {CimType::String, isArray};
    }
}

} // namespace morrowlen::mof
