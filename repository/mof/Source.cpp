#include "repository/mof/Source.h"

#include "repository/core/Unicode.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sys/mman.h>
#include <unistd.h>
#include <utility>

namespace morrowlen::mof {

namespace {
constexpr std::size_t Chunk = 1u << 20; // a mapped file is checked, indexed and given back in these
} // namespace

SourceFile::SourceFile(std::string name, std::string path, std::string text)
    : m_name(std::move(name)), m_path(std::move(path)), m_text(std::move(text)) {}

SourceFile::SourceFile(std::string name, std::string path, MappedText mapped)
    : m_name(std::move(name)), m_path(std::move(path)), m_mapped(std::move(mapped)) {}

void SourceFile::doneBefore(std::uint32_t offset) {
    if (!m_mapped || offset < m_givenBack + Chunk) return;
    m_mapped->giveBack(m_givenBack, offset);
    m_givenBack = offset;
}

void SourceFile::release() {
    if (m_mapped) {
        m_mapped->giveBack(0, m_mapped->text().size());
        return;
    }
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
    if (!m_lineStarts.empty()) return;
    const std::string_view text = this->text();
    m_lineStarts.reserve(text.size() / 32 + 1);
    m_lineStarts.push_back(0);
    for (std::size_t start = 0; start < text.size(); start += Chunk) {
        const std::size_t end = std::min(text.size(), start + Chunk);
        for (std::size_t i = start; i < end; ++i)
            if (text[i] == '\n') m_lineStarts.push_back(static_cast<std::uint32_t>(i + 1));
        if (m_mapped) m_mapped->giveBack(start, end); // the index does not keep a long file in memory
    }
}

std::uint32_t SourceFile::lineCount() const {
    indexLines();
    return static_cast<std::uint32_t>(m_lineStarts.size());
}

LineColumn SourceFile::position(std::uint32_t offset) const {
    indexLines();
    const std::string_view text = this->text();
    offset = std::min<std::uint32_t>(offset, static_cast<std::uint32_t>(text.size()));
    auto it = std::upper_bound(m_lineStarts.begin(), m_lineStarts.end(), offset);
    const auto line = static_cast<std::uint32_t>(it - m_lineStarts.begin());
    const std::uint32_t start = m_lineStarts[line - 1];
    std::uint32_t column = 1;
    for (std::uint32_t i = start; i < offset; ++i)
        if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) ++column; // count code points
    return {line, column};
}

std::string_view SourceFile::lineText(std::uint32_t line) const {
    indexLines();
    if (line == 0 || line > m_lineStarts.size()) return {};
    const std::uint32_t start = m_lineStarts[line - 1];
    const std::string_view text = this->text();
    std::uint32_t end =
        line < m_lineStarts.size() ? m_lineStarts[line] - 1 : static_cast<std::uint32_t>(text.size());
    return text.substr(start, end - start);
}

FileId SourceManager::add(std::string name, std::string path, std::string text) {
    m_totalBytes += text.size();
    m_files.push_back(std::make_unique<SourceFile>(std::move(name), std::move(path), std::move(text)));
    return static_cast<FileId>(m_files.size() - 1);
}

FileId SourceManager::add(std::string name, std::string path, MappedText mapped) {
    m_totalBytes += mapped.text().size();
    m_files.push_back(std::make_unique<SourceFile>(std::move(name), std::move(path), std::move(mapped)));
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

std::optional<MappedText> MappedText::mapPlain(int fd, std::size_t size) {
    void* data = size > 0 ? ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0) : MAP_FAILED;
    if (data == MAP_FAILED) return std::nullopt;
    MappedText mapped(static_cast<char*>(data), size);
    const std::string_view text = mapped.text();
    if (text.substr(0, 3) == "\xEF\xBB\xBF") return std::nullopt;
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = std::min(text.size(), start + Chunk);
        for (int back = 0;
             back < 3 && end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80; ++back)
            --end; // a chunk ends between characters
        const std::string_view part = text.substr(start, end - start);
        if (!isValidUtf8(part) || part.find_first_of(std::string_view("\r\0", 2)) != std::string_view::npos)
            return std::nullopt;
        mapped.giveBack(start, end);
        start = end;
    }
    return mapped;
}

MappedText::MappedText(MappedText&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0)) {}

MappedText::~MappedText() {
    if (m_data) ::munmap(m_data, m_size);
}

void MappedText::giveBack(std::size_t begin, std::size_t end) const {
    static const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    // The page holding begin goes too (all before begin is done); the one holding end stays unless
    // end is the end of the file.
    const std::size_t first = begin / page * page;
    const std::size_t last = end >= m_size ? (m_size + page - 1) / page * page : end / page * page;
    if (last > first) ::madvise(m_data + first, last - first, MADV_DONTNEED);
}

} // namespace morrowlen::mof
