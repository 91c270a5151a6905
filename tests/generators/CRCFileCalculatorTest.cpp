#include "generators/KSCRCFileCalculator.h"
#include "support/Crc32.h"
#include "tests/common/GeneratorFixture.h"

#include <gtest/gtest.h>

namespace {

struct CrcRun {
    std::uint32_t result;
    bool read;
    bool matched;
    std::string log;
};

CrcRun Check(const std::string& content, bool trailer) {
    GeneratorFixture fixture;
    const std::string path = fixture.Dir().File("data.bin");
    WriteFileBytes(path, content);
    CKSCRCFileCalculator calculator(&fixture.Logger());
    calculator.SetFileName(CKSString::FromUtf8(path));
    calculator.SetTrailerCheck(trailer);
    calculator.Calculate();
    return {calculator.GetResult(), calculator.WasRead(), calculator.TrailerMatched(),
            fixture.Output().All()};
}

std::string WithTrailer(std::string content, std::uint32_t crc) {
    for (int i = 0; i < 4; ++i) {
        content.push_back(static_cast<char>(crc >> (8 * i)));
    }
    return content;
}

} // namespace

TEST(CrcCalculator, WholeFileCrc) {
    const CrcRun check = Check("123456789", false);
    EXPECT_EQ(check.result, 0xCBF43926u);
    EXPECT_NE(check.log.find("CRC for "), std::string::npos);
    EXPECT_NE(check.log.find(": 0xCBF43926"), std::string::npos) << check.log;
    EXPECT_EQ(Check("", false).result, 0u);
}

TEST(CrcCalculator, TrailerCoverageAcrossReads) {
    // 4,098 bytes: the second read has 2 bytes, so the trailer straddles the two reads and the
    // content gains the 2 held bytes before it.
    std::string content(4094, '\0');
    for (std::size_t i = 0; i < content.size(); ++i) {
        content[i] = static_cast<char>(i * 7);
    }
    const std::uint32_t crc = UpdateCrc32(UpdateCrc32(0, content.data(), 4092), content.data() + 4092, 2);
    const CrcRun straddling = Check(WithTrailer(content, crc), true);
    EXPECT_TRUE(straddling.matched) << straddling.log;

    // One or three bytes in the last read: the trailer takes three or one of the held bytes.
    for (const std::size_t tail : {std::size_t{1}, std::size_t{3}}) {
        std::string body(4092 + tail, 'q');
        body[4093] = 'z';
        const std::uint32_t bodyCrc = UpdateCrc32(0, body.data(), 4092);
        const std::uint32_t whole = UpdateCrc32(bodyCrc, body.data() + 4092, tail);
        const CrcRun check = Check(WithTrailer(body, whole), true);
        EXPECT_TRUE(check.matched) << tail << " bytes in the last read: " << check.log;
    }

    const std::string simple = WithTrailer("abcdefgh", UpdateCrc32(0, "abcdefgh", 8));
    const CrcRun matched = Check(simple, true);
    EXPECT_TRUE(matched.matched);
    EXPECT_NE(matched.log.find("CRC matched. (0x"), std::string::npos);

    const CrcRun wrong = Check(WithTrailer("abcdefgh", 1234), true);
    EXPECT_FALSE(wrong.matched);
    EXPECT_NE(wrong.log.find("WARNING:CRC mismatch. Calculated CRC: 0x"), std::string::npos) << wrong.log;
    EXPECT_NE(wrong.log.find(".  Expected CRC: 0x4D2."), std::string::npos) << wrong.log;
}

TEST(CrcCalculator, FilesShorterThanATrailerNeverMatch) {
    for (const std::string& content : {std::string(), std::string("\0", 1), std::string("\0\0\0", 3)}) {
        const CrcRun check = Check(content, true);
        EXPECT_FALSE(check.matched) << content.size() << " bytes";
        EXPECT_TRUE(check.read);
    }
    EXPECT_TRUE(Check(std::string(4, '\0'), true).matched); // CRC of nothing is 0
}

TEST(CrcCalculator, MissingFileIsReportedAndKeepsTheResult) {
    GeneratorFixture fixture;
    CKSCRCFileCalculator calculator(&fixture.Logger());
    calculator.SetFileName(CKSString::FromUtf8(fixture.Dir().File("absent")));
    calculator.Calculate();
    EXPECT_FALSE(calculator.WasRead());
    EXPECT_TRUE(calculator.IsResultZero());
    EXPECT_TRUE(fixture.Output().Contains("WARNING:Could not open "));
    EXPECT_TRUE(fixture.Output().Contains(" for CRC calculation."));
}

TEST(CrcCalculator, RunAsAGeneratorItCreatesEmptyFiles) {
    GeneratorFixture fixture;
    auto generator = fixture.Make(u"crc");
    ASSERT_TRUE(generator);
    GeneratorFixture::Set(*generator, u"Files", u"2");
    generator->Run();
    const auto files = fixture.Files();
    ASSERT_EQ(files.size(), 2u);
    for (const std::string& name : files) {
        EXPECT_TRUE(fixture.Read(name).empty());
    }
    EXPECT_EQ(fixture.Output().Count("Could not open  for CRC calculation."), 2) << fixture.Output().All();
}
