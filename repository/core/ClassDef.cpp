#include "repository/core/ClassDef.h"

namespace morrowlen::repo {

namespace {
char lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}
} // namespace

std::string foldCase(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = lower(c);
    return out;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (lower(a[i]) != lower(b[i])) return false;
    return true;
}

const Qualifier* findQualifier(const std::vector<Qualifier>& qualifiers, std::string_view name) {
    for (const auto& q : qualifiers)
        if (equalsNoCase(q.name, name)) return &q;
    return nullptr;
}

Qualifier* findQualifier(std::vector<Qualifier>& qualifiers, std::string_view name) {
    for (auto& q : qualifiers)
        if (equalsNoCase(q.name, name)) return &q;
    return nullptr;
}

} // namespace morrowlen::repo
