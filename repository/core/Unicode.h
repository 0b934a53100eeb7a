#pragma once
// UTF-8 and Windows-1252, shared by the MOF reader (files in either) and the page writer (pages
// in Windows-1252).
#include <optional>
#include <string>
#include <string_view>

namespace morrowlen::repo {

// Decodes the UTF-8 sequence at text[pos] and moves pos past it. A malformed, overlong or
// truncated sequence, or a surrogate, gives nullopt and leaves pos where it was.
std::optional<char32_t> decodeUtf8(std::string_view text, std::size_t& pos);

// Appends the UTF-8 encoding of a code point (U+0000..U+10FFFF).
void appendUtf8(std::string& out, char32_t codePoint);

// The character of a Windows-1252 byte; the five bytes the code page leaves undefined map to the
// code points of the same number.
char32_t windows1252ToUnicode(unsigned char byte);

// The Windows-1252 byte of a character, or nullopt when the code page does not hold it.
std::optional<unsigned char> unicodeToWindows1252(char32_t codePoint);

// Text safe to print on a terminal: control characters (C0, DEL, C1) and bytes that are not UTF-8
// become "\xNN" or "\u{NNNN}", so that text from a file cannot move the cursor, forge lines or
// send escape sequences. Characters listed in keep (such as "\n\t") pass unchanged.
std::string escapeControls(std::string_view text, std::string_view keep = {});

} // namespace morrowlen::repo
