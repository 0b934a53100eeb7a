#include "repository/mof/Diagnostics.h"

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

std::string Diagnostics::format(const Diagnostic& d) const {
    static constexpr const char* severityText[] = {"error", "warning", "note"};
    std::string out;
    const bool placed = d.location.file != NoFile && d.location.file < m_sources->size();
    if (!placed) {
        out += "morrowlen-mofcomp: ";
        out += severityText[static_cast<int>(d.severity)];
        out += ": " + d.message + "\n";
        return out;
    }
    const SourceFile& file = m_sources->file(d.location.file);
    const LineColumn pos = file.position(d.location.offset);
    out += file.name() + ":" + std::to_string(pos.line) + ":" + std::to_string(pos.column) + ": ";
    out += severityText[static_cast<int>(d.severity)];
    out += ": " + d.message + "\n";

    const std::string_view line = file.lineText(pos.line);
    out.append(line);
    out += '\n';
    // The caret line repeats the tabs of the source line so the caret lands under the column.
    std::uint32_t column = 1;
    std::size_t i = 0;
    for (; i < line.size() && column < pos.column; ++i) {
        const auto c = static_cast<unsigned char>(line[i]);
        if ((c & 0xC0) == 0x80) continue;
        out += c == '\t' ? '\t' : ' ';
        ++column;
    }
    out += '^';
    std::uint32_t remaining = d.length > 1 ? d.length - 1 : 0;
    for (std::size_t k = i; remaining > 0 && k < line.size(); ++k) {
        if ((static_cast<unsigned char>(line[k]) & 0xC0) == 0x80) continue;
        if (k == i) continue; // the caret stands for the first character
        out += '~';
        --remaining;
    }
    out += '\n';
    return out;
}

std::string Diagnostics::formatAll() const {
    std::string out;
    for (const Diagnostic& d : m_list)
        out += format(d);
    if (limitReached())
        out +=
            "morrowlen-mofcomp: error: too many errors; stopped after " + std::to_string(m_maxErrors) + "\n";
    return out;
}

} // namespace morrowlen::mof
