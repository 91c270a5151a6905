#include "app/OutputLines.h"

#include <gtest/gtest.h>

namespace {

TEST(OutputLines, LinesKeepTheirTextAcrossPiecesAndAnUnfinishedTailIsDropped) {
    COutputLines lines;
    EXPECT_EQ(lines.Append(QByteArray("first\nsecond\n")), 2);
    EXPECT_EQ(lines.Append(QByteArray("no line break")), 0);
    // Text in other scripts arrives as UTF-8 and reads back whole; an empty line is a line.
    EXPECT_EQ(lines.Append(QString::fromUtf16(u"caf\u00e9 \u6587\u5b57\n\nlast\ncut").toUtf8()), 3);
    ASSERT_EQ(lines.Count(), 5);
    EXPECT_EQ(lines.Line(0), "first");
    EXPECT_EQ(lines.Line(1), "second");
    EXPECT_EQ(lines.Line(2), QString::fromUtf16(u"caf\u00e9 \u6587\u5b57"));
    EXPECT_EQ(lines.Line(3), "");
    EXPECT_EQ(lines.Line(4), "last");
    EXPECT_EQ(lines.Text(), QString::fromUtf16(u"first\nsecond\ncaf\u00e9 \u6587\u5b57\n\nlast\n"));
    EXPECT_EQ(lines.Join(1, 4), QString::fromUtf16(u"second\ncaf\u00e9 \u6587\u5b57\n\nlast"));
    EXPECT_EQ(lines.Join(4, 4), "last");
    EXPECT_EQ(lines.Join(3, 5), "");
    EXPECT_EQ(lines.LongestLine(), 12); // the UTF-8 bytes of the third line
}

} // namespace
