#pragma once
// Writing the page file: each line in Windows-1252 ended by CR LF, into a temporary file beside
// the page that replaces the page only when complete.
#include <filesystem>
#include <fstream>
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

// Writes into "<page>.<random>.tmp" in the page's folder; commit() closes it and renames it over
// the page. Destroying it uncommitted removes the temporary file and leaves the page as it was.
class PageFile : public LineWriter {
public:
    explicit PageFile(std::filesystem::path page);
    ~PageFile() override;
    PageFile(const PageFile&) = delete;
    PageFile& operator=(const PageFile&) = delete;

    void writeLine(std::string_view text) override;
    void commit();
    const std::filesystem::path& page() const { return m_page; }

private:
    std::filesystem::path m_page;
    std::filesystem::path m_temp;
    std::ofstream m_out;
    bool m_committed = false;
};

// Throws Error with a file error number (70 permission denied, 76 path not found, 61 disk full,
// 75 other access errors) and a description naming the file.
[[noreturn]] void throwFileError(int err, std::string_view what, const std::filesystem::path& path);

} // namespace morrowlen::report
