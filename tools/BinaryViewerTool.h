#pragma once
// The binary viewer without its window: the file's loader (on a thread of its own) and its page,
// the layout for the area and font the window measured, the lines with their optional offset and
// character columns, the status texts, scrolling, going to an offset and reading the file again.
// Qt Core only, so that headless tests reach every rule; the window measures, forwards input,
// paints LineText and shows the texts.

#include "properties/FakemillSettings.h"
#include "support/KSError.h"
#include "tools/BinaryLoader.h"
#include "tools/BinaryPage.h"
#include "tools/ToolEngine.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

class CBinaryViewerTool : public QObject {
    Q_OBJECT
public:
    // Makes the loader of a file: a CBinaryFileLoader unless a test stands in another source.
    using LoaderFactory = std::function<std::unique_ptr<CBinaryLoader>(const CKSString& path)>;

    // Opens the file at once; a file that cannot be viewed leaves a tool that says why.
    CBinaryViewerTool(const QString& path, CFakemillSettings& settings, CThreadReaper& reaper,
                      LoaderFactory makeLoader = {}, QObject* parent = nullptr);
    ~CBinaryViewerTool() override;

    const QString& Path() const { return m_path; }
    // The page in view; null once closed.
    const CBinaryPage* Page() const { return m_page.get(); }

    // The status texts: the file (its path and time stamp, or why it cannot be shown), what is
    // under the pointer (or why a typed offset was refused), and which bytes are in view.
    QString FileText() const;
    QString FileToolTip() const;
    QString PointerText() const { return m_pointerText; }
    QString ViewingText() const;

    // Lays the page out for the window's text area (pixels) and font; again after every resize.
    void LayOut(int areaWidth, int areaHeight, const BinaryFontMetrics& font);
    // The pointer is at (x, y) of the text area; outside it when (-1, -1).
    void PointAt(int x, int y);

    bool Scroll(EBinaryScroll request, std::int64_t position = 0);
    // The scroll bar as the window shows it, and a position the user moved its thumb to.
    BinaryIntScrollBar ScrollBarState() const;
    void ScrollToBar(int position, bool tracking);
    // Jumps to a typed offset (decimal or 0x hex); false, with the reason as the pointer text,
    // when it is none.
    bool GoToOffset(const QString& text);
    // Reads the file again from the start (it grew or shrank), keeping the top where it was.
    void Reread();

    void SetShowOffsets(bool show);
    void SetShowCharacters(bool show);
    bool ShowsOffsets() const { return m_showOffsets; }
    bool ShowsCharacters() const { return m_showCharacters; }
    // The offset column's digits (16 once the file is beyond 4 GiB) and width (0 when it is off).
    int OffsetDigits() const;
    int OffsetColumnWidth() const;
    // What line i of the text area shows: offset, hex bytes and characters as switched on.
    QString LineText(int line) const;

    // Ends the tool at once: the loader is let go, whatever read it is stuck in.
    void Close();

signals:
    // Something shown changed: a text, the page or the scroll bar.
    void Changed();

private:
    class LoaderListener;

    void StartLoader();
    // A chunk arrived, or could not be read (failure), for the loader of one generation.
    void ChunkArrived(std::uint32_t generation, const CKSError& failure);
    void ApplyLayout();
    void Fail(const CKSError& failure);

    QString m_path;
    CFakemillSettings& m_settings;
    LoaderFactory m_makeLoader;
    // The listener of the loader in hand, which knows its loader's generation; it outlives the
    // loader it listens to.
    std::unique_ptr<LoaderListener> m_listener;
    CToolEngine<CBinaryLoader> m_loader;
    std::unique_ptr<CBinaryPage> m_page;
    // Counts loaders, so that calls queued by one that Reread replaced are ignored.
    std::uint32_t m_generation = 0;
    // A top to return to once a re-read file's size is known.
    std::uint64_t m_pendingTop = 0;
    bool m_havePendingTop = false;
    CKSError m_failure;
    // The path with the file's time stamp, taken when the file was opened (not at every scroll).
    QString m_fileText;
    QString m_pointerText;
    int m_areaWidth = 0;
    int m_areaHeight = 0;
    BinaryFontMetrics m_font;
    bool m_showOffsets = false;
    bool m_showCharacters = false;
};
