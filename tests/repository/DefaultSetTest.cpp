#include "repository/file/DefaultSet.h"
#include "navigation/ClassCatalogue.h"
#include "navigation/NamespaceWalk.h"
#include "repository/core/Error.h"
#include "repository/file/RepositoryFile.h"
#include "tests/support/TestRepository.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <set>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace morrowlen;
using namespace morrowlen::test;

namespace {

// One repository created the way a first start creates it, shared by the tests below.
class DefaultSet : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        s_dir = new TempDir;
        s_store = new repo::ClassStore(repo::openOrCreateRepository((*s_dir / "repository.sqlite").string()));
    }
    static void TearDownTestSuite() {
        delete s_store;
        delete s_dir;
    }
    static TempDir* s_dir;
    static repo::ClassStore* s_store;
};
TempDir* DefaultSet::s_dir = nullptr;
repo::ClassStore* DefaultSet::s_store = nullptr;

TEST_F(DefaultSet, IsLargeEnoughToBeReal) {
    EXPECT_TRUE(s_store->wasCreated());
    nav::Locator locator(*s_store);
    nav::MemoryList combo;
    nav::EnumNameSpaces(combo, locator, "root");
    std::size_t classes = 0, deepest = 0;
    for (const std::string& path : combo.items()) {
        deepest = std::max<std::size_t>(deepest,
                                        static_cast<std::size_t>(std::count(path.begin(), path.end(), '\\')));
        if (path.ends_with("ms_409")) continue;
        classes += s_store->classNames(*s_store->findNamespace(path)).size();
    }
    EXPECT_GE(combo.count(), 15);
    EXPECT_GE(deepest, 3u);
    EXPECT_GE(classes, 700u);
    for (const char* ns :
         {"root\\cimv2", "root\\cimv2\\ms_409", "root\\default", "root\\subscription", "root\\security",
          "root\\WMI", "root\\Interop", "root\\StandardCimv2", "root\\Microsoft\\Windows\\Storage"})
        EXPECT_TRUE(s_store->findNamespace(ns)) << ns;
}

TEST_F(DefaultSet, Cimv2FillsEveryClassList) {
    nav::Locator locator(*s_store);
    nav::MemoryList combo1, l[5];
    combo1.setText("root\\cimv2");
    nav::Combo1_Click(combo1, {&l[0], &l[1], &l[2], &l[3], &l[4]}, locator);
    for (int i = 0; i < 5; ++i) {
        EXPECT_GT(l[i].count(), 1) << "list " << i;
        EXPECT_TRUE(l[i].enabled()) << "list " << i;
    }
    const auto& win32 = l[3].items();
    EXPECT_NE(std::find(win32.begin(), win32.end(), "BIOS"), win32.end());
    for (const std::string& item : win32)
        EXPECT_FALSE(item.starts_with("Perf")) << item;
}

TEST_F(DefaultSet, SecurityRefusesOrdinaryUsersAndHidesItsSubtree) {
    nav::Locator alice(*s_store, ordinaryUser());
    nav::MemoryList combo;
    nav::EnumNameSpaces(combo, alice, "root");
    const auto& items = combo.items();
    EXPECT_NE(std::find(items.begin(), items.end(), "root\\security"), items.end());
    for (const std::string& item : items)
        EXPECT_FALSE(item.starts_with("root\\security\\")) << item;
    try {
        nav::connectMoniker(alice, "winmgmts:\\\\.\\root\\security");
        FAIL();
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), wbem::AccessDenied);
    }
}

TEST_F(DefaultSet, ClassesCarryInheritedPropertiesAndAmendedDescriptions) {
    repo::ClassModel model(*s_store);
    const auto ns = *s_store->findNamespace("root\\cimv2");
    const repo::ResolvedClass plain = model.getClass(ns, "Win32_BIOS");
    const repo::ResolvedClass bios = model.getClass(ns, "Win32_BIOS", repo::UseAmendedQualifiers);
    const repo::ResolvedProperty* caption = bios.property("Caption");
    ASSERT_TRUE(caption);
    EXPECT_EQ(caption->classOrigin, "CIM_ManagedSystemElement") << "the root of the documented hierarchy";
    EXPECT_EQ(caption->qualifier("CIMTYPE")->value.toText(), "string");
    EXPECT_EQ(caption->qualifier("MaxLen")->value.toText(), "64");
    ASSERT_TRUE(caption->qualifier("Description"));
    EXPECT_EQ(plain.property("Caption")->qualifier("Description"), nullptr) << "descriptions are amended";
    EXPECT_EQ(bios.property("ReleaseDate")->qualifier("CIMTYPE")->value.toText(), "datetime");
    EXPECT_EQ(bios.property("BiosCharacteristics")->qualifier("CIMTYPE")->value.toText(), "uint16");
    EXPECT_EQ(std::find_if(bios.qualifiers.begin(), bios.qualifiers.end(),
                           [](const auto& q) { return q.name == "AMENDMENT"; }),
              bios.qualifiers.end());

    std::size_t described = 0;
    for (const auto& p : bios.properties)
        described += p.qualifier("Description") != nullptr;
    EXPECT_GE(described * 10, bios.properties.size() * 9) << "nearly every property is described";

    const repo::ResolvedClass process = model.getClass(ns, "Win32_Process");
    EXPECT_EQ(std::find_if(process.qualifiers.begin(), process.qualifiers.end(),
                           [](const auto& q) { return repo::equalsNoCase(q.name, "Abstract"); }),
              process.qualifiers.end())
        << "Abstract stays with the abstract base classes";
    EXPECT_FALSE(process.methods.empty());
}

TEST_F(DefaultSet, SomeDescriptionsHoldMarkupCharacters) {
    repo::ClassModel model(*s_store);
    const auto ns = *s_store->findNamespace("root\\cimv2");
    bool found = false;
    for (const std::string& name : model.classNames(ns)) {
        if (name.starts_with("__")) continue;
        for (const auto& p : model.getClass(ns, name, repo::UseAmendedQualifiers).properties)
            if (const auto* d = p.qualifier("Description");
                d && d->value.toText().find('<') != std::string::npos)
                found = true;
        if (found) break;
    }
    EXPECT_TRUE(found);
}

// root\cimv2 follows the platform's class documentation; the manifest names the page each class was
// checked against ("-" for the few the documentation does not describe).
TEST_F(DefaultSet, ManifestListsExactlyTheClassesOfCimv2) {
    std::ifstream in(std::filesystem::path(MORROWLEN_SOURCE_DIR) / "data" / "default-repository" /
                     "manifest.tsv");
    ASSERT_TRUE(in) << "manifest.tsv";
    std::set<std::string> listed;
    for (std::string line; std::getline(in, line);) {
        std::vector<std::string> cells;
        for (std::size_t start = 0, tab;; start = tab + 1) {
            tab = line.find('\t', start);
            cells.push_back(line.substr(start, tab - start));
            if (tab == std::string::npos) break;
        }
        ASSERT_EQ(cells.size(), 3u) << line;
        EXPECT_TRUE(cells[1] == "-" || cells[1].starts_with("https://")) << line;
        EXPECT_EQ(cells[2].size(), 10u) << line;
        EXPECT_TRUE(listed.insert(repo::foldCase(cells[0])).second) << "listed twice: " << cells[0];
    }
    const auto ns = *s_store->findNamespace("root\\cimv2");
    for (const std::string& name : s_store->classNames(ns))
        EXPECT_EQ(listed.erase(repo::foldCase(name)), 1u) << "not in the manifest: " << name;
    for (const std::string& name : listed)
        ADD_FAILURE() << "in the manifest but not in root\\cimv2: " << name;
}

TEST_F(DefaultSet, Cimv2HoldsTheDocumentedClassesAndTypes) {
    repo::ClassModel model(*s_store);
    const auto ns = *s_store->findNamespace("root\\cimv2");
    const struct {
        const char *cls, *property, *type;
    } documented[] = {
        {"Win32_NetworkConnection", "AccessMask", "uint32"},
        {"Win32_BaseBoard", "SpecialRequirements", "boolean"},
        {"CIM_Card", "SpecialRequirements", "boolean"},
        {"Win32_DiskQuota", "QuotaVolume", "ref:Win32_LogicalDisk"},
        {"Win32_FloppyDrive", "NeedsCleaning", "boolean"},
        {"Win32_CurrentTime", "Hour", "uint32"},
        {"Win32_DeviceChangeEvent", "EventType", "uint16"},
        {"Win32_ComputerShutdownEvent", "Type", "uint32"},
        {"Win32_DMAChannel", "DMAChannel", "uint32"},
        {"Win32_ActiveRoute", "SystemElement", "ref:Win32_IP4RouteTable"},
        {"Win32_DiskDrivePhysicalMedia", "Dependent", "ref:Win32_DiskDrive"},
    };
    for (const auto& d : documented) {
        SCOPED_TRACE(std::string(d.cls) + "." + d.property);
        const repo::ResolvedClass c = model.getClass(ns, d.cls);
        const repo::ResolvedProperty* p = c.property(d.property);
        ASSERT_TRUE(p);
        EXPECT_EQ(p->qualifier("CIMTYPE")->value.toText(), d.type);
    }
    std::size_t win32 = 0;
    for (const std::string& name : s_store->classNames(ns))
        win32 += name.starts_with("Win32_") && !name.starts_with("Win32_Perf");
    EXPECT_GE(win32, 330u) << "non-counter Win32_ classes";
}

// Every superclass and every class a ref or embedded object names exists, and a concrete class is
// keyed by strings and integers (or, in an association, references). The ping class is the one
// the documentation keys by its boolean request options as well.
TEST_F(DefaultSet, EveryNamespaceIsConsistent) {
    const std::set<std::string> documentedBooleanKeys = {"root\\cimv2:Win32_PingStatus.NoFragmentation",
                                                         "root\\cimv2:Win32_PingStatus.ResolveAddressNames"};
    repo::ClassModel model(*s_store);
    std::vector<repo::NamespaceId> namespaces{s_store->rootNamespace()};
    for (std::size_t i = 0; i < namespaces.size(); ++i)
        for (const auto& [child, name] : s_store->childNamespaces(namespaces[i]))
            namespaces.push_back(child);
    std::size_t checked = 0;
    for (const repo::NamespaceId ns : namespaces) {
        const std::string path = s_store->namespacePath(ns);
        for (const std::string& name : s_store->classNames(ns)) {
            const repo::ClassDef def = *s_store->getClass(ns, name);
            const std::string where = path + ":" + name;
            if (!def.superclass.empty()) {
                EXPECT_TRUE(model.hasClass(ns, def.superclass)) << where;
            }
            auto refersToExisting = [&](const repo::Feature& f, const std::string& what) {
                if (!f.refClass.empty()) {
                    EXPECT_TRUE(model.hasClass(ns, f.refClass)) << what << " names " << f.refClass;
                }
            };
            for (const auto& p : def.properties)
                refersToExisting(p, where + "." + p.name);
            for (const auto& m : def.methods)
                for (const auto& p : m.parameters)
                    refersToExisting(p, where + "." + m.name + "(" + p.name + ")");
            const repo::Qualifier* abstract = repo::findQualifier(def.qualifiers, "Abstract");
            if (abstract && abstract->value.toText() != "False") continue;
            for (const auto& p : model.getClass(ns, name).properties) {
                const auto* key = p.qualifier("Key");
                if (!key || key->value.toText() == "False" ||
                    documentedBooleanKeys.contains(where + "." + p.name))
                    continue;
                EXPECT_TRUE(repo::isInteger(p.type) || p.type == repo::CimType::String ||
                            p.type == repo::CimType::Reference)
                    << where << "." << p.name << " is a key of type " << repo::cimTypeName(p.type);
            }
            ++checked;
        }
    }
    EXPECT_GE(checked, 100u);
}

TEST(DefaultSetCreation, AnExistingRepositoryIsNeverFilled) {
    TempDir dir;
    const std::string path = (dir / "mine.sqlite").string();
    {
        auto store = repo::openOrCreateRepository(path, repo::NewRepository::SystemClassesOnly);
        store.putClass(store.rootNamespace(), makeClass("Mine", ""));
    }
    auto store = repo::openOrCreateRepository(path);
    EXPECT_FALSE(store.wasCreated());
    EXPECT_FALSE(store.findNamespace("root\\cimv2"));
    EXPECT_TRUE(store.hasClass(store.rootNamespace(), "Mine"));
}

TEST(DefaultSetCreation, AFileThatIsNotARepositoryIsLeftAlone) {
    TempDir dir;
    const auto path = dir / "notes.sqlite";
    std::ofstream(path) << "my notes";
    EXPECT_THROW(repo::openOrCreateRepository(path.string()), Error);
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text, "my notes");
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path()))
        ++files;
    EXPECT_EQ(files, 1u);
}

TEST(DefaultSetCreation, LeavesNothingBehindAndClearsWhatDeadCreationsLeft) {
    namespace fs = std::filesystem;
    TempDir dir;
    const std::string path = (dir / "repository.sqlite").string();
    const pid_t dead = fork();
    if (dead == 0) _exit(0);
    waitpid(dead, nullptr, 0);
    for (const std::string& name :
         {path + ".new-" + std::to_string(dead), path + ".new-" + std::to_string(dead) + "-journal",
          path + ".new-" + std::to_string(getppid())})
        std::ofstream(name) << "left";

    // A creation that runs out of room (a file size limit stands in for a full disk) fails whole.
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{200000, 200000};
        setrlimit(RLIMIT_FSIZE, &limit);
        try {
            repo::openOrCreateRepository(path);
            _exit(1);
        } catch (const Error&) {
            _exit(0);
        }
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir.path()))
        left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"repository.sqlite.new-" + std::to_string(getppid())})
        << "the dead creations' files are gone, the failed one left nothing, a running one's is kept";
    EXPECT_FALSE(fs::exists(path));
}

TEST(DefaultSetCreation, TheFilesOnDiskAreTheEmbeddedOnes) {
    const std::filesystem::path folder =
        std::filesystem::path(MORROWLEN_SOURCE_DIR) / "data" / "default-repository";
    for (const repo::DefaultSetFile& file : repo::defaultSetFiles()) {
        std::ifstream in(folder / std::string(file.name), std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), {});
        EXPECT_EQ(text, file.text) << file.name;
    }
    EXPECT_GE(repo::defaultSetFiles().size(), 5u);
}

} // namespace
