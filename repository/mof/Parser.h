#pragma once
// Recursive-descent parser for MOF: one parseXxx per production. It never stops at the first
// error: a broken member is skipped to the next ';' of its body, a broken declaration to the next
// declaration, and parsing goes on.
#include "repository/mof/Ast.h"
#include "repository/mof/Lexer.h"

namespace morrowlen::mof {

class Parser {
  public:
    Parser(const SourceFile& file, FileId id, Diagnostics& diagnostics);

    ast::File parseFile();
    // The next declaration, or nullopt at the end of the file: a compile takes the file one
    // declaration at a time, so only one syntax tree is in memory however long the file.
    std::optional<ast::Declaration> nextDeclaration();
    // Where the next declaration starts: the text before it is no longer needed.
    std::uint32_t offset() const { return m_token.offset; }

  private:
    enum class Sync { NextMember, EndOfBody, Abandon };

    // --- token helpers
    void advance();
    const Token& peekNext();
    bool match(TokenKind kind) const { return m_token.kind == kind; }
    bool matchName() const; // an identifier, or a keyword used as a name
    bool consumeIf(TokenKind kind);
    bool consume(TokenKind kind, std::string_view context);
    bool consumeName(ast::Name& out, std::string_view what);
    ast::Name nameOf(const Token& token) const;
    Location here() const { return {m_file, m_token.offset}; }
    std::string describe(const Token& token) const;
    void errorAt(const Token& token, std::string message);
    void expected(std::string_view what, bool afterPrevious);

    // --- productions
    bool parseDeclaration(std::vector<ast::Declaration>& out);
    bool parsePragma(ast::PragmaNode& out);
    bool parseQualifierList(std::vector<ast::QualifierNode>& out);
    bool parseQualifier(ast::QualifierNode& out);
    bool parseFlavorKeywords(std::vector<ast::Flavor>& out);
    bool parseQualifierDecl(ast::QualifierDeclNode& out);
    bool parseScopeList(std::vector<ast::Name>& out);
    bool parseFlavorList(std::vector<ast::Flavor>& out);
    bool parseClass(ast::ClassNode& out);
    bool parseFeature(ast::FeatureNode& out);
    bool parseParameter(ast::ParameterNode& out);
    bool parseType(ast::TypeNode& out, bool allowReference);
    bool parseArraySuffix(ast::ArrayKind& kind, std::int64_t& size);
    bool parseInstance(ast::InstanceNode& out);
    bool parsePropertyValue(ast::PropertyValueNode& out);
    bool parseValue(ast::ValueNode& out, bool allowArray);
    bool parseArrayInitializer(ast::ValueNode& out);
    bool parseStrings(ast::ValueNode& out);
    bool parseNumber(ast::ValueNode& out);
    bool parseChar(ast::ValueNode& out);

    // --- recovery
    void synchronizeDeclaration(std::uint32_t declarationStart);
    Sync synchronizeMember(int bodyDepth);
    bool startsDeclaration() const;

    const SourceFile& m_source;
    FileId m_file;
    Diagnostics& m_diagnostics;
    Lexer m_lexer;
    Token m_token;
    Token m_previous;
    Token m_next; // one token of lookahead, lexed on demand
    bool m_hasNext = false;
    int m_depth = 0;                        // braces open in the current declaration
    bool m_warnEscapes = true;              // off inside pragmas, whose paths hold backslashes
    std::vector<ast::Declaration> m_parsed; // what parseDeclaration made, handed out in order
};

// Decodes the escapes of one literal's inner text (at: where that text starts) into out.
// Unknown escapes are kept as written, with a warning when warnUnknown; false after an error.
bool decodeEscapes(std::string_view inner, std::string& out, Diagnostics& diagnostics, Location at,
                   bool warnUnknown);

} // namespace morrowlen::mof
