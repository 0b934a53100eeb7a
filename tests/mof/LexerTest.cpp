// The lexer and source decoding, table-driven: one row per form the grammar allows or refuses.
#include "repository/mof/Lexer.h"
#include "repository/mof/Parser.h"

#include <gtest/gtest.h>

using namespace morrowlen::mof;

namespace {

struct Lexed {
    std::vector<std::pair<TokenKind, std::string>> tokens;
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
};

Lexed lex(const std::string& text) {
    SourceManager sources;
    Diagnostics diagnostics(sources, 100);
    const FileId id = sources.add("t.mof", "", text);
    Lexer lexer(sources.file(id), id, diagnostics);
    Lexed out;
    for (Token t = lexer.next(); t.kind != TokenKind::EndOfFile; t = lexer.next())
        out.tokens.emplace_back(t.kind, std::string(lexer.text(t)));
    for (const Diagnostic& d : diagnostics.all())
        (d.severity == Severity::Error ? out.errors : out.warnings).push_back(d.message);
    return out;
}

struct TokenCase {
    const char* text;
    TokenKind kind; // of the single token the text must give
};

class SingleToken : public ::testing::TestWithParam<TokenCase> {};

TEST_P(SingleToken, LexesAsOneTokenOfItsKind) {
    const Lexed l = lex(GetParam().text);
    ASSERT_TRUE(l.errors.empty()) << l.errors.front();
    ASSERT_EQ(l.tokens.size(), 1u) << GetParam().text;
    EXPECT_EQ(l.tokens[0].first, GetParam().kind) << GetParam().text;
    EXPECT_EQ(l.tokens[0].second, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, SingleToken,
    ::testing::Values(TokenCase{"0", TokenKind::Integer}, TokenCase{"12345", TokenKind::Integer},
                      TokenCase{"-17", TokenKind::Integer}, TokenCase{"+17", TokenKind::Integer},
                      TokenCase{"0x1F", TokenKind::Integer}, TokenCase{"-0XfF", TokenKind::Integer},
                      TokenCase{"0755", TokenKind::Integer}, TokenCase{"1000001B", TokenKind::Integer},
                      TokenCase{"101b", TokenKind::Integer}, TokenCase{"1.5", TokenKind::Real},
                      TokenCase{"-0.25", TokenKind::Real}, TokenCase{".5", TokenKind::Real},
                      TokenCase{"6.02E23", TokenKind::Real}, TokenCase{"1.0e-10", TokenKind::Real},
                      TokenCase{"\"text\"", TokenKind::String}, TokenCase{"\"a\\\"b\"", TokenKind::String},
                      TokenCase{"'x'", TokenKind::Char}, TokenCase{"'\\n'", TokenKind::Char},
                      TokenCase{"$alias_1", TokenKind::Alias}, TokenCase{"CIM_Thing", TokenKind::Identifier},
                      TokenCase{"_x9", TokenKind::Identifier}, TokenCase{"CLASS", TokenKind::Class},
                      TokenCase{"Class", TokenKind::Class}, TokenCase{"ToSubClass", TokenKind::ToSubclass},
                      TokenCase{"DisableOverride", TokenKind::DisableOverride},
                      TokenCase{"UINT32", TokenKind::UInt32}, TokenCase{"dateTime", TokenKind::DateTime},
                      TokenCase{"REF", TokenKind::Ref}, TokenCase{"NULL", TokenKind::Null},
                      TokenCase{"True", TokenKind::True}, TokenCase{"classes", TokenKind::Identifier},
                      TokenCase{"uint33", TokenKind::Identifier}));

TEST(Lexer, SkipsCommentsAndWhitespaceOfEveryKind) {
    const Lexed l = lex("// line\n\t/* block\n * more */ class\f\v{ // tail");
    ASSERT_EQ(l.tokens.size(), 2u);
    EXPECT_EQ(l.tokens[0].first, TokenKind::Class);
    EXPECT_EQ(l.tokens[1].first, TokenKind::LeftBrace);
    EXPECT_TRUE(l.errors.empty());
}

TEST(Lexer, PunctuationAndHash) {
    const Lexed l = lex("{}[]();,:=#");
    const TokenKind expected[] = {TokenKind::LeftBrace,    TokenKind::RightBrace, TokenKind::LeftBracket,
                                  TokenKind::RightBracket, TokenKind::LeftParen,  TokenKind::RightParen,
                                  TokenKind::Semicolon,    TokenKind::Comma,      TokenKind::Colon,
                                  TokenKind::Equals,       TokenKind::Hash};
    ASSERT_EQ(l.tokens.size(), std::size(expected));
    for (std::size_t i = 0; i < std::size(expected); ++i)
        EXPECT_EQ(l.tokens[i].first, expected[i]) << i;
}

struct BadCase {
    const char* text;
    const char* message; // a fragment of the error
};

class LexError : public ::testing::TestWithParam<BadCase> {};

TEST_P(LexError, IsReportedAndLexingGoesOn) {
    const Lexed l = lex(std::string(GetParam().text) + " ;");
    ASSERT_EQ(l.errors.size(), 1u) << GetParam().text;
    EXPECT_NE(l.errors[0].find(GetParam().message), std::string::npos) << l.errors[0];
    EXPECT_EQ(l.tokens.back().first, TokenKind::Semicolon) << "lexing continues after the error";
}

INSTANTIATE_TEST_SUITE_P(
    Forms, LexError,
    ::testing::Values(BadCase{"'x\n", "unterminated character"}, BadCase{"12abc", "malformed number"},
                      BadCase{"1.2.3", "malformed number"}, BadCase{"@", "unexpected character '@'"},
                      BadCase{"$ x", "alias name"}, BadCase{"\x01", "unexpected character"}));

TEST(Lexer, UnterminatedCommentIsOneErrorAtItsStart) {
    const Lexed l = lex("class /* never closed\n class");
    ASSERT_EQ(l.errors.size(), 1u);
    EXPECT_EQ(l.errors[0], "unterminated comment");
    EXPECT_EQ(l.tokens.size(), 1u);
}

TEST(Lexer, UnterminatedStringRunsToTheEndOfTheFile) {
    const Lexed l = lex("\"open ; class");
    ASSERT_EQ(l.errors.size(), 1u);
    EXPECT_EQ(l.errors[0], "unterminated string");
    EXPECT_EQ(l.tokens.size(), 1u);
}

TEST(Lexer, StringSpanningLinesIsAcceptedWithAWarning) {
    const Lexed l = lex("\"one\ntwo\"");
    ASSERT_EQ(l.tokens.size(), 1u);
    EXPECT_EQ(l.tokens[0].first, TokenKind::String);
    ASSERT_EQ(l.warnings.size(), 1u);
    EXPECT_TRUE(l.errors.empty());
}

TEST(Lexer, IdentifierLengthIsBounded) {
    EXPECT_TRUE(lex(std::string(1024, 'a')).errors.empty());
    const Lexed l = lex(std::string(1025, 'a'));
    ASSERT_EQ(l.errors.size(), 1u);
    EXPECT_NE(l.errors[0].find("longer than"), std::string::npos);
}

struct EscapeCase {
    const char* inner;
    const char* decoded;
    bool warns;
};

class Escapes : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(Escapes, DecodeToUtf8) {
    SourceManager sources;
    Diagnostics diagnostics(sources, 10);
    std::string out;
    ASSERT_TRUE(decodeEscapes(GetParam().inner, out, diagnostics, {}, true));
    EXPECT_EQ(out, GetParam().decoded);
    EXPECT_EQ(diagnostics.warningCount() > 0, GetParam().warns) << GetParam().inner;
}

INSTANTIATE_TEST_SUITE_P(Forms, Escapes,
                         ::testing::Values(EscapeCase{"plain", "plain", false},
                                           EscapeCase{"\\b\\t\\n\\f\\r", "\b\t\n\f\r", false},
                                           EscapeCase{"\\\"\\'\\\\", "\"'\\", false},
                                           EscapeCase{"\\x41", "A", false},
                                           EscapeCase{"\\X00e9", "\xC3\xA9", false},
                                           EscapeCase{"\\x20AC!", "\xE2\x82\xAC!", false},
                                           EscapeCase{"\\x41BCDE",
                                                      "\xE4\x86\xBC"
                                                      "DE",
                                                      false}, // at most four digits
                                           EscapeCase{"\\q", "\\q", true}, EscapeCase{"a\\xz", "a\\xz", true},
                                           EscapeCase{"dir\\sub", "dir\\sub", true}));

TEST(Escapes, SurrogateIsAnError) {
    SourceManager sources;
    Diagnostics diagnostics(sources, 10);
    std::string out;
    EXPECT_FALSE(decodeEscapes("\\xD800", out, diagnostics, {}, true));
    EXPECT_EQ(diagnostics.errorCount(), 1u);
}

// --- decoding of source files

TEST(Decode, Utf8WithAndWithoutByteOrderMark) {
    std::string error;
    EXPECT_EQ(decodeSource("class A {};", error), "class A {};");
    EXPECT_EQ(decodeSource("\xEF\xBB\xBF"
                           "caf\xC3\xA9",
                           error),
              "caf\xC3\xA9");
}

TEST(Decode, Utf16BothByteOrders) {
    std::string error;
    const std::string le("\xFF\xFE"
                         "c\0l\0\xE9\0\x3D\xD8\x00\xDE",
                         12); // "cl", e-acute, U+1F600
    EXPECT_EQ(decodeSource(le, error), "cl\xC3\xA9\xF0\x9F\x98\x80");
    const std::string be("\xFE\xFF\0c\0l\0\xE9", 8);
    EXPECT_EQ(decodeSource(be, error), "cl\xC3\xA9");
}

TEST(Decode, BrokenUtf16IsRefused) {
    std::string error;
    EXPECT_FALSE(decodeSource(std::string("\xFF\xFE"
                                          "a\0b",
                                          5),
                              error))
        << "odd byte count";
    EXPECT_FALSE(decodeSource(std::string("\xFF\xFE\x00\xDC", 4), error)) << "lone low surrogate";
    EXPECT_FALSE(error.empty());
}

TEST(Decode, NotUtf8IsReadAsWindows1252) {
    std::string error;
    EXPECT_EQ(decodeSource("\x93quoted\x94 \xE9", error), "\xE2\x80\x9Cquoted\xE2\x80\x9D \xC3\xA9");
}

TEST(Decode, LineEndsAreNormalised) {
    std::string error;
    EXPECT_EQ(decodeSource("a\r\nb\rc\n", error), "a\nb\nc\n");
}

TEST(Decode, NulWithoutByteOrderMarkIsRefused) {
    std::string error;
    EXPECT_FALSE(decodeSource(std::string("c\0l\0", 4), error));
    EXPECT_NE(error.find("UTF-16"), std::string::npos);
}

TEST(SourceFile, PositionsCountCharactersAndTabsAsOne) {
    SourceFile f("f", "", "ab\n\t\xC3\xA9x\nlast");
    EXPECT_EQ(f.position(0).line, 1u);
    EXPECT_EQ(f.position(4).line, 2u);
    EXPECT_EQ(f.position(4).column, 2u); // after the tab
    EXPECT_EQ(f.position(6).column, 3u); // after the two-byte e-acute
    EXPECT_EQ(f.lineText(3), "last");    // no final newline
    EXPECT_EQ(f.lineCount(), 3u);
}

} // namespace
