// The documentation site of the whole DMTF schema (1,631 class pages) from a repository file, and
// the share of it that reading the classes takes.
#include "repository/file/RepositoryFile.h"
#include "repository/model/LocalRepository.h"
#include "repository/mof/Compiler.h"
#include "tools/DocSite.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <unistd.h>

using namespace morrowlen;
namespace fs = std::filesystem;

namespace {

const fs::path Work = fs::temp_directory_path() / ("morrowlen-bench-doc-" + std::to_string(getpid()));

// The schema compiled once into root\dmtf of a repository file, opened read-only; null when the
// corpus is absent.
const repo::ClassSource* dmtf() {
    static std::unique_ptr<repo::ClassStore> store;
    static std::unique_ptr<repo::LocalRepository> source;
    if (source) return source.get();
    const fs::path schema = fs::path(MORROWLEN_CORPORA) / "dmtf-cim-schema-2.49.0" / "cim_schema_2.49.0.mof";
    if (!fs::exists(schema)) return nullptr;
    fs::create_directories(Work);
    {
        repo::ClassStore file = repo::openOrCreateRepository((Work / "dmtf.sqlite").string(),
                                                             repo::NewRepository::SystemClassesOnly);
        mof::CompileOptions options;
        options.defaultNamespace = "root\\dmtf";
        mof::Compiler compiler(file, options);
        if (compiler.compileFiles({schema.string()}) != mof::CompileStatus::Success) return nullptr;
    }
    store = std::make_unique<repo::ClassStore>(
        repo::ClassStore::open((Work / "dmtf.sqlite").string(), repo::ClassStore::OpenMode::ReadOnly));
    source = std::make_unique<repo::LocalRepository>(*store);
    return source.get();
}

void BM_DocSiteDmtf(benchmark::State& state) {
    const repo::ClassSource* source = dmtf();
    if (!source) {
        state.SkipWithError("the DMTF corpus is absent");
        return;
    }
    std::size_t pages = 0;
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(Work / "site");
        state.ResumeTiming();
        pages = tools::writeDocSite(*source, "root\\dmtf", Work / "site", {}).classPages;
    }
    state.counters["pages"] = static_cast<double>(pages);
}
BENCHMARK(BM_DocSiteDmtf)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

void BM_ReadDmtfClasses(benchmark::State& state) {
    const repo::ClassSource* source = dmtf();
    if (!source) {
        state.SkipWithError("the DMTF corpus is absent");
        return;
    }
    for (auto _ : state) {
        const repo::NamespaceHandle ns = source->openNamespace("root\\dmtf");
        for (const std::string& name : source->classNames(ns))
            benchmark::DoNotOptimize(source->getClass(ns, name, 0));
    }
}
BENCHMARK(BM_ReadDmtfClasses)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(1);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(Work, ec);
}
