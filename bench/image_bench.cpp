// Draws and saves pictures the way the image generator will: a background and 8 random shapes
// on a 400 x 320 picture, each saved into a file claimed with an exclusive create. Run by
// bench/image.sh, which compares the rate with ImageMagick's.
//
//   image_bench bmp|jpeg|png|gif COUNT FOLDER
//
// Prints one line: the format, the count, the seconds taken and the pictures per second.

#include "engine/Randomizer.h"
#include "generators/ImageEncoder.h"
#include "generators/KSGeneratedImage.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

constexpr std::int32_t kWidth = 400;
constexpr std::int32_t kHeight = 320;
constexpr int kShapes = 8;

std::int32_t X() {
    return static_cast<std::int32_t>(RandomInRange(0, kWidth));
}
std::int32_t Y() {
    return static_cast<std::int32_t>(RandomInRange(0, kHeight));
}
KSPoint P() {
    return {X(), Y()};
}
std::int32_t Pen() {
    return static_cast<std::int32_t>(RandomInRange(1, 7));
}

void DrawRandomShape(CKSGeneratedImage& image) {
    switch (RandomInRange(0, 7)) {
    case 0:
        image.DrawLine(Random24(), Pen(), X(), Y(), X(), Y());
        break;
    case 1: {
        const std::array<KSPoint, 4> points{P(), P(), P(), P()};
        image.DrawBezier(Random24(), Pen(), points);
        break;
    }
    case 2:
        image.FillRectangle(Random24(), X(), Y(), X(), Y());
        break;
    case 3:
        image.FillEllipse(Random24(), X(), Y(), X(), Y());
        break;
    case 4:
        image.DrawEllipse(Random24(), Pen(), X(), Y(), X(), Y());
        break;
    case 5:
        image.DrawPie(Random24(), X(), Y(), X(), Y(), P(), P());
        break;
    case 6: {
        const std::array<KSPoint, 3> points{P(), P(), P()};
        image.DrawTriangle(Random24(), Pen(), points, (KSRand() & 1) != 0);
        break;
    }
    default: {
        const std::array<KSPoint, 4> points{P(), P(), P(), P()};
        image.DrawQuadrilateral(Random24(), Pen(), points, (KSRand() & 1) != 0);
        break;
    }
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s bmp|jpeg|png|gif COUNT FOLDER\n", argv[0]);
        return 2;
    }
    const std::string format = argv[1];
    const int type = format == "bmp"    ? kImageTypeBmp
                     : format == "jpeg" ? kImageTypeJpeg
                     : format == "png"  ? kImageTypePng
                     : format == "gif"  ? kImageTypeGif
                                        : 0;
    const int count = std::atoi(argv[2]);
    const std::filesystem::path folder = argv[3];
    if (type == 0 || count <= 0) {
        std::fprintf(stderr, "bad format or count\n");
        return 2;
    }
    std::filesystem::create_directories(folder);
    SeedThread();

    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < count; ++i) {
        const std::string path = (folder / ("img" + std::to_string(i) + "." + format)).string();
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            std::perror(path.c_str());
            return 1;
        }
        ::close(fd);
        CKSGeneratedImage image(nullptr, kWidth, kHeight);
        image.CreateSurface();
        image.FillRectangle(Random24(), 0, 0, 0, 0);
        for (int shape = 0; shape < kShapes; ++shape) {
            DrawRandomShape(image);
        }
        if (image.Save(CKSPathName::FromUtf8(path), type) != kImageSaveDone) {
            std::fprintf(stderr, "%s: save failed\n", path.c_str());
            return 1;
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s %d %.3f %.1f\n", format.c_str(), count, seconds, count / seconds);
    return 0;
}
