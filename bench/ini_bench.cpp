// Reading a definition file the way the definition list does: list the sections, then build
// each section's generator with its full property list read from the file. Every iteration starts with an
// empty cache, so it includes the one parse the file costs. The growth from 100 to 1,000 definitions should
// be linear: the ratio is printed at the end (at most 12 is the target).

#include "generators/KSFileGeneratorFactory.h"
#include "support/IniProfile.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace {

constexpr int kKeysPerSection = 12;

const char16_t* const kKeys[kKeysPerSection] = {u"BigEndian",  u"CRC",    u"Extension", u"Files",
                                                u"Folder",     u"Prefix", u"Quick",     u"Sequence",
                                                u"SimpleName", u"Size",   u"Type",      u"Zeros"};

class BenchFolder {
public:
    BenchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "fkmbench.XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            std::perror("mkdtemp");
            std::exit(1);
        }
        m_path = pattern;
    }
    ~BenchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    // A file of the given number of definitions, made once per size.
    std::string DefinitionFile(int sections) {
        const std::string path = (m_path / ("defs" + std::to_string(sections) + ".ini")).string();
        if (!std::filesystem::exists(path)) {
            std::ofstream out(path, std::ios::binary);
            for (int s = 0; s < sections; ++s) {
                out << "[Definition " << s << "]\r\n";
                for (const char16_t* key : kKeys) {
                    const std::string name = CKSString(key).ToUtf8();
                    if (name == "Type") {
                        out << "Type=bin\r\n";
                    } else {
                        out << name << "=" << (s % 97) << "," << (s % 89) << "K\r\n";
                    }
                }
            }
        }
        return path;
    }

private:
    std::filesystem::path m_path;
};

BenchFolder& Folder() {
    static BenchFolder folder;
    return folder;
}

void ReadEveryKey(benchmark::State& state) {
    const CKSString file = CKSString::FromUtf8(Folder().DefinitionFile(static_cast<int>(state.range(0))));
    CKSLogger quiet;
    quiet.SetLevel(CKSLogger::kLevelNone);
    const CKSFileGeneratorFactory factory(&quiet);
    for (auto _ : state) {
        CIniProfile::DropCache();
        std::size_t properties = 0;
        for (const CKSString& section : CIniProfile::GetSectionNames(file)) {
            properties += factory.CreateFromSection(file, section)->GetProperties().Count();
        }
        benchmark::DoNotOptimize(properties);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0) * kKeysPerSection);
}
BENCHMARK(ReadEveryKey)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

// One key written into a file of 1,000 definitions: lock, one read, atomic replace. Dominated by
// the two waits for the disk (lock file and new file).
void WriteOneKey(benchmark::State& state) {
    const CKSString file = CKSString::FromUtf8(Folder().DefinitionFile(1000));
    int n = 0;
    CIniProfile::GetSectionNames(file); // the file is in the cache, as in a running program
    const auto parsesBefore = CIniProfile::ParseCount();
    for (auto _ : state) {
        CIniProfile::WriteString(file, u"Definition 500", u"Files", CKSString::FromUtf8(std::to_string(++n)));
    }
    state.counters["parses_per_write"] = static_cast<double>(CIniProfile::ParseCount() - parsesBefore) /
                                         static_cast<double>(state.iterations());
}
BENCHMARK(WriteOneKey)->Iterations(20)->Unit(benchmark::kMillisecond);

class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            m_times[run.benchmark_name()] = run.GetAdjustedRealTime();
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void PrintRatio() const {
        const auto small = m_times.find("ReadEveryKey/100");
        const auto large = m_times.find("ReadEveryKey/1000");
        if (small != m_times.end() && large != m_times.end() && small->second > 0) {
            std::printf("time(1000)/time(100) = %.2f (target at most 12)\n", large->second / small->second);
        }
    }

private:
    std::map<std::string, double> m_times;
};

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatio();
    benchmark::Shutdown();
    return 0;
}
