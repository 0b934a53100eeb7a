// Speed of the operations behind the namespace list, the class report and the profile page.
#include "navigation/Module2.h"
#include "navigation/NamespaceWalk.h"
#include "report/ProfilePage.h"
#include "tests/support/TestRepository.h"

#include <benchmark/benchmark.h>

using namespace morrowlen;
using namespace morrowlen::test;
using repo::CimType;

namespace {

// A repository file with 2,000 namespaces: 20 below root, 10 below each, 9 below each of those.
struct WideTree {
    TempDir dir;
    repo::ClassStore store =
        repo::ClassStore::open((dir / "tree.sqlite").string(), repo::ClassStore::OpenMode::Create);
    WideTree() {
        auto tx = store.transaction();
        store.putClass(store.systemNamespace(),
                       makeClass("__NAMESPACE", "", {property("Name", CimType::String)}));
        int made = 0;
        for (int a = 0; a < 20 && made < 2000; ++a) {
            auto na = store.createNamespace(store.rootNamespace(), "ns" + std::to_string(a));
            ++made;
            for (int b = 0; b < 10 && made < 2000; ++b) {
                auto nb = store.createNamespace(na, "child" + std::to_string(b));
                ++made;
                for (int c = 0; c < 9 && made < 2000; ++c, ++made)
                    store.createNamespace(nb, "leaf" + std::to_string(c));
            }
        }
        tx.commit();
    }
};

void BM_NamespaceWalk2000(benchmark::State& state) {
    WideTree tree;
    nav::Locator locator(tree.store);
    for (auto _ : state) {
        nav::MemoryList combo;
        nav::EnumNameSpaces(combo, locator, "root");
        benchmark::DoNotOptimize(combo.count());
        if (combo.count() != 2001) state.SkipWithError("wrong namespace count");
    }
}
BENCHMARK(BM_NamespaceWalk2000)->Unit(benchmark::kMillisecond);

// A class 8 levels deep, 25 properties declared at each level (200 in all), each with a MaxLen
// and an amended description.
struct DeepClass {
    TempDir dir;
    repo::ClassStore store =
        repo::ClassStore::open((dir / "deep.sqlite").string(), repo::ClassStore::OpenMode::Create);
    DeepClass() {
        auto tx = store.transaction();
        auto ns = ensureNamespace(store, "root\\cimv2");
        auto amend = ensureNamespace(store, "root\\cimv2\\ms_409");
        std::string super;
        for (int level = 0; level < 8; ++level) {
            std::string name = "Level" + std::to_string(level);
            std::vector<repo::PropertyDef> props, described;
            for (int p = 0; p < 25; ++p) {
                std::string pname = "P" + std::to_string(level) + "_" + std::to_string(p);
                props.push_back(property(pname, CimType::String, {intQualifier("MaxLen", 64 + p)}));
                described.push_back(
                    property(pname, CimType::String,
                             {stringQualifier("Description", "What " + pname + " holds, in a sentence.",
                                              repo::flavor::ToSubclass | repo::flavor::Amended)}));
            }
            store.putClass(ns, makeClass(name, super, props, {stringQualifier("Version", "1.0")}));
            store.putClass(amend, makeClass(name, "", described));
            super = name;
        }
        tx.commit();
    }
};

void BM_GetDeepClass(benchmark::State& state) {
    DeepClass repo;
    nav::Locator locator(repo.store);
    auto services = nav::connectMoniker(locator, "winmgmts:\\\\.\\root\\cimv2");
    for (auto _ : state) {
        auto cls = services.Get("Level7", repo::UseAmendedQualifiers);
        if (cls.Properties_().size() != 200) state.SkipWithError("wrong property count");
        benchmark::DoNotOptimize(cls);
    }
}
BENCHMARK(BM_GetDeepClass)->Unit(benchmark::kMicrosecond);

class NullBrowser : public report::Browser {
  public:
    void navigate(const std::string&) override {}
};

void BM_ProfilePage200Properties(benchmark::State& state) {
    DeepClass repo;
    nav::Locator locator(repo.store);
    TempDir out;
    NullBrowser b[5];
    report::ReportBrowsers browsers{&b[0], &b[1], &b[2], &b[3], &b[4]};
    Module2::strCurrentNamespace = "root\\cimv2";
    Module2::strClassName = "Level7";
    for (auto _ : state)
        report::DoWebPage(locator, browsers, out.path());
}
BENCHMARK(BM_ProfilePage200Properties)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
