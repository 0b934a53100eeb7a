#pragma once
#include <array>
#include <string>
#include <string_view>

namespace morrowlen::examples {

struct ExamplePack {
    std::string_view menuItem; // object name of the menu command
    std::string_view caption;
    std::string_view path; // path on the example server; its letter case matters
};

inline constexpr std::array<ExamplePack, 3> ExamplePacks = {{
    {"mnunoscript", "NoScript Example", "/examplemps/noscript/Korvane.2008.BIOS.xml"},
    {"mnujscript", "JScript Example", "/examplemps/Jscript/Korvane.2008.BIOS.xml"},
    {"mnuvbscript", "VBScript Example", "/examplemps/VBscript/Korvane.2008.BIOS.xml"},
}};

// The example server ("host" or "host:port"), chosen when the program is built.
std::string_view exampleServer();

// "http://" + server + path.
std::string examplePackAddress(const ExamplePack& pack, std::string_view server = exampleServer());

} // namespace morrowlen::examples
