#pragma once
// Splits one decoded source file into tokens on demand. Tokens are views (offset, length) into the
// file's text; nothing is allocated per token. Problems go to the diagnostics sink; the lexer then
// returns an Invalid token (already reported) and carries on.
#include "repository/mof/Diagnostics.h"
#include "repository/mof/Token.h"

namespace morrowlen::mof {

class Lexer {
  public:
    Lexer(const SourceFile& file, FileId id, Diagnostics& diagnostics);

    Token next();
    std::string_view text(const Token& token) const { return m_text.substr(token.offset, token.length); }
    Location location(const Token& token) const { return {m_file, token.offset}; }

  private:
    char peek(std::size_t ahead = 0) const {
        return m_pos + ahead < m_text.size() ? m_text[m_pos + ahead] : '\0';
    }
    bool skipTrivia(); // false after an unterminated comment was reported
    Token lexNumber(std::uint32_t start);
    Token lexQuoted(std::uint32_t start, char quote);
    Token make(TokenKind kind, std::uint32_t start) const {
        return {kind, start, static_cast<std::uint32_t>(m_pos - start)};
    }
    void error(std::uint32_t offset, std::uint32_t length, std::string message);

    std::string_view m_text;
    FileId m_file;
    Diagnostics& m_diagnostics;
    std::size_t m_pos = 0;
};

// Helpers shared with the parser, which turns token text into values.
bool isIdentifierStart(char c);
bool isIdentifierChar(char c);

} // namespace morrowlen::mof
