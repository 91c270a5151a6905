#include "generators/ImageEncoder.h"

#include "engine/KSFileDigest.h"

#include <QIODevice>
#include <QImage>
#include <QImageWriter>

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

namespace {

// Collects the encoded bytes and writes them to the descriptor in large pieces; remembers the
// errno of the first write the system refused. With a transform, the whole file is collected and
// transformed before anything is written.
class CDescriptorSink {
public:
    static constexpr std::size_t kBufferSize = 64 * 1024;

    CDescriptorSink(int fd, IWriteTap* tap, const CImageEncoder::Transform& transform)
        : m_fd(fd), m_tap(tap), m_transform(transform) {
        m_buffer.reserve(kBufferSize);
    }

    bool Write(const void* data, std::size_t count) {
        if (m_error != 0) {
            return false;
        }
        const auto* bytes = static_cast<const char*>(data);
        if (m_transform) {
            m_buffer.insert(m_buffer.end(), bytes, bytes + count);
            return true;
        }
        if (m_buffer.size() + count > kBufferSize) {
            if (!Flush()) {
                return false;
            }
            if (count >= kBufferSize) {
                return WriteThrough(bytes, count);
            }
        }
        m_buffer.insert(m_buffer.end(), bytes, bytes + count);
        return true;
    }

    // Writes out what is collected; with a transform, only the last flush, at the end, writes.
    bool Flush() {
        if (m_error != 0) {
            return false;
        }
        if (m_transform) {
            std::string whole(m_buffer.begin(), m_buffer.end());
            m_transform(whole);
            m_buffer.assign(whole.begin(), whole.end());
        }
        const bool written = WriteThrough(m_buffer.data(), m_buffer.size());
        m_buffer.clear();
        return written;
    }

    int GetError() const { return m_error; }

private:
    bool WriteThrough(const char* data, std::size_t count) {
        if (count == 0) {
            return true;
        }
        std::size_t written = 0;
        const bool done = WriteAllToDescriptor(m_fd, data, count, &written);
        if (m_tap != nullptr) {
            m_tap->Add(data, written);
        }
        if (done) {
            return true;
        }
        m_error = errno != 0 ? errno : EIO;
        return false;
    }

    int m_fd;
    IWriteTap* m_tap;
    const CImageEncoder::Transform& m_transform;
    int m_error = 0;
    std::vector<char> m_buffer;
};

// Lets Qt's image writers write into the sink. Write-only and sequential: nothing seeks back.
class CDescriptorDevice : public QIODevice {
public:
    explicit CDescriptorDevice(CDescriptorSink& sink) : m_sink(sink) {}
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 length) override {
        if (length < 0 || !m_sink.Write(data, static_cast<std::size_t>(length))) {
            return -1;
        }
        return length;
    }

private:
    CDescriptorSink& m_sink;
};

// Reads one row of a picture as 0xAARRGGBB values, whatever the picture's pixel format.
class CRowReader {
public:
    explicit CRowReader(const QImage& image) : m_image(image) {
        if (image.format() != QImage::Format_RGB32 && image.format() != QImage::Format_ARGB32) {
            m_row.resize(static_cast<std::size_t>(image.width()));
        }
    }

    const QRgb* Row(int y) {
        if (m_row.empty()) {
            return reinterpret_cast<const QRgb*>(m_image.constScanLine(y));
        }
        if (m_image.format() == QImage::Format_RGB888) {
            const uchar* bytes = m_image.constScanLine(y);
            for (QRgb& pixel : m_row) {
                pixel = qRgb(bytes[0], bytes[1], bytes[2]);
                bytes += 3;
            }
        } else {
            for (int x = 0; x < m_image.width(); ++x) {
                m_row[static_cast<std::size_t>(x)] = m_image.pixel(x, y);
            }
        }
        return m_row.data();
    }

private:
    const QImage& m_image;
    std::vector<QRgb> m_row;
};

// The colours of a picture that has at most 256 of them, each with its palette index. Our
// pictures are drawn without anti-aliasing from a handful of colours, so they nearly always fit
// and come out of the GIF encoder unchanged.
class CExactPalette {
public:
    static constexpr std::size_t kMaxColours = 256;

    // Answers false as soon as the picture turns out to have more than 256 colours.
    bool Collect(const QImage& image) {
        CRowReader reader(image);
        std::uint32_t previous = kEmpty;
        for (int y = 0; y < image.height(); ++y) {
            const QRgb* row = reader.Row(y);
            for (int x = 0; x < image.width(); ++x) {
                const std::uint32_t colour = row[x] & 0xFFFFFF;
                if (colour == previous) {
                    continue;
                }
                previous = colour;
                if (Find(colour) < 0) {
                    if (m_colours.size() == kMaxColours) {
                        return false;
                    }
                    Insert(colour);
                }
            }
        }
        return true;
    }

    // The palette index of a collected colour, -1 for one never seen.
    int Find(std::uint32_t colour) const {
        for (std::size_t slot = Hash(colour);; slot = (slot + 1) % kSlots) {
            if (m_keys[slot] == colour) {
                return m_indices[slot];
            }
            if (m_keys[slot] == kEmpty) {
                return -1;
            }
        }
    }

    const std::vector<std::uint32_t>& Colours() const { return m_colours; }

private:
    // Four times the colours it can hold, so probes stay short. Colours are 24-bit, so the empty
    // marker never collides with one.
    static constexpr std::size_t kSlots = 1024;
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFF;

    static std::size_t Hash(std::uint32_t colour) { return (colour * 2654435761U) >> 22; }

    void Insert(std::uint32_t colour) {
        std::size_t slot = Hash(colour);
        while (m_keys[slot] != kEmpty) {
            slot = (slot + 1) % kSlots;
        }
        m_keys[slot] = colour;
        m_indices[slot] = static_cast<int>(m_colours.size());
        m_colours.push_back(colour);
    }

    std::array<std::uint32_t, kSlots> m_keys = MakeEmptyKeys();
    std::array<int, kSlots> m_indices{};
    std::vector<std::uint32_t> m_colours;

    static std::array<std::uint32_t, kSlots> MakeEmptyKeys() {
        std::array<std::uint32_t, kSlots> keys{};
        keys.fill(kEmpty);
        return keys;
    }
};

// For pictures with more than 256 colours (the random fallback surface): a fixed cube of
// 6 reds x 7 greens x 6 blues, 252 colours, each pixel taking the nearest level per channel.
// The eye is most sensitive to green, so green gets the extra level.
namespace cube {
constexpr int kReds = 6;
constexpr int kGreens = 7;
constexpr int kBlues = 6;

int Level(int value, int levels) {
    return (value * (levels - 1) + 127) / 255;
}
std::uint8_t Intensity(int level, int levels) {
    return static_cast<std::uint8_t>(level * 255 / (levels - 1));
}

GifByteType Index(QRgb pixel) {
    const int r = Level(qRed(pixel), kReds);
    const int g = Level(qGreen(pixel), kGreens);
    const int b = Level(qBlue(pixel), kBlues);
    return static_cast<GifByteType>((r * kGreens + g) * kBlues + b);
}
} // namespace cube

struct GifMapDeleter {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};
using GifMapPtr = std::unique_ptr<ColorMapObject, GifMapDeleter>;

// giflib wants a power of two from 2 to 256 colours; the unused entries stay black.
GifMapPtr MakeColourMap(const std::vector<std::uint32_t>& colours) {
    int size = 2;
    while (size < static_cast<int>(colours.size())) {
        size *= 2;
    }
    std::vector<GifColorType> entries(static_cast<std::size_t>(size), GifColorType{0, 0, 0});
    for (std::size_t i = 0; i < colours.size(); ++i) {
        entries[i] =
            GifColorType{static_cast<GifByteType>(colours[i] >> 16),
                         static_cast<GifByteType>(colours[i] >> 8), static_cast<GifByteType>(colours[i])};
    }
    return GifMapPtr(GifMakeMapObject(size, entries.data()));
}

std::vector<std::uint32_t> CubeColours() {
    std::vector<std::uint32_t> colours;
    for (int r = 0; r < cube::kReds; ++r) {
        for (int g = 0; g < cube::kGreens; ++g) {
            for (int b = 0; b < cube::kBlues; ++b) {
                colours.push_back((std::uint32_t{cube::Intensity(r, cube::kReds)} << 16) |
                                  (std::uint32_t{cube::Intensity(g, cube::kGreens)} << 8) |
                                  cube::Intensity(b, cube::kBlues));
            }
        }
    }
    return colours;
}

int WriteToSink(GifFileType* gif, const GifByteType* data, int length) {
    auto* sink = static_cast<CDescriptorSink*>(gif->UserData);
    return length >= 0 && sink->Write(data, static_cast<std::size_t>(length)) ? length : 0;
}

// Closes the giflib writer on every path; EGifCloseFile also frees it when it fails.
class CGifWriter {
public:
    CGifWriter(CDescriptorSink& sink, int& error) : m_gif(EGifOpen(&sink, WriteToSink, &error)) {}
    ~CGifWriter() {
        if (m_gif != nullptr) {
            int ignored = 0;
            EGifCloseFile(m_gif, &ignored);
        }
    }
    CGifWriter(const CGifWriter&) = delete;
    CGifWriter& operator=(const CGifWriter&) = delete;

    GifFileType* Get() const { return m_gif; }
    // Writes the trailer; answers giflib's error code, 0 on success.
    int Close() {
        int error = 0;
        const int result = EGifCloseFile(m_gif, &error);
        m_gif = nullptr;
        return result == GIF_OK ? 0 : (error != 0 ? error : E_GIF_ERR_CLOSE_FAILED);
    }

private:
    GifFileType* m_gif;
};

} // namespace

CImageEncoder::EEncoderKind CImageEncoder::KindForImageType(int imageType) {
    switch (imageType) {
    case kImageTypePng:
        return kPngEncoder;
    case kImageTypeGif:
        return kGifEncoder;
    case kImageTypeJpeg:
        return kJpegEncoder;
    case kImageTypeBmp:
        return kBmpEncoder;
    default:
        return kNoEncoder;
    }
}

bool CImageEncoder::ChooseEncoder(int kind) {
    m_kind = kNoEncoder;
    if (kind >= kPngEncoder && kind <= kBmpEncoder) {
        m_kind = static_cast<EEncoderKind>(kind);
    }
    return HasEncoder();
}

bool CImageEncoder::WriteBitmap(const QImage& bitmap) {
    if (bitmap.isNull() || !m_output.IsValid() || !HasEncoder()) {
        return false;
    }
    bool written = false;
    try {
        written = Encode(bitmap);
    } catch (const std::bad_alloc&) {
        m_outOfMemory = true;
        RecordFailure(static_cast<std::uint32_t>(ENOMEM));
    }
    // A failing close can be the first news of a full disk on some file systems.
    if (!m_output.Reset() && written) {
        RecordFailure(static_cast<std::uint32_t>(errno));
        written = false;
    }
    return written;
}

bool CImageEncoder::Encode(const QImage& bitmap) {
    return m_kind == kGifEncoder ? EncodeGif(bitmap) : EncodeWithQt(bitmap);
}

bool CImageEncoder::EncodeWithQt(const QImage& bitmap) {
    CDescriptorSink sink(m_output.Get(), m_tap, m_transform);
    CDescriptorDevice device(sink);
    if (!device.open(QIODevice::WriteOnly)) {
        RecordFailure(kFailureQtWriter | QImageWriter::DeviceError);
        return false;
    }
    const char* format = m_kind == kPngEncoder ? "png" : m_kind == kJpegEncoder ? "jpeg" : "bmp";
    QImageWriter writer(&device, format);
    if (m_kind == kJpegEncoder) {
        writer.setQuality(kJpegQuality);
    } else if (m_kind == kPngEncoder && m_pngQuality >= 0) {
        writer.setQuality(m_pngQuality);
    }
    const bool written = writer.write(bitmap);
    if (!written || !sink.Flush()) {
        RecordFailure(sink.GetError() != 0 ? static_cast<std::uint32_t>(sink.GetError())
                                           : kFailureQtWriter | static_cast<std::uint32_t>(writer.error()));
        return false;
    }
    return true;
}

bool CImageEncoder::EncodeGif(const QImage& bitmap) {
    // The logical screen and the image describe their size in 16 bits.
    constexpr int kMaxGifSide = 0xFFFF;
    if (bitmap.width() > kMaxGifSide || bitmap.height() > kMaxGifSide) {
        RecordFailure(kFailureTooLarge);
        return false;
    }
    CExactPalette exact;
    const bool isExact = exact.Collect(bitmap);
    const GifMapPtr map = MakeColourMap(isExact ? exact.Colours() : CubeColours());
    if (!map) {
        m_outOfMemory = true;
        RecordFailure(kFailureGiflib | E_GIF_ERR_NOT_ENOUGH_MEM);
        return false;
    }

    CDescriptorSink sink(m_output.Get(), m_tap, m_transform);
    int error = 0;
    CGifWriter writer(sink, error);
    GifFileType* gif = writer.Get();
    auto fail = [&](int code) {
        if (code == E_GIF_ERR_NOT_ENOUGH_MEM) {
            m_outOfMemory = true;
        }
        RecordFailure(sink.GetError() != 0 ? static_cast<std::uint32_t>(sink.GetError())
                                           : kFailureGiflib | static_cast<std::uint32_t>(code));
        return false;
    };
    if (gif == nullptr) {
        return fail(error);
    }
    const int width = bitmap.width();
    const int height = bitmap.height();
    if (EGifPutScreenDesc(gif, width, height, 8, 0, map.get()) != GIF_OK ||
        EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) != GIF_OK) {
        return fail(gif->Error);
    }
    CRowReader reader(bitmap);
    std::vector<GifPixelType> line(static_cast<std::size_t>(width));
    for (int y = 0; y < height; ++y) {
        const QRgb* row = reader.Row(y);
        if (isExact) {
            // Runs of one colour are the rule in drawn pictures; look each run up once.
            std::uint32_t previous = 0xFFFFFFFF;
            GifPixelType index = 0;
            for (int x = 0; x < width; ++x) {
                const std::uint32_t colour = row[x] & 0xFFFFFF;
                if (colour != previous) {
                    previous = colour;
                    index = static_cast<GifPixelType>(exact.Find(colour));
                }
                line[static_cast<std::size_t>(x)] = index;
            }
        } else {
            for (int x = 0; x < width; ++x) {
                line[static_cast<std::size_t>(x)] = cube::Index(row[x]);
            }
        }
        if (EGifPutLine(gif, line.data(), width) != GIF_OK) {
            return fail(gif->Error);
        }
    }
    if (const int closeError = writer.Close(); closeError != 0) {
        return fail(closeError);
    }
    if (!sink.Flush()) {
        return fail(E_GIF_ERR_WRITE_FAILED);
    }
    return true;
}

void CImageEncoder::RecordFailure(std::uint32_t code) {
    m_lastFailure = code;
    Logger().InfoF(u"WIC failure in SetBitmap: 0x%X (%u)\r\n", code, code);
}
