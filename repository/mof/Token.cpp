#include "repository/mof/Token.h"

#include <array>

namespace morrowlen::mof {

namespace {

struct KindInfo {
    std::string_view name;
    bool keyword;
};

constexpr std::array<KindInfo, static_cast<std::size_t>(TokenKind::Count)> kindInfo = {{
#define MORROWLEN_TOKEN_PUNCT(kind, text) {text, false},
#define MORROWLEN_TOKEN_KEYWORD(kind, text) {text, true},
    MORROWLEN_MOF_TOKENS(MORROWLEN_TOKEN_PUNCT, MORROWLEN_TOKEN_KEYWORD)
#undef MORROWLEN_TOKEN_PUNCT
#undef MORROWLEN_TOKEN_KEYWORD
}};

constexpr char lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

} // namespace

std::string_view tokenKindName(TokenKind kind) {
    const auto i = static_cast<std::size_t>(kind);
    return i < kindInfo.size() ? kindInfo[i].name : std::string_view("token");
}

bool isKeyword(TokenKind kind) {
    const auto i = static_cast<std::size_t>(kind);
    return i < kindInfo.size() && kindInfo[i].keyword;
}

std::optional<TokenKind> keywordKind(std::string_view text) {
    // Keywords are 2..15 letters; a 16-bucket table by length keeps the scan to a handful.
    static const auto buckets = [] {
        std::array<std::array<std::uint8_t, 16>, 16> table{};
        std::array<std::uint8_t, 16> used{};
        for (std::size_t i = 0; i < kindInfo.size(); ++i) {
            if (!kindInfo[i].keyword) continue;
            const std::size_t len = kindInfo[i].name.size();
            table[len][used[len]++] = static_cast<std::uint8_t>(i);
        }
        for (std::size_t len = 0; len < 16; ++len)
            table[len][used[len]] = 0xFF;
        return table;
    }();
    if (text.size() < 2 || text.size() >= 16) return std::nullopt;
    for (const std::uint8_t index : buckets[text.size()]) {
        if (index == 0xFF) break;
        const std::string_view name = kindInfo[index].name;
        bool same = true;
        for (std::size_t k = 0; k < text.size() && same; ++k)
            same = lower(text[k]) == name[k];
        if (same) return static_cast<TokenKind>(index);
    }
    return std::nullopt;
}

} // namespace morrowlen::mof
