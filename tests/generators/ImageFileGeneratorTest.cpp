#include "app/FKMController.h"
#include "app/KSGeneratorBatch.h"
#include "engine/StopEvent.h"
#include "generators/ImageEncoder.h"
#include "generators/KSImageFileGenerator.h"
#include "tests/common/GeneratorFixture.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>

#include <csignal>
#include <cstdio>
#include <filesystem>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Records what the shape loop drew, in order.
class CountingImageGenerator : public CKSImageFileGenerator {
public:
    using CKSImageFileGenerator::CKSImageFileGenerator;
    std::vector<EElement> drawn;

protected:
    void OnElementDrawn(EElement element) override { drawn.push_back(element); }
};

std::unique_ptr<CountingImageGenerator> MakeCounting(GeneratorFixture& fixture) {
    auto generator = std::make_unique<CountingImageGenerator>(&fixture.Logger());
    fixture.Prepare(*generator, u"img");
    return generator;
}

} // namespace

TEST(ImageGenerator, TypesAndExtensions) {
    EXPECT_EQ(CKSImageFileGenerator::ImageTypeOf(u"jpeg"), kImageTypeJpeg);
    EXPECT_EQ(CKSImageFileGenerator::ImageTypeOf(u"jpg"), kImageTypeJpeg);
    EXPECT_EQ(CKSImageFileGenerator::ImageTypeOf(u"gif"), kImageTypeGif);
    EXPECT_EQ(CKSImageFileGenerator::ImageTypeOf(u"PNG"), kImageTypeBmp);
    EXPECT_EQ(CKSImageFileGenerator::NamedColor(u"gReY"), 0x808080u);
    EXPECT_EQ(CKSImageFileGenerator::NamedColor(u"Red"), 0x0000FFu);
    EXPECT_FALSE(CKSImageFileGenerator::NamedColor(u"mauve"));

    GeneratorFixture fixture;
    auto upper = fixture.Make(u"img");
    GeneratorFixture::Set(*upper, u"ImageType", u"PNG");
    upper->Run();
    auto named = fixture.Make(u"image");
    GeneratorFixture::Set(*named, u"ImageType", u"png");
    GeneratorFixture::Set(*named, u"Extension", u"pic");
    named->Run();
    int bmp = 0;
    int pic = 0;
    for (const std::string& file : fixture.Files()) {
        const QString path = QString::fromStdString(fixture.Dir().File(file));
        if (file.ends_with(".bmp")) {
            ++bmp;
            EXPECT_EQ(QImageReader(path).format(), "bmp");
        } else if (file.ends_with(".pic")) {
            ++pic;
            EXPECT_EQ(QImageReader(path).format(), "png");
        }
    }
    EXPECT_EQ(bmp, 1);
    EXPECT_EQ(pic, 1);
}

TEST(ImageGenerator, BackgroundSizesAndFormats) {
    GeneratorFixture fixture;
    for (const char16_t* type : {u"bmp", u"png", u"gif", u"jpg"}) {
        auto generator = fixture.Make(u"img");
        GeneratorFixture::Set(*generator, u"ImageType", type);
        GeneratorFixture::Set(*generator, u"Background", u"grey");
        GeneratorFixture::Set(*generator, u"Elements", u"0");
        GeneratorFixture::Set(*generator, u"Width", u"30,60");
        GeneratorFixture::Set(*generator, u"Height", u"10,20");
        GeneratorFixture::Set(*generator, u"Files", u"3");
        generator->Run();
    }
    ASSERT_EQ(fixture.Files().size(), 12u);
    for (const std::string& file : fixture.Files()) {
        const QImage image(QString::fromStdString(fixture.Dir().File(file)));
        ASSERT_FALSE(image.isNull()) << file;
        EXPECT_GE(image.width(), 30);
        EXPECT_LE(image.width(), 60);
        EXPECT_GE(image.height(), 10);
        EXPECT_LE(image.height(), 20);
        const QRgb pixel = image.pixel(image.width() / 2, image.height() / 2);
        const int tolerance = file.ends_with(".jpg") ? 4 : 0;
        EXPECT_NEAR(qRed(pixel), 0x80, tolerance) << file;
        EXPECT_NEAR(qGreen(pixel), 0x80, tolerance) << file;
        EXPECT_NEAR(qBlue(pixel), 0x80, tolerance) << file;
    }
}

TEST(ImageGenerator, ElementsCountRectanglesAndShapes) {
    GeneratorFixture fixture;
    auto one = MakeCounting(fixture);
    GeneratorFixture::Set(*one, u"Elements", u"1");
    GeneratorFixture::Set(*one, u"Files", u"20");
    one->Run();
    ASSERT_EQ(one->drawn.size(), 20u);
    for (auto element : one->drawn) {
        EXPECT_NE(element, CKSImageFileGenerator::EElement::Rectangle);
    }

    GeneratorFixture eight;
    auto many = MakeCounting(eight);
    GeneratorFixture::Set(*many, u"Elements", u"8");
    many->Run();
    ASSERT_EQ(many->drawn.size(), 8u);
    EXPECT_EQ(many->drawn[0], CKSImageFileGenerator::EElement::Rectangle);
    EXPECT_EQ(many->drawn[1], CKSImageFileGenerator::EElement::Rectangle);
    for (std::size_t i = 2; i < 8; ++i) {
        EXPECT_NE(many->drawn[i], CKSImageFileGenerator::EElement::Rectangle);
    }
    ASSERT_NE(many->GetImage(), nullptr);
    // The background fill plus what was drawn.
    EXPECT_EQ(many->GetImage()->GetShapeTotal(), 9u);
}

TEST(ImageGenerator, ExistingNamesAreSkippedNotReplaced) {
    GeneratorFixture fixture;
    WriteFileBytes(fixture.Dir().File("fkimg0.bmp"), "mine");
    auto generator = fixture.Make(u"img");
    GeneratorFixture::Set(*generator, u"SimpleName", u"1");
    GeneratorFixture::Set(*generator, u"Files", u"2");
    generator->Run();
    EXPECT_EQ(fixture.Read("fkimg0.bmp"), "mine");
    EXPECT_EQ(fixture.Files().size(), 3u);
}

TEST(ImageGenerator, PumpsDrawAtTheSameTimeWithoutAGuiApplication) {
    TempDir config;
    TempDir destination;
    const std::string ini = config.File("fakemill.ini");
    WriteFileBytes(ini, "[a]\nType=img\nImageType=png\nFiles=5\n[b]\nType=img\nImageType=gif\nFiles=5\n"
                        "[c]\nType=image\nImageType=jpg\nFiles=5\n[d]\nType=img\nFiles=5\n");
    auto output = std::make_shared<CapturingOutput>();
    CKSGeneratorBatch batch({CKSString(u"a"), CKSString(u"b"), CKSString(u"c"), CKSString(u"d")},
                            CKSString::FromUtf8(ini), CKSString::FromUtf8(destination.Path().string()),
                            output, CBatchOptions{0, {}});
    CKSLogger logger;
    logger.SetLevel(CKSLogger::kLevelInfo);
    const CKSFileGeneratorFactory factory(&logger);
    RunBatch(&batch, factory, logger);
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(destination.Path())) {
        ++files;
        EXPECT_FALSE(QImage(QString::fromStdString(entry.path().string())).isNull()) << entry.path();
    }
    EXPECT_EQ(files, 20) << output->All();
}

namespace {

// Raises the stop when the third shape of the second picture is drawn.
class StoppingImageGenerator : public CKSImageFileGenerator {
public:
    using CKSImageFileGenerator::CKSImageFileGenerator;
    bool OpenOutput(const CKSString& path) override {
        ++m_opened;
        m_shapes = 0;
        return CKSImageFileGenerator::OpenOutput(path);
    }

protected:
    void OnElementDrawn(EElement) override {
        if (m_opened == 2 && ++m_shapes == 3) {
            ApplicationStopEvent().Set();
        }
    }

private:
    int m_opened = 0;
    int m_shapes = 0;
};

} // namespace

TEST(ImageGenerator, APictureCutShortByAStopOrAFailedWriteIsRemoved) {
    {
        GeneratorFixture fixture;
        StoppingImageGenerator generator(&fixture.Logger());
        fixture.Prepare(generator, u"img");
        GeneratorFixture::Set(generator, u"Files", u"3");
        GeneratorFixture::Set(generator, u"SimpleName", u"1");
        GeneratorFixture::Set(generator, u"Elements", u"8");
        generator.Run();
        ApplicationStopEvent().Reset();
        EXPECT_EQ(fixture.Files(), (std::set<std::string>{"fkimg0.bmp"})) << fixture.Output().All();
        EXPECT_TRUE(fixture.Output().Contains("Removed unfinished file " + fixture.Dir().File("fkimg1.bmp") +
                                              ": stopped before it was finished"))
            << fixture.Output().All();
    }

    // A file-size limit refuses the write of a large picture as a full disk would; in a child
    // process, so that the limit binds nothing else.
    GeneratorFixture fixture;
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        auto generator = fixture.Make(u"img");
        GeneratorFixture::Set(*generator, u"SimpleName", u"1");
        GeneratorFixture::Set(*generator, u"Width", u"400");
        GeneratorFixture::Set(*generator, u"Height", u"400");
        generator->Run();
        const bool removed = fixture.Files().empty();
        const bool named = fixture.Output().Contains("Removed unfinished file " +
                                                     fixture.Dir().File("fkimg0.bmp") + ": File too large");
        if (!removed || !named) {
            std::fprintf(stderr, "%s\n", fixture.Output().All().c_str());
        }
        ::_exit(removed && named ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}
