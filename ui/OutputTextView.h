#pragma once
// Shows an output window's lines. It paints only the lines in sight, so appending to hundreds of
// thousands of lines costs what appending to ten does (an item view keeps a record per row and
// lays them all out again on every append). Whole lines are selected with the mouse (click, drag,
// Shift+click) or Ctrl+A and copied with the usual shortcut, as from a read-only text box.

#include <QAbstractScrollArea>

class COutputLines;

class COutputTextView : public QAbstractScrollArea {
    Q_OBJECT
public:
    COutputTextView(const COutputLines& lines, QWidget* parent);

    // To be called after lines were appended: a view that showed the end keeps showing it.
    void LinesAppended();
    bool IsAtEnd() const;
    void ScrollToEnd();
    void ScrollToTop();
    // The first line in sight.
    qsizetype TopLine() const;

    // Whole lines first to last, inclusive and in either order; nothing is selected when first
    // is negative.
    void SelectLines(qsizetype first, qsizetype last);
    // The selected lines joined by "\n"; empty without a selection.
    QString SelectedText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    int LineHeight() const;
    int CharacterWidth() const;
    int VisibleLines() const;
    // The line under viewport height y, kept within the lines there are.
    qsizetype LineAt(int y) const;
    void UpdateScrollBars();
    bool IsSelected(qsizetype row) const;

    const COutputLines& m_lines;
    // The selection runs from the line first pressed to the line the mouse reached.
    qsizetype m_anchor = -1;
    qsizetype m_reach = -1;
};
