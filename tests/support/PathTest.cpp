// Paths longer than the classic 260 characters work whole; paths over the platform limit are
// refused with an error and never cut and then used.

#include "support/KSFile.h"
#include "support/MakePath.h"
#include "support/PosixFile.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

namespace {

// A folder under the temporary folder whose path is about `length` bytes, made of components
// of 100 characters (a single name may not pass 255 bytes).
std::filesystem::path DeepFolder(const TempDir& temp, std::size_t length) {
    std::filesystem::path path = temp.Path();
    char letter = 'a';
    while (path.string().size() + 101 < length) {
        path /= std::string(100, letter++);
    }
    std::filesystem::create_directories(path);
    return path;
}

} // namespace

TEST(Path, PathsOverTheClassicLimitAreUsedWhole) {
    TempDir temp;
    const std::filesystem::path folder = DeepFolder(temp, 600);
    const CKSString file = CKSString::FromUtf8((folder / "data.bin").string());
    ASSERT_GT(file.Length(), 500u);

    CMakePath made(CKSString::FromUtf8(folder.string()), u"data.bin");
    ASSERT_TRUE(made.IsValid());
    EXPECT_EQ(made.Path().View(), file.View());

    CKSFile writer;
    ASSERT_TRUE(writer.OpenForAppend(file));
    EXPECT_TRUE(writer.WriteBytes("whole"));
    writer.Close();
    EXPECT_EQ(ReadFileBytes(file.ToUtf8()), "whole");

    CKSFile reader;
    ASSERT_TRUE(reader.SetPathAndOpen(file));
    EXPECT_EQ(reader.GetSize(), 5u);
}

TEST(Path, PathsOverThePlatformLimitAreRefused) {
    TempDir temp;
    const std::string tooLong = temp.Path().string() + "/" + std::string(kMaxPathBytes, 'x');
    EXPECT_FALSE(PathFitsPlatform(tooLong));
    EXPECT_TRUE(PathFitsPlatform(std::string(kMaxPathBytes, 'x')));
    EXPECT_FALSE(PathFitsPlatform(std::string(kMaxPathBytes + 1, 'x')));

    CMakePath made(CKSString::FromUtf8(temp.Path().string()), Utf8ToUtf16(std::string(kMaxPathBytes, 'y')));
    EXPECT_FALSE(made.IsValid());
    EXPECT_FALSE(made.CreateDirectory());

    CKSFile file;
    EXPECT_FALSE(file.OpenForAppend(CKSString::FromUtf8(tooLong)));
    EXPECT_EQ(file.GetLastError(), static_cast<std::uint32_t>(ENAMETOOLONG));
    EXPECT_FALSE(file.SetPathAndOpen(CKSString::FromUtf8(tooLong)));
    EXPECT_EQ(file.GetLastError(), static_cast<std::uint32_t>(ENAMETOOLONG));
    // Nothing was created under a shortened name either.
    EXPECT_TRUE(std::filesystem::is_empty(temp.Path()));
}

TEST(Path, TheLimitCountsUtf8BytesNotCharacters) {
    // 2,000 two-byte characters are 4,000 bytes: under the limit; 2,100 are over it.
    EXPECT_TRUE(PathFitsPlatform(CKSString(std::u16string(2000, u'\u00e9'))));
    EXPECT_FALSE(PathFitsPlatform(CKSString(std::u16string(2100, u'\u00e9'))));
}

TEST(Path, SplittingNamesFromPaths) {
    EXPECT_EQ(CFilenameFromPath(u"/a/b/c.txt").Get().View(), u"c.txt");
    EXPECT_EQ(CFilenameFromPath(u"plain.txt").Get().View(), u"plain.txt");
    EXPECT_EQ(CFilenameFromPath(u"/a/b/").Get().View(), u"");

    CMakePath path(CKSString(u"/data/out/file.bin"));
    EXPECT_EQ(path.SplitFileName().View(), u"file.bin");
    EXPECT_EQ(path.Path().View(), u"/data/out");

    EXPECT_TRUE(IsRelativePath(u"out"));
    EXPECT_FALSE(IsRelativePath(u"/out"));
}

TEST(Path, CreateDirectoryAndKnownFolders) {
    TempDir temp;
    const CMakePath folder(CKSString::FromUtf8(temp.Path().string()), u"made");
    EXPECT_TRUE(folder.CreateDirectory());
    EXPECT_TRUE(IsDirectory(folder.Path()));
    EXPECT_TRUE(folder.CreateDirectory()); // already there

    // The test process has a fresh HOME and XDG folders; known folders live inside them.
    const CKnownPath data(KnownFolder::LocalAppData, u"ksfakemill");
    ASSERT_TRUE(data.IsValid());
    EXPECT_EQ(data.Path().ToUtf8().rfind(std::getenv("XDG_DATA_HOME"), 0), 0u);
    EXPECT_TRUE(IsDirectory(CKSString::FromUtf8(std::getenv("XDG_DATA_HOME"))));
}
