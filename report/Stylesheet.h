#pragma once
#include <array>

namespace morrowlen::report {

class LineWriter;

struct StyleRule {
    const char* selector;    // written as its own line, "{" included
    const char* declaration; // one line; every declaration of the rule
};

// The fixed stylesheet of the class profile page: 83 rules, each written as selector line,
// declaration line and "}". The first selector line also opens the style element.
extern const std::array<StyleRule, 83> StyleRules;

void writeStylesheet(LineWriter& out);

} // namespace morrowlen::report
