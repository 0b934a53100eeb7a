#pragma once
// What the tools share in reading their command lines with CLI11.
#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <vector>

namespace morrowlen::tools {

// The first "--flag=VALUE" among args that gives a flag of app a value (other than "true", which
// CLI11 takes), reported by CLI11 as an override; the tools have always called it an unknown option.
inline std::optional<std::string> flagGivenAValue(const CLI::App& app, const std::vector<std::string>& args) {
    for (const std::string& arg : args) {
        const std::size_t eq = arg.find('=');
        if (arg.rfind("--", 0) != 0 || eq == std::string::npos || arg.substr(eq + 1) == "true") continue;
        const CLI::Option* option = app.get_option_no_throw(arg.substr(0, eq));
        if (option && option->get_expected_max() == 0) return arg;
    }
    return std::nullopt;
}

} // namespace morrowlen::tools
