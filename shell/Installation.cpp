#include "Installation.h"

#include <system_error>

namespace morrowlen::shell {

Installation findInstallation(const std::filesystem::path& programFolder) {
    std::error_code ec;
    const auto data = (programFolder / ".." / "share" / "morrowlen").lexically_normal();
    if (programFolder.empty() || !std::filesystem::is_directory(data, ec)) return {};
    return {true, data};
}

} // namespace morrowlen::shell
