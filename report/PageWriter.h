#pragma once
// Writing the page file: each line in Windows-1252 ended by CR LF, through an OutputFile, which
// replaces the page only when complete.
#include "report/OutputFile.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace morrowlen::report {

class LineWriter {
  public:
    virtual ~LineWriter() = default;
    // Writes the text and a line end.
    virtual void writeLine(std::string_view text) = 0;
};

// UTF-8 text as Windows-1252 bytes; a character that code page cannot hold becomes an HTML
// numeric character reference ("&#8364;" is not needed for the euro sign, which 1252 has).
std::string toWindows1252(std::string_view utf8);

// "&", "<" and ">" as "&amp;", "&lt;" and "&gt;", for text taken from the repository.
std::string escapeHtml(std::string_view text);

// The page's lines into an OutputFile; commit() puts the page in place. Destroying it uncommitted
// leaves the page as it was.
class PageFile : public LineWriter {
  public:
    explicit PageFile(std::filesystem::path page) : m_out(std::move(page)) {}

    void writeLine(std::string_view text) override;
    void commit() { m_out.commit(); }
    const std::filesystem::path& page() const { return m_out.path(); }

  private:
    OutputFile m_out;
};

// Throws Error with a file error number (70 permission denied, 76 path not found, 61 disk full,
// 75 other access errors) and a description naming the file.
[[noreturn]] void throwFileError(int err, std::string_view what, const std::filesystem::path& path);

} // namespace morrowlen::report
