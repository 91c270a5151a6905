// The picture's surfaces and its eight drawing operations, checked on the pixels.

#include "engine/Randomizer.h"
#include "generators/KSGeneratedImage.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using Shape = CKSGeneratedImage::EShape;
using Surface = CKSGeneratedImage::ESurface;

constexpr KSColor kWhite = 0xFFFFFF;
constexpr KSColor kBlack = 0x000000;

// A white picture of the size, ready to draw on.
struct Canvas {
    CKSGeneratedImage image;
    Canvas(std::int32_t width, std::int32_t height) : image(nullptr, width, height) {
        EXPECT_EQ(image.CreateSurface(), Surface::Drawing);
        image.FillRectangle(kWhite, 0, 0, 0, 0);
    }
    bool IsSet(int x, int y) const { return image.Bitmap().pixel(x, y) != qRgb(255, 255, 255); }
    // The pixels that are no longer white, as "x,y" texts, for readable failures.
    std::vector<std::string> SetOutside(int x0, int y0, int x1, int y1) const {
        std::vector<std::string> outside;
        for (int y = 0; y < image.Bitmap().height(); ++y) {
            for (int x = 0; x < image.Bitmap().width(); ++x) {
                if (IsSet(x, y) && (x < x0 || x > x1 || y < y0 || y > y1)) {
                    outside.push_back(std::to_string(x) + "," + std::to_string(y));
                }
            }
        }
        return outside;
    }
    // The smallest box holding every pixel that is no longer white: x0, y0, x1, y1 inclusive.
    std::array<int, 4> Extent() const {
        std::array<int, 4> box{INT_MAX, INT_MAX, -1, -1};
        for (int y = 0; y < image.Bitmap().height(); ++y) {
            for (int x = 0; x < image.Bitmap().width(); ++x) {
                if (IsSet(x, y)) {
                    box = {std::min(box[0], x), std::min(box[1], y), std::max(box[2], x),
                           std::max(box[3], y)};
                }
            }
        }
        return box;
    }
};

// A picture whose allocations are limited, to stand for a system that is short of memory.
class CLimitedImage : public CKSGeneratedImage {
public:
    CLimitedImage(std::int32_t width, std::int32_t height, std::uint64_t limit)
        : CKSGeneratedImage(nullptr, width, height), m_limit(limit) {}

protected:
    bool MayAllocate(std::uint64_t bytes) const override { return bytes <= m_limit; }

private:
    std::uint64_t m_limit;
};

} // namespace

TEST(GeneratedImage, BackgroundFillsEveryPixelWithTheExactColour) {
    // 0x00BBGGRR: the low byte is red.
    const std::pair<KSColor, QRgb> colours[] = {
        {0x808080, qRgb(128, 128, 128)}, {0x0000FF, qRgb(255, 0, 0)},        {0x00FF00, qRgb(0, 255, 0)},
        {0xFF0000, qRgb(0, 0, 255)},     {0x123456, qRgb(0x56, 0x34, 0x12)},
    };
    for (const auto& [colour, expected] : colours) {
        CKSGeneratedImage image(nullptr, 23, 17);
        ASSERT_EQ(image.CreateSurface(), Surface::Drawing);
        EXPECT_EQ(image.Bitmap().size(), QSize(23, 17));
        image.FillRectangle(colour, 0, 0, 0, 0);
        int wrong = 0;
        for (int y = 0; y < 17; ++y) {
            for (int x = 0; x < 23; ++x) {
                wrong += image.Bitmap().pixel(x, y) != expected ? 1 : 0;
            }
        }
        EXPECT_EQ(wrong, 0) << std::hex << colour;
    }
}

TEST(GeneratedImage, FilledRectangleCoversUpToButNotIncludingItsFarCorner) {
    for (const auto& corners : {std::array{2, 3, 6, 5}, std::array{6, 5, 2, 3}}) {
        Canvas canvas(10, 8);
        canvas.image.FillRectangle(kBlack, corners[0], corners[1], corners[2], corners[3]);
        EXPECT_EQ(canvas.Extent(), (std::array{2, 3, 5, 4}));
        EXPECT_TRUE(canvas.IsSet(2, 3) && canvas.IsSet(5, 4) && canvas.IsSet(3, 4));
    }
    // Far corners of 0 reach one past the picture, so a fill from (1, 1) leaves only the first
    // row and column.
    Canvas canvas(10, 8);
    canvas.image.FillRectangle(kBlack, 1, 1, 0, 0);
    EXPECT_EQ(canvas.Extent(), (std::array{1, 1, 9, 7}));
    // A rectangle with no width draws nothing.
    Canvas empty(10, 8);
    empty.image.FillRectangle(kBlack, 4, 1, 4, 6);
    EXPECT_EQ(empty.Extent()[2], -1);
}

TEST(GeneratedImage, ThinLineLeavesOutItsLastPoint) {
    Canvas canvas(12, 10);
    canvas.image.DrawLine(kBlack, 1, 1, 1, 8, 1);
    EXPECT_EQ(canvas.Extent(), (std::array{1, 1, 7, 1}));

    Canvas vertical(12, 10);
    vertical.image.DrawLine(kBlack, 0, 3, 8, 3, 2);
    EXPECT_EQ(vertical.Extent(), (std::array{3, 3, 3, 8}));

    Canvas diagonal(12, 10);
    diagonal.image.DrawLine(kBlack, 1, 0, 0, 5, 5);
    EXPECT_TRUE(diagonal.IsSet(0, 0) && diagonal.IsSet(4, 4));
    EXPECT_FALSE(diagonal.IsSet(5, 5));

    // In every direction: the first point is drawn, the last is not, and the line has one
    // pixel per step along its longer axis.
    KSSrand(7);
    for (int i = 0; i < 300; ++i) {
        const auto coordinate = [] { return static_cast<std::int32_t>(RandomInRange(1, 30)); };
        const std::int32_t x1 = coordinate(), y1 = coordinate(), x2 = coordinate(), y2 = coordinate();
        if (x1 == x2 && y1 == y2) {
            continue;
        }
        Canvas any(32, 32);
        any.image.DrawLine(kBlack, 1, x1, y1, x2, y2);
        SCOPED_TRACE(testing::Message() << x1 << "," << y1 << " -> " << x2 << "," << y2);
        EXPECT_TRUE(any.IsSet(x1, y1));
        EXPECT_FALSE(any.IsSet(x2, y2));
        int count = 0;
        for (int y = 0; y < 32; ++y) {
            for (int x = 0; x < 32; ++x) {
                count += any.IsSet(x, y) ? 1 : 0;
            }
        }
        EXPECT_EQ(count, std::max(std::abs(x2 - x1), std::abs(y2 - y1)));
        EXPECT_TRUE(
            any.SetOutside(std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)).empty());
    }

    // Nothing but the last point: nothing at all.
    Canvas dot(12, 10);
    dot.image.DrawLine(kBlack, 1, 4, 4, 4, 4);
    EXPECT_EQ(dot.Extent()[2], -1);
    EXPECT_EQ(dot.image.GetShapeCount(Shape::Line), 1U);

    // A wide pen draws a band of about its width.
    Canvas wide(20, 20);
    wide.image.DrawLine(kBlack, 5, 2, 10, 17, 10);
    EXPECT_TRUE(wide.IsSet(10, 8) && wide.IsSet(10, 12));
    EXPECT_FALSE(wide.IsSet(10, 5) || wide.IsSet(10, 15));
}

TEST(GeneratedImage, EllipsesStayInsideTheirRectangle) {
    Canvas filled(30, 20);
    filled.image.FillEllipse(kBlack, 4, 3, 24, 15);
    EXPECT_TRUE(filled.SetOutside(4, 3, 23, 14).empty());
    EXPECT_TRUE(filled.IsSet(14, 9));
    // The widest row reaches both sides of the rectangle.
    EXPECT_EQ(filled.Extent()[0], 4);
    EXPECT_EQ(filled.Extent()[2], 23);

    // A thin outline touches all four sides and leaves the middle alone.
    Canvas outlined(30, 20);
    outlined.image.DrawEllipse(kBlack, 1, 24, 15, 4, 3);
    EXPECT_EQ(outlined.Extent(), (std::array{4, 3, 23, 14}));
    EXPECT_FALSE(outlined.IsSet(14, 9));

    // Width 0 fills instead, and counts as a filled ellipse.
    Canvas zero(30, 20);
    zero.image.DrawEllipse(kBlack, 0, 4, 3, 24, 15);
    EXPECT_TRUE(zero.IsSet(14, 9));
    EXPECT_EQ(zero.image.GetShapeCount(Shape::FilledEllipse), 1U);
    EXPECT_EQ(zero.image.GetShapeCount(Shape::Ellipse), 0U);
}

TEST(GeneratedImage, PieRunsCounterClockwiseFromTheFirstRayToTheSecond) {
    // From the ray to the right round to the ray upwards: the upper right quarter.
    Canvas quarter(40, 40);
    quarter.image.DrawPie(kBlack, 0, 0, 40, 40, {40, 20}, {20, 0});
    EXPECT_TRUE(quarter.IsSet(30, 10));
    EXPECT_FALSE(quarter.IsSet(10, 10) || quarter.IsSet(10, 30) || quarter.IsSet(30, 30));

    // The other way round: the other three quarters.
    Canvas rest(40, 40);
    rest.image.DrawPie(kBlack, 0, 0, 40, 40, {20, 0}, {40, 20});
    EXPECT_FALSE(rest.IsSet(30, 10));
    EXPECT_TRUE(rest.IsSet(10, 10) && rest.IsSet(10, 30) && rest.IsSet(30, 30));

    // The cut follows the rays themselves, also on a flat ellipse: from the ray to the right to
    // the ray at 45 degrees (towards the top right) takes in a point at about 27 degrees and
    // leaves one at 60 degrees.
    Canvas flat(80, 20);
    flat.image.DrawPie(kBlack, 0, 0, 80, 20, {80, 10}, {50, 0});
    EXPECT_TRUE(flat.IsSet(48, 6));
    EXPECT_FALSE(flat.IsSet(44, 3));
    EXPECT_FALSE(flat.IsSet(48, 12));
}

TEST(GeneratedImage, PieIsBoundedByItsRectangle) {
    // The same ray twice gives the whole ellipse, the largest a pie can be.
    Canvas whole(40, 40);
    whole.image.DrawPie(kBlack, 10, 10, 30, 26, {35, 18}, {35, 18});
    EXPECT_TRUE(whole.SetOutside(10, 10, 29, 25).empty());
    EXPECT_TRUE(whole.IsSet(20, 18) && whole.IsSet(12, 18) && whole.IsSet(28, 18));

    // Radial points far outside the picture only give the directions.
    Canvas far(40, 40);
    far.image.DrawPie(kBlack, 5, 5, 35, 35, {-1000, 20}, {1000, 21});
    EXPECT_TRUE(far.SetOutside(5, 5, 34, 34).empty());
    EXPECT_TRUE(far.IsSet(20, 30));
    EXPECT_FALSE(far.IsSet(20, 10));
}

TEST(GeneratedImage, PolygonsAreFilledOrOutlined) {
    const std::array<KSPoint, 3> triangle{{{2, 2}, {27, 2}, {2, 27}}};
    Canvas filled(30, 30);
    filled.image.DrawTriangle(kBlack, 3, triangle, false);
    EXPECT_TRUE(filled.IsSet(8, 8));
    EXPECT_FALSE(filled.IsSet(25, 25));

    Canvas outlined(30, 30);
    outlined.image.DrawTriangle(kBlack, 1, triangle, true);
    EXPECT_FALSE(outlined.IsSet(8, 8));
    EXPECT_TRUE(outlined.IsSet(2, 2) && outlined.IsSet(10, 2) && outlined.IsSet(2, 10));

    // An outline of width 0 is filled after all.
    Canvas zero(30, 30);
    zero.image.DrawTriangle(kBlack, 0, triangle, true);
    EXPECT_TRUE(zero.IsSet(8, 8));

    const std::array<KSPoint, 4> quad{{{5, 1}, {28, 5}, {24, 28}, {1, 24}}};
    Canvas quadFilled(30, 30);
    quadFilled.image.DrawQuadrilateral(kBlack, 2, quad, false);
    EXPECT_TRUE(quadFilled.IsSet(15, 15));
    Canvas quadOutlined(30, 30);
    quadOutlined.image.DrawQuadrilateral(kBlack, 2, quad, true);
    EXPECT_FALSE(quadOutlined.IsSet(15, 15));
    EXPECT_TRUE(quadOutlined.IsSet(5, 1));
}

TEST(GeneratedImage, BezierIsStrokedOnlyWithAPen) {
    const std::array<KSPoint, 4> points{{{2, 20}, {10, 0}, {20, 40}, {28, 20}}};
    Canvas stroked(30, 40);
    stroked.image.DrawBezier(kBlack, 2, points);
    EXPECT_TRUE(stroked.IsSet(2, 20) || stroked.IsSet(3, 20));
    EXPECT_TRUE(stroked.IsSet(15, 20) || stroked.IsSet(15, 19) || stroked.IsSet(15, 21));

    // Width 0 asks for a filled figure, which an open curve has not: nothing, but counted.
    Canvas none(30, 40);
    none.image.DrawBezier(kBlack, 0, points);
    EXPECT_EQ(none.Extent()[2], -1);
    EXPECT_EQ(none.image.GetShapeCount(Shape::Bezier), 1U);
}

TEST(GeneratedImage, CountsWhatWasDrawnByKind) {
    Canvas canvas(50, 40);
    const std::array<KSPoint, 3> tri{{{1, 1}, {9, 1}, {1, 9}}};
    const std::array<KSPoint, 4> quad{{{1, 1}, {9, 1}, {9, 9}, {1, 9}}};
    canvas.image.FillRectangle(0x0000FF, 1, 1, 5, 5);
    canvas.image.DrawLine(kBlack, 1, 0, 0, 9, 9);
    canvas.image.DrawLine(kBlack, 3, 0, 9, 9, 0);
    canvas.image.DrawBezier(kBlack, 1, quad);
    canvas.image.FillEllipse(kBlack, 1, 1, 9, 9);
    canvas.image.DrawEllipse(kBlack, 2, 1, 1, 9, 9);
    canvas.image.DrawPie(kBlack, 1, 1, 9, 9, {9, 5}, {5, 1});
    canvas.image.DrawTriangle(kBlack, 1, tri, true);
    canvas.image.DrawQuadrilateral(kBlack, 1, quad, false);
    canvas.image.DrawQuadrilateral(kBlack, 1, quad, true);
    // The background of the canvas is one filled rectangle too.
    EXPECT_EQ(canvas.image.GetShapeCount(Shape::FilledRectangle), 2U);
    EXPECT_EQ(canvas.image.GetShapeCount(Shape::Line), 2U);
    EXPECT_EQ(canvas.image.GetShapeCount(Shape::Bezier), 1U);
    EXPECT_EQ(canvas.image.GetShapeCount(Shape::FilledEllipse), 1U);
    EXPECT_EQ(canvas.image.GetShapeCount(Shape::Ellipse), 1U);
    EXPECT_EQ(canvas.image.GetShapeCount(Shape::Pie), 1U);
    EXPECT_EQ(canvas.image.GetShapeCount(Shape::Triangle), 1U);
    EXPECT_EQ(canvas.image.GetShapeCount(Shape::Quadrilateral), 2U);
    EXPECT_EQ(canvas.image.GetShapeTotal(), 11U);
}

TEST(GeneratedImage, FallbackSurfaceIsCappedRandomRgbAndNotDrawnOn) {
    // Too large for a drawing surface (over 1 GB at 32 bits), so the fallback takes its place:
    // at most 32768 columns and 10240 rows of 24 bits.
    CKSGeneratedImage wide(nullptr, 300'000'000, 3);
    ASSERT_EQ(wide.CreateSurface(), Surface::Fallback);
    EXPECT_EQ(wide.Bitmap().size(), QSize(32768, 3));
    EXPECT_EQ(wide.Bitmap().format(), QImage::Format_RGB888);

    CKSGeneratedImage tall(nullptr, 7, 300'000'000);
    ASSERT_EQ(tall.CreateSurface(), Surface::Fallback);
    EXPECT_EQ(tall.Bitmap().size(), QSize(7, 10240));

    // Nothing is drawn on it and nothing counted.
    const QImage before = tall.Bitmap().copy();
    tall.FillRectangle(kBlack, 0, 0, 0, 0);
    tall.DrawLine(kBlack, 1, 0, 0, 6, 6);
    EXPECT_EQ(tall.Bitmap(), before);
    EXPECT_EQ(tall.GetShapeTotal(), 0U);
}

TEST(GeneratedImage, FallbackNoiseFollowsTheRandomSourceExactly) {
    // 5 columns of 24 bits: 15 bytes per row, padded to 16. Noise runs straight through the
    // padding for 5 x 3 x 3 = 45 bytes; the last 3 bytes of the buffer stay zero.
    CLimitedImage image(5, 3, 48);
    KSSrand(1);
    ASSERT_EQ(image.CreateSurface(), Surface::Fallback);
    const QImage& bitmap = image.Bitmap();
    ASSERT_EQ(bitmap.sizeInBytes(), 48);
    const std::string bytes(reinterpret_cast<const char*>(bitmap.constBits()), 48);

    // The same draws made here: the first value stored as it is, later ones given the high bit
    // of every byte while an odd number of odd values has been drawn, then the remaining bytes
    // from the second of two draws each. 45 bytes: 11 words and one byte.
    KSSrand(1);
    std::string expected;
    std::uint32_t value = RandomPair();
    int odd = 0;
    for (int word = 0; word < 11; ++word) {
        for (int shift = 0; shift < 32; shift += 8) {
            expected.push_back(static_cast<char>(value >> shift));
        }
        value = RandomPair() | (odd % 2 != 0 ? 0x80808080U : 0U);
        odd += static_cast<int>(value & 1);
    }
    KSRand();
    expected.push_back(static_cast<char>(KSRand() & 0xFF));
    expected.append(3, '\0');
    EXPECT_EQ(bytes, expected);
    // After srand(1) the first draws are 41 and 18467: the first word is 0x00294823.
    EXPECT_EQ(bytes.substr(0, 4), std::string("\x23\x48\x29\x00", 4));
}

TEST(GeneratedImage, NoBitmapWhenNothingCanBeAllocated) {
    // Refused memory: the drawing surface first, then the fallback.
    CLimitedImage tight(100, 100, 100 * 100 * 3);
    EXPECT_EQ(tight.CreateSurface(), Surface::Fallback);
    CLimitedImage none(100, 100, 0);
    EXPECT_EQ(none.CreateSurface(), Surface::None);
    EXPECT_FALSE(none.HasBitmap());
    EXPECT_TRUE(none.Bitmap().isNull());

    // No pixels at all.
    for (const auto& [width, height] : {std::pair{0, 10}, std::pair{10, 0}, std::pair{-5, 10}}) {
        CKSGeneratedImage image(nullptr, width, height);
        EXPECT_EQ(image.CreateSurface(), Surface::None);
    }

    // Every operation is harmless without a bitmap and counts nothing.
    const std::array<KSPoint, 4> points{};
    none.FillRectangle(kBlack, 0, 0, 0, 0);
    none.DrawLine(kBlack, 1, 0, 0, 5, 5);
    none.DrawBezier(kBlack, 1, points);
    none.FillEllipse(kBlack, 0, 0, 5, 5);
    none.DrawEllipse(kBlack, 1, 0, 0, 5, 5);
    none.DrawPie(kBlack, 0, 0, 5, 5, {5, 2}, {2, 0});
    none.DrawTriangle(kBlack, 1, std::span<const KSPoint, 3>(points.data(), 3), true);
    none.DrawQuadrilateral(kBlack, 1, points, false);
    EXPECT_EQ(none.GetShapeTotal(), 0U);
}

TEST(GeneratedImage, HugeSizesNeverCrash) {
    // 10^10 pixels: either the largest fallback (about 1 GB of noise) or, on a machine short of
    // memory, no bitmap at all.
    {
        CKSGeneratedImage image(nullptr, 100000, 100000);
        const Surface surface = image.CreateSurface();
        ASSERT_NE(surface, Surface::Drawing);
        if (surface == Surface::Fallback) {
            EXPECT_EQ(image.Bitmap().size(), QSize(32768, 10240));
        }
        image.FillRectangle(kBlack, 0, 0, 0, 0);
        EXPECT_EQ(image.GetShapeTotal(), 0U);
    }
    // The largest sizes there are, and coordinates far beyond the picture.
    CKSGeneratedImage widest(nullptr, INT32_MAX, 1);
    EXPECT_EQ(widest.CreateSurface(), Surface::Fallback);
    Canvas canvas(20, 20);
    canvas.image.FillRectangle(kBlack, INT32_MIN, INT32_MIN, INT32_MAX, 10);
    canvas.image.FillEllipse(0x00FF00, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX);
    canvas.image.DrawPie(0x00FF00, INT32_MIN, 0, INT32_MAX, 20, {INT32_MAX, INT32_MAX}, {INT32_MIN, 0});
    canvas.image.DrawLine(kBlack, INT32_MAX, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX);
    EXPECT_TRUE(canvas.IsSet(5, 5));
}
