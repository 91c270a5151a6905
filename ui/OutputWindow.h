#pragma once
// Output windows: a top-level window showing lines of text, written from any thread. Batch
// windows and the help window are output windows. A window is reached from other threads only
// through its sink, which posts to the window while it lives and drops text once it is gone.

#include "app/KSGeneratorBatch.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>
#include <mutex>
#include <vector>

class CKSOutputWnd;
class COutputLinesModel;
class QTreeView;
class QVBoxLayout;

// The thread-safe side of an output window. Text is gathered and the window is woken once per
// gathering, so a batch writing a line per row costs the GUI one event per repaint, not per line.
class COutputSink : public IShowableOutput {
public:
    void Write(std::u16string_view text, bool error) override;
    void WriteA(std::string_view text) override;
    // Posts a request to show the window; called on the worker thread, it only posts.
    void Show() override;

    // The window's side: takes the gathered text.
    QString TakePending();
    bool HasPending();
    // The window is going: later writes are dropped.
    void Detach();

private:
    friend class CKSOutputWnd;
    explicit COutputSink(CKSOutputWnd* target) : m_target(target) {}
    void Append(QString text);

    std::mutex m_lock;
    CKSOutputWnd* m_target;
    QString m_pending;
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
    QTreeView* View() const { return m_view; }
    // Whether text written so far still waits to be shown.
    bool HasPendingText() const { return m_backlogStart < m_backlog.size() || m_sink->HasPending(); }

    // Output windows that still exist, oldest first.
    static std::vector<CKSOutputWnd*> Windows();

protected:
    void customEvent(QEvent* event) override;
    // Adds a widget under the text (a batch window's progress line, say).
    QVBoxLayout* Layout() const { return m_layout; }

private:
    void AppendPending();

    COutputLinesModel* m_lines;
    QTreeView* m_view;
    QVBoxLayout* m_layout;
    // Text taken from the sink and not yet shown: it is shown a slice per event, so that a flood of
    // lines never holds up the GUI thread for long.
    QString m_backlog;
    qsizetype m_backlogStart = 0;
    std::shared_ptr<COutputSink> m_sink;
};

// The help window: the program's short help text, one window at a time.
class CKSHelpWnd : public CKSOutputWnd {
    Q_OBJECT
public:
    explicit CKSHelpWnd(QWidget* owner);
    int GetKind() const override;
};
