#include "report/PageWriter.h"

#include "repository/core/Error.h"
#include "repository/core/Unicode.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace morrowlen::report {

std::string toWindows1252(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size();) {
        // ASCII is the same in both; only the rest needs decoding.
        if (static_cast<unsigned char>(utf8[i]) < 0x80) {
            out.push_back(utf8[i++]);
            continue;
        }
        // A malformed byte is taken as U+FFFD on its own, and the next byte starts afresh.
        char32_t cp = 0xFFFD;
        if (auto decoded = repo::decodeUtf8(utf8, i))
            cp = *decoded;
        else
            ++i;
        if (auto byte = repo::unicodeToWindows1252(cp))
            out.push_back(static_cast<char>(*byte));
        else
            out += "&#" + std::to_string(static_cast<std::uint32_t>(cp)) + ";";
    }
    return out;
}

std::string escapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        default:
            out.push_back(c);
        }
    }
    return out;
}

void throwFileError(int err, std::string_view what, const std::filesystem::path& path) {
    std::uint32_t number = runtime::PathFileAccessError;
    const char* kind = "Path/File access error";
    if (err == EACCES || err == EPERM || err == EROFS) {
        number = runtime::PermissionDenied;
        kind = "Permission denied";
    } else if (err == ENOENT || err == ENOTDIR) {
        number = runtime::PathNotFound;
        kind = "Path not found";
    } else if (err == ENOSPC || err == EDQUOT) {
        number = runtime::DiskFull;
        kind = "Disk full";
    }
    throw Error(number, std::string(kind) + ": " + std::string(what) + " " + path.string() +
                            (err ? std::string(" (") + std::strerror(err) + ")" : std::string()));
}

void PageFile::writeLine(std::string_view text) {
    std::string bytes = toWindows1252(text);
    bytes += "\r\n";
    m_out.write(bytes);
}

} // namespace morrowlen::report
