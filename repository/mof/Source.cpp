#include "repository/mof/Source.h"

#include "repository/core/Unicode.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace morrowlen::mof {

SourceFile::SourceFile(std::string name, std::string path, std::string text)
    : m_name(std::move(name)), m_path(std::move(path)), m_text(std::move(text)) {}

void SourceFile::release() {
    if (m_path.empty()) return;
    std::string().swap(m_text); // assigning an empty string would keep the buffer
    std::vector<std::uint32_t>().swap(m_lineStarts);
    m_released = true;
}

void SourceFile::load() const {
    if (!m_released) return;
    m_released = false;
    std::ifstream in(m_path, std::ios::binary);
    std::string error;
    m_text =
        decodeSource(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), error)
            .value_or(std::string());
}

void SourceFile::indexLines() const {
    load();
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

namespace {

bool isValidUtf8(std::string_view s) {
    // Most MOF is ASCII: skip eight plain bytes at a time and decode only the rest.
    constexpr std::uint64_t HighBits = 0x8080808080808080u;
    for (std::size_t i = 0; i < s.size();) {
        if (i + 8 <= s.size()) {
            std::uint64_t word;
            std::memcpy(&word, s.data() + i, 8);
            if ((word & HighBits) == 0) {
                i += 8;
                continue;
            }
        }
        if (static_cast<unsigned char>(s[i]) < 0x80)
            ++i;
        else if (!repo::decodeUtf8(s, i))
            return false;
    }
    return true;
}

std::string fromWindows1252(std::string_view s) {
    std::string out;
    out.reserve(s.size() + s.size() / 8);
    for (const char ch : s) {
        appendUtf8(out, repo::windows1252ToUnicode(static_cast<unsigned char>(ch)));
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

std::optional<std::string> decodeSource(std::string bytes, std::string& error,
                                        std::optional<Windows1252Fallback>* fallback) {
    // UTF-8, by far the most common, keeps the buffer it came in: the text is never copied.
    std::optional<std::string> text;
    const auto starts = [&](std::string_view bom) {
        return std::string_view(bytes).substr(0, bom.size()) == bom;
    };
    if (starts("\xEF\xBB\xBF")) {
        if (!isValidUtf8(std::string_view(bytes).substr(3))) {
            error = "file starts with a UTF-8 byte-order mark but is not valid UTF-8";
            return std::nullopt;
        }
        bytes.erase(0, 3);
        text = std::move(bytes);
    } else if (starts("\xFF\xFE")) {
        text = fromUtf16(std::string_view(bytes).substr(2), false, error);
    } else if (starts("\xFE\xFF")) {
        text = fromUtf16(std::string_view(bytes).substr(2), true, error);
    } else if (isValidUtf8(bytes)) {
        text = std::move(bytes);
    } else {
        text = fromWindows1252(bytes);
        if (fallback) {
            std::size_t bad = 0;
            while (bad < bytes.size() && repo::decodeUtf8(bytes, bad)) {
            }
            std::string before = fromWindows1252(bytes.substr(0, bad));
            normaliseLineEnds(before);
            *fallback = Windows1252Fallback{static_cast<std::uint32_t>(before.size()),
                                            static_cast<unsigned char>(bytes[bad])};
        }
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
