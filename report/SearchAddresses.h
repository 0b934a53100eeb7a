#pragma once
#include <array>
#include <string>
#include <string_view>

namespace morrowlen::report {

// Hosts of the four web searches (http). MSDN search and Live Search share one host.
inline constexpr std::string_view MsdnSearchHost = "www.bing.com";
inline constexpr std::string_view GoogleSearchHost = "www.google.com";
inline constexpr std::string_view LiveSearchHost = MsdnSearchHost;
inline constexpr std::string_view YahooSearchHost = "search.yahoo.com";

// The addresses for WebBrowser2 .. WebBrowser5, with the class name inserted unchanged.
std::array<std::string, 4> searchAddresses(std::string_view className);

} // namespace morrowlen::report
