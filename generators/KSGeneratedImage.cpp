#include "generators/KSGeneratedImage.h"

#include "engine/Randomizer.h"
#include "generators/ImageEncoder.h"
#include "support/PosixFile.h"

#include <QColor>
#include <QPainter>
#include <QPainterPath>
#include <QPolygon>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <numbers>
#include <numeric>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Below this size a surface is allowed without asking the system about its memory.
constexpr std::uint64_t kSmallSurfaceBytes = std::uint64_t{64} << 20;
// Pens wider than this cover nothing more of any picture we can hold; wider requests are cut
// so that stroking stays cheap.
constexpr std::int32_t kMaxPenWidth = 0xFFFF;

// The memory the system could give without swapping, from /proc/meminfo; 0 when unknown.
std::uint64_t AvailableMemory() {
    std::ifstream meminfo("/proc/meminfo");
    std::string key;
    std::uint64_t kilobytes = 0;
    std::string unit;
    while (meminfo >> key >> kilobytes) {
        std::getline(meminfo, unit);
        if (key == "MemAvailable:") {
            return kilobytes > UINT64_MAX / 1024 ? UINT64_MAX : kilobytes * 1024;
        }
    }
    return 0;
}

// Bytes of a surface with rows padded to 32 bits, as both surfaces lay them out; saturates at
// UINT64_MAX instead of wrapping.
std::uint64_t SurfaceBytes(std::int32_t width, std::int32_t height, std::uint32_t bytesPerPixel) {
    const std::uint64_t rowBytes = ((static_cast<std::uint64_t>(width) * bytesPerPixel + 3) / 4) * 4;
    const auto rows = static_cast<std::uint64_t>(height);
    return rowBytes != 0 && rows > UINT64_MAX / rowBytes ? UINT64_MAX : rowBytes * rows;
}

// The fallback surface's content: count bytes of noise drawn in a fixed order from the thread's
// random source, so a seeded run makes the same file every time. Whole 32-bit words (stored
// little-endian) come first; from the second word on, every value is given the high bit of
// each byte while an odd number of odd values has been drawn. The last bytes (at least one,
// at most four) take the low byte of the second of two draws each.
void FillWithNoise(uchar* bytes, std::size_t count) {
    std::uint32_t value = RandomPair();
    const std::size_t words = count >= 5 ? (count - 5) / 4 + 1 : 0;
    std::uint32_t oddDrawn = 0;
    for (std::size_t word = 0; word < words; ++word) {
        uchar* out = bytes + word * 4;
        out[0] = static_cast<uchar>(value);
        out[1] = static_cast<uchar>(value >> 8);
        out[2] = static_cast<uchar>(value >> 16);
        out[3] = static_cast<uchar>(value >> 24);
        value = RandomPair();
        if ((oddDrawn & 1) != 0) {
            value |= 0x80808080;
        }
        if ((value & 1) != 0) {
            ++oddDrawn;
        }
    }
    for (std::size_t i = words * 4; i < count; ++i) {
        KSRand();
        bytes[i] = static_cast<uchar>(KSRand() & 0xFF);
    }
}

QColor ToQColor(KSColor colour) {
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

// One pixel wide: flat ends, so a line stops short of its last point. Wider: round ends and
// joins, as a wide solid pen has always had.
QPen MakePen(KSColor colour, std::int32_t width) {
    if (width <= 1) {
        return QPen(ToQColor(colour), 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
    }
    return QPen(ToQColor(colour), std::min(width, kMaxPenWidth), Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// Corners in either order, as a box with x0 <= x1 and y0 <= y1. In 64 bits, so that spans of
// any two 32-bit coordinates fit.
struct Box {
    std::int64_t x0;
    std::int64_t y0;
    std::int64_t x1;
    std::int64_t y1;

    Box(std::int64_t ax, std::int64_t ay, std::int64_t bx, std::int64_t by)
        : x0(std::min(ax, bx)), y0(std::min(ay, by)), x1(std::max(ax, bx)), y1(std::max(ay, by)) {}
    std::int64_t Width() const { return x1 - x0; }
    std::int64_t Height() const { return y1 - y0; }
    bool IsEmpty() const { return x0 == x1 || y0 == y1; }
    QRectF ToRectF() const {
        return QRectF(static_cast<qreal>(x0), static_cast<qreal>(y0), static_cast<qreal>(Width()),
                      static_cast<qreal>(Height()));
    }
};

QPoint ToQPoint(const KSPoint& point) {
    return QPoint(point.x, point.y);
}

} // namespace

CKSGeneratedImage::CKSGeneratedImage(CKSLogger* logger, std::int32_t width, std::int32_t height)
    : CKSIsLogging(logger), m_width(width), m_height(height) {}

CKSGeneratedImage::~CKSGeneratedImage() {
    EndPainting();
}

const QImage& CKSGeneratedImage::Bitmap() const {
    return m_image;
}

CKSGeneratedImage::ESurface CKSGeneratedImage::CreateSurface() {
    if (!m_surfaceTried) {
        m_surfaceTried = true;
        if (CreateDrawingSurface()) {
            m_surface = ESurface::Drawing;
        } else if (CreateFallbackSurface()) {
            m_surface = ESurface::Fallback;
        }
    }
    return m_surface;
}

bool CKSGeneratedImage::MayAllocate(std::uint64_t bytes) const {
    if (bytes > kMaxSurfaceBytes) {
        return false;
    }
    if (bytes <= kSmallSurfaceBytes) {
        return true;
    }
    // Memory is overcommitted here: a large allocation succeeds and the process dies when the
    // pixels are touched. Keep half of what is available for everybody else.
    const std::uint64_t available = AvailableMemory();
    return available == 0 || bytes <= available / 2;
}

bool CKSGeneratedImage::CreateDrawingSurface() {
    if (m_width <= 0 || m_height <= 0 || !MayAllocate(SurfaceBytes(m_width, m_height, 4))) {
        return false;
    }
    QImage image(m_width, m_height, QImage::Format_RGB32);
    if (image.isNull()) {
        return false;
    }
    m_image = std::move(image);
    return true;
}

bool CKSGeneratedImage::CreateFallbackSurface() {
    const std::int32_t columns = std::min(m_width, kFallbackMaxWidth);
    const std::int32_t rows = std::min(m_height, kFallbackMaxHeight);
    if (columns <= 0 || rows <= 0 || !MayAllocate(SurfaceBytes(columns, rows, 3))) {
        return false;
    }
    QImage image(columns, rows, QImage::Format_RGB888);
    if (image.isNull()) {
        return false;
    }
    // The noise runs straight through the pixel bytes, row padding included, and stops after
    // columns x rows x 3 bytes; whatever padding is left over at the end stays zero.
    const auto count = static_cast<std::size_t>(columns) * static_cast<std::size_t>(rows) * 3;
    const auto total = static_cast<std::size_t>(image.sizeInBytes());
    uchar* bytes = image.bits();
    FillWithNoise(bytes, count);
    std::memset(bytes + count, 0, total - count);
    m_image = std::move(image);
    return true;
}

QPainter* CKSGeneratedImage::Painter() {
    if (m_surface != ESurface::Drawing) {
        return nullptr;
    }
    if (!m_painter) {
        auto painter = std::make_unique<QPainter>();
        if (!painter->begin(&m_image)) {
            return nullptr;
        }
        painter->setRenderHint(QPainter::Antialiasing, false);
        m_painter = std::move(painter);
    }
    return m_painter.get();
}

void CKSGeneratedImage::EndPainting() {
    if (m_painter) {
        m_painter->end();
        m_painter.reset();
    }
}

std::uint32_t CKSGeneratedImage::GetShapeTotal() const {
    return std::accumulate(m_shapeCounts.begin(), m_shapeCounts.end(), std::uint32_t{0});
}

void CKSGeneratedImage::DrawLine(KSColor colour, std::int32_t width, std::int32_t x1, std::int32_t y1,
                                 std::int32_t x2, std::int32_t y2) {
    QPainter* painter = Painter();
    if (painter == nullptr) {
        return;
    }
    Count(EShape::Line);
    // A line that consists of nothing but its last point draws nothing.
    if (x1 == x2 && y1 == y2) {
        return;
    }
    painter->setBrush(Qt::NoBrush);
    if (width > 1) {
        painter->setPen(MakePen(colour, width));
        painter->drawLine(QPoint(x1, y1), QPoint(x2, y2));
        return;
    }
    // Qt's thin lines always run the same way along their major axis and leave out the point at
    // that end, which is the first point, not the last, of a line drawn backwards. So draw both
    // end points and clip away the last one: along the major axis no other pixel of the line
    // shares its column (or row).
    QPen pen = MakePen(colour, 1);
    pen.setCapStyle(Qt::SquareCap);
    painter->setPen(pen);
    const std::int64_t dx = std::int64_t{x2} - x1;
    const std::int64_t dy = std::int64_t{y2} - y1;
    std::int64_t left = 0;
    std::int64_t top = 0;
    std::int64_t right = m_width;
    std::int64_t bottom = m_height;
    if (std::abs(dx) >= std::abs(dy)) {
        if (dx > 0) {
            right = std::min<std::int64_t>(right, x2);
        } else {
            left = std::max<std::int64_t>(left, std::int64_t{x2} + 1);
        }
    } else if (dy > 0) {
        bottom = std::min<std::int64_t>(bottom, y2);
    } else {
        top = std::max<std::int64_t>(top, std::int64_t{y2} + 1);
    }
    if (left >= right || top >= bottom) {
        return;
    }
    painter->setClipRect(QRect(static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                               static_cast<int>(bottom - top)));
    painter->drawLine(QPoint(x1, y1), QPoint(x2, y2));
    painter->setClipping(false);
}

void CKSGeneratedImage::DrawBezier(KSColor colour, std::int32_t width, std::span<const KSPoint, 4> points) {
    QPainter* painter = Painter();
    if (painter == nullptr) {
        return;
    }
    Count(EShape::Bezier);
    if (width <= 0) {
        return;
    }
    QPainterPath path(ToQPoint(points[0]));
    path.cubicTo(ToQPoint(points[1]), ToQPoint(points[2]), ToQPoint(points[3]));
    painter->setPen(MakePen(colour, width));
    painter->setBrush(Qt::NoBrush);
    painter->drawPath(path);
}

void CKSGeneratedImage::FillRectangle(KSColor colour, std::int32_t x0, std::int32_t y0, std::int32_t x1,
                                      std::int32_t y1) {
    QPainter* painter = Painter();
    if (painter == nullptr) {
        return;
    }
    Count(EShape::FilledRectangle);
    const std::int64_t right = x1 == 0 ? std::int64_t{m_width} + 1 : x1;
    const std::int64_t bottom = y1 == 0 ? std::int64_t{m_height} + 1 : y1;
    Box box(x0, y0, right, bottom);
    // Cutting the box to the picture changes no pixel and keeps the sizes within int.
    box.x0 = std::clamp<std::int64_t>(box.x0, 0, m_width);
    box.x1 = std::clamp<std::int64_t>(box.x1, 0, m_width);
    box.y0 = std::clamp<std::int64_t>(box.y0, 0, m_height);
    box.y1 = std::clamp<std::int64_t>(box.y1, 0, m_height);
    if (box.IsEmpty()) {
        return;
    }
    painter->fillRect(QRect(static_cast<int>(box.x0), static_cast<int>(box.y0), static_cast<int>(box.Width()),
                            static_cast<int>(box.Height())),
                      ToQColor(colour));
}

void CKSGeneratedImage::FillEllipse(KSColor colour, std::int32_t x0, std::int32_t y0, std::int32_t x1,
                                    std::int32_t y1) {
    QPainter* painter = Painter();
    if (painter == nullptr) {
        return;
    }
    Count(EShape::FilledEllipse);
    const Box box(x0, y0, x1, y1);
    if (box.IsEmpty()) {
        return;
    }
    painter->setPen(Qt::NoPen);
    painter->setBrush(ToQColor(colour));
    painter->drawEllipse(box.ToRectF());
}

void CKSGeneratedImage::DrawEllipse(KSColor colour, std::int32_t width, std::int32_t x0, std::int32_t y0,
                                    std::int32_t x1, std::int32_t y1) {
    if (width <= 0) {
        // Filled instead, and counted as such.
        FillEllipse(colour, x0, y0, x1, y1);
        return;
    }
    QPainter* painter = Painter();
    if (painter == nullptr) {
        return;
    }
    Count(EShape::Ellipse);
    const Box box(x0, y0, x1, y1);
    if (box.IsEmpty()) {
        return;
    }
    // A pen's path runs through pixel centres, right of and below its coordinates; the path one
    // pixel in from the right and bottom keeps a thin outline inside x0 .. x1 - 1, y0 .. y1 - 1.
    // Wider pens straddle that path.
    QRectF path = box.ToRectF();
    path.setWidth(path.width() - 1);
    path.setHeight(path.height() - 1);
    painter->setPen(MakePen(colour, width));
    painter->setBrush(Qt::NoBrush);
    painter->drawEllipse(path);
}

void CKSGeneratedImage::DrawPie(KSColor colour, std::int32_t x0, std::int32_t y0, std::int32_t x1,
                                std::int32_t y1, KSPoint radial1, KSPoint radial2) {
    QPainter* painter = Painter();
    if (painter == nullptr) {
        return;
    }
    Count(EShape::Pie);
    const Box box(x0, y0, x1, y1);
    if (box.IsEmpty()) {
        return;
    }
    const double cx = (static_cast<double>(box.x0) + static_cast<double>(box.x1)) / 2;
    const double cy = (static_cast<double>(box.y0) + static_cast<double>(box.y1)) / 2;
    const auto w = static_cast<double>(box.Width());
    const auto h = static_cast<double>(box.Height());
    // Where the ray towards a radial point meets the ellipse, as the ellipse's parameter angle
    // (what QPainterPath::arcTo takes), counter-clockwise on screen: atan2((dy / ry), (dx / rx))
    // with both sides multiplied by rx * ry.
    const auto angleOf = [&](const KSPoint& point) {
        const double dx = point.x - cx;
        const double dy = cy - point.y;
        return std::atan2(dy * w, dx * h) * 180.0 / std::numbers::pi;
    };
    const double start = angleOf(radial1);
    double sweep = angleOf(radial2) - start;
    // Counter-clockwise from the first ray to the second; the same ray twice gives the whole
    // ellipse.
    while (sweep <= 0) {
        sweep += 360;
    }
    const QRectF rect = box.ToRectF();
    QPainterPath path(rect.center());
    path.arcTo(rect, start, sweep);
    path.closeSubpath();
    painter->setPen(Qt::NoPen);
    painter->setBrush(ToQColor(colour));
    painter->drawPath(path);
}

void CKSGeneratedImage::DrawTriangle(KSColor colour, std::int32_t width, std::span<const KSPoint, 3> points,
                                     bool outline) {
    if (Painter() != nullptr) {
        Count(EShape::Triangle);
        DrawPolygon(colour, width, points, outline);
    }
}

void CKSGeneratedImage::DrawQuadrilateral(KSColor colour, std::int32_t width,
                                          std::span<const KSPoint, 4> points, bool outline) {
    if (Painter() != nullptr) {
        Count(EShape::Quadrilateral);
        DrawPolygon(colour, width, points, outline);
    }
}

void CKSGeneratedImage::DrawPolygon(KSColor colour, std::int32_t width, std::span<const KSPoint> points,
                                    bool outline) {
    QPainter* painter = Painter();
    QPolygon polygon;
    for (const KSPoint& point : points) {
        polygon << ToQPoint(point);
    }
    if (outline && width > 0) {
        painter->setPen(MakePen(colour, width));
        painter->setBrush(Qt::NoBrush);
    } else {
        painter->setPen(Qt::NoPen);
        painter->setBrush(ToQColor(colour));
    }
    // Alternate filling, the classic default for self-crossing outlines.
    painter->drawPolygon(polygon, Qt::OddEvenFill);
}

namespace {

// Opens the claimed file for writing and empties it. Never creates a file, follows no symbolic
// link, and accepts only a regular file (a FIFO would block the save, a device is nothing to
// overwrite).
CUniqueFd OpenClaimedFile(const std::string& path) {
    if (path.empty() || !PathFitsPlatform(path)) {
        return CUniqueFd();
    }
    CUniqueFd file(::open(path.c_str(), O_WRONLY | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat status {};
    if (!file.IsValid() || ::fstat(file.Get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return CUniqueFd();
    }
    const int flags = ::fcntl(file.Get(), F_GETFL);
    if (flags >= 0) {
        ::fcntl(file.Get(), F_SETFL, flags & ~O_NONBLOCK);
    }
    return file;
}

} // namespace

std::uint32_t CKSGeneratedImage::Save(const CKSPathName& path, int imageType, std::uint32_t* failure,
                                      IWriteTap* tap, const CImageEncoder::Transform& transform) {
    if (failure != nullptr) {
        *failure = 0;
    }
    CUniqueFd file = OpenClaimedFile(path.ToNative());
    EndPainting();
    if (!HasBitmap() || !file.IsValid()) {
        return kImageSaveNoBitmap;
    }
    CImageEncoder encoder(GetLogger());
    if (encoder.ChooseEncoder(CImageEncoder::KindForImageType(imageType))) {
        encoder.SetOutput(std::move(file));
        encoder.SetWriteTap(tap);
        encoder.SetTransform(transform);
        if (!encoder.WriteBitmap(m_image) && failure != nullptr) {
            *failure =
                encoder.GetLastFailure() != 0 ? encoder.GetLastFailure() : static_cast<std::uint32_t>(EIO);
        }
    }
    return encoder.IsOutOfMemory() ? kImageSaveOutOfMemory : kImageSaveDone;
}
