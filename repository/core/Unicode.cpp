#include "repository/core/Unicode.h"

#include <array>
#include <cstdint>

namespace morrowlen::repo {

namespace {
// Characters of bytes 0x80..0x9F; 0 where the code page defines none.
constexpr std::array<char32_t, 32> High1252 = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};
} // namespace

std::optional<char32_t> decodeUtf8(std::string_view text, std::size_t& pos) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = byte(pos);
    std::size_t n;
    char32_t min;
    if (c < 0x80) {
        ++pos;
        return c;
    }
    if ((c & 0xE0) == 0xC0)
        n = 2, min = 0x80;
    else if ((c & 0xF0) == 0xE0)
        n = 3, min = 0x800;
    else if ((c & 0xF8) == 0xF0)
        n = 4, min = 0x10000;
    else
        return std::nullopt;
    if (pos + n > text.size()) return std::nullopt;
    char32_t cp = c & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
        if ((byte(pos + k) & 0xC0) != 0x80) return std::nullopt;
        cp = (cp << 6) | (byte(pos + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return std::nullopt;
    pos += n;
    return cp;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

char32_t windows1252ToUnicode(unsigned char byte) {
    if (byte < 0x80 || byte >= 0xA0) return byte;
    const char32_t mapped = High1252[byte - 0x80];
    return mapped ? mapped : byte;
}

std::optional<unsigned char> unicodeToWindows1252(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<unsigned char>(cp);
    for (std::size_t k = 0; k < High1252.size(); ++k)
        if (High1252[k] == cp && cp != 0) return static_cast<unsigned char>(0x80 + k);
    return std::nullopt;
}

std::string escapeControls(std::string_view text, std::string_view keep) {
    static constexpr char Hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) {
            if ((byte < 0x20 || byte == 0x7F) &&
                keep.find(static_cast<char>(byte)) == std::string_view::npos) {
                out += "\\x";
                out += Hex[byte >> 4];
                out += Hex[byte & 15];
            } else {
                out += static_cast<char>(byte);
            }
            ++i;
            continue;
        }
        const std::size_t start = i;
        const auto cp = decodeUtf8(text, i);
        if (!cp) {
            out += "\\x";
            out += Hex[byte >> 4];
            out += Hex[byte & 15];
            ++i;
        } else if (*cp >= 0x80 && *cp <= 0x9F) {
            out += "\\u{00";
            out += Hex[(*cp >> 4) & 15];
            out += Hex[*cp & 15];
            out += '}';
        } else {
            out.append(text.substr(start, i - start));
        }
    }
    return out;
}

} // namespace morrowlen::repo
