// UpdateCrc32 against zlib's crc32 over the same 64 MiB buffer, then the ratio of their
// throughputs (above 1.0: ours is faster).

#include "support/Crc32.h"

#include <benchmark/benchmark.h>

#ifdef FAKEMILL_HAVE_ZLIB
#include <zlib.h>
#endif

#include <cstdint>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::size_t kBufferBytes = std::size_t{64} << 20;

const std::vector<unsigned char>& Buffer() {
    static const std::vector<unsigned char> buffer = [] {
        std::vector<unsigned char> bytes(kBufferBytes);
        std::mt19937_64 random(20260101);
        for (std::size_t i = 0; i + 8 <= bytes.size(); i += 8) {
            const std::uint64_t value = random();
            for (std::size_t k = 0; k < 8; ++k) {
                bytes[i + k] = static_cast<unsigned char>(value >> (8 * k));
            }
        }
        return bytes;
    }();
    return buffer;
}

void BM_UpdateCrc32(benchmark::State& state) {
    const auto& buffer = Buffer();
    for (auto _ : state) {
        benchmark::DoNotOptimize(UpdateCrc32(0, buffer.data(), buffer.size()));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(buffer.size()));
}
BENCHMARK(BM_UpdateCrc32)->Unit(benchmark::kMillisecond);

void BM_UpdateCrc32Portable(benchmark::State& state) {
    const auto& buffer = Buffer();
    for (auto _ : state) {
        benchmark::DoNotOptimize(UpdateCrc32Portable(0, buffer.data(), buffer.size()));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(buffer.size()));
}
BENCHMARK(BM_UpdateCrc32Portable)->Unit(benchmark::kMillisecond);

#ifdef FAKEMILL_HAVE_ZLIB
void BM_ZlibCrc32(benchmark::State& state) {
    const auto& buffer = Buffer();
    for (auto _ : state) {
        // zlib takes the length as a 32-bit count; 64 MiB fits.
        benchmark::DoNotOptimize(crc32(0, buffer.data(), static_cast<uInt>(buffer.size())));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(buffer.size()));
}
BENCHMARK(BM_ZlibCrc32)->Unit(benchmark::kMillisecond);
#endif

// The console report, plus the bytes per second of each run for the ratio line at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const auto found = run.counters.find("bytes_per_second");
            if (found != run.counters.end() && run.run_type == Run::RT_Iteration) {
                m_rates[run.run_name.function_name] = found->second.value;
            }
        }
    }
    double Rate(const std::string& name) const {
        const auto found = m_rates.find(name);
        return found == m_rates.end() ? 0.0 : found->second;
    }

private:
    std::map<std::string, double> m_rates;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    const double ours = reporter.Rate("BM_UpdateCrc32");
    const double portable = reporter.Rate("BM_UpdateCrc32Portable");
    const double zlib = reporter.Rate("BM_ZlibCrc32");
    if (ours > 0) {
        std::printf("UpdateCrc32: %.2f GB/s; table code alone: %.2f GB/s\n", ours / 1e9, portable / 1e9);
    }
    if (ours > 0 && zlib > 0) {
        std::printf("zlib crc32: %.2f GB/s; ratio UpdateCrc32 / zlib = %.2f\n", zlib / 1e9, ours / zlib);
    } else {
        std::printf("zlib not linked or benchmarks filtered: no ratio\n");
    }
    return 0;
}
