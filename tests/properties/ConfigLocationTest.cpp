// Locating the configuration file and creating one on the first run.

#include "properties/ConfigLocation.h"
#include "properties/FakemillSettings.h"
#include "properties/KSRegUtil.h"
#include "support/IniProfile.h"
#include "tests/properties/SettingsTestSupport.h"

#include <filesystem>

namespace {

// Runs in another folder for the length of a test.
class CurrentFolder {
public:
    explicit CurrentFolder(const std::filesystem::path& folder)
        : m_previous(std::filesystem::current_path()) {
        std::filesystem::current_path(folder);
    }
    ~CurrentFolder() { std::filesystem::current_path(m_previous); }

private:
    std::filesystem::path m_previous;
};

CKSString Recorded() {
    CKSString value;
    KSRegUtil(kConfigPointerKeyPath, false).ReadString(kConfigFileValue, value, 4096);
    return value;
}

} // namespace

class ConfigLocation : public SettingsTest {
protected:
    CConfigLocation m_location{&m_logger};
};

TEST_F(ConfigLocation, TheEnvironmentWinsOverTheRecordedPath) {
    const std::filesystem::path work = m_dir.Path() / "work";
    std::filesystem::create_directory(work);
    WriteFileBytes((work / "mine.ini").string(), "[a]\r\n");
    ASSERT_TRUE(CConfigLocation::RecordConfigFile(u"/somewhere/else.ini"));
    const CurrentFolder inWork(work);
    ::setenv("FKMCONFIG", "mine.ini", 1);
    CKSString path;
    ASSERT_TRUE(m_location.Locate(path));
    EXPECT_EQ(path.ToUtf8(), (work / "mine.ini").string());
    EXPECT_TRUE(m_lines.lines.empty());
}

TEST_F(ConfigLocation, WithoutTheEnvironmentTheRecordedPathIsUsed) {
    const std::string file = m_dir.File("recorded.ini");
    WriteFileBytes(file, "");
    CKSString path;
    EXPECT_FALSE(m_location.Locate(path)) << "nothing recorded yet";
    ASSERT_TRUE(CConfigLocation::RecordConfigFile(CKSString::FromUtf8(file)));
    ASSERT_TRUE(m_location.Locate(path));
    EXPECT_EQ(path.ToUtf8(), file);
    // Set but empty is the same as not set.
    ::setenv("FKMCONFIG", "", 1);
    ASSERT_TRUE(m_location.Locate(path));
    EXPECT_EQ(path.ToUtf8(), file);
    EXPECT_TRUE(m_lines.lines.empty());
}

TEST_F(ConfigLocation, ANameTheSearchCannotFindIsUsedAsGiven) {
    const CurrentFolder inTemp(m_dir.Path());
    ::setenv("FKMCONFIG", "nowhere to be found.ini", 1);
    CKSString path;
    ASSERT_TRUE(m_location.Locate(path));
    EXPECT_EQ(path.Str(), u"nowhere to be found.ini");
    EXPECT_TRUE(m_lines.Has("WARNING:Not hopeful finding nowhere to be found.ini"));

    ::setenv("FKMCONFIG", "/no/such/folder/x.ini", 1);
    ASSERT_TRUE(m_location.Locate(path));
    EXPECT_EQ(path.Str(), u"/no/such/folder/x.ini");
    EXPECT_TRUE(m_lines.Has("WARNING:Not hopeful finding /no/such/folder/x.ini"));
}

TEST_F(ConfigLocation, ARelativeNameIsAlsoSoughtBesideTheProgram) {
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe");
    const std::string name = "config-location-test-" + std::to_string(::getpid()) + ".ini";
    const std::filesystem::path besideProgram = program.parent_path() / name;
    WriteFileBytes(besideProgram.string(), "");
    const CurrentFolder inTemp(m_dir.Path());
    CKSString found;
    const bool ok = CConfigLocation::SearchPath(CKSString::FromUtf8(name), found);
    std::filesystem::remove(besideProgram);
    ASSERT_TRUE(ok);
    EXPECT_EQ(found.ToUtf8(), besideProgram.string());
    // The current folder comes first.
    WriteFileBytes(m_dir.File("here.ini"), "");
    ASSERT_TRUE(CConfigLocation::SearchPath(u"./here.ini", found));
    EXPECT_EQ(found.ToUtf8(), m_dir.File("here.ini"));
}

TEST_F(ConfigLocation, FirstRunCreatesTheFoldersAndRecordsThePath) {
    CKSString path;
    ASSERT_TRUE(m_location.LocateOrInitialize(path));
    const std::filesystem::path folder = m_config / "Kestrune" / "fakemill";
    EXPECT_TRUE(std::filesystem::is_directory(folder));
    EXPECT_EQ(path.ToUtf8(), (folder / "fakemill.ini").string());
    EXPECT_EQ(Recorded().ToUtf8(), (folder / "fakemill.ini").string());
    EXPECT_FALSE(std::filesystem::exists(folder / "fakemill.ini")) << "the first write makes the file";
    EXPECT_TRUE(CIniProfile::GetSectionNames(path).empty());
    EXPECT_TRUE(m_lines.Has("No LoadConfig, initializing..."));
    EXPECT_FALSE(m_lines.Has("ERROR:Initialized config, but could not load it."));

    // The next start finds what the first one recorded, quietly once the file exists.
    ASSERT_TRUE(CIniProfile::WriteString(path, u"First", u"Type", u"txt"));
    m_lines.lines.clear();
    CKSString again;
    ASSERT_TRUE(m_location.LocateOrInitialize(again));
    EXPECT_EQ(again.Str(), path.Str());
    EXPECT_TRUE(m_lines.lines.empty());
}

TEST_F(ConfigLocation, AFileInTheWayOfTheFolderIsReported) {
    const std::filesystem::path inTheWay = m_config / "Kestrune";
    WriteFileBytes(inTheWay.string(), "not a folder");
    CKSString path;
    // On this platform the settings store lives in that folder too, so nothing can be recorded
    // and the start-up ends with its error.
    EXPECT_FALSE(m_location.LocateOrInitialize(path));
    EXPECT_TRUE(m_lines.Has("ERROR:" + inTheWay.string() + " already exists, but is not a directory."));
    EXPECT_TRUE(m_lines.Has("ERROR:Initialized config, but could not load it."));
    EXPECT_EQ(ReadFileBytes(inTheWay.string()), "not a folder");

    // A file in the way one level down is reported the same way.
    std::filesystem::remove(inTheWay);
    std::filesystem::create_directory(inTheWay);
    WriteFileBytes((inTheWay / "fakemill").string(), "");
    m_lines.lines.clear();
    EXPECT_TRUE(m_location.Initialize(CKSString::FromUtf8(m_config.string())));
    EXPECT_TRUE(m_lines.Has("ERROR:" + (inTheWay / "fakemill").string() +
                            " already exists, but is not a directory."));
}

TEST_F(ConfigLocation, LongPathsReadBackWhole) {
    const std::u16string longPath = u"/" + std::u16string(199, u'c');
    ASSERT_EQ(longPath.size(), 200u);
    ASSERT_TRUE(CConfigLocation::RecordConfigFile(longPath));
    CKSString path;
    ASSERT_TRUE(m_location.Locate(path));
    EXPECT_EQ(path.Str(), longPath);

    // A name longer than the platform takes is refused, never cut and used.
    ::setenv("FKMCONFIG", std::string(5000, 'x').c_str(), 1);
    EXPECT_FALSE(m_location.Locate(path));
    EXPECT_EQ(path.Str(), longPath);
}

TEST_F(ConfigLocation, NoRoamingFolderMeansInitialisationFails) {
    EXPECT_FALSE(m_location.Initialize(CKSString(u"")));
    EXPECT_TRUE(Recorded().IsEmpty());
}
