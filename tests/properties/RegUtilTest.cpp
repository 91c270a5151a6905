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

TEST_F(Settings, MissingPromptMeansAsking) {
    const CFakemillSettings settings;
    std::uint32_t prompt = 5;
    EXPECT_FALSE(settings.GetGeneratorPrompt(prompt));
    EXPECT_TRUE(settings.ShouldPromptForDestination());
    ASSERT_TRUE(settings.SetGeneratorPrompt(1));
    EXPECT_FALSE(settings.ShouldPromptForDestination());
    ASSERT_TRUE(settings.SetGeneratorPrompt(0));
    EXPECT_TRUE(settings.ShouldPromptForDestination());
}

TEST_F(Settings, AccessorsUseTheApplicationKey) {
    const CFakemillSettings settings;
    CKSString path;
    EXPECT_FALSE(settings.GetGeneratorPath(path));
    // Paths are bounded by the platform, not by 260 characters.
    const std::u16string deep = u"/home/tester/" + std::u16string(400, u'd') + u"/testfiles";
    ASSERT_TRUE(settings.SetGeneratorPath(deep));
    ASSERT_TRUE(settings.GetGeneratorPath(path));
    EXPECT_EQ(path.Str(), deep);
    ASSERT_TRUE(settings.SaveWindowState(KSRect{10, 20, 810, 620}));
    ASSERT_TRUE(settings.SetCopyOptions(5));
    ASSERT_TRUE(settings.SetHashType(3));

    const KSRegUtil key(u"Software\\Kestrune\\Fakemill", false);
    KSRect rect;
    std::uint32_t options = 0;
    std::uint32_t hashType = 0;
    ASSERT_TRUE(key.ReadRect(settings_value::kWindowState, rect));
    EXPECT_EQ(rect.right, 810);
    EXPECT_EQ(rect.bottom, 620);
    EXPECT_TRUE(key.ReadDword(settings_value::kCopyOptions, options));
    EXPECT_EQ(options, 5u);
    EXPECT_TRUE(key.ReadDword(settings_value::kHashType, hashType));
    EXPECT_EQ(hashType, 3u);
    EXPECT_TRUE(std::filesystem::exists(m_config / "Kestrune" / "Fakemill.conf"));
}

TEST_F(Settings, AStoreThatCannotBeOpenedGivesFalse) {
    WriteFileBytes((m_config / "Kestrune").string(), "a file where the folder belongs");
    const CFakemillSettings settings;
    EXPECT_FALSE(settings.SetGeneratorPrompt(1));
    EXPECT_FALSE(settings.SetGeneratorPath(u"/tmp"));
    EXPECT_FALSE(settings.SaveWindowState(KSRect{}));
    EXPECT_FALSE(settings.SetCopyOptions(1));
    EXPECT_FALSE(settings.SetHashType(1));
    EXPECT_TRUE(settings.ShouldPromptForDestination());
}
