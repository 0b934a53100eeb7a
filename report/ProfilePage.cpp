#include "report/ProfilePage.h"

#include "navigation/Module2.h"
#include "report/SearchAddresses.h"
#include "report/Stylesheet.h"
#include "repository/core/Error.h"

#include <cerrno>
#include <exception>
#include <fcntl.h>
#include <unistd.h>

namespace morrowlen::report {

namespace {

// Runs one step of the page; once tolerance is on, a failing step is skipped.
template <typename F> void step(bool tolerant, F&& f) {
    if (!tolerant) {
        f();
        return;
    }
    try {
        f();
    } catch (const std::exception&) {
    }
}

std::string qualifierText(const nav::PropertyObject& p, const char* name) {
    return escapeHtml(p.Qualifiers_(name).Value().toText());
}

} // namespace

void writeProfile(LineWriter& out, const nav::ClassObject& cls, const std::string& className) {
    out.writeLine("<HTML>");
    writeStylesheet(out);
    out.writeLine("</STYLE>");
    out.writeLine("<BODY style=\"MARGIN: 0px 0px 15px\" text=#ffffff vLink=#cccccc aLink=#cccccc");
    out.writeLine("link=#cccccc bgColor=#000000 leftMargin=0 topMargin=0 marginwidth=\"0\"");
    out.writeLine("marginheight=\"0\">");
    out.writeLine("<TABLE Width = 100%>");
    out.writeLine("<TR>");
    out.writeLine("<TD class=subjectbar colSpan=5>" + escapeHtml(className) + " - Properties</TD></TR>");
    out.writeLine("<TR>");
    out.writeLine("<TH class=headingbar align=left colSpan=2>Property Name</TH>");
    out.writeLine("<TH class=headingbar align=Left>CIM_Type</TH>");
    out.writeLine("<TH class=headingbar align=middle Nowrap>Max Value</TH>");
    out.writeLine("<TH class=headingbar align=left>Description</TH> </TR>");

    bool tolerant = false;
    for (const nav::PropertyObject& p : cls.Properties_()) {
        step(tolerant, [&] { out.writeLine("<TR>"); });
        step(tolerant, [&] {
            out.writeLine("<TH class=headingbar valign=top align=left colSpan=2>" + escapeHtml(p.Name()) +
                          "</TH>");
        });
        step(tolerant, [&] {
            out.writeLine("<TH class=headingbar valign=top align=Middle>" + qualifierText(p, "CIMType") +
                          "</TH>");
        });
        tolerant = true;
        step(tolerant, [&] {
            std::optional<repo::Value> maxLen;
            try {
                maxLen = p.Qualifiers_("MaxLen").Value();
            } catch (const Error&) {
                // No such qualifier: the empty cell.
            }
            if (!maxLen || maxLen->isNull())
                out.writeLine("<TH class=headingbar valign=top align=middle></TH>");
            else
                out.writeLine("<TH class=headingbar valign=top align=middle>" + escapeHtml(maxLen->toText()) +
                              "</TH>");
        });
        step(tolerant, [&] {
            out.writeLine("<TH class=headingbar align=Left>" + qualifierText(p, "Description") +
                          "</TH></TR>");
        });
        step(tolerant, [&] { out.writeLine("</TR>"); });
    }
    step(tolerant, [&] { out.writeLine("</TABLE>"); });
    step(tolerant, [&] { out.writeLine("</BODY>"); });
    step(tolerant, [&] { out.writeLine("</HTML>"); });
}

void DoWebPage(const nav::Locator& locator, const ReportBrowsers& browsers,
               const std::filesystem::path& pageFolder) {
    const std::string className = Module2::strClassName;
    auto addresses = searchAddresses(className);
    for (std::size_t i = 0; i < addresses.size(); ++i)
        browsers[i + 1]->navigate(addresses[i]);

    const std::filesystem::path page = pageFolder / PageFileName;
    // Read the class before anything touches the folder: a class that cannot be read leaves the
    // previous page as it was.
    nav::Services services = nav::connectMoniker(locator, "winmgmts:\\\\.\\" + Module2::strCurrentNamespace);
    nav::ClassObject cls = services.Get(className, repo::UseAmendedQualifiers);

    PageFile file(page);
    writeProfile(file, cls, className);
    // A page that cannot be put in place is an error even once the rows switched tolerance on:
    // showing the previous page would show another class under this one's name.
    file.commit();
    const bool tolerant = !cls.Properties_().empty();
    step(tolerant, [&] { browsers[0]->navigate(page.string()); });
}

std::filesystem::path choosePageFolder(const std::filesystem::path& programFolder,
                                       const std::filesystem::path& fallbackFolder) {
    if (!programFolder.empty() && ::access(programFolder.c_str(), W_OK) == 0) return programFolder;
    std::error_code ec;
    std::filesystem::create_directories(fallbackFolder, ec);
    if (ec) throwFileError(ec.value(), "cannot create the folder", fallbackFolder);
    return fallbackFolder;
}

} // namespace morrowlen::report
