#include "tools/BinaryPage.h"
#include "tests/tools/MemorySource.h"

#include <gtest/gtest.h>

namespace {

// A font of 8 x 13 pixels: a cell of 24 pixels, a line of 14.
constexpr BinaryFontMetrics kFont{8, 13};
constexpr int kStatusHeight = 20;

// The client size that holds exactly the given bytes per line and lines.
int WidthFor(int bytesPerLine) {
    return bytesPerLine * 3 * kFont.charWidth + 5;
}
int HeightFor(int lines) {
    return lines * (kFont.charHeight + 1) + kStatusHeight + 3;
}

// The viewer's start: the first chunk is asked for and arrives; then the window lays out.
void OpenPage(CMemoryLoader& loader, CBinaryPage& page, int bytesPerLine, int lines) {
    loader.Request(0);
    loader.ServeQueued();
    page.InitializeViewData(WidthFor(bytesPerLine), HeightFor(lines), kStatusHeight, &kFont);
    ASSERT_EQ(page.BytesPerLine(), static_cast<std::uint32_t>(bytesPerLine));
    ASSERT_EQ(page.Lines(), static_cast<std::uint32_t>(lines));
}

std::string HexOf(const std::vector<unsigned char>& bytes, std::size_t from, std::size_t count) {
    static const char* digits = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = from; i < from + count; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
        text += ' ';
    }
    return text;
}

} // namespace

TEST(BinaryPage, AHundredByteFileFitsOnOnePageThatDoesNotScroll) {
    CMemoryLoader loader(CMemoryLoader::Pattern(100));
    CBinaryPage page(loader);
    OpenPage(loader, page, 16, 10);
    EXPECT_EQ(page.ViewingText(), u"Viewing 0-100 of 100 bytes");
    EXPECT_EQ(page.Line(0), HexOf(loader.Bytes(), 0, 16));
    EXPECT_EQ(page.Line(0).substr(0, 9), "00 07 0E ");
    EXPECT_EQ(page.Line(6), HexOf(loader.Bytes(), 96, 4));
    EXPECT_EQ(page.Line(7), "");
    EXPECT_EQ(page.Line(10), "");

    for (EBinaryScroll request :
         {EBinaryScroll::LineDown, EBinaryScroll::PageDown, EBinaryScroll::LineUp, EBinaryScroll::PageUp,
          EBinaryScroll::Bottom, EBinaryScroll::ThumbPosition}) {
        EXPECT_TRUE(page.Scroll(request, 1));
        EXPECT_EQ(page.Top(), 0u);
    }
    EXPECT_EQ(page.ViewingText(), u"Viewing 0-100 of 100 bytes");
    const BinaryScrollBar bar = page.ScrollBar();
    EXPECT_TRUE(bar.visible);
    EXPECT_EQ(bar.maximum, 0u);
}

TEST(BinaryPage, ThePositionTextNamesTheByteUnderThePointOrNothing) {
    CMemoryLoader loader(CMemoryLoader::Pattern(100));
    CBinaryPage page(loader);
    OpenPage(loader, page, 16, 10);
    // Column 5 of line 1.
    EXPECT_EQ(page.PositionText(3 + 24 * 5 + 1, 2 + 14 + 1), u"Pos: 21 (0x15)");
    EXPECT_EQ(page.PositionText(3 + 24 * 3, 2 + 14 * 6), u"Pos: 99 (0x63)");
    // Line 6 holds bytes 96 to 99; column 4 there is beyond the last byte.
    EXPECT_EQ(page.PositionText(3 + 24 * 4 + 1, 2 + 14 * 6 + 1), u"");
    // On the margins and outside the text.
    EXPECT_EQ(page.PositionText(3, 10), u"");
    EXPECT_EQ(page.PositionText(10, 2), u"");
    EXPECT_EQ(page.PositionText(page.TextWidth(), 10), u"");
    EXPECT_EQ(page.PositionText(10, page.TextHeight()), u"");
}

TEST(BinaryPage, ScrollingMovesByLinesAndPagesWithinTheFile) {
    const std::size_t size = 20000;
    CMemoryLoader loader(CMemoryLoader::Pattern(size));
    CBinaryPage page(loader);
    OpenPage(loader, page, 16, 10); // 160 bytes a page
    const std::uint64_t lastTop = size - 160;

    page.Scroll(EBinaryScroll::PageDown);
    EXPECT_EQ(page.Top(), 144u); // one line of the old page stays in view
    page.Scroll(EBinaryScroll::LineDown);
    EXPECT_EQ(page.Top(), 160u);
    page.Scroll(EBinaryScroll::PageUp);
    EXPECT_EQ(page.Top(), 16u);
    page.Scroll(EBinaryScroll::PageUp);
    EXPECT_EQ(page.Top(), 0u);
    page.Scroll(EBinaryScroll::LineUp);
    EXPECT_EQ(page.Top(), 0u);

    page.Scroll(EBinaryScroll::ThumbPosition, 3);
    EXPECT_EQ(page.Top(), 480u);
    EXPECT_EQ(page.ScrollBar().position, 3u);
    EXPECT_EQ(page.ScrollBar().maximum, size / 160);

    // Tracking the thumb only tells where the page would be.
    page.Scroll(EBinaryScroll::ThumbTrack, 5);
    EXPECT_EQ(page.Top(), 480u);
    EXPECT_EQ(page.ViewingText(), u"Viewing 800-960 of 20000 bytes");

    page.Scroll(EBinaryScroll::ThumbPosition, 1000);
    EXPECT_EQ(page.Top(), lastTop);
    page.Scroll(EBinaryScroll::LineDown);
    EXPECT_EQ(page.Top(), lastTop);
    page.Scroll(EBinaryScroll::Top);
    EXPECT_EQ(page.Top(), 0u);
    page.Scroll(EBinaryScroll::ThumbPosition, -4);
    EXPECT_EQ(page.Top(), 0u);
}

TEST(BinaryPage, TheLastPageOfALargeFileFillsInWhenItsChunkArrives) {
    const std::size_t size = (1 << 20) + 5;
    CMemoryLoader loader(CMemoryLoader::Pattern(size));
    CBinaryPage page(loader);
    OpenPage(loader, page, 16, 10);
    EXPECT_TRUE(page.Scroll(EBinaryScroll::Bottom));
    EXPECT_EQ(page.Top(), size - 160);
    EXPECT_EQ(page.ViewingText(), u"Viewing 1048421-1048581 of 1048581 bytes");
    // Not loaded yet: blank.
    EXPECT_EQ(page.Line(0), "");
    EXPECT_FALSE(page.LoadViewData());

    loader.ServeQueued();
    EXPECT_TRUE(page.OnChunkReady());
    EXPECT_EQ(page.Line(0), HexOf(loader.Bytes(), size - 160, 16));
    EXPECT_EQ(page.Line(9), HexOf(loader.Bytes(), size - 16, 16));
    EXPECT_EQ(page.PositionText(3 + 24 * 15 + 1, 2 + 14 * 9 + 1), u"Pos: 1048580 (0x100004)");
}

TEST(BinaryPage, AWindowTooSmallForOneByteHasNoLayout) {
    CMemoryLoader loader(CMemoryLoader::Pattern(1000));
    CBinaryPage page(loader);
    loader.Request(0);
    loader.ServeQueued();
    page.InitializeViewData(20, 200, kStatusHeight, &kFont);
    EXPECT_FALSE(page.HasLayout());
    EXPECT_FALSE(page.ScrollBar().visible);
    EXPECT_FALSE(page.Scroll(EBinaryScroll::PageDown));
    EXPECT_FALSE(page.OnChunkReady());
    EXPECT_EQ(page.PositionText(5, 5), u"");
}

TEST(BinaryPage, WithoutAFontTheLayoutUsesFixedCellsAndShowsNoPosition) {
    CMemoryLoader loader(CMemoryLoader::Pattern(1000));
    CBinaryPage page(loader);
    // A layout with a font first: its cell and line sizes must not outlive it.
    OpenPage(loader, page, 16, 10);
    page.ClearLayout();
    page.InitializeViewData(400, 13 * 5 + kStatusHeight, kStatusHeight, nullptr);
    EXPECT_EQ(page.BytesPerLine(), 10u);
    EXPECT_EQ(page.Lines(), 5u);
    EXPECT_EQ(page.PositionText(10, 10), u"");
}

TEST(BinaryPage, ALayoutStaysUntilItIsCleared) {
    CMemoryLoader loader(CMemoryLoader::Pattern(1000));
    CBinaryPage page(loader);
    OpenPage(loader, page, 16, 10);
    page.InitializeViewData(WidthFor(8), HeightFor(4), kStatusHeight, &kFont);
    EXPECT_EQ(page.BytesPerLine(), 16u);
    page.ClearLayout();
    page.InitializeViewData(WidthFor(8), HeightFor(4), kStatusHeight, &kFont);
    EXPECT_EQ(page.BytesPerLine(), 8u);
    EXPECT_EQ(page.Lines(), 4u);
    EXPECT_EQ(page.ViewingText(), u"Viewing 0-32 of 1000 bytes");
    EXPECT_EQ(page.HexText().size(), 32u * 3);
}

TEST(BinaryPage, AOneLineWindowStillPagesDown) {
    CMemoryLoader loader(CMemoryLoader::Pattern(1000));
    CBinaryPage page(loader);
    OpenPage(loader, page, 16, 1);
    page.Scroll(EBinaryScroll::PageDown);
    EXPECT_EQ(page.Top(), 16u);
    page.Scroll(EBinaryScroll::PageUp);
    EXPECT_EQ(page.Top(), 0u);
}

TEST(BinaryPage, AnEmptyFileShowsNothingOfNothing) {
    CMemoryLoader loader({});
    CBinaryPage page(loader);
    OpenPage(loader, page, 16, 10);
    EXPECT_EQ(page.ViewingText(), u"Viewing 0-0 of 0 bytes");
    EXPECT_TRUE(page.LoadViewData());
    EXPECT_EQ(page.Line(0), "");
    EXPECT_TRUE(page.Scroll(EBinaryScroll::Bottom));
    EXPECT_EQ(page.Top(), 0u);
    // Formatting again asks for nothing, so an empty file cannot make the loader spin.
    EXPECT_TRUE(loader.PendingRequests().empty());
}

TEST(BinaryPage, AScrollRangeBeyondAnIntIsScaledAndStillReachesBothEnds) {
    // 2^40 pages: far more than an int scroll bar holds.
    const BinaryScrollBar huge{true, 1ULL << 40, (1ULL << 40) - 5};
    const BinaryIntScrollBar scaled = ScaleScrollBar(huge);
    EXPECT_TRUE(scaled.visible);
    EXPECT_LE(scaled.maximum, 0x7FFFFFFF);
    EXPECT_GT(scaled.maximum, 0x7FFFFFFF / 2);
    EXPECT_EQ(UnscaleScrollPosition(0, scaled.scale), 0);
    // The bar's end leads to the last pages, within one scale step of the true end.
    const auto end = static_cast<std::uint64_t>(UnscaleScrollPosition(scaled.maximum, scaled.scale));
    EXPECT_LE(end, huge.maximum);
    EXPECT_LT(huge.maximum - end, scaled.scale);
    EXPECT_EQ(scaled.position, static_cast<int>(huge.position / scaled.scale));

    // A range that fits is left alone, and a small limit scales a small range.
    const BinaryIntScrollBar small = ScaleScrollBar({true, 1000, 7});
    EXPECT_EQ(small.scale, 1u);
    EXPECT_EQ(small.maximum, 1000);
    EXPECT_EQ(small.position, 7);
    const BinaryIntScrollBar limited = ScaleScrollBar({true, 1001, 1001}, 100);
    EXPECT_EQ(limited.scale, 11u);
    EXPECT_LE(limited.maximum, 100);
    EXPECT_EQ(limited.position, limited.maximum);
    // No layout: nothing to scroll, and no division by a zero page.
    EXPECT_FALSE(ScaleScrollBar({}).visible);
}

TEST(BinaryPage, TypedOffsetsAreDecimalOrHexAndAnythingElseIsRefused) {
    std::uint64_t offset = 1;
    EXPECT_TRUE(ParseViewerOffset(u" 4096 ", offset));
    EXPECT_EQ(offset, 4096u);
    EXPECT_TRUE(ParseViewerOffset(u"0x1fF", offset));
    EXPECT_EQ(offset, 0x1FFu);
    EXPECT_TRUE(ParseViewerOffset(u"0xFFFFFFFFFFFFFFFF", offset));
    EXPECT_EQ(offset, UINT64_MAX);
    offset = 7;
    for (const std::u16string_view bad :
         {u"", u"  ", u"0x", u"12a", u"-3", u"0x10000000000000000", u"18446744073709551616"}) {
        EXPECT_FALSE(ParseViewerOffset(bad, offset)) << std::string(bad.begin(), bad.end());
    }
    EXPECT_EQ(offset, 7u);
}

TEST(BinaryPage, GoingToAnOffsetPutsItsLineAtTheTopWithinTheFile) {
    CMemoryLoader loader(CMemoryLoader::Pattern(10000));
    CBinaryPage page(loader);
    OpenPage(loader, page, 16, 10);
    EXPECT_TRUE(page.GoTo(1000));
    EXPECT_EQ(page.Top(), 992u);
    EXPECT_TRUE(page.GoTo(UINT64_MAX));
    EXPECT_EQ(page.Top(), page.LastTop());
    EXPECT_EQ(page.ViewingText(), u"Viewing 9840-10000 of 10000 bytes");
    page.ClearLayout();
    EXPECT_FALSE(page.GoTo(0));
}
