#include "support/KSString.h"

#include <gtest/gtest.h>

#include <map>

TEST(String, CompareIgnoresCaseAndBlanks) {
    auto compare = [](std::u16string_view a, std::u16string_view b) {
        return CKSString(a).Compare(CKSString(b));
    };
    EXPECT_EQ(compare(u"abc", u"abcd"), -1);
    EXPECT_EQ(compare(u"abcd", u"abc"), 1);
    EXPECT_EQ(compare(u"a b", u"AB"), 0);
    EXPECT_EQ(compare(u"Size", u"size"), 0);
    EXPECT_EQ(compare(u" S\ti\rz\ne ", u"SIZE"), 0);
    EXPECT_EQ(compare(u"Size", u"SizeMax"), -1);
    // Trailing blanks on the longer string do not make it greater.
    EXPECT_EQ(compare(u"abc", u"abc \t\r\n"), 0);
    EXPECT_EQ(compare(u"", u"  "), 0);
    EXPECT_EQ(compare(u"", u"a"), -1);
    EXPECT_EQ(compare(u"b", u"A"), 1);
    // Non-ASCII letters fold too.
    EXPECT_EQ(compare(u"\u00c9t\u00e9", u"\u00e9T\u00c9"), 0);
    // Characters other than the four blanks count.
    EXPECT_EQ(compare(u"a_b", u"ab"), -1);
    EXPECT_TRUE(CKSString(u"alpha").Less(CKSString(u"Beta")));
    EXPECT_FALSE(CKSString(u"A L P H A").Less(CKSString(u"alpha")));
}

TEST(String, NameKeyedMapsTreatBlankAndCaseVariantsAsOneKey) {
    std::map<CKSString, int, CKSStringLess> map;
    map[CKSString(u"Min Size")] = 1;
    map[CKSString(u"minsize")] = 2;
    map[CKSString(u"Count")] = 3;
    ASSERT_EQ(map.size(), 2u);
    EXPECT_EQ(map.begin()->first.View(), u"Count");
    EXPECT_EQ(map[CKSString(u"MINSIZE")], 2);
}

TEST(String, FormatWithValueDoublesTheCapacityOnce) {
    CKSString text;
    const std::u16string long300(300, u'x');
    text.FormatWithValue(u"%s", CKSFormatArg(long300));
    EXPECT_EQ(text.View(), long300);
    EXPECT_EQ(text.Capacity(), 512u);
    EXPECT_EQ(text.Length(), 300u);

    const std::u16string long600(600, u'y');
    text.FormatWithValue(u"%s", CKSFormatArg(long600));
    EXPECT_EQ(text.Length(), 511u); // doubled once to 512, then cut

    text.FormatWithValue(u"n=%d", CKSFormatArg(12), 8);
    EXPECT_EQ(text.View(), u"n=12");
    EXPECT_EQ(text.Capacity(), 8u);
}

TEST(String, AssignAppendAndLower) {
    CKSString text;
    EXPECT_EQ(text.Get(), nullptr);
    text.Append(u"Abc");
    EXPECT_EQ(text.View(), u"Abc");
    text.Assign(u"Path", u"Name");
    EXPECT_EQ(text.View(), u"PathName");
    text.Lower();
    EXPECT_EQ(text.View(), u"pathname");
    text.Assign(static_cast<const char16_t*>(nullptr));
    EXPECT_EQ(text.Get(), nullptr);
    text.AssignUtf8(nullptr);
    EXPECT_NE(text.Get(), nullptr);
    EXPECT_TRUE(text.IsEmpty());
    text.AssignUtf8("caf\xc3\xa9");
    EXPECT_EQ(text.View(), u"caf\u00e9");
    EXPECT_EQ(text.ToUtf8(), "caf\xc3\xa9");
    CKSString formatted;
    formatted.FormatWithTexts(u"%s and %s", u"one", u"two");
    EXPECT_EQ(formatted.View(), u"one and two");
}

TEST(String, PathJoinKeepsExactlyOneSeparator) {
    EXPECT_EQ(CKSPathName(u"/tmp").Join(u"a.txt").View(), u"/tmp/a.txt");
    EXPECT_EQ(CKSPathName(u"/tmp/").Join(u"/a.txt").View(), u"/tmp/a.txt");
    EXPECT_EQ(CKSPathName(u"/").Join(u"a").View(), u"/a");
    EXPECT_EQ(CKSPathName(u"").Join(u"a").View(), u"a");
    EXPECT_EQ(CKSPathName(u"dir").Join(u"").View(), u"dir");
    CKSPathName path(u"dir");
    EXPECT_TRUE(path.EnsureBackslash());
    EXPECT_TRUE(path.EnsureBackslash());
    EXPECT_EQ(path.View(), u"dir/");
    CKSPathName empty(u"");
    EXPECT_FALSE(empty.EnsureBackslash());
}

TEST(String, PairsSplitAtTheFirstSeparator) {
    const CKSStringPair range(u"1GB-8GB", u'-');
    EXPECT_TRUE(range.HasSeparator());
    EXPECT_EQ(range.First().View(), u"1GB");
    EXPECT_EQ(range.Second().View(), u"8GB");
    const CKSStringPair single(u"5", u'-');
    EXPECT_FALSE(single.HasSeparator());
    EXPECT_EQ(single.First().View(), u"5");
    EXPECT_TRUE(single.Second().IsEmpty());
    EXPECT_EQ(CKSUTF8String(u"\u00e9").Size(), 4u);
    CTerminatedMessageString message(u"line");
    EXPECT_EQ(*message.TakeValue(), u"line\r\n");
    EXPECT_EQ(message.Peek(), nullptr);
}
