// find across namespaces over the DMTF schema compiled into 20 namespaces (about 33,000 classes):
// a name glob and a full-text search of the descriptions. The repository is built once and kept
// in the build folder, since compiling it takes far longer than the searches.
#include "repository/file/RepositoryFile.h"
#include "repository/model/LocalRepository.h"
#include "repository/mof/Compiler.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <iostream>
#include <optional>

using namespace morrowlen;
namespace fs = std::filesystem;

namespace {

const fs::path Schema = fs::path(MORROWLEN_CORPORA) / "dmtf-cim-schema-2.49.0";
constexpr int Namespaces = 20;

repo::ClassStore* repository() {
    static std::optional<repo::ClassStore> store = []() -> std::optional<repo::ClassStore> {
        if (!fs::exists(Schema)) return std::nullopt;
        const std::string path = MORROWLEN_BENCH_DIR "/find-dmtf-x20.sqlite";
        const bool built = fs::exists(path);
        repo::ClassStore s = repo::openOrCreateRepository(path, repo::NewRepository::SystemClassesOnly);
        if (!built) {
            std::cerr << "compiling the DMTF schema into " << Namespaces << " namespaces of " << path
                      << "...\n";
            for (int i = 0; i < Namespaces; ++i) {
                mof::CompileOptions options;
                options.defaultNamespace = "root\\dmtf" + std::to_string(i);
                mof::Compiler compiler(s, options);
                if (compiler.compileFiles({(Schema / "cim_schema_2.49.0.mof").string()}) !=
                    mof::CompileStatus::Success) {
                    fs::remove(path);
                    return std::nullopt;
                }
            }
        }
        return s;
    }();
    return store ? &*store : nullptr;
}

void runFind(benchmark::State& state, const repo::FindQuery& query) {
    repo::ClassStore* store = repository();
    if (!store) {
        state.SkipWithError("the DMTF corpus is absent");
        return;
    }
    const repo::LocalRepository local(*store);
    std::size_t hits = 0;
    for (auto _ : state) {
        hits = local.find(local.openNamespace("root"), query).size();
        benchmark::DoNotOptimize(hits);
    }
    state.counters["hits"] = static_cast<double>(hits);
}

void BM_FindNameGlob(benchmark::State& state) {
    runFind(state, {"*Disk*"});
}
BENCHMARK(BM_FindNameGlob)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_FindText(benchmark::State& state) {
    runFind(state, {"*", {}, {}, {}, "logical disk"});
}
BENCHMARK(BM_FindText)->Unit(benchmark::kMillisecond)->UseRealTime();

// A word in a good part of the schema's descriptions: the search answers thousands of hits.
void BM_FindTextCommonWord(benchmark::State& state) {
    runFind(state, {"*", {}, {}, {}, "device"});
}
BENCHMARK(BM_FindTextCommonWord)->Unit(benchmark::kMillisecond)->UseRealTime();

// Resolves every class with a matching name: no target, shown for scale.
void BM_FindInheritedProperty(benchmark::State& state) {
    runFind(state, {"CIM_*Disk*", std::string("*Size*")});
}
BENCHMARK(BM_FindInheritedProperty)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
