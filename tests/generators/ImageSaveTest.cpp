// Saving pictures: the four containers, the result codes, the claimed file, and saves on
// several threads at once.

#include "engine/Randomizer.h"
#include "generators/ImageEncoder.h"
#include "generators/KSGeneratedImage.h"
#include "tests/common/TempDir.h"

#include <QBuffer>
#include <QImageReader>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Surface = CKSGeneratedImage::ESurface;
namespace fs = std::filesystem;

struct Format {
    int imageType;
    const char* qtName;    // QImageReader::format()
    const char* fileWords; // what file(1) says first
};
constexpr Format kFormats[] = {
    {kImageTypeBmp, "bmp", "PC bitmap"},
    {kImageTypeJpeg, "jpeg", "JPEG image data"},
    {kImageTypePng, "png", "PNG image data"},
    {kImageTypeGif, "gif", "GIF image data"},
};

// Claims the name as the generator does: an exclusive create, mode 0644.
void Claim(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0) << path;
    ::close(fd);
}

bool HaveFileCommand() {
    return std::system("command -v file >/dev/null 2>&1") == 0;
}

std::string FileCommandSays(const std::string& path) {
    std::string command = "file -b '" + path + "'";
    std::string out;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
            out += buffer;
        }
        ::pclose(pipe);
    }
    return out;
}

QImage ReadBack(const std::string& path, QByteArray* format = nullptr) {
    QImageReader reader(QString::fromStdString(path));
    if (format != nullptr) {
        *format = reader.format();
    }
    return reader.read();
}

// A grey picture with a red block, a blue ellipse and a green line: few colours, as drawn.
void DrawSample(CKSGeneratedImage& image) {
    image.FillRectangle(0x808080, 0, 0, 0, 0);
    image.FillRectangle(0x0000FF, 10, 10, 50, 40);
    image.FillEllipse(0xFF0000, 60, 20, 110, 70);
    image.DrawLine(0x00FF00, 3, 0, 79, 119, 0);
}

// Collects what a logger passes on.
class CCapture : public IOutput {
public:
    void Write(std::u16string_view text, bool) override {
        std::lock_guard lock(m_mutex);
        m_lines.emplace_back(text);
    }
    void WriteA(std::string_view text) override { Write(Utf8ToUtf16(text), false); }
    std::vector<std::u16string> Lines() {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }

private:
    std::mutex m_mutex;
    std::vector<std::u16string> m_lines;
};

mode_t ModeOf(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

} // namespace

TEST(ImageSave, EveryTypeIsWrittenInItsOwnContainerWithItsColours) {
    TempDir dir;
    const bool haveFile = HaveFileCommand();
    for (const Format& format : kFormats) {
        SCOPED_TRACE(format.qtName);
        CKSGeneratedImage image(nullptr, 120, 80);
        ASSERT_EQ(image.CreateSurface(), Surface::Drawing);
        DrawSample(image);
        const std::string path = dir.File(std::string("sample.") + format.qtName);
        Claim(path);
        const mode_t claimedMode = ModeOf(path);
        ASSERT_EQ(image.Save(CKSPathName::FromUtf8(path), format.imageType), kImageSaveDone);
        // Written into the claimed file: its mode stays what the claim gave it.
        EXPECT_EQ(ModeOf(path), claimedMode);
        if (haveFile) {
            EXPECT_EQ(FileCommandSays(path).rfind(format.fileWords, 0), 0U) << FileCommandSays(path);
        }

        QByteArray readFormat;
        const QImage back = ReadBack(path, &readFormat).convertToFormat(QImage::Format_RGB32);
        EXPECT_EQ(readFormat, format.qtName);
        ASSERT_EQ(back.size(), QSize(120, 80));
        if (format.imageType == kImageTypeJpeg) {
            // Lossy: the middle of a flat area is near its colour. Grey is grey, red is red.
            const QColor grey = back.pixelColor(5, 70);
            EXPECT_NEAR(grey.red(), 128, 6);
            EXPECT_NEAR(grey.green(), 128, 6);
            EXPECT_NEAR(grey.blue(), 128, 6);
            const QColor red = back.pixelColor(30, 25);
            EXPECT_GT(red.red(), 240);
            EXPECT_LT(red.green(), 15);
            EXPECT_LT(red.blue(), 15);
            continue;
        }
        EXPECT_EQ(back.pixel(5, 70), qRgb(128, 128, 128));
        EXPECT_EQ(back.pixel(30, 25), qRgb(255, 0, 0));
        EXPECT_EQ(back.pixel(85, 45), qRgb(0, 0, 255));
        int different = 0;
        for (int y = 0; y < 80; ++y) {
            for (int x = 0; x < 120; ++x) {
                different += back.pixel(x, y) != image.Bitmap().pixel(x, y) ? 1 : 0;
            }
        }
        EXPECT_EQ(different, 0);
    }
}

TEST(ImageSave, FallbackPictureIsSavedLikeAnyOther) {
    TempDir dir;
    CKSGeneratedImage image(nullptr, 300'000'000, 4);
    ASSERT_EQ(image.CreateSurface(), Surface::Fallback);
    for (const Format& format : kFormats) {
        const std::string path = dir.File(std::string("noise.") + format.qtName);
        Claim(path);
        ASSERT_EQ(image.Save(CKSPathName::FromUtf8(path), format.imageType), kImageSaveDone);
        QByteArray readFormat;
        const QImage back = ReadBack(path, &readFormat);
        EXPECT_EQ(readFormat, format.qtName);
        EXPECT_EQ(back.size(), QSize(32768, 4)) << format.qtName;
        if (format.imageType == kImageTypePng || format.imageType == kImageTypeBmp) {
            EXPECT_EQ(back.convertToFormat(QImage::Format_RGB888), image.Bitmap()) << format.qtName;
        }
        if (format.imageType == kImageTypeGif) {
            // Noise has far more than 256 colours: each channel lands on its nearest level.
            const QImage exact = image.Bitmap();
            int far = 0;
            for (int x = 0; x < 32768; x += 97) {
                const QRgb a = back.pixel(x, 2);
                const QRgb b = exact.pixel(x, 2);
                far += std::abs(qRed(a) - qRed(b)) > 26 || std::abs(qGreen(a) - qGreen(b)) > 22 ||
                               std::abs(qBlue(a) - qBlue(b)) > 26
                           ? 1
                           : 0;
            }
            EXPECT_EQ(far, 0);
        }
    }
}

TEST(ImageSave, WritesOnlyIntoAClaimedRegularFile) {
    TempDir dir;
    CKSGeneratedImage image(nullptr, 30, 20);
    ASSERT_EQ(image.CreateSurface(), Surface::Drawing);
    DrawSample(image);

    // A folder that does not exist: nothing is created.
    const std::string missing = dir.File("no such folder/a.png");
    EXPECT_EQ(image.Save(CKSPathName::FromUtf8(missing), kImageTypePng), kImageSaveNoBitmap);
    EXPECT_FALSE(fs::exists(dir.Path() / "no such folder"));

    // A name nobody claimed is not created either.
    const std::string unclaimed = dir.File("unclaimed.png");
    EXPECT_EQ(image.Save(CKSPathName::FromUtf8(unclaimed), kImageTypePng), kImageSaveNoBitmap);
    EXPECT_FALSE(fs::exists(unclaimed));

    // A claimed file with old content is replaced entirely.
    const std::string claimed = dir.File("claimed.png");
    WriteFileBytes(claimed, std::string(100000, 'x'));
    EXPECT_EQ(image.Save(CKSPathName::FromUtf8(claimed), kImageTypePng), kImageSaveDone);
    EXPECT_EQ(ReadBack(claimed).size(), QSize(30, 20));
    EXPECT_LT(fs::file_size(claimed), 100000U);
    EXPECT_EQ(ReadFileBytes(claimed).find('x'), std::string::npos);

    // A symbolic link in the claimed file's place is not followed; its target stays as it was.
    const std::string target = dir.File("target.txt");
    WriteFileBytes(target, "keep");
    const std::string link = dir.File("link.png");
    fs::create_symlink(target, link);
    EXPECT_EQ(image.Save(CKSPathName::FromUtf8(link), kImageTypePng), kImageSaveNoBitmap);
    EXPECT_EQ(ReadFileBytes(target), "keep");

    // Neither a FIFO (which would block the save) nor a folder.
    const std::string fifo = dir.File("fifo.png");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
    EXPECT_EQ(image.Save(CKSPathName::FromUtf8(fifo), kImageTypePng), kImageSaveNoBitmap);
    EXPECT_EQ(image.Save(CKSPathName::FromUtf8(dir.Path().string()), kImageTypePng), kImageSaveNoBitmap);

    // A path longer than the platform takes is refused, not cut.
    EXPECT_EQ(image.Save(CKSPathName::FromUtf8(dir.File(std::string(5000, 'a'))), kImageTypePng),
              kImageSaveNoBitmap);
}

TEST(ImageSave, PictureWithoutBitmapLeavesAnEmptyFile) {
    TempDir dir;
    CKSGeneratedImage image(nullptr, 0, 10);
    ASSERT_EQ(image.CreateSurface(), Surface::None);
    const std::string path = dir.File("empty.bmp");
    Claim(path);
    WriteFileBytes(path, "stale");
    EXPECT_EQ(image.Save(CKSPathName::FromUtf8(path), kImageTypeBmp), kImageSaveNoBitmap);
    ASSERT_TRUE(fs::exists(path));
    EXPECT_EQ(fs::file_size(path), 0U);

    // An image type without an encoder writes nothing and is no failure.
    CKSGeneratedImage drawn(nullptr, 10, 10);
    drawn.CreateSurface();
    const std::string other = dir.File("other.img");
    Claim(other);
    EXPECT_EQ(drawn.Save(CKSPathName::FromUtf8(other), 0), kImageSaveDone);
    EXPECT_EQ(fs::file_size(other), 0U);
}

TEST(ImageSave, EncoderFailureIsLoggedAtTheDetailedLevelOnly) {
    TempDir dir;
    // GIF describes sizes in 16 bits, so a picture 70000 pixels wide cannot be written.
    CKSGeneratedImage image(nullptr, 70000, 2);
    ASSERT_EQ(image.CreateSurface(), Surface::Drawing);
    for (const int level : {CKSLogger::kLevelErrors, CKSLogger::kLevelInfo}) {
        CCapture capture;
        CKSLogger logger(u"imgtest", "");
        logger.SetLevel(level);
        logger.SetOutput(&capture);
        image.SetLogger(&logger);
        const std::string path = dir.File("wide" + std::to_string(level) + ".gif");
        Claim(path);
        // Not a shortage of memory, so the save reports success all the same.
        EXPECT_EQ(image.Save(CKSPathName::FromUtf8(path), kImageTypeGif), kImageSaveDone);
        const std::vector<std::u16string> lines = capture.Lines();
        if (level == CKSLogger::kLevelErrors) {
            EXPECT_TRUE(lines.empty());
        } else {
            ASSERT_EQ(lines.size(), 1U);
            EXPECT_EQ(lines[0], u"WIC failure in SetBitmap: 0xE0030000 (3758292992)\r\n");
        }
        image.SetLogger(nullptr);
    }
}

TEST(ImageSave, EncoderReportsTheErrnoOfARefusedWrite) {
    // /dev/full refuses every write with ENOSPC; the encoder is handed the descriptor directly.
    const int fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        GTEST_SKIP() << "no /dev/full";
    }
    QImage picture(64, 64, QImage::Format_RGB32);
    picture.fill(Qt::gray);
    for (const int kind : {CImageEncoder::kPngEncoder, CImageEncoder::kGifEncoder}) {
        CImageEncoder encoder;
        ASSERT_TRUE(encoder.ChooseEncoder(kind));
        encoder.SetOutput(CUniqueFd(kind == CImageEncoder::kPngEncoder ? fd : ::open("/dev/full", O_WRONLY)));
        EXPECT_FALSE(encoder.WriteBitmap(picture));
        EXPECT_EQ(encoder.GetLastFailure(), static_cast<std::uint32_t>(ENOSPC)) << kind;
        EXPECT_FALSE(encoder.IsOutOfMemory());
    }
    CImageEncoder none;
    EXPECT_FALSE(none.ChooseEncoder(5));
    EXPECT_FALSE(none.WriteBitmap(picture));
}

TEST(ImageSave, FourThreadsDrawAndSaveAtOnce) {
    TempDir dir;
    constexpr int kThreads = 4;
    constexpr int kPicturesEach = 12;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            KSSrand(static_cast<std::uint32_t>(1000 + t));
            for (int i = 0; i < kPicturesEach; ++i) {
                const auto width = static_cast<std::int32_t>(RandomInRange(20, 200));
                const auto height = static_cast<std::int32_t>(RandomInRange(20, 160));
                CKSGeneratedImage image(nullptr, width, height);
                if (image.CreateSurface() != Surface::Drawing) {
                    ++failures;
                    continue;
                }
                const KSColor background = Random24();
                image.FillRectangle(background, 0, 0, 0, 0);
                for (int shape = 0; shape < 8; ++shape) {
                    const auto x0 = static_cast<std::int32_t>(RandomInRange(0, width / 2));
                    const auto y0 = static_cast<std::int32_t>(RandomInRange(0, height / 2));
                    const std::array<KSPoint, 4> points{
                        {{x0, y0}, {width, y0}, {width, height}, {x0, height}}};
                    image.FillEllipse(Random24(), x0, y0, width, height);
                    image.DrawQuadrilateral(Random24(), 2, points, shape % 2 == 0);
                    image.DrawPie(Random24(), 0, 0, width / 2, height / 2, {0, 0}, {width, 0});
                }
                const Format& format = kFormats[static_cast<std::size_t>(i) % 4];
                std::string name = "t";
                name.append(std::to_string(t))
                    .append("_")
                    .append(std::to_string(i))
                    .append(".")
                    .append(format.qtName);
                const std::string path = dir.File(name);
                Claim(path);
                QByteArray readFormat;
                if (image.Save(CKSPathName::FromUtf8(path), format.imageType) != kImageSaveDone ||
                    ReadBack(path, &readFormat).size() != QSize(width, height) ||
                    readFormat != format.qtName) {
                    ++failures;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures.load(), 0);
}
