// The settings store and the main settings accessors.

#include "properties/FakemillSettings.h"
#include "properties/KSRegUtil.h"
#include "tests/properties/SettingsTestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr char16_t kTestKey[] = u"Software\\Kestrune\\RegTest";

// Runs the check in a child process, whose settings come from the disk and not from this
// process's cache of them.
bool InFreshProcess(const std::function<bool()>& check) {
    const pid_t child = ::fork();
    if (child == 0) {
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

} // namespace

using RegUtil = SettingsTest;

TEST_F(RegUtil, ValuesOfEveryKindGoToDiskAndComeBack) {
    KSRegUtil key(kTestKey);
    ASSERT_TRUE(key.IsOpen());
    ASSERT_TRUE(key.WriteString(u"text", u"caf\u00e9 \\ \"quoted\" = ; [x]"));
    EXPECT_EQ(key.LastWrittenSize(), 2u * (23u + 1u)); // 23 characters and the terminator
    ASSERT_TRUE(key.WriteDword(u"number", 4000000000u));
    EXPECT_EQ(key.LastWrittenSize(), 4u);
    ASSERT_TRUE(key.WriteRect(u"rect", KSRect{-10, 20, -300, 2147483647}));
    EXPECT_EQ(key.LastWrittenSize(), 16u);
    key.Close();
    EXPECT_TRUE(std::filesystem::exists(m_config / "Kestrune" / "RegTest.conf"));

    EXPECT_TRUE(InFreshProcess([] {
        const KSRegUtil reader(kTestKey, false);
        CKSString text;
        std::uint32_t number = 0;
        KSRect rect;
        return reader.ReadString(u"text", text) && text.Str() == u"caf\u00e9 \\ \"quoted\" = ; [x]" &&
               reader.ReadDword(u"number", number) && number == 4000000000u &&
               reader.ReadRect(u"rect", rect) && rect.left == -10 && rect.top == 20 && rect.right == -300 &&
               rect.bottom == 2147483647;
    }));
}

TEST_F(RegUtil, StringsReadOnlyWhenTheyFitTheCapacity) {
    KSRegUtil key(kTestKey);
    const std::u16string fits(259, u'x');
    const std::u16string tooLong(260, u'y');
    ASSERT_TRUE(key.WriteString(u"fits", fits));
    ASSERT_TRUE(key.WriteString(u"long", tooLong));
    CKSString text(u"unchanged");
    EXPECT_TRUE(key.ReadString(u"fits", text));
    EXPECT_EQ(text.Str(), fits);
    text = CKSString(u"unchanged");
    EXPECT_FALSE(key.ReadString(u"long", text));
    EXPECT_EQ(text.Str(), u"unchanged");
    EXPECT_TRUE(key.ReadString(u"long", text, 261));
    EXPECT_EQ(text.Str(), tooLong);
}

TEST_F(RegUtil, MissingAndMismatchedValuesDoNotRead) {
    KSRegUtil key(kTestKey);
    ASSERT_TRUE(key.WriteString(u"word", u"abc"));
    ASSERT_TRUE(key.WriteString(u"huge", u"4294967296"));
    ASSERT_TRUE(key.WriteString(u"negative", u"-1"));
    ASSERT_TRUE(key.WriteRect(u"rect", KSRect{1, 2, 3, 4}));
    CKSString text;
    std::uint32_t number = 7;
    KSRect rect{9, 9, 9, 9};
    EXPECT_FALSE(key.ReadString(u"absent", text));
    EXPECT_FALSE(key.ReadDword(u"absent", number));
    EXPECT_FALSE(key.ReadDword(u"word", number));
    EXPECT_FALSE(key.ReadDword(u"huge", number));
    EXPECT_FALSE(key.ReadDword(u"negative", number));
    EXPECT_EQ(number, 7u);
    EXPECT_FALSE(key.ReadRect(u"word", rect));
    EXPECT_FALSE(key.ReadString(u"rect", text));
    EXPECT_EQ(rect.left, 9);
}

TEST_F(RegUtil, OpeningWithoutCreatingNeedsAnExistingKey) {
    EXPECT_FALSE(KSRegUtil(kTestKey, false).IsOpen());
    EXPECT_FALSE(std::filesystem::exists(m_config / "Kestrune"));
    KSRegUtil closed(kTestKey, false);
    EXPECT_FALSE(closed.WriteString(u"x", u"y"));
    CKSString text;
    EXPECT_FALSE(closed.ReadString(u"x", text));

    EXPECT_TRUE(KSRegUtil(kTestKey).IsOpen()); // creates the key, empty
    EXPECT_TRUE(KSRegUtil(kTestKey, false).IsOpen());
    // Only keys below "Software\\<maker>\\<product>" exist.
    EXPECT_FALSE(KSRegUtil(u"Software\\Kestrune").IsOpen());
    EXPECT_FALSE(KSRegUtil(u"Hardware\\Kestrune\\Fakemill").IsOpen());
}

TEST_F(RegUtil, DeeperKeysAreGroupsOfTheirStore) {
    KSRegUtil sub(u"Software\\Kestrune\\RegTest\\Windows\\Main");
    ASSERT_TRUE(sub.WriteDword(u"width", 640));
    KSRegUtil top(kTestKey);
    ASSERT_TRUE(top.WriteDword(u"width", 1));
    std::uint32_t width = 0;
    EXPECT_TRUE(KSRegUtil(u"Software\\Kestrune\\RegTest\\Windows\\Main", false).ReadDword(u"width", width));
    EXPECT_EQ(width, 640u);
    EXPECT_FALSE(KSRegUtil(u"Software\\Kestrune\\RegTest\\Other", false).IsOpen());
}

TEST_F(RegUtil, KeyPathMaker) {
    EXPECT_EQ(CKeyPathMaker::Application().Get().Str(), u"Software\\Kestrune\\Fakemill");
    // The buffer holds 13 characters more than the base, terminator included.
    EXPECT_EQ(CKeyPathMaker(u"Base", u"ABCDEFGHIJKLMNOP").Get().Str(), u"Base\\ABCDEFGHIJK");
}

using Settings = SettingsTest;

TEST_F(Settings, TheTableGivesEveryValueItsDefaultAndKeepsItWithinItsBounds) {
    CFakemillSettings settings;
    // Nothing stored: the defaults, and the user is asked for the destination.
    EXPECT_TRUE(settings.ShouldPromptForDestination());
    EXPECT_EQ(settings.Get(settings_key::kCopySeparator), u':');
    EXPECT_EQ(settings.Get(settings_key::kHashColumns[2]), 120u);
    EXPECT_EQ(settings.Get(settings_key::kMainColumns[0]), 104u);
    CKSString path(u"kept");
    EXPECT_FALSE(settings.Get(settings_key::kGeneratorPath, path));
    EXPECT_EQ(path.Str(), u"kept");

    // Damaged values, written under the users' names by something else: each reads as its default.
    {
        KSRegUtil key(CKeyPathMaker::Application().Get().View());
        ASSERT_TRUE(key.WriteDword(u"hashtype", 9));
        ASSERT_TRUE(key.WriteDword(u"copysep", 0));
        ASSERT_TRUE(key.WriteDword(u"MainCol2", 0));
        ASSERT_TRUE(key.WriteDword(u"HashCol3", 250000));
        ASSERT_TRUE(key.WriteDword(u"BinViewChars", 7));
        ASSERT_TRUE(key.WriteString(u"generatorprompt", u"yes"));
    }
    EXPECT_EQ(settings.Get(settings_key::kHashType), 0u);
    EXPECT_EQ(settings.Get(settings_key::kCopySeparator), u':');
    EXPECT_EQ(settings.Get(settings_key::kMainColumns[1]), 104u);
    EXPECT_EQ(settings.Get(settings_key::kHashColumns[2]), 120u);
    EXPECT_FALSE(settings.Get(settings_key::kBinaryViewerCharacters));
    EXPECT_TRUE(settings.ShouldPromptForDestination());

    // A value outside its bounds is refused, not stored.
    EXPECT_FALSE(settings.Set(settings_key::kHashType, 4));
    EXPECT_FALSE(settings.Set(settings_key::kCopyOptions, 8));
    EXPECT_FALSE(settings.Set(settings_key::kGeneratorPath, std::u16string(5000, u'd')));
    ASSERT_TRUE(settings.Set(settings_key::kHashType, 3));
    ASSERT_TRUE(settings.Set(settings_key::kGeneratorPrompt, 1));
    // Paths are bounded by the platform, not by 260 characters.
    const std::u16string deep = u"/home/tester/" + std::u16string(400, u'd') + u"/testfiles";
    ASSERT_TRUE(settings.Set(settings_key::kGeneratorPath, deep));
    EXPECT_FALSE(settings.ShouldPromptForDestination());
    ASSERT_FALSE(settings.Save().Failed());
    EXPECT_TRUE(InFreshProcess([deep] {
        const CFakemillSettings fresh;
        CKSString stored;
        return fresh.Get(settings_key::kHashType) == 3 && !fresh.ShouldPromptForDestination() &&
               fresh.Get(settings_key::kGeneratorPath, stored) && stored.Str() == deep;
    }));
    EXPECT_TRUE(std::filesystem::exists(m_config / "Kestrune" / "Fakemill.conf"));
}

TEST_F(Settings, OneStoreKeptOpenWritesAtSaveAndWindowPlacesSurviveTheOldRectangle) {
    CFakemillSettings settings;
    ASSERT_TRUE(settings.Set(settings_key::kCopyOptions, 5));
    // Set keeps the value; only Save takes it to the disk.
    const std::string file = (m_config / "Kestrune" / "Fakemill.conf").string();
    EXPECT_EQ(ReadFileBytes(file).find("copyoptions=5"), std::string::npos);
    ASSERT_FALSE(settings.Save().Failed());
    EXPECT_NE(ReadFileBytes(file).find("copyoptions=5"), std::string::npos) << ReadFileBytes(file);

    // An earlier version's 16-byte rectangle reads once as a rectangle; what a window saves now
    // (its geometry, of another size) replaces it under the same name.
    ASSERT_TRUE(KSRegUtil(CKeyPathMaker::Application().Get().View())
                    .WriteRect(u"wndstate", KSRect{10, 20, 810, 620}));
    const CStoredPlacement old = settings.Get(settings_key::kWindowState);
    ASSERT_TRUE(old.oldRect.has_value());
    EXPECT_EQ(old.oldRect->right, 810);
    EXPECT_TRUE(old.geometry.isEmpty());
    const QByteArray geometry("\x01\xd9\xd0\xcb geometry of a window, longer than a rectangle", 48);
    ASSERT_TRUE(settings.Set(settings_key::kWindowState, geometry));
    ASSERT_FALSE(settings.Save().Failed());
    const CStoredPlacement now = CFakemillSettings().Get(settings_key::kWindowState);
    EXPECT_FALSE(now.oldRect.has_value());
    EXPECT_EQ(now.geometry, geometry);
    // A rectangle without area is no placement.
    ASSERT_TRUE(KSRegUtil(CKeyPathMaker::Application().Get().View())
                    .WriteRect(u"HashCalculatorWnd", KSRect{10, 20, 10, 620}));
    EXPECT_FALSE(settings.Get(settings_key::kHashCalculatorWindow).oldRect.has_value());
}

TEST_F(Settings, AStoreThatCannotBeWrittenReadsDefaultsAndSaysWhyItCannotSave) {
    WriteFileBytes((m_config / "Kestrune").string(), "a file where the folder belongs");
    CFakemillSettings settings;
    settings.SetFailureLog(&m_logger);
    EXPECT_FALSE(settings.Set(settings_key::kGeneratorPrompt, 1));
    EXPECT_FALSE(settings.Set(settings_key::kGeneratorPath, u"/tmp"));
    EXPECT_FALSE(settings.Set(settings_key::kWindowState, QByteArray("geometry")));
    EXPECT_TRUE(settings.ShouldPromptForDestination());
    const CKSError failure = settings.Save();
    const std::string file = (m_config / "Kestrune" / "Fakemill.conf").string();
    EXPECT_EQ(Utf16ToUtf8(failure.Text()), "Could not save the settings to " + file + ": Not a directory");
    EXPECT_TRUE(m_lines.Has("ERROR:Could not save the settings to " + file + ": Not a directory"))
        << (m_lines.lines.empty() ? "" : m_lines.lines.back());
}
