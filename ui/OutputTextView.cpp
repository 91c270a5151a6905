#include "ui/OutputTextView.h"

#include "app/OutputLines.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <limits>

namespace {

// Room left of the text, as a text box leaves it.
constexpr int kMargin = 3;

} // namespace

COutputTextView::COutputTextView(const COutputLines& lines, QWidget* parent)
    : QAbstractScrollArea(parent), m_lines(lines) {
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    viewport()->setCursor(Qt::IBeamCursor);
    verticalScrollBar()->setSingleStep(1);
    UpdateScrollBars();
}

int COutputTextView::LineHeight() const {
    return std::max(1, fontMetrics().lineSpacing());
}

int COutputTextView::CharacterWidth() const {
    return std::max(1, fontMetrics().horizontalAdvance(QLatin1Char('0')));
}

int COutputTextView::VisibleLines() const {
    return std::max(1, viewport()->height() / LineHeight());
}

qsizetype COutputTextView::TopLine() const {
    return verticalScrollBar()->value();
}

qsizetype COutputTextView::LineAt(int y) const {
    const qsizetype row = TopLine() + (y < 0 ? -1 : y / LineHeight());
    return std::clamp<qsizetype>(row, 0, std::max<qsizetype>(0, m_lines.Count() - 1));
}

bool COutputTextView::IsAtEnd() const {
    return verticalScrollBar()->value() == verticalScrollBar()->maximum();
}

void COutputTextView::ScrollToEnd() {
    verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void COutputTextView::ScrollToTop() {
    verticalScrollBar()->setValue(0);
}

void COutputTextView::UpdateScrollBars() {
    const int visible = VisibleLines();
    // Scroll bars count in int; a window past two thousand million lines stops growing its range.
    const auto lastTop = static_cast<int>(std::min<qsizetype>(
        std::max<qsizetype>(0, m_lines.Count() - visible), std::numeric_limits<int>::max()));
    verticalScrollBar()->setRange(0, lastTop);
    verticalScrollBar()->setPageStep(visible);
    const qsizetype textWidth = m_lines.LongestLine() * CharacterWidth() + 2 * kMargin;
    const auto widest = static_cast<int>(std::min<qsizetype>(textWidth, std::numeric_limits<int>::max()));
    horizontalScrollBar()->setRange(0, std::max(0, widest - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setSingleStep(CharacterWidth());
}

void COutputTextView::LinesAppended() {
    const bool followEnd = IsAtEnd();
    UpdateScrollBars();
    if (followEnd) {
        ScrollToEnd();
    }
    viewport()->update();
}

void COutputTextView::SelectLines(qsizetype first, qsizetype last) {
    m_anchor = first < 0 ? -1 : first;
    m_reach = first < 0 ? -1 : last;
    viewport()->update();
}

bool COutputTextView::IsSelected(qsizetype row) const {
    return m_anchor >= 0 && row >= std::min(m_anchor, m_reach) && row <= std::max(m_anchor, m_reach);
}

QString COutputTextView::SelectedText() const {
    if (m_anchor < 0) {
        return {};
    }
    return m_lines.Join(std::min(m_anchor, m_reach), std::max(m_anchor, m_reach));
}

void COutputTextView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(viewport());
    const int height = LineHeight();
    const int ascent = fontMetrics().ascent();
    // Only the characters in sight are drawn (the font is fixed-pitch), so that a very long line
    // costs no more to paint than a short one.
    const int width = CharacterWidth();
    const int scrolled = horizontalScrollBar()->value();
    const qsizetype firstColumn = std::max(0, scrolled - kMargin) / width;
    const qsizetype columns = viewport()->width() / width + 2;
    const int left = kMargin - scrolled + static_cast<int>(firstColumn) * width;
    const qsizetype top = TopLine();
    const qsizetype end = std::min<qsizetype>(m_lines.Count(), top + VisibleLines() + 1);
    for (qsizetype row = top; row < end; ++row) {
        const int y = static_cast<int>(row - top) * height;
        if (IsSelected(row)) {
            painter.fillRect(0, y, viewport()->width(), height, palette().highlight());
            painter.setPen(palette().color(QPalette::HighlightedText));
        } else {
            painter.setPen(palette().color(QPalette::Text));
        }
        painter.drawText(left, y + ascent, m_lines.Line(row).mid(firstColumn, columns));
    }
}

void COutputTextView::resizeEvent(QResizeEvent* event) {
    const bool followEnd = IsAtEnd();
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollBars();
    if (followEnd) {
        ScrollToEnd();
    }
}

void COutputTextView::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        LinesAppended(); // line height and character width changed
    }
}

void COutputTextView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || m_lines.Count() == 0) {
        QAbstractScrollArea::mousePressEvent(event);
        return;
    }
    const qsizetype row = LineAt(static_cast<int>(event->position().y()));
    if ((event->modifiers() & Qt::ShiftModifier) != 0 && m_anchor >= 0) {
        SelectLines(m_anchor, row);
    } else {
        SelectLines(row, row);
    }
}

void COutputTextView::mouseMoveEvent(QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) == 0 || m_anchor < 0) {
        QAbstractScrollArea::mouseMoveEvent(event);
        return;
    }
    // Dragging past the top or bottom scrolls a line at a time.
    const int y = static_cast<int>(event->position().y());
    if (y < 0) {
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepSub);
    } else if (y >= viewport()->height()) {
        verticalScrollBar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    }
    SelectLines(m_anchor, LineAt(y));
}

void COutputTextView::keyPressEvent(QKeyEvent* event) {
    if (event->matches(QKeySequence::Copy)) {
        if (m_anchor >= 0) {
            QApplication::clipboard()->setText(SelectedText());
        }
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        SelectLines(m_lines.Count() > 0 ? 0 : -1, m_lines.Count() - 1);
        return;
    }
    if (event->matches(QKeySequence::MoveToStartOfDocument)) {
        ScrollToTop();
        return;
    }
    if (event->matches(QKeySequence::MoveToEndOfDocument)) {
        ScrollToEnd();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}
