#include "fuzz/PropertySyntaxChecks.h"

#include <gtest/gtest.h>

#include <random>

// The fuzz target's checks over seeded random texts, so that they run everywhere.
TEST(PropertySyntax, RandomTextsReadAndWriteBack) {
    static constexpr char16_t kAlphabet[] = u"0123456789xXKMGTBkb,:- +\t0x0x";
    std::mt19937 random(424242);
    for (int round = 0; round < 20000; ++round) {
        std::u16string text;
        const std::size_t length = random() % 24;
        for (std::size_t i = 0; i < length; ++i) {
            text.push_back(kAlphabet[random() % (sizeof(kAlphabet) / sizeof(kAlphabet[0]) - 1)]);
        }
        const std::string failure = CheckPropertySyntax(text);
        ASSERT_TRUE(failure.empty()) << failure << " for \"" << Utf16ToUtf8(text) << "\"";
    }
}
