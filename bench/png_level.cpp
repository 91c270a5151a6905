// One PNG, profiled: pictures like those of the image benchmark (400 x 320, a background and
// eight shapes) encoded with the level the program uses and with Qt's default level, each into
// memory-backed files. Prints the time per picture and the mean size of each.

#include "generators/ImageEncoder.h"

#include <QImage>
#include <QPainter>

#include <chrono>
#include <cstdio>
#include <random>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

std::vector<QImage> DrawPictures(int count) {
    std::mt19937 random(17);
    std::vector<QImage> pictures;
    for (int n = 0; n < count; ++n) {
        QImage picture(400, 320, QImage::Format_RGB32);
        picture.fill(QColor(static_cast<int>(random() % 256), static_cast<int>(random() % 256), 255));
        QPainter painter(&picture);
        painter.setPen(Qt::NoPen);
        for (int e = 0; e < 8; ++e) {
            painter.setBrush(QColor(static_cast<int>(random() % 256), static_cast<int>(random() % 256),
                                    static_cast<int>(random() % 256)));
            const QRect rect(static_cast<int>(random() % 400), static_cast<int>(random() % 320),
                             static_cast<int>(random() % 240), static_cast<int>(random() % 200));
            if (e % 2 == 0) {
                painter.drawRect(rect);
            } else {
                painter.drawEllipse(rect);
            }
        }
        pictures.push_back(picture);
    }
    return pictures;
}

// Milliseconds per picture and mean bytes, best of three passes.
void Encode(const std::vector<QImage>& pictures, int quality, double& milliseconds, double& bytes) {
    milliseconds = 1e9;
    for (int pass = 0; pass < 3; ++pass) {
        std::uint64_t total = 0;
        const auto start = std::chrono::steady_clock::now();
        for (const QImage& picture : pictures) {
            const int fd = ::memfd_create("png", 0);
            CImageEncoder encoder;
            encoder.ChooseEncoder(CImageEncoder::kPngEncoder);
            encoder.SetPngQuality(quality);
            encoder.SetOutput(CUniqueFd(::dup(fd)));
            encoder.WriteBitmap(picture);
            total += static_cast<std::uint64_t>(::lseek(fd, 0, SEEK_END));
            ::close(fd);
        }
        const double elapsed =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        milliseconds = std::min(milliseconds, elapsed / static_cast<double>(pictures.size()));
        bytes = static_cast<double>(total) / static_cast<double>(pictures.size());
    }
}

} // namespace

int main() {
    const std::vector<QImage> pictures = DrawPictures(100);
    double usedMs = 0;
    double usedBytes = 0;
    double defaultMs = 0;
    double defaultBytes = 0;
    Encode(pictures, -1, defaultMs, defaultBytes);
    Encode(pictures, CImageEncoder::kPngQuality, usedMs, usedBytes);
    std::printf("%.3f %.0f %.3f %.0f\n", usedMs, usedBytes, defaultMs, defaultBytes);
    return 0;
}
