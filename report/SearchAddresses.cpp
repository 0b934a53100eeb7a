#include "report/SearchAddresses.h"

namespace morrowlen::report {

std::array<std::string, 4> searchAddresses(std::string_view className) {
    const std::string name(className);
    const std::string http = "http://";
    return {
        http + std::string(MsdnSearchHost) + "/search/results.aspx?qu=" + name +
            "&view=msdn&st=b&c=0&s=1&swc=0",
        http + std::string(GoogleSearchHost) + "/search?hl=en&q=" + name + "&btnG=Google+Search",
        http + std::string(LiveSearchHost) + "/results.aspx?mkt=en-US&setlang=en-US&q=" + name,
        http + std::string(YahooSearchHost) + "/search?p=" + name + "&fr=FP-tab-web-t&toggle=1&ei=UTF-8",
    };
}

} // namespace morrowlen::report
