// The hex converter and the MD5, SHA1 and SHA256 hasher.

#include "support/KSHexConverter.h"
#include "support/KSWinCrypto.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class RecordingSink : public ICryptoErrorSink {
public:
    void OnError(std::uint32_t code, std::u16string_view text) override {
        codes.push_back(code);
        errors.emplace_back(text);
    }
    void OnMessage(std::u16string_view text) override { messages.emplace_back(text); }
    std::vector<std::uint32_t> codes;
    std::vector<std::u16string> errors;
    std::vector<std::u16string> messages;
};

std::u16string HexOf(std::uint32_t algorithm, std::string_view data, ICryptoErrorSink* sink) {
    CKSWinHasher hasher(sink, algorithm);
    EXPECT_TRUE(hasher.HashData(data.data(), data.size()));
    hasher.Finalize();
    return std::u16string(hasher.GetHex().View());
}

} // namespace

TEST(HexConverter, BytesAndValues) {
    const unsigned char bytes[] = {0x00, 0xFF};
    EXPECT_EQ(CKSHexConverter(bytes, 2).View(), u"00FF");
    const unsigned char mixed[] = {0x1A, 0xB2, 0x03};
    EXPECT_EQ(CKSHexConverter(mixed, 3).View(), u"1AB203");
    EXPECT_EQ(CKSHexConverter(bytes, 0).View(), u"");
    EXPECT_EQ(CKSHexConverter(std::uint32_t{1}).View(), u"01000000");
    EXPECT_EQ(CKSHexConverter(std::uint32_t{0xCBF43926}).View(), u"2639F4CB");
    EXPECT_EQ(CKSHexConverter(std::uint32_t{0}).View(), u"00000000");
}

TEST(Hasher, KnownDigests) {
    RecordingSink sink;
    EXPECT_EQ(HexOf(kAlgorithmMd5, "", &sink), u"D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(HexOf(kAlgorithmMd5, "abc", &sink), u"900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(HexOf(kAlgorithmSha1, "abc", &sink), u"A9993E364706816ABA3E25717850C26C9CD0D89D");
    EXPECT_EQ(HexOf(kAlgorithmSha256, "abc", &sink),
              u"BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD");
    EXPECT_TRUE(sink.errors.empty());
    EXPECT_TRUE(sink.messages.empty());
}

TEST(Hasher, DataFedInPiecesGivesTheSameDigest) {
    CKSWinHasher hasher(nullptr, kAlgorithmSha1);
    EXPECT_TRUE(hasher.HashData("a", 1));
    EXPECT_TRUE(hasher.HashData("bc", 2));
    EXPECT_TRUE(hasher.GetHex().IsEmpty()); // nothing before Finalize
    hasher.Finalize();
    EXPECT_EQ(hasher.GetHex().View(), u"A9993E364706816ABA3E25717850C26C9CD0D89D");
    EXPECT_EQ(hasher.GetResult().size(), 20u);
}

TEST(Hasher, AnUnknownAlgorithmReportsToTheSinkAndStaysSafe) {
    RecordingSink sink;
    CKSWinHasher hasher(&sink, 0x1234);
    ASSERT_EQ(sink.errors.size(), 1u);
    EXPECT_EQ(sink.errors[0], u"Error during CryptCreateHash.");
    EXPECT_FALSE(hasher.HashData("x", 1));
    hasher.Finalize();
    ASSERT_EQ(sink.messages.size(), 2u);
    EXPECT_EQ(sink.messages[0], u"Hasher::HashData");
    EXPECT_EQ(sink.messages[1], u"Hasher::Finalize");
    EXPECT_TRUE(hasher.GetHex().IsEmpty());
}
