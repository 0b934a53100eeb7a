// find across namespaces over a repository compiled in the test, the description index kept in
// step with every change, and its migration from schema 1 and 2 files.
#include "repository/core/Error.h"
#include "repository/file/RepositoryFile.h"
#include "repository/model/LocalRepository.h"
#include "repository/mof/Compiler.h"
#include "repository/store/Codec.h"
#include "tests/support/TestRepository.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <tuple>

using namespace morrowlen;
using namespace morrowlen::repo;

namespace {

constexpr const char* Schema = R"(
#pragma namespace("root/t")
[Description("Base of every disk drive.")] class T_Disk { [Key] string DeviceID; [Description("Bytes the disk holds.")] uint64 Size; };
class T_LogicalDisk : T_Disk { string VolumeName; };
[Association] class T_DiskOnBus { [Key] T_Disk ref Disk; [Deprecated, Description("Which bus.")] string Bus; };
class T_Network { [MaxLen(32)] string Name; };
#pragma namespace("root/t/ms_409")
[Amendment, Locale(0x409), Description("Localised network adapter text.")] class T_Network { };
#pragma namespace("root/t/locked")
#pragma restrict("bob")
class T_Secret { string DiskName; };
#pragma namespace("root/other")
class O_DISKETTE { };
)";

// The definitions as Morrowlen wrote them before schema 5, with the descriptions inline.
void inlineDescriptions(ClassStore& store) {
    std::vector<std::tuple<std::int64_t, NamespaceId, std::string>> classes;
    for (Statement st = store.database().prepare("SELECT id, ns_id, name FROM classes"); st.step();)
        classes.emplace_back(st.columnInt(0), st.columnInt(1), st.columnText(2));
    for (const auto& [id, ns, name] : classes) {
        Statement update = store.database().prepare("UPDATE classes SET definition = ? WHERE id = ?");
        update.bindBlob(1, codec::encode(*store.getClass(ns, name))).bind(2, id);
        update.run();
    }
}

std::vector<std::string> lines(const std::vector<FindHit>& hits) {
    std::vector<std::string> out;
    for (const FindHit& h : hits)
        out.push_back(h.namespacePath + ":" + h.className + (h.property.empty() ? "" : "." + h.property));
    return out;
}

class FindTest : public ::testing::Test {
  protected:
    ClassStore store = createInMemoryRepository();
    void SetUp() override {
        mof::Compiler compiler(store);
        ASSERT_EQ(compiler.compileText("t.mof", Schema), mof::CompileStatus::Success);
    }
};

TEST_F(FindTest, CriteriaCombine) {
    struct Case {
        FindQuery query;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {{"*disk*"},
         {"root\\other:O_DISKETTE", "root\\t:T_Disk", "root\\t:T_DiskOnBus", "root\\t:T_LogicalDisk"}},
        {{"t_?isk"}, {"root\\t:T_Disk"}},
        {{"*", std::string("Device*")}, {"root\\t:T_Disk.DeviceID", "root\\t:T_LogicalDisk.DeviceID"}},
        {{"*", std::nullopt, std::string("association")}, {"root\\t:T_DiskOnBus"}},
        {{"*", std::nullopt, std::string("key")},
         {"root\\t:T_Disk.DeviceID", "root\\t:T_DiskOnBus.Disk", "root\\t:T_LogicalDisk.DeviceID"}},
        {{"*", std::nullopt, std::string("MaxLen"), std::string("32")}, {"root\\t:T_Network.Name"}},
        {{"*", std::nullopt, std::string("MaxLen"), std::string("33")}, {}},
        {{"*Disk", std::string("*"), std::string("Key")},
         {"root\\t:T_Disk.DeviceID", "root\\t:T_LogicalDisk.DeviceID"}},
        {{"*", {}, {}, {}, "DISK"}, {"root\\t:T_Disk", "root\\t:T_Disk.Size"}},
        {{"*", {}, {}, {}, "disk holds"}, {"root\\t:T_Disk.Size"}},
        {{"*", {}, {}, {}, "holds drive"}, {}},
        {{"*", {}, std::string("Deprecated"), {}, "bus"}, {"root\\t:T_DiskOnBus.Bus"}},
        {{"*", {}, {}, {}, "network adapter"}, {}},
        {{"*", {}, {}, {}, "network adapter", true}, {"root\\t:T_Network"}},
    };
    const LocalRepository local(store, test::ordinaryUser());
    for (const Case& c : cases) {
        std::vector<std::string> refused;
        EXPECT_EQ(lines(local.find(local.openNamespace("root"), c.query, &refused)), c.expected)
            << c.query.nameGlob << " " << c.query.text;
        EXPECT_EQ(refused, std::vector<std::string>{"root\\t\\locked"});
    }
}

TEST_F(FindTest, RefusedNamespacesAreSkippedOnlyForThoseRefused) {
    const FindQuery query{"*", std::string("*Name")};
    std::vector<std::string> refused;
    const LocalRepository admin(store, Identity{"root", {}, true});
    EXPECT_EQ(lines(admin.find(admin.openNamespace("root\\t"), query, &refused)),
              (std::vector<std::string>{"root\\t:T_LogicalDisk.VolumeName", "root\\t:T_Network.Name",
                                        "root\\t\\locked:T_Secret.DiskName"}));
    EXPECT_TRUE(refused.empty());
}

TEST(FindMigration, SchemaOneFileGetsItsDescriptionsIndexed) {
    test::TempDir dir;
    const std::string path = (dir / "old.sqlite").string();
    {
        ClassStore store = ClassStore::open(path, ClassStore::OpenMode::Create);
        store.putClass(
            test::ensureNamespace(store, "root\\old"),
            test::makeClass("Old_Thing", "", {}, {test::stringQualifier("Description", "Kept from before")}));
        // Back to schema 1 as an earlier Morrowlen wrote it.
        inlineDescriptions(store);
        store.database().exec("DROP TABLE class_text_index; DROP TABLE class_texts; DROP TRIGGER "
                              "class_deleted; DROP INDEX classes_names; PRAGMA user_version = 1");
    }
    {
        // Read as it is, without the index, and left at schema 1.
        const ClassStore readOnly = ClassStore::open(path, ClassStore::OpenMode::ReadOnly);
        EXPECT_TRUE(readOnly.getClass(*readOnly.findNamespace("root\\old"), "Old_Thing"));
        EXPECT_THROW(readOnly.searchDescriptions("before"), Error);
    }
    ClassStore store = ClassStore::open(path, ClassStore::OpenMode::OpenExisting);
    const std::vector<DescriptionHit> hits = store.searchDescriptions("before");
    ASSERT_EQ(hits.size(), 1u);
    EXPECT_EQ(hits[0].className, "Old_Thing");
    // Replacing and deleting a class keep the index in step.
    store.putClass(*store.findNamespace("root\\old"),
                   test::makeClass("Old_Thing", "", {}, {test::stringQualifier("Description", "New words")}));
    EXPECT_TRUE(store.searchDescriptions("before").empty());
    EXPECT_EQ(store.searchDescriptions("new").size(), 1u);
    store.deleteClass(*store.findNamespace("root\\old"), "Old_Thing");
    EXPECT_TRUE(store.searchDescriptions("new").empty());
}

// FTS5's own check that the index holds exactly what class_texts holds.
void expectIndexMatchesTexts(ClassStore& store) {
    EXPECT_EQ(
        sqlite3_exec(store.database().handle(),
                     "INSERT INTO class_text_index(class_text_index, rank) VALUES ('integrity-check', 1)",
                     nullptr, nullptr, nullptr),
        SQLITE_OK);
}

std::vector<std::string> describedClasses(const ClassStore& store, std::string_view words) {
    std::vector<std::string> out;
    for (const DescriptionHit& hit : store.searchDescriptions(words))
        out.push_back(hit.className);
    std::sort(out.begin(), out.end());
    return out;
}

TEST(DescriptionIndex, FollowsReplacedDeletedAndRolledBackClassesAtCommit) {
    ClassStore store = createInMemoryRepository();
    const NamespaceId ns = test::ensureNamespace(store, "root\\ix");
    const auto described = [](const char* name, const char* text) {
        return test::makeClass(name, "", {}, {test::stringQualifier("Description", text)});
    };
    {
        Transaction tx = store.transaction();
        store.putClass(ns, described("Ix_A", "alpha"));
        store.putClass(ns, described("Ix_B", "beta"));
        store.putClass(ns, described("Ix_A", "gamma")); // replaced before ever being indexed
        EXPECT_EQ(describedClasses(store, "gamma"), std::vector<std::string>{"Ix_A"});
        store.deleteClass(ns, "Ix_B");
        store.putClass(ns, described("Ix_C", "beta delta")); // may take Ix_B's row ids
        tx.commit();
    }
    EXPECT_TRUE(describedClasses(store, "alpha").empty());
    EXPECT_EQ(describedClasses(store, "beta"), std::vector<std::string>{"Ix_C"});
    expectIndexMatchesTexts(store);
    {
        Transaction tx = store.transaction();
        store.putClass(ns, described("Ix_A", "epsilon"));
        store.deleteClass(ns, "Ix_C");
    }                                              // rolled back
    store.putClass(ns, described("Ix_D", "zeta")); // outside a transaction: indexed at once
    EXPECT_EQ(describedClasses(store, "gamma"), std::vector<std::string>{"Ix_A"});
    EXPECT_EQ(describedClasses(store, "beta"), std::vector<std::string>{"Ix_C"});
    EXPECT_EQ(describedClasses(store, "zeta"), std::vector<std::string>{"Ix_D"});
    ClassDef wide = described("Ix_Wide", "wide"); // more descriptions than one statement takes
    for (int i = 0; i < 70; ++i)
        wide.properties.push_back(
            test::property("P" + std::to_string(i), CimType::String,
                           {test::stringQualifier("Description", "word" + std::to_string(i))}));
    store.putClass(ns, wide);
    EXPECT_EQ(store.searchDescriptions("word69").size(), 1u);
    {
        // Indexed classes replaced twice and deleted; a new class may take a deleted one's id.
        Transaction tx = store.transaction();
        store.putClass(ns, described("Ix_A", "eta"));
        store.putClass(ns, described("Ix_A", "theta"));
        store.deleteClass(ns, "Ix_Wide");
        store.putClass(ns, described("Ix_E", "iota"));
        tx.commit();
    }
    EXPECT_TRUE(describedClasses(store, "gamma").empty());
    EXPECT_TRUE(describedClasses(store, "eta").empty());
    EXPECT_EQ(describedClasses(store, "theta"), std::vector<std::string>{"Ix_A"});
    EXPECT_TRUE(describedClasses(store, "word69").empty());
    EXPECT_EQ(describedClasses(store, "iota"), std::vector<std::string>{"Ix_E"});
    expectIndexMatchesTexts(store);
}

TEST(FindMigration, SchemaTwoFileKeepsItsIndexAndLosesItsTriggersAndForeignKey) {
    test::TempDir dir;
    const std::string path = (dir / "two.sqlite").string();
    {
        ClassStore store = ClassStore::open(path, ClassStore::OpenMode::Create);
        store.putClass(
            test::ensureNamespace(store, "root\\old"),
            test::makeClass("Old_Thing", "", {}, {test::stringQualifier("Description", "Kept words")}));
        // The texts of schemas 2 and 3, with a foreign key, and the triggers of schema 2, which
        // indexed every row as it was written.
        inlineDescriptions(store);
        store.database().exec(R"sql(
            DROP TRIGGER class_deleted;
            CREATE TABLE old_texts(
                id INTEGER PRIMARY KEY,
                class_id INTEGER NOT NULL REFERENCES classes(id) ON DELETE CASCADE,
                property TEXT NOT NULL,
                body TEXT NOT NULL);
            INSERT INTO old_texts SELECT * FROM class_texts;
            DROP TABLE class_texts;
            ALTER TABLE old_texts RENAME TO class_texts;
            CREATE INDEX class_texts_by_class ON class_texts(class_id);
            CREATE TRIGGER class_texts_added AFTER INSERT ON class_texts BEGIN
                INSERT INTO class_text_index(rowid, body) VALUES (new.id, new.body);
            END;
            CREATE TRIGGER class_texts_removed AFTER DELETE ON class_texts BEGIN
                INSERT INTO class_text_index(class_text_index, rowid, body) VALUES ('delete', old.id, old.body);
            END;
            PRAGMA user_version = 2;)sql");
    }
    EXPECT_EQ(describedClasses(ClassStore::open(path, ClassStore::OpenMode::ReadOnly), "kept"),
              std::vector<std::string>{"Old_Thing"});
    ClassStore store = ClassStore::open(path, ClassStore::OpenMode::OpenExisting);
    const auto count = [&](const char* sql) {
        Statement st = store.database().prepare(sql);
        return st.step() ? st.columnInt(0) : -1;
    };
    EXPECT_EQ(count("SELECT count(*) FROM sqlite_master WHERE type = 'trigger' AND tbl_name = 'class_texts'"),
              0);
    EXPECT_EQ(count("SELECT count(*) FROM pragma_foreign_key_list('class_texts')"), 0);
    const NamespaceId ns = *store.findNamespace("root\\old");
    store.putClass(
        ns, test::makeClass("Old_Thing", "", {}, {test::stringQualifier("Description", "Other words")}));
    EXPECT_TRUE(describedClasses(store, "kept").empty());
    EXPECT_EQ(describedClasses(store, "other words"), std::vector<std::string>{"Old_Thing"});
    expectIndexMatchesTexts(store);
    // Without the foreign key, a deleted class's texts still go with it.
    store.deleteClass(ns, "Old_Thing");
    EXPECT_EQ(count("SELECT count(*) FROM class_texts"), 0);
    expectIndexMatchesTexts(store);
}

} // namespace
