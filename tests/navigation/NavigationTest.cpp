#include "navigation/ClassCatalogue.h"
#include "navigation/ClassSelection.h"
#include "navigation/Module2.h"
#include "navigation/NamespaceWalk.h"
#include "navigation/WmiOperations.h"
#include "tests/support/TestRepository.h"

#include <gtest/gtest.h>

using namespace morrowlen;
using namespace morrowlen::nav;
using namespace morrowlen::test;
using repo::CimType;

namespace {

// Records the order in which items are appended, before any sorting.
class AppendLog : public MemoryList {
  public:
    void addItem(const std::string& item) override {
        appended.push_back(item);
        MemoryList::addItem(item);
    }
    std::vector<std::string> appended;
};

std::uint32_t errorNumber(const std::function<void()>& f) {
    try {
        f();
    } catch (const Error& e) {
        return e.number();
    }
    return 0;
}

// The operations are contract tests: the same cases run over every class source the locator can
// hand out. Today that is the local repository, kept in a file or in memory (a MOF file opened
// straight in the window); a remote source would join the list.
class Contract : public ::testing::TestWithParam<const char*> {
  protected:
    repo::ClassStore open() {
        if (std::string(GetParam()) == "memory") return repo::ClassStore::openInMemory();
        return repo::ClassStore::open((dir / "repository.sqlite").string(),
                                      repo::ClassStore::OpenMode::Create);
    }
    TempDir dir;
    repo::ClassStore store = open();
};
INSTANTIATE_TEST_SUITE_P(Sources, Contract, ::testing::Values("file", "memory"));

TEST_P(Contract, MonikerBothSpellingsAndOnlyTheLocalComputer) {
    ensureNamespace(store, "root\\cimv2");
    Locator locator(store);
    EXPECT_EQ(connectMoniker(locator, "winmgmts:\\\\.\\root\\cimv2").path(), "root\\cimv2");
    EXPECT_EQ(connectMoniker(locator, "Winmgmts:\\\\.\\root\\CIMV2").path(), "root\\CIMV2");
    EXPECT_EQ(connectMoniker(locator, "WINMGMTS://./root/cimv2").path(), "root\\cimv2");
    EXPECT_EQ(connectMoniker(locator, "winmgmts:root").path(), "root");
    EXPECT_EQ(errorNumber([&] { connectMoniker(locator, "winmgmts:\\\\.\\root\\nothere"); }),
              wbem::InvalidNamespace);
    EXPECT_EQ(errorNumber([&] { connectMoniker(locator, "winmgmts:\\\\.\\"); }), wbem::InvalidNamespace);
    EXPECT_EQ(errorNumber([&] { connectMoniker(locator, "winmgmts:\\\\server\\root"); }), HostUnavailable);
    EXPECT_EQ(errorNumber([&] { connectMoniker(locator, "ldap://root"); }), MonikerSyntaxError);
}

TEST_P(Contract, QualifierLookupsAsThePageReliesOnThem) {
    store.putClass(store.rootNamespace(),
                   makeClass("Thing", "",
                             {property("P", CimType::String,
                                       {nullQualifier("MaxLen"), stringQualifier("Description", "d")})}));
    Locator locator(store);
    ClassObject cls =
        connectMoniker(locator, "winmgmts:\\\\.\\root").Get("thing", repo::UseAmendedQualifiers);
    ASSERT_EQ(cls.Properties_().size(), 1u);
    const PropertyObject& p = cls.Properties_()[0];
    EXPECT_EQ(p.Qualifiers_("cimtype").Value().toText(), "string");
    EXPECT_TRUE(p.Qualifiers_("MAXLEN").Value().isNull());
    EXPECT_EQ(p.Qualifiers_("Description").Value().toText(), "d");
    EXPECT_EQ(errorNumber([&] { p.Qualifiers_("Units"); }), wbem::NotFound);
    EXPECT_EQ(errorNumber([&] { connectMoniker(locator, "winmgmts:root").Get("Nothing", 0); }),
              wbem::NotFound);
}

class WalkTest : public Contract {
  protected:
    void SetUp() override {
        store.putClass(store.systemNamespace(),
                       makeClass("__NAMESPACE", "", {property("Name", CimType::String)}));
    }
};
INSTANTIATE_TEST_SUITE_P(Sources, WalkTest, ::testing::Values("file", "memory"));

TEST_P(WalkTest, DepthFirstPreOrderThenSortedWithoutRegardToCase) {
    ensureNamespace(store, "root\\R");
    ensureNamespace(store, "root\\p\\Q");
    ensureNamespace(store, "root\\p\\a");
    ensureNamespace(store, "root\\cimv2\\ms_409");
    Locator locator(store);
    AppendLog combo;
    EnumNameSpaces(combo, locator, "root");
    EXPECT_EQ(combo.appended, (std::vector<std::string>{"root", "root\\R", "root\\p", "root\\p\\Q",
                                                        "root\\p\\a", "root\\cimv2", "root\\cimv2\\ms_409"}));
    EXPECT_EQ(combo.items(), (std::vector<std::string>{"root", "root\\cimv2", "root\\cimv2\\ms_409",
                                                       "root\\p", "root\\p\\a", "root\\p\\Q", "root\\R"}));
}

TEST_P(WalkTest, RootWithoutChildren) {
    Locator locator(store);
    MemoryList combo;
    combo.addItem(NamespacePlaceholder);
    EnumNameSpaces(combo, locator, "root");
    EXPECT_EQ(combo.items(), (std::vector<std::string>{NamespacePlaceholder, "root"}));
}

TEST_P(WalkTest, ANamespaceWithoutAccessIsListedWithoutItsSubtree) {
    ensureNamespace(store, "root\\a");
    repo::NamespaceId secret = ensureNamespace(store, "root\\b");
    ensureNamespace(store, "root\\b\\hidden");
    ensureNamespace(store, "root\\c\\d");
    store.setNamespaceAccess(secret, std::vector<std::string>{});
    Locator locator(store, ordinaryUser());
    AppendLog combo;
    EXPECT_NO_THROW(EnumNameSpaces(combo, locator, "root"));
    EXPECT_EQ(combo.appended,
              (std::vector<std::string>{"root", "root\\a", "root\\b", "root\\c", "root\\c\\d"}));
}

TEST_P(WalkTest, FailureAtTheRootItselfIsThrown) {
    store.setNamespaceAccess(store.rootNamespace(), std::vector<std::string>{});
    Locator locator(store, ordinaryUser());
    AppendLog combo;
    EXPECT_EQ(errorNumber([&] { EnumNameSpaces(combo, locator, "root"); }), wbem::AccessDenied);
    EXPECT_EQ(combo.appended, std::vector<std::string>{"root"}) << "the path is appended before connecting";
}

struct FamilyCase {
    const char* name;
    int list; // -1: listed nowhere
    const char* item;
};

TEST(Families, EveryRowAndTheMendedCases) {
    const FamilyCase cases[] = {
        {"CIM_LogicalDisk", 0, "LogicalDisk"},
        {"CIM_", 0, ""},
        {"MSFT_NetAdapter", 1, "NetAdapter"},
        {"Msft_CliAlias", 2, "CliAlias"},
        {"Win32_BIOS", 3, "BIOS"},
        {"Win32_", 3, ""},
        {"Win32_PerfRawData_PerfOS_Memory", -1, ""},
        {"Win32_PerfFormattedData", -1, ""},
        {"Win32_Perf", -1, ""},
        {"Win32_PnPEntity", 3, "PnPEntity"},
        {"Win32Reg_AddRemovePrograms", -1, ""}, // head "Win" without the full prefix, holds "_"
        {"WindowsUpdate", 4, "WindowsUpdate"},  // no prefix, no "_": whole name in the last list
        {"MSFTFoo", 4, "MSFTFoo"},
        {"CIM", 4, "CIM"},
        {"cim_LegacyThing", -1, ""}, // the head in lower case is no family
        {"msftlegacy", 4, "msftlegacy"},
        {"__NAMESPACE", -1, ""},
        {"__SystemClass", -1, ""},
        {"StdRegProv", 4, "StdRegProv"},
        {"A", 4, "A"},
        {"ab", 4, "ab"},
        {"x_y", -1, ""},
        {"MSFT_", 1, ""},
        {"Msft_", 2, ""},
    };
    for (const FamilyCase& c : cases) {
        auto fi = classifyClass(c.name);
        if (c.list < 0) {
            EXPECT_FALSE(fi) << c.name;
            continue;
        }
        ASSERT_TRUE(fi) << c.name;
        EXPECT_EQ(fi->list, c.list) << c.name;
        EXPECT_EQ(fi->item, c.item) << c.name;
        EXPECT_EQ(std::string(FamilyPrefixes[static_cast<std::size_t>(fi->list)]) + fi->item, c.name)
            << "prefix and item give the class's own name back";
    }
}

class CatalogueTest : public ::testing::Test {
  protected:
    void SetUp() override {
        store.putClass(store.systemNamespace(), makeClass("__SystemClass", ""));
        repo::NamespaceId ns = ensureNamespace(store, "root\\cimv2");
        for (const char* name : {"CIM_ManagedElement", "CIM_LogicalDisk", "Win32_BIOS", "Win32_PerfRawData",
                                 "Win32Reg_AddRemovePrograms", "StdRegProv", "MSFT_Provider"})
            store.putClass(ns, makeClass(name, ""));
        ensureNamespace(store, "root\\empty");
        combo1.setText("root\\cimv2");
    }
    ClassLists lists() { return {&l[0], &l[1], &l[2], &l[3], &l[4]}; }

    repo::ClassStore store = repo::ClassStore::openInMemory();
    MemoryList combo1;
    MemoryList l[5];
};

TEST_F(CatalogueTest, FillsOfferedListsAndLeavesTheOthersEmpty) {
    Locator locator(store);
    Combo1_Click(combo1, lists(), locator);
    EXPECT_EQ(Module2::strCurrentNamespace, "root\\cimv2");
    EXPECT_EQ(l[0].items(), (std::vector<std::string>{ClassPlaceholder, "LogicalDisk", "ManagedElement"}));
    EXPECT_EQ(l[1].items(), (std::vector<std::string>{ClassPlaceholder, "Provider"}));
    EXPECT_EQ(l[2].count(), 0);
    EXPECT_FALSE(l[2].enabled());
    EXPECT_EQ(l[2].text(), "");
    EXPECT_EQ(l[3].items(), (std::vector<std::string>{ClassPlaceholder, "BIOS"}));
    EXPECT_EQ(l[4].items(), (std::vector<std::string>{ClassPlaceholder, "StdRegProv"}));
    for (int i : {0, 1, 3, 4}) {
        EXPECT_TRUE(l[i].enabled()) << i;
        EXPECT_EQ(l[i].text(), ClassPlaceholder) << i;
    }
}

TEST_F(CatalogueTest, PlaceholderPickTouchesNothing) {
    Locator locator(store);
    Combo1_Click(combo1, lists(), locator);
    l[1].setEnabled(false);
    combo1.setText(NamespacePlaceholder);
    Combo1_Click(combo1, lists(), locator);
    EXPECT_EQ(Module2::strCurrentNamespace, "root\\cimv2");
    EXPECT_FALSE(l[1].enabled()) << "a lock stays";
    EXPECT_EQ(l[0].count(), 3);
}

TEST_F(CatalogueTest, OnlySystemClassesLeaveAllListsEmptyAndAFailureLeavesThemReset) {
    Locator locator(store);
    Combo1_Click(combo1, lists(), locator);
    combo1.setText("root\\empty");
    Combo1_Click(combo1, lists(), locator);
    for (auto& list : l) {
        EXPECT_EQ(list.count(), 0);
        EXPECT_FALSE(list.enabled());
    }
    combo1.setText("root\\cimv2");
    Combo1_Click(combo1, lists(), locator);
    combo1.setText("root\\vanished");
    EXPECT_EQ(errorNumber([&] { Combo1_Click(combo1, lists(), locator); }), wbem::InvalidNamespace);
    EXPECT_EQ(Module2::strCurrentNamespace, "root\\vanished");
    for (auto& list : l) {
        EXPECT_EQ(list.count(), 0);
        EXPECT_EQ(list.text(), "");
        EXPECT_FALSE(list.enabled());
    }
}

TEST_F(CatalogueTest, SelectionLocksAndUnlocks) {
    Locator locator(store);
    Combo1_Click(combo1, lists(), locator);
    int opened = 0;
    std::vector<std::string> names;
    auto open = [&] {
        ++opened;
        names.push_back(Module2::strClassName);
    };
    l[3].setText("BIOS");
    classListClick(3, lists(), open);
    EXPECT_EQ(names.back(), "Win32_BIOS");
    for (int i : {0, 1, 2, 4})
        EXPECT_FALSE(l[i].enabled()) << i;
    EXPECT_TRUE(l[3].enabled());
    classListClick(3, lists(), open);
    EXPECT_EQ(opened, 2) << "the same class twice opens two windows";

    l[0].setText("Changed by the user");
    l[3].setText(ClassPlaceholder);
    classListClick(3, lists(), open);
    EXPECT_EQ(opened, 2);
    for (int i : {0, 1, 4}) {
        EXPECT_TRUE(l[i].enabled()) << i;
        EXPECT_EQ(l[i].text(), ClassPlaceholder) << i;
    }
    EXPECT_FALSE(l[2].enabled()) << "a list without classes stays disabled";

    l[4].setText("StdRegProv");
    classListClick(4, lists(), open);
    EXPECT_EQ(names.back(), "StdRegProv");
    l[0].setText("");
    classListClick(0, lists(), open);
    EXPECT_EQ(names.back(), "CIM_");
}

TEST_F(CatalogueTest, AFailingReportLeavesTheListsUnlocked) {
    Locator locator(store);
    Combo1_Click(combo1, lists(), locator);
    l[0].setText("LogicalDisk");
    EXPECT_THROW(classListClick(0, lists(), [] { throw Error(wbem::NotFound, "gone"); }), Error);
    EXPECT_EQ(Module2::strClassName, "CIM_LogicalDisk");
    EXPECT_TRUE(l[3].enabled());
}

TEST(Lists, SortedWithoutRegardToCasePlaceholdersFirst) {
    MemoryList list;
    for (const char* item : {"beta", "Alpha", "*Select A Class*", "alpha", "", "9lives", "_under", "Zed"})
        list.addItem(item);
    EXPECT_EQ(list.items(), (std::vector<std::string>{"", "*Select A Class*", "9lives", "_under", "Alpha",
                                                      "alpha", "beta", "Zed"}));
    MemoryList bulk;
    bulk.addItem("*Select A Class*");
    bulk.addItems({"beta", "Alpha", "alpha", "", "9lives", "_under", "Zed"});
    EXPECT_EQ(bulk.items(), list.items()) << "one pass gives the same order as one by one";
}

} // namespace
