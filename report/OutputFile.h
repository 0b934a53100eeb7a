#pragma once
// Writing a file the user named without surprises. A missing or regular file is replaced whole
// and at once (a temporary file beside it, created exclusively, synced, then renamed over it),
// keeping its permission bits; a symbolic link is written through, its target replaced the same
// way; a character device or FIFO (/dev/stdout, a pipe) is written to directly. A folder or any
// other kind of file is refused. Failures throw Error with the file error numbers of
// throwFileError; an uncommitted file leaves the target as it was and no temporary file behind.
#include <filesystem>
#include <string>
#include <string_view>

namespace morrowlen::report {

class OutputFile {
  public:
    // synced: the new text and the rename reach the disk before commit returns. A writer of
    // thousands of small files that can all be written again (a documentation site) may skip it;
    // each file is still replaced whole.
    explicit OutputFile(std::filesystem::path path, bool synced = true);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(std::string_view bytes);
    // Writes what is buffered and puts the file in place.
    void commit();
    const std::filesystem::path& path() const { return m_path; }
    // True when writing straight into a device or pipe.
    bool isDirect() const { return m_temp.empty(); }

  private:
    void flush();
    std::filesystem::path m_path;   // as named
    std::filesystem::path m_target; // after symbolic links
    std::filesystem::path m_temp;
    std::string m_buffer;
    int m_fd = -1;
    bool m_synced = true;
    bool m_committed = false;
};

} // namespace morrowlen::report
