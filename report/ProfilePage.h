#pragma once
// The class profile page of a report window.
#include "navigation/WmiOperations.h"
#include "report/PageWriter.h"

#include <array>
#include <filesystem>
#include <string>

namespace morrowlen::report {

inline constexpr const char* PageFileName = "Profile.htm";

class Browser {
  public:
    virtual ~Browser() = default;
    // Starts loading the address (an http URL or a plain file path) and returns at once.
    virtual void navigate(const std::string& address) = 0;
};

// WebBrowser1 .. WebBrowser5 of a report window.
using ReportBrowsers = std::array<Browser*, 5>;

// Writes the page of one class into `out`: the fixed lines, the stylesheet and one row per property.
// Failures before the first row's maximum-length cell are thrown; from there on a failing line is
// left out whole and the page goes on.
void writeProfile(LineWriter& out, const nav::ClassObject& cls, const std::string& className);

// Starts the four searches for Module2::strClassName, reads the class from Module2::strCurrentNamespace,
// writes the page to <pageFolder>/Profile.htm (replacing the previous page only when the new one is
// complete) and sends WebBrowser1 to it. A class that cannot be read, or a page that cannot be
// written or put in place, throws and leaves the previous page as it was.
void DoWebPage(const nav::Locator& locator, const ReportBrowsers& browsers,
               const std::filesystem::path& pageFolder);

// The folder the page is written to: the program's folder when a file can be created there,
// otherwise the fallback (created when missing).
std::filesystem::path choosePageFolder(const std::filesystem::path& programFolder,
                                       const std::filesystem::path& fallbackFolder);

} // namespace morrowlen::report
