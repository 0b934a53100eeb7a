#pragma once
// Writes JSON built with nlohmann-json in the compact layout the tools' JSON has always had (scripts
// and golden files rely on it): a container on one line, ", " and ": " between items, except the
// lists named by the layout, which hold one element per line.
#include <nlohmann/json_fwd.hpp>

#include <set>
#include <string>

namespace morrowlen::tools {

struct JsonLayout {
    // Arrays under these keys: one element per line, indented two spaces beyond the line the key is
    // on, the closing bracket on a line of its own.
    std::set<std::string, std::less<>> lists;
    // In an object on one line, these members start a line of their own (aligned after the brace),
    // and so does the member after them.
    std::set<std::string, std::less<>> ownLine;
    // The outermost object with one member per line.
    bool outerMembersOnLines = false;
};

// Ends with a newline. Text that is not UTF-8 is written with U+FFFD in its place.
std::string dumpJson(const nlohmann::ordered_json& json, const JsonLayout& layout);

} // namespace morrowlen::tools
