// Reading rules of the INI profile layer: line endings, blanks, sections, keys, comments,
// case-insensitive names, duplicates, quotes, defaults and encodings.

#include "tests/support/IniTestSupport.h"

#include <sys/stat.h>

#include <thread>

using Strings = std::vector<std::u16string>;

using IniRead = IniFileTest;

TEST_F(IniRead, LineEndingsOfEveryKindSplitLines) {
    Put("[a]\r\nx=1\ry=2\nz=3\r\n\r\n[b]\rw=4");
    EXPECT_EQ(Get(u"a", u"x"), u"1");
    EXPECT_EQ(Get(u"a", u"y"), u"2");
    EXPECT_EQ(Get(u"a", u"z"), u"3");
    EXPECT_EQ(Get(u"b", u"w"), u"4");
    EXPECT_EQ(Sections(), (Strings{u"a", u"b"}));
}

TEST_F(IniRead, BlanksAreTrimmedAroundLinesNamesAndValues) {
    Put(" \t[ s p ]\t\r\n\v  key one \t=\t value  one \v\r\n");
    EXPECT_EQ(Sections(), (Strings{u"s p"}));
    EXPECT_EQ(Get(u"s p", u"key one"), u"value  one");
    // Names passed in are trimmed too; inner blanks are part of the name.
    EXPECT_EQ(Get(u"  s p ", u" key one  "), u"value  one");
    EXPECT_EQ(Get(u"sp", u"key one"), u"<default>");
}

TEST_F(IniRead, SectionHeaders) {
    Put("[first] trailing text ignored\r\n"
        "a=1\r\n"
        "[no closing bracket  \r\n"
        "b=2\r\n"
        "[]\r\n"
        "c=3\r\n"
        "[x]y]\r\n"
        "d=4\r\n");
    EXPECT_EQ(Sections(), (Strings{u"first", u"no closing bracket", u"", u"x"}));
    EXPECT_EQ(Get(u"first", u"a"), u"1");
    EXPECT_EQ(Get(u"no closing bracket", u"b"), u"2");
    EXPECT_EQ(Get(u"", u"c"), u"3");
    EXPECT_EQ(Get(u"x", u"d"), u"4");
}

TEST_F(IniRead, KeyLinesSplitAtTheFirstEquals) {
    Put("[s]\r\n"
        "a=b=c\r\n"
        "=empty name\r\n"
        "e=\r\n"
        "no equals sign\r\n"
        "f = x ;not a comment # nor this\r\n");
    EXPECT_EQ(Get(u"s", u"a"), u"b=c");
    EXPECT_EQ(Get(u"s", u""), u"empty name");
    EXPECT_EQ(Get(u"s", u"e", u"dflt"), u""); // present and empty: not the default
    EXPECT_EQ(Get(u"s", u"no equals sign"), u"<default>");
    EXPECT_EQ(Get(u"s", u"f"), u"x ;not a comment # nor this");
}

TEST_F(IniRead, CommentsAreNeverFoundOrListed) {
    Put(";[hidden]\r\n"
        "[s]\r\n"
        "; k=commented\r\n"
        "  ;j=also commented\r\n"
        "#k=hash is data\r\n");
    EXPECT_EQ(Sections(), (Strings{u"s"}));
    EXPECT_EQ(Get(u"s", u"k"), u"<default>");
    EXPECT_EQ(Get(u"s", u"; k"), u"<default>");
    EXPECT_EQ(Get(u"s", u"j"), u"<default>");
    EXPECT_EQ(Get(u"s", u"#k"), u"hash is data");
}

TEST_F(IniRead, LinesBeforeTheFirstSectionCannotBeReached) {
    Put("orphan=1\r\n[s]\r\nk=2\r\n");
    EXPECT_EQ(Get(u"", u"orphan"), u"<default>");
    EXPECT_EQ(Get(u"s", u"orphan"), u"<default>");
    EXPECT_EQ(Get(u"s", u"k"), u"2");
}

TEST_F(IniRead, NamesMatchWithoutRegardToCase) {
    Put("[Section]\r\nKey=Value\r\n"
        "[\xC3\x84rger]\r\n\xC3\x9C\x62\x65r=Gr\xC3\xB6\xC3\x9F\x65\r\n" // [Ärger] Über=Größe
        "[\xCE\xA3\xCE\xB9\xCF\x83]\r\nk=sigma\r\n");                    // [Σισ]
    EXPECT_EQ(Get(u"SECTION", u"kEY"), u"Value");                        // values keep their case
    EXPECT_EQ(Get(u"\u00e4RGER", u"\u00fcBER"), u"Gr\u00f6\u00dfe");
    // Simple case folding: final sigma and capital sigma fold alike.
    EXPECT_EQ(Get(u"\u03c3\u03b9\u03c2", u"K"), u"sigma");
}

TEST_F(IniRead, DuplicatesFirstSectionAndFirstKeyWin) {
    Put("[a]\r\nk=first\r\nk=second\r\n"
        "[b]\r\n"
        "[A]\r\nk=third\r\nonly=in second section\r\n");
    EXPECT_EQ(Sections(), (Strings{u"a", u"b", u"A"}));
    EXPECT_EQ(Get(u"a", u"k"), u"first");
    EXPECT_EQ(Get(u"A", u"only"), u"<default>");
}

TEST_F(IniRead, ASectionOfManyKeysFindsEveryOneAndTheFirstOfEachName) {
    // Enough keys that hashing and sorting decide where each is found; every tenth name comes
    // again later in other letter case with another value, which must not win.
    std::string text = "[many]\n";
    for (int i = 0; i < 2000; ++i) {
        text += "Key" + std::to_string(i) + "=" + std::to_string(i) + "\n";
    }
    for (int i = 0; i < 2000; i += 10) {
        text += "KEY" + std::to_string(i) + "=again\n";
    }
    text += "[other]\nKey5=other\n";
    Put(text);
    for (int i = 0; i < 2000; ++i) {
        const std::u16string name = u"key" + Utf8ToUtf16(std::to_string(i));
        ASSERT_EQ(Get(u"MANY", name), Utf8ToUtf16(std::to_string(i))) << i;
    }
    EXPECT_EQ(Get(u"many", u"Key2000"), u"<default>");
    EXPECT_EQ(Get(u"other", u"key5"), u"other");
    EXPECT_EQ(Get(u"other", u"key6"), u"<default>");
}

TEST_F(IniRead, NamesWhoseHashesAgreeAreStillToldApart) {
    // "iafvgvt" and "vxezhax" fall on one hash of the index: as sections (the later one shadowed
    // in another case) and as keys of one section, each is found as itself.
    Put("[iafvgvt]\nk=first\niafvgvt=x\nvxezhax=y\n"
        "[VXEZHAX]\nk=second\n"
        "[vxezhax]\nk=shadowed\n");
    EXPECT_EQ(Get(u"iafvgvt", u"k"), u"first");
    EXPECT_EQ(Get(u"vxezhax", u"k"), u"second");
    EXPECT_EQ(Get(u"iafvgvt", u"IAFVGVT"), u"x");
    EXPECT_EQ(Get(u"iafvgvt", u"vxezhax"), u"y");
    std::vector<CKSString> shadowed;
    std::vector<std::string> names;
    for (const CKSString& name : CIniProfile::GetSectionNames(Ini(), &shadowed)) {
        names.push_back(name.ToUtf8());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"iafvgvt", "VXEZHAX"}));
    ASSERT_EQ(shadowed.size(), 1u);
    EXPECT_EQ(shadowed[0].ToUtf8(), "vxezhax");
}

TEST_F(IniRead, HasSectionAnswersAsTheReaderFindsSections) {
    EXPECT_FALSE(CIniProfile::HasSection(Ini(), u"a")); // no file yet
    Put("[\xC3\x84rger]\r\n"                            // [Ärger], no keys
        ";[commented]\r\n"
        "  [ padded ] trailing text\r\n"
        "k=[not a section]\r\n");
    EXPECT_TRUE(CIniProfile::HasSection(Ini(), u"\u00e4RGER"));
    EXPECT_TRUE(CIniProfile::HasSection(Ini(), u"  PADDED "));
    EXPECT_FALSE(CIniProfile::HasSection(Ini(), u"commented"));
    EXPECT_FALSE(CIniProfile::HasSection(Ini(), u"not a section"));
    EXPECT_FALSE(CIniProfile::HasSection(Ini(), u"pad"));
}

TEST_F(IniRead, OnePairOfMatchingQuotesIsRemoved) {
    Put("[s]\r\n"
        "dq=\" a b \"\r\n"
        "sq=' x '\r\n"
        "twice=\"\"x\"\"\r\n"
        "mixed=\"x'\r\n"
        "single=\"\r\n"
        "empty=\"\"\r\n"
        "inner=a\"b\"\r\n"
        "\"qname\"=named\r\n");
    EXPECT_EQ(Get(u"s", u"dq"), u" a b ");
    EXPECT_EQ(Get(u"s", u"sq"), u" x ");
    EXPECT_EQ(Get(u"s", u"twice"), u"\"x\"");
    EXPECT_EQ(Get(u"s", u"mixed"), u"\"x'");
    EXPECT_EQ(Get(u"s", u"single"), u"\"");
    EXPECT_EQ(Get(u"s", u"empty", u"dflt"), u"");
    EXPECT_EQ(Get(u"s", u"inner"), u"a\"b\"");
    EXPECT_EQ(Get(u"s", u"\"qname\""), u"named"); // names are never unquoted
    EXPECT_EQ(Get(u"s", u"qname"), u"<default>");
}

TEST_F(IniRead, DefaultsForMissingFileSectionOrKey) {
    EXPECT_EQ(Get(u"s", u"k", u"dflt  "), u"dflt"); // trailing spaces of the default go
    EXPECT_EQ(Get(u"s", u"k", u"  dflt\t"), u"  dflt\t");
    EXPECT_EQ(Get(u"s", u"k", {}), u"");
    EXPECT_TRUE(Sections().empty());
    Put("[s]\r\nk=v\r\n");
    EXPECT_EQ(Get(u"t", u"k", u"d"), u"d");
    EXPECT_EQ(Get(u"s", u"j", u"d"), u"d");
    EXPECT_EQ(Get(u"s", u"k", u" [nil]"), u"v");
    EXPECT_EQ(Get(u"s", u"j", u" [nil]"), u" [nil]");
}

TEST_F(IniRead, Utf8WithAndWithoutMark) {
    Put("\xEF\xBB\xBF[caf\xC3\xA9]\r\nk=\xE2\x82\xAC \xF0\x9F\x98\x80\r\n");
    EXPECT_EQ(Sections(), (Strings{u"caf\u00e9"}));
    EXPECT_EQ(Get(u"caf\u00e9", u"k"), u"\u20ac \U0001F600");
    Put("[caf\xC3\xA9]\r\nk=v\r\n");
    EXPECT_EQ(Get(u"CAF\u00c9", u"k"), u"v");
}

TEST_F(IniRead, Utf16FilesWithTheirMark) {
    const std::u16string text = u"[S\u00e9]\r\nk = \u20ac\r\n[t]\nx=y";
    std::string le = "\xFF\xFE";
    std::string be = "\xFE\xFF";
    for (const char16_t c : text) {
        le += static_cast<char>(c & 0xFF);
        le += static_cast<char>(c >> 8);
        be += static_cast<char>(c >> 8);
        be += static_cast<char>(c & 0xFF);
    }
    for (const std::string& bytes : {le, be}) {
        Put(bytes);
        EXPECT_EQ(Sections(), (Strings{u"S\u00e9", u"t"}));
        EXPECT_EQ(Get(u"s\u00c9", u"K"), u"\u20ac");
        EXPECT_EQ(Get(u"t", u"x"), u"y");
    }
}

TEST_F(IniRead, InvalidBytesReadAsReplacementAndReadingGoesOn) {
    Put("[s]\r\nbad=a\xFF\xC3(b\r\n\xE2\x82=x\r\ncut=\xF0\x9F\r\nlater=fine\r\n");
    EXPECT_EQ(Get(u"s", u"bad"), u"a\ufffd\ufffd(b");
    EXPECT_EQ(Get(u"s", u"\ufffd\ufffd"), u"x");
    EXPECT_EQ(Get(u"s", u"cut"), u"\ufffd\ufffd");
    EXPECT_EQ(Get(u"s", u"later"), u"fine");
}

TEST_F(IniRead, TruncatedUtf16AndLoneSurrogates) {
    // "[s]\nk=\xD800\n" with a lone high surrogate, then "z=1" cut in the middle of its last unit.
    Put(std::string("\xFF\xFE[\0s\0]\0\n\0k\0=\0\x00\xD8\n\0z\0=\0"
                    "1",
                    23));
    EXPECT_EQ(Sections(), (Strings{u"s"}));
    EXPECT_EQ(Get(u"s", u"k"), u"\ufffd");
    EXPECT_EQ(Get(u"s", u"z"), u"\ufffd");
}

TEST_F(IniRead, ThingsThatAreNotFilesReadAsEmpty) {
    EXPECT_TRUE(CIniProfile::GetSectionNames(CKSString::FromUtf8(m_dir.Path().string())).empty());
    EXPECT_EQ(CIniProfile::GetString(CKSString::FromUtf8(m_dir.Path().string()), u"s", u"k", u"d").Str(),
              u"d");
    // A FIFO would block a reader that opened it naively; it must answer at once.
    const std::string fifo = m_dir.File("fifo.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(CIniProfile::GetString(CKSString::FromUtf8(fifo), u"s", u"k", u"d").Str(), u"d");
    EXPECT_TRUE(CIniProfile::GetSectionNames(CKSString(u"")).empty());
}

TEST_F(IniRead, ASectionReaderAnswersAsGetStringDoes) {
    Put("[Def]\nSize=1KB\nEmpty=\n[other]\nSize=2\n");
    const CIniSectionReader def(Ini(), u"  def ");
    EXPECT_EQ(def.GetString(u" SIZE ", u"x").Str(), u"1KB");
    EXPECT_EQ(def.GetString(u"Empty", u"x").Str(), u"");
    EXPECT_EQ(def.GetString(u"Missing", u"dflt  ").Str(), u"dflt"); // as GetString trims it
    EXPECT_EQ(CIniSectionReader(Ini(), u"nowhere").GetString(u"Size", u"d").Str(), u"d");
    EXPECT_EQ(CIniSectionReader(CKSString(u""), u"Def").GetString(u"Size", u"d").Str(), u"d");
    // Under a snapshot it reads the snapshot's version, as GetString does.
    const CIniReadSnapshot snapshot(Ini());
    Put("[Def]\nSize=9\n");
    EXPECT_EQ(CIniSectionReader(Ini(), u"Def").GetString(u"Size", u"x").Str(), u"1KB");
}

TEST_F(IniRead, ASnapshotKeepsOneVersionOfTheFileForItsThreadOnly) {
    Put("[a]\nk=1\n");
    {
        const CIniReadSnapshot snapshot(Ini());
        const std::uint64_t parses = CIniProfile::ParseCount();
        Put("[a]\nk=2\n[b]\n");
        EXPECT_EQ(Get(u"a", u"k"), u"1");
        EXPECT_EQ(Sections().size(), 1u);
        EXPECT_EQ(CIniProfile::ParseCount(), parses);
        // Another thread sees the file as it is.
        std::u16string seen;
        std::thread([&] { seen = Get(u"a", u"k"); }).join();
        EXPECT_EQ(seen, u"2");
        // A write goes to the file, never to the snapshot.
        EXPECT_TRUE(CIniProfile::WriteString(Ini(), u"c", u"k", u"3"));
        EXPECT_NE(Bytes().find("[c]"), std::string::npos);
        EXPECT_NE(Bytes().find("[b]"), std::string::npos);
    }
    EXPECT_EQ(Get(u"a", u"k"), u"2");
    EXPECT_EQ(Sections().size(), 3u);
}

TEST_F(IniRead, ASnapshotReadsEachSectionsOwnKeysInAnyOrder) {
    Put("[a]\nk=1\nonly=a\n[B]\nk=2\n[c]\n");
    const CIniReadSnapshot snapshot(Ini());
    EXPECT_EQ(Get(u"a", u"k"), u"1");
    EXPECT_EQ(Get(u"b", u"k"), u"2"); // names match without regard to case
    EXPECT_EQ(Get(u"b", u"only"), u"<default>");
    EXPECT_EQ(Get(u" a ", u"only"), u"a");
    EXPECT_EQ(Get(u"missing", u"k"), u"<default>");
    EXPECT_EQ(Get(u"c", u"k"), u"<default>");
    EXPECT_EQ(Get(u"A", u"K"), u"1");
}
