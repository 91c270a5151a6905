// Writing rules of the INI profile layer, checked byte for byte: in-place updates, where new keys
// and sections go, the file's own line ending and encoding, deletion and replacement, and the
// refusal of names and values that would corrupt the file.

#include "tests/support/IniTestSupport.h"

#include <QLockFile>
#include <QString>

#include <chrono>
#include <filesystem>
#include <thread>

namespace {

std::string Utf16Le(std::u16string_view text, bool mark = true) {
    std::string bytes = mark ? "\xFF\xFE" : "";
    for (const char16_t c : text) {
        bytes += static_cast<char>(c & 0xFF);
        bytes += static_cast<char>(c >> 8);
    }
    return bytes;
}

} // namespace

using IniWrite = IniFileTest;

TEST_F(IniWrite, NewFileGetsSectionAndKeyWithCrLf) {
    ASSERT_TRUE(Write(u"  Random binary ", u" Size ", u"1K,10K"));
    EXPECT_EQ(Bytes(), "[Random binary]\r\nSize=1K,10K\r\n");
    ASSERT_TRUE(Write(u"Random binary", u"Type", u"bin"));
    EXPECT_EQ(Bytes(), "[Random binary]\r\nSize=1K,10K\r\nType=bin\r\n");
}

TEST_F(IniWrite, UpdateInPlaceKeepsEveryOtherLineAndTheStoredSpelling) {
    const std::string before = "; header comment\r\n"
                               "\r\n"
                               "[Sec]\r\n"
                               "  MyKey = old value ;x\r\n"
                               "unknown=kept\r\n"
                               "not a key line\r\n"
                               "\r\n"
                               "[other]\nmykey=untouched\n";
    Put(before);
    ASSERT_TRUE(Write(u"sEC", u"mykey", u" new value "));
    EXPECT_EQ(Bytes(), "; header comment\r\n"
                       "\r\n"
                       "[Sec]\r\n"
                       "MyKey=\" new value \"\r\n"
                       "unknown=kept\r\n"
                       "not a key line\r\n"
                       "\r\n"
                       "[other]\nmykey=untouched\n");
    EXPECT_EQ(Get(u"sec", u"MYKEY"), u" new value "); // the blanks are the value's own
}

TEST_F(IniWrite, OnlyTheFirstOfDuplicatesIsUpdated) {
    Put("[a]\r\nk=1\r\nk=2\r\n[A]\r\nk=3\r\n");
    ASSERT_TRUE(Write(u"A", u"K", u"x"));
    EXPECT_EQ(Bytes(), "[a]\r\nk=x\r\nk=2\r\n[A]\r\nk=3\r\n");
}

TEST_F(IniWrite, NewKeysGoAfterTheLastKeyLineOfTheirSectionInCallOrder) {
    Put("[a]\r\nx=1\r\n; trailing comment\r\n\r\n[b]\r\ny=2\r\n");
    ASSERT_TRUE(Write(u"a", u"n1", u"v1"));
    ASSERT_TRUE(Write(u"a", u"n2", u"v2"));
    EXPECT_EQ(Bytes(), "[a]\r\nx=1\r\nn1=v1\r\nn2=v2\r\n; trailing comment\r\n\r\n[b]\r\ny=2\r\n");
    // A section without keys takes its first key right after the header.
    Put("[empty]\r\n; note\r\n[b]\r\n");
    ASSERT_TRUE(Write(u"empty", u"k", u"v"));
    EXPECT_EQ(Bytes(), "[empty]\r\nk=v\r\n; note\r\n[b]\r\n");
}

TEST_F(IniWrite, NewSectionsGoAtTheEndWithTheFilesOwnLineEnding) {
    Put("[a]\nx=1\n");
    ASSERT_TRUE(Write(u"b", u"k", u"v"));
    EXPECT_EQ(Bytes(), "[a]\nx=1\n[b]\nk=v\n");
    Put("[a]\rx=1\r");
    ASSERT_TRUE(Write(u"b", u"k", u"v"));
    EXPECT_EQ(Bytes(), "[a]\rx=1\r[b]\rk=v\r");
    // No terminator on the last line: it gets one before anything follows; no blank line added.
    Put("[a]\nx=1");
    ASSERT_TRUE(Write(u"b", u"k", u"v"));
    EXPECT_EQ(Bytes(), "[a]\nx=1\n[b]\nk=v\n");
    Put("[a]\nx=1");
    ASSERT_TRUE(Write(u"a", u"y", u"2"));
    EXPECT_EQ(Bytes(), "[a]\nx=1\ny=2\n");
    // A file without any line ending uses CR LF, as a new file does.
    Put("[a]");
    ASSERT_TRUE(Write(u"a", u"y", u"2"));
    EXPECT_EQ(Bytes(), "[a]\r\ny=2\r\n");
}

TEST_F(IniWrite, EveryValueReadsBackAsGiven) {
    // Blanks at either end, or a pair of quotes around the value, would be taken off by the
    // reader: such values go between double quotes.
    const std::u16string_view values[] = {u"  \"quoted\" ;not comment = still value\t",
                                          u", ",
                                          u"\ta",
                                          u"'single'",
                                          u"\"\"",
                                          u"plain ;text = too",
                                          u"",
                                          u"\"",
                                          u"a\"b\""};
    for (const std::u16string_view value : values) {
        ASSERT_TRUE(Write(u"s", u"k", value));
        EXPECT_EQ(Get(u"s", u"k"), value) << Utf16ToUtf8(value);
    }
    ASSERT_TRUE(Write(u"s", u"k", u", "));
    EXPECT_EQ(Bytes(), "[s]\r\nk=\", \"\r\n");
    ASSERT_TRUE(Write(u"s", u"k", u"plain"));
    EXPECT_EQ(Bytes(), "[s]\r\nk=plain\r\n");
    // A file written by hand keeps its meaning.
    Put("[h]\r\nk=  padded  \r\nq=\" kept \"\r\n");
    EXPECT_EQ(Get(u"h", u"k"), u"padded");
    EXPECT_EQ(Get(u"h", u"q"), u" kept ");
}

TEST_F(IniWrite, WriteNewSectionNeverReplacesAnExistingName) {
    Put("; notes\r\n[Alpha One]\r\nk=1\r\n");
    const std::string before = Bytes();
    for (const std::u16string_view name : {u"Alpha One", u"  alpha one", u"\tALPHA ONE \t"}) {
        bool existed = false;
        std::u16string error;
        EXPECT_FALSE(CIniProfile::WriteNewSection(Ini(), name, {{CKSString(u"k"), CKSString(u"2")}}, &error,
                                                  &existed));
        EXPECT_TRUE(existed);
        EXPECT_NE(error.find(u"already exists"), std::u16string::npos) << Utf16ToUtf8(error);
    }
    EXPECT_EQ(Bytes(), before);

    bool existed = true;
    ASSERT_TRUE(CIniProfile::WriteNewSection(
        Ini(), u" beta ", {{CKSString(u"k"), CKSString(u"2")}, {CKSString(u"v"), CKSString(u" x ")}}, nullptr,
        &existed));
    EXPECT_FALSE(existed);
    EXPECT_EQ(Sections(), (std::vector<std::u16string>{u"Alpha One", u"beta"}));
    EXPECT_EQ(Get(u"beta", u"v"), u" x ");
    // A refused name is refused before the question of existence.
    EXPECT_FALSE(
        CIniProfile::WriteNewSection(Ini(), u"a]b", {{CKSString(u"k"), CKSString(u"1")}}, nullptr, &existed));
    EXPECT_FALSE(existed);
}

TEST_F(IniWrite, WriteStringsIsOneChangeInCallOrder) {
    Put("[s]\r\nb=old\r\n");
    std::u16string error;
    ASSERT_TRUE(CIniProfile::WriteStrings(Ini(), u"s", {{u"a", u"1"}, {u"B", u"2"}, {u"c", u"3"}}, &error));
    EXPECT_EQ(Bytes(), "[s]\r\nb=2\r\na=1\r\nc=3\r\n");
    // Nothing to write leaves a missing file missing.
    std::filesystem::remove(Path());
    EXPECT_TRUE(CIniProfile::WriteStrings(Ini(), u"s", {}, &error));
    EXPECT_FALSE(std::filesystem::exists(Path()));
}

TEST_F(IniWrite, DeleteKey) {
    Put("[s]\r\na=1\r\n; c\r\nb=2\r\n[t]\r\na=3\r\n");
    EXPECT_TRUE(CIniProfile::DeleteKey(Ini(), u"S", u"A"));
    EXPECT_EQ(Bytes(), "[s]\r\n; c\r\nb=2\r\n[t]\r\na=3\r\n");
    EXPECT_TRUE(CIniProfile::DeleteKey(Ini(), u"s", u"missing"));
    EXPECT_TRUE(CIniProfile::DeleteKey(Ini(), u"missing", u"a"));
    EXPECT_EQ(Bytes(), "[s]\r\n; c\r\nb=2\r\n[t]\r\na=3\r\n");
    // Deleting from a missing file succeeds and creates nothing.
    const CKSString absent = CKSString::FromUtf8(m_dir.File("absent.ini"));
    EXPECT_TRUE(CIniProfile::DeleteKey(absent, u"s", u"k"));
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("absent.ini")));
}

TEST_F(IniWrite, DeleteSectionRemovesHeaderAndLinesUpToTheNextHeader) {
    Put("; top\r\n[a]\r\nx=1\r\n\r\n; about b\r\n[b]\r\ny=2\r\n; end\r\n[c]\r\nz=3");
    EXPECT_TRUE(CIniProfile::DeleteSection(Ini(), u"B"));
    EXPECT_EQ(Bytes(), "; top\r\n[a]\r\nx=1\r\n\r\n; about b\r\n[c]\r\nz=3");
    EXPECT_TRUE(CIniProfile::DeleteSection(Ini(), u"c"));
    EXPECT_EQ(Bytes(), "; top\r\n[a]\r\nx=1\r\n\r\n; about b\r\n");
    EXPECT_TRUE(CIniProfile::DeleteSection(Ini(), u"missing"));
    EXPECT_EQ(Sections(), (std::vector<std::u16string>{u"a"}));
    // Only the first section of a name goes; the next one of that name becomes visible.
    Put("[d]\r\nk=1\r\n[D]\r\nk=2\r\n");
    EXPECT_TRUE(CIniProfile::DeleteSection(Ini(), u"d"));
    EXPECT_EQ(Bytes(), "[D]\r\nk=2\r\n");
}

TEST_F(IniWrite, ReplaceSection) {
    Put("[a]\r\n; about a\r\nx=1\r\ny=2\r\n\r\n[b]\r\nz=3\r\n");
    ASSERT_TRUE(CIniProfile::ReplaceSection(Ini(), u"A", {{u"q", u"9"}, {u"p", u"8"}}));
    EXPECT_EQ(Bytes(), "[a]\r\n; about a\r\nq=9\r\np=8\r\n\r\n[b]\r\nz=3\r\n");
    ASSERT_TRUE(CIniProfile::ReplaceSection(Ini(), u"new", {{u"k", u"v"}}));
    EXPECT_EQ(Bytes(), "[a]\r\n; about a\r\nq=9\r\np=8\r\n\r\n[b]\r\nz=3\r\n[new]\r\nk=v\r\n");
    ASSERT_TRUE(CIniProfile::ReplaceSection(Ini(), u"b", {}));
    EXPECT_EQ(Bytes(), "[a]\r\n; about a\r\nq=9\r\np=8\r\n\r\n[b]\r\n[new]\r\nk=v\r\n");
}

TEST_F(IniWrite, FirstWriteNeedsAnExistingFolder) {
    const CKSString inMissing = CKSString::FromUtf8(m_dir.File("no/such/folder/x.ini"));
    std::u16string error;
    EXPECT_FALSE(CIniProfile::WriteString(inMissing, u"s", u"k", u"v", &error));
    EXPECT_NE(error.find(u"does not exist"), std::u16string::npos);
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("no")));
}

TEST_F(IniWrite, CopyProfileReplacesTheTargetByteForByteOrSaysWhyNot) {
    const std::string source = Utf16Le(u"; kept\r\n[ A ]\r\nk = v\r\n[b]");
    Put(source);
    const std::string target = m_dir.File("copy.ini");
    WriteFileBytes(target, "[old]\r\nk=1\r\n[older]\r\n");
    std::u16string error;
    ASSERT_TRUE(CIniProfile::CopyProfile(Ini(), CKSString::FromUtf8(target), &error)) << Utf16ToUtf8(error);
    EXPECT_EQ(ReadFileBytes(target), source);
    EXPECT_TRUE(CIniProfile::HasSection(CKSString::FromUtf8(target), u"a"));
    EXPECT_FALSE(CIniProfile::HasSection(CKSString::FromUtf8(target), u"old"));

    EXPECT_FALSE(CIniProfile::CopyProfile(Ini(), CKSString::FromUtf8(m_dir.File("no/such/x.ini")), &error));
    EXPECT_NE(error.find(u"does not exist"), std::u16string::npos);
    // An unreadable source copies nothing: the target keeps what it had.
    std::filesystem::create_directory(m_dir.File("folder.ini"));
    EXPECT_FALSE(CIniProfile::CopyProfile(CKSString::FromUtf8(m_dir.File("folder.ini")),
                                          CKSString::FromUtf8(target), &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(ReadFileBytes(target), source);
    // A configuration that was never written copies as an empty file.
    ASSERT_TRUE(CIniProfile::CopyProfile(CKSString::FromUtf8(m_dir.File("never.ini")),
                                         CKSString::FromUtf8(target), &error));
    EXPECT_EQ(ReadFileBytes(target), "");
}

TEST_F(IniWrite, CopyProfileWaitsForTheTargetsLock) {
    Put("[s]\r\nk=v\r\n");
    const std::string target = m_dir.File("copy.ini");
    QLockFile held(QString::fromStdString(target + ".lock"));
    ASSERT_TRUE(held.tryLock(0));
    std::thread release([&held] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        held.unlock();
    });
    const auto start = std::chrono::steady_clock::now();
    std::u16string error;
    const bool copied = CIniProfile::CopyProfile(Ini(), CKSString::FromUtf8(target), &error);
    const auto waited = std::chrono::steady_clock::now() - start;
    release.join();
    ASSERT_TRUE(copied) << Utf16ToUtf8(error);
    EXPECT_GE(waited, std::chrono::milliseconds(350))
        << "the copy must not write while another holds the lock";
    EXPECT_EQ(ReadFileBytes(target), "[s]\r\nk=v\r\n");
}

TEST_F(IniWrite, Utf8MarkAndUtf16FilesStayAsTheyAre) {
    Put("\xEF\xBB\xBF[s]\nk=1\n");
    ASSERT_TRUE(Write(u"s", u"k", u"\u20ac"));
    ASSERT_TRUE(Write(u"\u00e9t\u00e9", u"cl\u00e9", u"v"));
    EXPECT_EQ(Bytes(), "\xEF\xBB\xBF[s]\nk=\xE2\x82\xAC\n[\xC3\xA9t\xC3\xA9]\ncl\xC3\xA9=v\n");

    Put(Utf16Le(u"[s]\r\nk=1\r\n"));
    ASSERT_TRUE(Write(u"s", u"k", u"\u20ac2"));
    ASSERT_TRUE(Write(u"t", u"\U0001F600", u"x"));
    EXPECT_EQ(Bytes(), Utf16Le(u"[s]\r\nk=\u20ac2\r\n[t]\r\n\U0001F600=x\r\n"));
    EXPECT_EQ(Get(u"t", u"\U0001F600"), u"x");
}

TEST_F(IniWrite, UndecodableBytesOfOtherLinesSurviveAWrite) {
    const std::string odd = "[s]\r\nbad=\xFF\xFE\xC3(\r\n\xE9t\xE9=latin1\r\n";
    Put(odd);
    ASSERT_TRUE(Write(u"s", u"new", u"1"));
    EXPECT_EQ(Bytes(), "[s]\r\nbad=\xFF\xFE\xC3(\r\n\xE9t\xE9=latin1\r\nnew=1\r\n");
    // The stored spelling of an undecodable key is kept when its value changes.
    ASSERT_TRUE(Write(u"s", u"\ufffdt\ufffd", u"2"));
    EXPECT_EQ(Bytes(), "[s]\r\nbad=\xFF\xFE\xC3(\r\n\xE9t\xE9=2\r\nnew=1\r\n");
    // A truncated UTF-16 file keeps its odd last byte.
    Put(Utf16Le(u"[s]\r\nk=1\r\n") + "\x41");
    ASSERT_TRUE(Write(u"s", u"k", u"2"));
    EXPECT_EQ(Bytes(), Utf16Le(u"[s]\r\nk=2\r\n") + "\x41");
}

// Names and values that would change the shape of the file are refused and nothing is written.
TEST_F(IniWrite, CorruptingNamesAndValuesAreRefused) {
    const std::string before = "[s]\r\nk=v\r\n";
    Put(before);
    struct Case {
        std::u16string section;
        std::u16string key;
        std::u16string value;
    };
    const Case refused[] = {
        {u"x]\r\n[y", u"k", u"v"},
        {u"x]", u"k", u"v"},
        {u"[x", u"k", u"v"},
        {u"a\nb", u"k", u"v"},
        {u"a\rb", u"k", u"v"},
        {std::u16string(u"a\0b", 3), u"k", u"v"},
        {u"", u"k", u"v"},
        {u"   ", u"k", u"v"},
        {u"s", u"", u"v"},
        {u"s", u" \t", u"v"},
        {u"s", u"a=b", u"v"},
        {u"s", u"k\r\n[evil]", u"v"},
        {u"s", u";commented", u"v"},
        {u"s", u"  ;commented", u"v"},
        {u"s", u"[header", u"v"},
        {u"s", std::u16string(u"k\0", 2), u"v"},
        {u"s", u"k", u"line\r\n[evil]\r\nx=1"},
        {u"s", u"k", u"cr\ronly"},
        {u"s", u"k", std::u16string(u"nul\0", 4)},
    };
    for (const Case& c : refused) {
        std::u16string error;
        EXPECT_FALSE(CIniProfile::WriteString(Ini(), c.section, c.key, c.value, &error))
            << Utf16ToUtf8(c.section) << " / " << Utf16ToUtf8(c.key);
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(error.find_first_of(u"\r\n"), std::u16string::npos) << "an error message stays one line";
        EXPECT_FALSE(CIniProfile::ReplaceSection(Ini(), c.section, {{c.key, c.value}}));
    }
    EXPECT_EQ(Bytes(), before);
    EXPECT_EQ(Sections(), (std::vector<std::u16string>{u"s"}));

    // All or nothing: one bad value refuses the whole set.
    EXPECT_FALSE(CIniProfile::WriteStrings(Ini(), u"s", {{u"a", u"1"}, {u"b", u"x\ny"}, {u"c", u"3"}}));
    EXPECT_EQ(Bytes(), before);

    // What is allowed: other punctuation, inner blanks, '=' and brackets in values.
    EXPECT_TRUE(CIniProfile::CheckSectionName(u" ;odd name = ok ").empty());
    EXPECT_TRUE(CIniProfile::CheckKey(u"a]b;c").empty());
    EXPECT_TRUE(CIniProfile::CheckValue(u"[x]=;y").empty());
}
