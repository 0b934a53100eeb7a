// First start (the default repository is created) and later starts of the program, to a shown
// and painted main window, on Qt's offscreen platform. The program is measured as the start-up
// probe (tests/gui) runs it: the same start-up, ended once the window has been painted.
#include "repository/file/RepositoryFile.h"
#include "tests/support/TestRepository.h"

#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace morrowlen;

namespace {

// Runs the program until it reports its window shown; returns what it printed.
std::string startProgram(const std::string& repository) {
    const std::string command = "env QT_QPA_PLATFORM=offscreen MORROWLEN_REPOSITORY='" + repository +
                                "' '" MORROWLEN_PROBE "' 2>/dev/null";
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        std::array<char, 256> buf{};
        while (fgets(buf.data(), static_cast<int>(buf.size()), p))
            out += buf.data();
        pclose(p);
    }
    return out;
}

void BM_CreateDefaultRepository(benchmark::State& state) {
    test::TempDir dir;
    int n = 0;
    for (auto _ : state) {
        auto store = repo::openOrCreateRepository((dir / ("r" + std::to_string(n++) + ".sqlite")).string());
        if (!store.wasCreated()) state.SkipWithError("not created");
    }
}
BENCHMARK(BM_CreateDefaultRepository)->Unit(benchmark::kMillisecond);

void BM_FirstStart(benchmark::State& state) {
    test::TempDir dir;
    int n = 0;
    for (auto _ : state) {
        const std::string out = startProgram((dir / ("r" + std::to_string(n++) + ".sqlite")).string());
        if (out.find("shown; webengine not loaded") == std::string::npos) state.SkipWithError(out.c_str());
    }
}
BENCHMARK(BM_FirstStart)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Start(benchmark::State& state) {
    test::TempDir dir;
    const std::string repository = (dir / "r.sqlite").string();
    startProgram(repository);
    for (auto _ : state) {
        const std::string out = startProgram(repository);
        if (out.find("shown; webengine not loaded") == std::string::npos) state.SkipWithError(out.c_str());
    }
}
BENCHMARK(BM_Start)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
