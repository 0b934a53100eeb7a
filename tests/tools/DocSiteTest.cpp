#include "tools/DocSite.h"
#include "repository/core/Error.h"
#include "repository/model/LocalRepository.h"
#include "tests/support/Golden.h"
#include "tests/support/TestRepository.h"
#include "tests/tools/ToolsSupport.h"

#include <gtest/gtest.h>

using namespace morrowlen;
using namespace morrowlen::test;
namespace fs = std::filesystem;

namespace {

// A small hierarchy touching every part of a class page; the & < > in descriptions must come out
// as entities.
const char* const SampleMof = R"(
[Abstract, Description("The root of the sample & its <kin>.")]
class CIM_Base {
    [Key, MaxLen(64), Description("Identifies the element.")] string Name;
    [Units("Seconds"), ValueMap{"0", "1", "0x8000.."}, Values{"Off", "On", "Vendor <reserved> & more"}]
    uint16 State;
};
[Description("A disk."), Version("2.49.0")]
class CIM_Disk : CIM_Base {
    [Required, Deprecated{"CIM_Disk.Size"}] uint64 Capacity;
    [Description("Bytes.")] uint64 Size;
    [EmbeddedInstance("CIM_Base")] string Settings;
    [Description("Resets the disk.")] uint32 Reset([In] uint32 Timeout, [In, Out] string Messages[]);
};
class Win32_Disk : CIM_Disk {};
class Sample { string Text; };
[Association] class Vendor_Link { [Key] CIM_Base REF Antecedent; [Key] CIM_Disk REF Dependent; };
)";

std::size_t countPages(const fs::path& dir) {
    std::size_t n = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir))
        if (e.path().extension() == ".html" && e.path().filename() != "index.html") ++n;
    return n;
}

class DocSiteTest : public ::testing::Test {
  protected:
    repo::ClassStore store = compileMof(SampleMof);
    repo::LocalRepository source{store};
    TempDir tmp;
    fs::path site = tmp / "site";

    tools::DocResult write(tools::DocOptions options = {}) {
        return tools::writeDocSite(source, TestNamespace, site, options);
    }
};

TEST_F(DocSiteTest, SmallHierarchyMatchesGoldenFilesAndEveryLinkResolves) {
    EXPECT_EQ(write().classPages, 5u);
    expectGolden(fs::path(MORROWLEN_TOOLS_GOLDEN_DIR) / "index.html", readFile(site / "index.html"));
    const std::string disk = readFile(site / "CIM_Disk.html");
    expectGolden(fs::path(MORROWLEN_TOOLS_GOLDEN_DIR) / "CIM_Disk.html", disk);
    EXPECT_EQ(countPages(site), 5u);
    EXPECT_EQ(brokenLinks(site), std::vector<std::string>());
    EXPECT_NE(readFile(site / "CIM_Base.html").find("The root of the sample &amp; its &lt;kin&gt;."),
              std::string::npos);
    EXPECT_NE(readFile(site / "CIM_Base.html").find("Vendor &lt;reserved&gt; &amp; more"), std::string::npos);
    EXPECT_EQ(readFile(site / "CIM_Base.html").find("<kin>"), std::string::npos);
}

TEST_F(DocSiteTest, UnsafeAndCollidingNamesStayInsideTheFolder) {
    const repo::NamespaceId ns = *store.findNamespace(TestNamespace);
    for (const char* name : {"../Evil/Name", "INDEX", "..", "A\\b:c"})
        store.putClass(ns, makeClass(name, ""));
    EXPECT_EQ(write().classPages, 9u);
    std::set<std::string> folded;
    for (const auto& e : fs::recursive_directory_iterator(site)) {
        EXPECT_EQ(e.path().parent_path(), site) << e.path();
        EXPECT_TRUE(folded.insert(repo::foldCase(e.path().filename().string())).second) << e.path();
    }
    EXPECT_EQ(countPages(site), 9u);
    EXPECT_EQ(brokenLinks(site), std::vector<std::string>());
    EXPECT_EQ(tools::safeStem("../Evil/Name"), "~2e~2e~2fEvil~2fName");
}

TEST_F(DocSiteTest, RefusesAForeignFolderButRewritesItsOwn) {
    fs::create_directories(site);
    writeFile(site / "notes.txt", "mine");
    EXPECT_THROW(write(), Error);
    EXPECT_EQ(countPages(site), 0u);

    tools::DocOptions force;
    force.force = true;
    write(force);
    EXPECT_EQ(readFile(site / "notes.txt"), "mine");

    // A second run into its own folder needs no --force and drops the page of a class gone since.
    fs::remove(site / "notes.txt");
    store.deleteClass(*store.findNamespace(TestNamespace), "Sample");
    write();
    EXPECT_FALSE(fs::exists(site / "Sample.html"));
    EXPECT_EQ(countPages(site), 4u);
    for (const auto& e : fs::directory_iterator(site))
        EXPECT_EQ(e.path().extension() == ".tmp", false) << e.path();
}

TEST_F(DocSiteTest, RecursiveSiteLinksTheNamespaceTree) {
    ensureNamespace(store, "root\\test\\child\\grandchild");
    store.putClass(*store.findNamespace("root\\test\\child"), makeClass("CIM_Child", ""));
    tools::DocOptions options;
    options.recursive = true;
    const tools::DocResult result = write(options);
    EXPECT_EQ(result.namespaces, 3u);
    EXPECT_EQ(result.classPages, 6u);
    EXPECT_TRUE(fs::exists(site / "child" / "CIM_Child.html"));
    EXPECT_NE(readFile(site / "index.html").find("href=\"child/grandchild/index.html\""), std::string::npos);
    EXPECT_EQ(brokenLinks(site), std::vector<std::string>());
}

TEST(DocSiteDmtf, EveryClassHasAPageAndEveryLinkResolves) {
    const repo::ClassStore* dmtf = dmtfSchema();
    if (!dmtf) GTEST_SKIP() << "the DMTF corpus is absent from " << MORROWLEN_CORPORA_DIR;
    repo::LocalRepository source(*dmtf);
    TempDir tmp;
    EXPECT_EQ(tools::writeDocSite(source, "root\\cimv2", tmp / "site", {}).classPages, 1631u);
    EXPECT_EQ(countPages(tmp / "site"), 1631u);
    const std::vector<std::string> broken = brokenLinks(tmp / "site");
    EXPECT_TRUE(broken.empty()) << broken.size() << " broken, first " << broken.front();
}

} // namespace
