#include "repository/file/Location.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace morrowlen::repo {

std::string defaultRepositoryPath() {
    if (const char* env = std::getenv("MORROWLEN_REPOSITORY"); env && *env) return env;
    std::string data;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg && xdg[0] == '/') {
        data = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* pw = getpwuid(getuid());
            home = pw ? pw->pw_dir : "/tmp";
        }
        data = std::string(home) + "/.local/share";
    }
    return data + "/morrowlen/repository.sqlite";
}

} // namespace morrowlen::repo
