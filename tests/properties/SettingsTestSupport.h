#pragma once
// Shared by the settings tests: a fresh configuration folder for every test, used both as the
// roaming application-data folder and as the settings store's folder (as on a real system), and
// a logger whose lines can be inspected.

#include "support/KSLogger.h"
#include "tests/common/TempDir.h"

#include <QSettings>
#include <QString>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

class CapturedLines : public IOutput {
public:
    void Write(std::u16string_view text, bool) override { lines.emplace_back(Utf16ToUtf8(text)); }
    void WriteA(std::string_view text) override { lines.emplace_back(text); }
    bool Has(const std::string& line) const {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }
    std::vector<std::string> lines;
};

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_config = m_dir.Path() / "config";
        std::filesystem::create_directory(m_config);
        // The settings store caches its folder per process; pointing it (and the roaming folder)
        // at a fresh folder keeps tests apart even when they share a process.
        ::setenv("XDG_CONFIG_HOME", m_config.c_str(), 1);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(m_config.string()));
        ::unsetenv("FKMCONFIG");
        m_logger.SetLevel(CKSLogger::kLevelDebug);
        m_logger.SetOutput(&m_lines);
    }
    void TearDown() override { ::unsetenv("FKMCONFIG"); }

    TempDir m_dir;
    std::filesystem::path m_config;
    CapturedLines m_lines;
    CKSLogger m_logger{u"test", ""};
};
