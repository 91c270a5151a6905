#include "support/KSFormat.h"
#include "support/KSString.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

namespace {

std::string Narrow(std::string_view format, const auto&... args) {
    return KSFormat(format, args...);
}
std::u16string Wide(std::u16string_view format, const auto&... args) {
    return KSFormat(format, args...);
}

} // namespace

TEST(Format, FlagsWidthAndPrecisionOfTheDialect) {
    EXPECT_EQ(Narrow("[%- 18s]", "name"), "[name              ]");
    EXPECT_EQ(Narrow("[%18s]", "name"), "[              name]");
    EXPECT_EQ(Narrow("%04u", 7u), "0007");
    EXPECT_EQ(Narrow("%04u", 123456u), "123456");
    EXPECT_EQ(Narrow("%05d", -42), "-0042");
    EXPECT_EQ(Narrow("%+d %+d % d", 5, -5, 5), "+5 -5  5");
    EXPECT_EQ(Narrow("%-5d|", 3), "3    |");
    EXPECT_EQ(Narrow("%.3d", 7), "007");
    EXPECT_EQ(Narrow("%08.3d", 7), "     007"); // a precision turns zero padding off
    EXPECT_EQ(Narrow("%.2s", "abcdef"), "ab");
    EXPECT_EQ(Narrow("%#x %#X %x", 255u, 255u, 0u), "0xff 0XFF 0");
    EXPECT_EQ(Narrow("%c%c", 'o', u'k'), "ok");
    EXPECT_EQ(Narrow("100%%"), "100%");
    EXPECT_EQ(Narrow("%.2f|%8.3f|%-8.1f|", 3.14159, -2.5, 1.25), "3.14|  -2.500|1.2     |");
    EXPECT_EQ(Narrow("%p", reinterpret_cast<const void*>(std::uintptr_t{0x1234})), "0000000000001234");
}

TEST(Format, IntegersAreReadAtTheWidthTheConversionNames) {
    const std::int64_t big = 140737488355327; // 0x7FFFFFFFFFFF
    EXPECT_EQ(Narrow("%I64d", big), "140737488355327");
    EXPECT_EQ(Narrow("%lld", -big), "-140737488355327");
    EXPECT_EQ(Narrow("%I64d", std::numeric_limits<std::int64_t>::min()), "-9223372036854775808");
    EXPECT_EQ(Narrow("%I64u", std::numeric_limits<std::uint64_t>::max()), "18446744073709551615");
    // Without I64 the argument is read as 32 bits, as the C runtime reads it.
    EXPECT_EQ(Narrow("%d", std::int64_t{0x100000005}), "5");
    EXPECT_EQ(Narrow("%u", -1), "4294967295");
    EXPECT_EQ(Narrow("%X", 0xDEADBEEFu), "DEADBEEF");
    EXPECT_EQ(Narrow("%x", 0xDEADBEEFu), "deadbeef");
    EXPECT_EQ(Narrow("0x%X", -1), "0xFFFFFFFF");
    EXPECT_EQ(Narrow("%hd %hu", 70000, 70000), "4464 4464");
    EXPECT_EQ(Narrow("%hd", 0xFFFF), "-1");
    EXPECT_EQ(Narrow("%ld %lu", 12, 13u), "12 13");
}

TEST(Format, FloatsShownAsIntegersSaturateInsteadOfOverflowing) {
    EXPECT_EQ(Narrow("%I64d", 1e300), "9223372036854775807");
    EXPECT_EQ(Narrow("%I64d", -1e300), "-9223372036854775808");
    EXPECT_EQ(Narrow("%d", 12.9), "12");
    // A huge value in %f keeps all its digits.
    EXPECT_EQ(Narrow("%.0f", 1e300).size(), 301u);
}

TEST(Format, TextArgumentsOfEitherWidthAndOddFormats) {
    EXPECT_EQ(Wide(u"'%s' generating %u files", std::string("caf\xc3\xa9"), 3u),
              u"'caf\u00e9' generating 3 files");
    EXPECT_EQ(Narrow("%s|%S", std::u16string(u"\u00e9"), "x"), "\xc3\xa9|x");
    EXPECT_EQ(Narrow("%s", static_cast<const char*>(nullptr)), "");
    // Missing arguments and unknown conversions are shown as written.
    EXPECT_EQ(Narrow("%d and %d", 1), "1 and %d");
    EXPECT_EQ(Narrow("%q %d", 4), "%q 4");
    EXPECT_EQ(Narrow("tail %"), "tail %");
    EXPECT_EQ(Narrow("%I64", 4), "%I64");
    // A wide letter whose low byte happens to be 'd' is no conversion.
    EXPECT_EQ(Wide(u"%\u0164 %d", 4), u"%\u0164 4");
}

TEST(Format, CutAtCapacityNeverSplitsACharacter) {
    const std::u16string wide = KSFormatCapped(6, std::u16string_view(u"%s"), std::u16string(u"abcdefgh"));
    EXPECT_EQ(wide, u"abcde");
    EXPECT_EQ(KSFormatCapped(1, std::u16string_view(u"%d"), 12345), u"");
    // The cut lands after the first half of a surrogate pair: that half goes too.
    EXPECT_EQ(KSFormatCapped(4, std::u16string_view(u"ab%s"), std::u16string(u"\U0001F600")), u"ab");
    // UTF-8: "a" then two 2-byte characters; complete characters stay, a cut one goes.
    const std::string text = "a\xc3\xa9\xc3\xa9";
    EXPECT_EQ(KSFormatCapped(4, std::string_view("%s"), text), "a\xc3\xa9");
    EXPECT_EQ(KSFormatCapped(5, std::string_view("%s"), text), "a\xc3\xa9");
    EXPECT_EQ(KSFormatCapped(6, std::string_view("%s"), text), text);
    EXPECT_EQ(KSFormatCapped(3, std::string_view("%s"), std::string("\xe2\x82\xac")), "");
    EXPECT_EQ(KSFormatCapped(4, std::string_view("%s"), std::string("\xe2\x82\xac")), "\xe2\x82\xac");
}

TEST(Format, Utf8ConversionsReplaceWhatIsInvalid) {
    EXPECT_EQ(Utf8ToUtf16("\xf0\x9f\x98\x80"), u"\U0001F600");
    EXPECT_EQ(Utf16ToUtf8(u"\U0001F600\u00e9"), "\xf0\x9f\x98\x80\xc3\xa9");
    EXPECT_EQ(Utf8ToUtf16("a\xff"
                          "b"),
              u"a\uFFFDb");
    EXPECT_EQ(Utf8ToUtf16("\xc0\xaf"), u"\uFFFD\uFFFD"); // overlong form of '/'
    EXPECT_EQ(Utf8ToUtf16("\xe2\x82"), u"\uFFFD\uFFFD"); // truncated sequence
    const char16_t lone[] = {u'x', 0xD800, u'y'};
    EXPECT_EQ(Utf16ToUtf8(std::u16string_view(lone, 3)), "x\xef\xbf\xbdy");
}
