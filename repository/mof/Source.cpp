#include "Source.h"

#include <algorithm>

namespace morrowlen::mof {

SourceFile::SourceFile(std::string name, std::string path, std::string text)
    : m_name(std::move(name)), m_path(std::move(path)), m_text(std::move(text)) {}

void SourceFile::indexLines() const {
    if (!m_lineStarts.empty()) return;
    m_lineStarts.reserve(m_text.size() / 32 + 1);
    m_lineStarts.push_back(0);
    for (std::size_t i = 0; i < m_text.size(); ++i)
        if (m_text[i] == '\n') m_lineStarts.push_back(static_cast<std::uint32_t>(i + 1));
}

std::uint32_t SourceFile::lineCount() const {
    indexLines();
    return static_cast<std::uint32_t>(m_lineStarts.size());
}

LineColumn SourceFile::position(std::uint32_t offset) const {
    indexLines();
    offset = std::min<std::uint32_t>(offset, static_cast<std::uint32_t>(m_text.size()));
    auto it = std::upper_bound(m_lineStarts.begin(), m_lineStarts.end(), offset);
    const auto line = static_cast<std::uint32_t>(it - m_lineStarts.begin());
    const std::uint32_t start = m_lineStarts[line - 1];
    std::uint32_t column = 1;
    for (std::uint32_t i = start; i < offset; ++i)
        if ((static_cast<unsigned char>(m_text[i]) & 0xC0) != 0x80) ++column; // count code points
    return {line, column};
}

std::string_view SourceFile::lineText(std::uint32_t line) const {
    indexLines();
    if (line == 0 || line > m_lineStarts.size()) return {};
    const std::uint32_t start = m_lineStarts[line - 1];
    std::uint32_t end =
        line < m_lineStarts.size() ? m_lineStarts[line] - 1 : static_cast<std::uint32_t>(m_text.size());
    return std::string_view(m_text).substr(start, end - start);
}

FileId SourceManager::add(std::string name, std::string path, std::string text) {
    m_totalBytes += text.size();
    m_files.push_back(std::make_unique<SourceFile>(std::move(name), std::move(path), std::move(text)));
    return static_cast<FileId>(m_files.size() - 1);
}

void appendUtf8(std::string& out, std::uint32_t cp) {
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

namespace {

// Length of a valid UTF-8 sequence at s[i], or 0.
std::size_t utf8SequenceLength(std::string_view s, std::size_t i) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = b(i);
    std::size_t n;
    std::uint32_t min;
    if (c < 0x80) return 1;
    if ((c & 0xE0) == 0xC0)
        n = 2, min = 0x80;
    else if ((c & 0xF0) == 0xE0)
        n = 3, min = 0x800;
    else if ((c & 0xF8) == 0xF0)
        n = 4, min = 0x10000;
    else
        return 0;
    if (i + n > s.size()) return 0;
    std::uint32_t cp = c & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (b(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

bool isValidUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = utf8SequenceLength(s, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

// Windows-1252 code points of bytes 0x80..0x9F; the rest map to themselves.
constexpr std::uint16_t cp1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                          0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                          0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                          0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string fromWindows1252(std::string_view s) {
    std::string out;
    out.reserve(s.size() + s.size() / 8);
    for (const char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80)
            out.push_back(ch);
        else if (c < 0xA0)
            appendUtf8(out, cp1252High[c - 0x80]);
        else
            appendUtf8(out, c);
    }
    return out;
}

std::optional<std::string> fromUtf16(std::string_view s, bool bigEndian, std::string& error) {
    if (s.size() % 2 != 0) {
        error = "UTF-16 file has an odd number of bytes";
        return std::nullopt;
    }
    std::string out;
    out.reserve(s.size() / 2);
    const auto unit = [&](std::size_t i) -> std::uint32_t {
        const auto a = static_cast<unsigned char>(s[i]), b = static_cast<unsigned char>(s[i + 1]);
        return bigEndian ? (a << 8 | b) : (b << 8 | a);
    };
    for (std::size_t i = 0; i < s.size(); i += 2) {
        std::uint32_t cp = unit(i);
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 3 < s.size()) {
            const std::uint32_t low = unit(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (cp >= 0xD800 && cp <= 0xDFFF) {
            error = "UTF-16 file holds an unpaired surrogate at byte " + std::to_string(i);
            return std::nullopt;
        }
        appendUtf8(out, cp);
    }
    return out;
}

void normaliseLineEnds(std::string& s) {
    if (s.find('\r') == std::string::npos) return;
    std::size_t w = 0;
    for (std::size_t r = 0; r < s.size(); ++r) {
        if (s[r] == '\r') {
            s[w++] = '\n';
            if (r + 1 < s.size() && s[r + 1] == '\n') ++r;
        } else {
            s[w++] = s[r];
        }
    }
    s.resize(w);
}

} // namespace

std::optional<std::string> decodeSource(std::string_view bytes, std::string& error) {
    std::optional<std::string> text;
    const auto starts = [&](std::string_view bom) { return bytes.substr(0, bom.size()) == bom; };
    if (starts("\xEF\xBB\xBF")) {
        const std::string_view body = bytes.substr(3);
        if (!isValidUtf8(body)) {
            error = "file starts with a UTF-8 byte-order mark but is not valid UTF-8";
            return std::nullopt;
        }
        text.emplace(body);
    } else if (starts("\xFF\xFE")) {
        text = fromUtf16(bytes.substr(2), false, error);
    } else if (starts("\xFE\xFF")) {
        text = fromUtf16(bytes.substr(2), true, error);
    } else if (isValidUtf8(bytes)) {
        text.emplace(bytes);
    } else {
        text = fromWindows1252(bytes);
    }
    if (!text) return std::nullopt;
    if (text->find('\0') != std::string::npos) {
        error = "file contains a NUL character (is it UTF-16 without a byte-order mark?)";
        return std::nullopt;
    }
    normaliseLineEnds(*text);
    return text;
}

} // namespace morrowlen::mof
