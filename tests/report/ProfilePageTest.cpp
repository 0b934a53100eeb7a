#include "report/ProfilePage.h"
#include "navigation/Module2.h"
#include "report/OutputFile.h"
#include "report/PageWriter.h"
#include "report/SearchAddresses.h"
#include "report/Stylesheet.h"
#include "tests/support/Golden.h"
#include "tests/support/TestRepository.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace morrowlen;
using namespace morrowlen::test;
using repo::CimType;
using repo::flavor::Amended;
using repo::flavor::ToSubclass;

namespace {

class RecordingBrowser : public report::Browser {
  public:
    void navigate(const std::string& address) override {
        addresses.push_back(address);
        if (log) log->push_back(address);
    }
    std::vector<std::string> addresses;
    std::vector<std::string>* log = nullptr;
};

using test::readFile;

std::vector<std::string> lines(const std::string& bytes) {
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find("\r\n", start);
        EXPECT_NE(end, std::string::npos) << "every line ends with CR LF";
        if (end == std::string::npos) break;
        out.push_back(bytes.substr(start, end - start));
        start = end + 2;
    }
    return out;
}

void expectGolden(const std::string& actual, const std::string& name) {
    test::expectGolden(std::filesystem::path(MORROWLEN_GOLDEN_DIR) / name, actual);
}

class PageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ns = ensureNamespace(store, "root\\cimv2");
        amendments = ensureNamespace(store, "root\\cimv2\\ms_409");
        store.putClass(ns, makeClass("Empty_Class", ""));
        store.putClass(ns,
                       makeClass("CIM_Sample", "",
                                 {property("Name", CimType::String, {intQualifier("MaxLen", 256)}),
                                  property("NoLimit", CimType::UInt32),
                                  property("NullLimit", CimType::String, {nullQualifier("MaxLen")}),
                                  property("Undescribed", CimType::DateTime, {intQualifier("MaxLen", 25)}),
                                  property("Id", CimType::String)}));
        store.putClass(
            amendments,
            makeClass(
                "CIM_Sample", "",
                {property("Name", CimType::String,
                          {stringQualifier("Description", "Of the form <OrgID>:<LocalID> & more",
                                           ToSubclass | Amended)}),
                 property("NoLimit", CimType::UInt32,
                          {stringQualifier("Description", "Costs 5 \xE2\x82\xAC, \xCE\xA9 and \xE2\x86\x92",
                                           ToSubclass | Amended)}),
                 property("NullLimit", CimType::String,
                          {stringQualifier("Description", "<script>document.title='owned'</script>",
                                           ToSubclass | Amended)}),
                 property("Id", CimType::String,
                          {stringQualifier("Description", "Plain", ToSubclass | Amended)})}));
        browsers = {&b[0], &b[1], &b[2], &b[3], &b[4]};
        Module2::strCurrentNamespace = "root\\cimv2";
    }

    std::string page(const std::string& className) {
        Module2::strClassName = className;
        report::DoWebPage(locator, browsers, dir.path());
        return readFile(dir / "Profile.htm");
    }

    repo::ClassStore store = repo::ClassStore::openInMemory();
    repo::NamespaceId ns{}, amendments{};
    nav::Locator locator{store};
    RecordingBrowser b[5];
    report::ReportBrowsers browsers{};
    TempDir dir;
};

TEST_F(PageTest, ClassWithoutPropertiesIs265Lines) {
    const std::string bytes = page("Empty_Class");
    expectGolden(bytes, "empty-class.htm");
    auto l = lines(bytes);
    ASSERT_EQ(l.size(), 265u);
    EXPECT_EQ(l[0], "<HTML>");
    EXPECT_EQ(l[1], "<STYLE type=text/css>BODY {");
    EXPECT_EQ(l[250], "</STYLE>");
    EXPECT_EQ(l[256], "<TD class=subjectbar colSpan=5>Empty_Class - Properties</TD></TR>");
    EXPECT_EQ(l[261], "<TH class=headingbar align=left>Description</TH> </TR>");
    EXPECT_EQ((std::vector<std::string>(l.end() - 3, l.end())),
              (std::vector<std::string>{"</TABLE>", "</BODY>", "</HTML>"}));
    EXPECT_EQ(b[0].addresses, std::vector<std::string>{(dir / "Profile.htm").string()});
}

TEST_F(PageTest, RowsForEveryKindOfProperty) {
    const std::string bytes = page("CIM_Sample");
    expectGolden(bytes, "sample-class.htm");
    auto l = lines(bytes);
    EXPECT_EQ(l.size(), 265u + 6 * 5 - 1) << "one line fewer for the property without a description";
    // Properties in alphabetical order without regard to case: Id, Name, NoLimit, NullLimit, Undescribed.
    EXPECT_EQ(l[263], "<TH class=headingbar valign=top align=left colSpan=2>Id</TH>");
    EXPECT_EQ(l[264], "<TH class=headingbar valign=top align=Middle>string</TH>");
    EXPECT_EQ(l[265], "<TH class=headingbar valign=top align=middle></TH>");
    EXPECT_EQ(l[266], "<TH class=headingbar align=Left>Plain</TH></TR>");
    EXPECT_EQ(l[267], "</TR>");
    EXPECT_EQ(l[271], "<TH class=headingbar valign=top align=middle>256</TH>");
    EXPECT_EQ(
        l[272],
        "<TH class=headingbar align=Left>Of the form &lt;OrgID&gt;:&lt;LocalID&gt; &amp; more</TH></TR>");
    EXPECT_EQ(l[278], "<TH class=headingbar align=Left>Costs 5 \x80, &#937; and &#8594;</TH></TR>");
    EXPECT_EQ(l[283], "<TH class=headingbar valign=top align=middle></TH>")
        << "a null MaxLen gives the empty cell";
    EXPECT_EQ(
        l[284],
        "<TH class=headingbar align=Left>&lt;script&gt;document.title='owned'&lt;/script&gt;</TH></TR>");
    EXPECT_EQ(l[288], "<TH class=headingbar valign=top align=Middle>datetime</TH>");
    EXPECT_EQ(l[289], "<TH class=headingbar valign=top align=middle>25</TH>");
    EXPECT_EQ(l[290], "</TR>") << "no description line";
}

TEST_F(PageTest, StylesheetRulesSitOnTheirLines) {
    auto l = lines(page("Empty_Class"));
    ASSERT_EQ(report::StyleRules.size(), 83u);
    for (std::size_t n = 1; n <= 83; ++n) {
        EXPECT_EQ(l[3 * n - 2], report::StyleRules[n - 1].selector) << "rule " << n;
        EXPECT_EQ(l[3 * n - 1], report::StyleRules[n - 1].declaration) << "rule " << n;
        EXPECT_EQ(l[3 * n], "}") << "rule " << n;
    }
    EXPECT_EQ(l[247], ".list_text {");
    EXPECT_EQ(l[249], "}");
    EXPECT_EQ(l[3 * 66 - 1], "") << "the empty declaration line of .choicebox";
    EXPECT_EQ(l[3 * 40 - 1], "CURSOR:     hand");
    EXPECT_EQ(l[3 * 42 - 1], "POSITION:     absolute");
    EXPECT_EQ(l[3 * 5 - 1], "    Text -DECORATION: Underline");
    EXPECT_EQ(l[3 * 11 - 1], "    BACKGROUND-COLOR: #4d7ab0! important");
}

TEST_F(PageTest, SearchesFirstThenThePage) {
    std::vector<std::string> log;
    for (auto& browser : b)
        browser.log = &log;
    page("CIM_Sample");
    auto expected = report::searchAddresses("CIM_Sample");
    ASSERT_EQ(log.size(), 5u);
    EXPECT_EQ((std::vector<std::string>(log.begin(), log.begin() + 4)),
              (std::vector<std::string>(expected.begin(), expected.end())));
    EXPECT_EQ(log[4], (dir / "Profile.htm").string());
    EXPECT_EQ(b[4].addresses, std::vector<std::string>{expected[3]});
}

TEST_F(PageTest, AFailedReadKeepsThePreviousPage) {
    const std::string first = page("CIM_Sample");
    Module2::strClassName = "No_Such_Class";
    EXPECT_THROW(report::DoWebPage(locator, browsers, dir.path()), Error);
    EXPECT_EQ(readFile(dir / "Profile.htm"), first);
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 1u) << "no temporary file is left behind";
    EXPECT_EQ(b[1].addresses.size(), 2u) << "the searches had started";
    EXPECT_EQ(b[0].addresses.size(), 1u) << "the failed page is not shown";
}

TEST_F(PageTest, AFailedCommitIsAnErrorAndKeepsThePreviousPage) {
    const std::string first = page("Empty_Class");
    // The page is written out when committed; a file size limit makes that fail.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{1000, 1000};
        setrlimit(RLIMIT_FSIZE, &limit);
        try {
            page("CIM_Sample");
            _exit(1);
        } catch (const Error& e) {
            _exit(e.number() == 75 && e.description().find("Profile.htm") != std::string::npos &&
                          b[0].addresses.size() == 1
                      ? 0
                      : 2);
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: no error; 2: the wrong error, or the old page shown";
    EXPECT_EQ(readFile(dir / "Profile.htm"), first);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1) << "nothing left beside";
}

TEST_F(PageTest, ASecondClassReplacesTheFirstWhole) {
    page("CIM_Sample");
    const std::string second = page("Empty_Class");
    EXPECT_EQ(second.find("CIM_Sample"), std::string::npos);
    EXPECT_EQ(lines(second).size(), 265u);
}

TEST(Searches, AddressesCarryTheClassNameUnchanged) {
    auto a = report::searchAddresses("CIM_LogicalDisk");
    EXPECT_EQ(a[0],
              "http://www.bing.com/search/results.aspx?qu=CIM_LogicalDisk&view=msdn&st=b&c=0&s=1&swc=0");
    EXPECT_EQ(a[1], "http://www.google.com/search?hl=en&q=CIM_LogicalDisk&btnG=Google+Search");
    EXPECT_EQ(a[2], "http://www.bing.com/results.aspx?mkt=en-US&setlang=en-US&q=CIM_LogicalDisk");
    EXPECT_EQ(a[3], "http://search.yahoo.com/search?p=CIM_LogicalDisk&fr=FP-tab-web-t&toggle=1&ei=UTF-8");
}

TEST(Encoding, Windows1252WithReferencesForTheRest) {
    EXPECT_EQ(report::toWindows1252("plain"), "plain");
    EXPECT_EQ(report::toWindows1252("caf\xC3\xA9"), "caf\xE9");
    EXPECT_EQ(report::toWindows1252("\xE2\x80\x9Cq\xE2\x80\x9D"), "\x93q\x94");
    EXPECT_EQ(report::toWindows1252("\xF0\x9F\x98\x80"), "&#128512;");
    EXPECT_EQ(report::toWindows1252("bad \xFF byte"), "bad &#65533; byte");
    EXPECT_EQ(report::toWindows1252("cut \xE2\x82"), "cut &#65533;&#65533;");
    EXPECT_EQ(report::escapeHtml("a<b>&c"), "a&lt;b&gt;&amp;c");
}

TEST(PageFolder, FallsBackWhereTheProgramFolderCannotBeWritten) {
    TempDir dir;
    const auto program = dir / "program";
    const auto cache = dir / "cache" / "morrowlen";
    std::filesystem::create_directories(program);
    EXPECT_EQ(report::choosePageFolder(program, cache), program);
    EXPECT_EQ(report::choosePageFolder(dir / "missing", cache), cache);
    EXPECT_TRUE(std::filesystem::is_directory(cache));

    // A read-only folder, checked as an ordinary user (root writes everywhere).
    std::filesystem::permissions(dir.path(), std::filesystem::perms::all);
    std::filesystem::permissions(
        program, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                     std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
    std::filesystem::remove_all(dir / "cache");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        try {
            _exit(report::choosePageFolder(program, cache) == cache && std::filesystem::is_directory(cache)
                      ? 0
                      : 1);
        } catch (...) {
            _exit(2);
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(OutputFile, AnUnfinishedFileLeavesTheTargetAndNothingBeside) {
    TempDir dir;
    std::ofstream(dir / "page.htm") << "old";
    {
        report::OutputFile out(dir / "page.htm");
        out.write(std::string(100000, 'x')); // more than is buffered: the temporary file holds it
    }
    EXPECT_EQ(readFile(dir / "page.htm"), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(PageFolder, AnUnwritableFolderIsAClearFileError) {
    TempDir dir;
    std::ofstream(dir / "file") << "x";
    try {
        report::PageFile page(dir / "file" / "Profile.htm");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 76u);
        EXPECT_NE(e.description().find("Profile.htm"), std::string::npos);
    }
}

} // namespace
