// diff of the DMTF schema against a copy with a few hundred scattered changes: both namespaces
// read and compared, as `morrowlen-repo diff` does.
#include "repository/file/RepositoryFile.h"
#include "repository/model/LocalRepository.h"
#include "repository/mof/Compiler.h"
#include "tools/SchemaDiff.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <unistd.h>

using namespace morrowlen;
namespace fs = std::filesystem;

namespace {

const fs::path Work = fs::temp_directory_path() / ("morrowlen-bench-diff-" + std::to_string(getpid()));

// Every fifth class of the copy changed in one of four ways (a class without properties of its
// own may come out unchanged).
std::size_t scatterChanges(repo::ClassStore& store, repo::NamespaceId ns) {
    std::size_t changed = 0, i = 0;
    auto tx = store.transaction();
    for (const std::string& name : store.classNames(ns)) {
        if (++i % 5) continue;
        repo::ClassDef cls = *store.getClass(ns, name);
        switch (changed % 4) {
        case 0:
            cls.qualifiers.push_back({"Version", repo::CimType::String, false, repo::Value::string("9.9.9")});
            break;
        case 1:
            cls.properties.push_back({{"BenchAdded", repo::CimType::UInt32}, {}});
            break;
        case 2:
            if (!cls.properties.empty()) cls.properties.pop_back();
            break;
        case 3:
            for (auto& p : cls.properties)
                p.qualifiers.push_back({"MaxLen", repo::CimType::UInt32, false, repo::Value::uint(7)});
            break;
        }
        store.putClass(ns, cls);
        ++changed;
    }
    tx.commit();
    return changed;
}

void BM_DiffDmtfAgainstChangedCopy(benchmark::State& state) {
    const fs::path schema = fs::path(MORROWLEN_CORPORA) / "dmtf-cim-schema-2.49.0" / "cim_schema_2.49.0.mof";
    if (!fs::exists(schema)) {
        state.SkipWithError("the DMTF corpus is absent");
        return;
    }
    fs::create_directories(Work);
    std::size_t changed = 0;
    {
        repo::ClassStore file = repo::openOrCreateRepository((Work / "dmtf.sqlite").string(),
                                                             repo::NewRepository::SystemClassesOnly);
        mof::CompileOptions options;
        options.defaultNamespace = "root\\a";
        {
            mof::Compiler compiler(file, options);
            compiler.compileFiles({schema.string()});
        }
        options.defaultNamespace = "root\\b";
        {
            mof::Compiler compiler(file, options);
            compiler.compileFiles({schema.string()});
        }
        changed = scatterChanges(file, *file.findNamespace("root\\b"));
    }
    const repo::ClassStore store =
        repo::ClassStore::open((Work / "dmtf.sqlite").string(), repo::ClassStore::OpenMode::ReadOnly);
    const repo::LocalRepository source(store);
    std::size_t differing = 0;
    for (auto _ : state) {
        const tools::SchemaDiff diff =
            tools::compareSchemas(tools::readSchema(source, "root\\a", false, "a"),
                                  tools::readSchema(source, "root\\b", false, "b"));
        differing = diff.changed.size();
    }
    state.counters["changedClasses"] = static_cast<double>(changed);
    state.counters["reported"] = static_cast<double>(differing);
}
BENCHMARK(BM_DiffDmtfAgainstChangedCopy)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(Work, ec);
}
