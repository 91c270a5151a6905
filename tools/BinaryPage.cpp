#include "tools/BinaryPage.h"

#include "tools/HexText.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace {

// Offsets near the top of the 64-bit range saturate instead of wrapping round to the start.
std::uint64_t SaturatingAdd(std::uint64_t a, std::uint64_t b) {
    return a > std::numeric_limits<std::uint64_t>::max() - b ? std::numeric_limits<std::uint64_t>::max()
                                                             : a + b;
}

std::uint64_t SaturatingMultiply(std::uint64_t a, std::uint64_t b) {
    if (a != 0 && b > std::numeric_limits<std::uint64_t>::max() / a) {
        return std::numeric_limits<std::uint64_t>::max();
    }
    return a * b;
}

// File offsets are shown through the signed 64-bit conversions of the status texts.
std::int64_t AsShown(std::uint64_t value) {
    return static_cast<std::int64_t>(
        std::min<std::uint64_t>(value, std::numeric_limits<std::int64_t>::max()));
}

} // namespace

BinaryIntScrollBar ScaleScrollBar(const BinaryScrollBar& bar, std::uint64_t limit) {
    BinaryIntScrollBar scaled;
    scaled.visible = bar.visible;
    if (!bar.visible || limit == 0) {
        return scaled;
    }
    // The smallest scale that brings the maximum within the limit (rounded up).
    scaled.scale = bar.maximum / limit + (bar.maximum % limit != 0 ? 1 : 0);
    scaled.scale = std::max<std::uint64_t>(scaled.scale, 1);
    scaled.maximum = static_cast<int>(bar.maximum / scaled.scale);
    scaled.position = static_cast<int>(std::min(bar.position / scaled.scale, bar.maximum / scaled.scale));
    return scaled;
}

std::int64_t UnscaleScrollPosition(int position, std::uint64_t scale) {
    const std::uint64_t unsignedPosition = position < 0 ? 0 : static_cast<std::uint64_t>(position);
    return AsShown(SaturatingMultiply(unsignedPosition, std::max<std::uint64_t>(scale, 1)));
}

bool ParseViewerOffset(std::u16string_view text, std::uint64_t& offset) {
    const auto first = text.find_first_not_of(u" \t");
    if (first == std::u16string_view::npos) {
        return false;
    }
    text = text.substr(first, text.find_last_not_of(u" \t") - first + 1);
    unsigned base = 10;
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    std::uint64_t value = 0;
    for (const char16_t c : text) {
        unsigned digit = 0;
        if (c >= u'0' && c <= u'9') {
            digit = static_cast<unsigned>(c - u'0');
        } else if (base == 16 && c >= u'a' && c <= u'f') {
            digit = static_cast<unsigned>(c - u'a' + 10);
        } else if (base == 16 && c >= u'A' && c <= u'F') {
            digit = static_cast<unsigned>(c - u'A' + 10);
        } else {
            return false;
        }
        if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / base) {
            return false;
        }
        value = value * base + digit;
    }
    offset = value;
    return true;
}

CBinaryPage::CBinaryPage(CBinaryLoader& loader) : m_loader(loader) {}

void CBinaryPage::InitializeViewData(int clientWidth, int clientHeight, int statusHeight,
                                     const BinaryFontMetrics* font) {
    m_trace.InfoF("InitializeViewData");
    if (HasLayout()) {
        return;
    }
    const int width = std::max(clientWidth, 0);
    const int usableHeight = std::max(clientHeight - std::max(statusHeight, 0), 0);
    if (font != nullptr && font->charWidth > 0 && font->charHeight > 0) {
        m_lineHeight = font->charHeight + 1;
        m_cellWidth = 3 * font->charWidth;
        m_bytesPerLine = static_cast<std::uint32_t>(width / m_cellWidth);
        m_lines = static_cast<std::uint32_t>(usableHeight / m_lineHeight);
    } else {
        // No cell or line size: the position under a point cannot be told.
        m_lineHeight = 0;
        m_cellWidth = 0;
        m_bytesPerLine = static_cast<std::uint32_t>(width / 40);
        m_lines = static_cast<std::uint32_t>(usableHeight / 13);
    }
    m_textWidth = m_cellWidth * static_cast<int>(m_bytesPerLine) + kTextLeft;
    m_textHeight = m_lineHeight * static_cast<int>(m_lines) + kTextTop;
    UpdateViewData();
}

void CBinaryPage::ClearLayout() {
    m_bytesPerLine = 0;
    m_lines = 0;
}

void CBinaryPage::UpdateViewData() {
    m_trace.InfoF("UpdateViewData");
    const std::uint64_t page = PageSize();
    m_loader.SetViewSize(page);
    m_hexText.assign(kHexCharsPerByte * page, '\0');
    LoadViewData();
    m_viewingText = ViewingTextFor(m_top);
}

bool CBinaryPage::LoadViewData() {
    const std::uint64_t page = m_hexText.size() / kHexCharsPerByte;
    m_bytes.assign(page, 0);
    const std::uint64_t copied = m_loader.CopyOut(m_bytes.data(), page, m_top);
    m_trace.InfoF("LoadViewData");
    m_formattedTop = m_top;
    char* end = FormatHexBytes(m_bytes.data(), copied, m_hexText.data());
    std::fill(end, m_hexText.data() + m_hexText.size(), '\0');
    const std::uint64_t size = m_loader.FileSize();
    const std::uint64_t present = m_top >= size ? 0 : std::min(page, size - m_top);
    return copied == present;
}

bool CBinaryPage::OnChunkReady() {
    if (!HasLayout()) {
        return false;
    }
    LoadViewData();
    return true;
}

std::uint64_t CBinaryPage::LastTop() const {
    const std::uint64_t size = m_loader.FileSize();
    const std::uint64_t page = PageSize();
    return size > page ? size - page : 0;
}

bool CBinaryPage::Scroll(EBinaryScroll request, std::int64_t position) {
    if (!HasLayout()) {
        return false;
    }
    const std::uint64_t page = PageSize();
    const std::uint64_t line = m_bytesPerLine;
    // A page step keeps one line of the old page in view; a window one line high still moves.
    const std::uint64_t pageStep = std::max(page - line, line);
    const std::uint64_t thumb =
        SaturatingMultiply(position < 0 ? 0 : static_cast<std::uint64_t>(position), page);
    std::uint64_t top = m_top;
    switch (request) {
    case EBinaryScroll::LineUp:
        top = top > line ? top - line : 0;
        break;
    case EBinaryScroll::LineDown:
        top = SaturatingAdd(top, line);
        break;
    case EBinaryScroll::PageUp:
        top = top > pageStep ? top - pageStep : 0;
        break;
    case EBinaryScroll::PageDown:
        top = SaturatingAdd(top, pageStep);
        break;
    case EBinaryScroll::ThumbPosition:
        top = thumb;
        break;
    case EBinaryScroll::ThumbTrack:
        m_viewingText = ViewingTextFor(thumb);
        return true;
    case EBinaryScroll::Top:
        top = 0;
        break;
    case EBinaryScroll::Bottom:
        top = LastTop();
        break;
    }
    m_top = std::min(top, LastTop());
    UpdateViewData();
    return true;
}

bool CBinaryPage::GoTo(std::uint64_t offset) {
    if (!HasLayout()) {
        return false;
    }
    m_top = std::min(offset - offset % m_bytesPerLine, LastTop());
    UpdateViewData();
    return true;
}

std::u16string CBinaryPage::ViewingTextFor(std::uint64_t top) const {
    const std::uint64_t size = m_loader.FileSize();
    const std::uint64_t end = std::min(SaturatingAdd(top, PageSize()), size);
    return KSFormat(std::u16string_view(u"Viewing %I64i-%I64i of %I64i bytes"), AsShown(top), AsShown(end),
                    AsShown(size));
}

std::u16string CBinaryPage::PositionText(int x, int y) const {
    if (m_cellWidth <= 0 || m_lineHeight <= 0 || x <= kTextLeft || y <= kTextTop || x >= m_textWidth ||
        y >= m_textHeight) {
        return {};
    }
    const std::uint64_t column = static_cast<std::uint64_t>((x - kTextLeft) / m_cellWidth);
    const std::uint64_t row = static_cast<std::uint64_t>((y - kTextTop) / m_lineHeight);
    const std::uint64_t position = SaturatingAdd(m_top, column + row * m_bytesPerLine);
    if (position >= m_loader.FileSize()) {
        return {};
    }
    return KSFormatCapped(kPositionTextCapacity, std::u16string_view(u"Pos: %I64d (0x%I64X)"),
                          AsShown(position), AsShown(position));
}

BinaryScrollBar CBinaryPage::ScrollBar() const {
    BinaryScrollBar bar;
    const std::uint64_t page = PageSize();
    if (page == 0) {
        return bar;
    }
    bar.visible = true;
    bar.maximum = m_loader.FileSize() / page;
    bar.position = m_top / page;
    return bar;
}

std::string_view CBinaryPage::Line(std::uint32_t line) const {
    if (line >= m_lines) {
        return {};
    }
    const std::uint64_t lineChars = kHexCharsPerByte * std::uint64_t{m_bytesPerLine};
    const std::uint64_t shift = m_top > m_formattedTop ? (m_top - m_formattedTop) * kHexCharsPerByte : 0;
    const std::uint64_t start = shift + line * lineChars;
    if (start >= m_hexText.size()) {
        return {};
    }
    std::string_view text(m_hexText.data() + start, std::min(lineChars, m_hexText.size() - start));
    return text.substr(0, text.find('\0'));
}

std::span<const unsigned char> CBinaryPage::LineBytes(std::uint32_t line) const {
    const std::string_view text = Line(line);
    if (text.empty()) {
        return {};
    }
    const std::uint64_t shift = m_top > m_formattedTop ? m_top - m_formattedTop : 0;
    const std::uint64_t start = shift + std::uint64_t{line} * m_bytesPerLine;
    return {m_bytes.data() + start, text.size() / kHexCharsPerByte};
}
