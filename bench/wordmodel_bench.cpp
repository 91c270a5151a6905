// First use of the word model in a process: looking for the data file, then loading it or, when
// it is missing, the built-in model from memory. Measured against reading the data file once,
// the least any load must cost; the ratio is printed at the end.

#include "generators/KSRovezezodavInitializer.h"
#include "generators/WordDataArray.h"
#include "support/KSRes.h"
#include "support/PosixFile.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

std::map<std::string, double> g_secondsPerRun;

class CScratchFolder {
public:
    CScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "fkmbench.XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        m_path = pattern;
    }
    ~CScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    std::string File(const char* name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

void Record(benchmark::State& state, const char* name, std::chrono::steady_clock::duration total) {
    const double seconds = std::chrono::duration<double>(total).count();
    g_secondsPerRun[name] = seconds / static_cast<double>(state.iterations());
}

// A fresh initializer and no data file: look for it, then load the built-in model from memory.
void BM_FirstUseLoadsBuiltInModel(benchmark::State& state) {
    CScratchFolder folder;
    const CKSString path = CKSString::FromUtf8(folder.File("kestrune/rovezezodav.dat"));
    std::chrono::steady_clock::duration total{};
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(path.ToUtf8());
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        {
            CKSRovezezodavInitializer initializer(path);
            if (!initializer.EnsureLoaded()) {
                state.SkipWithError("the built-in model did not load");
                return;
            }
            total += std::chrono::steady_clock::now() - start;
            state.PauseTiming(); // the table's teardown is not part of first use
        }
        state.ResumeTiming();
    }
    Record(state, "built-in", total);
}

// A fresh initializer and the data file in place: check and load.
void BM_FirstUseLoadsExistingFile(benchmark::State& state) {
    CScratchFolder folder;
    const CKSString path = CKSString::FromUtf8(folder.File("rovezezodav.dat"));
    CKSResToFile resource;
    if (!resource.Load(CKSRovezezodavInitializer::kBuiltInModelResource) || !resource.WriteToFile(path)) {
        state.SkipWithError("resource 140 is missing");
        return;
    }
    std::chrono::steady_clock::duration total{};
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        {
            CKSRovezezodavInitializer initializer(path);
            benchmark::DoNotOptimize(initializer.EnsureLoaded());
            total += std::chrono::steady_clock::now() - start;
            state.PauseTiming();
        }
        state.ResumeTiming();
    }
    Record(state, "load", total);
}

// The floor: the data file's bytes read once, in large pieces.
void BM_ReadFileBytes(benchmark::State& state) {
    CScratchFolder folder;
    const std::string path = folder.File("rovezezodav.dat");
    CKSResToFile resource;
    if (!resource.Load(CKSRovezezodavInitializer::kBuiltInModelResource) ||
        !resource.WriteToFile(CKSString::FromUtf8(path))) {
        state.SkipWithError("resource 140 is missing");
        return;
    }
    std::vector<char> buffer(1 << 20);
    std::chrono::steady_clock::duration total{};
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        CUniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        std::size_t bytes = 0;
        for (long n; (n = ReadFromDescriptor(fd.Get(), buffer.data(), buffer.size())) > 0;) {
            bytes += static_cast<std::size_t>(n);
        }
        benchmark::DoNotOptimize(bytes);
        total += std::chrono::steady_clock::now() - start;
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * resource.Size()));
    Record(state, "read", total);
}

BENCHMARK(BM_ReadFileBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstUseLoadsExistingFile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirstUseLoadsBuiltInModel)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    CKSRovezezodavInitializer::RegisterBuiltInModel();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    const double read = g_secondsPerRun["read"];
    if (read > 0) {
        for (const char* name : {"load", "built-in"}) {
            if (const double seconds = g_secondsPerRun[name]; seconds > 0) {
                std::printf("first use (%s): %.1f ms, %.1f x reading the file once (%.2f ms); limit 250 ms\n",
                            name, seconds * 1e3, seconds / read, read * 1e3);
            }
        }
    }
    return 0;
}
