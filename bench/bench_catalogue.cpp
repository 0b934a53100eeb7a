// The class catalogue of a namespace with 50,000 classes, through the repository and the
// window's real combo boxes (offscreen).
#include "navigation/ClassCatalogue.h"
#include "shell/ComboList.h"
#include "tests/support/TestRepository.h"

#include <QApplication>
#include <benchmark/benchmark.h>

using namespace morrowlen;
using namespace morrowlen::test;

namespace {

struct BigNamespace {
    TempDir dir;
    repo::ClassStore store =
        repo::ClassStore::open((dir / "big.sqlite").string(), repo::ClassStore::OpenMode::Create);
    BigNamespace() {
        auto tx = store.transaction();
        auto ns = ensureNamespace(store, "root\\big");
        const char* prefixes[] = {"CIM_", "MSFT_", "Msft_", "Win32_", "", "Win32_PerfRawData_", "Vendor_"};
        for (int i = 0; i < 50000; ++i) {
            // Spread the names so that insertion order is far from sorted order.
            unsigned mixed = static_cast<unsigned>(i) * 2654435761u;
            std::string name = std::string(prefixes[i % 7]) + "Class" + std::to_string(mixed % 1000003) +
                               "x" + std::to_string(i);
            store.putClass(ns, makeClass(name, ""));
        }
        tx.commit();
    }
};

void BM_Catalogue50000(benchmark::State& state) {
    BigNamespace big;
    nav::Locator locator(big.store);
    shell::ComboList combo1, c2, c3, c4, c5, c6;
    nav::ClassLists lists{&c2, &c3, &c4, &c5, &c6};
    combo1.setText("root\\big");
    for (auto _ : state) {
        nav::Combo1_Click(combo1, lists, locator);
        if (c2.count() == 0 || c6.count() == 0) state.SkipWithError("lists not filled");
    }
    state.counters["items"] = c2.count() + c3.count() + c4.count() + c5.count() + c6.count();
}
BENCHMARK(BM_Catalogue50000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
