#pragma once
// The picture of one image file: its drawing surface, the eight shape operations the image
// generator draws with, and the save into a claimed file.
//
// The drawing surface is a 32-bit RGB image painted without anti-aliasing. When it cannot be
// had (too large, or memory is short) a smaller 24-bit fallback surface filled with random bytes
// takes its place; nothing is drawn on that one, but it is saved like any other picture. When
// neither can be had there is no bitmap, and a save leaves the claimed file empty.
//
// Geometry follows the classic raster conventions the generator's choices were made for:
// rectangles and ellipses given by corners x0, y0, x1, y1 cover the pixels x0 .. x1 - 1 and
// y0 .. y1 - 1; a one-pixel line leaves out its last point; a pie is cut by the rays from the
// centre towards its two radial points and runs counter-clockwise on screen from the first to
// the second. Colours are 0x00BBGGRR (the low byte is red).
//
// One picture belongs to one thread at a time; different pictures may be drawn and saved on
// different threads at once, without any GUI application object.

#include "engine/KSGeneratorPolicy.h"
#include "generators/ImageEncoder.h"
#include "support/KSLogger.h"
#include "support/KSString.h"

#include <QImage>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

class IWriteTap;
class QPainter;

// 0x00BBGGRR: red in the low byte.
using KSColor = std::uint32_t;

class CKSGeneratedImage : public CKSIsLogging {
public:
    enum class ESurface { None, Drawing, Fallback };

    // The drawing operations, for counting.
    enum class EShape : std::size_t {
        Line,
        Bezier,
        FilledRectangle,
        FilledEllipse,
        Ellipse,
        Pie,
        Triangle,
        Quadrilateral,
    };
    static constexpr std::size_t kShapeKinds = 8;

    // The fallback surface is at most this many pixels wide and high.
    static constexpr std::int32_t kFallbackMaxWidth = 32768;
    static constexpr std::int32_t kFallbackMaxHeight = 10240;
    // No surface takes more than this many bytes. Above it allocation could "succeed" on an
    // overcommitting system and the process be killed once the pixels are touched.
    static constexpr std::uint64_t kMaxSurfaceBytes = std::uint64_t{1} << 30;

    CKSGeneratedImage(CKSLogger* logger, std::int32_t width, std::int32_t height);
    ~CKSGeneratedImage() override;
    CKSGeneratedImage(const CKSGeneratedImage&) = delete;
    CKSGeneratedImage& operator=(const CKSGeneratedImage&) = delete;

    // Creates the drawing surface, else the fallback surface; answers which one exists. Only the
    // first call creates anything.
    ESurface CreateSurface();
    ESurface GetSurface() const { return m_surface; }
    bool HasBitmap() const { return m_surface != ESurface::None; }
    // The picture as drawn so far (a null image without a bitmap).
    const QImage& Bitmap() const;

    std::int32_t GetWidth() const { return m_width; }
    std::int32_t GetHeight() const { return m_height; }

    // Each operation draws only on the drawing surface; on the fallback surface or without a
    // bitmap it does nothing. A pen width of 0 or 1 is one pixel.

    // A solid line of the width from the first point towards the second.
    void DrawLine(KSColor colour, std::int32_t width, std::int32_t x1, std::int32_t y1, std::int32_t x2,
                  std::int32_t y2);
    // A cubic Bezier curve from the first point to the fourth, the middle two its control
    // points. Width 0 asks for a filled figure, which an open curve does not have: nothing shows.
    void DrawBezier(KSColor colour, std::int32_t width, std::span<const KSPoint, 4> points);
    // x1 0 stands for width + 1 and y1 0 for height + 1, so (0, 0, 0, 0) fills the whole picture.
    void FillRectangle(KSColor colour, std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1);
    void FillEllipse(KSColor colour, std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1);
    // Outlined with a pen of the width when the width is above 0, else filled.
    void DrawEllipse(KSColor colour, std::int32_t width, std::int32_t x0, std::int32_t y0, std::int32_t x1,
                     std::int32_t y1);
    void DrawPie(KSColor colour, std::int32_t x0, std::int32_t y0, std::int32_t x1, std::int32_t y1,
                 KSPoint radial1, KSPoint radial2);
    // Outlined with a pen of the width when asked to and the width is above 0, else filled.
    void DrawTriangle(KSColor colour, std::int32_t width, std::span<const KSPoint, 3> points, bool outline);
    void DrawQuadrilateral(KSColor colour, std::int32_t width, std::span<const KSPoint, 4> points,
                           bool outline);

    // How many shapes of a kind were drawn on the drawing surface (the background fill is a
    // filled rectangle too).
    std::uint32_t GetShapeCount(EShape kind) const { return m_shapeCounts[static_cast<std::size_t>(kind)]; }
    std::uint32_t GetShapeTotal() const;

    // Saves the picture into the file at the path, which the caller has already claimed (created
    // empty, exclusively). The file is opened for writing and truncated but never created: a
    // path that does not exist, or names no regular file, gives kImageSaveNoBitmap and leaves
    // nothing behind, and so does a picture without a bitmap (its claimed file stays empty).
    // Otherwise kImageSaveOutOfMemory when memory ran short while encoding, else kImageSaveDone,
    // also when the encoder failed for another reason (that is logged at the detailed level).
    // failure (when given) receives the encoder's failure code when the picture could not be
    // written whole (an errno such as ENOSPC for a refused write), else 0. tap, when given, is
    // told of every byte written; transform, when given, changes the encoded file before it is.
    std::uint32_t Save(const CKSPathName& path, int imageType, std::uint32_t* failure = nullptr,
                       IWriteTap* tap = nullptr, const CImageEncoder::Transform& transform = {});

protected:
    // Whether a surface of this many bytes may be allocated: within kMaxSurfaceBytes, and for
    // large surfaces within half of the memory the system says is available.
    virtual bool MayAllocate(std::uint64_t bytes) const;

private:
    bool CreateDrawingSurface();
    bool CreateFallbackSurface();
    // The painter on the drawing surface, begun on first use; null without one.
    QPainter* Painter();
    // Finishes painting so that the pixels are complete before they are encoded.
    void EndPainting();
    void Count(EShape kind) { ++m_shapeCounts[static_cast<std::size_t>(kind)]; }
    void DrawPolygon(KSColor colour, std::int32_t width, std::span<const KSPoint> points, bool outline);

    std::int32_t m_width;
    std::int32_t m_height;
    ESurface m_surface = ESurface::None;
    bool m_surfaceTried = false;
    QImage m_image;
    std::unique_ptr<QPainter> m_painter;
    std::array<std::uint32_t, kShapeKinds> m_shapeCounts{};
};
