#pragma once
// A namespace as a static documentation site: index.html with the classes by naming family and one
// page per class in the class profile page's look. Pages are written in Windows-1252 with repository
// text escaped as the profile page escapes it, each to a temporary file renamed into place.
#include "report/PageWriter.h"
#include "repository/model/ClassSource.h"

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace morrowlen::tools {

// Marks a folder as written by `doc` and lists the files it wrote (removed when a later run no
// longer writes them).
inline constexpr const char* DocStampName = ".morrowlen-doc";

struct DocOptions {
    bool amended = false;   // merge the amended qualifiers (descriptions of the ms_409 child)
    bool recursive = false; // the namespaces below too, each in its own folder
    bool force = false;     // write into a non-empty folder that doc did not write
    // Called after each class page with the pages written and the pages planned.
    std::function<void(std::size_t done, std::size_t total)> progress;
};

struct DocResult {
    std::size_t namespaces = 0;
    std::size_t classPages = 0;
};

// Writes the site of the namespace `ns` into dir (created when missing). Throws morrowlen::Error
// when the namespace cannot be read, a file cannot be written, or dir holds files of its own and
// force is off (nothing is written then).
DocResult writeDocSite(const repo::ClassSource& source, std::string_view ns, const std::filesystem::path& dir,
                       const DocOptions& options);

// The file name stem of a name: ASCII letters, digits, '_' and '-' kept, every other byte as "~xx"
// (lower-case hex), so no stem holds a path separator or "..", and names that are equal without
// regard to case (as class names are compared) give stems equal without regard to case. Long names
// are shortened with a hash.
std::string safeStem(std::string_view name);

// Shared by the site and the diff report: the page's head (the profile page's stylesheet plus the
// site's own rules) and the opening of its body, then the end of the page.
// With a stylesheet address the rules are linked (the site's style.css), otherwise written inline.
void writeSitePageStart(report::LineWriter& out, std::string_view title, std::string_view stylesheet = {});
// The site's style.css: the same rules without the style element.
void writeSiteStylesheet(report::LineWriter& out);
void writeSitePageEnd(report::LineWriter& out);
// A value as a page shows it: strings as they are, arrays as {a, b}, null as nothing.
std::string displayValue(const repo::Value& value);

// A page collected in memory as the page file would hold it (Windows-1252, CR LF).
class PageBytes : public report::LineWriter {
  public:
    void writeLine(std::string_view text) override;
    std::string bytes;
};

// Writes bytes to path as every output file is written (report::OutputFile): replaced whole and at once.
void writeFileAtomically(const std::filesystem::path& path, const std::string& bytes, bool synced = true);

// A progress line on standard error when it is a terminal, shown once the work has taken more
// than a second.
class TerminalProgress {
  public:
    explicit TerminalProgress(std::string what);
    void update(std::size_t done, std::size_t total);
    void clear();

  private:
    std::string m_what;
    bool m_enabled;
    bool m_shown = false;
    std::chrono::steady_clock::time_point m_start, m_last;
};

} // namespace morrowlen::tools
