#include "tools/HashKinds.h"

#include <gtest/gtest.h>

TEST(HashFormat, CopyLinesFollowTheOptionBits) {
    const std::u16string path = u"/data/a.bin";
    const std::u16string md5 = u"D41D8CD98F00B204E9800998ECF8427E";
    EXPECT_EQ(FormatCopyLine(path, md5, 0, u':'), md5 + u"\n");
    EXPECT_EQ(FormatCopyLine(path, md5, kCopyPathAndHash | kCopyPrefix0x, u':'), path + u":0x" + md5 + u"\n");
    EXPECT_EQ(FormatCopyLine(path, md5, kCopyLowerCase, u':'), u"d41d8cd98f00b204e9800998ecf8427e\n");
    EXPECT_EQ(FormatCopyLine(path, u"[Error]", kCopyPathAndHash, u'\t'), path + u"\t[Error]\n");
}

TEST(HashFormat, TheHashIsCutAt80AndThePathIsKeptWhole) {
    const std::u16string longHash(100, u'A');
    EXPECT_EQ(FormatCopyLine(u"p", longHash, 0, u':'), std::u16string(80, u'A') + u"\n");
    // A path past the classic 259 characters still names its file.
    const std::u16string longPath = u"/" + std::u16string(600, u'd');
    EXPECT_EQ(FormatCopyLine(longPath, u"00", kCopyPathAndHash, u':'), longPath + u":00\n");
    EXPECT_EQ(CopySeparatorOrDefault(0), u':');
    EXPECT_EQ(CopySeparatorOrDefault('\t'), u'\t');
}
