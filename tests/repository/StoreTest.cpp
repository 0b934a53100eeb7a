#include "repository/core/Error.h"
#include "repository/store/ClassStore.h"
#include "tests/support/TestRepository.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace morrowlen;
using namespace morrowlen::repo;
using morrowlen::test::TempDir;

namespace {

std::string readAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeAll(const std::filesystem::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

void expectRefused(const std::filesystem::path& file, const std::string& fragment) {
    const std::string before = readAll(file);
    try {
        ClassStore::open(file.string(), ClassStore::OpenMode::Create);
        FAIL() << "opening " << file << " should fail";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), wbem::Failed);
        EXPECT_NE(e.description().find(fragment), std::string::npos) << e.description();
        EXPECT_NE(e.description().find(file.string()), std::string::npos) << "the message names the file";
    }
    EXPECT_EQ(readAll(file), before) << "a refused file is never modified";
    EXPECT_FALSE(std::filesystem::exists(file.string() + "-wal"));
    EXPECT_FALSE(std::filesystem::exists(file.string() + "-journal"));
}

// A repository of a few pages, in its own file, with no journal beside it.
void makeRepository(const std::filesystem::path& file, int classes = 200) {
    auto store = ClassStore::open(file.string(), ClassStore::OpenMode::Create);
    Transaction tx = store.transaction();
    for (int i = 0; i < classes; ++i)
        store.putClass(store.rootNamespace(), test::makeClass("Class" + std::to_string(i), "",
                                                              {test::property("P", CimType::String)}));
    tx.commit();
}

// Runs f in a child process as an ordinary user (CI runs as root, who may write anywhere); returns
// the child's exit status, 3 when it could not drop privileges.
template <typename F> int asOrdinaryUser(F&& f) {
    const pid_t child = fork();
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        try {
            _exit(f());
        } catch (...) {
            _exit(4);
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(Store, CreatesReopensAndKeepsWhatWasWritten) {
    TempDir dir;
    const auto file = dir / "sub" / "repo.sqlite";
    {
        auto store = ClassStore::open(file.string(), ClassStore::OpenMode::Create);
        EXPECT_TRUE(store.wasCreated());
        auto tx = store.transaction();
        NamespaceId cimv2 = store.createNamespace(store.rootNamespace(), "CIMV2");
        store.createNamespace(cimv2, "ms_409");
        store.putClass(cimv2, test::makeClass("Base", "", {test::property("Name", CimType::String)}));
        tx.commit();
    }
    auto store = ClassStore::open(file.string(), ClassStore::OpenMode::OpenExisting);
    EXPECT_FALSE(store.wasCreated());
    auto ns = store.findNamespace("root\\cimv2");
    ASSERT_TRUE(ns);
    EXPECT_EQ(store.namespaceName(*ns), "CIMV2") << "names are kept as first created";
    EXPECT_EQ(store.namespacePath(*store.findNamespace("ROOT\\cimv2\\MS_409")), "root\\CIMV2\\ms_409");
    auto cls = store.getClass(*ns, "BASE");
    ASSERT_TRUE(cls);
    EXPECT_EQ(cls->name, "Base");
    ASSERT_EQ(cls->properties.size(), 1u);
    EXPECT_EQ(cls->properties[0].name, "Name");
}

TEST(Store, PathsThatNameNoNamespace) {
    auto store = ClassStore::openInMemory();
    store.createNamespace(store.rootNamespace(), "cimv2");
    for (const char* path : {"", "root\\", "\\root", "root\\\\cimv2", "cimv2", "root\\nothere", "__system"})
        EXPECT_FALSE(store.findNamespace(path)) << path;
    EXPECT_TRUE(store.findNamespace("root"));
}

TEST(Store, TransactionRollsBackUnlessCommitted) {
    auto store = ClassStore::openInMemory();
    {
        auto tx = store.transaction();
        store.createNamespace(store.rootNamespace(), "gone");
        store.putClass(store.rootNamespace(), test::makeClass("Gone", ""));
    }
    EXPECT_FALSE(store.findNamespace("root\\gone"));
    EXPECT_FALSE(store.hasClass(store.rootNamespace(), "Gone"));
}

TEST(Store, DefinitionsRoundTripFieldByField) {
    auto store = ClassStore::openInMemory();
    ClassDef c = test::makeClass("Disk", "Device");
    c.qualifiers.push_back(test::stringQualifier("Description", "A disk <with> \"quotes\" & ünïcode",
                                                 flavor::ToSubclass | flavor::Amended));
    PropertyDef p = test::property("Sizes", CimType::UInt64, {test::intQualifier("MaxLen", -5)});
    p.isArray = true;
    p.arraySize = 4;
    p.defaultValue = Value::array({Scalar{std::uint64_t{18446744073709551615ull}}, Scalar{std::uint64_t{0}}});
    c.properties.push_back(p);
    PropertyDef r = test::property("Owner", CimType::Reference);
    r.refClass = "CIM_System";
    r.defaultValue = Value();
    c.properties.push_back(r);
    PropertyDef d = test::property("Ratio", CimType::Real64);
    d.defaultValue = Value::real(-0.125);
    c.properties.push_back(d);
    MethodDef m;
    m.name = "Format";
    m.returnType = CimType::UInt32;
    ParameterDef prm;
    prm.name = "Quick";
    prm.type = CimType::Boolean;
    prm.qualifiers.push_back(test::stringQualifier("In", "", flavor::DisableOverride));
    m.parameters.push_back(prm);
    c.methods.push_back(m);
    store.putClass(store.rootNamespace(), c);

    auto back = store.getClass(store.rootNamespace(), "disk");
    ASSERT_TRUE(back);
    EXPECT_EQ(back->superclass, "Device");
    ASSERT_EQ(back->qualifiers.size(), 1u);
    EXPECT_EQ(back->qualifiers[0].value, c.qualifiers[0].value);
    EXPECT_EQ(back->qualifiers[0].flavors, flavor::ToSubclass | flavor::Amended);
    ASSERT_EQ(back->properties.size(), 3u);
    EXPECT_TRUE(back->properties[0].isArray);
    EXPECT_EQ(back->properties[0].arraySize, 4);
    EXPECT_EQ(back->properties[0].defaultValue, p.defaultValue);
    EXPECT_EQ(back->properties[0].qualifiers[0].value, Value::sint(-5));
    EXPECT_EQ(back->properties[1].refClass, "CIM_System");
    ASSERT_TRUE(back->properties[1].defaultValue);
    EXPECT_TRUE(back->properties[1].defaultValue->isNull());
    EXPECT_EQ(back->properties[2].defaultValue, Value::real(-0.125));
    ASSERT_EQ(back->methods.size(), 1u);
    EXPECT_EQ(back->methods[0].parameters[0].name, "Quick");
    EXPECT_EQ(back->methods[0].parameters[0].qualifiers[0].flavors, flavor::DisableOverride);
}

// A description is kept once, among the texts the index reads; the definition holds only its place,
// and reading the class puts it back there. Descriptions that are no text stay in the definition.
TEST(Store, DescriptionsAreStoredOnceAndComeBackInPlace) {
    TempDir dir;
    auto store = ClassStore::open((dir / "repo.sqlite").string(), ClassStore::OpenMode::Create);
    const std::string longText(3000, 'd');
    const auto same = [](const std::vector<Qualifier>& back, const std::vector<Qualifier>& put,
                         const std::string& where) {
        ASSERT_EQ(back.size(), put.size()) << where;
        for (std::size_t i = 0; i < put.size(); ++i) {
            EXPECT_EQ(back[i].name, put[i].name) << where;
            EXPECT_EQ(back[i].type, put[i].type) << where;
            EXPECT_EQ(back[i].value, put[i].value) << where << " " << put[i].name;
            EXPECT_EQ(back[i].flavors, put[i].flavors) << where;
        }
    };
    const auto roundTrip = [&](const ClassDef& c) {
        store.putClass(store.rootNamespace(), c);
        const auto back = store.getClass(store.rootNamespace(), c.name);
        ASSERT_TRUE(back);
        same(back->qualifiers, c.qualifiers, "class");
        ASSERT_EQ(back->properties.size(), c.properties.size());
        for (std::size_t i = 0; i < c.properties.size(); ++i)
            same(back->properties[i].qualifiers, c.properties[i].qualifiers, c.properties[i].name);
        ASSERT_EQ(back->methods.size(), c.methods.size());
        same(back->methods[0].qualifiers, c.methods[0].qualifiers, "method");
        Statement st = store.database().prepare("SELECT length(definition) FROM classes WHERE name = 'Disk'");
        ASSERT_TRUE(st.step());
        EXPECT_LT(st.columnInt(0), 1000) << "the long descriptions are not in the definition";
    };
    ClassDef c = test::makeClass(
        "Disk", "",
        {test::property("A", CimType::String,
                        {test::stringQualifier("Key", ""),
                         test::stringQualifier("Description", longText, flavor::Translatable)}),
         test::property("B", CimType::String, {test::intQualifier("Description", 5)}),
         test::property("C", CimType::String, {test::stringQualifier("Description", "")}),
         test::property("D", CimType::String,
                        {test::stringQualifier("DESCRIPTION", "first"),
                         test::stringQualifier("Description", "second")})},
        {test::stringQualifier("Description", longText + "!"), test::intQualifier("Version", 2)});
    MethodDef m;
    m.name = "Go";
    m.qualifiers.push_back(test::stringQualifier("Description", "a method's"));
    c.methods.push_back(m);
    roundTrip(c);
    // Replaced: the new texts, in the new order.
    std::swap(c.properties[0], c.properties[3]);
    c.qualifiers[0].value = Value::string("shorter");
    roundTrip(c);
}

TEST(Store, PutClassReplacesAndSubclassesAreFound) {
    auto store = ClassStore::openInMemory();
    NamespaceId root = store.rootNamespace();
    store.putClass(root, test::makeClass("A", ""));
    store.putClass(root, test::makeClass("B", "A"));
    store.putClass(root, test::makeClass("C", "a"));
    store.putClass(root, test::makeClass("b", "A", {test::property("X", CimType::UInt8)}));
    EXPECT_EQ(store.classNames(root), (std::vector<std::string>{"A", "b", "C"}));
    EXPECT_EQ(store.subclassNames(root, "A"), (std::vector<std::string>{"b", "C"}));
    EXPECT_EQ(store.getClass(root, "B")->properties.size(), 1u);
    store.deleteClass(root, "C");
    EXPECT_FALSE(store.hasClass(root, "c"));
}

TEST(Store, NamespaceAccessListsRoundTrip) {
    auto store = ClassStore::openInMemory();
    NamespaceId ns = store.createNamespace(store.rootNamespace(), "security");
    EXPECT_FALSE(store.namespaceAccess(ns));
    store.setNamespaceAccess(ns, std::vector<std::string>{});
    ASSERT_TRUE(store.namespaceAccess(ns));
    EXPECT_TRUE(store.namespaceAccess(ns)->empty()) << "an empty list means administrators only";
    store.setNamespaceAccess(ns, std::vector<std::string>{"bob", "@wheel"});
    EXPECT_EQ(*store.namespaceAccess(ns), (std::vector<std::string>{"bob", "@wheel"}));
    store.setNamespaceAccess(ns, std::nullopt);
    EXPECT_FALSE(store.namespaceAccess(ns));
}

TEST(Store, RefusesWhatIsNotARepositoryAndLeavesItUntouched) {
    TempDir dir;
    writeAll(dir / "text.sqlite", "This is a text file, not a database at all.\n");
    expectRefused(dir / "text.sqlite", "not a Morrowlen repository");

    {
        sqlite3* db = nullptr;
        sqlite3_open((dir / "other.sqlite").c_str(), &db);
        sqlite3_exec(db, "CREATE TABLE t(x); INSERT INTO t VALUES (1);", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    expectRefused(dir / "other.sqlite", "not a Morrowlen repository");

    const auto newer = dir / "newer.sqlite";
    ClassStore::open(newer.string(), ClassStore::OpenMode::Create);
    {
        sqlite3* db = nullptr;
        sqlite3_open(newer.c_str(), &db);
        sqlite3_exec(db, "PRAGMA user_version = 99; PRAGMA journal_mode = DELETE;", nullptr, nullptr,
                     nullptr);
        sqlite3_close(db);
    }
    expectRefused(newer, "newer version of Morrowlen");
}

TEST(Store, CorruptFileIsReportedNotRead) {
    TempDir dir;
    const auto file = dir / "repo.sqlite";
    makeRepository(file);
    std::string bytes = readAll(file);
    ASSERT_GT(bytes.size(), 8192u);
    // Scribble over everything after the first page: the header still says "SQLite".
    for (std::size_t i = 4096; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(0xA5 ^ (i & 0xFF));
    writeAll(file, bytes);
    try {
        auto store = ClassStore::open(file.string(), ClassStore::OpenMode::OpenExisting);
        store.classNames(store.rootNamespace());
        FAIL() << "a damaged file must not read as a repository";
    } catch (const Error& e) {
        EXPECT_NE(e.description().find(file.string()), std::string::npos) << e.description();
    }
}

TEST(Store, MissingFileIsAnErrorUnlessCreating) {
    TempDir dir;
    EXPECT_THROW(ClassStore::open((dir / "none.sqlite").string(), ClassStore::OpenMode::OpenExisting), Error);
    EXPECT_THROW(ClassStore::open((dir / "none.sqlite").string(), ClassStore::OpenMode::ReadOnly), Error);
    EXPECT_FALSE(std::filesystem::exists(dir / "none.sqlite"));
    EXPECT_THROW(ClassStore::open(dir.path().string(), ClassStore::OpenMode::Create), Error) << "a folder";
}

TEST(Store, UnwritableFolderIsAClearError) {
    TempDir dir;
    std::filesystem::permissions(
        dir.path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                        std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
    std::filesystem::permissions(dir.path().parent_path(), std::filesystem::perms::others_exec,
                                 std::filesystem::perm_options::add);
    // Checked as an ordinary user: root writes into read-only folders.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(3);
        try {
            ClassStore::open((dir / "repo.sqlite").string(), ClassStore::OpenMode::Create);
            _exit(1);
        } catch (const Error& e) {
            _exit(e.description().find((dir / "repo.sqlite").string()) != std::string::npos ? 0 : 2);
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: no error; 2: the message does not name the file";
    EXPECT_FALSE(std::filesystem::exists(dir / "repo.sqlite"));
}

TEST(Store, ReadOnlyOpenNeverWrites) {
    TempDir dir;
    const auto file = dir / "repo.sqlite";
    {
        auto store = ClassStore::open(file.string(), ClassStore::OpenMode::Create);
        store.putClass(store.rootNamespace(), test::makeClass("A", ""));
        store.database().exec("PRAGMA journal_mode = DELETE");
    }
    const std::string before = readAll(file);
    auto store = ClassStore::open(file.string(), ClassStore::OpenMode::ReadOnly);
    EXPECT_TRUE(store.hasClass(store.rootNamespace(), "A"));
    EXPECT_THROW(store.putClass(store.rootNamespace(), test::makeClass("B", "")), Error);
    EXPECT_EQ(readAll(file), before);
}

TEST(Store, DamagedDefinitionRowIsReportedByNameAndTheStatementStaysUsable) {
    auto store = ClassStore::openInMemory();
    store.putClass(store.rootNamespace(),
                   test::makeClass("Victim", "", {test::property("P", CimType::String)}));
    store.putClass(store.rootNamespace(),
                   test::makeClass("Sound", "", {test::property("Q", CimType::UInt8)}));
    store.database().exec("UPDATE classes SET definition = substr(definition, 1, 5) WHERE name = 'Victim'");
    try {
        store.getClass(store.rootNamespace(), "Victim");
        FAIL();
    } catch (const Error& e) {
        EXPECT_NE(e.description().find("class Victim in namespace root"), std::string::npos)
            << e.description();
    }
    // The same kept statement answers the next question: it was reset when the throw left it.
    const auto sound = store.getClass(store.rootNamespace(), "Sound");
    ASSERT_TRUE(sound);
    EXPECT_EQ(sound->properties.at(0).name, "Q");
}

namespace {

TEST(Store, DamageFoundBeforeTheFirstWriteRefusesTheFileUntouched) {
    struct Damage {
        const char* what;
        void (*apply)(std::string& bytes);
    };
    const Damage damages[] = {
        {"cut inside its last page", [](std::string& b) { b.resize(b.size() - 100); }},
        {"a page overwritten", [](std::string& b) { std::fill(b.end() - 3000, b.end() - 1000, '\x5A'); }},
    };
    for (const Damage& d : damages) {
        SCOPED_TRACE(d.what);
        TempDir dir;
        const auto file = dir / "repo.sqlite";
        makeRepository(file);
        std::string bytes = readAll(file);
        d.apply(bytes);
        writeAll(file, bytes);
        expectRefused(file, "delete it to start afresh");
    }
}

TEST(Store, BrowsingNeedsNoWriteAccessAndUnwritableIsNotCalledDamaged) {
    namespace fs = std::filesystem;
    TempDir dir;
    const auto file = dir / "repo.sqlite";
    makeRepository(file, 3);
    fs::permissions(file, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                                    fs::perms::others_exec);
    fs::permissions(dir.path().parent_path(), fs::perms::others_exec, fs::perm_options::add);
    const std::string before = readAll(file);
    const int status = asOrdinaryUser([&] {
        {
            auto store = ClassStore::open(file.string(), ClassStore::OpenMode::ReadOnly);
            if (store.classNames(store.rootNamespace()).size() != 3) return 1;
        }
        try {
            auto store = ClassStore::open(file.string(), ClassStore::OpenMode::OpenExisting);
            store.putClass(store.rootNamespace(), test::makeClass("New", ""));
            return 2;
        } catch (const Error& e) {
            const std::string& d = e.description();
            const bool right = d.find("permissions") != d.npos && d.find("damaged") == d.npos;
            return right ? 0 : 5;
        }
    });
    fs::permissions(dir.path(), fs::perms::owner_all);
    EXPECT_EQ(status, 0) << "1: not read; 2: written; 5: the wrong message; 3, 4: the test itself";
    EXPECT_EQ(readAll(file), before);
}

TEST(Store, PathsAreFileNamesNeverURIs) {
    TempDir dir;
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    EXPECT_NO_THROW(ClassStore::open("file:x.sqlite?mode=memory", ClassStore::OpenMode::Create));
    std::filesystem::current_path(cwd);
    EXPECT_TRUE(std::filesystem::exists(dir / "file:x.sqlite?mode=memory"));
}

TEST(Store, ALockedRepositoryIsSaidToBeInUse) {
    TempDir dir;
    const auto file = dir / "repo.sqlite";
    makeRepository(file, 1);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(file.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    try {
        ClassStore::open(file.string(), ClassStore::OpenMode::ReadOnly);
        ADD_FAILURE() << "a locked file cannot be read";
    } catch (const Error& e) {
        EXPECT_NE(e.description().find(file.string() + " is in use by another program"), std::string::npos)
            << e.description();
    }
    sqlite3_close(other);
}

} // namespace

namespace {

TEST(Store, AKilledCompileIsRolledBackBeforeBrowsing) {
    TempDir dir;
    const auto file = dir / "repo.sqlite";
    makeRepository(file, 1);
    const pid_t child = fork();
    if (child == 0) {
        // Enough changes that the file itself is written before the commit, then killed.
        auto store = ClassStore::open(file.string(), ClassStore::OpenMode::OpenExisting);
        store.database().exec("PRAGMA cache_size = 1");
        Transaction tx = store.transaction();
        for (int i = 0; i < 500; ++i)
            store.putClass(store.rootNamespace(),
                           test::makeClass("Extra" + std::to_string(i), "",
                                           {test::property(std::string(200, 'P'), CimType::String)}));
        _exit(0);
    }
    waitpid(child, nullptr, 0);
    ASSERT_TRUE(std::filesystem::exists(file.string() + "-journal"));
    auto store = ClassStore::open(file.string(), ClassStore::OpenMode::ReadOnly);
    EXPECT_EQ(store.classNames(store.rootNamespace()), std::vector<std::string>{"Class0"});
}

} // namespace

namespace {

// The store writes pages in runs (see BatchedWrites.h): what it collected must reach the file
// before SQLite reads a page back, and a run that fails must fail the commit it belongs to.
TEST(Store, PagesWrittenInRunsAreReadBackAndAFailedRunLeavesTheFileAsItWas) {
    TempDir dir;
    const auto file = dir / "repo.sqlite";
    makeRepository(file, 20);
    const auto addClasses = [&](ClassStore& store, const std::string& prefix, int count) {
        for (int i = 0; i < count; ++i)
            store.putClass(store.rootNamespace(),
                           test::makeClass(prefix + std::to_string(i), "",
                                           {test::property(std::string(300, 'P'), CimType::String)}));
    };
    {
        // A cache of one page: pages go to the file during the transaction and are read back.
        auto store = ClassStore::open(file.string(), ClassStore::OpenMode::OpenExisting);
        store.database().exec("PRAGMA cache_size = 1");
        Transaction tx = store.transaction();
        addClasses(store, "Extra", 300);
        for (int i = 0; i < 300; i += 37)
            EXPECT_TRUE(store.getClass(store.rootNamespace(), "Extra" + std::to_string(i)));
        tx.commit();
    }
    auto reopened = ClassStore::open(file.string(), ClassStore::OpenMode::OpenExisting); // checks it
    EXPECT_EQ(reopened.classNames(reopened.rootNamespace()).size(), 320u);
    reopened = ClassStore::openInMemory();

    // A file size limit stands in for a full disk: the commit fails and the file stays as it was.
    // (The new pages fit in one run, written out only when SQLite syncs the file.)
    const std::string before = readAll(file);
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{before.size() + 4096, before.size() + 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        try {
            auto store = ClassStore::open(file.string(), ClassStore::OpenMode::OpenExisting);
            Transaction tx = store.transaction();
            addClasses(store, "More", 100);
            tx.commit();
            _exit(1);
        } catch (const Error&) {
            _exit(0);
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the commit succeeded";
    EXPECT_TRUE(readAll(file) == before) << "the file changed";
    EXPECT_FALSE(std::filesystem::exists(file.string() + "-journal"));
}

} // namespace
