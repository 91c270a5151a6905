#pragma once
// Output windows: a top-level window showing lines of text, written from any thread. Batch
// windows and the help window are output windows. A window is reached from other threads only
// through its sink (COutputSink), which queues calls to the window while it lives and drops text
// once it is gone.

#include "app/OutputLines.h"
#include "app/OutputSink.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <memory>
#include <vector>

class COutputTextView;
class QVBoxLayout;

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
    // The window's batch is over; the text it wrote is in by then.
    virtual void OnBatchEnded() {}
    // Adds a widget under the text (a batch window's progress line, say).
    QVBoxLayout* Layout() const { return m_layout; }

private:
    // The sink gathered text: takes it in now or, after a take moments ago, a little later.
    void TextArrived();
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
