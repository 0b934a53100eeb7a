#pragma once
// The one sink for every problem found in MOF input, and the formatter that prints them as
// "file:line:col: error: message", the source line and a caret.
#include "repository/mof/Source.h"

#include <cstddef>
#include <string>
#include <vector>

namespace morrowlen::mof {

enum class Severity { Error, Warning, Note };

// Decides the exit status: a syntax error outranks the other kinds.
enum class Phase { Syntax, Semantic, Repository, Input };

struct Diagnostic {
    Severity severity = Severity::Error;
    Phase phase = Phase::Semantic;
    Location location;        // file NoFile for problems without a place in the sources
    std::uint32_t length = 0; // characters to underline; 0 or 1 gives a single caret
    std::string message;
};

class Diagnostics {
  public:
    explicit Diagnostics(const SourceManager& sources, std::size_t maxErrors);

    void error(Phase phase, Location at, std::uint32_t length, std::string message);
    void warning(Location at, std::uint32_t length, std::string message);
    void note(Location at, std::uint32_t length, std::string message);

    std::size_t errorCount() const { return m_errors; }
    std::size_t warningCount() const { return m_warnings; }
    bool hasErrors() const { return m_errors > 0; }
    bool hasErrorIn(Phase phase) const;
    // True once the cap on errors was reached; later errors are counted but not kept.
    bool limitReached() const { return m_errors >= m_maxErrors; }
    const std::vector<Diagnostic>& all() const { return m_list; }

    // "file:line:col: error: message" on one line, without the source line.
    std::string formatLine(const Diagnostic& d) const;
    // The full text of one diagnostic, ending with a newline.
    std::string format(const Diagnostic& d) const;
    // Every diagnostic kept, then a line saying how many were dropped at the cap.
    std::string formatAll() const;

  private:
    void add(Diagnostic d);

    const SourceManager* m_sources;
    std::size_t m_maxErrors;
    std::size_t m_errors = 0;
    std::size_t m_warnings = 0;
    std::size_t m_dropped = 0;
    unsigned m_phases = 0; // bit per Phase with at least one error
    std::vector<Diagnostic> m_list;
};

} // namespace morrowlen::mof
