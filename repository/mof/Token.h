#pragma once
// The one table of MOF token kinds. It generates the enum, the names used in diagnostics and the
// case-insensitive keyword lookup.
#include <cstdint>
#include <optional>
#include <string_view>

namespace morrowlen::mof {

// T(kind, text): punctuation and literal classes; K(kind, text): keywords.
#define MORROWLEN_MOF_TOKENS(T, K)                                                                           \
    T(EndOfFile, "end of file")                                                                              \
    T(Invalid, "invalid character")                                                                          \
    T(Identifier, "identifier")                                                                              \
    T(Alias, "alias")                                                                                        \
    T(Integer, "integer")                                                                                    \
    T(Real, "real number")                                                                                   \
    T(String, "string")                                                                                      \
    T(Char, "character")                                                                                     \
    T(LeftBrace, "'{'")                                                                                      \
    T(RightBrace, "'}'")                                                                                     \
    T(LeftBracket, "'['")                                                                                    \
    T(RightBracket, "']'")                                                                                   \
    T(LeftParen, "'('")                                                                                      \
    T(RightParen, "')'")                                                                                     \
    T(Semicolon, "';'")                                                                                      \
    T(Comma, "','")                                                                                          \
    T(Colon, "':'")                                                                                          \
    T(Equals, "'='")                                                                                         \
    T(Hash, "'#'")                                                                                           \
    K(Any, "any")                                                                                            \
    K(As, "as")                                                                                              \
    K(Association, "association")                                                                            \
    K(Class, "class")                                                                                        \
    K(DisableOverride, "disableoverride")                                                                    \
    K(EnableOverride, "enableoverride")                                                                      \
    K(False, "false")                                                                                        \
    K(Flavor, "flavor")                                                                                      \
    K(Indication, "indication")                                                                              \
    K(Instance, "instance")                                                                                  \
    K(Method, "method")                                                                                      \
    K(Null, "null")                                                                                          \
    K(Of, "of")                                                                                              \
    K(Parameter, "parameter")                                                                                \
    K(Pragma, "pragma")                                                                                      \
    K(Property, "property")                                                                                  \
    K(Qualifier, "qualifier")                                                                                \
    K(Ref, "ref")                                                                                            \
    K(Reference, "reference")                                                                                \
    K(Restricted, "restricted")                                                                              \
    K(Schema, "schema")                                                                                      \
    K(Scope, "scope")                                                                                        \
    K(ToInstance, "toinstance")                                                                              \
    K(ToSubclass, "tosubclass")                                                                              \
    K(NotToInstance, "nottoinstance")                                                                        \
    K(NotToSubclass, "nottosubclass")                                                                        \
    K(Amended, "amended")                                                                                    \
    K(Translatable, "translatable")                                                                          \
    K(True, "true")                                                                                          \
    K(Boolean, "boolean")                                                                                    \
    K(Char16, "char16")                                                                                      \
    K(DateTime, "datetime")                                                                                  \
    K(Object, "object")                                                                                      \
    K(Real32, "real32")                                                                                      \
    K(Real64, "real64")                                                                                      \
    K(SInt8, "sint8")                                                                                        \
    K(SInt16, "sint16")                                                                                      \
    K(SInt32, "sint32")                                                                                      \
    K(SInt64, "sint64")                                                                                      \
    K(StringType, "string")                                                                                  \
    K(UInt8, "uint8")                                                                                        \
    K(UInt16, "uint16")                                                                                      \
    K(UInt32, "uint32")                                                                                      \
    K(UInt64, "uint64")

enum class TokenKind : std::uint8_t {
#define MORROWLEN_TOKEN_ENUM(kind, text) kind,
    MORROWLEN_MOF_TOKENS(MORROWLEN_TOKEN_ENUM, MORROWLEN_TOKEN_ENUM)
#undef MORROWLEN_TOKEN_ENUM
        Count
};

// "identifier", "'{'", "keyword 'class'".
std::string_view tokenKindName(TokenKind kind);
// The keyword spelled by text in any letter case.
std::optional<TokenKind> keywordKind(std::string_view text);
bool isKeyword(TokenKind kind);

struct Token {
    TokenKind kind = TokenKind::EndOfFile;
    std::uint32_t offset = 0; // into the file's text
    std::uint32_t length = 0;
};

} // namespace morrowlen::mof
