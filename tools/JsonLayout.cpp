#include "tools/JsonLayout.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>

namespace morrowlen::tools {

namespace {

using Json = nlohmann::ordered_json;

class Writer {
  public:
    explicit Writer(const JsonLayout& layout) : m_layout(layout) {}

    void value(const Json& j, std::string_view key) {
        if (j.is_object())
            object(j);
        else if (j.is_array() && m_layout.lists.count(key))
            list(j);
        else if (j.is_array()) {
            out += '[';
            for (std::size_t i = 0; i < j.size(); ++i) {
                if (i) out += ", ";
                value(j[i], {});
            }
            out += ']';
        } else if (j.is_number_float() && !std::isfinite(j.get<double>())) {
            out += "null";
        } else if (j.is_number_float()) {
            // Shortest round-trip text in the notation that is shorter, as the MOF output writes
            // reals (nlohmann's own writer prefers the exponent form for large numbers).
            char buf[64];
            const auto res = std::to_chars(buf, buf + sizeof buf, j.get<double>());
            std::string text(buf, res.ptr);
            if (text.find_first_of(".e") == std::string::npos) text += ".0";
            out += text;
        } else {
            out += scalar(j);
        }
    }

    void outerObject(const Json& j) {
        out += "{\n";
        std::size_t i = 0;
        for (const auto& [key, member] : j.items()) {
            out += i++ ? ",\n  " : "  ";
            out += scalar(key) + ": ";
            value(member, key);
        }
        out += "\n}";
    }

    std::string out;

  private:
    static std::string scalar(const Json& j) {
        return j.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }

    std::size_t column() const { return out.size() - (out.rfind('\n') + 1); }
    std::size_t lineIndent() const {
        const std::size_t start = out.rfind('\n') + 1;
        return out.find_first_not_of(' ', start) - start;
    }

    void object(const Json& j) {
        const std::string continuation = "\n" + std::string(column() + 1, ' ');
        out += '{';
        bool breakBefore = false, first = true;
        for (const auto& [key, member] : j.items()) {
            const bool own = m_layout.ownLine.count(key) != 0;
            if (!first) out += (own || breakBefore) ? "," + continuation : ", ";
            first = false;
            breakBefore = own;
            out += scalar(key) + ": ";
            value(member, key);
        }
        out += '}';
    }

    void list(const Json& j) {
        const std::size_t indent = lineIndent();
        out += '[';
        for (std::size_t i = 0; i < j.size(); ++i) {
            out += i ? ",\n" : "\n";
            out += std::string(indent + 2, ' ');
            value(j[i], {});
        }
        if (!j.empty()) out += "\n" + std::string(indent, ' ');
        out += ']';
    }

    const JsonLayout& m_layout;
};

} // namespace

std::string dumpJson(const nlohmann::ordered_json& json, const JsonLayout& layout) {
    Writer writer(layout);
    if (layout.outerMembersOnLines && json.is_object())
        writer.outerObject(json);
    else
        writer.value(json, {});
    return writer.out + "\n";
}

} // namespace morrowlen::tools
