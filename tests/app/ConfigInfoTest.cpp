#include "app/ConfigInfoUI.h"
#include "tests/cli/CliRunner.h"
#include "tests/common/CapturingOutput.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

class RecordingLister : public IGeneratorLister {
public:
    void AddDefinition(const CKSString& name) override { names.push_back(name.ToUtf8()); }
    std::vector<std::string> names;
};

std::filesystem::path ConfigHome() {
    return std::getenv("XDG_CONFIG_HOME");
}

} // namespace

TEST(LoadConfig, TheEnvironmentNamesTheFileAndItsSectionsAreCounted) {
    TempDir dir;
    const std::string path = dir.File("mine.ini");
    WriteFileBytes(path, "[one]\nType=bin\n[two]\n[three]\nType=txt\n");
    ::setenv("FKMCONFIG", path.c_str(), 1);
    RecordingLister lister;
    CConfigInfoUI config;
    CKSLogger logger;
    EXPECT_TRUE(config.Load(&logger, &lister));
    EXPECT_EQ(config.GetConfigFile().ToUtf8(), path);
    EXPECT_EQ(config.GetDefinitionCount(), 3u);
    EXPECT_EQ(lister.names, (std::vector<std::string>{"one", "two", "three"}));
    // The lister hears the names once the load is complete, with no lock held.
    class Reentrant : public IGeneratorLister {
    public:
        explicit Reentrant(CConfigInfoUI& config) : m_config(config) {}
        void AddDefinition(const CKSString&) override { counts.push_back(m_config.GetDefinitionCount()); }
        std::vector<std::uint32_t> counts;

    private:
        CConfigInfoUI& m_config;
    } reentrant(config);
    config.LoadAt(CKSString::FromUtf8(path), &reentrant);
    EXPECT_EQ(reentrant.counts, (std::vector<std::uint32_t>{3, 3, 3}));
    ::unsetenv("FKMCONFIG");
}

TEST(LoadConfig, AFirstRunMakesAConfigurationAndStartsEmpty) {
    CKSLogger logger;
    EXPECT_FALSE(LoadConfig(&logger));
    CapturingOutput output;
    logger.SetOutput(&output);
    logger.SetLevel(CKSLogger::kLevelInfo);
    ASSERT_TRUE(LoadOrInitializeConfig(&logger)) << output.All();
    EXPECT_TRUE(output.Contains("No LoadConfig, initializing..."));
    const std::filesystem::path expected = ConfigHome() / "Kestrune" / "fakemill" / "fakemill.ini";
    EXPECT_TRUE(std::filesystem::is_directory(expected.parent_path()));
    EXPECT_EQ(CConfigInfoUI::Instance().GetConfigFile().ToUtf8(), expected.string());
    EXPECT_EQ(CConfigInfoUI::Instance().GetDefinitionCount(), 0u);
    // The next load finds the recorded path without initialising again.
    CapturingOutput again;
    logger.SetOutput(&again);
    EXPECT_TRUE(LoadOrInitializeConfig(&logger));
    EXPECT_FALSE(again.Contains("initializing"));
}

TEST(LoadConfig, TheCommandLineUsesTheSameConfigurationWithoutAnOption) {
    const CliResult defined = RunCli({"define", "--type", "bin", "first run"});
    ASSERT_EQ(defined.status, 0) << defined.err;
    const std::filesystem::path expected = ConfigHome() / "Kestrune" / "fakemill" / "fakemill.ini";
    EXPECT_NE(ReadFileBytes(expected.string()).find("[first run]"), std::string::npos);
    const CliResult listed = RunCli({"list"});
    EXPECT_NE(listed.out.find("first run\tbin\t1000\t1"), std::string::npos) << listed.out;
}
