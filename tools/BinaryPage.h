#pragma once
// What the binary viewer's window shows, without the window: the page layout, the hex text of the
// page at the top offset, the status texts, the scroll arithmetic and the byte under a point. The
// viewer tool (CBinaryViewerTool) hands it the font and area its window measured, and turns the
// loader's chunk-ready calls into queued calls that end in OnChunkReady.

#include "support/KSLogger.h"
#include "tools/BinaryLoader.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Scroll requests, as the vertical scroll bar sends them.
enum class EBinaryScroll { LineUp, LineDown, PageUp, PageDown, ThumbPosition, ThumbTrack, Top, Bottom };

// The size of one character of the viewer's font, in pixels.
struct BinaryFontMetrics {
    int charWidth = 0;
    int charHeight = 0;
};

struct BinaryScrollBar {
    bool visible = false;
    std::uint64_t maximum = 0;
    std::uint64_t position = 0;
};

// The scroll bar as a widget with an int range holds it: positions are divided by scale (1 while
// the range fits), so that a huge file still scrolls from its first page to its last.
struct BinaryIntScrollBar {
    bool visible = false;
    int maximum = 0;
    int position = 0;
    std::uint64_t scale = 1;
};

// Scales the bar down until its maximum fits limit (INT_MAX unless a test says otherwise).
BinaryIntScrollBar ScaleScrollBar(const BinaryScrollBar& bar, std::uint64_t limit = 0x7FFFFFFF);
// The page position of an int scroll bar position, for Scroll's thumb requests.
std::int64_t UnscaleScrollPosition(int position, std::uint64_t scale);

// An offset typed by the user: decimal, or hexadecimal after "0x"; blanks around it are allowed.
// False for anything else, or a number beyond 64 bits.
bool ParseViewerOffset(std::u16string_view text, std::uint64_t& offset);

class CBinaryPage {
public:
    // Where the text starts inside the window's client area.
    static constexpr int kTextLeft = 3;
    static constexpr int kTextTop = 2;
    static constexpr std::size_t kPositionTextCapacity = 80;

    explicit CBinaryPage(CBinaryLoader& loader);
    CBinaryPage(const CBinaryPage&) = delete;
    CBinaryPage& operator=(const CBinaryPage&) = delete;

    // Computes the layout from the client area (less the status bar) and the font; without a
    // font (no device context) a byte takes 40 pixels and a line 13. Does nothing while a layout
    // exists. Then formats the page and sets the status text.
    void InitializeViewData(int clientWidth, int clientHeight, int statusHeight,
                            const BinaryFontMetrics* font);
    // Forgets the layout (the window's size changed); InitializeViewData computes a new one.
    void ClearLayout();
    // A layout that shows at least one byte.
    bool HasLayout() const { return PageSize() > 0; }

    // Tells the loader the page size, sizes the hex text, formats the page and sets the
    // "Viewing" status text.
    void UpdateViewData();
    // Formats the page at the top offset; true when the whole page was cached.
    bool LoadViewData();
    // A chunk arrived: with a layout the page is formatted again; without one the window lays
    // itself out (InitializeViewData) instead. Answers whether a layout existed.
    bool OnChunkReady();

    // Moves the top for a scroll request (position: the scroll bar's position, for the thumb
    // requests), kept between 0 and the last top, and formats the new page. ThumbTrack only
    // sets the status text for the tracked position. False without a layout.
    bool Scroll(EBinaryScroll request, std::int64_t position = 0);

    // Puts the line holding offset at the top (kept between 0 and the last top) and formats the
    // page. False without a layout.
    bool GoTo(std::uint64_t offset);

    // "Viewing %I64i-%I64i of %I64i bytes": the status bar's sizes part.
    const std::u16string& ViewingText() const { return m_viewingText; }
    // "Pos: %I64d (0x%I64X)" for the byte under the point, or empty when there is none.
    std::u16string PositionText(int x, int y) const;
    BinaryScrollBar ScrollBar() const;

    // The characters to draw for line i (without the zero fill of missing bytes); empty past
    // the hex text.
    std::string_view Line(std::uint32_t line) const;
    const std::string& HexText() const { return m_hexText; }
    // The bytes that line i shows, as many as Line(i) shows; empty past them.
    std::span<const unsigned char> LineBytes(std::uint32_t line) const;

    std::uint64_t Top() const { return m_top; }
    std::uint64_t FormattedTop() const { return m_formattedTop; }
    std::uint32_t BytesPerLine() const { return m_bytesPerLine; }
    std::uint32_t Lines() const { return m_lines; }
    std::uint64_t PageSize() const { return std::uint64_t{m_bytesPerLine} * m_lines; }
    std::uint64_t LastTop() const;
    int LineHeight() const { return m_lineHeight; }
    int CellWidth() const { return m_cellWidth; }
    int TextWidth() const { return m_textWidth; }
    int TextHeight() const { return m_textHeight; }

    // Receives "InitializeViewData", "LoadViewData" and "UpdateViewData", and the window's own
    // "ONPAINT" and "ONCUSTOM".
    CKSLogger& TraceLogger() { return m_trace; }

private:
    std::u16string ViewingTextFor(std::uint64_t top) const;

    CBinaryLoader& m_loader;
    CKSLogger m_trace;
    std::string m_hexText;
    // The bytes the hex text was formatted from (zeros where none were cached).
    std::vector<unsigned char> m_bytes;
    std::uint64_t m_top = 0;
    int m_lineHeight = 0;
    int m_cellWidth = 0;
    int m_textWidth = 0;
    int m_textHeight = 0;
    std::uint32_t m_bytesPerLine = 0;
    std::uint32_t m_lines = 0;
    std::uint64_t m_formattedTop = 0;
    std::u16string m_viewingText;
};
