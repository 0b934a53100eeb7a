// Compiles the whole DMTF CIM schema into a fresh repository file and commits it, as a first
// install does. The parse-only figure shows how much of that is the compiler's own front end.
#include "repository/file/RepositoryFile.h"
#include "repository/mof/Compiler.h"
#include "repository/mof/Parser.h"
#include "tools/Heap.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace morrowlen;
namespace fs = std::filesystem;

namespace {

const fs::path Schema = fs::path(MORROWLEN_CORPORA) / "dmtf-cim-schema-2.49.0";

void removeRepository(const std::string& path) {
    for (const char* suffix : {"", "-wal", "-shm", "-journal"})
        fs::remove(path + suffix);
}

// A folder of its own, removed afterwards, with a file that compiles the schema n times, each copy
// in a namespace of its own (so nothing is stored), and the name for a repository file.
struct CopiesFolder {
    fs::path dir = fs::temp_directory_path() / ("morrowlen-bench-copies-" + std::to_string(getpid()));
    std::string copies = (dir / "copies.mof").string(), repository = (dir / "r.sqlite").string();

    explicit CopiesFolder(int n) {
        fs::create_directories(dir);
        std::ofstream out(copies);
        for (int i = 0; i < n; ++i)
            out << "#pragma namespace(\"\\\\\\\\.\\\\root\\\\copy" << i << "\")\n#pragma include(\""
                << (Schema / "cim_schema_2.49.0.mof").generic_string() << "\")\n";
    }
    ~CopiesFolder() { fs::remove_all(dir); }
    CopiesFolder(const CopiesFolder&) = delete;
    CopiesFolder& operator=(const CopiesFolder&) = delete;
};

void BM_CompileDmtfIntoNewFile(benchmark::State& state) {
    if (!fs::exists(Schema)) {
        state.SkipWithError("the DMTF corpus is absent");
        return;
    }
    const std::string path =
        (fs::temp_directory_path() / ("morrowlen-bench-" + std::to_string(getpid()) + ".sqlite")).string();
    for (auto _ : state) {
        state.PauseTiming();
        removeRepository(path);
        state.ResumeTiming();
        repo::ClassStore store = repo::openOrCreateRepository(path, repo::NewRepository::SystemClassesOnly);
        mof::CompileOptions options;
        options.defaultNamespace = "root\\cimv2";
        mof::Compiler compiler(store, options);
        if (compiler.compileFiles({(Schema / "cim_schema_2.49.0.mof").string()}) !=
            mof::CompileStatus::Success) {
            state.SkipWithError("the schema did not compile");
            break;
        }
        benchmark::DoNotOptimize(compiler.stats().classes);
    }
    removeRepository(path);
}
BENCHMARK(BM_CompileDmtfIntoNewFile)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// What "morrowlen-mofcomp -check" does without a repository file: the default repository in
// memory, the schema compiled against it, nothing kept.
void BM_CheckDmtf(benchmark::State& state) {
    if (!fs::exists(Schema)) {
        state.SkipWithError("the DMTF corpus is absent");
        return;
    }
    for (auto _ : state) {
        repo::ClassStore store = repo::createInMemoryRepository(repo::NewRepository::DefaultSet);
        mof::CompileOptions options;
        options.defaultNamespace = "root\\dmtf";
        options.writeClasses = false; // as the tool's -check
        mof::Compiler compiler(store, options);
        if (compiler.compileFiles({(Schema / "cim_schema_2.49.0.mof").string()}) !=
            mof::CompileStatus::Success) {
            state.SkipWithError("the schema did not compile");
            break;
        }
        benchmark::DoNotOptimize(compiler.stats().classes);
    }
}
BENCHMARK(BM_CheckDmtf)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3);

// N copies of the schema in one compile, each in a namespace of its own, into a fresh file: the
// copies are made by a generated file that includes the schema N times, so nothing is stored.
void BM_CompileDmtfCopies(benchmark::State& state) {
    if (!fs::exists(Schema)) {
        state.SkipWithError("the DMTF corpus is absent");
        return;
    }
    const auto copies = static_cast<int>(state.range(0));
    const CopiesFolder folder(copies);
    for (auto _ : state) {
        state.PauseTiming();
        removeRepository(folder.repository);
        state.ResumeTiming();
        repo::ClassStore store =
            repo::openOrCreateRepository(folder.repository, repo::NewRepository::SystemClassesOnly);
        mof::Compiler compiler(store);
        if (compiler.compileFiles({folder.copies}) != mof::CompileStatus::Success) {
            state.SkipWithError("the copies did not compile");
            break;
        }
        benchmark::DoNotOptimize(compiler.stats().classes);
    }
    state.SetComplexityN(copies);
}
BENCHMARK(BM_CompileDmtfCopies)
    ->Arg(1)
    ->Arg(2)
    ->Arg(5)
    ->Arg(10)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Complexity(benchmark::oN);

void BM_ParseDmtfOnly(benchmark::State& state) {
    std::vector<std::string> texts;
    for (const auto& entry : fs::recursive_directory_iterator(Schema)) {
        if (entry.path().extension() != ".mof") continue;
        std::ifstream in(entry.path(), std::ios::binary);
        texts.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (texts.empty()) {
        state.SkipWithError("the DMTF corpus is absent");
        return;
    }
    std::size_t bytes = 0;
    for (auto _ : state) {
        mof::SourceManager sources;
        mof::Diagnostics diagnostics(sources, 100);
        for (const std::string& text : texts) {
            const mof::FileId id = sources.add("f.mof", "", text);
            mof::ast::File file = mof::Parser(sources.file(id), id, diagnostics).parseFile();
            benchmark::DoNotOptimize(file.declarations.data());
            bytes += text.size();
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_ParseDmtfOnly)->Unit(benchmark::kMillisecond)->MinTime(2);

// Every class names, by reference and as an embedded object, classes defined after it (and the
// last ones a class defined nowhere), so every name waits for the resolve phase. With the second
// argument 0 the same classes come in reverse order, so every name is known where it is used: the
// difference between the two is the cost of the resolve phase.
void BM_ForwardReferences(benchmark::State& state) {
    const auto n = static_cast<std::size_t>(state.range(0));
    const bool forward = state.range(1) != 0;
    std::vector<std::string> classes;
    classes.reserve(n);
    for (std::size_t i = 0; i < n; ++i)
        classes.push_back("class Fwd_" + std::to_string(i) + " { [Key] string Id; Fwd_" +
                          std::to_string(i + 1) + " ref Next; Fwd_" + std::to_string(i + 2) + " Later; };\n");
    if (!forward) std::reverse(classes.begin(), classes.end());
    std::string text;
    for (const std::string& c : classes)
        text += c;
    for (auto _ : state) {
        repo::ClassStore store = repo::createInMemoryRepository();
        mof::Compiler compiler(store);
        if (compiler.compileText("forward.mof", text) != mof::CompileStatus::Success) {
            state.SkipWithError("the generated MOF did not compile");
            break;
        }
        benchmark::DoNotOptimize(compiler.stats().classes);
    }
    state.SetComplexityN(static_cast<std::int64_t>(n));
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * n));
}
BENCHMARK(BM_ForwardReferences)
    ->ArgsProduct({{12500, 25000, 50000}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// The same work as whole runs of morrowlen-mofcomp, as a user starts it: the process, its heap and
// its file system calls included.
bool runTool(std::vector<std::string> args) {
    args.insert(args.begin(), MORROWLEN_MOFCOMP);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, argv[0], &quiet, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&quiet);
    int status = 0;
    return rc == 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Argument: 0 for -check of the schema, else the number of copies compiled into a fresh file.
void BM_MofcompProcess(benchmark::State& state) {
    if (!fs::exists(Schema)) {
        state.SkipWithError("the DMTF corpus is absent");
        return;
    }
    const auto copies = static_cast<int>(state.range(0));
    const CopiesFolder folder(copies);
    const std::string schema = (Schema / "cim_schema_2.49.0.mof").string();
    for (auto _ : state) {
        state.PauseTiming();
        removeRepository(folder.repository);
        state.ResumeTiming();
        const bool fine = copies == 0 ? runTool({"-check", schema})
                                      : runTool({"--no-default-set", "--repository", folder.repository,
                                                 copies == 1 ? schema : folder.copies});
        if (!fine) {
            state.SkipWithError("morrowlen-mofcomp failed");
            break;
        }
    }
}
BENCHMARK(BM_MofcompProcess)
    ->Arg(0)
    ->Arg(1)
    ->Arg(10)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2);

} // namespace

// With the heap set up as the tools set theirs, so the figures are the tools' own.
int main(int argc, char** argv) {
    tools::tuneHeapForCompiling();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
