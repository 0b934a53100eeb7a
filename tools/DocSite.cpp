#include "tools/DocSite.h"

#include "navigation/ClassCatalogue.h"
#include "report/OutputFile.h"
#include "report/Stylesheet.h"
#include "repository/core/Error.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <exception>
#include <fstream>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>
#include <unistd.h>
#include <unordered_map>

namespace morrowlen::tools {

namespace fs = std::filesystem;
using report::escapeHtml;

namespace {

// Rules the profile page has no need of: lists, nested tables, the filter box.
constexpr const char* SiteRules[] = {
    ".site { MARGIN: 8px }",
    ".navbar A { COLOR: #0d1826; TEXT-DECORATION: underline }",
    ".family { FONT-WEIGHT: bold; FONT-SIZE: 10pt; MARGIN: 12px 0px 4px }",
    "UL.classes { COLUMNS: 22em; MARGIN: 0px; PADDING-LEFT: 20px }",
    "UL.tree { MARGIN: 0px; PADDING-LEFT: 20px }",
    ".flags { FONT-WEIGHT: normal; COLOR: #ffcc66 }",
    ".note { FONT-WEIGHT: normal; COLOR: #cccccc }",
    "TABLE.values { MARGIN-TOP: 4px; BORDER-COLLAPSE: collapse }",
    "TABLE.values TD { BORDER: 1px solid #597fa1; PADDING: 1px 4px; FONT-WEIGHT: normal; FONT-SIZE: 8pt }",
    "#filter { MARGIN: 8px; WIDTH: 20em }",
};

// The index's filter box: hidden until the script runs, so a page without JavaScript shows no
// dead control.
constexpr const char* FilterScript =
    "<SCRIPT>var f=document.getElementById('filter');f.hidden=false;f.oninput=function(){"
    "var t=f.value.toLowerCase();document.querySelectorAll('ul.classes li').forEach(function(li){"
    "li.style.display=li.textContent.toLowerCase().indexOf(t)<0?'none':'';});};</SCRIPT>";

constexpr std::array<const char*, 6> FamilyHeadings = {
    "CIM:", "MSFT:", "Msft:", "Win32:", "NoCategory:", "Other:"};

bool isSystemClass(std::string_view name) {
    return name.size() >= 2 && name[0] == '_' && name[1] == '_';
}

bool lessNoCase(const std::string& a, const std::string& b) {
    return repo::foldCase(a) < repo::foldCase(b);
}

// The file names of one folder: stems made unique without regard to case.
class FileNames {
  public:
    explicit FileNames(std::initializer_list<const char*> reserved) {
        for (const char* r : reserved)
            m_used.insert(r);
    }
    std::string take(std::string_view name) {
        const std::string base = safeStem(name);
        std::string stem = base;
        for (int n = 2; !m_used.insert(repo::foldCase(stem)).second; ++n)
            stem = base + "~~" + std::to_string(n);
        return stem;
    }

  private:
    std::set<std::string> m_used;
};

// Text of a boolean-like qualifier that is on: present and not false.
bool isOn(const repo::ResolvedFeature& f, std::string_view name) {
    const repo::ResolvedQualifier* q = f.qualifier(name);
    if (!q) return false;
    const auto& items = q->value.items();
    return q->value.isNull() || items.empty() || !std::holds_alternative<bool>(items.front()) ||
           std::get<bool>(items.front());
}

std::string qualifierValue(const std::vector<repo::ResolvedQualifier>& qs, std::string_view name) {
    for (const auto& q : qs)
        if (repo::equalsNoCase(q.name, name)) return displayValue(q.value);
    return {};
}

const repo::ResolvedQualifier* findIn(const std::vector<repo::ResolvedQualifier>& qs, std::string_view name) {
    for (const auto& q : qs)
        if (repo::equalsNoCase(q.name, name)) return &q;
    return nullptr;
}

std::vector<std::string> stringItems(const repo::ResolvedQualifier* q) {
    std::vector<std::string> out;
    if (q)
        for (const repo::Scalar& s : q->value.items())
            out.push_back(repo::scalarToText(s));
    return out;
}

struct NamespacePlan {
    std::string path;
    fs::path folder;     // relative to the site's folder
    std::string rootRel; // from the folder back to the site's folder ("", "../", ...)
    bool refused = false;
    std::vector<std::string> classes;
    std::vector<std::pair<std::string, std::string>> children; // name, folder stem (empty: refused)
};

class SiteWriter {
  public:
    SiteWriter(const repo::ClassSource& source, const fs::path& dir, const DocOptions& options)
        : m_source(source), m_dir(dir), m_options(options) {}

    void plan(const std::string& path, const fs::path& folder, const std::string& rootRel) {
        NamespacePlan p{path, folder, rootRel};
        const repo::NamespaceHandle ns = m_source.openNamespace(path);
        p.path = m_source.namespacePath(ns);
        for (std::string& name : m_source.classNames(ns))
            if (!isSystemClass(name)) p.classes.push_back(std::move(name));
        std::sort(p.classes.begin(), p.classes.end(), lessNoCase);
        m_total += p.classes.size();
        const std::size_t index = m_plans.size();
        m_plans.push_back(p);
        if (!m_options.recursive) return;
        FileNames folders({});
        for (const std::string& child : m_source.childNamespaces(ns)) {
            const std::string childPath = p.path + "\\" + child;
            try {
                m_source.openNamespace(childPath);
            } catch (const Error& e) {
                if (e.number() != wbem::AccessDenied) throw;
                m_plans[index].children.emplace_back(child, std::string());
                continue;
            }
            const std::string stem = folders.take(child);
            m_plans[index].children.emplace_back(child, stem);
            plan(childPath, folder / stem, rootRel + "../");
        }
    }

    std::size_t write() {
        std::size_t pages = 0;
        for (const NamespacePlan& p : m_plans)
            pages += writeNamespace(p);
        return pages;
    }

    std::size_t namespaces() const { return m_plans.size(); }
    const std::vector<std::string>& written() const { return m_written; }

  private:
    struct Page {
        std::string file; // stem + ".html"
        repo::ResolvedClass cls;
        std::vector<std::string> subclasses;
    };

    std::size_t writeNamespace(const NamespacePlan& p) {
        fs::create_directories(m_dir / p.folder);
        const repo::NamespaceHandle ns = m_source.openNamespace(p.path);
        const std::int32_t flags = m_options.amended ? repo::UseAmendedQualifiers : 0;
        FileNames names({"index", "style"});
        m_pages.clear();
        m_pages.reserve(p.classes.size());
        for (const std::string& name : p.classes)
            m_pages.emplace(repo::foldCase(name),
                            Page{names.take(name) + ".html", m_source.getClass(ns, name, flags), {}});
        for (const std::string& name : p.classes) {
            const Page& page = m_pages.at(repo::foldCase(name));
            if (auto it = m_pages.find(repo::foldCase(page.cls.superclass)); it != m_pages.end())
                it->second.subclasses.push_back(page.cls.name);
        }
        writePagesInParallel(p);
        for (const std::string& name : p.classes)
            m_written.push_back((p.folder / m_pages.at(repo::foldCase(name)).file).generic_string());
        report::PageFile index(m_dir / p.folder / "index.html");
        writeIndex(index, p);
        index.commit();
        m_written.push_back((p.folder / "index.html").generic_string());
        return p.classes.size();
    }

    // Formatting and writing the pages is most of the work and reads only m_pages, so a second
    // thread shares it; the classes were all read before.
    void writePagesInParallel(const NamespacePlan& p) {
        std::atomic<std::size_t> next{0};
        std::mutex mutex; // guards failure and the progress callback
        std::exception_ptr failure;
        auto work = [&] {
            try {
                for (std::size_t i; (i = next++) < p.classes.size();) {
                    const Page& page = m_pages.at(repo::foldCase(p.classes[i]));
                    PageBytes out;
                    writeClassPage(out, p, page);
                    writeFileAtomically(m_dir / p.folder / page.file, out.bytes, false);
                    const std::lock_guard lock(mutex);
                    ++m_done;
                    if (m_options.progress) m_options.progress(m_done, m_total);
                }
            } catch (...) {
                next = p.classes.size();
                const std::lock_guard lock(mutex);
                if (!failure) failure = std::current_exception();
            }
        };
        if (p.classes.size() > 1 && std::thread::hardware_concurrency() > 1) {
            std::thread helper(work);
            work();
            helper.join();
        } else {
            work();
        }
        if (failure) std::rethrow_exception(failure);
    }

    std::string link(std::string_view className) const {
        auto it = m_pages.find(repo::foldCase(className));
        if (it == m_pages.end()) return escapeHtml(className);
        return "<A href=\"" + it->second.file + "\">" + escapeHtml(it->second.cls.name) + "</A>";
    }

    std::string typeText(repo::CimType type, bool isArray, const std::string& refClass) const {
        std::string text = escapeHtml(repo::cimTypeText(type, ""));
        if (!refClass.empty()) text += ":" + link(refClass);
        return isArray ? text + "[]" : text;
    }

    // The CIMTYPE qualifier's text where there is one (it names embedded objects), with the class
    // of "ref:" and "object:" as a link.
    std::string typeText(const repo::ResolvedFeature& f) const {
        if (f.type == repo::CimType::String) {
            const std::string suffix = f.isArray ? "[]" : "";
            if (const repo::ResolvedQualifier* e = f.qualifier("EmbeddedInstance");
                e && !e->value.isNull() && !e->value.isArray())
                return "object:" + link(repo::scalarToText(e->value.scalarValue())) + suffix;
            if (isOn(f, "EmbeddedObject")) return "object" + suffix;
        }
        const repo::ResolvedQualifier* q = f.qualifier("CIMTYPE");
        if (!q || q->value.isNull() || q->value.isArray()) return typeText(f.type, f.isArray, f.refClass);
        const std::string text = repo::scalarToText(q->value.scalarValue());
        const std::size_t colon = text.find(':');
        std::string shown = colon == std::string::npos
                                ? escapeHtml(text)
                                : escapeHtml(text.substr(0, colon + 1)) + link(text.substr(colon + 1));
        return f.isArray ? shown + "[]" : shown;
    }

    void writeNavigation(report::LineWriter& out, const NamespacePlan& p,
                         const repo::ResolvedClass* cls) const {
        std::string line =
            "<TR><TD class=navbar colSpan=5><A href=\"index.html\">" + escapeHtml(p.path) + "</A>";
        if (!p.rootRel.empty()) line += " &middot; <A href=\"" + p.rootRel + "index.html\">site index</A>";
        if (cls) {
            line += " : ";
            for (auto it = cls->derivation.rbegin(); it != cls->derivation.rend(); ++it)
                line += link(*it) + " &gt; ";
            line += escapeHtml(cls->name);
        }
        out.writeLine(line + "</TD></TR>");
    }

    // The code and meaning of each value, from ValueMap and Values (either may be absent).
    static void writeValueTable(report::LineWriter& out, const repo::ResolvedFeature& f) {
        const std::vector<std::string> map = stringItems(f.qualifier("ValueMap"));
        const std::vector<std::string> values = stringItems(f.qualifier("Values"));
        if (map.empty() && values.empty()) return;
        out.writeLine("<TABLE class=values><TR><TD>Value</TD><TD>Meaning</TD></TR>");
        for (std::size_t i = 0; i < std::max(map.size(), values.size()); ++i) {
            const std::string code = i < map.size() ? map[i] : std::to_string(i);
            const std::string meaning = i < values.size() ? values[i] : std::string();
            out.writeLine("<TR><TD>" + escapeHtml(code) + "</TD><TD>" + escapeHtml(meaning) + "</TD></TR>");
        }
        out.writeLine("</TABLE>");
    }

    static std::string flagsText(const repo::ResolvedFeature& f) {
        std::string flags;
        for (const char* name : {"Key", "Required"})
            if (isOn(f, name)) flags += std::string(flags.empty() ? "" : " ") + name;
        if (const repo::ResolvedQualifier* d = f.qualifier("Deprecated")) {
            flags += flags.empty() ? "Deprecated" : " Deprecated";
            std::string by;
            for (const repo::Scalar& s : d->value.items())
                by += (by.empty() ? "" : ", ") + repo::scalarToText(s);
            if (!by.empty()) flags += ": " + escapeHtml(by);
        }
        return flags.empty() ? flags : "<BR><SPAN class=flags>" + flags + "</SPAN>";
    }

    void writeClassPage(report::LineWriter& out, const NamespacePlan& p, const Page& page) const {
        const repo::ResolvedClass& cls = page.cls;
        writeSitePageStart(out, cls.name, p.rootRel + "style.css");
        out.writeLine("<TABLE Width = 100%>");
        writeNavigation(out, p, &cls);
        out.writeLine("<TR><TD class=subjectbar colSpan=5>" + escapeHtml(cls.name) + "</TD></TR>");
        const repo::ResolvedQualifier* description = findIn(cls.qualifiers, "Description");
        if (const std::string d =
                description && !description->propagated ? displayValue(description->value) : std::string();
            !d.empty())
            out.writeLine("<TR><TD class=descbar colSpan=5>" + escapeHtml(d) + "</TD></TR>");
        if (!page.subclasses.empty()) {
            std::string line = "<TR><TD class=descbar colSpan=5>Subclasses: ";
            for (std::size_t i = 0; i < page.subclasses.size(); ++i)
                line += (i ? ", " : "") + link(page.subclasses[i]);
            out.writeLine(line + "</TD></TR>");
        }
        out.writeLine("</TABLE>");

        std::vector<const repo::ResolvedQualifier*> own;
        for (const auto& q : cls.qualifiers)
            if (!q.propagated && !repo::equalsNoCase(q.name, "Description")) own.push_back(&q);
        if (!own.empty()) {
            out.writeLine("<TABLE Width = 100%>");
            out.writeLine("<TR><TD class=subjectbar colSpan=2>Qualifiers</TD></TR>");
            for (const auto* q : own)
                out.writeLine("<TR><TH class=headingbar valign=top align=left width=\"20%\">" +
                              escapeHtml(q->name) + "</TH><TH class=headingbar align=Left>" +
                              escapeHtml(displayValue(q->value)) + "</TH></TR>");
            out.writeLine("</TABLE>");
        }

        out.writeLine("<TABLE Width = 100%>");
        out.writeLine("<TR><TD class=subjectbar colSpan=5>Properties</TD></TR>");
        out.writeLine("<TR>");
        out.writeLine("<TH class=headingbar align=left colSpan=2>Property Name</TH>");
        out.writeLine("<TH class=headingbar align=Left>CIM_Type</TH>");
        out.writeLine("<TH class=headingbar align=middle Nowrap>Max Value</TH>");
        out.writeLine("<TH class=headingbar align=left>Description</TH> </TR>");
        for (const repo::ResolvedProperty& prop : cls.properties) {
            out.writeLine("<TR>");
            out.writeLine("<TH class=headingbar valign=top align=left colSpan=2>" + escapeHtml(prop.name) +
                          flagsText(prop) + "</TH>");
            out.writeLine("<TH class=headingbar valign=top align=Middle>" + typeText(prop) + "</TH>");
            out.writeLine("<TH class=headingbar valign=top align=middle>" +
                          escapeHtml(qualifierValue(prop.qualifiers, "MaxLen")) + "</TH>");
            std::string desc = escapeHtml(qualifierValue(prop.qualifiers, "Description"));
            if (const std::string units = qualifierValue(prop.qualifiers, "Units"); !units.empty())
                desc += "<BR><SPAN class=note>Units: " + escapeHtml(units) + "</SPAN>";
            if (!repo::equalsNoCase(prop.classOrigin, cls.name))
                desc += "<BR><SPAN class=note>Inherited from " + link(prop.classOrigin) + "</SPAN>";
            out.writeLine("<TH class=headingbar valign=top align=Left>" + desc);
            writeValueTable(out, prop);
            out.writeLine("</TH></TR>");
        }
        out.writeLine("</TABLE>");

        if (!cls.methods.empty()) {
            out.writeLine("<TABLE Width = 100%>");
            out.writeLine("<TR><TD class=subjectbar colSpan=5>Methods</TD></TR>");
            for (const repo::ResolvedMethod& m : cls.methods)
                writeMethod(out, cls, m);
            out.writeLine("</TABLE>");
        }
        writeSitePageEnd(out);
    }

    void writeMethod(report::LineWriter& out, const repo::ResolvedClass& cls,
                     const repo::ResolvedMethod& m) const {
        const std::string ret =
            m.returnsVoid ? "void" : typeText(m.returnType, m.returnIsArray, m.returnRefClass);
        std::string desc = escapeHtml(qualifierValue(m.qualifiers, "Description"));
        if (!repo::equalsNoCase(m.classOrigin, cls.name))
            desc += "<BR><SPAN class=note>Inherited from " + link(m.classOrigin) + "</SPAN>";
        out.writeLine("<TR><TH class=headingbar valign=top align=left colSpan=2>" + escapeHtml(m.name) +
                      "</TH><TH class=headingbar valign=top align=Middle>" + ret +
                      "</TH><TH class=headingbar align=Left colSpan=2>" + desc + "</TH></TR>");
        for (const repo::ResolvedFeature& param : m.parameters) {
            const bool in = findIn(param.qualifiers, "In") != nullptr, outDir = isOn(param, "Out");
            const char* direction = outDir ? (in ? "in, out" : "out") : "in";
            std::string pdesc = escapeHtml(qualifierValue(param.qualifiers, "Description"));
            out.writeLine("<TR><TD class=descbar valign=top>" + std::string(direction) +
                          "</TD><TD class=descbar valign=top>" + escapeHtml(param.name) + flagsText(param) +
                          "</TD><TD class=descbar valign=top>" + typeText(param) +
                          "</TD><TD class=descbar valign=top>" +
                          escapeHtml(qualifierValue(param.qualifiers, "MaxLen")) +
                          "</TD><TD class=descbar valign=top>" + pdesc);
            writeValueTable(out, param);
            out.writeLine("</TD></TR>");
        }
    }

    void writeTree(report::LineWriter& out, const NamespacePlan& p, const std::string& prefix) {
        out.writeLine("<UL class=tree>");
        for (const auto& [name, stem] : p.children) {
            if (stem.empty()) {
                out.writeLine("<LI>" + escapeHtml(name) + " <SPAN class=note>(not readable)</SPAN></LI>");
                continue;
            }
            const NamespacePlan* child = nullptr;
            for (const NamespacePlan& c : m_plans)
                if (c.folder == p.folder / stem) child = &c;
            out.writeLine("<LI><A href=\"" + prefix + stem + "/index.html\">" + escapeHtml(name) +
                          "</A> <SPAN class=note>(" + std::to_string(child->classes.size()) + ")</SPAN>");
            if (!child->children.empty()) writeTree(out, *child, prefix + stem + "/");
            out.writeLine("</LI>");
        }
        out.writeLine("</UL>");
    }

    void writeIndex(report::LineWriter& out, const NamespacePlan& p) {
        writeSitePageStart(out, p.path, p.rootRel + "style.css");
        out.writeLine("<TABLE Width = 100%>");
        writeNavigation(out, p, nullptr);
        out.writeLine("<TR><TD class=subjectbar colSpan=5>" + escapeHtml(p.path) + " - " +
                      std::to_string(p.classes.size()) + (p.classes.size() == 1 ? " class" : " classes") +
                      "</TD></TR>");
        out.writeLine("</TABLE>");
        out.writeLine("<DIV class=site>");
        if (!p.children.empty()) {
            out.writeLine("<DIV class=family>Namespaces</DIV>");
            writeTree(out, p, "");
        }
        out.writeLine("<INPUT id=filter type=search placeholder=\"Filter classes\" hidden>");
        std::array<std::vector<const Page*>, FamilyHeadings.size()> families;
        for (const std::string& name : p.classes) {
            const auto family = nav::classifyClass(name);
            families[family ? static_cast<std::size_t>(family->list) : FamilyHeadings.size() - 1].push_back(
                &m_pages.at(repo::foldCase(name)));
        }
        for (std::size_t f = 0; f < families.size(); ++f) {
            if (families[f].empty()) continue;
            out.writeLine(std::string("<DIV class=family>") + FamilyHeadings[f] + " <SPAN class=note>(" +
                          std::to_string(families[f].size()) + ")</SPAN></DIV>");
            out.writeLine("<UL class=classes>");
            for (const Page* page : families[f])
                out.writeLine("<LI><A href=\"" + page->file + "\">" + escapeHtml(page->cls.name) +
                              "</A></LI>");
            out.writeLine("</UL>");
        }
        out.writeLine("</DIV>");
        out.writeLine(FilterScript);
        writeSitePageEnd(out);
    }

    const repo::ClassSource& m_source;
    fs::path m_dir;
    const DocOptions& m_options;
    std::vector<NamespacePlan> m_plans;
    std::unordered_map<std::string, Page> m_pages; // of the namespace being written, by folded name
    std::vector<std::string> m_written;
    std::size_t m_total = 0, m_done = 0;
};

std::vector<std::string> readStamp(const fs::path& stamp) {
    std::vector<std::string> files;
    std::ifstream in(stamp);
    std::string line;
    std::getline(in, line); // the heading
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) files.push_back(line);
    }
    return files;
}

} // namespace

std::string safeStem(std::string_view name) {
    static constexpr char Hex[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : name) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
            c == '-') {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('~');
            out.push_back(Hex[c >> 4]);
            out.push_back(Hex[c & 15]);
        }
    }
    if (out.empty()) out = "~";
    if (out.size() > 120) {
        std::uint64_t h = 1469598103934665603ull; // FNV-1a of the folded name
        for (char c : repo::foldCase(name))
            h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
        std::ostringstream tail;
        tail << std::hex << h;
        out = out.substr(0, 100) + "~~h" + tail.str();
    }
    return out;
}

namespace {

// Passes the profile page's stylesheet on without the opening of its style element.
class CssOnly : public report::LineWriter {
  public:
    explicit CssOnly(report::LineWriter& out) : m_out(out) {}
    void writeLine(std::string_view text) override {
        constexpr std::string_view Open = "<STYLE type=text/css>";
        if (text.substr(0, Open.size()) == Open) text.remove_prefix(Open.size());
        m_out.writeLine(text);
    }

  private:
    report::LineWriter& m_out;
};

} // namespace

void writeSiteStylesheet(report::LineWriter& out) {
    CssOnly css(out);
    report::writeStylesheet(css);
    for (const char* rule : SiteRules)
        out.writeLine(rule);
}

void writeSitePageStart(report::LineWriter& out, std::string_view title, std::string_view stylesheet) {
    out.writeLine("<HTML>");
    out.writeLine("<HEAD>");
    out.writeLine("<META http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">");
    out.writeLine("<TITLE>" + escapeHtml(title) + "</TITLE>");
    if (stylesheet.empty()) {
        report::writeStylesheet(out);
        for (const char* rule : SiteRules)
            out.writeLine(rule);
        out.writeLine("</STYLE>");
    } else {
        out.writeLine("<LINK rel=stylesheet type=\"text/css\" href=\"" + std::string(stylesheet) + "\">");
    }
    out.writeLine("</HEAD>");
    out.writeLine("<BODY style=\"MARGIN: 0px 0px 15px\" text=#ffffff vLink=#cccccc aLink=#cccccc");
    out.writeLine("link=#cccccc bgColor=#000000 leftMargin=0 topMargin=0 marginwidth=\"0\"");
    out.writeLine("marginheight=\"0\">");
}

void writeSitePageEnd(report::LineWriter& out) {
    out.writeLine("</BODY>");
    out.writeLine("</HTML>");
}

std::string displayValue(const repo::Value& value) {
    if (value.isNull()) return {};
    if (!value.isArray()) return repo::scalarToText(value.scalarValue());
    std::string text = "{";
    for (std::size_t i = 0; i < value.items().size(); ++i)
        text += (i ? ", " : "") + repo::scalarToText(value.items()[i]);
    return text + "}";
}

void PageBytes::writeLine(std::string_view text) {
    bytes += report::toWindows1252(text);
    bytes += "\r\n";
}

void writeFileAtomically(const fs::path& path, const std::string& bytes, bool synced) {
    report::OutputFile out(path, synced);
    out.write(bytes);
    out.commit();
}

TerminalProgress::TerminalProgress(std::string what)
    : m_what(std::move(what)), m_enabled(isatty(STDERR_FILENO) != 0),
      m_start(std::chrono::steady_clock::now()) {}

void TerminalProgress::update(std::size_t done, std::size_t total) {
    if (!m_enabled) return;
    const auto now = std::chrono::steady_clock::now();
    if (now - m_start < std::chrono::seconds(1) || now - m_last < std::chrono::milliseconds(100)) return;
    m_last = now;
    std::fprintf(stderr, "\r\033[K%zu/%zu %s", done, total, m_what.c_str());
    m_shown = true;
}

void TerminalProgress::clear() {
    if (m_shown) std::fprintf(stderr, "\r\033[K");
    m_shown = false;
}

DocResult writeDocSite(const repo::ClassSource& source, std::string_view ns, const fs::path& dir,
                       const DocOptions& options) {
    const fs::path stamp = dir / DocStampName;
    std::error_code ec;
    const bool ours = fs::exists(stamp, ec);
    if (!ours && !options.force && fs::is_directory(dir, ec) && !fs::is_empty(dir, ec))
        throw Error(wbem::Failed,
                    "the folder " + dir.string() +
                        " is not empty and was not written by 'doc'; use --force to write into it");
    SiteWriter site(source, dir, options);
    site.plan(std::string(ns), fs::path(), "");
    fs::create_directories(dir, ec);
    if (ec) report::throwFileError(ec.value(), "cannot create the folder", dir);
    const std::vector<std::string> previous = ours ? readStamp(stamp) : std::vector<std::string>();
    {
        report::PageFile css(dir / "style.css");
        writeSiteStylesheet(css);
        css.commit();
    }
    DocResult result;
    result.classPages = site.write();
    result.namespaces = site.namespaces();

    // Pages of an earlier run that this run did not write again (a class that went away).
    const std::set<std::string> now(site.written().begin(), site.written().end());
    for (const std::string& file : previous)
        if (!now.count(file) && file.find("..") == std::string::npos) fs::remove(dir / file, ec);
    report::PageFile out(stamp);
    out.writeLine("morrowlen-repo doc " + std::string(ns));
    out.writeLine("style.css");
    for (const std::string& file : site.written())
        out.writeLine(file);
    out.commit();
    return result;
}

} // namespace morrowlen::tools
