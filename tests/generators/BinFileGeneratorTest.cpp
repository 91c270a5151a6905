#include "engine/StopEvent.h"
#include "generators/KSBinFileGenerator.h"
#include "generators/KSCRCFileCalculator.h"
#include "support/Crc32.h"
#include "tests/common/GeneratorFixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

// Runs one binary file with the given properties and answers its bytes.
std::string MakeBinary(GeneratorFixture& fixture,
                       std::initializer_list<std::pair<std::u16string_view, std::u16string_view>> values,
                       std::uint32_t seed = 1) {
    return fixture.MakeOne(u"bin", values, seed);
}

std::uint32_t LittleEndian(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}

bool TailBytesBelow255(const std::string& bytes, std::size_t from) {
    for (std::size_t i = from; i < bytes.size(); ++i) {
        if (static_cast<unsigned char>(bytes[i]) == 255) {
            return false;
        }
    }
    return true;
}

} // namespace

TEST(BinaryGenerator, CountingValuesInBothByteOrders) {
    GeneratorFixture little;
    const std::string bytes = MakeBinary(little, {{u"Size", u"12"}, {u"Sequence", u"1000"}});
    ASSERT_EQ(bytes.size(), 12u);
    EXPECT_EQ(bytes.substr(0, 8), std::string("\0\0\0\0\1\0\0\0", 8));
    EXPECT_TRUE(TailBytesBelow255(bytes, 8));

    GeneratorFixture big;
    const std::string swapped =
        MakeBinary(big, {{u"Size", u"12"}, {u"Sequence", u"1000"}, {u"BigEndian", u"1"}});
    EXPECT_EQ(swapped.substr(0, 8), std::string("\0\0\0\0\0\0\0\1", 8));

    GeneratorFixture wrap;
    const std::string wrapped = MakeBinary(wrap, {{u"Size", u"28"}, {u"Sequence", u"2"}});
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(LittleEndian(wrapped, 4 * i), i % 3) << i;
    }
}

TEST(BinaryGenerator, SmallSizesAreValuesThenSingleBytes) {
    GeneratorFixture ten;
    const std::string tenBytes = MakeBinary(ten, {{u"Size", u"10"}, {u"Sequence", u"9"}});
    ASSERT_EQ(tenBytes.size(), 10u);
    EXPECT_EQ(LittleEndian(tenBytes, 4), 1u);
    EXPECT_TRUE(TailBytesBelow255(tenBytes, 8));

    GeneratorFixture four;
    const std::string fourBytes = MakeBinary(four, {{u"Size", u"4"}, {u"Sequence", u"9"}});
    ASSERT_EQ(fourBytes.size(), 4u);
    EXPECT_NE(LittleEndian(fourBytes, 0), 0u) << "four single random bytes, not the first counting value";
}

TEST(BinaryGenerator, RandomValuesNeverSetBits15And31) {
    GeneratorFixture fixture;
    const std::string bytes = MakeBinary(fixture, {{u"Size", u"64KB"}}, 12345);
    ASSERT_EQ(bytes.size(), 65536u);
    for (std::size_t block = 0; block < bytes.size(); block += 4096) {
        for (std::size_t i = block; i < block + 4092; i += 4) {
            ASSERT_EQ(LittleEndian(bytes, i) & 0x80008000u, 0u) << "offset " << i;
        }
        EXPECT_TRUE(TailBytesBelow255(bytes.substr(block + 4092, 4), 0));
    }
}

TEST(BinaryGenerator, BlocksPassTheTargetButNeverTheLimit) {
    // Blocks ask for min(4096, target) bytes whatever is left, so a target between blocks rounds
    // up to the next block, cut at the limit.
    const std::pair<std::uint64_t, std::uint64_t> cases[] = {{1000, 1000},  {3000, 3000}, {4096, 4096},
                                                             {4097, 8192},  {5000, 8192}, {8192, 8192},
                                                             {8193, 10000}, {9999, 10000}};
    for (const auto& [target, expected] : cases) {
        GeneratorFixture fixture;
        CKSBinFileGenerator generator(&fixture.Logger());
        generator.GetProperties().Get(u"Type").SetTextValue(u"bin");
        generator.AddTypeProperties();
        const CKSString path = CKSString::FromUtf8(fixture.Dir().File("f.bin"));
        ASSERT_TRUE(generator.OpenOutput(path));
        generator.ApplySize(target, 10000);
        generator.Iterate();
        generator.CloseOutput(path);
        EXPECT_EQ(fixture.Read("f.bin").size(), expected) << "target " << target;
    }
}

TEST(BinaryGenerator, QuickGapsAreHolesThatCountTowardsTheTarget) {
    GeneratorFixture fixture;
    const std::string bytes =
        MakeBinary(fixture, {{u"Size", u"20000"}, {u"Quick", u"4"}, {u"Sequence", u"100000"}});
    ASSERT_EQ(bytes.size(), 20000u);
    // Written, skipped, written, skipped, then 3,616 written (the block cut at the limit).
    EXPECT_EQ(LittleEndian(bytes, 0), 0u);
    EXPECT_EQ(LittleEndian(bytes, 4), 1u);
    EXPECT_EQ(bytes.substr(4096, 4096), std::string(4096, '\0'));
    EXPECT_EQ(LittleEndian(bytes, 8192), 1023u); // the count goes on after the gap
    EXPECT_EQ(bytes.substr(12288, 4096), std::string(4096, '\0'));
    EXPECT_EQ(LittleEndian(bytes, 16384), 2046u);
}

TEST(BinaryGenerator, CrcTrailerCoversTheValuesAndPassesTheCheck) {
    GeneratorFixture fixture;
    const std::string bytes = MakeBinary(fixture, {{u"Size", u"4096"}, {u"CRC", u"1"}}, 31337);
    ASSERT_EQ(bytes.size(), 4100u);
    EXPECT_EQ(LittleEndian(bytes, 4096), UpdateCrc32(0, bytes.data(), 4092));

    const std::string path = fixture.Dir().File("fkbin0.bin");
    CKSCRCFileCalculator check(&fixture.Logger());
    check.SetFileName(CKSString::FromUtf8(path));
    check.SetTrailerCheck(true);
    check.Calculate();
    EXPECT_TRUE(check.TrailerMatched()) << fixture.Output().All();

    for (std::size_t at : {std::size_t{0}, std::size_t{2047}, std::size_t{4091}}) {
        std::string damaged = bytes;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x40);
        WriteFileBytes(path, damaged);
        check.Calculate();
        EXPECT_FALSE(check.TrailerMatched()) << "byte " << at;
    }
    std::string tailChanged = bytes;
    tailChanged[4093] = static_cast<char>(tailChanged[4093] ^ 0x01);
    WriteFileBytes(path, tailChanged);
    check.Calculate();
    EXPECT_TRUE(check.TrailerMatched()) << "the four random bytes before the trailer are outside the CRC";
}

TEST(BinaryGenerator, LargeFilesAreExactAndSparseWithQuick) {
    GeneratorFixture fixture;
    const std::string bytes =
        MakeBinary(fixture, {{u"Size", u"3MB"}, {u"CRC", u"1"}, {u"Quick", u"1024"}}, 5);
    ASSERT_EQ(bytes.size(), 3u * 1048576u + 4u);
    struct stat info {};
    ASSERT_EQ(::stat(fixture.Dir().File("fkbin0.bin").c_str(), &info), 0);
    // Two 1 MiB gaps are skipped; only about 1 MiB of the 3 MiB is written.
    EXPECT_LT(info.st_blocks * 512, 1536 * 1024) << "Quick gaps should leave holes";
}

TEST(BinaryGenerator, AStoppedFileIsRemovedRatherThanSealedWithATrailer) {
    GeneratorFixture fixture;
    auto generator = fixture.Make(u"bin");
    GeneratorFixture::Set(*generator, u"SimpleName", u"1");
    GeneratorFixture::Set(*generator, u"Size", u"64KB");
    GeneratorFixture::Set(*generator, u"CRC", u"1");
    ApplicationStopEvent().Set();
    generator->Run();
    ApplicationStopEvent().Reset();
    // A cut file with a valid trailer of what was drawn would pass the trailer check.
    EXPECT_TRUE(fixture.Files().empty());
    EXPECT_TRUE(fixture.Output().Contains("Removed unfinished file")) << fixture.Output().All();
}
