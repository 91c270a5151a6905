#pragma once
// The thread-safe side of an output window, which the generators of its batch write to from their
// own threads and which may outlive the window. Text is gathered as UTF-8 and the window is woken
// once per gathering (a queued call), so a batch writing a line per row costs the GUI one call per
// repaint, not one per line. Once the window has detached, writes are dropped.

#include "app/KSGeneratorBatch.h"
#include "support/Delivery.h"

#include <QByteArray>

#include <functional>
#include <mutex>

class COutputSink : public IShowableOutput {
public:
    // What the window does, each on its own thread.
    struct Calls {
        // Text was gathered while none waited: take it in (TakePending).
        std::function<void()> textArrived;
        // The batch started: come into view.
        std::function<void()> show;
        // The batch is over; the text it wrote is gathered by then.
        std::function<void()> ended;
    };

    // receiver is an object of the window's, whose thread runs the calls.
    COutputSink(QObject* receiver, Calls calls);

    // Any thread.
    void Write(std::u16string_view text, bool error) override;
    void WriteA(std::string_view text) override;
    void Show() override;
    void Ended() override;

    // The window's side: swaps the gathered text with spare, an emptied buffer whose room the
    // writers fill next, so that they keep writing into memory already in use.
    void TakePending(QByteArray& spare);
    bool HasPending();
    // The window is going: later writes are dropped and nothing more is queued to it.
    void Detach();

private:
    // Ends the write that began at start as a line.
    void EndLine(qsizetype start);

    std::mutex m_lock;
    bool m_attached = true;
    const Calls m_calls;
    // Gathered as UTF-8: half the memory of UTF-16 for the usual ASCII lines.
    QByteArray m_pending;
    bool m_wakePosted = false;
    CDelivery m_delivery;
};
