#pragma once
// The binary viewer's window: a file of any size as hex bytes, a page at a time, over a
// CBinaryViewerTool that reads it and knows what to show. The window measures its font and text
// area, forwards keys, wheel, mouse and scroll bar, paints the tool's lines and shows its texts.

#include "tools/BinaryViewerTool.h"
#include "ui/Resources.h"

#include <QString>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <memory>

class CAppContext;
class CToolWindowManager;
class QLabel;
class QLineEdit;
class QScrollBar;

class CBinaryViewerWnd : public QWidget {
    Q_OBJECT
public:
    static constexpr int kDefaultWidth = 300;
    static constexpr int kDefaultHeight = 700;
    // The status bar's parts end at these x positions; the last takes the rest.
    static constexpr int kStatusFirstRight = 240;
    static constexpr int kStatusSecondRight = 360;
    // A resize lays the page out again once the size has been still this long.
    static constexpr int kRelayoutDelayMilliseconds = 100;

    // The window shows the tool given (a test's), or one of its own over the file.
    CBinaryViewerWnd(const QString& path, CAppContext& context, QWidget* parent = nullptr,
                     std::unique_ptr<CBinaryViewerTool> tool = nullptr);
    ~CBinaryViewerWnd() override;

    int GetKind() const { return res::kKindBinaryViewer; }
    const QString& Path() const { return m_tool->Path(); }
    CBinaryViewerTool& Tool() const { return *m_tool; }
    const CBinaryPage* Page() const { return m_tool->Page(); }
    // The text of a status bar part (0 to 2).
    QString StatusText(int part) const;
    QScrollBar* VerticalBar() const { return m_bar; }
    QWidget* TextArea() const;
    QString LineText(int line) const { return m_tool->LineText(line); }

    bool GoToOffset(const QString& text) { return m_tool->GoToOffset(text); }
    void Reread() { m_tool->Reread(); }
    void SetShowOffsets(bool show) { m_tool->SetShowOffsets(show); }
    void SetShowCharacters(bool show) { m_tool->SetShowCharacters(show); }
    bool ShowsOffsets() const { return m_tool->ShowsOffsets(); }
    bool ShowsCharacters() const { return m_tool->ShowsCharacters(); }
    // Lays the page out for the current size now instead of after the resize delay.
    void Relayout();

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Area;

    void Scroll(EBinaryScroll request) { m_tool->Scroll(request); }
    void OnScrollAction(int action);
    // Shows what the tool says now: the texts, the scroll bar and the page.
    void Refresh();
    void PaintArea(QPaintEvent* event);
    void ShowContextMenu(const QPoint& global);
    void ShowGoTo();

    CAppContext& m_context;
    CBinaryViewerTool* m_tool;
    Area* m_area;
    QScrollBar* m_bar;
    QLineEdit* m_goTo;
    QLabel* m_status[3];
    QTimer m_relayout;
    bool m_closed = false;
};

// Tools > Binary Viewer: asks for a file and opens a viewer on it.
void OpenBinaryViewer(QWidget* owner, CAppContext& context, CToolWindowManager& tools);
// Opens a viewer on the file and registers it with the tool windows.
CBinaryViewerWnd* ShowBinaryViewer(const QString& path, CAppContext& context, CToolWindowManager& tools);
