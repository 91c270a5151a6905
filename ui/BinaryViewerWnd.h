#pragma once
// The binary viewer: a file of any size as hex bytes, a page at a time. Its loader reads the file
// in chunks on a thread of its own and posts an event per chunk; the page logic lives in
// CBinaryPage. The window may close at any moment: it clears the loader's listener and joins the
// loader first, so no event is posted to a window that is going.

#include "tools/BinaryFileLoader.h"
#include "tools/BinaryPage.h"
#include "ui/Resources.h"

#include <QString>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <memory>

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

    explicit CBinaryViewerWnd(const QString& path, QWidget* parent = nullptr);
    ~CBinaryViewerWnd() override;

    int GetKind() const { return res::kKindBinaryViewer; }
    const QString& Path() const { return m_path; }
    const CBinaryPage* Page() const { return m_page.get(); }
    // The text of a status bar part (0 to 2).
    QString StatusText(int part) const;
    QScrollBar* VerticalBar() const { return m_bar; }
    QWidget* TextArea() const;
    // What line i of the text area shows: offset, hex bytes and characters as switched on.
    QString LineText(int line) const;

    // Jumps to a typed offset (decimal or 0x hex); false, with a status text, when it is none.
    bool GoToOffset(const QString& text);
    // Reads the file again from the start (it grew or shrank), keeping the top where it was.
    void Reread();
    void SetShowOffsets(bool show);
    void SetShowCharacters(bool show);
    bool ShowsOffsets() const { return m_showOffsets; }
    bool ShowsCharacters() const { return m_showCharacters; }
    // Lays the page out for the current size now instead of after the resize delay.
    void Relayout();

    // The offset column's width in pixels (0 when it is off), and the x where the hex text starts.
    int OffsetColumnWidth() const;
    int OffsetDigits() const;

protected:
    void closeEvent(QCloseEvent* event) override;
    void customEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Listener;
    class Area;

    void StartLoader();
    void StopLoader();
    void LayOut();
    void Scroll(EBinaryScroll request, std::int64_t position = 0);
    void OnScrollAction(int action);
    void SyncScrollBar();
    void UpdateStatus();
    void ShowFailure(const QString& text);
    void PaintArea(QPaintEvent* event);
    void SaveSettings() const;
    void ShowContextMenu(const QPoint& global);

    QString m_path;
    std::unique_ptr<CBinaryFileLoader> m_loader;
    std::unique_ptr<Listener> m_listener;
    std::unique_ptr<CBinaryPage> m_page;
    // Counts loaders, so that events of one replaced by Reread are ignored.
    std::uint32_t m_generation = 0;
    // A top to return to once a re-read file's size is known.
    std::uint64_t m_pendingTop = 0;
    bool m_havePendingTop = false;
    QString m_failure;
    std::uint64_t m_scrollScale = 1;
    Area* m_area;
    QScrollBar* m_bar;
    QLineEdit* m_goTo;
    QLabel* m_status[3];
    QTimer m_relayout;
    bool m_showOffsets = false;
    bool m_showCharacters = false;
    bool m_closed = false;
};

// Tools > Binary Viewer: asks for a file and opens a viewer on it.
void OpenBinaryViewer(QWidget* owner, CToolWindowManager& tools);
// Opens a viewer on the file and registers it with the tool windows.
CBinaryViewerWnd* ShowBinaryViewer(const QString& path, CToolWindowManager& tools);
