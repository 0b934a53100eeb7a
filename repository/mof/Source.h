#pragma once
#include "repository/core/Unicode.h"
// Source files of one compile, decoded to UTF-8 with line ends normalised to "\n". Every syntax
// tree node and diagnostic refers to text by (file, offset) into these buffers, which live as
// long as the SourceManager.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace morrowlen::mof {

using FileId = std::uint32_t;
inline constexpr FileId NoFile = 0xFFFFFFFFu;

// A place in the sources: file and byte offset into its decoded text.
struct Location {
    FileId file = NoFile;
    std::uint32_t offset = 0;
};

struct LineColumn {
    std::uint32_t line = 0;   // 1-based
    std::uint32_t column = 0; // 1-based, in characters (a tab counts as one)
};

// A large regular file that needs no decoding, mapped read-only: the compile reads it in place,
// and the pages it is done with are given back (read again from the file should a message need
// them), so such a file costs memory only for the part being read.
class MappedText {
  public:
    // The open regular file fd of that size when it is UTF-8 without a byte-order mark, CR or NUL;
    // otherwise nullopt, and the file is read as any other.
    static std::optional<MappedText> mapPlain(int fd, std::size_t size);
    MappedText(MappedText&& other) noexcept;
    MappedText& operator=(MappedText&& other) noexcept {
        std::swap(m_data, other.m_data);
        std::swap(m_size, other.m_size);
        return *this;
    }
    ~MappedText();

    std::string_view text() const { return {m_data, m_size}; }
    // Gives back the whole pages between the offsets.
    void giveBack(std::size_t begin, std::size_t end) const;

  private:
    MappedText(char* data, std::size_t size) : m_data(data), m_size(size) {}
    char* m_data;
    std::size_t m_size;
};

class SourceFile {
  public:
    SourceFile(std::string name, std::string path, std::string text);
    SourceFile(std::string name, std::string path, MappedText mapped);

    const std::string& name() const { return m_name; } // as diagnostics show it
    const std::string& path() const { return m_path; } // on disk; empty for text given in memory
    std::string_view text() const {
        load();
        return m_mapped ? m_mapped->text() : std::string_view(m_text);
    }
    // Frees the text of a regular file (never of a pipe) once the compile is done with it; should
    // a diagnostic show one of its lines later, the file is read again.
    void release();
    // The compile is done with the text before offset: a mapped file gives those pages back.
    void doneBefore(std::uint32_t offset);

    LineColumn position(std::uint32_t offset) const;
    // The text of a line without its line end.
    std::string_view lineText(std::uint32_t line) const;
    std::uint32_t lineCount() const;

  private:
    void indexLines() const;
    void load() const;

    std::string m_name;
    std::string m_path;
    mutable std::string m_text;
    mutable bool m_released = false;
    std::optional<MappedText> m_mapped;              // instead of m_text
    std::size_t m_givenBack = 0;                     // of m_mapped, by doneBefore
    mutable std::vector<std::uint32_t> m_lineStarts; // built on first use
};

// Decodes the bytes of a MOF file: UTF-8 with or without a byte-order mark, UTF-16 LE or BE with a
// byte-order mark. Bytes that are not UTF-8 are read as Windows-1252, as old tools wrote them; then
// fallback (when given) tells where in the decoded text the first byte that is not UTF-8 lies, so
// that the guess can be reported. CRLF and lone CR become LF. Returns nullopt and sets error for
// undecodable input. UTF-8 input keeps the buffer it came in.
struct Windows1252Fallback {
    std::uint32_t offset; // in the decoded text
    unsigned char byte;
};
std::optional<std::string> decodeSource(std::string bytes, std::string& error,
                                        std::optional<Windows1252Fallback>* fallback = nullptr);

class SourceManager {
  public:
    FileId add(std::string name, std::string path, std::string text);
    FileId add(std::string name, std::string path, MappedText mapped);
    const SourceFile& file(FileId id) const { return *m_files.at(id); }
    void release(FileId id) { m_files.at(id)->release(); }
    void doneBefore(FileId id, std::uint32_t offset) { m_files.at(id)->doneBefore(offset); }
    std::size_t size() const { return m_files.size(); }
    std::size_t totalBytes() const { return m_totalBytes; }

  private:
    std::vector<std::unique_ptr<SourceFile>> m_files;
    std::size_t m_totalBytes = 0;
};

using repo::appendUtf8;

} // namespace morrowlen::mof
