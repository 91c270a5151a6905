#pragma once
// Output windows: a top-level window showing lines of text, written from any thread. Batch
// windows and the help window are output windows. A window is reached from other threads only
// through its sink, which posts to the window while it lives and drops text once it is gone.

#include "app/KSGeneratorBatch.h"
#include "app/OutputLines.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <mutex>
#include <vector>

class CKSOutputWnd;
class COutputTextView;
class QVBoxLayout;

// The thread-safe side of an output window. Text is gathered and the window is woken once per
// gathering, so a batch writing a line per row costs the GUI one event per repaint, not per line.
class COutputSink : public IShowableOutput {
public:
    void Write(std::u16string_view text, bool error) override;
    void WriteA(std::string_view text) override;
    // Post a request to show the window, and a note that its batch is over; called on the worker
    // thread, they only post.
    void Show() override;
    void Ended() override;

    // The window's side: swaps the gathered text with spare, an emptied buffer whose room the
    // writers fill next, so that they keep writing into memory already in use.
    void TakePending(QByteArray& spare);
    bool HasPending();
    // The window is going: later writes are dropped.
    void Detach();

private:
    friend class CKSOutputWnd;
    explicit COutputSink(CKSOutputWnd* target) : m_target(target) {}
    // Ends the write that began at start as a line.
    void EndLine(qsizetype start);

    std::mutex m_lock;
    CKSOutputWnd* m_target;
    // Gathered as UTF-8: half the memory of UTF-16 for the usual ASCII lines.
    QByteArray m_pending;
    bool m_wakePosted = false;
};

class CKSOutputWnd : public QWidget {
    Q_OBJECT
public:
    static constexpr int kDefaultWidth = 300;
    static constexpr int kDefaultHeight = 700;

    // A top-level window owned by owner (it stays above it and closes with it), at (0, 0).
    CKSOutputWnd(QWidget* owner, const QString& title);
    ~CKSOutputWnd() override;

    // What kind of window this is (batch output or help); 0 for none.
    virtual int GetKind() const = 0;

    // The sink other threads write to; it outlives the window safely.
    std::shared_ptr<COutputSink> Sink() const { return m_sink; }
    // Appends a line on the GUI thread, as a sink write would.
    void Write(const QString& text);
    // The text shown so far, each line followed by "\n" (writes still in flight are not in it yet).
    QString Text() const;
    COutputTextView* View() const { return m_view; }
    // Whether text written so far still waits to be shown.
    bool HasPendingText() const { return m_sink->HasPending(); }

    // Output windows that still exist, oldest first.
    static std::vector<CKSOutputWnd*> Windows();

protected:
    void customEvent(QEvent* event) override;
    // The window's batch is over; the text it wrote is in by then.
    virtual void OnBatchEnded() {}
    // Adds a widget under the text (a batch window's progress line, say).
    QVBoxLayout* Layout() const { return m_layout; }

private:
    // Takes in what the sink gathered.
    void Drain();

    COutputLines m_lines; // declared before the view that shows it
    QByteArray m_spare;   // the sink's other buffer while it fills this one
    COutputTextView* m_view;
    QVBoxLayout* m_layout;
    std::shared_ptr<COutputSink> m_sink;
    // Text is taken in at most every few hundredths of a second: a flood of lines then arrives in
    // large pieces, and the writing thread seldom meets the GUI thread at the sink's lock.
    QElapsedTimer m_sinceDrain;
    QTimer m_drainLater;
};

// The help window: the program's short help text, one window at a time.
class CKSHelpWnd : public CKSOutputWnd {
    Q_OBJECT
public:
    explicit CKSHelpWnd(QWidget* owner);
    int GetKind() const override;
};
