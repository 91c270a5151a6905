#pragma once
// Builds generators the way a batch does, for tests that run them directly.

#include "engine/KSFileGeneratorFactory.h"
#include "tests/common/CapturingOutput.h"
#include "tests/common/TempDir.h"

#include <filesystem>
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
            generator->SetOutputFolder(CKSString::FromUtf8(m_dir.Path().string()));
            generator->SetName();
            generator->SetPace(0);
        }
        return generator;
    }

    static void Set(CKSFileGenerator& generator, std::u16string_view name, std::u16string_view value) {
        generator.GetProperties().Get(name).ParseValue(value);
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
    TempDir m_dir;
    CapturingOutput m_output;
    CKSLogger m_logger;
    CKSFileGeneratorFactory m_factory;
};
