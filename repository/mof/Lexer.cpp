#include "repository/mof/Lexer.h"

#include "repository/mof/Limits.h"

#include <array>
#include <cstdint>

namespace morrowlen::mof {

namespace {
// Byte classes, one table look-up in the loops that run over most of the text.
enum : std::uint8_t { Space = 1, IdentifierStart = 2, IdentifierChar = 4 };
constexpr std::array<std::uint8_t, 256> Classes = [] {
    std::array<std::uint8_t, 256> table{};
    for (unsigned char c : {' ', '\t', '\n', '\f', '\v'})
        table[c] = Space;
    for (int c = 0; c < 256; ++c) {
        // Bytes from 0x80 up are letters beyond ASCII, as UTF-8.
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c >= 0x80)
            table[c] = IdentifierStart | IdentifierChar;
        if (c >= '0' && c <= '9') table[c] = IdentifierChar;
    }
    return table;
}();
bool isSpace(char c) {
    return Classes[static_cast<unsigned char>(c)] & Space;
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isHexDigit(char c) {
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
} // namespace

bool isIdentifierStart(char c) {
    return Classes[static_cast<unsigned char>(c)] & IdentifierStart;
}

bool isIdentifierChar(char c) {
    return Classes[static_cast<unsigned char>(c)] & IdentifierChar;
}

Lexer::Lexer(const SourceFile& file, FileId id, Diagnostics& diagnostics)
    : m_text(file.text()), m_file(id), m_diagnostics(diagnostics) {}

void Lexer::error(std::uint32_t offset, std::uint32_t length, std::string message) {
    m_diagnostics.error(Phase::Syntax, {m_file, offset}, length, std::move(message));
}

bool Lexer::skipTrivia() {
    for (;;) {
        while (m_pos < m_text.size() && isSpace(m_text[m_pos]))
            ++m_pos;
        const char c = peek();
        if (c == '/' && peek(1) == '/') {
            const std::size_t end = m_text.find('\n', m_pos);
            m_pos = end == std::string_view::npos ? m_text.size() : end;
        } else if (c == '/' && peek(1) == '*') {
            const std::size_t end = m_text.find("*/", m_pos + 2);
            if (end == std::string_view::npos) {
                error(static_cast<std::uint32_t>(m_pos), 2, "unterminated comment");
                m_pos = m_text.size();
                return false;
            }
            m_pos = end + 2;
        } else {
            return true;
        }
    }
}

Token Lexer::next() {
    skipTrivia();
    const auto start = static_cast<std::uint32_t>(m_pos);
    if (m_pos >= m_text.size()) return {TokenKind::EndOfFile, start, 0};
    const char c = m_text[m_pos];

    if (isIdentifierStart(c)) {
        while (isIdentifierChar(peek()))
            ++m_pos;
        Token token = make(TokenKind::Identifier, start);
        if (token.length > limits::MaxIdentifierLength) {
            error(start, 1,
                  "identifier longer than " + std::to_string(limits::MaxIdentifierLength) + " characters");
            token.kind = TokenKind::Invalid;
        } else if (const auto keyword = keywordKind(text(token))) {
            token.kind = *keyword;
        }
        return token;
    }
    if (isDigit(c) || ((c == '-' || c == '+') && (isDigit(peek(1)) || peek(1) == '.')) ||
        (c == '.' && isDigit(peek(1))))
        return lexNumber(start);

    ++m_pos;
    switch (c) {
    case '{':
        return make(TokenKind::LeftBrace, start);
    case '}':
        return make(TokenKind::RightBrace, start);
    case '[':
        return make(TokenKind::LeftBracket, start);
    case ']':
        return make(TokenKind::RightBracket, start);
    case '(':
        return make(TokenKind::LeftParen, start);
    case ')':
        return make(TokenKind::RightParen, start);
    case ';':
        return make(TokenKind::Semicolon, start);
    case ',':
        return make(TokenKind::Comma, start);
    case ':':
        return make(TokenKind::Colon, start);
    case '=':
        return make(TokenKind::Equals, start);
    case '#':
        return make(TokenKind::Hash, start);
    case '"':
        return lexQuoted(start, '"');
    case '\'':
        return lexQuoted(start, '\'');
    case '$':
        if (isIdentifierStart(peek())) {
            while (isIdentifierChar(peek()))
                ++m_pos;
            return make(TokenKind::Alias, start);
        }
        error(start, 1, "'$' must be followed by an alias name");
        return make(TokenKind::Invalid, start);
    default:
        break;
    }
    std::string shown = (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                            ? "\\x" + std::to_string(static_cast<unsigned char>(c))
                            : std::string(1, c);
    error(start, 1, "unexpected character '" + shown + "'");
    return make(TokenKind::Invalid, start);
}

Token Lexer::lexNumber(std::uint32_t start) {
    if (peek() == '-' || peek() == '+') ++m_pos;
    TokenKind kind = TokenKind::Integer;
    if (peek() == '0' && (peek(1) == 'x' || peek(1) == 'X')) {
        m_pos += 2;
        while (isHexDigit(peek()))
            ++m_pos;
    } else {
        bool binaryDigits = true;
        while (isDigit(peek()))
            binaryDigits &= peek() <= '1', ++m_pos;
        if (peek() == '.' && isDigit(peek(1))) {
            kind = TokenKind::Real;
            ++m_pos;
            while (isDigit(peek()))
                ++m_pos;
        }
        if ((peek() == 'e' || peek() == 'E') &&
            (isDigit(peek(1)) || ((peek(1) == '+' || peek(1) == '-') && isDigit(peek(2))))) {
            kind = TokenKind::Real;
            m_pos += 2;
            while (isDigit(peek()))
                ++m_pos;
        } else if (kind == TokenKind::Integer && binaryDigits && (peek() == 'b' || peek() == 'B') &&
                   !isIdentifierChar(peek(1))) {
            ++m_pos;
        }
    }
    if (isIdentifierChar(peek()) || peek() == '.') {
        while (isIdentifierChar(peek()) || peek() == '.')
            ++m_pos;
        error(start, static_cast<std::uint32_t>(m_pos - start),
              "malformed number '" + std::string(m_text.substr(start, m_pos - start)) + "'");
        return make(TokenKind::Invalid, start);
    }
    return make(kind, start);
}

Token Lexer::lexQuoted(std::uint32_t start, char quote) {
    // Escapes are checked when the parser decodes the literal; here only the end is found.
    bool spansLines = false;
    // Most literals hold neither an escape nor a line end: the next quote then ends them.
    if (const std::size_t close = m_text.find(quote, m_pos); close != std::string_view::npos) {
        const std::string_view body = m_text.substr(m_pos, close - m_pos);
        if (body.find('\\') == std::string_view::npos && body.find('\n') == std::string_view::npos)
            m_pos = close;
    }
    for (;;) {
        const char c = peek();
        if (c == quote) {
            ++m_pos;
            break;
        }
        if (m_pos >= m_text.size() || (c == '\n' && quote == '\'')) {
            error(start, 1, quote == '"' ? "unterminated string" : "unterminated character literal");
            return make(TokenKind::Invalid, start);
        }
        if (c == '\n') spansLines = true;
        m_pos += (c == '\\' && m_pos + 1 < m_text.size()) ? 2 : 1;
    }
    if (spansLines)
        // The platform compiler takes the line end into the string; usually a quote is missing.
        m_diagnostics.warning({m_file, start}, 1, "string continues onto the next line");
    if (m_pos - start > limits::MaxStringLength) {
        error(start, 1, "string longer than " + std::to_string(limits::MaxStringLength) + " bytes");
        return make(TokenKind::Invalid, start);
    }
    return make(quote == '"' ? TokenKind::String : TokenKind::Char, start);
}

} // namespace morrowlen::mof
