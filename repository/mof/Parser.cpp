#include "repository/mof/Parser.h"

#include "repository/mof/Limits.h"

#include <charconv>
#include <cstring>

namespace morrowlen::mof {

using ast::ValueNode;

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::optional<ast::Flavor::Kind> flavorKind(TokenKind kind) {
    using F = ast::Flavor::Kind;
    switch (kind) {
    case TokenKind::EnableOverride:
        return F::EnableOverride;
    case TokenKind::DisableOverride:
        return F::DisableOverride;
    case TokenKind::ToSubclass:
        return F::ToSubclass;
    case TokenKind::NotToSubclass:
        return F::NotToSubclass;
    case TokenKind::Restricted:
        return F::Restricted;
    case TokenKind::ToInstance:
        return F::ToInstance;
    case TokenKind::NotToInstance:
        return F::NotToInstance;
    case TokenKind::Amended:
        return F::Amended;
    case TokenKind::Translatable:
        return F::Translatable;
    default:
        return std::nullopt;
    }
}

bool isIntrinsicType(TokenKind kind) {
    switch (kind) {
    case TokenKind::Boolean:
    case TokenKind::Char16:
    case TokenKind::DateTime:
    case TokenKind::Object:
    case TokenKind::Real32:
    case TokenKind::Real64:
    case TokenKind::SInt8:
    case TokenKind::SInt16:
    case TokenKind::SInt32:
    case TokenKind::SInt64:
    case TokenKind::StringType:
    case TokenKind::UInt8:
    case TokenKind::UInt16:
    case TokenKind::UInt32:
    case TokenKind::UInt64:
        return true;
    default:
        return false;
    }
}

bool isScopeKeyword(TokenKind kind) {
    switch (kind) {
    case TokenKind::Any:
    case TokenKind::Association:
    case TokenKind::Class:
    case TokenKind::Indication:
    case TokenKind::Method:
    case TokenKind::Parameter:
    case TokenKind::Property:
    case TokenKind::Qualifier:
    case TokenKind::Reference:
    case TokenKind::Schema:
    case TokenKind::Instance:
        return true;
    default:
        return false;
    }
}

} // namespace

bool decodeEscapes(std::string_view inner, std::string& out, Diagnostics& diagnostics, Location at,
                   bool warnUnknown) {
    const auto problem = [&](std::size_t offset, std::uint32_t length, std::string message, bool fatal) {
        const Location where{at.file, at.offset + static_cast<std::uint32_t>(offset)};
        if (fatal)
            diagnostics.error(Phase::Syntax, where, length, std::move(message));
        else if (warnUnknown)
            diagnostics.warning(where, length, std::move(message));
    };
    out.reserve(out.size() + inner.size());
    for (std::size_t i = 0; i < inner.size(); ++i) {
        const char c = inner[i];
        if (c != '\\') {
            // Plain text goes over up to the next escape at once: most literals hold none.
            const std::size_t end = std::min(inner.find('\\', i), inner.size());
            out.append(inner.substr(i, end - i));
            i = end - 1;
            continue;
        }
        if (i + 1 >= inner.size()) {
            problem(i, 1, "backslash at the end of a literal", true);
            return false;
        }
        const char e = inner[++i];
        switch (e) {
        case 'b':
            out.push_back('\b');
            break;
        case 't':
            out.push_back('\t');
            break;
        case 'n':
            out.push_back('\n');
            break;
        case 'f':
            out.push_back('\f');
            break;
        case 'r':
            out.push_back('\r');
            break;
        case '"':
            out.push_back('"');
            break;
        case '\'':
            out.push_back('\'');
            break;
        case '\\':
            out.push_back('\\');
            break;
        case 'x':
        case 'X': {
            std::uint32_t cp = 0;
            std::size_t digits = 0;
            while (digits < 4 && i + 1 < inner.size() && hexValue(inner[i + 1]) >= 0) {
                cp = cp * 16 + static_cast<std::uint32_t>(hexValue(inner[++i]));
                ++digits;
            }
            if (digits == 0) {
                problem(i - 1, 2, "'\\x' without hexadecimal digits is kept as written", false);
                out.push_back('\\');
                out.push_back(e);
                break;
            }
            if (cp >= 0xD800 && cp <= 0xDFFF) {
                problem(i - digits - 1, static_cast<std::uint32_t>(digits + 2),
                        "'\\x' escape names a surrogate, which is not a character", true);
                return false;
            }
            appendUtf8(out, cp);
            break;
        }
        default:
            // The platform compiler keeps unknown escapes, and include paths rely on it.
            problem(i - 1, 2, std::string("unknown escape sequence '\\") + e + "' is kept as written", false);
            out.push_back('\\');
            out.push_back(e);
            break;
        }
    }
    return true;
}

Parser::Parser(const SourceFile& file, FileId id, Diagnostics& diagnostics)
    : m_source(file), m_file(id), m_diagnostics(diagnostics), m_lexer(file, id, diagnostics) {
    m_token = m_lexer.next();
}

void Parser::advance() {
    if (m_token.kind == TokenKind::LeftBrace)
        ++m_depth;
    else if (m_token.kind == TokenKind::RightBrace)
        --m_depth;
    m_previous = m_token;
    if (m_hasNext) {
        m_token = m_next;
        m_hasNext = false;
    } else {
        m_token = m_lexer.next();
    }
}

const Token& Parser::peekNext() {
    if (!m_hasNext) {
        m_next = m_lexer.next();
        m_hasNext = true;
    }
    return m_next;
}

bool Parser::matchName() const {
    return m_token.kind == TokenKind::Identifier || isKeyword(m_token.kind);
}

bool Parser::consumeIf(TokenKind kind) {
    if (!match(kind)) return false;
    advance();
    return true;
}

ast::Name Parser::nameOf(const Token& token) const {
    return {m_lexer.text(token), {m_file, token.offset}};
}

std::string Parser::describe(const Token& token) const {
    switch (token.kind) {
    case TokenKind::EndOfFile:
        return "end of file";
    case TokenKind::Identifier:
        return "identifier '" + std::string(m_lexer.text(token)) + "'";
    case TokenKind::String:
    case TokenKind::Integer:
    case TokenKind::Real:
    case TokenKind::Char:
    case TokenKind::Alias: {
        std::string_view text = m_lexer.text(token);
        std::string shown(text.substr(0, 40));
        if (text.size() > 40) shown += "...";
        return std::string(tokenKindName(token.kind)) + " " + shown;
    }
    default:
        if (isKeyword(token.kind)) return "'" + std::string(m_lexer.text(token)) + "'";
        return std::string(tokenKindName(token.kind));
    }
}

void Parser::errorAt(const Token& token, std::string message) {
    if (token.kind == TokenKind::Invalid) return; // the lexer has said what is wrong
    m_diagnostics.error(Phase::Syntax, {m_file, token.offset}, std::max<std::uint32_t>(token.length, 1),
                        std::move(message));
}

void Parser::expected(std::string_view what, bool afterPrevious) {
    if (m_token.kind == TokenKind::Invalid) return;
    std::string message = "expected " + std::string(what) + ", found " + describe(m_token);
    // A missing ';' or ')' belongs at the end of what precedes it, which may be lines earlier.
    if (afterPrevious && m_previous.length > 0) {
        m_diagnostics.error(Phase::Syntax, {m_file, m_previous.offset + m_previous.length}, 1,
                            std::move(message));
        return;
    }
    errorAt(m_token, std::move(message));
}

bool Parser::consume(TokenKind kind, std::string_view context) {
    if (consumeIf(kind)) return true;
    const bool closing = kind == TokenKind::Semicolon || kind == TokenKind::RightParen ||
                         kind == TokenKind::RightBracket || kind == TokenKind::Comma;
    std::string what(tokenKindName(kind));
    if (!context.empty()) what += " " + std::string(context);
    expected(what, closing);
    return false;
}

bool Parser::consumeName(ast::Name& out, std::string_view what) {
    if (!matchName()) {
        expected(what, false);
        return false;
    }
    out = nameOf(m_token);
    advance();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Declarations

ast::File Parser::parseFile() {
    ast::File file;
    file.id = m_file;
    file.declarations.reserve(m_source.text().size() / 2048 + 4);
    while (std::optional<ast::Declaration> declaration = nextDeclaration())
        file.declarations.push_back(std::move(*declaration));
    return file;
}

std::optional<ast::Declaration> Parser::nextDeclaration() {
    while (m_parsed.empty() && !match(TokenKind::EndOfFile) && !m_diagnostics.limitReached()) {
        const std::uint32_t start = m_token.offset;
        m_depth = 0;
        if (!parseDeclaration(m_parsed)) synchronizeDeclaration(start);
    }
    if (m_parsed.empty()) return std::nullopt;
    std::optional<ast::Declaration> out(std::move(m_parsed.front()));
    m_parsed.erase(m_parsed.begin());
    return out;
}

bool Parser::parseDeclaration(std::vector<ast::Declaration>& out) {
    if (match(TokenKind::Hash)) {
        ast::PragmaNode pragma;
        if (!parsePragma(pragma)) return false;
        out.emplace_back(std::move(pragma));
        return true;
    }
    if (match(TokenKind::Qualifier)) {
        ast::QualifierDeclNode decl;
        if (!parseQualifierDecl(decl)) return false;
        out.emplace_back(std::move(decl));
        return true;
    }
    std::vector<ast::QualifierNode> qualifiers;
    if (match(TokenKind::LeftBracket) && !parseQualifierList(qualifiers)) return false;
    if (match(TokenKind::Class)) {
        ast::ClassNode cls;
        cls.qualifiers = std::move(qualifiers);
        const bool ok = parseClass(cls);
        // A class cut short is kept too, so that its subclasses find it.
        if (!cls.name.text.empty()) out.emplace_back(std::move(cls));
        return ok;
    }
    if (match(TokenKind::Instance)) {
        ast::InstanceNode instance;
        instance.qualifiers = std::move(qualifiers);
        const bool ok = parseInstance(instance);
        if (!instance.className.text.empty()) out.emplace_back(std::move(instance));
        return ok;
    }
    expected(qualifiers.empty() ? "'class', 'instance', 'qualifier' or '#pragma'"
                                : "'class' or 'instance' after the qualifier list",
             false);
    return false;
}

bool Parser::parsePragma(ast::PragmaNode& out) {
    out.location = here();
    advance(); // '#'
    if (!match(TokenKind::Pragma)) {
        expected("'pragma' after '#'", false);
        return false;
    }
    advance();
    if (!consumeName(out.name, "pragma name")) return false;
    if (!consumeIf(TokenKind::LeftParen)) return true; // #pragma autorecover
    if (consumeIf(TokenKind::RightParen)) return true;
    for (;;) {
        ValueNode arg;
        if (matchName() && !match(TokenKind::Null) && !match(TokenKind::True) && !match(TokenKind::False)) {
            arg.kind = ValueNode::Kind::String; // bare words such as NOFAIL
            arg.location = here();
            arg.length = m_token.length;
            arg.text = std::string(m_lexer.text(m_token));
            advance();
        } else {
            m_warnEscapes = false;
            const bool ok = parseValue(arg, false);
            m_warnEscapes = true;
            if (!ok) return false;
        }
        out.arguments.push_back(std::move(arg));
        if (consumeIf(TokenKind::Comma)) continue;
        return consume(TokenKind::RightParen, "to close the pragma");
    }
}

bool Parser::parseQualifierList(std::vector<ast::QualifierNode>& out) {
    advance(); // '['
    for (;;) {
        if (out.size() >= limits::MaxQualifiersPerElement) {
            errorAt(m_token, "more than " + std::to_string(limits::MaxQualifiersPerElement) +
                                 " qualifiers on one element");
            return false;
        }
        ast::QualifierNode& q = out.emplace_back();
        if (!parseQualifier(q)) return false;
        if (consumeIf(TokenKind::Comma)) continue;
        return consume(TokenKind::RightBracket, "to close the qualifier list");
    }
}

bool Parser::parseQualifier(ast::QualifierNode& out) {
    if (!consumeName(out.name, "qualifier name")) return false;
    if (consumeIf(TokenKind::LeftParen)) {
        out.value.emplace();
        out.valueInParens = true;
        if (!parseValue(*out.value, false)) return false;
        if (!consume(TokenKind::RightParen, "after the qualifier value")) return false;
    } else if (match(TokenKind::LeftBrace)) {
        out.value.emplace();
        if (!parseArrayInitializer(*out.value)) return false;
    }
    if (consumeIf(TokenKind::Colon)) return parseFlavorKeywords(out.flavors);
    return true;
}

bool Parser::parseFlavorKeywords(std::vector<ast::Flavor>& out) {
    while (const auto kind = flavorKind(m_token.kind)) {
        out.push_back({*kind, here()});
        advance();
    }
    if (out.empty()) {
        expected("a flavor (ToSubclass, Restricted, Amended, ...) after ':'", false);
        return false;
    }
    return true;
}

bool Parser::parseQualifierDecl(ast::QualifierDeclNode& out) {
    out.location = here();
    advance(); // 'qualifier'
    if (!consumeName(out.name, "qualifier name")) return false;
    if (!consume(TokenKind::Colon, "after the qualifier name")) return false;
    if (flavorKind(m_token.kind)) {
        // The platform compiler's form that only sets default flavors for the rest of the file.
        if (!parseFlavorKeywords(out.flavors)) return false;
        return consume(TokenKind::Semicolon, "after the qualifier declaration");
    }
    out.type.emplace();
    if (!parseType(*out.type, false)) return false;
    if (out.type->kind != ast::TypeNode::Kind::Intrinsic) {
        errorAt(m_previous, "a qualifier's type must be an intrinsic type, not a class");
        return false;
    }
    if (match(TokenKind::LeftBracket) && !parseArraySuffix(out.array, out.arraySize)) return false;
    if (consumeIf(TokenKind::Equals)) {
        out.defaultValue.emplace();
        if (!parseValue(*out.defaultValue, true)) return false;
    }
    bool haveScope = false;
    while (consumeIf(TokenKind::Comma)) {
        if (match(TokenKind::Scope) && !haveScope) {
            advance();
            if (!parseScopeList(out.scopes)) return false;
            haveScope = true;
        } else if (match(TokenKind::Flavor) && haveScope && out.flavors.empty()) {
            advance();
            if (!parseFlavorList(out.flavors)) return false;
        } else {
            expected(haveScope ? "'Flavor(...)'" : "'Scope(...)'", false);
            return false;
        }
    }
    if (!haveScope) {
        if (match(TokenKind::Semicolon)) {
            errorAt(m_token, "a qualifier declaration needs a Scope(...)");
            advance();
            return true; // the declaration ends here; nothing to skip
        }
        expected("',' and Scope(...)", true);
        return false;
    }
    return consume(TokenKind::Semicolon, "after the qualifier declaration");
}

bool Parser::parseScopeList(std::vector<ast::Name>& out) {
    if (!consume(TokenKind::LeftParen, "after 'Scope'")) return false;
    for (;;) {
        if (!isScopeKeyword(m_token.kind)) {
            expected("a scope (class, association, indication, property, reference, method, "
                     "parameter, qualifier, schema or any)",
                     false);
            return false;
        }
        out.push_back(nameOf(m_token));
        advance();
        if (consumeIf(TokenKind::Comma)) continue;
        return consume(TokenKind::RightParen, "to close the scope list");
    }
}

bool Parser::parseFlavorList(std::vector<ast::Flavor>& out) {
    if (!consume(TokenKind::LeftParen, "after 'Flavor'")) return false;
    for (;;) {
        const auto kind = flavorKind(m_token.kind);
        if (!kind) {
            expected("a flavor (EnableOverride, DisableOverride, ToSubclass, Restricted, "
                     "Translatable, ...)",
                     false);
            return false;
        }
        out.push_back({*kind, here()});
        advance();
        if (consumeIf(TokenKind::Comma)) continue;
        return consume(TokenKind::RightParen, "to close the flavor list");
    }
}

// ---------------------------------------------------------------------------------------------
// Classes

bool Parser::parseClass(ast::ClassNode& out) {
    out.location = here();
    advance(); // 'class'
    if (!consumeName(out.name, "class name")) return false;
    if (consumeIf(TokenKind::As)) {
        if (!match(TokenKind::Alias)) {
            expected("an alias ($name)", false);
            return false;
        }
        out.alias = nameOf(m_token);
        advance();
    }
    if (consumeIf(TokenKind::Colon)) {
        out.superclass.emplace();
        if (!consumeName(*out.superclass, "superclass name")) return false;
    }
    if (!consume(TokenKind::LeftBrace, "to open the class body")) return false;
    const int bodyDepth = m_depth;
    while (!match(TokenKind::RightBrace) && !match(TokenKind::EndOfFile)) {
        if (m_diagnostics.limitReached()) return false;
        if (match(TokenKind::Hash) || startsDeclaration()) {
            expected("'}' to close the class body", true); // the next declaration has begun
            return false;
        }
        if (out.features.size() >= limits::MaxFeaturesPerClass) {
            errorAt(m_token, "more than " + std::to_string(limits::MaxFeaturesPerClass) +
                                 " properties and methods in one class");
            return false;
        }
        ast::FeatureNode feature;
        if (parseFeature(feature)) {
            out.features.push_back(std::move(feature));
            continue;
        }
        const Sync sync = synchronizeMember(bodyDepth);
        if (sync == Sync::Abandon) return false;
        if (sync == Sync::EndOfBody) break;
    }
    if (!consume(TokenKind::RightBrace, "to close the class body")) return false;
    // Broken members were reported and skipped; the class itself ended properly.
    return consume(TokenKind::Semicolon, "after the class body");
}

bool Parser::parseType(ast::TypeNode& out, bool allowReference) {
    if (!matchName()) {
        expected("a type", false);
        return false;
    }
    out.name = nameOf(m_token);
    out.kind =
        isIntrinsicType(m_token.kind) ? ast::TypeNode::Kind::Intrinsic : ast::TypeNode::Kind::ClassName;
    advance();
    if (match(TokenKind::Ref)) {
        if (!allowReference || out.kind == ast::TypeNode::Kind::Intrinsic) {
            errorAt(m_token, out.kind == ast::TypeNode::Kind::Intrinsic
                                 ? "'ref' must follow a class name, not an intrinsic type"
                                 : "a reference is not allowed here");
            return false;
        }
        out.kind = ast::TypeNode::Kind::Reference;
        advance();
    }
    return true;
}

bool Parser::parseArraySuffix(ast::ArrayKind& kind, std::int64_t& size) {
    advance(); // '['
    if (consumeIf(TokenKind::RightBracket)) {
        kind = ast::ArrayKind::Unbounded;
        return true;
    }
    if (!match(TokenKind::Integer)) {
        expected("an array size or ']'", false);
        return false;
    }
    ValueNode n;
    if (!parseNumber(n)) return false;
    if (n.negative || n.magnitude == 0 ||
        n.magnitude > static_cast<std::uint64_t>(limits::MaxFixedArraySize)) {
        errorAt(m_previous, "array size must be between 1 and " + std::to_string(limits::MaxFixedArraySize));
        return false;
    }
    kind = ast::ArrayKind::Fixed;
    size = static_cast<std::int64_t>(n.magnitude);
    return consume(TokenKind::RightBracket, "to close the array size");
}

bool Parser::parseFeature(ast::FeatureNode& out) {
    if (match(TokenKind::LeftBracket) && !parseQualifierList(out.qualifiers)) return false;
    if (!parseType(out.type, true)) return false;
    if (!consumeName(out.name, out.type.kind == ast::TypeNode::Kind::Reference ? "reference name"
                                                                               : "property or method name"))
        return false;
    if (consumeIf(TokenKind::LeftParen)) {
        out.kind = ast::FeatureNode::Kind::Method;
        if (out.type.kind == ast::TypeNode::Kind::Reference) {
            errorAt(m_previous, "a method cannot return a reference");
            return false;
        }
        if (!match(TokenKind::RightParen)) {
            for (;;) {
                if (out.parameters.size() >= limits::MaxParameters) {
                    errorAt(m_token, "more than " + std::to_string(limits::MaxParameters) + " parameters");
                    return false;
                }
                if (!parseParameter(out.parameters.emplace_back())) return false;
                if (!consumeIf(TokenKind::Comma)) break;
            }
        }
        if (!consume(TokenKind::RightParen, "to close the parameter list")) return false;
        return consume(TokenKind::Semicolon, "after the method declaration");
    }
    if (match(TokenKind::LeftBracket) && !parseArraySuffix(out.array, out.arraySize)) return false;
    if (consumeIf(TokenKind::Equals)) {
        out.defaultValue.emplace();
        if (!parseValue(*out.defaultValue, true)) return false;
    }
    return consume(TokenKind::Semicolon, "after the property declaration");
}

bool Parser::parseParameter(ast::ParameterNode& out) {
    if (match(TokenKind::LeftBracket) && !parseQualifierList(out.qualifiers)) return false;
    if (!parseType(out.type, true)) return false;
    if (!consumeName(out.name, "parameter name")) return false;
    if (match(TokenKind::LeftBracket) && !parseArraySuffix(out.array, out.arraySize)) return false;
    if (consumeIf(TokenKind::Equals)) {
        out.defaultValue.emplace();
        if (!parseValue(*out.defaultValue, true)) return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// Instances

bool Parser::parseInstance(ast::InstanceNode& out) {
    out.location = here();
    advance(); // 'instance'
    if (!consume(TokenKind::Of, "after 'instance'")) return false;
    if (!consumeName(out.className, "class name")) return false;
    if (consumeIf(TokenKind::As)) {
        if (!match(TokenKind::Alias)) {
            expected("an alias ($name)", false);
            return false;
        }
        out.alias = nameOf(m_token);
        advance();
    }
    if (!consume(TokenKind::LeftBrace, "to open the instance body")) return false;
    const int bodyDepth = m_depth;
    while (!match(TokenKind::RightBrace) && !match(TokenKind::EndOfFile)) {
        if (m_diagnostics.limitReached()) return false;
        if (out.properties.size() >= limits::MaxFeaturesPerClass) {
            errorAt(m_token, "too many property values in one instance");
            return false;
        }
        ast::PropertyValueNode value;
        if (parsePropertyValue(value)) {
            out.properties.push_back(std::move(value));
            continue;
        }
        const Sync sync = synchronizeMember(bodyDepth);
        if (sync == Sync::Abandon) return false;
        if (sync == Sync::EndOfBody) break;
    }
    if (!consume(TokenKind::RightBrace, "to close the instance body")) return false;
    return consume(TokenKind::Semicolon, "after the instance body");
}

bool Parser::parsePropertyValue(ast::PropertyValueNode& out) {
    if (match(TokenKind::LeftBracket) && !parseQualifierList(out.qualifiers)) return false;
    if (!consumeName(out.name, "property name")) return false;
    if (!out.qualifiers.empty() && consumeIf(TokenKind::Semicolon)) {
        out.hasValue = false;
        return true;
    }
    if (!consume(TokenKind::Equals, "after the property name")) return false;
    if (!parseValue(out.value, true)) return false;
    return consume(TokenKind::Semicolon, "after the property value");
}

// ---------------------------------------------------------------------------------------------
// Values

bool Parser::parseValue(ValueNode& out, bool allowArray) {
    out.location = here();
    out.length = m_token.length;
    switch (m_token.kind) {
    case TokenKind::LeftBrace:
        if (!allowArray) {
            errorAt(m_token, "an array is not allowed here");
            return false;
        }
        return parseArrayInitializer(out);
    case TokenKind::String:
        return parseStrings(out);
    case TokenKind::Integer:
    case TokenKind::Real:
        return parseNumber(out);
    case TokenKind::Char:
        return parseChar(out);
    case TokenKind::True:
    case TokenKind::False:
        out.kind = ValueNode::Kind::Boolean;
        out.boolean = match(TokenKind::True);
        advance();
        return true;
    case TokenKind::Null:
        out.kind = ValueNode::Kind::Null;
        advance();
        return true;
    case TokenKind::Alias:
        out.kind = ValueNode::Kind::Alias;
        out.text = std::string(m_lexer.text(m_token).substr(1));
        advance();
        return true;
    default:
        expected("a value", false);
        return false;
    }
}

bool Parser::parseArrayInitializer(ValueNode& out) {
    out.kind = ValueNode::Kind::Array;
    out.location = here();
    out.length = 1;
    advance(); // '{'
    if (consumeIf(TokenKind::RightBrace)) return true;
    for (;;) {
        if (out.items.size() >= limits::MaxArrayElements) {
            errorAt(m_token, "more than " + std::to_string(limits::MaxArrayElements) + " array elements");
            return false;
        }
        if (!parseValue(out.items.emplace_back(), false)) return false;
        if (consumeIf(TokenKind::Comma)) continue;
        return consume(TokenKind::RightBrace, "to close the array");
    }
}

bool Parser::parseStrings(ValueNode& out) {
    out.kind = ValueNode::Kind::String;
    while (match(TokenKind::String)) {
        const std::string_view text = m_lexer.text(m_token);
        if (!decodeEscapes(text.substr(1, text.size() - 2), out.text, m_diagnostics,
                           {m_file, m_token.offset + 1}, m_warnEscapes))
            return false;
        if (out.text.size() > limits::MaxStringLength) {
            errorAt(m_token,
                    "joined string longer than " + std::to_string(limits::MaxStringLength) + " bytes");
            return false;
        }
        advance();
    }
    return true;
}

bool Parser::parseChar(ValueNode& out) {
    out.kind = ValueNode::Kind::Char;
    const std::string_view text = m_lexer.text(m_token);
    std::string decoded;
    if (!decodeEscapes(text.substr(1, text.size() - 2), decoded, m_diagnostics, {m_file, m_token.offset + 1},
                       true))
        return false;
    // Exactly one character of the Basic Multilingual Plane, which is what char16 holds.
    std::uint32_t cp = 0;
    std::size_t n = 0;
    const auto b0 = decoded.empty() ? 0u : static_cast<unsigned char>(decoded[0]);
    if (b0 < 0x80)
        cp = b0, n = 1;
    else if ((b0 & 0xE0) == 0xC0)
        cp = b0 & 0x1F, n = 2;
    else if ((b0 & 0xF0) == 0xE0)
        cp = b0 & 0x0F, n = 3;
    else
        n = 4;
    if (decoded.empty() || decoded.size() != n || n == 4) {
        errorAt(m_token, decoded.empty() ? "empty character literal"
                                         : "a character literal must hold exactly one UCS-2 character");
        return false;
    }
    for (std::size_t k = 1; k < n; ++k)
        cp = (cp << 6) | (static_cast<unsigned char>(decoded[k]) & 0x3F);
    out.magnitude = cp;
    advance();
    return true;
}

bool Parser::parseNumber(ValueNode& out) {
    std::string_view text = m_lexer.text(m_token);
    const Token token = m_token;
    if (token.kind == TokenKind::Real) {
        out.kind = ValueNode::Kind::Real;
        if (!text.empty() && text.front() == '+') text.remove_prefix(1);
        const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), out.real);
        if (ec != std::errc() || ptr != text.data() + text.size()) {
            errorAt(token, "real number out of range");
            return false;
        }
        advance();
        return true;
    }
    out.kind = ValueNode::Kind::Integer;
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        out.negative = text.front() == '-';
        text.remove_prefix(1);
    }
    int base = 10;
    if (text.size() > 1 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    } else if (text.size() > 1 && (text.back() == 'b' || text.back() == 'B')) {
        base = 2;
        text.remove_suffix(1);
    } else if (text.size() > 1 && text[0] == '0') {
        base = 8;
        text.remove_prefix(1);
    } else if (!text.empty() && (text.back() == 'b' || text.back() == 'B')) {
        base = 2; // "1b", "0b"
        text.remove_suffix(1);
    }
    if (text.empty()) {
        errorAt(token, "hexadecimal constant without digits");
        return false;
    }
    std::uint64_t value = 0;
    for (const char c : text) {
        const int digit = hexValue(c);
        if (digit < 0 || digit >= base) {
            errorAt(token, base == 8 ? "invalid digit '" + std::string(1, c) +
                                           "' in octal constant (a leading 0 means octal)"
                                     : "invalid digit '" + std::string(1, c) + "' in constant");
            return false;
        }
        if (value > (UINT64_MAX - static_cast<std::uint64_t>(digit)) / static_cast<std::uint64_t>(base)) {
            errorAt(token, "integer constant does not fit in 64 bits");
            return false;
        }
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    }
    out.magnitude = value;
    out.base = static_cast<std::uint8_t>(base);
    if (value == 0) out.negative = false;
    advance();
    return true;
}

// ---------------------------------------------------------------------------------------------
// Recovery

bool Parser::startsDeclaration() const {
    if (match(TokenKind::Hash) || match(TokenKind::EndOfFile)) return true;
    if (!match(TokenKind::Class) && !match(TokenKind::Instance) && !match(TokenKind::Qualifier)) return false;
    // Those keywords can be names too; they start a declaration only after ';', '}' or ']'.
    return m_previous.kind == TokenKind::Semicolon || m_previous.kind == TokenKind::RightBrace ||
           m_previous.kind == TokenKind::RightBracket;
}

void Parser::synchronizeDeclaration(std::uint32_t declarationStart) {
    if (m_token.offset == declarationStart && !match(TokenKind::EndOfFile)) advance();
    int braces = m_depth;
    while (!match(TokenKind::EndOfFile)) {
        if (match(TokenKind::Hash) || startsDeclaration()) return;
        // At the top level "class X" or "instance of" starts over even after stray tokens.
        const TokenKind next =
            (match(TokenKind::Class) || match(TokenKind::Qualifier) || match(TokenKind::Instance))
                ? peekNext().kind
                : TokenKind::EndOfFile;
        if (((match(TokenKind::Class) || match(TokenKind::Qualifier)) &&
             (next == TokenKind::Identifier || (isKeyword(next) && next != TokenKind::Of))) ||
            (match(TokenKind::Instance) && next == TokenKind::Of))
            return;
        if (match(TokenKind::LeftBrace))
            ++braces;
        else if (match(TokenKind::RightBrace))
            --braces;
        else if (match(TokenKind::Semicolon) && braces <= 0) {
            advance();
            return;
        }
        advance();
    }
}

Parser::Sync Parser::synchronizeMember(int bodyDepth) {
    int braces = m_depth - bodyDepth; // more than 0 when the error came inside an array
    for (;;) {
        if (match(TokenKind::EndOfFile) || match(TokenKind::Hash)) return Sync::Abandon;
        if ((match(TokenKind::Class) || match(TokenKind::Instance) || match(TokenKind::Qualifier)) &&
            startsDeclaration())
            return Sync::Abandon;
        if (match(TokenKind::LeftBrace)) {
            ++braces;
        } else if (match(TokenKind::RightBrace)) {
            if (braces == 0) {
                // "};" closes the body; a lone '}' is a stray one and is skipped.
                if (peekNext().kind == TokenKind::Semicolon) return Sync::EndOfBody;
                advance();
                continue;
            }
            --braces;
        } else if (match(TokenKind::Semicolon) && braces <= 0) {
            advance();
            return Sync::NextMember;
        }
        advance();
    }
}

} // namespace morrowlen::mof
