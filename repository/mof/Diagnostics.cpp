#include "repository/mof/Diagnostics.h"

#include "repository/core/Unicode.h"

#include <algorithm>

namespace morrowlen::mof {

Diagnostics::Diagnostics(const SourceManager& sources, std::size_t maxErrors)
    : m_sources(&sources), m_maxErrors(maxErrors == 0 ? 1 : maxErrors) {}

void Diagnostics::add(Diagnostic d) {
    if (d.severity == Severity::Error) {
        m_phases |= 1u << static_cast<unsigned>(d.phase);
        if (m_errors++ >= m_maxErrors) {
            ++m_dropped;
            return;
        }
    } else if (limitReached()) {
        return; // warnings and notes after the cap add nothing useful
    } else if (d.severity == Severity::Warning) {
        ++m_warnings;
    }
    m_list.push_back(std::move(d));
}

void Diagnostics::error(Phase phase, Location at, std::uint32_t length, std::string message) {
    add({Severity::Error, phase, at, length, std::move(message)});
}

void Diagnostics::warning(Location at, std::uint32_t length, std::string message) {
    add({Severity::Warning, Phase::Semantic, at, length, std::move(message)});
}

void Diagnostics::note(Location at, std::uint32_t length, std::string message) {
    add({Severity::Note, Phase::Semantic, at, length, std::move(message)});
}

bool Diagnostics::hasErrorIn(Phase phase) const {
    return (m_phases & (1u << static_cast<unsigned>(phase))) != 0;
}

namespace {

constexpr std::uint32_t ShownColumns = 200;

// The source line, at most ShownColumns characters of it around the column, and under it the caret
// (repeating the line's tabs so that it lands under the column) with '~' along the rest of the
// length. Control characters are shown escaped, the caret line padded to match.
void appendSourceLine(std::string& out, std::string_view line, std::uint32_t column, std::uint32_t length) {
    // Character positions (1-based) of the window's first and last character.
    const std::uint32_t first = column > ShownColumns / 2 ? column - ShownColumns / 2 : 1;
    const std::uint32_t last = first + ShownColumns - 1;
    std::string echo, caret;
    if (first > 1) {
        echo += "...";
        caret += "   ";
    }
    std::uint32_t at = 1;
    std::size_t i = 0;
    for (; i < line.size() && at <= last; ++at) {
        const std::size_t start = i;
        if (!repo::decodeUtf8(line, i)) i = start + 1;
        if (at < first) continue;
        const std::string_view ch = line.substr(start, i - start);
        const std::string shown = ch == "\t" ? std::string(ch) : repo::escapeControls(ch);
        echo += shown;
        const std::size_t width = shown.size() > ch.size() ? shown.size() : 1;
        if (at < column)
            caret += ch == "\t" ? std::string("\t") : std::string(width, ' ');
        else if (at == column)
            caret += '^' + std::string(width - 1, '~');
        else if (at < column + std::max<std::uint32_t>(length, 1))
            caret += std::string(width, '~');
    }
    if (i < line.size()) echo += "...";
    if (column >= at) caret += '^';
    out += echo + "\n" + caret + "\n";
}

} // namespace

std::string Diagnostics::formatLine(const Diagnostic& d) const {
    static constexpr const char* severityText[] = {"error", "warning", "note"};
    std::string out;
    if (d.location.file != NoFile && d.location.file < m_sources->size()) {
        const SourceFile& file = m_sources->file(d.location.file);
        const LineColumn pos = file.position(d.location.offset);
        out += repo::escapeControls(file.name()) + ":" + std::to_string(pos.line) + ":" +
               std::to_string(pos.column) + ": ";
    }
    out += severityText[static_cast<int>(d.severity)];
    return out + ": " + repo::escapeControls(d.message);
}

std::string Diagnostics::format(const Diagnostic& d) const {
    const bool placed = d.location.file != NoFile && d.location.file < m_sources->size();
    if (!placed) return "morrowlen-mofcomp: " + formatLine(d) + "\n";
    std::string out = formatLine(d) + "\n";
    const SourceFile& file = m_sources->file(d.location.file);
    const LineColumn pos = file.position(d.location.offset);
    appendSourceLine(out, file.lineText(pos.line), pos.column, d.length);
    return out;
}

std::string Diagnostics::formatAll() const {
    std::string out;
    for (const Diagnostic& d : m_list)
        out += format(d);
    if (limitReached())
        out += "morrowlen-mofcomp: error: too many errors; stopped after " + std::to_string(m_errors) +
               ", of which the first " + std::to_string(m_maxErrors) + " are shown\n";
    return out;
}

} // namespace morrowlen::mof
