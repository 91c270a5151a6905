#include "support/KSRes.h"
#include "support/PosixFile.h"
#include "tests/common/TempDir.h"

#include <gtest/gtest.h>

#include <QResource>
#include <QString>

#include <vector>

namespace {

// Registers the resource file the build made for these tests.
class ResourceFile : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(QResource::registerResource(QString::fromUtf8(FAKEMILL_TEST_RCC))); }
    void TearDown() override { QResource::unregisterResource(QString::fromUtf8(FAKEMILL_TEST_RCC)); }
};

// Records the size of every piece, and can refuse one.
class RecordingResToFile : public CKSResToFile {
public:
    std::vector<std::size_t> pieces;
    int failPiece = -1;

protected:
    bool WritePiece(int fd, const std::byte* data, std::size_t count) override {
        pieces.push_back(count);
        if (static_cast<int>(pieces.size()) - 1 == failPiece) {
            return false;
        }
        return CKSResToFile::WritePiece(fd, data, count);
    }
};

std::string Expected70000() {
    std::string text;
    for (int i = 0; i < 7000; ++i) {
        text += "0123456789";
    }
    return text;
}

} // namespace

TEST_F(ResourceFile, LoadLooksUnderFiledataThenBinary) {
    CKSRes first;
    ASSERT_TRUE(first.Load(9140));
    EXPECT_EQ(first.Size(), 70000u);
    CKSRes fallback;
    ASSERT_TRUE(fallback.Load(9141));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(fallback.Bytes().data()), fallback.Size()),
              "found under binary");
    CKSRes missing;
    EXPECT_FALSE(missing.Load(9142));
    EXPECT_EQ(missing.Size(), 0u);
}

TEST_F(ResourceFile, WriteToFileUsesPiecesOfAtMost65535Bytes) {
    TempDir temp;
    RecordingResToFile resource;
    ASSERT_TRUE(resource.Load(9140));
    const std::string path = temp.File("model.dat");
    ASSERT_TRUE(resource.WriteToFile(CKSString::FromUtf8(path)));
    EXPECT_EQ(resource.pieces, (std::vector<std::size_t>{65535, 4465}));
    EXPECT_EQ(ReadFileBytes(path), Expected70000());
}

TEST_F(ResourceFile, AFailedPieceLeavesTheOldFileInPlace) {
    TempDir temp;
    const std::string path = temp.File("model.dat");
    WriteFileBytes(path, "old contents");
    RecordingResToFile resource;
    ASSERT_TRUE(resource.Load(9140));
    resource.failPiece = 1;
    EXPECT_FALSE(resource.WriteToFile(CKSString::FromUtf8(path)));
    EXPECT_EQ(ReadFileBytes(path), "old contents");
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp.Path()),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(ResourceFile, APathOverThePlatformLimitIsRefused) {
    TempDir temp;
    RecordingResToFile resource;
    ASSERT_TRUE(resource.Load(9141));
    const std::string tooLong = temp.Path().string() + "/" + std::string(kMaxPathBytes, 'r');
    EXPECT_FALSE(resource.WriteToFile(CKSString::FromUtf8(tooLong)));
    EXPECT_TRUE(resource.pieces.empty());
    EXPECT_TRUE(std::filesystem::is_empty(temp.Path()));
}
