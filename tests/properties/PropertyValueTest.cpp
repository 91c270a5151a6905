#include "properties/KSProperty.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>

namespace {

std::int64_t Number(std::u16string_view text) {
    return CIntString::Parse(text);
}
std::string Written(std::int64_t value) {
    return CIntString::Format(value).ToUtf8();
}

} // namespace

TEST(NumberSyntax, BaseIsDetectedFromTheLeadingZero) {
    EXPECT_EQ(Number(u"0x10"), 16);
    EXPECT_EQ(Number(u"0X1f"), 31);
    EXPECT_EQ(Number(u"010"), 8);
    EXPECT_EQ(Number(u"07"), 7);
    EXPECT_EQ(Number(u"08"), 0); // two characters: octal, and 8 is no octal digit
    EXPECT_EQ(Number(u"0"), 0);
    EXPECT_EQ(Number(u"0x"), 0);
    EXPECT_EQ(Number(u" 0x10"), 0); // a leading blank defeats the detection: decimal 0, then "x10"
    EXPECT_EQ(Number(u""), 0);
    EXPECT_EQ(Number(u"abc"), 0);
    EXPECT_EQ(Number(u"-42"), -42);
    EXPECT_EQ(Number(u"  17"), 17);
}

TEST(NumberSyntax, SuffixesAreExactAndCaseSensitive) {
    EXPECT_EQ(Number(u"1KB"), 1024);
    EXPECT_EQ(Number(u"1K"), 1000);
    EXPECT_EQ(Number(u"2M"), 2000000);
    EXPECT_EQ(Number(u"2MB"), 2097152);
    EXPECT_EQ(Number(u"1GB"), 1073741824);
    EXPECT_EQ(Number(u"1TB"), 1099511627776);
    EXPECT_EQ(Number(u"1kb"), 1);
    EXPECT_EQ(Number(u"1 KB"), 1);
    EXPECT_EQ(Number(u"1KBX"), 1);
    EXPECT_EQ(Number(u"0x10K"), 16000);
    // Beside those, powers of 1,000 by G and T, and the IEC units.
    EXPECT_EQ(Number(u"3G"), 3000000000);
    EXPECT_EQ(Number(u"2T"), 2000000000000);
    EXPECT_EQ(Number(u"3KiB"), 3072);
    EXPECT_EQ(Number(u"3MiB"), 3LL << 20);
    EXPECT_EQ(Number(u"3GiB"), 3LL << 30);
    EXPECT_EQ(Number(u"3TiB"), 3LL << 40);
    EXPECT_EQ(Number(u"3gib"), 3);
}

TEST(NumberSyntax, AnUnknownUnitIsRefusedAndATooLargeNumberDoesNotReadAsTyped) {
    // Every unit is accepted.
    for (const char16_t* text : {u"5K", u"5KB", u"5M", u"5MB", u"5G", u"5GB", u"5T", u"5TB", u"5KiB", u"5MiB",
                                 u"5GiB", u"5TiB", u"0x10", u"abc"}) {
        CKSProperty size(u"Size", u"", CKSRange(1, 1));
        size.ParseValue(text);
        EXPECT_FALSE(size.GetRefusal()) << Utf16ToUtf8(text);
    }
    // Any other text after the digits is refused, in either bound of a range, naming the text
    // and the units known; a later good text or a setter clears the refusal.
    for (const char16_t* text : {u"1X", u"1 KB", u"1kb", u"1.5MB", u"1K,2Q", u"10GiBs"}) {
        CKSProperty size(u"Size", u"", CKSRange(1, 1));
        size.ParseValue(text);
        ASSERT_TRUE(size.GetRefusal()) << Utf16ToUtf8(text);
        EXPECT_EQ(size.GetRefusal()->text.View(), std::u16string_view(text));
        const std::string reason = Utf16ToUtf8(size.GetRefusal()->reason);
        EXPECT_NE(
            reason.find("is not a unit; the units are K, M, G, T (powers of 1,000), KB, MB, GB, TB, KiB, "
                        "MiB, GiB, TiB (powers of 1,024)"),
            std::string::npos)
            << reason;
        size.ParseValue(u"5GiB");
        EXPECT_FALSE(size.GetRefusal());
        CKSString written;
        size.FormatValue(written);
        EXPECT_EQ(written.ToUtf8(), "5GB,5GB") << "written with the units of the table";
    }
    CKSProperty quick(u"Quick", u"", std::int64_t{0});
    quick.ParseValue(u"10 K");
    EXPECT_TRUE(quick.GetRefusal());
    quick.SetLongValue(7);
    EXPECT_FALSE(quick.GetRefusal());

    // A number held at the 64-bit limit reads otherwise than typed; the limit itself does not.
    EXPECT_FALSE(quick.ReadsAsTyped(u"99999999999999999999999"));
    EXPECT_FALSE(quick.ReadsAsTyped(u"0xFFFFFFFFFFFFFFFFFF"));
    EXPECT_FALSE(quick.ReadsAsTyped(u"9000000000TB"));
    EXPECT_TRUE(quick.ReadsAsTyped(u"9223372036854775807"));
    CKSProperty range(u"Size", u"", CKSRange(1, 1));
    EXPECT_FALSE(range.ReadsAsTyped(u"1,9000000000TB"));
    EXPECT_TRUE(range.ReadsAsTyped(u"1,9223372036854775807"));
    CKSListProperty columns(u"Columns", u"");
    EXPECT_FALSE(columns.ReadsAsTyped(u"1, 99999999999"));
    EXPECT_TRUE(columns.ReadsAsTyped(u"1, 2147483647"));
}

TEST(NumberSyntax, ValuesBeyondSixtyFourBitsSaturate) {
    constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
    EXPECT_EQ(Number(u"99999999999999999999"), kMax);
    EXPECT_EQ(Number(u"-99999999999999999999"), kMin);
    EXPECT_EQ(Number(u"9223372036854775807"), kMax);
    EXPECT_EQ(Number(u"-9223372036854775808"), kMin);
    EXPECT_EQ(Number(u"9000000000000TB"), kMax);
    EXPECT_EQ(Number(u"-9000000000000TB"), kMin);
    EXPECT_EQ(Number(u"0xFFFFFFFFFFFFFFFFFF"), kMax);
    EXPECT_EQ(Number(u"8388607TB"), 8388607LL << 40); // the largest whole TB count that fits
}

TEST(NumberSyntax, FormattingPicksTheLargestExactUnit) {
    EXPECT_EQ(Written(2048), "2KB");
    EXPECT_EQ(Written(3000), "3K");
    EXPECT_EQ(Written(2000000), "2000K");
    EXPECT_EQ(Written(3145728), "3MB");
    EXPECT_EQ(Written(1024000), "1000KB"); // KB is tried before K
    EXPECT_EQ(Written(65536), "64KB");
    EXPECT_EQ(Written(1500), "1500");
    EXPECT_EQ(Written(0), "0");
    EXPECT_EQ(Written(1099511627776), "1TB");
}

TEST(NumberSyntax, EveryWrittenNumberReadsBack) {
    std::mt19937_64 random(20261208);
    std::vector<std::int64_t> samples = {1,
                                         -1,
                                         1000,
                                         -1024,
                                         std::numeric_limits<std::int64_t>::max(),
                                         std::numeric_limits<std::int64_t>::min(),
                                         1LL << 62};
    for (int i = 0; i < 2000; ++i) {
        const auto unit = SizeUnits[static_cast<std::size_t>(random() % SizeUnits.size())].multiplier;
        samples.push_back(static_cast<std::int64_t>(random() % 100000) * unit);
        samples.push_back(static_cast<std::int64_t>(random()));
    }
    for (std::int64_t value : samples) {
        EXPECT_EQ(Number(CIntString::Format(value)), value) << Written(value);
    }
}

TEST(RangeSyntax, SeparatorsSplitAndDefaults) {
    EXPECT_EQ(CKSRange::Parse(u"5"), CKSRange(5, 5));
    EXPECT_EQ(CKSRange::Parse(u"5:"), CKSRange(5, 5));
    EXPECT_EQ(CKSRange::Parse(u"1K-2K"), CKSRange(1000, 2000));
    EXPECT_EQ(CKSRange::Parse(u"1K,10K"), CKSRange(1000, 10000));
    EXPECT_EQ(CKSRange::Parse(u"1K:10K"), CKSRange(1000, 10000));
    EXPECT_EQ(CKSRange::Parse(u"-5"), CKSRange(0, 5));    // a leading minus is the separator
    EXPECT_EQ(CKSRange::Parse(u"1,2:3"), CKSRange(1, 2)); // the first separator splits; "2:3" reads as 2
    EXPECT_EQ(CKSRange(1000, 2000).Format().ToUtf8(), "1K,2K");
    EXPECT_EQ(CKSRange(4096, 4096).Format().ToUtf8(), "4KB,4KB");
}

TEST(LimitSyntax, ValueAndFlag) {
    EXPECT_EQ(CKSLimit::Parse(u"1K,1"), CKSLimit(1000, 1));
    EXPECT_EQ(CKSLimit::Parse(u"5:0"), CKSLimit(5, 0));
    EXPECT_EQ(CKSLimit::Parse(u"5,2").flag, 0); // only exactly 0 or 1 set the flag
    EXPECT_EQ(CKSLimit(2048, 1).Format().ToUtf8(), "2KB,1");
}

TEST(PropertyValue, BooleanWords) {
    CKSBoolProperty flag(u"Flag", u"A flag", false);
    for (const char16_t* yes : {u"Yes", u"TRUE", u"1", u"y", u"whatever"}) {
        flag.SetBoolValue(false);
        flag.ParseValue(yes);
        EXPECT_TRUE(flag.GetBoolValue()) << Utf16ToUtf8(yes);
    }
    for (const char16_t* no : {u"No", u"n", u"0", u"FALSE", u"false"}) {
        flag.SetBoolValue(true);
        flag.ParseValue(no);
        EXPECT_FALSE(flag.GetBoolValue()) << Utf16ToUtf8(no);
    }
    bool seen[2] = {false, false};
    for (int i = 0; i < 4000 && !(seen[0] && seen[1]); ++i) {
        flag.ParseValue(u"maybe");
        seen[flag.GetBoolValue() ? 1 : 0] = true;
    }
    EXPECT_TRUE(seen[0] && seen[1]) << "\"maybe\" should give both answers over many reads";
}

TEST(PropertyValue, SettersChangeTheKindAndCopiesKeepIt) {
    CKSProperty property(u"Size", u"How many bytes to generate", std::int64_t{5});
    EXPECT_EQ(property.GetType(), PropertyType::LONG);
    property.SetRangeValue(CKSRange(1, 2));
    EXPECT_EQ(property.GetType(), PropertyType::RANGE);

    CKSProperty other(u"Other", u"Other description", u"text");
    property.SetValue(other);
    EXPECT_EQ(property.GetType(), PropertyType::TEXT);
    EXPECT_EQ(property.GetValue().ToUtf8(), "text");
    EXPECT_EQ(property.GetName().ToUtf8(), "Size"); // SetValue keeps the name
    property.Assign(other);
    EXPECT_EQ(property.GetName().ToUtf8(), "Other");

    property.SetLongValue(0x1'0000'0005LL);
    EXPECT_EQ(property.GetLongValue(), 5); // the low 32 bits
}

TEST(PropertyValue, ListParsingAppendsAndFormatting) {
    CKSListProperty columns(u"Columns", u"Column definitions");
    const std::int32_t initial[] = {1, 2};
    columns.SetListValues(initial, 2);
    columns.ParseList(u"3,4");
    ASSERT_EQ(columns.GetCount(), 4u);
    EXPECT_EQ(columns.GetAt(2), 3);
    EXPECT_EQ(columns.GetAt(3), 4);
    EXPECT_EQ(columns.GetAt(99), 0);

    CKSListProperty spaced(u"L", u"");
    spaced.ParseList(u"1, 2, 3");
    spaced.ParseList(u",5");
    spaced.ParseList(u"-7,99999999999");
    CKSString text;
    spaced.FormatList(text);
    EXPECT_EQ(text.ToUtf8(), "1, 2, 3, 0, 5, -7, 2147483647");

    std::unique_ptr<CKSProperty> copy = spaced.Clone();
    EXPECT_EQ(copy->GetType(), PropertyType::LIST);
    EXPECT_EQ(copy->GetCount(), spaced.GetCount());

    CKSListProperty empty(u"E", u"");
    CKSString none;
    EXPECT_FALSE(empty.FormatValue(none));
}

TEST(PropertyValue, DescribeLayout) {
    CKSProperty separator(u"Separator", u"Column separator", u", ");
    EXPECT_EQ(separator.Describe(120).ToUtf8(),
              "Separator         Column separator\r\n                  TEXT: , ");
    CKSProperty empty(u"Folder", u"Sub-folder", u"");
    EXPECT_EQ(empty.Describe().ToUtf8(), "Folder            Sub-folder\r\n                  TEXT: (empty)");
    CKSProperty range(u"Size", u"Bytes", CKSRange(1000, 10000));
    EXPECT_EQ(range.Describe().ToUtf8(), "Size              Bytes\r\n                  RANGE: 1000, 10000");
    CKSBoolProperty flag(u"AVeryLongPropertyNameIndeed", u"d", true);
    EXPECT_EQ(flag.Describe().ToUtf8(), "AVeryLongPropertyNameIndeedd\r\n                  BOOL: true");
    EXPECT_EQ(separator.Describe(10).ToUtf8().size(), 9u);

    CKSListProperty list(u"Columns", u"Column definitions");
    list.ParseList(u"1,2,3");
    EXPECT_EQ(list.Describe().ToUtf8(), "1, 2, 3");
}

TEST(PropertyValue, UnitTableAsShown) {
    EXPECT_EQ(Utf16ToUtf8(SizeUnits[5].label), "Terrabytes");
    EXPECT_EQ(SizeUnitMultiplier(3), 1048576);
    EXPECT_EQ(SizeUnitMultiplier(6), 1);
}
