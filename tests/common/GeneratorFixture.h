#pragma once
// Builds generators the way a batch does, for tests that run them directly.

#include "engine/KSBatchManifest.h"
#include "generators/KSFileGeneratorFactory.h"
#include "tests/common/CapturingOutput.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <memory>
#include <set>
#include <string>

class GeneratorFixture {
public:
    GeneratorFixture() : m_factory(&m_logger) {
        m_logger.SetOutput(&m_output);
        m_logger.SetLevel(CKSLogger::kLevelDebug);
    }

    // A generator of the kind with its defaults, writing into the temporary folder, without the
    // pause after each file.
    std::unique_ptr<CKSFileGenerator> Make(std::u16string_view kind) {
        std::unique_ptr<CKSFileGenerator> generator = m_factory.CreateForKind(kind);
        if (generator) {
            WriteIntoTempDir(*generator);
        }
        return generator;
    }
    // The same for a generator made directly (a test's own subclass): its type and defaults,
    // the temporary folder, no pause.
    void Prepare(CKSFileGenerator& generator, std::u16string_view kind) {
        generator.GetProperties().Get(u"Type").SetTextValue(kind);
        generator.AddTypeProperties();
        WriteIntoTempDir(generator);
    }

    static void Set(CKSFileGenerator& generator, std::u16string_view name, std::u16string_view value) {
        generator.GetProperties().Get(name).ParseValue(value);
    }

    using Values = std::initializer_list<std::pair<std::u16string_view, std::u16string_view>>;
    // Runs one file of the kind with SimpleName on and the given properties, and answers its
    // bytes; empty, with a failure noted, unless exactly one file came out.
    std::string MakeOne(std::u16string_view kind, Values values, std::uint32_t seed) {
        auto generator = Make(kind);
        Set(*generator, u"SimpleName", u"1");
        for (const auto& [name, value] : values) {
            Set(*generator, name, value);
        }
        generator->SetSeed(seed);
        generator->Run();
        const auto files = Files();
        EXPECT_EQ(files.size(), 1u) << m_output.All();
        return files.size() == 1 ? Read(*files.begin()) : std::string();
    }

    // The bytes of one file and what a manifest recorded of it (its damage, when it has any).
    struct Recorded {
        std::string bytes;
        std::optional<CDamageRecord> damage;
    };
    // Runs one seeded file of the kind with SimpleName on, the values and a manifest; empty, with
    // a failure noted, unless exactly one file came out.
    Recorded MakeRecorded(std::u16string_view kind, Values values, std::uint32_t seed) {
        auto generator = Make(kind);
        Set(*generator, u"SimpleName", u"1");
        for (const auto& [name, value] : values) {
            Set(*generator, name, value);
        }
        CKSBatchManifest manifest(CKSString::FromUtf8(m_dir.Path().string()), CManifestRun{});
        generator->SetManifest(&manifest, CKSString(u"recorded"));
        generator->SetSeed(seed);
        generator->Run();
        const std::vector<CManifestFile> files = manifest.Files();
        EXPECT_EQ(files.size(), 1u) << m_output.All();
        return files.size() == 1 ? Recorded{Read(files[0].path), files[0].damage} : Recorded{};
    }

    // Names of the files in the temporary folder (not in sub-folders).
    std::set<std::string> Files() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_dir.Path())) {
            if (entry.is_regular_file()) {
                names.insert(entry.path().filename().string());
            }
        }
        return names;
    }
    std::string Read(const std::string& name) const { return ReadFileBytes(m_dir.File(name)); }

    CKSLogger& Logger() { return m_logger; }
    CapturingOutput& Output() { return m_output; }
    CKSFileGeneratorFactory& Factory() { return m_factory; }
    const TempDir& Dir() const { return m_dir; }

private:
    void WriteIntoTempDir(CKSFileGenerator& generator) {
        generator.SetOutputFolder(CKSString::FromUtf8(m_dir.Path().string()));
        generator.SetName();
        generator.SetPace(0);
    }

    TempDir m_dir;
    CapturingOutput m_output;
    CKSLogger m_logger;
    CKSFileGeneratorFactory m_factory;
};
