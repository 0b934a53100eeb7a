#pragma once
// The program's command line: MOF files to browse in a private repository, or another repository
// file. Without arguments the program browses the user's repository, as it always has.
#include <QStringList>

#include <optional>
#include <string>
#include <vector>

namespace morrowlen::shell {

struct StartOptions {
    std::vector<std::string> mofFiles;     // compiled into a repository in memory when given
    std::optional<std::string> repository; // --repository PATH
    bool defaultSet = true;                // off with --no-default-set
};

// The outcome of reading the command line: options to start with, or text to print and a status
// to end with (help, version, a mistake).
struct CommandLine {
    std::optional<StartOptions> options;
    std::string output; // for standard output
    std::string error;  // for standard error
    int exitStatus = 0;
};

inline constexpr int BadCommandLine = 2;
inline constexpr int CompileFailed = 3;

// arguments as main() has them, the program's name first. Qt's own options (-platform NAME, ...)
// are passed over: the application object takes them.
CommandLine parseCommandLine(const QStringList& arguments);

} // namespace morrowlen::shell
