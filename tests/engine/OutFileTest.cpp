#include "engine/KSFileDigest.h"
#include "engine/KSOutFile.h"
#include "support/KSException.h"
#include "support/KSLogger.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <vector>

namespace {

// Records every write the system sees; after failAfter bytes the device reports it is full.
class RecordingFile : public CKSOutFile {
public:
    std::vector<std::size_t> writes;
    std::size_t failAfter = SIZE_MAX;
    bool shortWrites = false;
    std::size_t total = 0;

protected:
    bool WriteToDescriptor(const void* data, std::size_t count, std::size_t& written) override {
        writes.push_back(count);
        if (shortWrites) {
            // Accepts half and says it succeeded, as a device may.
            return CKSOutFile::WriteToDescriptor(data, count / 2, written);
        }
        if (total + count > failAfter) {
            const std::size_t room = failAfter - total;
            CKSOutFile::WriteToDescriptor(data, room, written);
            total += written;
            errno = ENOSPC;
            return false;
        }
        total += count;
        return CKSOutFile::WriteToDescriptor(data, count, written);
    }
};

class LinesOutput : public IOutput {
public:
    void Write(std::u16string_view text, bool) override { lines.emplace_back(text); }
    void WriteA(std::string_view) override {}
    std::vector<std::u16string> lines;
};

std::string Pattern(std::size_t count, char first) {
    std::string bytes(count, '\0');
    for (std::size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<char>(first + static_cast<char>(i % 23));
    }
    return bytes;
}

} // namespace

TEST(OutFile, SmallWritesCollectInTheBuffer) {
    TempDir temp;
    RecordingFile file;
    ASSERT_TRUE(file.Create(CKSString::FromUtf8(temp.File("ten.bin"))));
    std::string expected;
    for (int i = 0; i < 10; ++i) {
        const std::string block = Pattern(10000, static_cast<char>('a' + i));
        EXPECT_EQ(file.Write(block.data(), block.size()), 10000u);
        expected += block;
        if (i == 5) {
            EXPECT_TRUE(file.writes.empty()); // six writes still fit
        }
        if (i == 6) {
            EXPECT_EQ(file.writes, (std::vector<std::size_t>{60000}));
        }
    }
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(file.writes, (std::vector<std::size_t>{60000, 40000}));
    EXPECT_EQ(ReadFileBytes(temp.File("ten.bin")), expected);
}

TEST(OutFile, AWriteLargerThanTheBufferGoesStraightOutAfterWhatWasBuffered) {
    TempDir temp;
    RecordingFile file;
    ASSERT_TRUE(file.Create(CKSString::FromUtf8(temp.File("big.bin"))));
    const std::string head = Pattern(10, 'A');
    const std::string big = Pattern(100000, 'a');
    EXPECT_EQ(file.Write(head.data(), head.size()), 10u);
    EXPECT_EQ(file.Write(big.data(), big.size()), 100000u);
    EXPECT_EQ(file.writes, (std::vector<std::size_t>{10, 100000}));
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(file.writes.size(), 2u); // nothing left for Close
    EXPECT_EQ(ReadFileBytes(temp.File("big.bin")), head + big);
}

TEST(OutFile, TextFormsAndTheBufferSize) {
    TempDir temp;
    RecordingFile file;
    file.SetCapacity(16);
    ASSERT_TRUE(file.Create(CKSString::FromUtf8(temp.File("text.bin"))));
    EXPECT_EQ(file.WriteWide(u"AB"), 4u);
    EXPECT_EQ(file.WriteNarrow("cd"), 2u);
    EXPECT_EQ(file.WriteByte(0xFF), 1u);
    file.SetCapacity(1 << 20); // too late: the buffer exists
    EXPECT_EQ(file.GetCapacity(), 16u);
    EXPECT_EQ(file.WriteNarrow("0123456789"), 10u); // 7 + 10 > 16: the 7 go first
    EXPECT_EQ(file.writes, (std::vector<std::size_t>{7}));
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(ReadFileBytes(temp.File("text.bin")), std::string("A\0B\0cd\xff", 7) + "0123456789");
}

TEST(OutFile, ClosedFilesWriteNothing) {
    RecordingFile file;
    EXPECT_FALSE(file.Close());
    EXPECT_EQ(file.Write("x", 1), 0u);
    EXPECT_EQ(file.WriteByte(1), 0u);
    EXPECT_EQ(file.Flush(nullptr), 0u);
    EXPECT_EQ(file.GetSize(), 0u);
    EXPECT_TRUE(file.writes.empty());
}

TEST(OutFile, AFailingDeviceRaisesTheFatalError) {
    TempDir temp;
    RecordingFile file;
    file.failAfter = 50000;
    ASSERT_TRUE(file.Create(CKSString::FromUtf8(temp.File("full.bin"))));
    const std::string block = Pattern(30000, 'a');
    EXPECT_EQ(file.Write(block.data(), block.size()), 30000u);
    EXPECT_EQ(file.Write(block.data(), block.size()), 30000u);
    try {
        file.Write(block.data(), block.size()); // 60,000 buffered: the write-out fails at 50,000
        FAIL() << "no exception";
    } catch (const CKSFatalException& failure) {
        EXPECT_EQ(failure.View(), u"Failed to write to file: 28"); // ENOSPC
        EXPECT_EQ(failure.GetCode(), static_cast<std::uint32_t>(ENOSPC));
    }
    // The bytes that did not reach the file stay buffered; nothing is written twice.
    EXPECT_EQ(file.GetBuffered(), 10000u);
    EXPECT_EQ(std::filesystem::file_size(temp.File("full.bin")), 50000u);
    // Once there is room again they follow right after the bytes that made it, a hole skipped
    // meanwhile included.
    file.failAfter = SIZE_MAX;
    EXPECT_EQ(file.Flush(nullptr), 10000u);
    ASSERT_TRUE(file.SkipForward(100));
    file.WriteNarrow("end");
    ASSERT_TRUE(file.Close());
    EXPECT_EQ(ReadFileBytes(temp.File("full.bin")), block + block + std::string(100, '\0') + "end");
    file.failAfter = 0;
    file.total = 0;
    ASSERT_TRUE(file.Create(CKSString::FromUtf8(temp.File("full.bin"))));
    file.WriteNarrow("x");

    // Close still closes the file (and drops what could not be written) before reporting.
    EXPECT_THROW(file.Close(), CKSFatalException);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.GetBuffered(), 0u);

    // The object goes on with the next file, which holds only its own bytes.
    file.failAfter = SIZE_MAX;
    ASSERT_TRUE(file.Create(CKSString::FromUtf8(temp.File("next.bin"))));
    EXPECT_EQ(file.WriteNarrow("next"), 4u);
    EXPECT_TRUE(file.Close());
    EXPECT_EQ(ReadFileBytes(temp.File("next.bin")), "next");
}

TEST(OutFile, ADirectWriteThatFailsRaisesTheFatalError) {
    TempDir temp;
    RecordingFile file;
    file.failAfter = 1000;
    ASSERT_TRUE(file.Create(CKSString::FromUtf8(temp.File("direct.bin"))));
    const std::string big = Pattern(70000, 'a');
    EXPECT_THROW(file.Write(big.data(), big.size()), CKSFatalException);
    EXPECT_EQ(file.GetBuffered(), 0u); // never copied into the buffer
    file.failAfter = SIZE_MAX;
    EXPECT_TRUE(file.Close());
}

TEST(OutFile, AShortWriteIsReportedOnlyByAnExplicitFlushWithALogger) {
    TempDir temp;
    RecordingFile file;
    ASSERT_TRUE(file.Create(CKSString::FromUtf8(temp.File("short.bin"))));
    file.shortWrites = true;
    CKSLogger logger(u"short", "");
    LinesOutput output;
    logger.SetOutput(&output);
    EXPECT_EQ(file.WriteNarrow("0123456789"), 10u);
    EXPECT_EQ(file.Flush(&logger), 5u);
    ASSERT_EQ(output.lines.size(), 1u);
    EXPECT_EQ(output.lines[0].rfind(u"WARNING:Write truncated (0x", 0), 0u);
    EXPECT_NE(output.lines[0].find(u") 5 instead of 10\r\n"), std::u16string::npos);
    EXPECT_EQ(file.GetBuffered(), 0u); // the rest is dropped, not retried
    EXPECT_EQ(file.WriteNarrow("ab"), 2u);
    EXPECT_TRUE(file.Close()); // no logger: nothing reported
    EXPECT_EQ(output.lines.size(), 1u);
}

TEST(OutFile, TheDestructorNeverThrowsWhenItsLastWriteFails) {
    if (!std::filesystem::exists("/dev/full")) {
        GTEST_SKIP() << "no /dev/full";
    }
    // The destructor flushes through the real descriptor: /dev/full fails every write.
    EXPECT_NO_THROW({
        CKSOutFile file;
        EXPECT_TRUE(file.Create(std::string_view("/dev/full")));
        EXPECT_EQ(file.WriteNarrow("lost"), 4u);
    });
    CKSOutFile explicitFlush;
    ASSERT_TRUE(explicitFlush.Create(std::string_view("/dev/full")));
    explicitFlush.WriteNarrow("x");
    EXPECT_THROW(explicitFlush.Flush(nullptr), CKSFatalException);
}

TEST(OutFile, CreateReplacesAndCreateExclusiveRefuses) {
    TempDir temp;
    const std::string path = temp.File("exists.bin");
    WriteFileBytes(path, "old contents");
    CKSOutFile file;
    errno = 0;
    EXPECT_FALSE(file.CreateExclusive(CKSString::FromUtf8(path)));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(ReadFileBytes(path), "old contents");
    ASSERT_TRUE(file.Create(CKSString::FromUtf8(path)));
    EXPECT_EQ(file.GetSize(), 0u);
    file.WriteNarrow("new");
    ASSERT_TRUE(file.CreateExclusive(CKSString::FromUtf8(temp.File("fresh.bin")))); // closes the first
    EXPECT_EQ(ReadFileBytes(path), "new");
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::owner_write,
              std::filesystem::perms::owner_write);
}

TEST(OutFile, PathsOverThePlatformLimitAreRefused) {
    TempDir temp;
    const std::string tooLong = temp.Path().string() + "/" + std::string(5000, 'p');
    CKSOutFile file;
    errno = 0;
    EXPECT_FALSE(file.Create(CKSString::FromUtf8(tooLong)));
    EXPECT_EQ(errno, ENAMETOOLONG);
    EXPECT_FALSE(file.CreateExclusive(CKSString::FromUtf8(tooLong)));
    CKSInFile in;
    EXPECT_FALSE(in.Create(CKSString::FromUtf8(tooLong)));
    EXPECT_TRUE(std::filesystem::is_empty(temp.Path()));
}

TEST(InFile, ReadsExistingFilesOnly) {
    TempDir temp;
    CKSInFile missing;
    EXPECT_FALSE(missing.Create(CKSString::FromUtf8(temp.File("missing.bin"))));
    char buffer[8];
    EXPECT_EQ(missing.Read(buffer, sizeof(buffer)), 0u);
    EXPECT_FALSE(missing.Create(std::string_view("/etc/hostname"))); // no narrow open

    WriteFileBytes(temp.File("data.bin"), "0123456789");
    CKSInFile in;
    ASSERT_TRUE(in.Create(CKSString::FromUtf8(temp.File("data.bin"))));
    EXPECT_EQ(in.GetSize(), 10u);
    EXPECT_EQ(in.Read(buffer, 8), 8u);
    EXPECT_EQ(std::string(buffer, 8), "01234567");
    EXPECT_EQ(in.Read(buffer, 8), 2u);
    EXPECT_EQ(in.Read(buffer, 8), 0u);
    EXPECT_FALSE(in.ReadFailed());

    // A folder opens but cannot be read: that is a failure, not an empty file.
    CKSInFile folder;
    ASSERT_TRUE(folder.Create(CKSString::FromUtf8(temp.Path().string())));
    EXPECT_EQ(folder.Read(buffer, 8), 0u);
    EXPECT_TRUE(folder.ReadFailed());
}

TEST(OutFile, SkipForwardLeavesAHole) {
    TempDir temp;
    CKSOutFile file;
    ASSERT_TRUE(file.Create(CKSString::FromUtf8(temp.File("sparse.bin"))));
    file.WriteNarrow("ab");
    file.Flush(nullptr);
    EXPECT_TRUE(file.SkipForward(1000));
    file.WriteNarrow("cd");
    EXPECT_TRUE(file.Close());
    const std::string bytes = ReadFileBytes(temp.File("sparse.bin"));
    ASSERT_EQ(bytes.size(), 1004u);
    EXPECT_EQ(bytes.substr(0, 2), "ab");
    EXPECT_EQ(bytes.substr(2, 1000), std::string(1000, '\0'));
    EXPECT_EQ(bytes.substr(1002), "cd");
}

TEST(OutFile, TheWriteTapHashesExactlyWhatReachedTheFileHolesIncluded) {
    TempDir dir;
    const std::string path = dir.File("tapped.bin");
    CKSFileDigest digest;
    std::string expected;
    {
        CKSOutFile file;
        ASSERT_TRUE(file.CreateExclusive(CKSString::FromUtf8(path)));
        file.SetWriteTap(&digest);
        digest.Reset();
        // Small buffered writes, a write larger than the buffer, a hole between writes, and
        // more than several of the digest's pieces in all.
        std::string large(3 * CKSFileDigest::kPieceBytes + 12345, '\0');
        for (std::size_t i = 0; i < large.size(); ++i) {
            large[i] = static_cast<char>(i * 7 + (i >> 11));
        }
        file.WriteNarrow("head");
        file.Write(large.data(), large.size());
        file.Flush(nullptr);
        ASSERT_TRUE(file.SkipForward(5000));
        file.WriteNarrow("tail");
        file.Flush(nullptr);
        ASSERT_TRUE(file.SkipForward(777)); // a hole at the end is not part of the file
        ASSERT_TRUE(file.Close());
        expected = "head" + large + std::string(5000, '\0') + "tail";
    }
    std::uint64_t size = 0;
    std::string tapped;
    ASSERT_TRUE(digest.Finish(size, tapped));
    EXPECT_EQ(size, expected.size());
    EXPECT_EQ(std::filesystem::file_size(path), expected.size());
    EXPECT_EQ(ReadFileBytes(path), expected);
    std::uint64_t readSize = 0;
    std::string read;
    ASSERT_TRUE(HashFileSha256(CKSString::FromUtf8(path), readSize, read));
    EXPECT_EQ(tapped, read);
    EXPECT_EQ(readSize, size);
    // The SHA-256 of an empty file, from a digest used again.
    digest.Reset();
    ASSERT_TRUE(digest.Finish(size, tapped));
    EXPECT_EQ(tapped, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(size, 0u);
}
