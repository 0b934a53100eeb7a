#include "PageWriter.h"

#include "repository/Error.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>

namespace morrowlen::report {

namespace {

// Code points of 0x80..0x9F in Windows-1252; 0 where the code page has no character.
constexpr std::array<char32_t, 32> High1252 = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

// Decodes one UTF-8 sequence at s[i]; malformed input yields U+FFFD and consumes one byte.
char32_t decode(std::string_view s, std::size_t& i) {
    auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char c = b(i);
    int len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    if (len == 1) {
        ++i;
        return c;
    }
    if (len == 0 || i + static_cast<std::size_t>(len) > s.size()) {
        ++i;
        return 0xFFFD;
    }
    char32_t cp = c & (0x7F >> len);
    for (int k = 1; k < len; ++k) {
        unsigned char cc = b(i + static_cast<std::size_t>(k));
        if ((cc & 0xC0) != 0x80) {
            ++i;
            return 0xFFFD;
        }
        cp = (cp << 6) | (cc & 0x3F);
    }
    static constexpr char32_t Min[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < Min[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return 0xFFFD;
    }
    i += static_cast<std::size_t>(len);
    return cp;
}

} // namespace

std::string toWindows1252(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp = decode(utf8, i);
        if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
            out.push_back(static_cast<char>(cp));
            continue;
        }
        bool mapped = false;
        for (std::size_t k = 0; k < High1252.size(); ++k) {
            if (High1252[k] == cp) {
                out.push_back(static_cast<char>(0x80 + k));
                mapped = true;
                break;
            }
        }
        if (!mapped) out += "&#" + std::to_string(static_cast<std::uint32_t>(cp)) + ";";
    }
    return out;
}

std::string escapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out.push_back(c);
        }
    }
    return out;
}

void throwFileError(int err, std::string_view what, const std::filesystem::path& path) {
    std::uint32_t number = 75;
    const char* kind = "Path/File access error";
    if (err == EACCES || err == EPERM || err == EROFS) {
        number = 70;
        kind = "Permission denied";
    } else if (err == ENOENT || err == ENOTDIR) {
        number = 76;
        kind = "Path not found";
    } else if (err == ENOSPC || err == EDQUOT) {
        number = 61;
        kind = "Disk full";
    }
    throw Error(number, std::string(kind) + ": " + std::string(what) + " " + path.string() +
                            (err ? std::string(" (") + std::strerror(err) + ")" : std::string()));
}

PageFile::PageFile(std::filesystem::path page) : m_page(std::move(page)) {
    std::random_device rd;
    m_temp = m_page;
    m_temp += "." + std::to_string(rd()) + ".tmp";
    errno = 0;
    m_out.open(m_temp, std::ios::binary | std::ios::trunc);
    if (!m_out) throwFileError(errno, "cannot create the page file", m_temp);
}

PageFile::~PageFile() {
    if (m_committed) return;
    m_out.close();
    std::error_code ec;
    std::filesystem::remove(m_temp, ec);
}

void PageFile::writeLine(std::string_view text) {
    std::string bytes = toWindows1252(text);
    bytes += "\r\n";
    errno = 0;
    m_out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!m_out) throwFileError(errno, "cannot write the page file", m_temp);
}

void PageFile::commit() {
    errno = 0;
    m_out.close();
    if (m_out.fail()) throwFileError(errno, "cannot finish the page file", m_temp);
    if (std::rename(m_temp.c_str(), m_page.c_str()) != 0) throwFileError(errno, "cannot replace the page", m_page);
    m_committed = true;
}

} // namespace morrowlen::report
